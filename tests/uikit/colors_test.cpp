#include "uikit/colors.h"

#include <gtest/gtest.h>

namespace sonivate {
namespace {

TEST(Colors, AdjustAndToneStayInRange) {
    EXPECT_EQ(AdjustColor(0x000000, -70, -70, -70, -1), 0x000000);
    EXPECT_EQ(AdjustColor(0xFFFFFF, 90, 90, 90, -1), 0xFFFFFF);
    EXPECT_EQ(AdjustColor(0x102030, 0, 0, 0, 2.0f), 0x204060);
    EXPECT_EQ(MakeRGB(300, -4, 17), 0x1100FF);
    EXPECT_EQ(ResolveColor(kColorButtonFace), 0xC8D0D4);
    EXPECT_EQ(ToneColor(0), 0xFFFFFF);
    for (std::int32_t i = 0; i < 4; ++i) EXPECT_NE(ToneColor(i), 0) << "0 means not computed";
}

}  // namespace
}  // namespace sonivate
