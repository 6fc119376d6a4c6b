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

// The mark on projected copy figures, explained by kProjectedNote.
inline constexpr const char* kProjectedMark = "*";
inline constexpr const char* kProjectedNote =
    "* if written: projected figures of a copy this run did not write (measure only).";

// A figure with pDecimals decimals, or "-" when it was not measured.
std::string Number(const std::optional<double>& pValue, int pDecimals = 2);
// A gain with its sign: "+1.234"; empty when there is none.
std::string Gain(const std::optional<double>& pValue);
// Seconds as "m:ss.s" (hours as "h:mm:ss.s").
std::string Clock(double pSeconds);
// "pass", "fail (a, b)" or "-".
std::string VerdictText(const FileVerdict& pVerdict);
// "written" or "not written", with the reason code.
std::string OutcomeText(const FileRow& pRow);
// OutcomeText and the reason text after it.
std::string FullOutcomeText(const FileRow& pRow);
std::string BandText(const ProfileBand& pBand);

// Copy figures and the copy verdict are shown (CopyIs is not None).
bool ShowsCopy(const FileRow& pRow);
bool IsProjected(const FileRow& pRow);
bool AnyProjected(const BatchReport& pReport);
// A copy figure as the table shows it: blank without a copy, marked when
// projected.
std::string CopyNumber(const FileRow& pRow, const std::optional<double>& pValue, int pDecimals = 2);
// The copy verdict as the table shows it: "—" without a copy, marked when
// projected.
std::string CopyVerdictText(const FileRow& pRow);
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
