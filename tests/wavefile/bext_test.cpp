#include "wavefile/bext.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "common/basic_file.h"
#include "support/scratch.h"
#include "support/wavgen.h"

using namespace sonivate;
using namespace sonivate::test;

namespace {

// The usual bext payload: 602 bytes before any coding history.
constexpr std::size_t kBextPayloadBytes = 602;

// A bext payload whose every byte is distinct from its neighbours, so that a
// write that strays shows; pVersion and pFields (hundredths) at their places.
Bytes BextPayload(std::uint16_t pVersion, const std::vector<std::int16_t>& pFields,
                  std::size_t pSize = kBextPayloadBytes) {
    Bytes payload(pSize);
    for (std::size_t i = 0; i < pSize; ++i) payload[i] = static_cast<std::uint8_t>((i * 7 + 3) & 0xFF);
    auto put16 = [&](std::size_t pAt, std::uint16_t pValue) {
        if (pAt + 1 >= pSize) return;
        payload[pAt] = static_cast<std::uint8_t>(pValue & 0xFF);
        payload[pAt + 1] = static_cast<std::uint8_t>(pValue >> 8);
    };
    put16(kBextVersionAt, pVersion);
    for (std::size_t f = 0; f < pFields.size(); ++f)
        put16(kBextLoudnessAt + 2 * f, static_cast<std::uint16_t>(pFields[f]));
    return payload;
}

WavSpec WithBext(const Bytes& pPayload, bool pBehindAudio = false) {
    WavSpec shape;
    shape.beforeData = {Chunk{"JUNK", Bytes(28, 0)}};
    (pBehindAudio ? shape.afterData : shape.beforeData).push_back(Chunk{"bext", pPayload});
    return shape;
}

BextChunk Read(const Bytes& pFile, int* pError = nullptr) {
    BextChunk chunk;
    const int error = ReadBextChunk(MemorySource(pFile.data(), pFile.size()), chunk);
    if (pError != nullptr) *pError = error;
    return chunk;
}

const std::vector<std::int16_t> kStale = {-2300, 540, -120, -1820, -1975};

}  // namespace

TEST(BextHundredthsTest, RoundsToHundredthsAndMarksWhatIsNotANumber) {
    EXPECT_EQ(BextHundredths(-24.0), -2400);
    EXPECT_EQ(BextHundredths(-23.996), -2400);
    EXPECT_EQ(BextHundredths(-23.994), -2399);
    EXPECT_EQ(BextHundredths(7.125), 713);  // half away from zero
    EXPECT_EQ(BextHundredths(-0.004), 0);
    EXPECT_EQ(BextHundredths(std::nullopt), kBextUnknown);
    EXPECT_EQ(BextHundredths(std::numeric_limits<double>::quiet_NaN()), kBextUnknown);
    EXPECT_EQ(BextHundredths(std::numeric_limits<double>::infinity()), kBextUnknown);
    // Out-of-range values take the nearest field value, never the marker.
    EXPECT_EQ(BextHundredths(-400.0), -32768);
    EXPECT_EQ(BextHundredths(327.67), kBextUnknown - 1);
    EXPECT_EQ(BextHundredths(-110.691), -11069);
}

TEST(ReadBextChunkTest, FindsTheFieldsWhereverTheChunkStands) {
    for (const bool behind : {false, true}) {
        const Bytes file = BuildWav(WithBext(BextPayload(2, kStale), behind), Sine(4800, 2, 1000, -20, 16));
        int error = -1;
        const BextChunk chunk = Read(file, &error);
        EXPECT_EQ(error, 0);
        ASSERT_TRUE(chunk.Present);
        EXPECT_EQ(chunk.PayloadSize, static_cast<std::int64_t>(kBextPayloadBytes));
        EXPECT_TRUE(chunk.HoldsLoudness);
        EXPECT_TRUE(chunk.HasLoudnessFields());
        EXPECT_EQ(chunk.Version, 2);
        EXPECT_EQ(chunk.Loudness, (BextLoudness{-2300, 540, -120, -1820, -1975}));
        // The payload offset is right: its first byte is the pattern's.
        ASSERT_LT(static_cast<std::size_t>(chunk.PayloadAt), file.size());
        EXPECT_EQ(file[static_cast<std::size_t>(chunk.PayloadAt)], 3);
        EXPECT_EQ(std::string(file.begin() + chunk.PayloadAt - 8, file.begin() + chunk.PayloadAt - 4), "bext");
    }
}

TEST(ReadBextChunkTest, SixtyFourBitFormsAndEarlyVersions) {
    WavSpec shape = WithBext(BextPayload(1, {}));
    shape.form = "RF64";
    const BextChunk chunk = Read(BuildWav(shape, Sine(4800, 2, 1000, -20, 16)));
    ASSERT_TRUE(chunk.Present);
    EXPECT_TRUE(chunk.HoldsLoudness);
    EXPECT_EQ(chunk.Version, 1);
    EXPECT_FALSE(chunk.HasLoudnessFields());
}

TEST(ReadBextChunkTest, AbsentShortOrCutOffChunksHoldNoFields) {
    const Samples audio = Sine(480, 2, 1000, -20, 16);
    const BextChunk none = Read(BuildWav(WavSpec{}, audio));
    EXPECT_FALSE(none.Present);

    // One byte short of the last field.
    const BextChunk shortChunk = Read(BuildWav(WithBext(BextPayload(2, kStale, 421)), audio));
    EXPECT_TRUE(shortChunk.Present);
    EXPECT_FALSE(shortChunk.HoldsLoudness);
    EXPECT_FALSE(shortChunk.HasLoudnessFields());
    const BextChunk exact = Read(BuildWav(WithBext(BextPayload(2, kStale, 422)), audio));
    EXPECT_TRUE(exact.HasLoudnessFields());

    // The file ends inside the chunk, before the fields.
    Bytes cut = BuildWav(WithBext(BextPayload(2, kStale), true), audio);
    cut.resize(cut.size() - kBextPayloadBytes + 400);
    const BextChunk cutOff = Read(cut);
    EXPECT_TRUE(cutOff.Present);
    EXPECT_FALSE(cutOff.HoldsLoudness);
}

TEST(WriteBextLoudnessTest, ChangesOnlyTheFieldsAndTheVersionAsked) {
    ScratchDir dir;
    const std::string path = dir.file("spot.wav");
    const Bytes before = BuildWav(WithBext(BextPayload(1, {}), true), Sine(4800, 2, 1000, -20, 16));
    WriteBytes(path, before);
    ScopedHandle file(OpenFileHandle(path, kOpenReadWrite));
    ASSERT_NE(file.handle, 0);
    BextChunk chunk;
    ASSERT_EQ(ReadBextChunk(HandleSource(file.handle), chunk), 0);

    const BextLoudness fields{-2400, 310, -305, -1650, -1880};
    ASSERT_EQ(WriteBextLoudness(file.handle, chunk, fields), 0);
    Bytes after = ReadBytes(path);
    ASSERT_EQ(after.size(), before.size());
    BextChunk written;
    ASSERT_EQ(ReadBextChunk(MemorySource(after.data(), after.size()), written), 0);
    EXPECT_EQ(written.Loudness, fields);
    EXPECT_EQ(written.Version, 1);
    const auto fieldsAt = static_cast<std::size_t>(chunk.PayloadAt + kBextLoudnessAt);
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (i < fieldsAt || i >= fieldsAt + kBextLoudnessBytes) {
            ASSERT_EQ(after[i], before[i]) << "byte " << i;
        }
    }

    ASSERT_EQ(WriteBextLoudness(file.handle, chunk, fields, kBextLoudnessVersion), 0);
    after = ReadBytes(path);
    ASSERT_EQ(ReadBextChunk(MemorySource(after.data(), after.size()), written), 0);
    EXPECT_EQ(written.Version, kBextLoudnessVersion);
    EXPECT_EQ(written.Loudness, fields);
    // The handle is still usable: nothing closed it.
    EXPECT_GT(FileSizeOfHandle(file.handle), 0);
}

TEST(WriteBextLoudnessTest, RefusesAChunkWithoutRoomForTheFields) {
    ScratchDir dir;
    const std::string path = dir.file("short.wav");
    const Bytes before = BuildWav(WithBext(BextPayload(2, kStale, 420)), Sine(480, 2, 1000, -20, 16));
    WriteBytes(path, before);
    ScopedHandle file(OpenFileHandle(path, kOpenReadWrite));
    BextChunk chunk;
    ASSERT_EQ(ReadBextChunk(HandleSource(file.handle), chunk), 0);
    EXPECT_EQ(WriteBextLoudness(file.handle, chunk, BextLoudness{}, kBextLoudnessVersion), EINVAL);
    EXPECT_EQ(WriteBextLoudness(file.handle, BextChunk{}, BextLoudness{}), EINVAL);
    EXPECT_EQ(ReadBytes(path), before);
}

TEST(WriteBextLoudnessTest, ReportsAFailedWrite) {
    ScratchDir dir;
    const std::string path = dir.file("ro.wav");
    WriteBytes(path, BuildWav(WithBext(BextPayload(2, kStale)), Sine(480, 2, 1000, -20, 16)));
    ScopedHandle file(OpenFileHandle(path, kOpenRead));
    BextChunk chunk;
    ASSERT_EQ(ReadBextChunk(HandleSource(file.handle), chunk), 0);
    EXPECT_NE(WriteBextLoudness(file.handle, chunk, BextLoudness{}), 0);
}
