#pragma once
// Which loudspeaker each channel of a WAV file feeds, as far as loudness
// weighting and a stereo downmix need to know: mono, stereo, 5.1 or 7.1,
// or a layout this tool cannot place.
//
// Plain PCM carries no speaker assignment: six channels are taken in the
// usual WAV order L R C LFE Ls Rs, eight as L R C LFE Lb Rb Ls Rs. The
// extensible "fmt " chunk names the loudspeakers in its channel mask, one
// bit per speaker, the channels following in ascending bit order. Known
// surround masks: 5.1 as FL FR FC LFE BL BR (0x3F) or FL FR FC LFE SL SR
// (0x60F), 7.1 as FL FR FC LFE BL BR SL SR (0x63F). In a 5.1 file the back
// or side pair is the one surround pair (Ls Rs); in 7.1 the side pair is
// Ls Rs and the back pair Lb Rb.
//
// A mask is only followed where it leaves no doubt:
// - more speaker bits than channels: the channels take the lowest bits and
//   the rest are ignored, as the extensible format defines; the lowest bits
//   must then form a known layout;
// - fewer bits than channels (a mask of 0 included): some channels feed no
//   named loudspeaker, so a 6- or 8-channel file is Unknown;
// - any other mask of six or eight bits is Unknown.
// One and two channels are mono and stereo whatever their mask says: their
// channels weigh the same at every front position.

#include <cstdint>
#include <vector>

#include "wavefile/byte_source.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {

enum class ChannelLayout : std::int32_t {
    Unknown = 0,  // no channel count or mask this tool can place: not measured
    Mono = 1,
    Stereo = 2,
    Surround51 = 3,
    Surround71 = 4,
};

// The role of one channel, by the loudspeaker it feeds.
enum class Speaker : std::int32_t {
    Left,
    Right,
    Centre,
    Lfe,
    LeftSurround,   // 5.1's surround pair (back or side); 7.1's side pair
    RightSurround,  //
    LeftBack,       // 7.1's back pair
    RightBack,      //
};

// Channel mask bits of the extensible "fmt " chunk.
inline constexpr std::uint32_t kSpeakerFrontLeft = 0x1;
inline constexpr std::uint32_t kSpeakerFrontRight = 0x2;
inline constexpr std::uint32_t kSpeakerFrontCentre = 0x4;
inline constexpr std::uint32_t kSpeakerLowFrequency = 0x8;
inline constexpr std::uint32_t kSpeakerBackLeft = 0x10;
inline constexpr std::uint32_t kSpeakerBackRight = 0x20;
inline constexpr std::uint32_t kSpeakerSideLeft = 0x200;
inline constexpr std::uint32_t kSpeakerSideRight = 0x400;

inline constexpr std::uint32_t kMaskFront = kSpeakerFrontLeft | kSpeakerFrontRight | kSpeakerFrontCentre;
inline constexpr std::uint32_t kMask51Back = kMaskFront | kSpeakerLowFrequency | kSpeakerBackLeft | kSpeakerBackRight;
inline constexpr std::uint32_t kMask51Side = kMaskFront | kSpeakerLowFrequency | kSpeakerSideLeft | kSpeakerSideRight;
inline constexpr std::uint32_t kMask71 = kMask51Back | kSpeakerSideLeft | kSpeakerSideRight;

// The layout of pChannels channels. pExtensible false: a plain "fmt "
// chunk without a mask (the usual order); true: the extensible chunk's
// pMask, judged as above.
ChannelLayout ChannelLayoutOf(std::int32_t pChannels, bool pExtensible, std::uint32_t pMask);

// The layout of the file whose chunk walk gave pLayout: the channel count
// of its record and, for an extensible "fmt " chunk, its mask. Unknown when
// the walk found no "fmt " chunk, or an extensible one too short to hold a
// mask for a 6- or 8-channel file, or a read fails.
ChannelLayout ReadChannelLayout(const ByteSource& pSource, const WaveLayout& pLayout);

// The layout a channel count alone implies (no mask): 1 mono, 2 stereo,
// 6 5.1, 8 7.1, otherwise Unknown.
ChannelLayout DefaultChannelLayout(std::int32_t pChannels);

// The channels of pLayout in file order; one entry (Centre) for mono,
// empty for Unknown.
std::vector<Speaker> SpeakersOf(ChannelLayout pLayout);

// The number of channels of pLayout; 0 for Unknown.
std::int32_t ChannelCountOf(ChannelLayout pLayout);

// "mono", "stereo", "5.1", "7.1" or "unknown", for logs and reports.
const char* ChannelLayoutName(ChannelLayout pLayout);

}  // namespace sonivate
