#pragma once
// The ITU-R BS.1770 constants the meter and the broadcast measures share:
// the loudness offset, the gates, the full-scale values and the channel
// weights.

#include <cstdint>
#include <vector>

namespace sonivate::bs1770 {

// Loudness of a mean square m (full scale 1.0): 10*log10(m) - 0.691, LKFS.
inline constexpr double kLoudnessOffsetDB = 0.691;
inline constexpr double kAbsoluteGateLKFS = -70.0;
inline constexpr double kRelativeGateLU = 10.0;

// Full-scale sample values: 0 dBFS.
inline constexpr std::int32_t kFullScale16 = 32767;
inline constexpr std::int32_t kFullScale24 = 8388607;

// Channel weights.
inline constexpr double kFrontWeight = 1.0;          // L, R, C
inline constexpr double kBackWeight = 1.0;           // 7.1 Lb, Rb (beyond 120 degrees)
inline constexpr double kSideSurroundWeight = 1.41;  // Ls, Rs (60 to 120 degrees)
inline constexpr double kLeftOut = 0.0;              // LFE

// The weight of each measured channel in file order. A mono file is measured
// as two equal channels. Empty for a channel count that is not measured.
inline std::vector<double> ChannelWeights(std::int32_t pChannels) {
    switch (pChannels) {
        case 1:
        case 2:
            return {kFrontWeight, kFrontWeight};
        case 6:  // L R C LFE Ls Rs
            return {kFrontWeight, kFrontWeight, kFrontWeight, kLeftOut, kSideSurroundWeight, kSideSurroundWeight};
        case 8:  // L R C LFE Lb Rb Ls Rs
            return {kFrontWeight, kFrontWeight, kFrontWeight,        kLeftOut,
                    kBackWeight,  kBackWeight,  kSideSurroundWeight, kSideSurroundWeight};
        default:
            return {};
    }
}

}  // namespace sonivate::bs1770
