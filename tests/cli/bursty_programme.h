#pragma once
// A programme whose gain would clip, for the clip actions of run and watch.

#include <cstdint>
#include <string>

#include "support/wavgen.h"

namespace sonivate::test {

// About -30 LKFS, 6 s of 16-bit stereo at 48 kHz, with a half-millisecond
// burst near full scale every second: at -24 LKFS its copy's true peak
// would pass 0 dBTP, though a limiter needs only a few dB, and barely moves
// the loudness, to keep it under -1 dBTP. Written to pPath, which it returns.
inline std::string BurstyProgramme(const std::string& pPath) {
    constexpr std::int32_t kProgrammeRate = 48000;
    constexpr std::int64_t kSeconds = 6;
    constexpr std::int64_t kBurstFrames = kProgrammeRate / 2000;
    Samples samples = Sine(kProgrammeRate * kSeconds, 2, 1000.0, -31.0, 16);
    const Samples burst = Sine(kBurstFrames, 2, 1000.0, -4.0, 16);
    for (std::int64_t second = 0; second < kSeconds; ++second)
        for (std::int64_t k = 0; k < kBurstFrames * 2; ++k)
            samples[static_cast<size_t>((second * kProgrammeRate + kProgrammeRate / 2) * 2 + k)] =
                burst[static_cast<size_t>(k)];
    return WriteWav(pPath, {}, samples);
}

}  // namespace sonivate::test
