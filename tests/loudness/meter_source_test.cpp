// MeasureLKFS over a byte source: the same figures, events and failures as
// the path form, whether the bytes come from an open file or from memory,
// and a read that comes back short or fails ends the measurement.

#include <gtest/gtest.h>

#include <vector>

#include "common/basic_file.h"
#include "loudness/broadcast_measures.h"
#include "loudness/c_lkfsfct.h"
#include "support/fake_pump.h"
#include "support/scratch.h"
#include "support/test_main.h"
#include "support/wavgen.h"
#include "wavefile/byte_source.h"

namespace sonivate {
namespace {

constexpr std::int64_t kRate = 48000;

// Everything a measurement leaves behind, to compare two of them whole.
struct Outcome {
    std::int32_t ok = 0;
    std::int32_t numBlock = 0;
    std::vector<double> power, loudness;
    double lkfs = 0.0, peak = 0.0;
    std::vector<float> rates;
    std::int64_t yieldedMs = 0;
    std::optional<double> truePeak, maxMomentary, maxShortTerm, range;

    bool operator==(const Outcome&) const = default;
};

template <class Source>
Outcome Measure(const Source& pSource, std::int64_t pStart, std::int64_t pEnd) {
    test::FakePump pump;
    C_LKFSFCT meter(pump);
    BroadcastMeasures extras;
    extras.Listen(meter);
    Outcome out;
    meter.MeasureLKFSProg = [&](float pRate, std::int32_t&) { out.rates.push_back(pRate); };
    out.ok = meter.MeasureLKFS(pSource, pStart, pEnd);
    out.numBlock = meter.NumBlock();
    out.power = meter.BlockPower();
    out.loudness = meter.BlockLKFS();
    out.lkfs = meter.LKFSValue();
    out.peak = meter.PeakValue();
    out.yieldedMs = pump.yieldedMs;
    out.truePeak = extras.TruePeak();
    out.maxMomentary = extras.MaxMomentary();
    out.maxShortTerm = extras.MaxShortTerm();
    out.range = extras.LoudnessRange();
    return out;
}

struct SourceCase {
    const char* name;
    test::WavSpec layout;
    test::Samples samples;
    std::int64_t start, end;
};

std::vector<SourceCase> Cases() {
    std::vector<SourceCase> cases;
    test::WavSpec stereo;
    stereo.afterData = test::BroadcastMarkers(0, 100, 90000, 95000);
    // Two reads and a range reaching into the trailing chunks.
    cases.push_back({"stereo16", stereo, test::Noise(17 * kRate + 777, 2, 16, 11), 0, 18 * kRate});
    test::WavSpec mono;
    mono.channels = 1;
    mono.bitsPerSample = 24;
    cases.push_back({"mono24", mono, test::Noise(5 * kRate, 1, 24, 12), 12345, 4 * kRate});
    test::WavSpec surround;
    surround.channels = 6;
    surround.bitsPerSample = 24;
    cases.push_back({"surround24", surround, test::Noise(4 * kRate + 100, 6, 24, 13), 0, 0});
    test::WavSpec cut;
    cut.declaredDataSize = 6 * kRate * 4;  // the header promises more than follows
    cases.push_back({"truncated", cut, test::Noise(3 * kRate + 10, 2, 16, 14), 0, 0});
    test::WavSpec wide = stereo;
    wide.form = "RF64";
    cases.push_back({"rf64", wide, test::Noise(2 * kRate, 2, 16, 15), 0, 0});
    return cases;
}

TEST(MeterSource, OpenFileMemoryAndPathGiveTheSameMeasurement) {
    test::ScratchDir dir;
    for (const SourceCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        const test::Bytes bytes = test::BuildWav(c.layout, c.samples);
        const std::string path = dir.file(std::string(c.name) + ".wav");
        test::WriteBytes(path, bytes);

        const Outcome byPath = Measure(path, c.start, c.end);
        ASSERT_EQ(byPath.ok, 1);
        ASSERT_GT(byPath.numBlock, 0);
        const MemorySource memory(bytes.data(), bytes.size());
        EXPECT_EQ(Measure(memory, c.start, c.end), byPath);

        const ScopedHandle opened(OpenFileHandle(path, kOpenRead));
        ASSERT_NE(opened.handle, 0);
        EXPECT_EQ(Measure(HandleSource(opened.handle), c.start, c.end), byPath);
        // The handle is the caller's: still open and usable after the measurement.
        EXPECT_EQ(FileSizeOfHandle(opened.handle), static_cast<std::int64_t>(bytes.size()));
    }
}

TEST(MeterSource, FailuresMatchThePathForm) {
    test::ScratchDir dir;
    const test::Bytes text(100000, 'a');
    test::WavSpec eightBit;
    eightBit.bitsPerSample = 8;
    const test::Bytes tooFine = test::BuildWav(eightBit, test::Noise(kRate, 2, 8, 1));
    const test::Bytes shortRange = test::BuildWav(test::WavSpec{}, test::Noise(kRate, 2, 16, 2));
    for (const auto& [name, bytes, end] :
         {std::tuple{"text", text, std::int64_t{0}}, std::tuple{"eight bit", tooFine, std::int64_t{0}},
          std::tuple{"399 ms", shortRange, std::int64_t{19152}}}) {
        SCOPED_TRACE(name);
        test::WriteBytes(dir.file("f.wav"), bytes);
        const Outcome byPath = Measure(dir.file("f.wav"), 0, end);
        EXPECT_EQ(byPath.ok, 0);
        EXPECT_EQ(byPath.power, std::vector<double>{0.0});
        EXPECT_EQ(Measure(MemorySource(bytes.data(), bytes.size()), 0, end), byPath);
    }
    // No file behind the handle.
    EXPECT_EQ(Measure(HandleSource(0), 0, 0).ok, 0);
}

// Serves the bytes of a file in memory, except that reads reaching past
// pFailFrom come back short (or fail with -1).
class FailingSource final : public ByteSource {
public:
    FailingSource(const test::Bytes& pBytes, std::int64_t pFailFrom, bool pError)
        : mInner(pBytes.data(), pBytes.size()), mFailFrom(pFailFrom), mError(pError) {}
    std::int64_t Size() const override { return mInner.Size(); }
    std::int64_t ReadAt(std::int64_t pOffset, void* pBuffer, std::int64_t pCount) const override {
        if (pOffset + pCount <= mFailFrom) return mInner.ReadAt(pOffset, pBuffer, pCount);
        if (mError) return -1;
        return mInner.ReadAt(pOffset, pBuffer, std::max<std::int64_t>(mFailFrom - pOffset, 0));
    }

private:
    MemorySource mInner;
    std::int64_t mFailFrom;
    bool mError;
};

TEST(MeterSource, ShortOrFailedReadFailsTheMeasurementAndResetsTheMeter) {
    const test::Bytes bytes = test::BuildWav(test::WavSpec{}, test::Noise(20 * kRate, 2, 16, 3));
    // Inside the second 16-second read.
    const auto failFrom = static_cast<std::int64_t>(bytes.size()) - 2 * kRate * 4;
    for (const bool error : {false, true}) {
        SCOPED_TRACE(error ? "error" : "short");
        test::FakePump pump;
        C_LKFSFCT meter(pump);
        std::vector<std::int32_t> pieces;
        meter.MeasurePiece = [&](const WaveFormatInfo&, std::span<const std::uint8_t> pBytes, bool) {
            pieces.push_back(static_cast<std::int32_t>(pBytes.size()));
        };
        ASSERT_EQ(meter.MeasureLKFS(MemorySource(bytes.data(), bytes.size()), 0, 0), 1);
        ASSERT_EQ(pieces.size(), 2u);
        pieces.clear();
        EXPECT_EQ(meter.MeasureLKFS(FailingSource(bytes, failFrom, error), 0, 0), 0);
        // The listeners saw the first piece only, never a part of the failed one.
        EXPECT_EQ(pieces.size(), 1u);
        EXPECT_EQ(meter.NumBlock(), 0);
        EXPECT_EQ(meter.BlockPower(), std::vector<double>{0.0});
        EXPECT_EQ(meter.LKFSValue(), 0.0);
        EXPECT_EQ(meter.PeakValue(), 0.0);
    }
}

}  // namespace
}  // namespace sonivate
