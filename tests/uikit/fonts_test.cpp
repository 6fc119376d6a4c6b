#include "uikit/fonts.h"

#include <set>

#include <QFontInfo>
#include <QFontMetrics>
#include <QWidget>
#include <gtest/gtest.h>

#include "uikit/picture.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

class Fonts : public ::testing::Test {
protected:
    void SetUp() override {
        ReleaseFonts();
        SetTwipsPerPixel(kReferenceTwipsPerPixel);
        SetUIFontName(kFacePGothic);
    }
    void TearDown() override { ReleaseFonts(); }
};

TEST_F(Fonts, TableReusesEqualEntriesAndComparesFacesExactly) {
    QWidget a, b;
    const std::int32_t first = ApplyFont(&a, kFontByArguments, nullptr, 12, false, false, kFaceUIGothic);
    ASSERT_GE(first, 1) << "the default 9-point font comes first";
    EXPECT_EQ(FontCount(), 2);
    EXPECT_EQ(ApplyFont(&b, kFontByArguments, nullptr, 12, false, false, kFaceUIGothic), first);
    EXPECT_EQ(FontCount(), 2);
    EXPECT_EQ(b.font(), a.font());

    // Only the case differs: a second entry.
    EXPECT_EQ(ApplyFont(nullptr, kFontByArguments, nullptr, 12, false, false, "ms ui gothic"), first + 1);
    EXPECT_EQ(ApplyFont(nullptr, kFontByArguments, nullptr, 12, true, false, kFaceUIGothic), first + 2);
    EXPECT_EQ(ApplyFont(nullptr, kFontByArguments, nullptr, 12, false, true, kFaceUIGothic), first + 3);
    EXPECT_EQ(FontCount(), 5);

    // Size 0 (or less) means 9 points, an empty face the user-interface font:
    // both are the default entry.
    EXPECT_EQ(ApplyFont(nullptr, kFontByArguments, nullptr, 0, false, false, ""), 0);
    EXPECT_EQ(ApplyFont(nullptr, kFontByArguments, nullptr, -3, false, false, kFacePGothic), 0);
    EXPECT_EQ(FontAt(0)->Size, 9.0f);
    EXPECT_EQ(FontCount(), 5);

    // The source's own font, given to another window.
    QWidget c;
    EXPECT_EQ(ApplyFont(&c, kFontFromSource, &a, 0, true, true, "ignored"), first);
    EXPECT_EQ(c.font(), a.font());
}

TEST_F(Fonts, BadIndicesFail) {
    QWidget w;
    EXPECT_EQ(ApplyFont(&w, -4, nullptr, 9, false, false, ""), kApplyFontFailed);
    EXPECT_EQ(ApplyFont(&w, 0, nullptr, 9, false, false, ""), 0);
    EXPECT_EQ(ApplyFont(&w, 1, nullptr, 9, false, false, ""), kApplyFontFailed);
    EXPECT_EQ(ApplyFont(&w, kFontFromSource, nullptr, 9, false, false, ""), kApplyFontFailed);
    EXPECT_EQ(CreateUIFont(std::numeric_limits<float>::infinity(), false, false, kFacePGothic), 0);
    EXPECT_EQ(CreateUIFont(0.01f, false, false, kFacePGothic), 0) << "a cell below one pixel";
    ReleaseFonts();
    EXPECT_EQ(FontCount(), 0);
    EXPECT_EQ(FontAt(0), nullptr);
}

TEST_F(Fonts, CellHeightWeightAndTheMeiryoFactor) {
    ASSERT_EQ(CreateUIFont(9, false, false, kFacePGothic), 1);
    ASSERT_EQ(CreateUIFont(9, true, false, kFaceMeiryo), 1);
    const FontEntry& gothic = *FontAt(0);
    const FontEntry& meiryo = *FontAt(1);
    EXPECT_EQ(gothic.Font.pixelSize(), 12) << "9 pt = 180 twips = 12 pixels at 96 dpi";
    EXPECT_EQ(gothic.HeightFactor, 1.0f);
    EXPECT_FLOAT_EQ(meiryo.HeightFactor, 1.0f / 1.34f);
    EXPECT_EQ(meiryo.Font.weight(), QFont::Bold);
    EXPECT_EQ(gothic.Font.weight(), QFont::Normal);
    // The taller Meiryo cell (16 pixels) holds a glyph of about the same size.
    EXPECT_NEAR(QFontMetrics(meiryo.Font).height(), 16, 1);
    EXPECT_NEAR(meiryo.Font.pixelSize(), gothic.Font.pixelSize(), 1);

    SetTwipsPerPixel(10);  // 144 dpi
    ASSERT_EQ(CreateUIFont(9, true, false, kFacePGothic), 1);
    EXPECT_EQ(FontAt(2)->Font.pixelSize(), 18);
    EXPECT_EQ(FontAt(2)->Font.weight(), 1000) << "1050 limited to the largest weight";
}

TEST_F(Fonts, EveryLayoutFaceRendersJapanese) {
    const std::string& japanese = JapaneseFaceName();
    ASSERT_FALSE(japanese.empty()) << "no Japanese face installed (fonts-noto-cjk)";
    SelectUIFont();
    EXPECT_EQ(UIFontName(), kFacePGothic) << "none of the Windows faces is installed here";

    for (const char* face : {kFaceMeiryo, kFaceUIGothic, kFacePGothic}) {
        ReleaseFonts();
        ASSERT_EQ(CreateUIFont(12, false, false, face), 1) << face;
        const QFont& font = FontAt(0)->Font;
        EXPECT_EQ(QFontInfo(font).family().toStdString(), japanese) << face;
        const QFontMetrics metrics(font);
        EXPECT_TRUE(metrics.inFont(QChar(u'開')) && metrics.inFont(QChar(u'始'))) << face;

        // Two different kanji draw two different shapes with ink: no boxes.
        std::set<QByteArray> shapes;
        for (const char* text : {"開", "始"}) {
            Picture picture(40, 40);
            picture.SetBackColor(0xFFFFFF);
            picture.Cls();
            picture.SetFont(font);
            picture.Print(2, 2, text, 0x000000);
            std::int32_t ink = 0;
            for (std::int32_t y = 0; y < 40; ++y)
                for (std::int32_t x = 0; x < 40; ++x) ink += picture.GetPixel(x, y) != 0xFFFFFF ? 1 : 0;
            EXPECT_GT(ink, 20) << face << " " << text;
            const QImage& image = picture.Image();
            shapes.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
        }
        EXPECT_EQ(shapes.size(), 2u) << face;
    }
}

}  // namespace
}  // namespace sonivate
