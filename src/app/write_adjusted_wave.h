#pragma once
// The output writing run for one file: a copy of a WAV file in which the
// frames of one range carry a gain and every other byte is the source's.

#include <cstdint>
#include <string>

#include "app/progress_host.h"
#include "common/basic_file.h"
#include "loudness/true_peak_limiter.h"
#include "writer/limited_gain.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {

// Writes Target as a copy of Source with the frames [From, To) of the data
// chunk multiplied by GainDB (dB, both channels; see C_EditWave for the
// sample rule). The header through the data chunk's size field, the frames
// outside the range and every byte behind the audio are copied unchanged,
// so the copy is exactly as long as the source.
//
// From and To are frame indices. Negative values count as 0; both are
// limited to the frames the file actually holds, so a range reaching past
// the audio (a marker beyond the end, a header declaring more data than the
// file contains) never treats trailing chunks as audio. To at or below From
// is an empty range: the copy is then identical to the source.
//
// Target is opened for reading and writing and created when missing; a
// Target that already holds bytes is refused and left as it was.
//
// Progress: pHost receives the step texts "<title> 書き出し処理 n/5…" (title:
// the source name without folder and last extension; steps 2, 4 and 5 only
// when their span exists) and the progress of each span (0 to
// kProgressScale); its StopRequested stops the copy at the next progress
// event. No message is shown to the operator.
//
// Result: 1 when the whole copy was written; 0 otherwise (a file that cannot
// be opened, no data chunk, an unsupported or invalid source, a failed or
// short read or write, a stop request, a trapped run-time error). A failed
// copy stays on disk for the caller to delete; with no data chunk it is empty.
std::int32_t WriteAdjustedWave(const std::string& Source, const std::string& Target, std::int64_t From, std::int64_t To,
                               double GainDB, ProgressHost& pHost);

// The same copy between files the caller holds open: pSource for reading
// (Source names it for the step texts), pTarget for reading and writing,
// empty. Both handles stay open, whatever happens.
std::int32_t WriteAdjustedWaveInto(const std::string& Source, FileHandle pSource, FileHandle pTarget, std::int64_t From,
                                   std::int64_t To, double GainDB, ProgressHost& pHost);

// A range written by the verified limiter instead of a plain gain:
// Limited, analysed over exactly the copy's range, renders, measures and
// writes it at the request RequestDB (LimitedGain::PlanInto); its status
// and figures then tell what the copy holds.
struct LimitedRange {
    LimitedGain* Limited = nullptr;
    double RequestDB = 0.0;
    LimiterSettings Settings;
};

// The same with the source's layout already read (ReadWaveLayout of pSource),
// so that a run walks the source's header once. pLimited, when given,
// writes the range itself (GainDB is then unused).
std::int32_t WriteAdjustedWaveInto(const std::string& Source, FileHandle pSource, FileHandle pTarget,
                                   const WaveLayout& pLayout, std::int64_t From, std::int64_t To, double GainDB,
                                   ProgressHost& pHost, const LimitedRange* pLimited = nullptr);

}  // namespace sonivate
