#include "app/copy_loudness.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/write_adjusted_wave.h"
#include "common/basic_file.h"
#include "loudness/broadcast_measures.h"
#include "loudness/c_lkfsfct.h"
#include "platform/pending_file.h"
#include "support/scratch.h"
#include "support/wavgen.h"
#include "wavefile/bext.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {
namespace {

using test::Bytes;
using test::Samples;
using test::ScratchDir;
using test::WavSpec;

constexpr std::int32_t kRate = 48000;
constexpr std::size_t kBextPayloadBytes = 602;
// A field is a hundredth: it may sit half a hundredth off the value it
// rounds, and that value within 0.01 of a measurement of the copy.
constexpr double kFieldTolerance = 0.01 + 0.005;

class QuietHost : public ProgressHost {
public:
    void ShowStatus(const std::string&) override {}
    void SetProgress(std::int32_t) override {}
    bool StopRequested() const override { return stop; }
    bool stop = false;
};

Bytes BextPayload(std::uint16_t pVersion, std::size_t pSize = kBextPayloadBytes) {
    Bytes payload(pSize);
    for (std::size_t i = 0; i < pSize; ++i) payload[i] = static_cast<std::uint8_t>((i * 11 + 5) & 0xFF);
    payload[kBextVersionAt] = static_cast<std::uint8_t>(pVersion);
    payload[kBextVersionAt + 1] = 0;
    // Stale figures of another level: -23.00 LUFS and friends.
    const std::int16_t stale[] = {-2300, 700, -150, -1800, -2000};
    if (pSize >= kBextLoudnessAt + kBextLoudnessBytes) {
        for (std::size_t f = 0; f < 5; ++f) {
            const auto value = static_cast<std::uint16_t>(stale[f]);
            payload[kBextLoudnessAt + 2 * f] = static_cast<std::uint8_t>(value & 0xFF);
            payload[kBextLoudnessAt + 2 * f + 1] = static_cast<std::uint8_t>(value >> 8);
        }
    }
    return payload;
}

Samples Concat(std::initializer_list<Samples> pParts) {
    Samples all;
    for (const Samples& part : pParts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Speech-like programme: loud and softer passages, then a long stretch of
// room tone that sits a little above the absolute gate, so that a few dB
// less gain drops it out of the gates. Stereo 16 bit, 12 s.
Samples Programme() {
    return Concat({test::Sine(3 * kRate, 2, 997.0, -16.0, 16), test::Sine(3 * kRate, 2, 440.0, -27.0, 16),
                   test::Noise(6 * kRate, 2, 16, 7, 0.0006)});
}

struct Measured {
    std::optional<double> Integrated, Range, TruePeak, Momentary, ShortTerm;
};

// The copy measured here, independently of the code under test.
Measured MeasureFile(const std::string& pPath, std::int64_t pStart = 0, std::int64_t pEnd = 0) {
    C_LKFSFCT meter;
    BroadcastMeasures extras;
    extras.Listen(meter);
    Measured figures;
    if (meter.MeasureLKFS(pPath, pStart, pEnd) == 0) return figures;
    figures.Integrated = meter.LKFSValue();
    figures.Range = extras.LoudnessRange();
    figures.TruePeak = extras.TruePeak();
    figures.Momentary = extras.MaxMomentary();
    figures.ShortTerm = extras.MaxShortTerm();
    return figures;
}

void ExpectField(std::int16_t pField, const std::optional<double>& pMeasured, const char* pName) {
    if (!pMeasured) {
        EXPECT_EQ(pField, kBextUnknown) << pName;
        return;
    }
    ASSERT_NE(pField, kBextUnknown) << pName;
    EXPECT_LE(std::abs(pField / 100.0 - *pMeasured), kFieldTolerance)
        << pName << ": " << pField << " vs " << *pMeasured;
}

void ExpectDescribes(const BextLoudness& pFields, const Measured& pCopy) {
    ExpectField(pFields.LoudnessValue, pCopy.Integrated, "loudness");
    ExpectField(pFields.LoudnessRange, pCopy.Range, "range");
    ExpectField(pFields.MaxTruePeakLevel, pCopy.TruePeak, "true peak");
    ExpectField(pFields.MaxMomentaryLoudness, pCopy.Momentary, "momentary");
    ExpectField(pFields.MaxShortTermLoudness, pCopy.ShortTerm, "short-term");
}

BextChunk BextOf(const Bytes& pFile) {
    BextChunk chunk;
    EXPECT_EQ(ReadBextChunk(MemorySource(pFile.data(), pFile.size()), chunk), 0);
    return chunk;
}

// Every byte of pAfter is pBefore's except those in [pFrom, pTo).
void ExpectOnlyChanged(const Bytes& pBefore, const Bytes& pAfter, std::int64_t pFrom, std::int64_t pTo) {
    ASSERT_EQ(pBefore.size(), pAfter.size());
    for (std::size_t i = 0; i < pAfter.size(); ++i) {
        const auto at = static_cast<std::int64_t>(i);
        if (at < pFrom || at >= pTo) {
            ASSERT_EQ(pAfter[i], pBefore[i]) << "byte " << i;
        }
    }
}

class CopyLoudnessTest : public ::testing::Test {
protected:
    // Writes the source, measures it over [pStart, pEnd) and writes its copy
    // at pGain; the copy's bytes as the writer left them are in written.
    void Prepare(const WavSpec& pSpec, const Samples& pSamples, double pGain, std::int64_t pStart = 0,
                 std::int64_t pEnd = 0, bool pExtras = true) {
        std::filesystem::remove(source);
        std::filesystem::remove(copy);
        test::WriteWav(source, pSpec, pSamples);
        // The writer takes an end of 0 as an empty range, the meter as the end of the audio.
        if (pEnd <= 0) pEnd = static_cast<std::int64_t>(pSamples.size()) / pSpec.channels;
        C_LKFSFCT meter;
        BroadcastMeasures extras;
        if (pExtras) extras.Listen(meter);
        ASSERT_EQ(meter.MeasureLKFS(source, pStart, pEnd), 1);
        measured = SourceLoudnessOf(meter, pExtras ? &extras : nullptr, pStart, pEnd);
        gain = pGain;
        ASSERT_EQ(WriteAdjustedWave(source, copy, pStart, pEnd, pGain, host), 1);
        written = test::ReadBytes(copy);
    }

    int Update(BextLoudnessMode pMode, ProgressHost* pHost = nullptr) {
        ScopedHandle file(OpenFileHandle(copy, kOpenReadWrite));
        EXPECT_NE(file.handle, 0);
        return UpdateCopyLoudness(DescriptorOfHandle(file.handle), measured, gain, pMode, pHost);
    }

    static WavSpec WithBext(std::uint16_t pVersion, std::size_t pSize = kBextPayloadBytes) {
        WavSpec shape;
        shape.beforeData = {test::Chunk{"bext", BextPayload(pVersion, pSize)}};
        shape.afterData = test::BroadcastMarkers(0, -1, -1, -1);
        return shape;
    }

    ScratchDir dir;
    QuietHost host;
    std::string source = dir.file("source.wav");
    std::string copy = dir.file("copy.wav");
    SourceLoudness measured;
    double gain = 0.0;
    Bytes written;
};

TEST_F(CopyLoudnessTest, UpdatedFieldsDescribeTheCopyAtEveryGain) {
    // -12 dB drops the room tone below the absolute gate, +6 dB lifts more
    // of it over the relative gates: a plain shift of the source's figures
    // would miss both.
    for (const double g : {-3.5, -12.0, 6.0, 0.0}) {
        SCOPED_TRACE(g);
        Prepare(WithBext(2), Programme(), g);
        ASSERT_EQ(Update(BextLoudnessMode::Update), 0);
        const Bytes after = test::ReadBytes(copy);
        const BextChunk chunk = BextOf(after);
        ASSERT_TRUE(chunk.HasLoudnessFields());
        ExpectDescribes(chunk.Loudness, MeasureFile(copy));
        const std::int64_t fields = chunk.PayloadAt + kBextLoudnessAt;
        ExpectOnlyChanged(written, after, fields, fields + kBextLoudnessBytes);
    }
}

TEST_F(CopyLoudnessTest, ComputedFiguresFollowTheGatesAtTheCopysLevel) {
    Prepare(WithBext(2), Programme(), -12.0);
    const std::optional<CopyFigures> computed = ComputeCopyFigures(measured, gain);
    ASSERT_TRUE(computed.has_value());
    const Measured copyFigures = MeasureFile(copy);
    ASSERT_TRUE(copyFigures.Integrated && copyFigures.Range);
    EXPECT_NEAR(*computed->Integrated, *copyFigures.Integrated, 0.01);
    EXPECT_NEAR(*computed->LoudnessRange, *copyFigures.Range, 0.01);
    // The shifted source figure would be off here.
    EXPECT_GT(std::abs(measured.LKFS + gain - *copyFigures.Integrated), 0.02);
}

TEST_F(CopyLoudnessTest, AVeryQuietCopyIsMeasured) {
    // Some 50 dB down the writer's rounding is part of the copy's sound.
    Prepare(WithBext(2), Programme(), -32.0);
    EXPECT_FALSE(ComputeCopyFigures(measured, gain).has_value());
    ASSERT_EQ(Update(BextLoudnessMode::Update), 0);
    ExpectDescribes(BextOf(test::ReadBytes(copy)).Loudness, MeasureFile(copy));
}

TEST_F(CopyLoudnessTest, ASubRangeIsDescribedOverThatRange) {
    Prepare(WithBext(2), Programme(), -4.0, kRate, 7 * kRate);
    ASSERT_EQ(Update(BextLoudnessMode::Update), 0);
    ExpectDescribes(BextOf(test::ReadBytes(copy)).Loudness, MeasureFile(copy, kRate, 7 * kRate));
}

TEST_F(CopyLoudnessTest, ASaturatedCopyIsMeasured) {
    // Peaks near full scale and 9 dB more: the writer clips them.
    const Samples loud =
        Concat({test::Sine(4 * kRate, 2, 1000.0, -1.0, 16), test::Sine(2 * kRate, 2, 300.0, -20.0, 16)});
    Prepare(WithBext(2), loud, 9.0);
    EXPECT_FALSE(ComputeCopyFigures(measured, gain).has_value());
    ASSERT_EQ(Update(BextLoudnessMode::Update), 0);
    const BextLoudness fields = BextOf(test::ReadBytes(copy)).Loudness;
    const Measured copyFigures = MeasureFile(copy);
    ExpectDescribes(fields, copyFigures);
    // Not the source's peak plus the gain: the clipped copy peaks lower.
    EXPECT_LT(fields.MaxTruePeakLevel, BextHundredths(*measured.TruePeak + gain) - 100);
}

TEST_F(CopyLoudnessTest, FiguresNotTakenWithTheSourceAreMeasuredOnTheCopy) {
    Prepare(WithBext(2), Programme(), -2.0, 0, 0, false);
    EXPECT_FALSE(ComputeCopyFigures(measured, gain).has_value());
    ASSERT_EQ(Update(BextLoudnessMode::Update), 0);
    ExpectDescribes(BextOf(test::ReadBytes(copy)).Loudness, MeasureFile(copy));
}

TEST_F(CopyLoudnessTest, FiguresAShortFileHasNotAreUnknown) {
    // 1 s: loudness and momentary maximum, but no 3 s window.
    Prepare(WithBext(2), test::Sine(kRate, 2, 1000.0, -18.0, 16), -5.0);
    ASSERT_EQ(Update(BextLoudnessMode::Update), 0);
    const BextLoudness fields = BextOf(test::ReadBytes(copy)).Loudness;
    EXPECT_EQ(fields.LoudnessRange, kBextUnknown);
    EXPECT_EQ(fields.MaxShortTermLoudness, kBextUnknown);
    EXPECT_NE(fields.LoudnessValue, kBextUnknown);
    EXPECT_NE(fields.MaxMomentaryLoudness, kBextUnknown);
    ExpectDescribes(fields, MeasureFile(copy));
}

TEST_F(CopyLoudnessTest, KeepAndEarlyVersionsLeaveTheBytes) {
    Prepare(WithBext(2), Programme(), -3.0);
    ASSERT_EQ(Update(BextLoudnessMode::Keep), 0);
    EXPECT_EQ(test::ReadBytes(copy), written);

    for (const std::uint16_t version : {std::uint16_t{0}, std::uint16_t{1}}) {
        Prepare(WithBext(version), Programme(), -3.0);
        ASSERT_EQ(Update(BextLoudnessMode::Update), 0);
        EXPECT_EQ(test::ReadBytes(copy), written) << "version " << version;
    }
}

TEST_F(CopyLoudnessTest, UpgradeRaisesAnEarlyVersionAndFillsItsFields) {
    for (const std::uint16_t version : {std::uint16_t{0}, std::uint16_t{1}}) {
        SCOPED_TRACE(version);
        Prepare(WithBext(version), Programme(), -3.0);
        ASSERT_EQ(Update(BextLoudnessMode::Upgrade), 0);
        const Bytes after = test::ReadBytes(copy);
        const BextChunk chunk = BextOf(after);
        EXPECT_EQ(chunk.Version, kBextLoudnessVersion);
        EXPECT_EQ(chunk.PayloadSize, static_cast<std::int64_t>(kBextPayloadBytes));
        ExpectDescribes(chunk.Loudness, MeasureFile(copy));
        // The version and the fields, nothing else; the chunk keeps its size.
        Bytes withoutFields = after;
        std::copy(written.begin() + chunk.PayloadAt + kBextLoudnessAt,
                  written.begin() + chunk.PayloadAt + kBextLoudnessAt + kBextLoudnessBytes,
                  withoutFields.begin() + chunk.PayloadAt + kBextLoudnessAt);
        ExpectOnlyChanged(written, withoutFields, chunk.PayloadAt + kBextVersionAt,
                          chunk.PayloadAt + kBextVersionAt + kBextVersionBytes);
    }
}

TEST_F(CopyLoudnessTest, NoBextOrAShortOneIsLeftAlone) {
    WavSpec plain;
    plain.afterData = test::BroadcastMarkers(0, -1, -1, -1);
    for (const WavSpec& shape : {plain, WithBext(2, 420), WithBext(1, 421)}) {
        Prepare(shape, Programme(), 9.0);
        for (const BextLoudnessMode mode : {BextLoudnessMode::Update, BextLoudnessMode::Upgrade}) {
            ASSERT_EQ(Update(mode), 0);
            EXPECT_EQ(test::ReadBytes(copy), written);
        }
    }
}

TEST_F(CopyLoudnessTest, AnUnnamedPendingCopyIsMeasuredThroughItsDescriptor) {
    test::WriteWav(source, WithBext(2), Concat({test::Sine(4 * kRate, 2, 1000.0, -1.0, 16)}));
    C_LKFSFCT meter;
    BroadcastMeasures extras;
    extras.Listen(meter);
    ASSERT_EQ(meter.MeasureLKFS(source, 0, 0), 1);
    measured = SourceLoudnessOf(meter, &extras, 0, 0);

    platform::PendingFile pending;
    ASSERT_EQ(pending.Create(dir.path()), 0);
    ScopedHandle from(OpenFileHandle(source, kOpenRead));
    // The pending file's handle is a view: the pending file closes it.
    const FileHandle into = HandleOfDescriptor(pending.Descriptor());
    ASSERT_EQ(WriteAdjustedWaveInto(source, from.handle, into, 0, 4 * kRate, 6.0, host), 1);
    // Saturated: the copy has to be read back, and it has no name yet.
    ASSERT_EQ(UpdateCopyLoudness(pending.Descriptor(), measured, 6.0, BextLoudnessMode::Update, &host), 0);
    ASSERT_EQ(pending.Publish("published.wav", nullptr), 0);
    const std::string published = dir.file("published.wav");
    ExpectDescribes(BextOf(test::ReadBytes(published)).Loudness, MeasureFile(published));
}

TEST_F(CopyLoudnessTest, AStopDuringTheCopysMeasurementLeavesItsBytes) {
    Prepare(WithBext(2), Concat({test::Sine(4 * kRate, 2, 1000.0, -1.0, 16)}), 6.0);
    host.stop = true;
    EXPECT_EQ(Update(BextLoudnessMode::Update, &host), ECANCELED);
    EXPECT_EQ(test::ReadBytes(copy), written);
}

TEST(BextLoudnessModeTest, NamesAndBack) {
    for (const BextLoudnessMode mode : {BextLoudnessMode::Keep, BextLoudnessMode::Update, BextLoudnessMode::Upgrade})
        EXPECT_EQ(BextLoudnessModeOf(BextLoudnessModeName(mode)), mode);
    EXPECT_STREQ(BextLoudnessModeName(BextLoudnessMode::Upgrade), "upgrade");
    EXPECT_EQ(kDefaultBextLoudnessMode, BextLoudnessMode::Update);
    EXPECT_FALSE(BextLoudnessModeOf("Update").has_value());
    EXPECT_FALSE(BextLoudnessModeOf("").has_value());
}

}  // namespace
}  // namespace sonivate
