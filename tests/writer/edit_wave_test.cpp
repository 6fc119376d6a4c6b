#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "common/basic_file.h"
#include "common/error_trap.h"
#include "platform/event_pump.h"
#include "platform/posix_file.h"
#include "support/scratch.h"
#include "support/wavgen.h"
#include "wavefile/wave_mmio.h"
#include "writer/edit_wave.h"
#include "writer/sample_scaling.h"
#include "support/test_main.h"

namespace sonivate {
namespace {

using test::Bytes;
using test::Samples;
using test::ScratchDir;
using test::WavSpec;

// Frames of a Stereo16bit block (8 MiB / 4 bytes).
constexpr std::int64_t kStereo16BlockFrames = 2097152;

// Counts passes of the message loop and runs a hook in each, as a window
// handler would.
class CountingPump : public platform::EventPump {
public:
    CountingPump() = default;
    CountingPump(const CountingPump&) = delete;
    CountingPump& operator=(const CountingPump&) = delete;
    void ProcessEvents() override {
        ++passes;
        if (onEvents) onEvents();
    }
    int passes = 0;
    std::function<void()> onEvents;
};

class FaultHookScope {
public:
    explicit FaultHookScope(platform::FaultHook pHook) { platform::SetFaultHookForTesting(std::move(pHook)); }
    ~FaultHookScope() { platform::SetFaultHookForTesting(nullptr); }
    FaultHookScope(const FaultHookScope&) = delete;
    FaultHookScope& operator=(const FaultHookScope&) = delete;
};

bool DescriptorOpen(FileHandle pHandle) { return ::fcntl(pHandle - 1, F_GETFD) != -1; }

Samples Decode(const Bytes& pBytes, std::int16_t pBits) {
    const std::size_t width = static_cast<std::size_t>(pBits / 8);
    Samples out;
    for (std::size_t i = 0; i + width <= pBytes.size(); i += width) {
        std::uint32_t bits = 0;
        for (std::size_t b = 0; b < width; ++b) bits |= static_cast<std::uint32_t>(pBytes[i + b]) << (8 * b);
        const std::uint32_t sign = 1u << (pBits - 1);
        out.push_back(static_cast<std::int32_t>(bits ^ sign) - static_cast<std::int32_t>(sign));
    }
    return out;
}

WavSpec Layout(std::int16_t pChannels, std::int16_t pBits) {
    WavSpec format;
    format.channels = pChannels;
    format.bitsPerSample = pBits;
    return format;
}

struct Outcome {
    std::int32_t result = -1;
    Bytes written;
};

// EditWav by file names over a fresh source and an empty target.
Outcome EditByName(const ScratchDir& pDir, const WavSpec& pFormat, const Samples& pSamples, std::int64_t pFrom,
                   std::int64_t pTo, double pLeftDB, double pRightDB, C_EditWave* pEditor = nullptr) {
    const std::string source = test::WriteWav(pDir.file("source.wav"), pFormat, pSamples);
    const std::string target = pDir.file("target.raw");
    std::filesystem::remove(target);
    C_EditWave local;
    C_EditWave& editor = pEditor ? *pEditor : local;
    FileHandle none = 0;
    FileHandle noneToo = 0;
    Outcome outcome;
    outcome.result = editor.EditWav(source, target, none, noneToo, pFrom, pTo, false, 0.0f, 0.0f, 0, 0, false, false,
                                    0.0f, 0, 0, 0.0f, false, pLeftDB, pRightDB, 0, 0, false, true);
    EXPECT_EQ(none, 0);
    EXPECT_EQ(noneToo, 0);
    if (std::filesystem::exists(target)) outcome.written = test::ReadBytes(target);
    return outcome;
}

// The processed samples of a whole mono file at one gain. Every sample goes
// through the writer alone (the scalar path) and within runs of four, which
// the vector paths take (AVX2 where the processor has it, and the portable
// one); all must agree.
Samples Scaled(std::int16_t pBits, const Samples& pSamples, double pGainDB) {
    ScratchDir dir;
    Samples alone;
    Samples fourTimes;
    for (const std::int32_t sample : pSamples) {
        const Outcome single = EditByName(dir, Layout(1, pBits), {sample}, 0, 0, pGainDB, pGainDB);
        EXPECT_EQ(single.result, 1);
        const Samples out = Decode(single.written, pBits);
        alone.insert(alone.end(), out.begin(), out.end());
        fourTimes.insert(fourTimes.end(), 4, sample);
    }
    Samples expectedRuns;
    for (const std::int32_t sample : alone) expectedRuns.insert(expectedRuns.end(), 4, sample);
    for (const bool avx2 : {true, false}) {
        writer_detail::UseAvx2ForTesting(avx2);
        const Outcome runs = EditByName(dir, Layout(1, pBits), fourTimes, 0, 0, pGainDB, pGainDB);
        EXPECT_EQ(Decode(runs.written, pBits), expectedRuns) << (avx2 ? "AVX2 path" : "portable path");
    }
    writer_detail::UseAvx2ForTesting(true);
    return alone;
}

// A gain whose factor is 0.5 to within a few ulps: the scaled odd samples
// land exactly on .5 once held as 32-bit floats.
const double kHalfGainDB = 20.0 * std::log10(0.5);

TEST(EditWaveSampleRule, SixteenBitRoundsHalvesToEvenAndSaturatesAt32767) {
    EXPECT_EQ(Scaled(16, {-32768, 32767, 0}, 0.01), (Samples{-32767, 32767, 0}));
    EXPECT_EQ(Scaled(16, {1000, -12345}, -6.0), (Samples{501, -6187}));
    EXPECT_EQ(Scaled(16, {20000, -30000}, 3.0), (Samples{28251, -32767}));
    EXPECT_EQ(Scaled(16, {201, 203, -201, -203, 1}, kHalfGainDB), (Samples{100, 102, -100, -102, 0}));
    // A gain so large that its factor overflows: every non-zero sample saturates, zero stays zero.
    EXPECT_EQ(Scaled(16, {1, -1, 0}, 10000.0), (Samples{32767, -32767, 0}));
}

TEST(EditWaveSampleRule, GainsOfMinus60DBAndBelowAttenuateByOneThousandthNeverToSilence) {
    const Samples input = {30000, -25000, 1500, 500};
    const Samples expected = {30, -25, 2, 0};
    EXPECT_EQ(Scaled(16, input, -60.0), expected);
    EXPECT_EQ(Scaled(16, input, -80.0), expected);
    EXPECT_EQ(Scaled(16, input, -110.0), expected);
    EXPECT_EQ(Scaled(16, input, -200.0), expected);
    EXPECT_EQ(Scaled(16, input, -HUGE_VAL), expected);
}

TEST(EditWaveSampleRule, TwentyFourBitSaturatesToItsRangeAndRoundsTheFloatProduct) {
    EXPECT_EQ(Scaled(24, {8388607, -8388608, 5000000, -5000000}, 6.0), (Samples{8388607, -8388608, 8388607, -8388608}));
    // 3000000 * 1.41253... = 4237612.63, held as the float 4237612.5: a tie.
    EXPECT_EQ(Scaled(24, {3000000, -3000000}, 3.0), (Samples{4237612, -4237612}));
    EXPECT_EQ(Scaled(24, {1000000, -8388608}, -6.0), (Samples{501187, -4204263}));
    EXPECT_EQ(Scaled(24, {201, 203}, kHalfGainDB), (Samples{100, 102}));
}

TEST(EditWaveSampleRule, EachChannelTakesItsOwnGainAndMonoTakesTheLeft) {
    ScratchDir dir;
    const Outcome stereo16 = EditByName(dir, Layout(2, 16), {1000, 20000, -12345, 1000, 1000, 20000}, 0, 0, -6.0, 3.0);
    EXPECT_EQ(Decode(stereo16.written, 16), (Samples{501, 28251, -6187, 1413, 501, 28251}));
    const Outcome stereo24 = EditByName(dir, Layout(2, 24), {3000000, 1000000}, 0, 0, 3.0, -6.0);
    EXPECT_EQ(Decode(stereo24.written, 24), (Samples{4237612, 501187}));
    const Outcome mono = EditByName(dir, Layout(1, 16), {1000}, 0, 0, -6.0, 3.0);
    EXPECT_EQ(Decode(mono.written, 16), (Samples{501}));
}

TEST(EditWaveSampleRule, ZeroDBCopiesEveryByteIncludingTheMostNegativeSamples) {
    ScratchDir dir;
    const Samples samples16 = {-32768, 32767, -1, 0, 12345, -32768};
    const Outcome plain16 = EditByName(dir, Layout(2, 16), samples16, 0, 0, 0.0, 0.0);
    EXPECT_EQ(plain16.result, 1);
    EXPECT_EQ(plain16.written, test::EncodeSamples(samples16, 16));

    const Samples samples24 = {-8388608, 8388607, -1};
    const Outcome plain24 = EditByName(dir, Layout(1, 24), samples24, 0, 0, 0.0, 0.0);
    EXPECT_EQ(plain24.result, 1);
    EXPECT_EQ(plain24.written, test::EncodeSamples(samples24, 24));

    // One channel at 0 dB is not a plain copy: -32768 is still saturated there.
    const Outcome halfPlain = EditByName(dir, Layout(2, 16), {-32768, 1000}, 0, 0, 0.0, -6.0);
    EXPECT_EQ(Decode(halfPlain.written, 16), (Samples{-32767, 501}));
}

TEST(EditWaveSampleRule, RunsLongerThanTheWorkingChunkScaleEverySampleOfEveryLayout) {
    ScratchDir dir;
    for (const std::int16_t bits : {std::int16_t{16}, std::int16_t{24}}) {
        for (const std::int16_t channels : {std::int16_t{1}, std::int16_t{2}, std::int16_t{6}, std::int16_t{8}}) {
            // Even values spread over the whole range; halving them is exact.
            const std::int64_t full = std::int64_t{1} << bits;
            Samples samples;
            Samples halves;
            for (std::int64_t i = 0; i < 2501 * channels; ++i) {
                const auto value = static_cast<std::int32_t>((i * 7919 * 2) % full - full / 2);
                samples.push_back(value);
                halves.push_back(value / 2);
            }
            for (const bool avx2 : {true, false}) {
                writer_detail::UseAvx2ForTesting(avx2);
                const Outcome outcome =
                    EditByName(dir, Layout(channels, bits), samples, 0, 0, kHalfGainDB, kHalfGainDB);
                EXPECT_EQ(Decode(outcome.written, bits), halves)
                    << bits << " bit, " << channels << " channels, " << (avx2 ? "AVX2" : "portable");
            }
            writer_detail::UseAvx2ForTesting(true);
        }
    }
}

// Loud noise with different gains per channel: the AVX2 path and the
// portable path give the same bytes, saturated samples and odd lengths included.
TEST(EditWaveSampleRule, BothVectorPathsGiveTheSameBytes) {
    if (!writer_detail::CpuHasAvx2())
        GTEST_SKIP() << "this processor has no AVX2: both runs would take the portable path";
    ScratchDir dir;
    for (const std::int16_t bits : {std::int16_t{16}, std::int16_t{24}}) {
        for (const std::int16_t channels : {std::int16_t{1}, std::int16_t{2}, std::int16_t{6}, std::int16_t{8}}) {
            const Samples noise = test::Noise(4099, channels, bits, 7u + static_cast<std::uint32_t>(bits), 1.0);
            // Wider layouts take one gain.
            const double right = channels > 2 ? 4.5 : -7.25;
            Bytes first;
            for (const bool avx2 : {true, false}) {
                writer_detail::UseAvx2ForTesting(avx2);
                const Outcome outcome = EditByName(dir, Layout(channels, bits), noise, 0, 0, 4.5, right);
                if (avx2)
                    first = outcome.written;
                else
                    EXPECT_EQ(outcome.written, first) << bits << " bit, " << channels << " channels";
            }
            writer_detail::UseAvx2ForTesting(true);
        }
    }
}

TEST(EditWaveRange, EndsDefaultToTheDataAndEmptyRangesWriteNothing) {
    ScratchDir dir;
    const Samples samples = {1, 2, 3, 4, 5, 6, 7, 8};
    const WavSpec mono = Layout(1, 16);
    EXPECT_EQ(Decode(EditByName(dir, mono, samples, 5, 0, 0.0, 0.0).written, 16), (Samples{6, 7, 8}));
    EXPECT_EQ(Decode(EditByName(dir, mono, samples, -3, 2, 0.0, 0.0).written, 16), (Samples{1, 2}));
    EXPECT_EQ(Decode(EditByName(dir, mono, samples, 2, 5, 0.0, 0.0).written, 16), (Samples{3, 4, 5}));

    for (const std::int64_t from : {std::int64_t{8}, std::int64_t{9}, std::int64_t{6}}) {
        C_EditWave editor;
        int events = 0;
        editor.Prog = [&](float, std::int32_t&) { ++events; };
        const std::int64_t to = from == 6 ? 4 : 0;
        const Outcome empty = EditByName(dir, mono, samples, from, to, -6.0, -6.0, &editor);
        EXPECT_EQ(empty.result, 1) << from;
        EXPECT_TRUE(empty.written.empty()) << from;
        EXPECT_EQ(events, 0) << from;
    }
}

TEST(EditWaveRange, NeverReadsPastTheAudioTheFileHolds) {
    ScratchDir dir;
    WavSpec format = Layout(2, 16);
    format.afterData = {{"LIST", Bytes(64, 0x7F)}};
    const Samples samples = {100, -100, 200, -200, 300, -300};
    // A range end beyond the data (a marker past the end) stops at the last frame.
    const Outcome pastEnd = EditByName(dir, format, samples, 1, 1000, -6.0, -6.0);
    EXPECT_EQ(pastEnd.result, 1);
    EXPECT_EQ(Decode(pastEnd.written, 16), (Samples{100, -100, 150, -150}));

    // A header that declares more data than the file holds: only the frames present.
    WavSpec overstated = Layout(1, 24);
    overstated.declaredDataSize = 3000;
    const Outcome lying = EditByName(dir, overstated, {7, 8, 9}, 0, 0, 0.0, 0.0);
    EXPECT_EQ(lying.result, 1);
    EXPECT_EQ(Decode(lying.written, 24), (Samples{7, 8, 9}));
}

TEST(EditWaveRange, Rf64AndBw64EndWhereDs64SaysTheAudioEnds) {
    ScratchDir dir;
    for (const char* form : {"RF64", "BW64"}) {
        SCOPED_TRACE(form);
        WavSpec format = Layout(2, 16);
        format.form = form;
        format.afterData = test::BroadcastMarkers(0, -1, 2, -1);
        format.afterData.push_back({"iXML", Bytes(40, 0x7F)});
        format.sizesInDs64 = {"iXML"};
        const Outcome whole = EditByName(dir, format, {100, -100, 200, -200, 300, -300}, 0, 0, -6.0, -6.0);
        EXPECT_EQ(whole.result, 1);
        EXPECT_EQ(Decode(whole.written, 16), (Samples{50, -50, 100, -100, 150, -150}));
        const Outcome copied = EditByName(dir, format, {100, -100, 200, -200, 300, -300}, 1, 0, 0.0, 0.0);
        EXPECT_EQ(Decode(copied.written, 16), (Samples{200, -200, 300, -300}));
    }
    // A plain RIFF form of another kind is no WAV file to write.
    WavSpec rifx = Layout(2, 16);
    rifx.form = "RIFX";
    const Outcome refused = EditByName(dir, rifx, {1, 2}, 0, 0, 0.0, 0.0);
    EXPECT_EQ(refused.result, 0);
    EXPECT_TRUE(refused.written.empty());
}

TEST(EditWaveLayouts, SurroundTakesOneGainOnItsRangeAndRefusesTwo) {
    ScratchDir dir;
    for (const std::int16_t channels : {std::int16_t{6}, std::int16_t{8}}) {
        for (const std::int16_t bits : {std::int16_t{16}, std::int16_t{24}}) {
            // Frame f, channel c: 1000 * (f + 1) + 100 * c, negated on odd frames.
            Samples samples;
            for (std::int32_t f = 0; f < 7; ++f)
                for (std::int32_t c = 0; c < channels; ++c)
                    samples.push_back((f % 2 == 0 ? 1 : -1) * (1000 * (f + 1) + 100 * c));
            samples[static_cast<std::size_t>(3 * channels + 2)] = bits == 16 ? 30000 : 8000000;
            const Outcome outcome = EditByName(dir, Layout(channels, bits), samples, 2, 5, 6.0, 6.0);
            ASSERT_EQ(outcome.result, 1) << channels << " channels, " << bits << " bit";
            Samples expected;
            for (std::size_t i = 2 * static_cast<std::size_t>(channels); i < 5 * static_cast<std::size_t>(channels);
                 ++i) {
                const double scaled = std::nearbyint(static_cast<float>(samples[i] * std::pow(10.0, 6.0 / 20.0)));
                const double rail = bits == 16 ? 32767.0 : 8388607.0;
                expected.push_back(static_cast<std::int32_t>(std::clamp(scaled, -rail, rail)));
            }
            EXPECT_EQ(Decode(outcome.written, bits), expected) << channels << " channels, " << bits << " bit";
            const Outcome twoGains = EditByName(dir, Layout(channels, bits), samples, 0, 0, 6.0, 3.0);
            EXPECT_EQ(twoGains.result, 0);
            EXPECT_TRUE(twoGains.written.empty());
        }
    }
}

TEST(EditWaveLayouts, EightBitAndInvalidSourcesFailBeforeWriting) {
    ScratchDir dir;
    const Outcome eightBit = EditByName(dir, Layout(2, 8), Samples(4, 10), 0, 0, 0.0, 0.0);
    EXPECT_EQ(eightBit.result, 0);
    EXPECT_TRUE(eightBit.written.empty());

    test::WriteBytes(dir.file("junk.wav"), Bytes(100, 0x20));
    C_EditWave editor;
    FileHandle none = 0;
    FileHandle noneToo = 0;
    EXPECT_EQ(editor.EditWav(dir.file("junk.wav"), dir.file("junk.out"), none, noneToo, 0, 0, false, 0, 0, 0, 0, false,
                             false, 0, 0, 0, 0, false, 0.0, 0.0, 0, 0, false, true),
              0);
    EXPECT_EQ(editor.SourceFN(), dir.file("junk.wav"));
    EXPECT_EQ(editor.TargetFN(), dir.file("junk.out"));
}

class EditWaveBlocks : public ::testing::Test {
protected:
    // Two blocks: a full one and a single frame. Every sample is 1000 except
    // in the last frame, so that the processing of both blocks shows.
    static void SetUpTestSuite() {
        sourceDir = std::make_unique<ScratchDir>();
        Samples samples(static_cast<std::size_t>(kFrames * 2), 1000);
        samples[samples.size() - 2] = -12345;
        samples[samples.size() - 1] = 20000;
        source = test::WriteWav(sourceDir->file("long.wav"), Layout(2, 16), samples);
    }
    static void TearDownTestSuite() { sourceDir.reset(); }

    void SetUp() override {
        target = dir.file("long.out");
        sourceFH = OpenFileHandle(source, kOpenRead);
        targetFH = OpenFileHandle(target, kOpenReadWrite);
        ASSERT_NE(sourceFH, 0);
        ASSERT_NE(targetFH, 0);
    }
    void TearDown() override {
        CloseFileHandle(sourceFH);
        CloseFileHandle(targetFH);
    }

    static constexpr std::int64_t kFrames = kStereo16BlockFrames + 1;
    static inline std::unique_ptr<ScratchDir> sourceDir;
    static inline std::string source;
    ScratchDir dir;
    std::string target;
    FileHandle sourceFH = 0;
    FileHandle targetFH = 0;
    CountingPump pump;
    C_EditWave editor{pump};
    std::vector<float> rates;
};

TEST_F(EditWaveBlocks, WritesEightMebibyteBlocksAndReportsEach) {
    editor.Prog = [&](float pRate, std::int32_t&) { rates.push_back(pRate); };
    const FileHandle givenSource = sourceFH;
    const FileHandle givenTarget = targetFH;
    EXPECT_EQ(editor.EditWav(sourceFH, targetFH, 0, 0, -6.0), 1);

    EXPECT_EQ(rates, (std::vector<float>{static_cast<float>(2097152.0 / 2097153.0), 1.0f}));
    EXPECT_EQ(pump.passes, 4);
    EXPECT_EQ(editor.Canceled(), 0);
    EXPECT_EQ(sourceFH, givenSource);
    EXPECT_EQ(targetFH, givenTarget);
    EXPECT_TRUE(DescriptorOpen(sourceFH));
    EXPECT_TRUE(DescriptorOpen(targetFH));

    Bytes out(static_cast<std::size_t>(kFrames * 4));
    ASSERT_EQ(FileSizeOfPath(target), kFrames * 4);
    ASSERT_EQ(ReadFileAt(out.data(), static_cast<std::int32_t>(out.size()), 0, 0, target, true), 1);
    const Bytes scaled1000 = test::EncodeSamples({501}, 16);
    std::size_t unexpected = 0;
    for (std::size_t i = 0; i + 4 < out.size(); i += 2)
        unexpected += out[i] != scaled1000[0] || out[i + 1] != scaled1000[1];
    EXPECT_EQ(unexpected, 0u);
    EXPECT_EQ(Decode(Bytes(out.end() - 4, out.end()), 16), (Samples{-6187, 10024}));

    // A second call appends behind the first, as the output run relies on.
    EXPECT_EQ(editor.EditWav(sourceFH, targetFH, kFrames - 1, kFrames, 0.0), 1);
    EXPECT_EQ(FileSizeOfPath(target), (kFrames + 1) * 4);
}

TEST_F(EditWaveBlocks, CancelFromTheHandlerLeavesExactlyTheFirstBlock) {
    editor.Prog = [&](float pRate, std::int32_t& pCancel) {
        rates.push_back(pRate);
        pCancel = 1;
    };
    EXPECT_EQ(editor.EditWav(sourceFH, targetFH, 0, 0, 0.0), 0);
    EXPECT_EQ(editor.Canceled(), 1);
    EXPECT_EQ(rates.size(), 1u);
    EXPECT_EQ(FileSizeOfPath(target), kStereo16BlockFrames * 4);
    EXPECT_TRUE(DescriptorOpen(sourceFH));
    EXPECT_TRUE(DescriptorOpen(targetFH));
}

TEST_F(EditWaveBlocks, CanceledSetFromOutsideStopsAfterTheCurrentBlockAndResetsOnTheNextCall) {
    pump.onEvents = [&] { editor.SetCanceled(1); };
    EXPECT_EQ(editor.EditWav(sourceFH, targetFH, 0, 0, 3.0), 0);
    EXPECT_EQ(FileSizeOfPath(target), kStereo16BlockFrames * 4);
    EXPECT_EQ(editor.Canceled(), 1);

    pump.onEvents = nullptr;
    EXPECT_EQ(editor.EditWav(sourceFH, targetFH, 0, 1, 3.0), 1);
    EXPECT_EQ(editor.Canceled(), 0);
}

// Pieces are read ahead of the scaling on another thread: a read that fails
// there still fails the call after exactly the pieces before it were
// written, and with error trapping off its error reaches the caller.
TEST_F(EditWaveBlocks, AReadFailingAheadEndsTheCallAfterThePiecesBeforeIt) {
    // About trapping: errors are trapped unless the test lets them through.
    const test::TrappedErrors trapped;
    constexpr int kFailingRead = 5;
    constexpr std::int64_t kPieceBytes = std::int64_t{512} << 10;
    for (const bool trapping : {true, false}) {
        std::filesystem::resize_file(target, 0);
        if (sourceFH == 0) sourceFH = OpenFileHandle(source, kOpenRead);
        // The header is read before the pump's first pass; count the block reads only.
        std::atomic<bool> blocks{false};
        std::atomic<int> reads{0};
        pump.onEvents = [&] { blocks = true; };
        {
            FaultHookScope faults([&](std::string_view pOperation) {
                if (blocks && pOperation == "read" && ++reads == kFailingRead) throw RunTimeError("device gone");
            });
            if (trapping) {
                EXPECT_EQ(editor.EditWav(sourceFH, targetFH, 0, 0, -6.0), 0);
                EXPECT_EQ(sourceFH, 0);
            } else {
                SetErrorCatch(1);
                EXPECT_THROW(editor.EditWav(sourceFH, targetFH, 0, 0, -6.0), RunTimeError);
                SetErrorCatch(0);
            }
        }
        EXPECT_EQ(FileSizeOfPath(target), (kFailingRead - 1) * kPieceBytes) << trapping;
    }
}

TEST(EditWaveFailures, AFailedOrShortTransferInsideTheRangeFailsTheCall) {
    // About trapping: errors are trapped unless the test lets them through.
    const test::TrappedErrors trapped;
    ScratchDir dir;
    const std::string source = test::WriteWav(dir.file("s.wav"), Layout(2, 16), Samples(200, 1000));
    const std::string target = dir.file("t.raw");
    const std::int64_t dataOffset = ReadWaveHeader(source, 0).DataOffset;

    for (const std::string_view failing : {std::string_view("read"), std::string_view("write")}) {
        std::filesystem::remove(target);
        FileHandle sourceFH = OpenFileHandle(source, kOpenRead);
        FileHandle targetFH = OpenFileHandle(target, kOpenReadWrite);
        CountingPump pump;
        C_EditWave editor(pump);
        {
            // The header is read before the pump runs; fail the block transfer only.
            FaultHookScope faults([&](std::string_view pOperation) {
                if (pump.passes > 0 && pOperation == failing) throw std::runtime_error("device gone");
            });
            EXPECT_EQ(editor.EditWav(sourceFH, targetFH, 0, 0, -3.0), 0) << failing;
        }
        // The failed transfer closed its handle and cleared the caller's variable.
        EXPECT_EQ(failing == "read" ? sourceFH : targetFH, 0) << failing;
        EXPECT_EQ(FileSizeOfPath(target), 0) << failing;
        CloseFileHandle(sourceFH);
        CloseFileHandle(targetFH);
    }

    // The source loses its audio between the header and the first block.
    std::filesystem::remove(target);
    CountingPump pump;
    pump.onEvents = [&] {
        if (pump.passes == 1) std::filesystem::resize_file(source, static_cast<std::uintmax_t>(dataOffset + 10));
    };
    C_EditWave editor(pump);
    FileHandle none = 0;
    FileHandle noneToo = 0;
    EXPECT_EQ(editor.EditWav(source, target, none, noneToo, 0, 0, false, 0, 0, 0, 0, false, false, 0, 0, 0, 0, false,
                             -3.0, -3.0, 0, 0, false, true),
              0);
    EXPECT_EQ(FileSizeOfPath(target), 0);
}

}  // namespace
}  // namespace sonivate
