#include "app/run_report.h"

#include <ctime>

#include "common/decimal_text.h"
#include "common/formatting.h"
#include "platform/process_info.h"

namespace sonivate {
namespace {

constexpr const char* kBroadcastMarkerPrefix = "BC$";

// "2026-12-09 10:02:03 JST (+0900)": the local time a signature goes with,
// its zone named and as an offset, so that the record reads the same
// wherever it is read.
std::string ReportDate(std::time_t pNow) {
    std::tm local{};
    localtime_r(&pNow, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z (%z)", &local);
    return text;
}

// What the copy step did, as the report names it.
report::CopyAction ReportAction(const RowResult& pResult) {
    if (!pResult.Written) return report::CopyAction::None;
    if (pResult.WithinTolerance) return report::CopyAction::Unchanged;
    switch (pResult.ClipStep) {
        case ClipTaken::Clipped:
            return report::CopyAction::Clipped;
        case ClipTaken::Lowered:
            return report::CopyAction::Lowered;
        case ClipTaken::Limited:
            return report::CopyAction::Limited;
        case ClipTaken::None:
            break;
    }
    return report::CopyAction::Gain;
}

}  // namespace

report::FileVerdict ReportVerdict(const std::optional<FileVerdicts>& pVerdicts, bool pOutput) {
    report::FileVerdict verdict;
    if (!pVerdicts || (pOutput && !pVerdicts->HasOutput)) return verdict;
    const Verdict& v = pOutput ? pVerdicts->output : pVerdicts->source;
    verdict.Kind = v.pass ? report::VerdictKind::Pass : report::VerdictKind::Fail;
    verdict.Reasons = v.reasons;
    verdict.Notes = v.notes;
    return verdict;
}

report::ProfileBand ReportBand(const DeliveryProfile& pProfile) {
    return {true, pProfile.target, pProfile.tolerance, pProfile.maxTruePeak};
}

report::Figures ReportFigures(const RowResult& pResult, double pShift, std::optional<double> pLKFS) {
    report::Figures figures;
    figures.LKFS = pLKFS;
    figures.SamplePeak = pResult.Peak + pShift;
    if (pResult.Broadcast) {
        const BroadcastFigures& b = *pResult.Broadcast;
        auto shifted = [&](const std::optional<double>& pValue) {
            return pValue ? std::optional<double>(*pValue + pShift) : std::nullopt;
        };
        figures.TruePeak = shifted(b.TruePeak);
        figures.LRA = b.LoudnessRange;
        figures.MaxMomentary = shifted(b.MaxMomentary);
        figures.MaxShortTerm = shifted(b.MaxShortTerm);
        figures.DownmixTruePeak = shifted(b.DownmixTruePeak);
    }
    return figures;
}

std::vector<report::Marker> BroadcastMarkers(const std::vector<CueMarker>& pMarkers) {
    std::vector<report::Marker> found;
    for (const CueMarker& marker : pMarkers) {
        const std::string label = AsciiUpper(marker.Label);
        if (label.rfind(kBroadcastMarkerPrefix, 0) == 0) found.push_back({label, marker.SampleOffset});
    }
    return found;
}

report::FileRow ReportRow(const BatchRow& pRow, const RowResult* pResult, const DeliveryProfile* pProfile,
                          RowReason pUnprocessed, const ReasonTexter& pReasonText) {
    report::FileRow file;
    file.Title = pRow.Title;
    file.Path = pRow.Path;
    file.RangeStart = pRow.Start;
    file.RangeEnd = pRow.End;
    if (pProfile != nullptr) file.Band = ReportBand(*pProfile);
    const RowReason reason = pResult != nullptr ? pResult->Reason : pUnprocessed;
    file.ReasonCode = ReasonCode(reason);
    if (pReasonText) file.ReasonText = pReasonText(reason, pResult != nullptr ? pResult->WriteError : 0);
    file.Written = pResult != nullptr && pResult->Written;
    if (pResult == nullptr) return file;
    if (pResult->Reason == RowReason::LimitExceeded) file.NeededReductionDB = pResult->NeededReductionDB;
    if (pResult->Written) {
        file.CopyPath = pResult->OutputPath;
        file.Action = ReportAction(*pResult);
        file.AppliedGainDB = pResult->AppliedGain;
        if (pResult->Limiter) {
            file.MaxReductionDB = pResult->Limiter->MaxReductionDB;
            file.SecondsOverTenthDB = pResult->Limiter->SecondsAbove01dB;
            file.SecondsOverOneDB = pResult->Limiter->SecondsAbove1dB;
            file.LimiterReductionDB = pResult->Limiter->BlockReductionDB;
            file.LimiterBlockSeconds = kLimiterBlockSeconds;
        }
    }
    file.Markers = BroadcastMarkers(pResult->Markers);
    file.FileFrames = pResult->FileFrames;
    if (pResult->SampleRate > 0) file.SampleRate = pResult->SampleRate;
    if (!pResult->Measured) return file;
    // No gain for a row without programme loudness.
    if (const std::optional<double> gain = ParseDecimal(pResult->GainText)) file.GainDB = *gain;
    file.Source = ReportFigures(*pResult, 0.0, pResult->LKFS);
    // The copy as it was written (measured where it is no plain scaling of
    // its source), as it would be written, or nothing.
    if (const std::optional<CopyFigures> copy = RowCopyFigures(*pResult)) {
        file.Copy = {
            copy->Integrated,   copy->SamplePeak,   copy->TruePeak, copy->LoudnessRange,
            copy->MaxMomentary, copy->MaxShortTerm, std::nullopt};  // a copy's downmix is not measured: nothing claimed
        file.CopyIs = pResult->Copy == CopyState::Written ? report::CopyState::Written : report::CopyState::Projected;
    }
    const std::optional<FileVerdicts> verdicts = RowVerdicts(pResult, pProfile);
    file.SourceVerdict = ReportVerdict(verdicts, false);
    file.CopyVerdict = ReportVerdict(verdicts, true);
    if (pResult->Broadcast) {
        const LoudnessSeries& series = pResult->Broadcast->Series;
        file.Loudness = {series.StepFrames, series.Momentary, series.ShortTerm};
        if (pResult->Broadcast->TruePeakFrame) file.TruePeakFrame = pRow.Start + *pResult->Broadcast->TruePeakFrame;
    }
    return file;
}

report::BatchHeader ReportHeader(const std::string& pProgramVersion, const DeliveryProfile* pProfile,
                                 double pTargetLKFS, const std::string& pRangeChoices) {
    report::BatchHeader header;
    header.Date = ReportDate(std::time(nullptr));
    header.Host = platform::HostName();
    header.ProgramVersion = std::string(kProgramName) + " " + pProgramVersion;
    header.Operator = platform::LoginFullName();
    if (pProfile != nullptr) header.ProfileName = ProfileDisplayName(pProfile->name);
    header.TargetLKFS = pTargetLKFS;
    header.RangeChoices = pRangeChoices;
    return header;
}

bool SetReportField(report::BatchHeader& pHeader, const std::string& pKey, const std::string& pValue) {
    std::string* field = nullptr;
    if (pKey == kReportFieldOperator) field = &pHeader.Operator;
    if (pKey == kReportFieldStation) field = &pHeader.Station;
    if (pKey == kReportFieldProgramme) field = &pHeader.Programme;
    if (pKey == kReportFieldClient) field = &pHeader.Client;
    if (pKey == kReportFieldNotes) field = &pHeader.Notes;
    if (field == nullptr) return false;
    *field = pValue;
    return true;
}

}  // namespace sonivate
