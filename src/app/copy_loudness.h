#pragma once
// The broadcast loudness fields of a gain-adjusted copy. A copy keeps every
// byte of its source outside the audio it scales, so without this its bext
// chunk would still describe the source: a copy brought to -24 LUFS would
// claim the -23 LUFS its source had. The five fields of a version 2 bext
// chunk are the one exception to "every other byte kept": they are set to
// what the copy itself measures.
//
// The figures describe the frames the source was measured over (the row's
// range), the programme the gain was computed for. They come from the
// source's measurement and the gain wherever that is exact, and from a
// measurement of the copy itself where the writer may have changed the
// audio beyond a plain gain (a copy that saturated, one so quiet that the
// writer's rounding shows in its figures) or the source's figures were not
// all taken.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/progress_host.h"
#include "wavefile/bext.h"

namespace sonivate {

class BroadcastMeasures;
class C_LKFSFCT;

// What becomes of a copy's bext loudness fields.
enum class BextLoudnessMode {
    Keep,     // the source's bytes, untouched
    Update,   // a version 2 or later chunk gets the copy's figures (the default)
    Upgrade,  // as Update, and a version 0 or 1 chunk becomes version 2 with them
};
inline constexpr BextLoudnessMode kDefaultBextLoudnessMode = BextLoudnessMode::Update;

// "keep", "update", "upgrade".
const char* BextLoudnessModeName(BextLoudnessMode pMode);
// The mode of one of those names (exact, lower case), none for anything else.
std::optional<BextLoudnessMode> BextLoudnessModeOf(std::string_view pName);

// The source's measurement, as far as the copy's figures follow from it.
struct SourceLoudness {
    // The measured frames, as given to the meter: [Start, End), End <= 0
    // meaning the end of the audio.
    std::int64_t Start = 0;
    std::int64_t End = 0;
    double LKFS = 0.0;        // integrated loudness, LKFS
    double SamplePeak = 0.0;  // dBFS
    // The meter's blocks (BlockPower, BlockLen, FullScale): the copy's
    // gated loudness is computed from them, as the gates may admit other
    // blocks at the copy's level. Empty: the copy is measured.
    std::vector<double> BlockPowers;
    std::int32_t BlockLen = 0;
    std::int32_t FullScale = 0;
    // The broadcast measures were taken; each figure is empty when the range
    // was too short for it. Not taken: the copy is measured.
    bool BroadcastTaken = false;
    std::optional<double> TruePeak;       // dBTP
    std::optional<double> LoudnessRange;  // LU
    std::optional<double> MaxMomentary;   // LUFS
    std::optional<double> MaxShortTerm;   // LUFS
    // The short-term loudness every 100 ms (LUFS) the range was taken from:
    // its gates, too, admit other values at the copy's level.
    std::vector<double> ShortTermSeries;
};

// The source's measurement out of a meter that has just measured it and,
// when given and begun, the broadcast measures that listened to it.
SourceLoudness SourceLoudnessOf(const C_LKFSFCT& pMeter, const BroadcastMeasures* pExtras, std::int64_t pStart,
                                std::int64_t pEnd);

// A copy's figures. Integrated empty when no block passes the gates.
struct CopyFigures {
    std::optional<double> Integrated;     // LUFS
    std::optional<double> SamplePeak;     // dBFS (not kept in bext)
    std::optional<double> LoudnessRange;  // LU
    std::optional<double> TruePeak;       // dBTP
    std::optional<double> MaxMomentary;   // LUFS
    std::optional<double> MaxShortTerm;   // LUFS
};

// The copy's figures computed from its source's at pGainDB (as the writer
// applies it: gains below its floor act as the floor), or empty when the
// copy has to be measured: it saturated (gain + sample peak above 0 dBFS),
// it is quieter than the level down to which the writer's rounding stays
// below the fields' resolution, or the source's blocks, broadcast
// measures or short-term series are missing.
std::optional<CopyFigures> ComputeCopyFigures(const SourceLoudness& pSource, double pGainDB);

// The copy's figures measured from the copy open as pCopyFd over the
// source's range. Empty when the measurement failed or was stopped
// (pStopped tells).
std::optional<CopyFigures> MeasureCopyFigures(int pCopyFd, const SourceLoudness& pSource, ProgressHost* pHost,
                                              bool& pStopped);

// The five fields of pFigures.
BextLoudness BextLoudnessOf(const CopyFigures& pFigures);

// Sets the bext loudness fields of the copy open as pCopyFd (read and
// write access; written through, not yet published) per pMode, for a copy
// written from pSource's measurement at pGainDB. The copy's bext chunk is
// its source's: a file without one gets none, a chunk too short to hold the
// fields is left alone, and no byte outside the fields (and, for Upgrade,
// the version) changes. A copy whose figures cannot be measured gets fields
// that say "not known" rather than its source's.
//
// pHost, when given, sees the progress of a measurement of the copy and can
// stop it. Returns 0, ECANCELED when stopped, or the errno of a failed read
// or write of the copy. The descriptor stays open and its file position
// does not move.
int UpdateCopyLoudness(int pCopyFd, const SourceLoudness& pSource, double pGainDB, BextLoudnessMode pMode,
                       ProgressHost* pHost = nullptr);
// The same with the copy's figures known (measured from the copy): empty
// figures write "not known".
int WriteCopyLoudness(int pCopyFd, const std::optional<CopyFigures>& pFigures, BextLoudnessMode pMode);
// The same with the copy measured over pSource's range, and only when the
// copy has fields that pMode rewrites: a copy without a bext chunk (or one
// kept as it is) is never read again.
int MeasureCopyLoudness(int pCopyFd, const SourceLoudness& pSource, BextLoudnessMode pMode, ProgressHost* pHost);

}  // namespace sonivate
