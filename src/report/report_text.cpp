#include "report/report_text.h"

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
    if (!pValue || !std::isfinite(*pValue)) return "-";
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

ReportResult WriteWhole(const std::string& pPath, const std::string& pBytes) {
    const std::string part = pPath + ".part";
    std::FILE* file = std::fopen(part.c_str(), "wb");
    if (file == nullptr) return {ReportStatus::CannotCreate, errno};
    int error = 0;
    if (std::fwrite(pBytes.data(), 1, pBytes.size(), file) != pBytes.size()) error = errno ? errno : EIO;
    if (std::fflush(file) != 0 && error == 0) error = errno;
    if (std::fclose(file) != 0 && error == 0) error = errno;
    if (error == 0 && std::rename(part.c_str(), pPath.c_str()) != 0) error = errno;
    if (error != 0) {
        std::remove(part.c_str());
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
