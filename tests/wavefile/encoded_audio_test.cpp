#include "wavefile/encoded_audio.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "support/wavgen.h"
#include "wavefile/byte_source.h"
#include "wavefile/wave_mmio.h"

using namespace sonivate;
using namespace sonivate::test;

namespace {

constexpr std::int64_t kSecond = 48000;
// Dolby E's data type and burst period at 25 frames per second.
constexpr std::int32_t kDolbyE = 28;
constexpr std::int64_t kBurstPeriod = kSecond / 25;

struct BurstShape {
    std::int32_t wordBits = 16;  // 16, 20 or 24
    std::int32_t channel = 0;    // first channel of the pair, or the one channel
    bool pair = true;
    std::int32_t dataType = kDolbyE;
    std::int64_t firstFrame = 0;
    std::int64_t period = kBurstPeriod;
    std::int32_t bursts = 1000;  // as many as fit
};

// A word of pBits as it stands in a sample of pContainerBits.
std::int32_t Stored(std::uint32_t pWord, std::int32_t pBits, std::int16_t pContainerBits) {
    const std::uint32_t sample24 = pWord << (24 - pBits);
    const std::uint32_t sample = pContainerBits == 16 ? sample24 >> 8 : sample24;
    const std::uint32_t sign = pContainerBits == 16 ? 0x8000u : 0x800000u;
    return static_cast<std::int32_t>(sample ^ sign) - static_cast<std::int32_t>(sign);
}

// Writes bursts into pSamples (interleaved, pChannels): the four preamble
// words, then payload words of random bits up to half the period.
void AddBursts(Samples& pSamples, std::int16_t pChannels, std::int16_t pContainerBits, const BurstShape& pShape) {
    const std::int64_t frames = static_cast<std::int64_t>(pSamples.size()) / pChannels;
    const std::uint32_t wordMask = (1u << pShape.wordBits) - 1;
    const std::uint32_t pa = pShape.wordBits == 16 ? 0xF872 : pShape.wordBits == 20 ? 0x6F872 : 0x96F872;
    const std::uint32_t pb = pShape.wordBits == 16 ? 0x4E1F : pShape.wordBits == 20 ? 0x54E1F : 0xA54E1F;
    std::mt19937 random(7);
    std::int32_t made = 0;
    for (std::int64_t start = pShape.firstFrame; start + pShape.period <= frames && made < pShape.bursts;
         start += pShape.period, ++made) {
        std::vector<std::uint32_t> words = {pa, pb, static_cast<std::uint32_t>(pShape.dataType), 0};
        const std::int64_t payload = pShape.period / 2;
        words[3] = static_cast<std::uint32_t>(payload * pShape.wordBits) & wordMask;
        for (std::int64_t w = 0; w < payload; ++w) words.push_back(static_cast<std::uint32_t>(random()) & wordMask);
        for (size_t w = 0; w < words.size(); ++w) {
            const std::int64_t frame =
                pShape.pair ? start + static_cast<std::int64_t>(w / 2) : start + static_cast<std::int64_t>(w);
            const std::int32_t channel =
                pShape.pair ? pShape.channel + static_cast<std::int32_t>(w % 2) : pShape.channel;
            if (frame >= frames) break;
            pSamples[static_cast<size_t>(frame * pChannels + channel)] =
                Stored(words[w], pShape.wordBits, pContainerBits);
        }
    }
}

struct TestFile {
    Bytes bytes;
    WaveFormatInfo info;
};

TestFile Make(std::int16_t pChannels, std::int16_t pBits, const Samples& pSamples) {
    WavSpec shape;
    shape.channels = pChannels;
    shape.bitsPerSample = pBits;
    shape.formatTag = pChannels > 2 ? 0xFFFE : 1;
    TestFile file{BuildWav(shape, pSamples), {}};
    file.info = ReadWaveHeader(MemorySource(file.bytes.data(), file.bytes.size()));
    return file;
}

EncodedAudioVerdict Detect(const TestFile& pFile, std::int64_t pMaxFrames = 0) {
    return DetectEncodedAudio(MemorySource(pFile.bytes.data(), pFile.bytes.size()), pFile.info, pMaxFrames);
}

// A source that serves the header and then fails.
class FailingSource final : public ByteSource {
public:
    FailingSource(const Bytes& pBytes, std::int64_t pFailFrom)
        : mInner(pBytes.data(), pBytes.size()), mFailFrom(pFailFrom) {}
    std::int64_t Size() const override { return mInner.Size(); }
    std::int64_t ReadAt(std::int64_t pOffset, void* pBuffer, std::int64_t pCount) const override {
        return pOffset + pCount > mFailFrom ? -1 : mInner.ReadAt(pOffset, pBuffer, pCount);
    }

private:
    MemorySource mInner;
    std::int64_t mFailFrom;
};

}  // namespace

TEST(EncodedAudio, FindsBurstsOfEachWordSizeAndPlacement) {
    struct Case {
        const char* name;
        std::int16_t channels;
        std::int16_t bits;
        BurstShape burst;
    };
    std::vector<Case> cases;
    cases.push_back({"16-bit stereo pair", 2, 16, BurstShape{}});
    BurstShape b;
    b.wordBits = 24;
    cases.push_back({"24-bit words in 24-bit stereo", 2, 24, b});
    b.wordBits = 20;
    cases.push_back({"20-bit words in 24-bit stereo", 2, 24, b});
    b.wordBits = 16;
    b.dataType = 1;
    b.period = 1536;
    cases.push_back({"16-bit words in 24-bit stereo", 2, 24, b});
    b = BurstShape{};
    b.wordBits = 20;
    b.channel = 4;
    b.firstFrame = 3000;
    cases.push_back({"20-bit Dolby E in the 5.1 surround pair", 6, 24, b});
    b = BurstShape{};
    b.channel = 6;
    cases.push_back({"16-bit words in the last 7.1 pair", 8, 16, b});
    b = BurstShape{};
    b.pair = false;
    b.channel = 3;
    b.wordBits = 24;
    cases.push_back({"one channel of 5.1", 6, 24, b});
    b.channel = 0;
    b.wordBits = 16;
    cases.push_back({"mono", 1, 16, b});

    for (const Case& c : cases) {
        Samples samples = Noise(4 * kSecond, c.channels, c.bits, 11, 0.25);
        AddBursts(samples, c.channels, c.bits, c.burst);
        const EncodedAudioVerdict verdict = Detect(Make(c.channels, c.bits, samples));
        EXPECT_EQ(verdict.Status, EncodedAudioStatus::Scanned) << c.name;
        ASSERT_TRUE(verdict.Found) << c.name;
        EXPECT_EQ(verdict.Placement, c.burst.pair ? BurstPlacement::ChannelPair : BurstPlacement::SingleChannel)
            << c.name;
        EXPECT_EQ(verdict.Channel, c.burst.channel) << c.name;
        EXPECT_EQ(verdict.WordBits, c.burst.wordBits) << c.name;
        EXPECT_EQ(verdict.DataType, c.burst.dataType) << c.name;
        EXPECT_EQ(verdict.FirstBurstFrame, c.burst.firstFrame) << c.name;
        // The scan ends in the third burst, not at the end of the file.
        EXPECT_LT(verdict.FramesScanned, c.burst.firstFrame + 3 * c.burst.period) << c.name;
    }
}

TEST(EncodedAudio, LoneOrScatteredPreamblesAreNoStream) {
    Samples samples = Noise(4 * kSecond, 2, 24, 3, 0.25);
    BurstShape two;
    two.wordBits = 24;
    two.bursts = 2;
    AddBursts(samples, 2, 24, two);
    EncodedAudioVerdict verdict = Detect(Make(2, 24, samples));
    EXPECT_FALSE(verdict.Found);
    EXPECT_EQ(verdict.Bursts, 2);
    EXPECT_EQ(verdict.FramesScanned, 4 * kSecond);

    // Bursts farther apart than any data type repeats.
    samples = Noise(4 * kSecond, 2, 24, 3, 0.25);
    BurstShape sparse;
    sparse.wordBits = 24;
    sparse.period = EncodedAudioScanner::kLongestBurstGapFrames + 2;
    AddBursts(samples, 2, 24, sparse);
    verdict = Detect(Make(2, 24, samples));
    EXPECT_FALSE(verdict.Found);
    EXPECT_EQ(verdict.Bursts, 1);

    // Pa and Pb across channels 1 and 2 straddle two AES pairs.
    samples = Noise(4 * kSecond, 6, 24, 3, 0.25);
    BurstShape straddling;
    straddling.wordBits = 24;
    straddling.channel = 1;
    AddBursts(samples, 6, 24, straddling);
    EXPECT_FALSE(Detect(Make(6, 24, samples)).Found);

    // Bursts only behind the frames asked for.
    samples = Noise(4 * kSecond, 2, 16, 3, 0.25);
    BurstShape late;
    late.firstFrame = 2 * kSecond;
    AddBursts(samples, 2, 16, late);
    EXPECT_FALSE(Detect(Make(2, 16, samples), kSecond).Found);
    EXPECT_TRUE(Detect(Make(2, 16, samples)).Found);
}

TEST(EncodedAudio, ProgrammeAudioIsNoStream) {
    struct Case {
        const char* name;
        std::int16_t channels;
        std::int16_t bits;
        Samples samples;
    };
    std::vector<Case> cases;
    for (const std::int16_t bits : {std::int16_t{16}, std::int16_t{24}}) {
        cases.push_back({"full-scale noise", 2, bits, Noise(20 * kSecond, 2, bits, 5, 1.0)});
        cases.push_back({"5.1 noise", 6, bits, Noise(5 * kSecond, 6, bits, 9, 1.0)});
        cases.push_back({"silence", 2, bits, Silence(kSecond, 2)});
        for (const double hz : {997.0, 1000.0, 12000.0})
            cases.push_back({"full-scale tone", 2, bits, Sine(5 * kSecond, 2, hz, 0.0, bits)});
    }
    for (const Case& c : cases) {
        const EncodedAudioVerdict verdict = Detect(Make(c.channels, c.bits, c.samples));
        EXPECT_EQ(verdict.Status, EncodedAudioStatus::Scanned) << c.name << " " << c.bits;
        EXPECT_FALSE(verdict.Found) << c.name << " " << c.bits;
        EXPECT_EQ(verdict.FramesScanned, static_cast<std::int64_t>(c.samples.size()) / c.channels) << c.name;
    }
}

TEST(EncodedAudio, PiecesOfAnySizeGiveTheVerdictOfOne) {
    Samples samples = Noise(kSecond, 6, 24, 2, 0.25);
    BurstShape b;
    b.wordBits = 20;
    b.channel = 2;
    b.firstFrame = 101;
    b.period = 1601;
    AddBursts(samples, 6, 24, b);
    const Bytes pcm = EncodeSamples(samples, 24);
    EncodedAudioScanner whole;
    ASSERT_TRUE(whole.Begin(6, 24));
    EXPECT_TRUE(whole.Push(pcm));
    for (const size_t piece : {size_t{1}, size_t{7}, size_t{18}, size_t{4097}}) {
        EncodedAudioScanner cut;
        ASSERT_TRUE(cut.Begin(6, 24));
        for (size_t at = 0; at < pcm.size() && !cut.Found(); at += piece)
            cut.Push(std::span(pcm).subspan(at, std::min(piece, pcm.size() - at)));
        EXPECT_TRUE(cut.Found()) << piece;
        EXPECT_EQ(cut.Verdict().FirstBurstFrame, whole.Verdict().FirstBurstFrame) << piece;
        EXPECT_EQ(cut.Verdict().FramesScanned, whole.Verdict().FramesScanned) << piece;
        EXPECT_EQ(cut.Verdict().DataType, kDolbyE) << piece;
    }
}

TEST(EncodedAudio, StatusTellsWhenTheVerdictIsNotKnown) {
    Samples samples = Noise(kSecond, 2, 16, 2, 0.25);
    BurstShape late;
    late.firstFrame = kSecond / 2;
    AddBursts(samples, 2, 16, late);
    const TestFile file = Make(2, 16, samples);
    EncodedAudioStatus status = EncodedAudioStatus::Scanned;
    EXPECT_FALSE(HasEncodedAudio(FailingSource(file.bytes, file.info.DataOffset + 1000), file.info, &status));
    EXPECT_EQ(status, EncodedAudioStatus::ReadFailed);

    WaveFormatInfo invalid = file.info;
    invalid.Valid = 0;
    EXPECT_FALSE(HasEncodedAudio(MemorySource(file.bytes.data(), file.bytes.size()), invalid, &status));
    EXPECT_EQ(status, EncodedAudioStatus::NotScanned);
    EXPECT_STREQ(EncodedAudioStatusName(status), "not_scanned");

    EXPECT_TRUE(HasEncodedAudio(MemorySource(file.bytes.data(), file.bytes.size()), file.info, &status));
    EXPECT_EQ(status, EncodedAudioStatus::Scanned);
}
