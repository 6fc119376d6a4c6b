#pragma once
// Texts and file output the report's formats share (internal to the module).

#include <optional>
#include <string>

#include "report/batch_report.h"

namespace sonivate::report::detail {

// The face of every text of the report: Japanese titles must show.
inline constexpr const char* kFontFamily = "Noto Sans CJK JP";

// A figure with pDecimals decimals, or "-" when it was not measured.
std::string Number(const std::optional<double>& pValue, int pDecimals = 2);
// A gain with its sign: "+1.234".
std::string Gain(const std::optional<double>& pValue);
// Seconds as "m:ss.s" (hours as "h:mm:ss.s").
std::string Clock(double pSeconds);
// "pass", "fail (a, b)" or "-".
std::string VerdictText(const FileVerdict& pVerdict);
// "written" or "not written", with the reason code.
std::string OutcomeText(const FileRow& pRow);
std::string BandText(const ProfileBand& pBand);

// pBytes to pPath through a temporary name beside it, renamed when complete.
ReportResult WriteWhole(const std::string& pPath, const std::string& pBytes);

// The PDF's bytes; empty when cairo fails.
std::string ReportPdf(const BatchReport& pReport);

}  // namespace sonivate::report::detail
