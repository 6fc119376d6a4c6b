#include "gui/details/verdict_texts.h"

#include <cmath>
#include <cstdio>

namespace sonivate {
namespace {

// Limits are shown with one decimal, as profiles state them.
std::string Limit(double pValue) {
    if (!std::isfinite(pValue)) return "-";
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", pValue);
    return text;
}

// "（-24.0 ±1.0 LKFS）" when the band is known, else "".
std::string BandNote(const report::ProfileBand& pBand) {
    if (!pBand.Present) return "";
    return "（" + Limit(pBand.Target) + " ±" + Limit(pBand.Tolerance) + " LKFS）";
}

}  // namespace

std::string VerdictReasonText(const std::string& pCode, const report::ProfileBand& pBand) {
    if (pCode == "loudness_low") return "ラウドネスが低すぎます" + BandNote(pBand);
    if (pCode == "loudness_high") return "ラウドネスが高すぎます" + BandNote(pBand);
    if (pCode == "true_peak_over") {
        std::string text = "トゥルーピークが上限を超えています";
        if (pBand.Present && pBand.MaxTruePeak) text += "（上限 " + Limit(*pBand.MaxTruePeak) + " dBTP）";
        return text;
    }
    // The band carries no short-term limit to quote.
    if (pCode == "short_term_over") return "ショートタームラウドネスが上限を超えています";
    return pCode;
}

std::string VerdictWord(report::VerdictKind pKind) {
    switch (pKind) {
        case report::VerdictKind::Pass:
            return "合格";
        case report::VerdictKind::Fail:
            return "不合格";
        case report::VerdictKind::None:
            break;
    }
    return "";
}

std::string VerdictSummary(const report::FileVerdict& pVerdict, const report::ProfileBand& pBand) {
    std::string text = VerdictWord(pVerdict.Kind);
    if (text.empty()) return text;
    for (const std::string& reason : pVerdict.Reasons) text += "\n" + VerdictReasonText(reason, pBand);
    return text;
}

}  // namespace sonivate
