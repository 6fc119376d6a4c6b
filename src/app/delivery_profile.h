#pragma once
// Delivery profiles: a target loudness with its tolerance and the peak and
// short-term limits a delivery standard sets, and the verdicts on a file and
// on its copy. Every face judges through these.
//
// Units: loudness in LUFS (= LKFS), tolerance in LU, peaks in dBTP (true
// peak) or dBFS (sample peak), gains in dB.

#include <optional>
#include <string>
#include <vector>

namespace sonivate {

struct RowResult;
struct BroadcastFigures;

struct DeliveryProfile {
    std::string name;
    double target = 0.0;                 // LUFS (= LKFS)
    double tolerance = 0.0;              // LU either side of the target
    double maxTruePeak = 0.0;            // dBTP
    std::optional<double> maxShortTerm;  // LUFS
};

// The targets a run accepts (LKFS): a programme brought below -60 would be
// mostly noise and quantisation, and one above 0 cannot exist at full
// scale. A typo such as -230 is refused rather than applied as -200 dB.
inline constexpr double kLowestTargetLKFS = -60.0;
inline constexpr double kHighestTargetLKFS = 0.0;
bool TargetLKFSAllowed(double pTarget);

// The built-in profiles: ebu-r128, ebu-r128-s1, atsc-a85, arib-tr-b32.
std::optional<DeliveryProfile> BuiltInProfile(const std::string& pName);
std::vector<std::string> BuiltInProfileNames();
// A profile's name as people write it: the built-in ones by their
// standards' names (arib-tr-b32 as "ARIB TR-B32"), a house profile by its own.
std::string ProfileDisplayName(const std::string& pName);

// A house profile from a file: JSON ({"name": ..., "target": ...,
// "tolerance": ..., "true_peak_max": ..., "short_term_max": ...}) or ini
// lines name=, target=, tolerance=, true_peak_max=, short_term_max= (a
// section header and ; or # comments allowed). target, tolerance and
// true_peak_max are required; numbers are written with a point whatever the
// locale. Empty with pError set on failure (in English).
std::optional<DeliveryProfile> LoadProfileFile(const std::string& pPath, std::string& pError);

// Verdict reason codes.
inline constexpr const char* kReasonLoudnessLow = "loudness_low";
inline constexpr const char* kReasonLoudnessHigh = "loudness_high";
inline constexpr const char* kReasonTruePeakOver = "true_peak_over";
inline constexpr const char* kReasonShortTermOver = "short_term_over";
// A note, not a reason: the stereo downmix a receiver makes of a 5.1 or 7.1
// file would pass the profile's true-peak maximum. No delivery rule judges
// the downmix, so the verdict stays as it is.
inline constexpr const char* kNoteDownmixTruePeakOver = "downmix_true_peak_over";

struct Verdict {
    bool pass = true;
    std::vector<std::string> reasons;  // the codes above, in that order
    std::vector<std::string> notes;    // kNote... codes; they never fail a file
};

// pLoudness LKFS, pTruePeak dBTP, pMaxShortTerm LUFS (empty: shorter than a
// window, no short-term limit can fail).
Verdict Judge(const DeliveryProfile& pProfile, double pLoudness, double pTruePeak, std::optional<double> pMaxShortTerm);

// The broadcast figures of one file. Empty members: too short for the
// window, or the layout is not measured.
struct BroadcastValues {
    std::optional<double> truePeak;      // dBTP
    std::optional<double> lra;           // LU
    std::optional<double> maxMomentary;  // LUFS
    std::optional<double> maxShortTerm;  // LUFS
    // The BS.775 stereo downmix's true peak of a 5.1 or 7.1 file (dBTP).
    std::optional<double> downmixTruePeak;
};
BroadcastValues ValuesOf(const BroadcastFigures& pFigures);

struct FileVerdicts {
    Verdict source;  // the file as measured
    Verdict output;  // the copy as written (or, in a run that writes nothing, as it would be)
    // False when there is no copy to judge (refused, failed, stopped):
    // output then says nothing and is shown nowhere.
    bool HasOutput = true;
};

// The verdicts on a measured file whose loudness is pLoudness (LKFS) and
// sample peak pPeak (dBFS): the copy is written with pGain dB (the gain as
// shown), so its true peak and short-term loudness move by pGain, and its
// loudness is pOutputLoudness, gated again after the gain (LKFS). Without a
// true peak the sample peak stands in for it.
FileVerdicts JudgeFile(const DeliveryProfile& pProfile, double pLoudness, double pOutputLoudness, double pGain,
                       double pPeak, const BroadcastValues& pValues);

// The verdicts on a row of a run: the source's, and the copy's from the
// copy's figures (RowCopyFigures: measured from the copy where it is no
// plain scaling of its source); empty without a profile, or when the row
// was not measured with the broadcast figures.
std::optional<FileVerdicts> RowVerdicts(const RowResult* pResult, const DeliveryProfile* pProfile);

}  // namespace sonivate
