#include "wavefile/channel_layout.h"

#include <bit>
#include <optional>

#include "wavefile/wave_extensible.h"
#include "wavefile/wave_format.h"

namespace sonivate {
namespace {

constexpr std::int32_t kFormatTagMask = 0xFFFF;
constexpr std::int32_t kChannels51 = 6;
constexpr std::int32_t kChannels71 = 8;

// The lowest pCount set bits of pMask: the speakers pCount channels take
// when the mask names more.
std::uint32_t LowestBits(std::uint32_t pMask, std::int32_t pCount) {
    std::uint32_t kept = 0;
    for (std::int32_t n = 0; n < pCount && pMask != 0; ++n) {
        const std::uint32_t lowest = pMask & (~pMask + 1);
        kept |= lowest;
        pMask &= ~lowest;
    }
    return kept;
}

}  // namespace

ChannelLayout DefaultChannelLayout(std::int32_t pChannels) {
    switch (pChannels) {
        case 1:
            return ChannelLayout::Mono;
        case 2:
            return ChannelLayout::Stereo;
        case kChannels51:
            return ChannelLayout::Surround51;
        case kChannels71:
            return ChannelLayout::Surround71;
        default:
            return ChannelLayout::Unknown;
    }
}

ChannelLayout ChannelLayoutOf(std::int32_t pChannels, bool pExtensible, std::uint32_t pMask) {
    const ChannelLayout byCount = DefaultChannelLayout(pChannels);
    if (!pExtensible || byCount == ChannelLayout::Mono || byCount == ChannelLayout::Stereo) return byCount;
    if (std::popcount(pMask) < pChannels) return ChannelLayout::Unknown;
    const std::uint32_t taken = LowestBits(pMask, pChannels);
    if (byCount == ChannelLayout::Surround51 && (taken == kMask51Back || taken == kMask51Side))
        return ChannelLayout::Surround51;
    if (byCount == ChannelLayout::Surround71 && taken == kMask71) return ChannelLayout::Surround71;
    return ChannelLayout::Unknown;
}

ChannelLayout ReadChannelLayout(const ByteSource& pSource, const WaveLayout& pLayout) {
    if (pLayout.FmtChunk < kFirstChunkPosition) return ChannelLayout::Unknown;
    const std::int32_t channels = pLayout.Info.Channels;
    if ((pLayout.Info.FormatTag & kFormatTagMask) != kFormatTagExtensible) return ChannelLayoutOf(channels, false, 0);
    const std::optional<std::uint32_t> mask = ExtensibleChannelMask(pSource, pLayout.FmtChunk);
    return ChannelLayoutOf(channels, true, mask.value_or(0));
}

std::vector<Speaker> SpeakersOf(ChannelLayout pLayout) {
    switch (pLayout) {
        case ChannelLayout::Mono:
            return {Speaker::Centre};
        case ChannelLayout::Stereo:
            return {Speaker::Left, Speaker::Right};
        case ChannelLayout::Surround51:
            return {Speaker::Left, Speaker::Right,        Speaker::Centre,
                    Speaker::Lfe,  Speaker::LeftSurround, Speaker::RightSurround};
        case ChannelLayout::Surround71:
            return {Speaker::Left,     Speaker::Right,     Speaker::Centre,       Speaker::Lfe,
                    Speaker::LeftBack, Speaker::RightBack, Speaker::LeftSurround, Speaker::RightSurround};
        case ChannelLayout::Unknown:
            break;
    }
    return {};
}

std::int32_t ChannelCountOf(ChannelLayout pLayout) { return static_cast<std::int32_t>(SpeakersOf(pLayout).size()); }

const char* ChannelLayoutName(ChannelLayout pLayout) {
    switch (pLayout) {
        case ChannelLayout::Mono:
            return "mono";
        case ChannelLayout::Stereo:
            return "stereo";
        case ChannelLayout::Surround51:
            return "5.1";
        case ChannelLayout::Surround71:
            return "7.1";
        case ChannelLayout::Unknown:
            break;
    }
    return "unknown";
}

}  // namespace sonivate
