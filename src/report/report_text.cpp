#include "report/report_text.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

namespace sonivate::report::detail {

std::string Number(const std::optional<double>& pValue, int pDecimals) {
    if (!pValue || !std::isfinite(*pValue)) return "-";
    char text[64];
    std::snprintf(text, sizeof(text), "%.*f", pDecimals, *pValue);
    return text;
}

std::string Gain(const std::optional<double>& pValue) {
    if (!pValue || !std::isfinite(*pValue)) return {};
    char text[64];
    std::snprintf(text, sizeof(text), "%+.3f", *pValue);
    return text;
}

std::string Clock(double pSeconds) { return ClockText(pSeconds); }

std::string VerdictText(const FileVerdict& pVerdict) {
    switch (pVerdict.Kind) {
        case VerdictKind::None:
            return "-";
        case VerdictKind::Pass:
            return "pass";
        case VerdictKind::Fail:
            break;
    }
    std::string text = "fail";
    for (size_t i = 0; i < pVerdict.Reasons.size(); ++i) text += (i == 0 ? " (" : ", ") + pVerdict.Reasons[i];
    if (!pVerdict.Reasons.empty()) text += ")";
    return text;
}

std::string OutcomeText(const FileRow& pRow) {
    std::string text = pRow.Written ? "written" : "not written";
    if (!pRow.ReasonCode.empty()) text += " (" + pRow.ReasonCode + ")";
    return text;
}

std::string BandText(const ProfileBand& pBand) {
    if (!pBand.Present) return "-";
    std::string text = Number(pBand.Target, 1) + " ± " + Number(pBand.Tolerance, 1) + " LU";
    if (pBand.MaxTruePeak) text += ", TP max " + Number(pBand.MaxTruePeak, 1) + " dBTP";
    return text;
}

std::string FullOutcomeText(const FileRow& pRow) {
    return OutcomeText(pRow) + (pRow.ReasonText.empty() ? std::string() : ": " + pRow.ReasonText);
}

bool ShowsCopy(const FileRow& pRow) { return pRow.CopyIs != CopyState::None; }

bool IsProjected(const FileRow& pRow) { return pRow.CopyIs == CopyState::Projected; }

bool AnyProjected(const BatchReport& pReport) {
    return std::any_of(pReport.Rows.begin(), pReport.Rows.end(), IsProjected);
}

std::string CopyNumber(const FileRow& pRow, const std::optional<double>& pValue, int pDecimals) {
    if (!ShowsCopy(pRow)) return {};
    return Number(pValue, pDecimals) + (IsProjected(pRow) ? kProjectedMark : "");
}

std::string CopyVerdictText(const FileRow& pRow) {
    if (!ShowsCopy(pRow)) return "—";
    return VerdictText(pRow.CopyVerdict) + (IsProjected(pRow) ? kProjectedMark : "");
}

bool HasSeries(const FileRow& pRow) {
    const auto finite = [](double v) { return std::isfinite(v); };
    return std::any_of(pRow.Loudness.Momentary.begin(), pRow.Loudness.Momentary.end(), finite) ||
           std::any_of(pRow.Loudness.ShortTerm.begin(), pRow.Loudness.ShortTerm.end(), finite);
}

bool HasDetails(const FileRow& pRow) {
    const auto any = [](const Figures& f) {
        for (const auto* v : {&f.LKFS, &f.SamplePeak, &f.TruePeak, &f.LRA, &f.MaxMomentary, &f.MaxShortTerm})
            if (*v && std::isfinite(**v)) return true;
        return false;
    };
    return any(pRow.Source) || (ShowsCopy(pRow) && any(pRow.Copy)) || HasSeries(pRow) || !pRow.CopyPath.empty();
}

PartFile::PartFile(const std::string& pPath) : mPath(pPath), mPart(pPath + ".part") {
    mFile = std::fopen(mPart.c_str(), "wb");
    if (mFile == nullptr) mError = errno ? errno : EIO;
}

PartFile::~PartFile() {
    if (mFile == nullptr) return;
    std::fclose(mFile);
    std::remove(mPart.c_str());
}

void PartFile::Put(std::string_view pBytes) {
    if (mFile == nullptr || mError != 0 || pBytes.empty()) return;
    if (std::fwrite(pBytes.data(), 1, pBytes.size(), mFile) != pBytes.size()) mError = errno ? errno : EIO;
}

ReportResult PartFile::Finish(bool pDrawFailed) {
    if (mFile == nullptr) return {ReportStatus::CannotCreate, mError};
    int error = mError;
    if (std::fflush(mFile) != 0 && error == 0) error = errno;
    if (std::fclose(mFile) != 0 && error == 0) error = errno;
    mFile = nullptr;
    if (error == 0 && !pDrawFailed && std::rename(mPart.c_str(), mPath.c_str()) != 0) error = errno;
    if (error != 0 || pDrawFailed) {
        std::remove(mPart.c_str());
        return {ReportStatus::WriteFailed, error};
    }
    return {};
}

}  // namespace sonivate::report::detail

namespace sonivate::report {

std::string ClockText(double pSeconds) {
    constexpr long long kTenthsPerMinute = 600;
    constexpr long long kTenthsPerHour = 36000;
    constexpr long long kMinutesPerHour = 60;
    if (!std::isfinite(pSeconds) || pSeconds < 0.0) pSeconds = 0.0;
    const auto tenths = static_cast<long long>(std::llround(pSeconds * 10.0));
    const long long hours = tenths / kTenthsPerHour;
    const long long minutes = tenths / kTenthsPerMinute % kMinutesPerHour;
    const double seconds = static_cast<double>(tenths % kTenthsPerMinute) / 10.0;
    char text[64];
    if (hours > 0)
        std::snprintf(text, sizeof(text), "%lld:%02lld:%04.1f", hours, minutes, seconds);
    else
        std::snprintf(text, sizeof(text), "%lld:%04.1f", minutes, seconds);
    return text;
}

}  // namespace sonivate::report
