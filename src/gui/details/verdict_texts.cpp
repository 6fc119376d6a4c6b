#include "gui/details/verdict_texts.h"

#include <cmath>
#include <cstdio>

#include "uikit/ui_language.h"

namespace sonivate {
namespace {

constexpr const char* kTr = "VerdictTexts";
// %1 target, %2 tolerance (LKFS); %1 the true-peak ceiling (dBTP).
constexpr const char* kBandNote = QT_TRANSLATE_NOOP("VerdictTexts", "（%1 ±%2 LKFS）");
constexpr const char* kCeilingNote = QT_TRANSLATE_NOOP("VerdictTexts", "（上限 %1 dBTP）");
constexpr const char* kLoudnessLow = QT_TRANSLATE_NOOP("VerdictTexts", "ラウドネスが低すぎます");
constexpr const char* kLoudnessHigh = QT_TRANSLATE_NOOP("VerdictTexts", "ラウドネスが高すぎます");
constexpr const char* kTruePeakOver = QT_TRANSLATE_NOOP("VerdictTexts", "トゥルーピークが上限を超えています");
constexpr const char* kShortTermOver =
    QT_TRANSLATE_NOOP("VerdictTexts", "ショートタームラウドネスが上限を超えています");
// A note beside the verdict: a receiver's stereo downmix of the surround
// file would pass the profile's true-peak maximum.
constexpr const char* kDownmixTruePeakOver =
    QT_TRANSLATE_NOOP("VerdictTexts", "ダウンミックスのトゥルーピークが上限を超えています");
constexpr const char* kPass = QT_TRANSLATE_NOOP("VerdictTexts", "合格");
constexpr const char* kFail = QT_TRANSLATE_NOOP("VerdictTexts", "不合格");

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
    return TrQ(kTr, kBandNote)
        .arg(QString::fromStdString(Limit(pBand.Target)), QString::fromStdString(Limit(pBand.Tolerance)))
        .toStdString();
}

}  // namespace

std::string VerdictReasonText(const std::string& pCode, const report::ProfileBand& pBand) {
    if (pCode == "loudness_low") return TrText(kTr, kLoudnessLow) + BandNote(pBand);
    if (pCode == "loudness_high") return TrText(kTr, kLoudnessHigh) + BandNote(pBand);
    if (pCode == "true_peak_over" || pCode == "downmix_true_peak_over") {
        std::string text = TrText(kTr, pCode == "true_peak_over" ? kTruePeakOver : kDownmixTruePeakOver);
        if (pBand.Present && pBand.MaxTruePeak)
            text += TrQ(kTr, kCeilingNote).arg(QString::fromStdString(Limit(*pBand.MaxTruePeak))).toStdString();
        return text;
    }
    // The band carries no short-term limit to quote.
    if (pCode == "short_term_over") return TrText(kTr, kShortTermOver);
    return pCode;
}

std::string VerdictWord(report::VerdictKind pKind) {
    switch (pKind) {
        case report::VerdictKind::Pass:
            return TrText(kTr, kPass);
        case report::VerdictKind::Fail:
            return TrText(kTr, kFail);
        case report::VerdictKind::None:
            break;
    }
    return "";
}

std::string VerdictSummary(const report::FileVerdict& pVerdict, const report::ProfileBand& pBand,
                           const std::vector<std::string>& pNotes) {
    std::string text = VerdictWord(pVerdict.Kind);
    if (text.empty()) return text;
    for (const std::string& reason : pVerdict.Reasons) text += "\n" + VerdictReasonText(reason, pBand);
    for (const std::string& note : pNotes) text += "\n" + VerdictReasonText(note, pBand);
    return text;
}

}  // namespace sonivate
