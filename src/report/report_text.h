#pragma once
// Texts and file output the report's formats share (internal to the module).

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "report/batch_report.h"

namespace sonivate::report::detail {

// The face of every text of the report: Japanese titles must show.
inline constexpr const char* kFontFamily = "Noto Sans CJK JP";

// The mark on projected copy figures, explained by Words::ProjectedNote.
inline constexpr const char* kProjectedMark = "*";

// Every word the report shows, in one language. Figures, units and codes
// (reason codes, unknown verdict codes) are the same in both.
struct Words {
    const char* Language;  // the HTML lang attribute
    const char* ReportTitle;
    // The header.
    const char* Date;
    const char* Host;
    const char* Program;
    const char* Operator;
    const char* Station;
    const char* Programme;
    const char* Client;
    const char* Notes;
    const char* Profile;
    const char* Target;
    const char* Range;
    const char* Units;  // the units and the verdict columns explained
    const char* ProjectedNote;
    const char* IfWritten;
    // The summary.
    const char* Summary;
    const char* Listed;
    const char* Measured;
    const char* Written;
    const char* NotWritten;
    const char* NotWrittenBy;
    const char* Verdicts;
    const char* Sources;
    const char* Copies;
    const char* Pass;
    const char* Fail;
    const char* Count;          // "%s": a count of rows
    const char* ListSeparator;  // between the items of a list
    // The table.
    const char* Title;
    const char* Duration;
    const char* Peak;
    const char* Gain;
    const char* CopyLKFS;
    const char* CopyTP;
    const char* Verdict;
    const char* Outcome;
    const char* Source;
    const char* Copy;
    const char* CopyIfWritten;
    const char* CopyFile;
    const char* Action;
    const char* ShortPass;
    const char* ShortFail;
    // The outcome and the action.
    const char* WasWritten;
    const char* WasNotWritten;
    const char* ActionGain;
    const char* ActionClipped;
    const char* ActionLowered;
    const char* ActionLimited;
    const char* ActionUnchanged;
    const char* AppliedGain;
    const char* MaxReduction;
    const char* OverTenthDB;      // "%s": seconds
    const char* OverOneDB;        // "%s": seconds
    const char* NeededReduction;  // "%s": dB the limiter would have needed (limit_exceeded)
    // How a reason text of this language says "not written" itself, so
    // that the outcome says it once: a lead or a tail dropped from the
    // text, or a phrase within it (the text then stands for the outcome).
    const char* NotWrittenLead;
    const char* NotWrittenTail;
    const char* NotWrittenPhrase;
    // A file's section.
    const char* Frames;
    const char* Band;
    const char* SectionVerdict;
    const char* TruePeakMax;
    const char* FigurePeak;
    const char* MaxMomentary;
    const char* MaxShortTerm;
    const char* DownmixTruePeak;
    const char* Limiter;  // the graph's legend: where the limiter acted
    const char* NoGraph;
    const char* GraphAlt;
    // The graph's legend.
    const char* ShortTerm;
    const char* Momentary;
    const char* TargetLine;
    const char* Max;
    // Verdict codes in words; a code not here is shown as it is.
    const char* LoudnessHigh;
    const char* LoudnessLow;
    const char* TruePeakOver;
    const char* ShortTermOver;
    // Verdict notes: they never fail a file.
    const char* NoteLead;  // before the notes, after the verdict
    const char* DownmixTruePeakOver;
};

const Words& WordsOf(ReportLanguage pLanguage);

// A figure with pDecimals decimals, or "-" when it was not measured.
std::string Number(const std::optional<double>& pValue, int pDecimals = 2);
// A gain with its sign: "+1.234"; empty when there is none.
std::string Gain(const std::optional<double>& pValue);
// Seconds as "m:ss.s" (hours as "h:mm:ss.s").
std::string Clock(double pSeconds);
// "pass", "fail (a, b)" or "-", in pWords, the verdict's notes after it.
std::string VerdictText(const FileVerdict& pVerdict, const Words& pWords);
// "written" or "not written", with the reason code.
std::string OutcomeText(const FileRow& pRow, const Words& pWords);
// OutcomeText and the reason text after it, "not written" said once; a
// row refused as limit_exceeded also gives the reduction it needed.
std::string FullOutcomeText(const FileRow& pRow, const Words& pWords);
// The action in words ("limiter"), "" for None without ActionText.
std::string ActionName(const FileRow& pRow, const Words& pWords);
// The action with its gain and the limiter's figures, "" when there is
// nothing to say.
std::string ActionText(const FileRow& pRow, const Words& pWords);
// A stable code for CSV: "gain", "clipped", "lowered", "limited",
// "unchanged" or "".
const char* ActionCode(CopyAction pAction);
std::string BandText(const ProfileBand& pBand, const Words& pWords);
// A file's figures on one line ("LKFS -24.00<sep>peak -3.17 dBFS<sep>TP ..."),
// the downmix's true peak last when there is one.
std::string FiguresText(const Figures& pFigures, const Words& pWords, const std::string& pSeparator);
// The summary's lines: counts, rows not written by reason, verdicts.
std::string SummaryCountsText(const BatchSummary& pSummary, const Words& pWords);
std::string SummaryReasonsText(const BatchSummary& pSummary, const Words& pWords);
std::string SummaryVerdictsText(const BatchSummary& pSummary, const Words& pWords);
// The station's fields as one line ("Operator: ... Station: ..."); Notes
// apart.
std::string StationText(const BatchHeader& pHeader, const Words& pWords);

// Copy figures and the copy verdict are shown (CopyIs is not None).
bool ShowsCopy(const FileRow& pRow);
bool IsProjected(const FileRow& pRow);
bool AnyProjected(const BatchReport& pReport);
// A copy figure as the table shows it: blank without a copy, marked when
// projected.
std::string CopyNumber(const FileRow& pRow, const std::optional<double>& pValue, int pDecimals = 2);
// The copy verdict as the table shows it: "—" without a copy, marked when
// projected.
std::string CopyVerdictText(const FileRow& pRow, const Words& pWords);
// The row has a finite loudness value to draw.
bool HasSeries(const FileRow& pRow);
// The row has anything beyond its table line: figures, a series or a copy.
// Rows without (a missing file, a row not reached) get no section.
bool HasDetails(const FileRow& pRow);

// Where a report's bytes go: a string (the text functions) or the file
// being written. Put after a failure is ignored.
class Sink {
public:
    virtual ~Sink() = default;
    virtual void Put(std::string_view pBytes) = 0;
    virtual bool Failed() const { return false; }
};

class StringSink : public Sink {
public:
    void Put(std::string_view pBytes) override { mText.append(pBytes); }
    std::string& Text() { return mText; }

private:
    std::string mText;
};

// pPath written through pPath + ".part", renamed onto pPath by Finish. A
// part file that is not finished is removed.
class PartFile : public Sink {
public:
    explicit PartFile(const std::string& pPath);
    ~PartFile() override;
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool Opened() const { return mFile != nullptr; }
    int Error() const { return mError; }
    void Put(std::string_view pBytes) override;
    bool Failed() const override { return mError != 0; }
    // Flushes, closes and renames; pDrawFailed: the contents are incomplete
    // for a reason other than the file (the part file is removed).
    ReportResult Finish(bool pDrawFailed = false);

private:
    std::string mPath;
    std::string mPart;
    std::FILE* mFile = nullptr;
    int mError = 0;
};

void WriteCsv(const BatchReport& pReport, Sink& pSink);
void WriteHtml(const BatchReport& pReport, Sink& pSink);
// False when cairo fails.
bool WritePdf(const BatchReport& pReport, Sink& pSink);

}  // namespace sonivate::report::detail
