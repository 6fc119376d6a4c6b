#include <gtest/gtest.h>

#include "common/formatting.h"

#include <clocale>
#include <string>

namespace sonivate {
namespace {

std::string Duration(std::int32_t pMs, std::int32_t pSign = 0) {
    return FormatDuration(pMs, kDurationStyleClock, pSign);
}

TEST(Durations, ClockStyle) {
    EXPECT_EQ(Duration(0), "00:00:00.000");
    EXPECT_EQ(Duration(3723004), "01:02:03.004");
    EXPECT_EQ(Duration(360000000), "100:00:00.000");
    EXPECT_EQ(Duration(59999), "00:00:59.999");
    EXPECT_EQ(Duration(60000), "00:01:00.000");
    EXPECT_EQ(Duration(-1500), "00:00:00.000");
    EXPECT_EQ(Duration(-1500, 1), "-00:00:01.500");
    EXPECT_EQ(Duration(-2147483647 - 1, 1), "-596:31:23.648");
}

TEST(Texts, CutAtNulAndFitToWidth) {
    EXPECT_EQ(CutAtNul("abc"), "abc");
    EXPECT_EQ(CutAtNul(std::string_view("\0abc", 4)), "");
    EXPECT_EQ(CutAtNul(std::string_view("ab\0c", 4)), "ab");

    // Ten units per character, whatever the character.
    const TextWidthFunction measure = [](std::string_view pText) {
        std::int32_t characters = 0;
        for (const char c : pText) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        return characters * 10;
    };
    EXPECT_EQ(FitTextToWidth("/long/path/take.wav", measure, 85, true), "take.wav");
    EXPECT_EQ(FitTextToWidth("/long/path/take.wav", measure, 85, false), "/long/pa");
    EXPECT_EQ(FitTextToWidth("short", measure, 500, true), "short");
    EXPECT_EQ(FitTextToWidth("x", measure, 1, true), "x");
    EXPECT_EQ(FitTextToWidth("abc", measure, 5, false), "a") << "at least one character";
    EXPECT_EQ(FitTextToWidth("\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86", measure, 20, true), "\xE3\x81\x84\xE3\x81\x86");
}

TEST(Texts, FixedPointRoundsHalvesAwayFromZeroAsTheValueReads) {
    EXPECT_EQ(FormatFixed(-23.456, 2), "-23.46");
    EXPECT_EQ(FormatFixed(4.0, 3), "4.000");
    EXPECT_EQ(FormatFixed(-3.5, 3), "-3.500");
    EXPECT_EQ(FormatFixed(2.675, 2), "2.68");
    EXPECT_EQ(FormatFixed(-2.675, 2), "-2.68");
    EXPECT_EQ(FormatFixed(1.0005, 3), "1.001");
    EXPECT_EQ(FormatFixed(0.0004, 3), "0.000");
    EXPECT_EQ(FormatFixed(-0.0004, 3), "0.000");
    EXPECT_EQ(FormatFixed(9.9999, 3), "10.000");
    EXPECT_EQ(FormatFixed(-110.0, 2), "-110.00");
    EXPECT_EQ(FormatFixed(37.59212345, 3), "37.592");
    EXPECT_EQ(FormatFixed(1234567.125, 2), "1234567.13");
}

// A decimal-comma locale must not reach the list's figures: "-1,.39" in a
// cell reads as no number, and a gain read back from it becomes 0 dB.
TEST(Texts, FixedPointIgnoresADecimalCommaLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 not generated (localedef)";
    EXPECT_EQ(FormatFixed(-1.3912, 2), "-1.39");
    EXPECT_EQ(FormatFixed(-7.1, 3), "-7.100");
    EXPECT_EQ(FormatFixed(1234.5, 0), "1235");
    EXPECT_EQ(FormatFixed(0.0005, 3), "0.001");
    std::setlocale(LC_ALL, before.c_str());
}

}  // namespace
}  // namespace sonivate
