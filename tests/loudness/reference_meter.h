#pragma once
// A slow meter written for plainness, to hold the fast one to: the whole
// range is filtered in one pass, one sample at a time, and every block is
// summed straight from the filtered signal. It takes the samples as the test
// generated them, never the file.

#include <cstdint>
#include <vector>

#include "support/wavgen.h"

namespace sonivate::test {

struct ReferenceResult {
    bool ok = false;
    std::int32_t numBlock = 0;
    std::vector<double> power;     // per block
    std::vector<double> loudness;  // per block, LKFS
    double peakValue = 0.0;        // dBFS
    double lkfsValue = 0.0;        // LKFS
};

// Measures the frames [pStart, pEnd) of pInterleaved (pChannels channels,
// 16 or 24 bit, 48000 Hz); pEnd <= 0 means the last frame. The frames must
// be present: the reference knows nothing of files.
ReferenceResult ReferenceMeasure(const Samples& pInterleaved, std::int32_t pChannels, std::int32_t pBits,
                                 std::int64_t pStart, std::int64_t pEnd);

// Gated integration of block powers with an offset of pAdd dB.
double ReferenceGated(const ReferenceResult& pBlocks, double pAdd, std::int32_t pBlockLen, std::int32_t pFullScale);

// The gain search toward pTarget over the same blocks.
double ReferenceGain(const ReferenceResult& pBlocks, double pTarget, std::int32_t pBlockLen, std::int32_t pFullScale);

}  // namespace sonivate::test
