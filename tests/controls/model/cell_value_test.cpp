#include "controls/model/cell_value.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace sonivate {
namespace {

TEST(CellValue, NeverWrittenReadsAsEmptyTextAndZero) {
    const CellValue cell;
    EXPECT_TRUE(cell.IsEmpty());
    EXPECT_EQ(cell.AsText(), "");
    EXPECT_EQ(cell.AsNumber(), 0.0);
    EXPECT_EQ(cell.AsInt32(), 0);
    EXPECT_EQ(cell, CellValue());
    EXPECT_NE(cell, CellValue(""));  // an empty text was written
}

TEST(CellValue, NumbersShowInTheirOrdinaryTextForm) {
    EXPECT_EQ(CellValue(96000).AsText(), "96000");
    EXPECT_EQ(CellValue(-23.46).AsText(), "-23.46");
    EXPECT_EQ(CellValue(0.5).AsText(), "0.5");
    EXPECT_EQ(CellValue(-0.0).AsText(), "0");
    EXPECT_EQ(CellValue(0.0001).AsText(), "0.0001");
    EXPECT_EQ(CellValue(0.00001).AsText(), "1E-05");
    EXPECT_EQ(CellValue(123456789012345.0).AsText(), "123456789012345");
    EXPECT_EQ(CellValue(1e15).AsText(), "1E+15");
    EXPECT_EQ(CellValue(1.0 / 3.0).AsText(), "0.333333333333333");
}

TEST(CellValue, TextsReadAsNumbersOnlyWhenTheySpellOne) {
    EXPECT_EQ(CellValue("-1.234").AsNumber(), -1.234);
    EXPECT_EQ(CellValue("  +12 ").AsNumber(), 12.0);
    EXPECT_EQ(CellValue(".5e1").AsNumber(), 5.0);
    for (const char* text : {"", "abc", "12abc", "inf", "nan", "1e999", "--1", "+-1", "0x10", "-"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(CellValue(text).ReadsAsNumber());
        EXPECT_EQ(CellValue(text).AsNumber(), 0.0);
        EXPECT_FALSE(CellValue(text).AsInt32().has_value());
    }
}

TEST(CellValue, Int32RoundsHalvesToEvenAndRefusesOverflow) {
    EXPECT_EQ(CellValue(2.5).AsInt32(), 2);
    EXPECT_EQ(CellValue(3.5).AsInt32(), 4);
    EXPECT_EQ(CellValue("1536000").AsInt32(), 1536000);
    EXPECT_EQ(CellValue(-2147483648.0).AsInt32(), -2147483647 - 1);
    EXPECT_FALSE(CellValue(2147483648.0).AsInt32().has_value());
}

// The list's texts and their parses are the same under a decimal-comma locale.
TEST(CellValue, TextsAndParsesIgnoreADecimalCommaLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 not generated (localedef)";
    EXPECT_EQ(CellValue(-7.1).AsText(), "-7.1");
    EXPECT_EQ(CellValue(1e-5).AsText(), "1E-05");
    EXPECT_EQ(CellValue(1e15).AsText(), "1E+15");
    EXPECT_DOUBLE_EQ(CellValue("-7.100").AsNumber(), -7.1);
    EXPECT_FALSE(CellValue("-7,100").ReadsAsNumber());
    std::setlocale(LC_ALL, before.c_str());
}

}  // namespace
}  // namespace sonivate
