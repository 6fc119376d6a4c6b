#pragma once
// The ITU-R BS.1770 constants the meter and the broadcast measures share:
// the loudness offset, the gates, the full-scale values and the channel
// weights.

#include <cstdint>
#include <vector>

#include "wavefile/channel_layout.h"

namespace sonivate::bs1770 {

// Loudness of a mean square m (full scale 1.0): 10*log10(m) - 0.691, LKFS.
inline constexpr double kLoudnessOffsetDB = 0.691;
inline constexpr double kAbsoluteGateLKFS = -70.0;
inline constexpr double kRelativeGateLU = 10.0;

// Full-scale sample values: 0 dBFS.
inline constexpr std::int32_t kFullScale16 = 32767;
inline constexpr std::int32_t kFullScale24 = 8388607;

// Channel weights by azimuth: the front channels, the surrounds from 60 to
// 120 degrees, the 7.1 back pair beyond 120 degrees; the LFE is left out.
inline constexpr double kFrontWeight = 1.0;          // L, R, C
inline constexpr double kBackWeight = 1.0;           // 7.1 Lb, Rb (beyond 120 degrees)
inline constexpr double kSideSurroundWeight = 1.41;  // Ls, Rs (60 to 120 degrees)
inline constexpr double kLeftOut = 0.0;              // LFE

inline constexpr double SpeakerWeight(Speaker pSpeaker) {
    switch (pSpeaker) {
        case Speaker::Left:
        case Speaker::Right:
        case Speaker::Centre:
            return kFrontWeight;
        case Speaker::Lfe:
            return kLeftOut;
        case Speaker::LeftSurround:
        case Speaker::RightSurround:
            return kSideSurroundWeight;
        case Speaker::LeftBack:
        case Speaker::RightBack:
            return kBackWeight;
    }
    return kLeftOut;
}

// The weight of each measured channel of pLayout in file order. A mono file
// is measured as two equal channels. Empty for Unknown.
inline std::vector<double> LayoutWeights(ChannelLayout pLayout) {
    if (pLayout == ChannelLayout::Mono) return {kFrontWeight, kFrontWeight};
    std::vector<double> weights;
    for (const Speaker speaker : SpeakersOf(pLayout)) weights.push_back(SpeakerWeight(speaker));
    return weights;
}

// The weights of the layout a channel count implies without a mask (see
// DefaultChannelLayout): L R C LFE Ls Rs for six channels, L R C LFE Lb Rb
// Ls Rs for eight. Empty for a channel count that is not measured.
inline std::vector<double> ChannelWeights(std::int32_t pChannels) {
    return LayoutWeights(DefaultChannelLayout(pChannels));
}

}  // namespace sonivate::bs1770
