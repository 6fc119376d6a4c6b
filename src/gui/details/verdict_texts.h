#pragma once
// The texts of a delivery verdict in the window's language, shared by the
// details window and the list's tooltip. Qt-free in its interface.

#include <string>
#include <vector>

#include "report/batch_report.h"

namespace sonivate {

// The text of one reason code ("loudness_low", "loudness_high",
// "true_peak_over", "short_term_over") or note code
// ("downmix_true_peak_over"), with the profile's limit when pBand
// gives it, e.g. "ラウドネスが低すぎます（-24.0 ±1.0 LKFS）". An unknown code
// is shown as itself.
std::string VerdictReasonText(const std::string& pCode, const report::ProfileBand& pBand);

// "合格", "不合格", or "" when there is no verdict.
std::string VerdictWord(report::VerdictKind pKind);

// The verdict's word, then one reason per line, then one line per note
// (codes such as "downmix_true_peak_over", which never fail a file); ""
// when there is no verdict.
std::string VerdictSummary(const report::FileVerdict& pVerdict, const report::ProfileBand& pBand,
                           const std::vector<std::string>& pNotes = {});

}  // namespace sonivate
