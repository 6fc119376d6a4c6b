#pragma once
// The report of one batch, a delivery record a client can sign: a header
// (program, date, host and the station's own fields), a summary of the
// batch, one row per file with its figures, verdicts, paths, outcome and the
// action taken, and its loudness over time. Written as PDF (A4, the header on
// every page and "n / N" in the footer, the summary and a table, then a
// section per file with its loudness graph), as one self-contained HTML file
// (inline CSS, graphs as inline PNG) or as CSV (one row per file, RFC 4180;
// columns are only ever appended, so the earlier ones keep their places).
// Every text a person reads is in the report's Language; the CSV's codes
// and column names are the same in both.
//
// Plain data: the caller fills it from its own run. Units: loudness in LKFS
// (= LUFS), levels in dBFS (sample peak) and dBTP (true peak), loudness
// range and tolerance in LU, gains in dB, positions and lengths in sample
// frames at SampleRate. An empty optional is a figure not measured.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sonivate::report {

// The language of every text the report shows: titles, column heads,
// verdicts, outcomes, actions, legends. Texts that come in the data
// (ReasonText, ActionText, names) are shown as given.
enum class ReportLanguage { Japanese, English };

struct BatchHeader {
    std::string Date;  // as it should be shown, with its time zone, e.g. "2026-12-09 01:02:03 UTC"
    std::string Host;
    std::string ProgramVersion;  // the program's name and version, e.g. "sonivate 1.4.0"
    std::string ProfileName;     // empty: no delivery profile
    double TargetLKFS = -24.0;
    std::string RangeChoices;  // the range choices as text, e.g. "BC$START - BC$END"
    // What the station fills in; each optional (empty: shown as "-").
    std::string Operator;   // who ran the batch
    std::string Station;    // the station or facility
    std::string Programme;  // the programme or campaign delivered
    std::string Client;     // who the delivery is for
    std::string Notes;      // free text, shown in full (wrapped)
};

// The figures of one file, or of its copy at the applied gain.
struct Figures {
    std::optional<double> LKFS;          // integrated, LKFS
    std::optional<double> SamplePeak;    // dBFS
    std::optional<double> TruePeak;      // dBTP
    std::optional<double> LRA;           // LU
    std::optional<double> MaxMomentary;  // LKFS
    std::optional<double> MaxShortTerm;  // LKFS
    // The BS.775 stereo downmix's true peak of a 5.1 or 7.1 file, dBTP.
    std::optional<double> DownmixTruePeak;
};

enum class VerdictKind { None, Pass, Fail };

struct FileVerdict {
    // Made from a kind and its reasons as before the notes came: every
    // caller that has none need not name them.
    FileVerdict() = default;
    FileVerdict(VerdictKind pKind, std::vector<std::string> pReasons, std::vector<std::string> pNotes = {})
        : Kind(pKind), Reasons(std::move(pReasons)), Notes(std::move(pNotes)) {}

    VerdictKind Kind = VerdictKind::None;
    std::vector<std::string> Reasons;  // codes, e.g. "loudness_high", "true_peak_over"
    // Codes of what the verdict notes without failing the file, e.g.
    // "downmix_true_peak_over" (the stereo downmix of a 5.1 or 7.1 file
    // would pass the profile's true-peak maximum).
    std::vector<std::string> Notes;
};

struct Marker {
    std::string Name;        // e.g. "BC$START"
    std::int64_t Frame = 0;  // from the first frame of the data
};

// Loudness every StepFrames frames of the measured range: entry k is the
// window that ends (k + 1) * StepFrames frames after RangeStart. Entries
// that are not finite (no full window) are left out of the graph.
struct Series {
    std::int64_t StepFrames = 0;    // 4800 at 48000 Hz (100 ms)
    std::vector<double> Momentary;  // 400 ms, LKFS
    std::vector<double> ShortTerm;  // 3 s, LKFS
};

// The profile's band and limit, drawn on the graph and shown in the table.
struct ProfileBand {
    bool Present = false;
    double Target = -24.0;              // LKFS
    double Tolerance = 0.0;             // LU either side
    std::optional<double> MaxTruePeak;  // dBTP
};

// What a row's Copy figures and CopyVerdict describe.
//   None: the row has no copy (refused, failed, stopped, not reached); its
//     copy figures and copy verdict are not shown, whatever they hold.
//   Written: the copy this run wrote.
//   Projected: the copy as it would be if written; nothing was written in
//     this run (a measure-only run). Shown marked "if written".
enum class CopyState { None, Written, Projected };

// What was done to the audio to make the copy.
//   None: nothing said (no copy, or a caller that does not tell).
//   Gain: the full gain, linear.
//   Clipped: the full gain, linear, clipped where it must be.
//   Lowered: the gain lowered until the true peak meets the ceiling.
//   Limited: the full gain and a true-peak limiter where it would exceed
//     the ceiling (the limiter's figures below).
//   Unchanged: already on target: the copy is the source, byte for byte.
enum class CopyAction { None, Gain, Clipped, Lowered, Limited, Unchanged };

struct FileRow {
    std::string Title;
    std::string Path;
    std::int32_t SampleRate = 48000;
    std::int64_t FileFrames = 0;  // frames in the file (0: unknown, the range end and the markers stand in)
    // Where the source's true peak is, frames from the data's first frame.
    std::optional<std::int64_t> TruePeakFrame;
    std::int64_t RangeStart = 0;  // frames, [RangeStart, RangeEnd)
    std::int64_t RangeEnd = 0;
    Figures Source;
    std::optional<double> GainDB;  // empty: no gain (e.g. too quiet to measure)
    Figures Copy;                  // at the applied gain
    CopyState CopyIs = CopyState::None;
    std::string CopyPath;  // the copy's path; empty when there is none
    FileVerdict SourceVerdict;
    FileVerdict CopyVerdict;
    // The outcome, shown in full in every format.
    bool Written = false;
    std::string ReasonCode;  // why not written, or how written
    std::string ReasonText;
    Series Loudness;  // empty when not measured: the row gets no graph
    std::vector<Marker> Markers;
    ProfileBand Band;
    // The action taken, shown after the outcome in every format.
    CopyAction Action = CopyAction::None;
    std::string ActionText;               // shown instead of the report's own words for Action when not empty
    std::optional<double> AppliedGainDB;  // the constant gain the copy was written with (make-up gain included)
    // The limiter's figures (Limited); empty when it did not act.
    std::optional<double> MaxReductionDB;      // the most gain reduction, dB (positive)
    std::optional<double> SecondsOverTenthDB;  // time with more than 0.1 dB of reduction, s
    std::optional<double> SecondsOverOneDB;    // time with more than 1 dB of reduction, s
    // A row refused because the limiter would need more reduction than
    // allowed (limit_exceeded): the reduction it needed, dB (positive).
    std::optional<double> NeededReductionDB;
    // Where the limiter acted: its largest reduction (dB, positive) in each
    // block of LimiterBlockSeconds from RangeStart; the graph marks them.
    std::vector<float> LimiterReductionDB;
    double LimiterBlockSeconds = 0.0;

    double RangeSeconds() const;
};

struct BatchReport {
    BatchHeader Header;
    std::vector<FileRow> Rows;
    ReportLanguage Language = ReportLanguage::Japanese;
};

// The batch in counts, as the report's summary shows it.
struct BatchSummary {
    size_t Listed = 0;
    size_t Measured = 0;  // rows with any source figure or a loudness series
    size_t Written = 0;
    // The rows not written, by ReasonCode in the order first met ("" for a
    // row without one); Text is the rows' ReasonText when they all share it.
    struct Reason {
        std::string Code;
        std::string Text;
        size_t Count = 0;
    };
    std::vector<Reason> NotWritten;
    // Profile verdicts: of the sources, and of the copies a row shows.
    size_t SourcePass = 0;
    size_t SourceFail = 0;
    size_t CopyPass = 0;
    size_t CopyFail = 0;
};

BatchSummary Summarize(const BatchReport& pReport);

enum class ReportStatus {
    Ok,
    UnknownFormat,  // the extension is not .pdf, .html, .htm or .csv
    CannotCreate,   // the file cannot be created (Errno says why)
    WriteFailed,    // writing, flushing or closing failed (Errno says why), or drawing failed
};

struct ReportResult {
    ReportStatus Status = ReportStatus::Ok;
    int Errno = 0;
    bool ok() const { return Status == ReportStatus::Ok; }
};

// Writes pReport to pPath, the format chosen by the extension (case
// insensitive). The file is written under a temporary name beside pPath and
// renamed onto it when complete, so a failed report leaves no half file.
// The text is streamed to the file as it is made: memory stays bounded by
// the rows themselves (and, for PDF, cairo's per-page bookkeeping), however
// many rows there are. Rows with neither figures nor a loudness series get a
// table line only, no section and no graph. Names are shown through
// ShownText (text_cells.h), CSV cells through CsvTextCell. Never throws.
ReportResult WriteReport(const BatchReport& pReport, const std::string& pPath);

// Seconds as the report shows times: "m:ss.s", "h:mm:ss.s" from an hour on
// (a negative or non-finite value as 0).
std::string ClockText(double pSeconds);

// The same contents as text, for a caller that stores them itself (the
// whole document in memory: for small batches and tests).
std::string ReportCsv(const BatchReport& pReport);
std::string ReportHtml(const BatchReport& pReport);

}  // namespace sonivate::report
