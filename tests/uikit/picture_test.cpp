#include "uikit/picture.h"

#include <gtest/gtest.h>

namespace sonivate {
namespace {

TEST(Picture, MasksCombineWithAndThenXor) {
    // The icon rule: the mask (white around, black inside) ANDed, then the
    // image (black around) XORed, leaves the background around the icon.
    Picture target(4, 1), mask(4, 1), image(4, 1);
    target.SetBackColor(0x336699);
    target.Cls();
    mask.SetBackColor(0xFFFFFF);
    mask.Cls();
    mask.SetPixel(1, 0, 0x000000);
    image.SetBackColor(0x000000);
    image.Cls();
    image.SetPixel(1, 0, 0x0000FF);
    target.BitBlt(0, 0, 4, 1, mask, 0, 0, Picture::RasterOp::And);
    target.BitBlt(0, 0, 4, 1, image, 0, 0, Picture::RasterOp::Xor);
    EXPECT_EQ(target.GetPixel(0, 0), 0x336699);
    EXPECT_EQ(target.GetPixel(1, 0), 0x0000FF);
    EXPECT_EQ(target.GetPixel(3, 0), 0x336699);
    EXPECT_EQ(target.GetPixel(4, 0), -1);
}

}  // namespace
}  // namespace sonivate
