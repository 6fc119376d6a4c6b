#include "wavefile/pcm_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace sonivate {
namespace {

// Every 16-bit value, and 24-bit values across the range with both rails,
// survive encoding and decoding; the run forms (word moves for 24 bits)
// agree with the one-sample forms and never touch the byte behind the run.
template <class Codec>
void ExpectRunsMatchSingles(const std::vector<std::int32_t>& pValues) {
    constexpr unsigned char kGuard = 0xA5;
    std::vector<unsigned char> bytes(pValues.size() * Codec::kBytes + 1, 0);
    bytes.back() = kGuard;
    Codec::Encode(pValues.data(), bytes.data(), pValues.size());
    EXPECT_EQ(bytes.back(), kGuard);
    std::vector<std::int32_t> decoded(pValues.size());
    Codec::Decode(bytes.data(), decoded.data(), pValues.size());
    EXPECT_EQ(decoded, pValues);
    for (std::size_t i = 0; i < pValues.size(); ++i) {
        unsigned char one[Codec::kBytes] = {};
        Codec::EncodeOne(one, pValues[i]);
        for (std::size_t b = 0; b < Codec::kBytes; ++b) ASSERT_EQ(one[b], bytes[i * Codec::kBytes + b]) << i;
        ASSERT_EQ(Codec::DecodeOne(one), pValues[i]);
    }
}

TEST(PcmCodec, SixteenBitValuesRoundTripLittleEndian) {
    std::vector<std::int32_t> all;
    for (std::int32_t v = -32768; v <= 32767; ++v) all.push_back(v);
    ExpectRunsMatchSingles<Pcm16>(all);
    const unsigned char lowest[2] = {0x00, 0x80};
    EXPECT_EQ(Pcm16::DecodeOne(lowest), -32768);
}

TEST(PcmCodec, TwentyFourBitValuesTakeTheSignFromBit23) {
    std::vector<std::int32_t> values = {-8388608, -8388607, -1, 0, 1, 8388606, 8388607};
    for (std::int32_t v = -8388608; v <= 8388607; v += 4099) values.push_back(v);
    ExpectRunsMatchSingles<Pcm24>(values);
    const unsigned char b[3] = {0x01, 0x02, 0x83};  // 0x830201 has bit 23 set
    EXPECT_EQ(Pcm24::DecodeOne(b), 0x830201 - 16777216);
    // Encoding keeps the low 24 bits; the writer saturates before it encodes.
    unsigned char out[3] = {};
    Pcm24::EncodeOne(out, 8388607);
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0xFF);
    EXPECT_EQ(out[2], 0x7F);
}

}  // namespace
}  // namespace sonivate
