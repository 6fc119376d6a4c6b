#pragma once
// One judgement of a WAV file for every face of the tool: whether it can be
// measured and written, and if not, the first reason why. The file list,
// the command line's info, measure and run all ask this, so one file gets
// one answer everywhere.

#include <cstdint>
#include <string>

#include "common/basic_file.h"
#include "wavefile/byte_source.h"
#include "wavefile/channel_layout.h"
#include "wavefile/wave_format.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {

// What a measurable file must be beyond well-formed linear PCM of 16 or 24
// valid bits.
struct WaveRequirements {
    std::int32_t SampleRate = 48000;  // Hz: the rate the K-weighting coefficients are for
    std::int32_t ShortestMs = 1000;   // ms of audio in the file, at least
};

struct WaveCheck {
    WaveProblem Problem = WaveProblem::ReadFailed;  // None: measurable
    // The chunk walk: format record (container, IncompleteData, frame counts
    // included) and the positions of the data and "fmt " chunks. Its record
    // is valid for every Problem from NotPcm on, as far as the walk got.
    WaveLayout Layout;
    std::int32_t ValidBits = 0;   // bits of each sample that carry audio: BitsPerSample, or the extensible field
    std::int64_t Frames = 0;      // whole frames the file holds (Info.FramesInFile)
    std::int64_t DurationMs = 0;  // those frames at the sample rate, in ms, halves to even
    // The loudspeakers of the channels (channel_layout.h), read whenever the
    // walk found a "fmt " chunk. A 6- or 8-channel file whose mask cannot be
    // placed reads Unknown while Problem may still be None: the meter
    // refuses it, and a caller reports it as its own reason.
    ChannelLayout Speakers = ChannelLayout::Unknown;

    const WaveFormatInfo& Info() const { return Layout.Info; }
    bool IncompleteData() const { return Layout.Info.IncompleteData != 0; }
    std::int32_t Container() const { return Layout.Info.Container; }
};

// Judges the file in this order, the first fault found being the answer:
// ReadFailed, NotWave, NoFmt, then NotPcm (format tag not PCM, extensible
// with another sub-format), UnsupportedLayout / UnsupportedBits (a channel
// and bit combination outside FormatKind; 8 bits, or an extensible PCM file
// with fewer valid bits than its container), NoData, SizeMismatch,
// UnsupportedRate, TooShort (Frames, not the declared count). A file cut
// short or still growing is not a problem by itself: IncompleteData tells.
WaveCheck CheckWave(const ByteSource& pSource, const WaveRequirements& pNeeds = {});

// The same for the file pFilename, or the open pHandle (never closed here).
// A file that cannot be opened is ReadFailed.
WaveCheck CheckWave(const std::string& pFilename, FileHandle pHandle, const WaveRequirements& pNeeds = {});

// A stable lower-case name of the problem ("none", "read_failed",
// "not_wave", ...) for logs and tests.
const char* WaveProblemName(WaveProblem pProblem);

}  // namespace sonivate
