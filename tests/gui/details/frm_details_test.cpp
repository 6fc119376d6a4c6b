// The details window of a row as an operator sees it: the figures, the
// verdicts, a row that was never measured, the graph following the window's
// size, and closing. Offscreen; screenshots land in SONIVATE_SCREENSHOT_DIR.
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <utility>

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "gui/details/frm_details.h"

namespace sonivate {
namespace {

constexpr std::int32_t kRate = 48000;
constexpr std::int64_t kStep = 4800;  // 100 ms
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMinusInf = -std::numeric_limits<double>::infinity();

std::string ScreenshotDir() {
    const char* dir = std::getenv("SONIVATE_SCREENSHOT_DIR");
    return dir != nullptr ? dir : SONIVATE_SCREENSHOT_DEFAULT;
}

std::int64_t Frames(double pSeconds) { return static_cast<std::int64_t>(std::llround(pSeconds * kRate)); }

// A 30 s commercial between BC$START and BC$END in a 31 s file, measured
// too quiet with a hot true peak: the source fails the EBU band on both, the
// copy lifted to the target fails on its peak.
RowDetails Commercial() {
    RowDetails d;
    report::FileRow& r = d.File;
    r.Title = "CM_春の新製品_30s";
    r.Path = "/srv/素材/2026-12/CM_春の新製品_30s.wav";
    r.SampleRate = kRate;
    r.FileFrames = Frames(31.0);
    r.RangeStart = Frames(0.5);
    r.RangeEnd = Frames(30.5);
    r.Markers = {{"BC$START", Frames(0.5)}, {"BC$END", Frames(30.5)}};
    r.Band = {true, -23.0, 1.0, -1.0};
    r.Source = {-25.43, -0.82, -0.41, 6.8, -17.6, -21.9, std::nullopt};
    r.GainDB = 2.43;
    r.Copy = {-23.0, 1.61, 2.02, 6.8, -15.17, -19.47, std::nullopt};
    r.SourceVerdict = {report::VerdictKind::Fail, {"loudness_low", "true_peak_over"}};
    r.CopyVerdict = {report::VerdictKind::Fail, {"true_peak_over"}};
    r.Written = true;
    r.ReasonCode = "written";
    r.Loudness.StepFrames = kStep;
    const std::size_t entries = static_cast<std::size_t>((r.RangeEnd - r.RangeStart) / kStep);
    for (std::size_t k = 0; k < entries; ++k) {
        const double t = static_cast<double>(k + 1) * 0.1;
        // A voice over music: a slow swell, syllables, a pause at 12 s and a
        // loud pack shot at the end.
        double m = -26.0 + 2.5 * std::sin(t * 0.7) + 3.0 * std::sin(t * 9.0) * std::sin(t * 1.3);
        if (t > 12.0 && t < 12.8) m = -48.0;
        if (t > 26.0) m += 5.0;
        r.Loudness.Momentary.push_back(t < 0.4 ? kNaN : m);
        const double s = -25.8 + 2.0 * std::sin(t * 0.7) + (t > 26.0 ? 3.5 : 0.0);
        r.Loudness.ShortTerm.push_back(t < 3.0 ? kNaN : s);
    }
    d.TargetLKFS = -24.0;
    d.ProfileName = "ebu-r128";
    d.OutcomeText = "出力しました（CM_春の新製品_30s.wav、ゲイン +2.43 dB）";
    return d;
}

class FrmDetailsTest : public ::testing::Test {
protected:
    // Shown and laid out, its graph drawn at the size it has on screen.
    void ShowAndWait(const RowDetails& pDetails) {
        w.Show(pDetails);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    }

    QSize ExpectedPixels() const {
        const double ratio = w.devicePixelRatioF();
        const QSize area = w.GraphAreaSize();
        return {static_cast<int>(std::lround(area.width() * ratio)),
                static_cast<int>(std::lround(area.height() * ratio))};
    }

    FrmDetails w;
};

TEST_F(FrmDetailsTest, FiguresShowTwoDecimalsSignedGainAndADashWhenMissing) {
    RowDetails d = Commercial();
    d.File.Source.LRA.reset();
    d.File.Copy.MaxShortTerm = kNaN;
    d.File.Copy.SamplePeak = -0.001;  // rounds to zero, shown without a sign
    d.File.GainDB = 1.234;
    ShowAndWait(d);

    EXPECT_EQ(w.FigureText(DetailsFigure::LKFS, DetailsColumn::Source), "-25.43");
    EXPECT_EQ(w.FigureText(DetailsFigure::TruePeak, DetailsColumn::Source), "-0.41");
    EXPECT_EQ(w.FigureText(DetailsFigure::LRA, DetailsColumn::Source), "-");
    EXPECT_EQ(w.FigureText(DetailsFigure::MaxMomentary, DetailsColumn::Source), "-17.60");
    EXPECT_EQ(w.FigureText(DetailsFigure::LKFS, DetailsColumn::Copy), "-23.00");
    EXPECT_EQ(w.FigureText(DetailsFigure::SamplePeak, DetailsColumn::Copy), "0.00");
    EXPECT_EQ(w.FigureText(DetailsFigure::TruePeak, DetailsColumn::Copy), "2.02");
    EXPECT_EQ(w.FigureText(DetailsFigure::MaxShortTerm, DetailsColumn::Copy), "-");
    EXPECT_EQ(w.FigureText(DetailsFigure::Gain, DetailsColumn::Copy), "+1.23");
    EXPECT_EQ(w.FigureText(DetailsFigure::Gain, DetailsColumn::Source), "");

    EXPECT_EQ(w.FieldText(DetailsField::Title), "CM_春の新製品_30s");
    EXPECT_EQ(w.FieldText(DetailsField::Path), "/srv/素材/2026-12/CM_春の新製品_30s.wav");
    EXPECT_EQ(w.FieldText(DetailsField::Range), "0:00.5 – 0:30.5（24000 – 1464000 フレーム、30.0 秒）");
    EXPECT_EQ(w.FieldText(DetailsField::Outcome), QString::fromStdString(d.OutcomeText));

    // Reused: a second row replaces every figure, a cut gain keeps its sign.
    d.File.GainDB = -3.456;
    d.File.Source.LRA = 4.0;
    d.File.RangeEnd = Frames(3725.25);
    ShowAndWait(d);
    EXPECT_EQ(w.FigureText(DetailsFigure::Gain, DetailsColumn::Copy), "-3.46");
    EXPECT_EQ(w.FigureText(DetailsFigure::LRA, DetailsColumn::Source), "4.00");
    EXPECT_TRUE(w.FieldText(DetailsField::Range).startsWith("0:00.5 – 1:02:05.3（24000 – 178812000 フレーム"))
        << w.FieldText(DetailsField::Range).toStdString();
}

// The copy's column claims only what happened: a copy written, a copy a run
// that writes nothing would write, or (refused, failed) no copy and no gain.
TEST_F(FrmDetailsTest, TheCopyColumnSaysWrittenOrProjectedAndARowWithoutACopyClaimsNoGain) {
    RowDetails d = Commercial();
    d.File.CopyIs = report::CopyState::Written;
    ShowAndWait(d);
    EXPECT_EQ(w.FieldText(DetailsField::CopyHeading), "出力（適用ゲイン）");

    d.File.CopyIs = report::CopyState::Projected;
    d.File.Written = false;
    ShowAndWait(d);
    EXPECT_EQ(w.FieldText(DetailsField::CopyHeading), "出力（書き出した場合）");
    EXPECT_EQ(w.FigureText(DetailsFigure::Gain, DetailsColumn::Copy), "+2.43");

    d.File.CopyIs = report::CopyState::None;
    d.File.Copy = {};
    ShowAndWait(d);
    EXPECT_EQ(w.FieldText(DetailsField::CopyHeading), "出力（適用ゲイン）");
    EXPECT_EQ(w.FigureText(DetailsFigure::Gain, DetailsColumn::Copy), "-") << "no copy, no gain applied";
    EXPECT_EQ(w.FigureText(DetailsFigure::LKFS, DetailsColumn::Copy), "-");
}

TEST_F(FrmDetailsTest, VerdictsShowTheirReasonsOnlyWithAProfile) {
    ShowAndWait(Commercial());
    EXPECT_EQ(w.FieldText(DetailsField::Profile),
              "配信基準: ebu-r128（-23.0 ±1.0 LKFS、トゥルーピーク上限 -1.0 dBTP）");
    EXPECT_EQ(
        w.FieldText(DetailsField::SourceVerdict),
        "不合格\nラウドネスが低すぎます（-23.0 ±1.0 LKFS）\nトゥルーピークが上限を超えています（上限 -1.0 dBTP）");
    EXPECT_EQ(w.FieldText(DetailsField::CopyVerdict), "不合格\nトゥルーピークが上限を超えています（上限 -1.0 dBTP）");

    RowDetails passed = Commercial();
    passed.File.CopyVerdict = {report::VerdictKind::Pass, {}};
    passed.File.SourceVerdict = {};
    ShowAndWait(passed);
    EXPECT_EQ(w.FieldText(DetailsField::CopyVerdict), "合格");
    EXPECT_EQ(w.FieldText(DetailsField::SourceVerdict), "-");

    // Without a profile no verdict is shown, even one left in the row.
    RowDetails free = Commercial();
    free.ProfileName.clear();
    free.File.Band = {};
    ShowAndWait(free);
    EXPECT_EQ(w.FieldText(DetailsField::Profile), "配信基準: なし");
    EXPECT_EQ(w.FieldText(DetailsField::SourceVerdict), "");
    EXPECT_EQ(w.FieldText(DetailsField::CopyVerdict), "");
}

// A 5.1 commercial whose every channel is within the ceiling but whose
// stereo downmix is not: the figure in both columns, the note under the
// verdict that still passes.
TEST_F(FrmDetailsTest, ASurroundRowShowsItsDownmixPeakAndItsNote) {
    RowDetails d = Commercial();
    d.File.Source.DownmixTruePeak = -0.42;
    d.File.Copy.DownmixTruePeak = 0.68;
    d.File.CopyVerdict = {report::VerdictKind::Pass, {}};
    d.CopyNotes = {"downmix_true_peak_over"};
    ShowAndWait(d);
    EXPECT_EQ(w.FigureText(DetailsFigure::DownmixTruePeak, DetailsColumn::Source), "-0.42");
    EXPECT_EQ(w.FigureText(DetailsFigure::DownmixTruePeak, DetailsColumn::Copy), "0.68");
    EXPECT_EQ(w.FigureText(DetailsFigure::Gain, DetailsColumn::Copy), "+2.43") << "the gain stays the last row";
    EXPECT_EQ(w.FieldText(DetailsField::CopyVerdict),
              "合格\nダウンミックスのトゥルーピークが上限を超えています（上限 -1.0 dBTP）");
    EXPECT_FALSE(w.FieldText(DetailsField::SourceVerdict).contains("ダウンミックス"));

    EXPECT_TRUE(w.FigureShown(DetailsFigure::DownmixTruePeak));

    // A stereo row has no downmix: its line is left out.
    ShowAndWait(Commercial());
    EXPECT_EQ(w.FigureText(DetailsFigure::DownmixTruePeak, DetailsColumn::Source), "-");
    EXPECT_FALSE(w.FigureShown(DetailsFigure::DownmixTruePeak));
    EXPECT_TRUE(w.FigureShown(DetailsFigure::TruePeak));
    EXPECT_FALSE(w.FieldText(DetailsField::CopyVerdict).contains("ダウンミックス"));
}

TEST_F(FrmDetailsTest, NeverMeasuredRowShowsDashesAndSaysSoInsteadOfAGraph) {
    RowDetails d;
    d.File.Title = "未計測.wav";
    d.File.Path = "/srv/未計測.wav";
    d.File.Loudness.StepFrames = kStep;
    d.File.Loudness.Momentary = {kNaN, kMinusInf, kNaN};
    d.File.Loudness.ShortTerm = {kMinusInf};
    ShowAndWait(d);
    for (int f = 0; f < static_cast<int>(kDetailsFigureCount) - 1; ++f)
        for (auto c : {DetailsColumn::Source, DetailsColumn::Copy})
            EXPECT_EQ(w.FigureText(static_cast<DetailsFigure>(f), c), "-") << f;
    EXPECT_EQ(w.FigureText(DetailsFigure::Gain, DetailsColumn::Copy), "-");
    EXPECT_EQ(w.FieldText(DetailsField::Range), "0:00.0 – 0:00.0（0 – 0 フレーム、0.0 秒）");
    EXPECT_EQ(w.FieldText(DetailsField::GraphMessage), "計測されていません");
    EXPECT_TRUE(w.GraphImage().isNull());
    EXPECT_TRUE(w.grab().toImage().save(QString::fromStdString(ScreenshotDir() + "/details-window-unmeasured.png")));

    // Measured but with nothing to draw a curve from (a range shorter than a
    // window, a zero sample rate): the axes show, nothing breaks.
    d.File.Source.LKFS = -30.0;
    d.File.SampleRate = 0;
    ShowAndWait(d);
    EXPECT_EQ(w.FieldText(DetailsField::GraphMessage), "");
    EXPECT_EQ(w.FieldText(DetailsField::Range), "-");
    EXPECT_EQ(w.GraphImage().size(), ExpectedPixels());
    EXPECT_FALSE(w.grab().isNull());
}

TEST_F(FrmDetailsTest, ResizingRedrawsTheGraphAtTheNewSize) {
    ShowAndWait(Commercial());
    const QSize before = w.GraphAreaSize();
    EXPECT_EQ(w.GraphImage().size(), ExpectedPixels());
    EXPECT_DOUBLE_EQ(w.GraphImage().devicePixelRatio(), w.devicePixelRatioF());

    QSignalSpy drawn(&w, &FrmDetails::GraphDrawn);
    w.resize(w.width() + 240, w.height() + 160);
    ASSERT_TRUE(!drawn.isEmpty() || drawn.wait());
    EXPECT_EQ(w.GraphImage().size(), ExpectedPixels());
    EXPECT_EQ(w.GraphAreaSize(), before + QSize(240, 160));

    // Never below the minimum the window keeps.
    w.resize(10, 10);
    EXPECT_GE(w.width(), w.minimumWidth());
    EXPECT_GE(w.GraphAreaSize().height(), 1);
}

TEST_F(FrmDetailsTest, EscapeAndTheCloseButtonCloseItAndShowBringsItBack) {
    ShowAndWait(Commercial());
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());

    ShowAndWait(Commercial());
    EXPECT_TRUE(w.isVisible());
    QPushButton* close = nullptr;
    for (QPushButton* button : w.findChildren<QPushButton*>())
        if (button->text() == "閉じる") close = button;
    ASSERT_NE(close, nullptr);
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
}

// A realistic commercial, saved for a look at the start size, larger and at
// the smallest size the window allows;
// its true peak over the profile's limit is marked in red on the graph.
TEST_F(FrmDetailsTest, ScreenshotsOfACommercialThatFailsItsProfile) {
    ShowAndWait(Commercial());
    const QImage graph = w.GraphImage();
    bool red = false;
    for (int y = 0; y < graph.height() && !red; ++y)
        for (int x = 0; x < graph.width() && !red; ++x) {
            const QColor c = graph.pixelColor(x, y);
            red = c.red() > 150 && c.green() < 60 && c.blue() < 60;
        }
    EXPECT_TRUE(red);
    EXPECT_TRUE(w.grab().toImage().save(QString::fromStdString(ScreenshotDir() + "/details-window.png")));

    for (const auto& [size, name] : {std::pair{QSize(1280, 900), "large"}, std::pair{w.minimumSize(), "small"}}) {
        QSignalSpy drawn(&w, &FrmDetails::GraphDrawn);
        w.resize(size);
        ASSERT_TRUE(!drawn.isEmpty() || drawn.wait());
        const std::string file = ScreenshotDir() + "/details-window-" + name + ".png";
        EXPECT_TRUE(w.grab().toImage().save(QString::fromStdString(file))) << file;
    }
}

}  // namespace
}  // namespace sonivate
