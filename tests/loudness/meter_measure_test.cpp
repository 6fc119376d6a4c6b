// MeasureLKFS: block timing, peak, failure and reset, stopping, ranges that
// reach past the audio, channel layouts.

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "common/error_trap.h"
#include "common/numeric.h"
#include "loudness/c_lkfsfct.h"
#include "reference_meter.h"
#include "support/fake_pump.h"
#include "support/scratch.h"
#include "support/wavgen.h"
#include "support/test_main.h"

namespace sonivate {
namespace {

using test::Samples;

constexpr std::int64_t kRate = 48000;

std::string Write(const test::ScratchDir& pDir, const std::string& pName, const Samples& pSamples,
                  std::int16_t pChannels = 2, std::int16_t pBits = 16) {
    test::WavSpec layout;
    layout.channels = pChannels;
    layout.bitsPerSample = pBits;
    return test::WriteWav(pDir.file(pName), layout, pSamples);
}

void ExpectReset(const C_LKFSFCT& pMeter) {
    EXPECT_EQ(pMeter.NumBlock(), 0);
    EXPECT_EQ(pMeter.BlockPower(), std::vector<double>{0.0});
    EXPECT_EQ(pMeter.BlockLKFS(), std::vector<double>{0.0});
    EXPECT_EQ(pMeter.LKFSValue(), 0.0);
    EXPECT_EQ(pMeter.PeakValue(), 0.0);
    EXPECT_EQ(pMeter.MaxLKFSValue(), 0.0);
    EXPECT_EQ(pMeter.CalcLKFS(0.0), 0.0);
    EXPECT_EQ(pMeter.AsymptoteLKFS(-24.0), 0.0);
}

TEST(MeterTiming, HopIsATenthOfASecondTakenInSinglePrecision) {
    EXPECT_EQ(C_LKFSFCT::HopLength(48000), 4800);
    EXPECT_EQ(C_LKFSFCT::HopLength(44100), 4410);
    // 11025 * 0.1f is 1102.50001..., so it rounds up where an exact 0.1
    // would give a half that rounds to even (1102).
    EXPECT_EQ(C_LKFSFCT::HopLength(11025), 1103);
    EXPECT_EQ(C_LKFSFCT::HopLength(0), 0);
    EXPECT_EQ(C_LKFSFCT::HopLength(-48000), 0);
}

TEST(MeterTiming, BlockCountsFollowTheRangeLength) {
    test::ScratchDir dir;
    const Samples noise = test::Noise(17 * kRate, 2, 16, 1);
    const std::string path = Write(dir, "n.wav", noise);
    C_LKFSFCT meter;
    // 16.2 s: the second read holds two hops and gives two straddling blocks.
    ASSERT_EQ(meter.MeasureLKFS(path, 0, 777600), 1);
    EXPECT_EQ(meter.NumBlock(), 159);
    EXPECT_EQ(meter.BlockLen(), 19200);
    EXPECT_EQ(meter.FullScale(), 32767);
    // Exactly one block length: one block.
    ASSERT_EQ(meter.MeasureLKFS(path, 5, 5 + 19200), 1);
    EXPECT_EQ(meter.NumBlock(), 1);
    // 399 ms fails and throws away the last results.
    EXPECT_EQ(meter.MeasureLKFS(path, 0, 19152), 0);
    ExpectReset(meter);
    // A start behind the end fails the same way.
    EXPECT_EQ(meter.MeasureLKFS(path, 100000, 50000), 0);
    ExpectReset(meter);
}

TEST(MeterTiming, OneProgressEventPerReadAndATenMillisecondYieldAfterEach) {
    test::FakePump pump;
    test::ScratchDir dir;
    const std::string path = Write(dir, "n.wav", test::Noise(30 * kRate, 1, 16, 2), 1);
    C_LKFSFCT meter(pump);
    std::vector<float> rates;
    meter.MeasureLKFSProg = [&](float pRate, std::int32_t&) { rates.push_back(pRate); };
    ASSERT_EQ(meter.MeasureLKFS(path, 0, 0), 1);
    // Two reads (16 s, 14 s), then the event that finds nothing left.
    ASSERT_EQ(rates.size(), 3u);
    EXPECT_EQ(rates[0], 0.0f);
    EXPECT_EQ(rates[1], static_cast<float>(768000.0 / 1440000.0));
    EXPECT_EQ(rates[2], 1.0f);
    EXPECT_EQ(pump.yieldedMs, 30);
    EXPECT_EQ(pump.sleptMs, 0);
}

TEST(MeterPeak, FullScaleNegativeSampleAndSilence) {
    test::ScratchDir dir;
    Samples s = test::Silence(kRate, 2);
    s[12345] = -32768;
    C_LKFSFCT meter;
    ASSERT_EQ(meter.MeasureLKFS(Write(dir, "p16.wav", s), 0, 0), 1);
    EXPECT_EQ(meter.PeakValue(), LinearToDB(32768.0 / 32767.0));
    EXPECT_NEAR(meter.PeakValue(), 0.000265, 1e-6);

    s[12345] = -8388608;
    ASSERT_EQ(meter.MeasureLKFS(Write(dir, "p24.wav", s, 2, 24), 0, 0), 1);
    EXPECT_EQ(meter.PeakValue(), LinearToDB(8388608.0 / 8388607.0));

    ASSERT_EQ(meter.MeasureLKFS(Write(dir, "silence.wav", test::Silence(kRate, 1), 1), 0, 0), 1);
    EXPECT_EQ(meter.PeakValue(), -110.0);
    EXPECT_EQ(meter.LKFSValue(), -70.0);
    ASSERT_EQ(meter.NumBlock(), 7);
    for (std::int32_t i = 0; i < meter.NumBlock(); ++i)
        EXPECT_EQ(meter.BlockLKFS()[static_cast<size_t>(i)], -110.0 - 0.691);
}

TEST(MeterStop, RequestBeforeTheCallIsDroppedAndRequestsDuringItStopIt) {
    test::ScratchDir dir;
    const std::string path = Write(dir, "n.wav", test::Noise(20 * kRate, 2, 16, 4));
    C_LKFSFCT meter;
    meter.ProcCanceled(1);
    ASSERT_EQ(meter.MeasureLKFS(path, 0, 0), 1);
    EXPECT_EQ(meter.ProcCanceled(), 0);
    EXPECT_EQ(meter.NumBlock(), 197);

    // Stop answered through pCancel in the first event.
    std::int32_t events = 0;
    meter.MeasureLKFSProg = [&](float, std::int32_t& pCancel) {
        ++events;
        pCancel = 1;
    };
    EXPECT_EQ(meter.MeasureLKFS(path, 0, 0), 0);
    EXPECT_EQ(events, 1);
    ExpectReset(meter);

    // Stop asked through the property from the second event's handler.
    events = 0;
    meter.MeasureLKFSProg = [&](float, std::int32_t&) {
        if (++events == 2) meter.ProcCanceled(1);
    };
    EXPECT_EQ(meter.MeasureLKFS(path, 0, 0), 0);
    EXPECT_EQ(events, 2);
    EXPECT_EQ(meter.ProcCanceled(), 0);
    ExpectReset(meter);
}

TEST(MeterFailures, FilesTheMeterDoesNotTake) {
    test::ScratchDir dir;
    C_LKFSFCT meter;
    EXPECT_EQ(meter.MeasureLKFS(dir.file("missing.wav"), 0, 0), 0);
    test::WriteBytes(dir.file("text.wav"), test::Bytes(100000, 'a'));
    EXPECT_EQ(meter.MeasureLKFS(dir.file("text.wav"), 0, 0), 0);
    EXPECT_EQ(meter.MeasureLKFS(Write(dir, "eight.wav", test::Noise(kRate, 2, 8, 1), 2, 8), 0, 0), 0);
    EXPECT_EQ(meter.MeasureLKFS(Write(dir, "empty.wav", {}), 0, 0), 0);
    ExpectReset(meter);
}

TEST(MeterFailures, AnErrorInsideIsTrappedOrPassedOnPerTheSwitch) {
    // About trapping: errors are trapped unless the test lets them through.
    const test::TrappedErrors trapped;
    test::ScratchDir dir;
    const std::string path = Write(dir, "n.wav", test::Noise(kRate, 2, 16, 6));
    C_LKFSFCT meter;
    ASSERT_EQ(meter.MeasureLKFS(path, 0, 0), 1);
    meter.MeasureLKFSProg = [](float, std::int32_t&) { throw std::runtime_error("handler failed"); };
    EXPECT_EQ(meter.MeasureLKFS(path, 0, 0), 0);
    ExpectReset(meter);

    meter.MeasureLKFSProg = nullptr;
    ASSERT_EQ(meter.MeasureLKFS(path, 0, 0), 1);
    meter.MeasureLKFSProg = [](float, std::int32_t&) { throw std::runtime_error("handler failed"); };
    SetErrorCatch(1);
    EXPECT_THROW(meter.MeasureLKFS(path, 0, 0), std::runtime_error);
    SetErrorCatch(0);
    ExpectReset(meter);
}

// A range reaching past the audio must not read what follows it as samples.
TEST(MeterRange, RangeIsHeldToTheAudioBetweenHeaderAndTrailingChunks) {
    test::ScratchDir dir;
    const std::int64_t frames = 2 * kRate;
    const Samples noise = test::Noise(frames, 2, 16, 8, 0.1);
    test::WavSpec layout;
    layout.afterData = test::BroadcastMarkers(0, 100, 90000, 95000);
    // Loud bytes that would read as samples near full scale.
    layout.afterData.push_back(test::ListChunk("INFO", test::Bytes(60000, 0x7F)));
    const std::string path = test::WriteWav(dir.file("trailing.wav"), layout, noise);

    const test::ReferenceResult ref = test::ReferenceMeasure(noise, 2, 16, 0, 0);
    C_LKFSFCT meter;
    ASSERT_EQ(meter.MeasureLKFS(path, 0, frames + 14000), 1);
    ASSERT_EQ(meter.NumBlock(), ref.numBlock);
    for (size_t i = 0; i < ref.power.size(); ++i) EXPECT_EQ(meter.BlockPower()[i], ref.power[i]) << i;
    EXPECT_EQ(meter.PeakValue(), ref.peakValue);
    EXPECT_EQ(meter.LKFSValue(), ref.lkfsValue);
    // A start before the data counts as its first frame, never the header.
    ASSERT_EQ(meter.MeasureLKFS(path, -4800, 0), 1);
    ASSERT_EQ(meter.NumBlock(), ref.numBlock);
    for (size_t i = 0; i < ref.power.size(); ++i) EXPECT_EQ(meter.BlockPower()[i], ref.power[i]) << i;
    // Starting beyond the data leaves nothing to measure.
    EXPECT_EQ(meter.MeasureLKFS(path, frames + 10, frames + 40000), 0);
}

TEST(MeterRange, TruncatedFileIsMeasuredOverTheFramesItHolds) {
    test::ScratchDir dir;
    const std::int64_t held = 2 * kRate + 3000;
    const Samples noise = test::Noise(held, 2, 24, 9, 0.3);
    test::WavSpec layout;
    layout.bitsPerSample = 24;
    layout.declaredDataSize = 4 * kRate * 6;  // the header promises 4 s
    test::Bytes bytes = test::BuildWav(layout, noise);
    bytes.push_back(0x7F);  // and a partial frame
    bytes.push_back(0x7F);
    test::WriteBytes(dir.file("cut.wav"), bytes);

    const test::ReferenceResult ref = test::ReferenceMeasure(noise, 2, 24, 0, 0);
    C_LKFSFCT meter;
    ASSERT_EQ(meter.MeasureLKFS(dir.file("cut.wav"), 0, 0), 1);
    ASSERT_EQ(meter.NumBlock(), ref.numBlock);
    for (size_t i = 0; i < ref.power.size(); ++i) EXPECT_EQ(meter.BlockPower()[i], ref.power[i]) << i;
    EXPECT_EQ(meter.PeakValue(), ref.peakValue);
    EXPECT_EQ(meter.LKFSValue(), ref.lkfsValue);
}

// A 1 kHz sine in one front channel at full scale reads -3.01 LKFS, so one
// at -19.99 dBFS reads -23.0; the side surrounds count 1.41 times (+1.49 dB),
// LFE not at all.
class SurroundWeights : public ::testing::Test {
protected:
    static constexpr double kCalibratedDbfs = -19.99;
    static constexpr double kTolerance = 0.02;

    double MeasureOneChannel(std::int16_t pChannels, std::int16_t pChannel) {
        const std::int64_t frames = kRate;
        const Samples tone = test::Sine(frames, 1, 1000.0, kCalibratedDbfs, 24);
        Samples s(static_cast<size_t>(frames * pChannels), 0);
        for (size_t n = 0; n < static_cast<size_t>(frames); ++n)
            s[n * static_cast<size_t>(pChannels) + static_cast<size_t>(pChannel)] = tone[n];
        C_LKFSFCT meter;
        EXPECT_EQ(meter.MeasureLKFS(Write(mDir, "s.wav", s, pChannels, 24), 0, 0), 1);
        return meter.LKFSValue();
    }

    test::ScratchDir mDir;
};

TEST_F(SurroundWeights, FivePointOne) {
    const double side = -23.0 + 10.0 * std::log10(1.41);
    EXPECT_NEAR(MeasureOneChannel(6, 0), -23.0, kTolerance);  // L
    EXPECT_NEAR(MeasureOneChannel(6, 2), -23.0, kTolerance);  // C
    EXPECT_EQ(MeasureOneChannel(6, 3), -70.0);                // LFE
    EXPECT_NEAR(MeasureOneChannel(6, 4), side, kTolerance);   // Ls
    EXPECT_NEAR(MeasureOneChannel(6, 5), side, kTolerance);   // Rs
}

TEST_F(SurroundWeights, SevenPointOne) {
    const double side = -23.0 + 10.0 * std::log10(1.41);
    EXPECT_NEAR(MeasureOneChannel(8, 1), -23.0, kTolerance);  // R
    EXPECT_EQ(MeasureOneChannel(8, 3), -70.0);                // LFE
    EXPECT_NEAR(MeasureOneChannel(8, 4), -23.0, kTolerance);  // Lb
    EXPECT_NEAR(MeasureOneChannel(8, 6), side, kTolerance);   // Ls
}

}  // namespace
}  // namespace sonivate
