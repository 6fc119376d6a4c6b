#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/ansi_text.h"
#include "common/numeric.h"
#include "support/fake_pump.h"

namespace sonivate {
namespace {

TEST(Decibels, ShareTheSilenceFloorInBothDirections) {
    EXPECT_EQ(LinearToDB(0.0), -110.0);
    EXPECT_EQ(LinearToDB(-0.5), -110.0);
    EXPECT_DOUBLE_EQ(LinearToDB(1.0), 0.0);
    EXPECT_NEAR(LinearToDB(0.5), -6.0206, 1e-4);
    EXPECT_EQ(DBToLinear(-110.0), 0.0);
    EXPECT_EQ(DBToLinear(-200.0), 0.0);
    EXPECT_GT(DBToLinear(-109.9), 0.0);
    EXPECT_DOUBLE_EQ(DBToLinear(0.0), 1.0);
}

TEST(UnsignedBits, RoundTripThe32BitPattern) {
    EXPECT_EQ(ToUInt32Bits(0.0), 0);
    EXPECT_EQ(ToUInt32Bits(2147483647.0), 2147483647);
    EXPECT_EQ(ToUInt32Bits(2147483648.0), -2147483647 - 1);
    EXPECT_EQ(ToUInt32Bits(4294967295.0), -1);
    EXPECT_EQ(ToUInt32Bits(4294967296.0), -1);
    EXPECT_EQ(ToUInt32Bits(-5.0), 0);
    EXPECT_EQ(ToUInt32Bits(7.9), 7);
    EXPECT_EQ(FromUInt32Bits(-1), 4294967295LL);
    EXPECT_EQ(FromUInt32Bits(-2147483647 - 1), 2147483648LL);
    EXPECT_EQ(FromUInt32Bits(12), 12);
    EXPECT_EQ(IsOddNumber(std::int64_t{7}), 1);
    EXPECT_EQ(IsOddNumber(std::int64_t{10}), 0);
    EXPECT_EQ(IsOddNumber(3.9), 1);
    EXPECT_EQ(IsOddNumber(std::int64_t{-3}), 1);
}

TEST(Rounding, HalvesGoToEvenAndTheResultStaysIn32Bits) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.51), 3);
    EXPECT_EQ(RoundHalfEven(1e12), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(RoundHalfEven(-1e12), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(RoundHalfEven(std::nan("")), 0);
}

TEST(AnsiText, EncodesDoubleByteCharactersHighByteFirstAndZeroFills) {
    std::vector<std::uint8_t> bytes(6, 0xEE);
    EXPECT_EQ(StringToAnsiBytes("  A\xE3\x81\x82 ", bytes), 3);  // "A" + hiragana a
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x41, 0x82, 0xA0, 0, 0, 0}));
    std::vector<std::uint8_t> small(2, 0xEE);
    EXPECT_EQ(StringToAnsiBytes("ABCD", small), 4) << "the count includes dropped bytes";
    EXPECT_EQ(small, (std::vector<std::uint8_t>{'A', 'B'}));
}

TEST(AnsiText, DecodesUpToTheTerminatorAndHandlesCutDoubleBytes) {
    const std::vector<std::uint8_t> ab{0x41, 0x42, 0x00, 0x43};
    EXPECT_EQ(AnsiBytesToString(ab, 3, kStopAtNul, 0), "AB");
    EXPECT_EQ(AnsiBytesToString(ab, 3, kStopAtNul, 3), "C");
    EXPECT_EQ(AnsiBytesToString(ab, 0, kStopAtNul, 0), "A") << "last index limits the field";
    const std::vector<std::uint8_t> cr{'x', 0x0D, 'y'};
    EXPECT_EQ(AnsiBytesToString(cr, 2, kStopAtCR, 0), "x");
    // "BC$" + katakana "ma" (0x83 0x7D) in code page 932.
    const std::vector<std::uint8_t> kana{'B', 'C', '$', 0x83, 0x7D, 0};
    EXPECT_EQ(AnsiBytesToString(kana, 5, kStopAtNul, 0), "BC$\xE3\x83\x9E");
    // A lead byte as the last byte allowed ends the text after that byte.
    const std::string cut = AnsiBytesToString(kana, 3, kStopAtNul, 0);
    EXPECT_EQ(cut.substr(0, 3), "BC$");
    EXPECT_GT(cut.size(), 3u);
    EXPECT_EQ(AnsiBytesToString({}, 10, kStopAtNul, 0), "");
}

TEST(AnsiText, LongFieldsLetTheMessageLoopRun) {
    test::FakePump pump;
    const std::vector<std::uint8_t> longText(1600, 'a');
    EXPECT_EQ(AnsiBytesToString(longText, 1599, kStopAtNul, 0, &pump).size(), 1600u);
    EXPECT_EQ(AnsiBytesToString(longText, 1599, kStopAtNul, 0).size(), 1600u) << "no pump, no passes";
    EXPECT_EQ(pump.passes, 3);
}

TEST(NumberTexts, FullWidthDigitsAndSignsReadAsTheirAsciiForms) {
    EXPECT_EQ(AsciiNumberText("－２１"), "-21");
    EXPECT_EQ(AsciiNumberText("＋２３．５"), "+23.5");
    EXPECT_EQ(AsciiNumberText("\u2212"
                              "24.0"),
              "-24.0");
    EXPECT_EQ(AsciiNumberText("　-24　"), " -24 ");
    // Everything else stays as typed, so that it is still refused.
    EXPECT_EQ(AsciiNumberText("-20,5"), "-20,5");
    EXPECT_EQ(AsciiNumberText("－２０，５"), "-20，5");
    EXPECT_EQ(AsciiNumberText("ａｂｃ"), "ａｂｃ");
}

}  // namespace
}  // namespace sonivate
