#include "report/report_text.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

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

namespace {

constexpr Words kEnglish{
    .Language = "en",
    .ReportTitle = "Loudness report",
    .Date = "Date",
    .Host = "Host",
    .Program = "Program",
    .Operator = "Operator",
    .Station = "Station",
    .Programme = "Programme",
    .Client = "Client",
    .Notes = "Notes",
    .Profile = "Profile",
    .Target = "Target",
    .Range = "Range",
    .Units = "Loudness in LKFS, peak in dBFS, true peak (TP) in dBTP, LRA in LU, gain in dB. Verdict: source / copy.",
    .ProjectedNote = "* if written: projected figures of a copy this run did not write (measure only).",
    .IfWritten = "if written",
    .Summary = "Summary",
    .Listed = "Rows listed",
    .Measured = "measured",
    .Written = "written",
    .NotWritten = "not written",
    .NotWrittenBy = "Not written, by reason",
    .Verdicts = "Profile verdicts",
    .Sources = "sources",
    .Copies = "copies",
    .Pass = "pass",
    .Fail = "fail",
    .Count = "%s",
    .ListSeparator = ", ",
    .Title = "Title",
    .Duration = "Duration",
    .Peak = "Peak",
    .Gain = "Gain",
    .CopyLKFS = "Copy LKFS",
    .CopyTP = "Copy TP",
    .Verdict = "Verdict",
    .Outcome = "Outcome",
    .Source = "Source",
    .Copy = "Copy",
    .CopyIfWritten = "Copy (if written)",
    .CopyFile = "Copy file",
    .Action = "Action",
    .ShortPass = "pass",
    .ShortFail = "FAIL",
    .WasWritten = "written",
    .WasNotWritten = "not written",
    .ActionGain = "gain",
    .ActionClipped = "gain, clipped",
    .ActionLowered = "gain lowered to the ceiling",
    .ActionLimited = "true-peak limiter",
    .ActionUnchanged = "left as it is (on target)",
    .AppliedGain = "gain",
    .MaxReduction = "max reduction",
    .OverTenthDB = "%s s over 0.1 dB",
    .OverOneDB = "%s s over 1 dB",
    .NeededReduction = "%s dB of reduction needed",
    .NotWrittenLead = "not written: ",
    .NotWrittenTail = ": not written",
    .NotWrittenPhrase = "",
    .Frames = "frames",
    .Band = "Band",
    .SectionVerdict = "verdict",
    .TruePeakMax = "TP max",
    .FigurePeak = "peak",
    .MaxMomentary = "max M",
    .MaxShortTerm = "max S",
    .DownmixTruePeak = "downmix TP",
    .Limiter = "limiter",
    .NoGraph = "(no graph)",
    .GraphAlt = "loudness graph",
    .ShortTerm = "short-term 3 s",
    .Momentary = "momentary 400 ms",
    .TargetLine = "target",
    .Max = "max",
    // The codes read as words in English.
    .LoudnessHigh = "loudness_high",
    .LoudnessLow = "loudness_low",
    .TruePeakOver = "true_peak_over",
    .ShortTermOver = "short_term_over",
    .NoteLead = "; note: ",
    .DownmixTruePeakOver = "downmix true peak over the maximum",
};

constexpr Words kJapanese{
    .Language = "ja",
    .ReportTitle = "ラウドネスレポート",
    .Date = "日時",
    .Host = "ホスト",
    .Program = "プログラム",
    .Operator = "担当者",
    .Station = "局",
    .Programme = "番組",
    .Client = "クライアント",
    .Notes = "備考",
    .Profile = "配信基準",
    .Target = "ターゲット値",
    .Range = "計測範囲",
    .Units = "ラウドネス LKFS、ピーク dBFS、トゥルーピーク (TP) dBTP、LRA LU、ゲイン dB。判定: 元ファイル / 出力。",
    .ProjectedNote = "* 書き出した場合: この実行では書き出していない出力の予測値です（計測のみ）。",
    .IfWritten = "書き出した場合",
    .Summary = "概要",
    .Listed = "リスト",
    .Measured = "計測",
    .Written = "書き出し",
    .NotWritten = "書き出さず",
    .NotWrittenBy = "書き出さなかった理由",
    .Verdicts = "判定（配信基準）",
    .Sources = "元ファイル",
    .Copies = "出力",
    .Pass = "合格",
    .Fail = "不合格",
    .Count = "%s 件",
    .ListSeparator = "、",
    .Title = "タイトル",
    .Duration = "長さ",
    .Peak = "ピーク",
    .Gain = "ゲイン",
    .CopyLKFS = "出力 LKFS",
    .CopyTP = "出力 TP",
    .Verdict = "判定",
    .Outcome = "結果",
    .Source = "元ファイル",
    .Copy = "出力",
    .CopyIfWritten = "出力（書き出した場合）",
    .CopyFile = "出力ファイル",
    .Action = "処理",
    .ShortPass = "合格",
    .ShortFail = "不合格",
    .WasWritten = "書き出しました",
    .WasNotWritten = "書き出していません",
    .ActionGain = "ゲイン",
    .ActionClipped = "ゲイン（クリップあり）",
    .ActionLowered = "ゲインを上限まで下げました",
    .ActionLimited = "トゥルーピークリミッター",
    .ActionUnchanged = "変更なし（ターゲット値内）",
    .AppliedGain = "ゲイン",
    .MaxReduction = "最大リダクション",
    .OverTenthDB = "0.1 dB 超 %s 秒",
    .OverOneDB = "1 dB 超 %s 秒",
    .NeededReduction = "必要なリダクション %s dB",
    .NotWrittenLead = "",
    .NotWrittenTail = "",
    .NotWrittenPhrase = "書き出しません",
    .Frames = "フレーム",
    .Band = "基準",
    .SectionVerdict = "判定",
    .TruePeakMax = "TP 上限",
    .FigurePeak = "ピーク",
    .MaxMomentary = "最大M",
    .MaxShortTerm = "最大S",
    .DownmixTruePeak = "ダウンミックスTP",
    .Limiter = "リミッター",
    .NoGraph = "（グラフなし）",
    .GraphAlt = "ラウドネスグラフ",
    .ShortTerm = "ショートターム 3 秒",
    .Momentary = "モーメンタリー 400 ms",
    .TargetLine = "ターゲット値",
    .Max = "上限",
    .LoudnessHigh = "ラウドネス高",
    .LoudnessLow = "ラウドネス低",
    .TruePeakOver = "トゥルーピーク超過",
    .ShortTermOver = "ショートターム超過",
    .NoteLead = "。注記: ",
    .DownmixTruePeakOver = "ダウンミックスのトゥルーピーク超過",
};

// pPattern with its one "%s" replaced by pValue.
std::string Fill(const char* pPattern, const std::string& pValue) {
    std::string text = pPattern;
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, pValue);
    return text;
}

std::string CountText(size_t pCount, const Words& pWords) { return Fill(pWords.Count, std::to_string(pCount)); }

std::string VerdictReason(const std::string& pCode, const Words& pWords) {
    const std::pair<const char*, const char*> known[] = {{"loudness_high", pWords.LoudnessHigh},
                                                         {"loudness_low", pWords.LoudnessLow},
                                                         {"true_peak_over", pWords.TruePeakOver},
                                                         {"short_term_over", pWords.ShortTermOver}};
    for (const auto& [code, word] : known)
        if (pCode == code) return word;
    return pCode;
}

std::string VerdictNote(const std::string& pCode, const Words& pWords) {
    return pCode == "downmix_true_peak_over" ? pWords.DownmixTruePeakOver : pCode;
}

bool StartsWith(const std::string& pText, const std::string& pLead) {
    return !pLead.empty() && pText.size() >= pLead.size() && pText.compare(0, pLead.size(), pLead) == 0;
}

bool EndsWith(const std::string& pText, const std::string& pTail) {
    return !pTail.empty() && pText.size() >= pTail.size() &&
           pText.compare(pText.size() - pTail.size(), pTail.size(), pTail) == 0;
}

// The verdict's notes after the verdict, in words.
std::string NotesText(const FileVerdict& pVerdict, const Words& pWords) {
    std::string text;
    for (const std::string& note : pVerdict.Notes)
        text += (text.empty() ? std::string(pWords.NoteLead) : std::string(pWords.ListSeparator)) +
                VerdictNote(note, pWords);
    return text;
}

// A reason text without the lead or tail that says "not written" again
// after the outcome.
std::string WithoutNotWritten(std::string pText, const Words& pWords) {
    if (StartsWith(pText, pWords.NotWrittenLead)) pText.erase(0, std::string(pWords.NotWrittenLead).size());
    if (EndsWith(pText, pWords.NotWrittenTail)) pText.resize(pText.size() - std::string(pWords.NotWrittenTail).size());
    return pText;
}

}  // namespace

const Words& WordsOf(ReportLanguage pLanguage) { return pLanguage == ReportLanguage::English ? kEnglish : kJapanese; }

std::string VerdictText(const FileVerdict& pVerdict, const Words& pWords) {
    switch (pVerdict.Kind) {
        case VerdictKind::None:
            return "-";
        case VerdictKind::Pass:
            return pWords.Pass + NotesText(pVerdict, pWords);
        case VerdictKind::Fail:
            break;
    }
    std::string text = pWords.Fail;
    for (size_t i = 0; i < pVerdict.Reasons.size(); ++i)
        text += (i == 0 ? std::string(" (") : std::string(pWords.ListSeparator)) +
                VerdictReason(pVerdict.Reasons[i], pWords);
    if (!pVerdict.Reasons.empty()) text += ")";
    return text + NotesText(pVerdict, pWords);
}

std::string OutcomeText(const FileRow& pRow, const Words& pWords) {
    std::string text = pRow.Written ? pWords.WasWritten : pWords.WasNotWritten;
    if (!pRow.ReasonCode.empty()) text += " (" + pRow.ReasonCode + ")";
    return text;
}

std::string BandText(const ProfileBand& pBand, const Words& pWords) {
    if (!pBand.Present) return "-";
    std::string text = Number(pBand.Target, 1) + " ± " + Number(pBand.Tolerance, 1) + " LU";
    if (pBand.MaxTruePeak)
        text += pWords.ListSeparator + std::string(pWords.TruePeakMax) + " " + Number(pBand.MaxTruePeak, 1) + " dBTP";
    return text;
}

std::string FiguresText(const Figures& pFigures, const Words& pWords, const std::string& pSeparator) {
    std::string text = "LKFS " + Number(pFigures.LKFS) + pSeparator + pWords.FigurePeak + " " +
                       Number(pFigures.SamplePeak) + " dBFS" + pSeparator + "TP " + Number(pFigures.TruePeak) +
                       " dBTP" + pSeparator + "LRA " + Number(pFigures.LRA, 1) + " LU" + pSeparator +
                       pWords.MaxMomentary + " " + Number(pFigures.MaxMomentary) + pSeparator + pWords.MaxShortTerm +
                       " " + Number(pFigures.MaxShortTerm);
    if (pFigures.DownmixTruePeak)
        text += pSeparator + pWords.DownmixTruePeak + " " + Number(pFigures.DownmixTruePeak) + " dBTP";
    return text;
}

std::string FullOutcomeText(const FileRow& pRow, const Words& pWords) {
    std::string text;
    const std::string reason = pRow.Written ? pRow.ReasonText : WithoutNotWritten(pRow.ReasonText, pWords);
    const std::string phrase = pWords.NotWrittenPhrase;
    if (!pRow.Written && !phrase.empty() && reason.find(phrase) != std::string::npos)
        text = reason + (pRow.ReasonCode.empty() ? std::string() : " (" + pRow.ReasonCode + ")");
    else
        text = OutcomeText(pRow, pWords) + (reason.empty() ? std::string() : ": " + reason);
    if (pRow.NeededReductionDB)
        text += pWords.ListSeparator + Fill(pWords.NeededReduction, Number(pRow.NeededReductionDB));
    return text;
}

std::string ActionName(const FileRow& pRow, const Words& pWords) {
    if (!pRow.ActionText.empty()) return pRow.ActionText;
    switch (pRow.Action) {
        case CopyAction::None:
            return {};
        case CopyAction::Gain:
            return pWords.ActionGain;
        case CopyAction::Clipped:
            return pWords.ActionClipped;
        case CopyAction::Lowered:
            return pWords.ActionLowered;
        case CopyAction::Limited:
            return pWords.ActionLimited;
        case CopyAction::Unchanged:
            return pWords.ActionUnchanged;
    }
    return {};
}

std::string ActionText(const FileRow& pRow, const Words& pWords) {
    std::vector<std::string> parts;
    // A plain gain is said by the gain itself ("gain -4.007 dB").
    const bool plainGain = pRow.Action == CopyAction::Gain && pRow.AppliedGainDB;
    if (std::string name = ActionName(pRow, pWords); !name.empty() && !plainGain) parts.push_back(std::move(name));
    if (const std::string gain = Gain(pRow.AppliedGainDB); !gain.empty())
        parts.push_back(std::string(pWords.AppliedGain) + " " + gain + " dB");
    if (pRow.MaxReductionDB)
        parts.push_back(std::string(pWords.MaxReduction) + " " + Number(pRow.MaxReductionDB) + " dB");
    if (pRow.SecondsOverTenthDB) parts.push_back(Fill(pWords.OverTenthDB, Number(pRow.SecondsOverTenthDB)));
    if (pRow.SecondsOverOneDB) parts.push_back(Fill(pWords.OverOneDB, Number(pRow.SecondsOverOneDB)));
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : pWords.ListSeparator) + part;
    return text;
}

const char* ActionCode(CopyAction pAction) {
    switch (pAction) {
        case CopyAction::None:
            return "";
        case CopyAction::Gain:
            return "gain";
        case CopyAction::Clipped:
            return "clipped";
        case CopyAction::Lowered:
            return "lowered";
        case CopyAction::Limited:
            return "limited";
        case CopyAction::Unchanged:
            return "unchanged";
    }
    return "";
}

std::string SummaryCountsText(const BatchSummary& pSummary, const Words& pWords) {
    const std::pair<const char*, size_t> counts[] = {{pWords.Listed, pSummary.Listed},
                                                     {pWords.Measured, pSummary.Measured},
                                                     {pWords.Written, pSummary.Written},
                                                     {pWords.NotWritten, pSummary.Listed - pSummary.Written}};
    std::string text;
    for (const auto& [label, count] : counts)
        text += (text.empty() ? "" : pWords.ListSeparator) + std::string(label) + " " + CountText(count, pWords);
    return text;
}

std::string SummaryReasonsText(const BatchSummary& pSummary, const Words& pWords) {
    std::string text;
    for (const BatchSummary::Reason& reason : pSummary.NotWritten) {
        std::string item = reason.Code.empty() ? "-" : reason.Code;
        if (!reason.Text.empty()) item = WithoutNotWritten(reason.Text, pWords) + " (" + item + ")";
        text += (text.empty() ? "" : pWords.ListSeparator) + item + ": " + CountText(reason.Count, pWords);
    }
    return text.empty() ? std::string() : std::string(pWords.NotWrittenBy) + ": " + text;
}

std::string SummaryVerdictsText(const BatchSummary& pSummary, const Words& pWords) {
    const auto counts = [&](const char* pWhat, size_t pPass, size_t pFail) {
        return std::string(pWhat) + ": " + pWords.Pass + " " + CountText(pPass, pWords) + pWords.ListSeparator +
               pWords.Fail + " " + CountText(pFail, pWords);
    };
    return std::string(pWords.Verdicts) + ": " + counts(pWords.Sources, pSummary.SourcePass, pSummary.SourceFail) +
           " / " + counts(pWords.Copies, pSummary.CopyPass, pSummary.CopyFail);
}

std::string StationText(const BatchHeader& pHeader, const Words& pWords) {
    const std::pair<const char*, const std::string*> fields[] = {{pWords.Operator, &pHeader.Operator},
                                                                 {pWords.Station, &pHeader.Station},
                                                                 {pWords.Programme, &pHeader.Programme},
                                                                 {pWords.Client, &pHeader.Client}};
    std::string text;
    for (const auto& [label, value] : fields)
        text += (text.empty() ? "" : "    ") + std::string(label) + ": " + (value->empty() ? "-" : *value);
    return text;
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

std::string CopyVerdictText(const FileRow& pRow, const Words& pWords) {
    if (!ShowsCopy(pRow)) return "—";
    return VerdictText(pRow.CopyVerdict, pWords) + (IsProjected(pRow) ? kProjectedMark : "");
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
