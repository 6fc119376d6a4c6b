#include "wavefile/channel_layout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/wavgen.h"
#include "wavefile/byte_source.h"
#include "wavefile/wave_check.h"
#include "wavefile/wave_extensible.h"

using namespace sonivate;
using namespace sonivate::test;

namespace {

constexpr std::int64_t kSecond = 48000;
// Offsets inside the "fmt " payload of the extensible format.
constexpr size_t kExtensionSizeAt = 16;
constexpr size_t kMaskAt = 20;

size_t FmtPayload(const Bytes& pFile) {
    const std::string text(pFile.begin(), pFile.end());
    return text.find("fmt ") + 8;
}

void Put32At(Bytes& pFile, size_t pAt, std::uint32_t pValue) {
    for (size_t b = 0; b < 4; ++b) pFile[pAt + b] = static_cast<std::uint8_t>(pValue >> (8 * b));
}

// A second of silence with pChannels channels; extensible with pMask, or plain PCM when pMask < 0.
Bytes SurroundFile(std::int16_t pChannels, std::int64_t pMask, std::int16_t pBits = 24) {
    WavSpec shape;
    shape.channels = pChannels;
    shape.bitsPerSample = pBits;
    shape.formatTag = pMask < 0 ? 1 : 0xFFFE;
    Bytes file = BuildWav(shape, Silence(kSecond, pChannels));
    if (pMask >= 0) Put32At(file, FmtPayload(file) + kMaskAt, static_cast<std::uint32_t>(pMask));
    return file;
}

WaveCheck Check(const Bytes& pFile) { return CheckWave(MemorySource(pFile.data(), pFile.size())); }

}  // namespace

TEST(ChannelLayout, MasksAndCountsGiveOneLayoutOrUnknown) {
    struct Case {
        const char* name;
        std::int32_t channels;
        bool extensible;
        std::uint32_t mask;
        ChannelLayout expected;
    };
    const Case cases[] = {
        {"plain 6 channels: usual order", 6, false, 0, ChannelLayout::Surround51},
        {"plain 8 channels: usual order", 8, false, 0, ChannelLayout::Surround71},
        {"5.1 with the back pair", 6, true, 0x3F, ChannelLayout::Surround51},
        {"5.1 with the side pair", 6, true, 0x60F, ChannelLayout::Surround51},
        {"7.1", 8, true, 0x63F, ChannelLayout::Surround71},
        {"6 channels, a 7.1 mask: the lowest six bits are 5.1", 6, true, 0x63F, ChannelLayout::Surround51},
        {"8 channels, 7.1 and a top speaker beyond them", 8, true, 0x63F | 0x800, ChannelLayout::Surround71},
        {"6 channels, mask 0", 6, true, 0, ChannelLayout::Unknown},
        {"8 channels, mask 0", 8, true, 0, ChannelLayout::Unknown},
        {"6 channels, two named", 6, true, 0x3, ChannelLayout::Unknown},
        {"8 channels, a 5.1 mask", 8, true, 0x3F, ChannelLayout::Unknown},
        {"6 channels, back centre for a surround", 6, true, 0x11F, ChannelLayout::Unknown},
        {"8 channels, front centre pair for the sides", 8, true, 0xFF, ChannelLayout::Unknown},
        {"8 channels, nine bits whose lowest eight are no 7.1", 8, true, 0x6FF, ChannelLayout::Unknown},
        {"8 channels, 6.1 and a side", 8, true, 0x13F | 0x200, ChannelLayout::Unknown},
        {"mono, mask 0", 1, true, 0, ChannelLayout::Mono},
        {"mono, front centre", 1, true, 0x4, ChannelLayout::Mono},
        {"stereo, mask 0", 2, true, 0, ChannelLayout::Stereo},
        {"stereo, plain", 2, false, 0, ChannelLayout::Stereo},
        {"3 channels", 3, false, 0, ChannelLayout::Unknown},
        {"7 channels, 6.1 mask", 7, true, 0x13F, ChannelLayout::Unknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChannelLayoutOf(c.channels, c.extensible, c.mask), c.expected)
            << c.name << ": " << ChannelLayoutName(ChannelLayoutOf(c.channels, c.extensible, c.mask));
}

TEST(ChannelLayout, SevenOneKeepsBackPairBeforeSidePairInFileOrder) {
    const std::vector<Speaker> speakers = SpeakersOf(ChannelLayout::Surround71);
    ASSERT_EQ(speakers.size(), 8u);
    EXPECT_EQ(speakers[3], Speaker::Lfe);
    EXPECT_EQ(speakers[4], Speaker::LeftBack);
    EXPECT_EQ(speakers[5], Speaker::RightBack);
    EXPECT_EQ(speakers[6], Speaker::LeftSurround);
    EXPECT_EQ(speakers[7], Speaker::RightSurround);
    EXPECT_EQ(SpeakersOf(ChannelLayout::Surround51)[4], Speaker::LeftSurround);
    EXPECT_TRUE(SpeakersOf(ChannelLayout::Unknown).empty());
    EXPECT_EQ(ChannelCountOf(ChannelLayout::Mono), 1);
}

TEST(ChannelLayout, CheckWaveReadsTheFileMask) {
    struct Case {
        const char* name;
        Bytes file;
        ChannelLayout expected;
    };
    const Case cases[] = {
        {"plain 6", SurroundFile(6, -1), ChannelLayout::Surround51},
        {"plain 8, 16 bit", SurroundFile(8, -1, 16), ChannelLayout::Surround71},
        {"extensible 0x60F", SurroundFile(6, 0x60F), ChannelLayout::Surround51},
        {"extensible 0x63F", SurroundFile(8, 0x63F), ChannelLayout::Surround71},
        {"extensible 6, mask 0", SurroundFile(6, 0), ChannelLayout::Unknown},
        {"extensible 8, mask 0x60F", SurroundFile(8, 0x60F), ChannelLayout::Unknown},
        {"stereo extensible", SurroundFile(2, 0x3), ChannelLayout::Stereo},
    };
    for (const Case& c : cases) {
        const WaveCheck check = Check(c.file);
        // The layout is its own verdict: the file is otherwise well formed.
        EXPECT_EQ(check.Problem, WaveProblem::None) << c.name;
        EXPECT_EQ(check.Speakers, c.expected) << c.name;
    }
}

TEST(ChannelLayout, ExtensionTooShortForTheMaskIsUnknown) {
    Bytes file = SurroundFile(6, 0x3F);
    // An extension size below valid bits + mask leaves the mask unread.
    file[FmtPayload(file) + kExtensionSizeAt] = 2;
    const WaveLayout layout = ReadWaveLayout(MemorySource(file.data(), file.size()));
    EXPECT_FALSE(ExtensibleChannelMask(MemorySource(file.data(), file.size()), layout.FmtChunk).has_value());
    EXPECT_EQ(ReadChannelLayout(MemorySource(file.data(), file.size()), layout), ChannelLayout::Unknown);
}
