#include "controls/widgets/uc_list_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "controls/widgets/list_icons.h"
#include "controls/widgets/sound_devices.h"
#include "controls/widgets/uc_slider.h"
#include "uikit/fonts.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

constexpr std::int32_t kRed = 0x0000FF;
// The file list of the main window, in twips.
constexpr std::int32_t kListWidth = 9405;
constexpr std::int32_t kListHeight = 4200;

// A list set up the way the main window sets up its file list.
class ListViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetTwipsPerPixel(kReferenceTwipsPerPixel);
        if (UIFontName().empty()) SelectUIFont();
    }

    void Build(std::int32_t pTabDisabled = 0, std::int32_t pUseUCBar = 0) {
        lv.SetNumData(5);
        lv.SetNumAux(3);
        lv.SetUseUCBar(pUseUCBar);
        lv.SetTabDisabled(pTabDisabled);
        lv.Init();
        const char* captions[] = {"タイトル", "長さ", "LKFS", "ピークdBFS", "加減値dB"};
        const std::int32_t widths[] = {3900, 1390, 1240, 1240, 1240};
        for (std::int32_t c = 0; c < 5; ++c) {
            lv.SetTabName(c, captions[c]);
            lv.SetTabWidth(c, widths[c]);
        }
        lv.SetStyle(10, 0, "", kColorWindowText, kColorWindow);
        lv.InitTab();
        lv.ReDrawTab(-1);
        lv.resize(kListWidth / kReferenceTwipsPerPixel, kListHeight / kReferenceTwipsPerPixel);
        lv.UserControl_Resize();
    }

    void AddRows(std::int32_t pCount) {
        for (std::int32_t k = 0; k < pCount; ++k) {
            lv.AddItem(1);
            lv.SetIconType(kLastItem, kListIconWave);
            lv.SetValue(kLastItem, 0, "title " + std::to_string(lv.ItemCount()));
            lv.SetValue(kLastItem, 1, "00:00:15.000");
        }
        lv.SetVbarParm();
        lv.ReDraw();
    }

    // The centre of row pRow (pixels in the item area), below the click offset.
    QPoint RowPoint(std::int32_t pRow, int pX = 200) const {
        const int oneHeight = lv.OneHeight() / kReferenceTwipsPerPixel;
        return {pX, (pRow - lv.TopItem()) * oneHeight + oneHeight / 2 + kClickRowOffsetPixels};
    }
    QWidget* Items() const { return lv.ItemAreaWidget(); }
    QWidget* Header() const { return lv.HeaderWidget(); }

    // x (pixels in the header) of column pData's right edge.
    int EdgeX(std::int32_t pData) const { return lv.Model().TabRight(pData) / kReferenceTwipsPerPixel; }

    UC_ListView lv;
};

TEST_F(ListViewTest, DrawsCaptionsRowsSelectionAndAClippingRow) {
    Build();
    lv.SetUseMadara(1);
    AddRows(14);
    lv.SetHLine(5, 0x808080);
    lv.SetValue(2, 2, "-20.15");
    lv.SetValue(2, 3, "-0.52");
    lv.SetValue(2, 4, "+3.850");
    lv.SetTabAlign(2, kAlignRight);
    lv.SetDispColor(2, kRed);
    lv.SetSelectedItem(1);
    lv.ReDraw();
    const Picture& list = lv.PictureList();
    const int oneHeight = lv.OneHeight() / kReferenceTwipsPerPixel;

    // Row 1 is selected and odd: its shading is ANDed with the selection colour.
    const std::int32_t selected = list.GetPixel(list.Width() - 40, oneHeight + oneHeight / 2);
    EXPECT_EQ(selected, 0xFFFFCC & 0xC0A0A0);
    // Row 3 is odd and not selected: shaded.
    EXPECT_EQ(list.GetPixel(list.Width() - 40, 3 * oneHeight + oneHeight / 2), 0xFFFFCC);
    // Row 2 draws its texts in red.
    int red = 0;
    for (int y = 2 * oneHeight; y < 3 * oneHeight; ++y)
        for (int x = 0; x < list.Width(); ++x)
            if (list.GetPixel(x, y) == kRed) ++red;
    EXPECT_GT(red, 20);
    // The icon's mask leaves the white paper of the sheet on row 0.
    EXPECT_EQ(list.GetPixel(2 + 6, (oneHeight - kListIconSize) / 2 + 3), 0xFFFFFF);

    // The header carries its captions in dark text.
    const Picture& header = lv.PictureTab();
    int dark = 0;
    for (int y = 0; y < header.Height(); ++y)
        for (int x = 0; x < 60; ++x)
            if ((header.GetPixel(x, y) & 0xFFFFFF) < 0x404040) ++dark;
    EXPECT_GT(dark, 20);

    // Fourteen rows overfill the area: the vertical bar shows.
    EXPECT_TRUE(lv.VBarVisible());

    if (const char* dir = std::getenv("SONIVATE_SCREENSHOT_DIR")) {
        lv.show();
        QTest::qWait(20);
        lv.grab().save(QString(dir) + "/list_view.png");
    }
}

// The item area's height in twips.
std::int32_t AreaTwips(const UC_ListView& pList) { return pList.ItemAreaRect().height() * kReferenceTwipsPerPixel; }

TEST_F(ListViewTest, HeaderHiddenPutsTheItemAreaAtTheTop) {
    Build(1);
    EXPECT_TRUE(lv.HeaderRect().isEmpty());
    EXPECT_TRUE(Header()->isHidden());
    EXPECT_EQ(lv.ItemAreaRect().top(), 2);  // just inside the frame
}

TEST_F(ListViewTest, VerticalBarShowsWhenTheRowsExactlyFillTheArea) {
    Build();
    // Rows of a height that divides the area exactly.
    const std::int32_t area = AreaTwips(lv);
    std::int32_t rows = 12;
    while (area % rows != 0) --rows;
    ASSERT_GE(rows, 3);
    lv.SetOneHeight(area / rows);
    lv.SetVbarParm();
    ASSERT_EQ(lv.ItemAreaRect().height() * kReferenceTwipsPerPixel, area);
    const std::int32_t oneHeight = area / rows;
    ASSERT_EQ(oneHeight * rows, area);
    AddRows(rows - 1);
    EXPECT_FALSE(lv.VBarVisible());
    AddRows(1);
    EXPECT_TRUE(lv.VBarVisible());
    EXPECT_EQ(lv.VBarMax(), 1);
    // The bar takes room from the width, not the height.
    EXPECT_EQ(lv.ItemAreaRect().height() * kReferenceTwipsPerPixel, area);
}

TEST_F(ListViewTest, ScrollsByWheelStepsAndShowsItems) {
    Build();
    AddRows(40);
    ASSERT_TRUE(lv.VBarVisible());
    const std::int32_t visible = lv.VisibleRows();
    EXPECT_EQ(lv.VBarMax(), 40 - visible + 1);

    QWheelEvent down(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(Items(), &down);
    EXPECT_EQ(lv.TopItem(), 3);  // three rows per notch
    // A high-resolution wheel sends parts of a notch; they add up.
    QWheelEvent half(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, -60), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(Items(), &half);
    EXPECT_EQ(lv.TopItem(), 3);
    QApplication::sendEvent(Items(), &half);
    EXPECT_EQ(lv.TopItem(), 6);

    lv.ShowItem(30, 0);
    EXPECT_EQ(lv.TopItem(), std::min(30, lv.VBarMax()));
    EXPECT_EQ(lv.VBarValue(), lv.TopItem());
    // In view already: nothing moves; out of view: centred.
    lv.SetTopItem(2, 0, 0);
    const std::int32_t centred = lv.TopItem();
    EXPECT_EQ(centred, std::max(0, static_cast<int>(std::nearbyint(2 - visible / 2.0))));
    lv.SetSelectedItem(20);
    lv.ShowSelected(1);
    EXPECT_LE(lv.TopItem(), 20);
    EXPECT_GE(lv.TopItem() + visible - 1, 20);
    const std::int32_t before = lv.TopItem();
    lv.ShowSelected(1);
    EXPECT_EQ(lv.TopItem(), before);

    lv.Refresh();
    EXPECT_EQ(lv.TopItem(), 0);
    EXPECT_EQ(lv.VBarValue(), 0);
}

TEST_F(ListViewTest, SliderBarsMoveTheListWhenTheButtonComesUp) {
    Build(0, 1);
    AddRows(40);
    auto* bar = qobject_cast<UC_Slider*>(lv.VBarWidget());
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(qobject_cast<UC_Slider*>(lv.HBarWidget()), nullptr);
    ASSERT_TRUE(lv.VBarVisible());
    const std::int32_t visible = lv.VisibleRows();
    EXPECT_EQ(lv.VBarMax(), 40 - visible + 1);
    EXPECT_EQ(bar->LargeChange(), lv.VBarLargeChange());

    // A press near the far end of the track and its release: the list follows.
    const QPoint farEnd(bar->width() / 2, bar->height() - bar->width() - 2);
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, farEnd);
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, farEnd);
    EXPECT_GT(lv.TopItem(), 20);
    EXPECT_EQ(lv.TopItem(), lv.VBarValue());

    // The wheel moves the slider and the list together.
    QWheelEvent up(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    const std::int32_t before = lv.TopItem();
    QApplication::sendEvent(Items(), &up);
    EXPECT_EQ(lv.TopItem(), before - 3);
    EXPECT_EQ(bar->Value(), lv.TopItem());
    lv.Refresh();
    EXPECT_EQ(bar->Value(), 0);
}

TEST_F(ListViewTest, HorizontalBarFollowsTheColumnsAndScrollsTheHeader) {
    Build();
    AddRows(2);
    EXPECT_FALSE(lv.HBarVisible());
    lv.SetTabWidth(0, 9000);
    lv.SetVbarParm();
    ASSERT_TRUE(lv.HBarVisible());
    const std::int32_t area = lv.ItemAreaRect().width() * kReferenceTwipsPerPixel;
    EXPECT_EQ(lv.HBarMax(), lv.Model().ContentRight() - area);
    lv.HBarScroll(300);
    EXPECT_EQ(lv.Model().HorizontalOffset(), 300);
    lv.HBarScroll(1000000);
    EXPECT_EQ(lv.Model().HorizontalOffset(), lv.HBarMax());
}

// Sends a mouse move with pButtons held to pWidget at pPos.
void MoveWith(QWidget* pWidget, QPoint pPos, Qt::MouseButtons pButtons) {
    QMouseEvent move(QEvent::MouseMove, QPointF(pPos), QPointF(pWidget->mapToGlobal(pPos)), Qt::NoButton, pButtons,
                     Qt::NoModifier);
    QApplication::sendEvent(pWidget, &move);
}

TEST_F(ListViewTest, DraggingAColumnEdgeStopsAt450) {
    Build();
    AddRows(2);
    int moved = 0;
    QObject::connect(&lv, &UC_ListView::TabMoved, [&] { ++moved; });
    const int edge = EdgeX(1);
    MoveWith(Header(), QPoint(edge + 2, 5), Qt::NoButton);
    EXPECT_EQ(Header()->cursor().shape(), Qt::SizeHorCursor);
    MoveWith(Header(), QPoint(edge - 40, 5), Qt::NoButton);
    EXPECT_EQ(Header()->cursor().shape(), Qt::ArrowCursor);

    QTest::mousePress(Header(), Qt::LeftButton, {}, QPoint(edge + 2, 5));
    MoveWith(Header(), QPoint(edge - 400, 5), Qt::LeftButton);
    EXPECT_EQ(lv.TabWidth(1), kMinTabWidth);
    MoveWith(Header(), QPoint(edge + 30, 5), Qt::LeftButton);
    // The edge sits 3 pixels right of the pointer.
    EXPECT_EQ(lv.TabWidth(1), (edge + 30 + 3) * kReferenceTwipsPerPixel - lv.Model().TabLeft(1));
    EXPECT_EQ(lv.Model().TabLeft(2), lv.Model().TabRight(1));
    QTest::mouseRelease(Header(), Qt::LeftButton, {}, QPoint(edge + 30, 5));
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(lv.OrderData(), -1);  // a resize is no sort click
}

TEST_F(ListViewTest, ClickingAHeaderTwiceSortsUpThenDownAndLeavesItUnpressed) {
    Build();
    AddRows(3);
    lv.SetValue(0, 0, "b");
    lv.SetValue(1, 0, "A");
    lv.SetValue(2, 0, "c");
    const QPoint caption(40, 5);
    const auto titles = [&] { return lv.Value(0, 0).AsText() + lv.Value(1, 0).AsText() + lv.Value(2, 0).AsText(); };
    // The header as drawn unpressed in the list's present sort state.
    const auto unpressed = [&] {
        const QImage shown = lv.PictureTab().Image().copy();
        lv.ReDrawTab(-1);
        return shown == lv.PictureTab().Image();
    };
    lv.ReDrawTab(-1);
    const QImage unsorted = lv.PictureTab().Image().copy();

    QTest::mousePress(Header(), Qt::LeftButton, {}, caption);
    EXPECT_NE(lv.PictureTab().Image(), unsorted);  // drawn pressed while held
    QTest::mouseRelease(Header(), Qt::LeftButton, {}, caption);
    EXPECT_EQ(titles(), "Abc");
    EXPECT_EQ(lv.OrderInverted(), 0);
    EXPECT_TRUE(unpressed());
    EXPECT_NE(lv.PictureTab().Image(), unsorted);  // the arrow shows
    const QImage ascending = lv.PictureTab().Image().copy();

    QTest::mouseClick(Header(), Qt::LeftButton, {}, caption);
    EXPECT_EQ(titles(), "cbA");
    EXPECT_EQ(lv.OrderInverted(), 1);
    EXPECT_TRUE(unpressed());
    EXPECT_NE(lv.PictureTab().Image(), ascending);

    // With clicks locked nothing sorts, and the header still comes up again.
    lv.SetClickDisabled(1);
    const QImage descending = lv.PictureTab().Image().copy();
    QTest::mouseClick(Header(), Qt::LeftButton, {}, caption);
    EXPECT_EQ(titles(), "cbA");
    EXPECT_EQ(lv.PictureTab().Image(), descending);
}

TEST_F(ListViewTest, TheHeadersRightClickOpensTheListsOwnColumnMenu) {
    Build();
    std::int32_t rightClicked = -9;
    std::vector<std::pair<std::int32_t, bool>> toggled;
    QObject::connect(&lv, &UC_ListView::TabRightClicked, [&](std::int32_t& pData, QPoint&) { rightClicked = pData; });
    QObject::connect(&lv, &UC_ListView::ColumnShownChanged,
                     [&](std::int32_t pData, bool pShown) { toggled.emplace_back(pData, pShown); });
    // No hideable columns: the event alone, no menu.
    QTest::mouseClick(Header(), Qt::RightButton, {}, QPoint(40, 5));
    EXPECT_EQ(rightClicked, 0);
    EXPECT_EQ(lv.ColumnMenu(), nullptr);

    lv.SetTabHidden(4, 1);
    lv.SetHideableColumns({{2, "LKFS", "lkfs"}, {4, "Gain", "gain"}});
    QTest::mouseClick(Header(), Qt::RightButton, {}, QPoint(40, 5));
    QMenu* menu = lv.ColumnMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->objectName(), "lkfs");
    EXPECT_TRUE(actions[0]->isChecked());
    EXPECT_FALSE(actions[1]->isChecked());
    actions[1]->trigger();
    actions[0]->trigger();
    menu->hide();
    EXPECT_EQ(lv.TabHidden(4), 0);
    EXPECT_EQ(lv.TabHidden(2), 1);
    EXPECT_EQ(toggled, (std::vector<std::pair<std::int32_t, bool>>{{4, true}, {2, false}}));
}

TEST_F(ListViewTest, TimeColumnsReformatSixTypedDigits) {
    lv.SetNumData(5);
    lv.SetNumAux(3);
    lv.Init();
    lv.SetUseTextCombo(1, kEditorText);
    lv.SetTextIsTime(1, 1);
    lv.SetUseTextCombo(0, kEditorText);
    lv.SetStyle(10, 0, "", kColorWindowText, kColorWindow);
    lv.InitTab();
    lv.resize(kListWidth / kReferenceTwipsPerPixel, kListHeight / kReferenceTwipsPerPixel);
    lv.UserControl_Resize();
    AddRows(3);
    ASSERT_NE(lv.TextLV(0), nullptr);
    ASSERT_NE(lv.TextLV(1), nullptr);
    QLineEdit* time = lv.TextLV(1);  // column 1's editor: instances follow the columns
    EXPECT_FALSE(lv.TextComboVisible());
    lv.SetSelectedItem(1);
    lv.ReDraw();
    EXPECT_TRUE(lv.TextComboVisible());
    EXPECT_EQ(time->text().toStdString(), "00:00:15.000");

    int keys = 0;
    QObject::connect(&lv, &UC_ListView::TextComboKeyAction,
                     [&](std::int32_t&, std::int32_t& pTab, std::int32_t&, std::int32_t&, std::int32_t&) {
                         if (pTab == 1) ++keys;
                     });
    const auto type = [&](const char* pText) {
        time->clear();
        QTest::keyClicks(time, pText);
        return lv.Value(1, 1).AsText();
    };
    EXPECT_EQ(type("123456"), "12:34:56");
    EXPECT_EQ(time->text().toStdString(), "12:34:56");
    EXPECT_EQ(keys, 18);  // key down, key press and key up for each digit
    EXPECT_EQ(type("305959"), "30:59:59");
    EXPECT_EQ(type("315959"), "315959");
    EXPECT_EQ(type("12345a"), "12345a");
    EXPECT_EQ(type("126059"), "126059");
    // A column without the time rule keeps the digits.
    QTest::keyClicks(lv.TextLV(0), "123456");
    EXPECT_EQ(lv.Value(1, 0).AsText(), "title 2123456");
    // Other rows are never written.
    EXPECT_EQ(lv.Value(0, 1).AsText(), "00:00:15.000");

    EXPECT_EQ(UC_ListView::TimeEntryText("000000"), "00:00:00");
    EXPECT_EQ(UC_ListView::TimeEntryText("1234567"), std::nullopt);
}

TEST_F(ListViewTest, AMoveOfEightPixelsStartsNoDragButNineDo) {
    Build();
    AddRows(3);
    int starts = 0, clicks = 0;
    std::int32_t completed = -1, allowedSeen = 0;
    QList<QUrl> carried;
    QObject::connect(&lv, &UC_ListView::OLEStartDrag, [&](DragData& pData, std::int32_t& pAllowed) {
        ++starts;
        pData.Clear();
        pData.Format = DragData::kFormatFileList;
        pData.Files = {"/tmp/a b.wav", "/tmp/c.wav"};
        pAllowed = kDropEffectCopy;
    });
    QObject::connect(&lv, &UC_ListView::OLECompleteDrag, [&](std::int32_t& pEffect) { completed = pEffect; });
    QObject::connect(&lv, &UC_ListView::Clicked, [&](double&, double&) { ++clicks; });
    lv.SetDragRunner([&](QMimeData* pData, std::int32_t pAllowed) {
        carried = pData->urls();
        allowedSeen = pAllowed;
        return kDropEffectCopy;
    });

    const QPoint press = RowPoint(1);
    QTest::mousePress(Items(), Qt::LeftButton, {}, press);
    MoveWith(Items(), press + QPoint(8, 0), Qt::LeftButton);
    MoveWith(Items(), press + QPoint(-8, 8), Qt::LeftButton);
    EXPECT_EQ(starts, 0);
    QTest::mouseRelease(Items(), Qt::LeftButton, {}, press);
    EXPECT_EQ(clicks, 1);

    QTest::mousePress(Items(), Qt::LeftButton, {}, press);
    MoveWith(Items(), press + QPoint(0, 9), Qt::LeftButton);
    EXPECT_EQ(starts, 1);
    ASSERT_EQ(carried.size(), 2);
    EXPECT_EQ(carried[0].toEncoded().toStdString(), "file:///tmp/a%20b.wav");
    EXPECT_EQ(allowedSeen, kDropEffectCopy);
    EXPECT_EQ(completed, kDropEffectCopy);
    // The press ended in a drag: its release is no click, and moving on starts no second drag.
    MoveWith(Items(), press + QPoint(0, 30), Qt::LeftButton);
    QTest::mouseRelease(Items(), Qt::LeftButton, {}, press + QPoint(0, 30));
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(clicks, 1);
}

TEST_F(ListViewTest, DroppedFilesArriveWithTheRowAndTheHostsEffect) {
    Build();
    AddRows(5);
    std::vector<std::string> files;
    std::int32_t row = -1, answer = kDropEffectCopy;
    QObject::connect(&lv, &UC_ListView::OLEDragDrop,
                     [&](DragData& pData, std::int32_t& pEffect, std::int32_t&, std::int32_t&, double&, double& pY) {
                         files = pData.Files;
                         row = lv.YsItem(pY);
                         pEffect = answer;
                     });
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/x/1.wav"), QUrl("https://example.com/a.wav"), QUrl::fromLocalFile("/x/2.wav")});
    // Drops are delivered after the drag entered, as the platform does.
    struct Outcome {
        bool Accepted;
        Qt::DropAction Action;
    };
    const auto dropAt = [&](QPoint pPoint) {
        QDragEnterEvent enter(pPoint, Qt::CopyAction | Qt::MoveAction, &mime, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(Items(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(pPoint), Qt::CopyAction | Qt::MoveAction, &mime, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(Items(), &drop);
        return Outcome{drop.isAccepted(), drop.dropAction()};
    };
    const int oneHeight = lv.OneHeight() / kReferenceTwipsPerPixel;
    Outcome outcome = dropAt(QPoint(60, 2 * oneHeight + 3));
    EXPECT_EQ(files, (std::vector<std::string>{"/x/1.wav", "/x/2.wav"}));
    EXPECT_EQ(row, 2);
    EXPECT_TRUE(outcome.Accepted);
    EXPECT_EQ(outcome.Action, Qt::CopyAction);

    // A move answered by the host is still taken as a copy: nothing may
    // delete the dropped files.
    answer = kDropEffectMove;
    outcome = dropAt(QPoint(60, 3));
    EXPECT_TRUE(outcome.Accepted);
    EXPECT_EQ(outcome.Action, Qt::CopyAction);
    EXPECT_EQ(row, 0);

    answer = kDropEffectNone;
    outcome = dropAt(QPoint(60, 3));
    EXPECT_FALSE(outcome.Accepted);
}

TEST_F(ListViewTest, ScrollsWhileSomethingHoversNearTheEdges) {
    Build();
    AddRows(40);
    double now = 100.0;
    lv.SetClock([&] { return now; });
    int overs = 0;
    QObject::connect(&lv, &UC_ListView::OLEDragOver, [&] { ++overs; });
    const int oneHeight = lv.OneHeight() / kReferenceTwipsPerPixel;
    const int height = lv.ItemAreaRect().height();
    const QPoint bottomEdge(50, height - 2), nearBottom(50, height - oneHeight), middle(50, height / 2);

    lv.DragOverNotice(bottomEdge);  // the pointer moved: only remembered
    lv.DragOverNotice(bottomEdge);  // long since the last scroll: the timing restarts
    EXPECT_EQ(lv.TopItem(), 0);
    now += 0.05;
    lv.DragOverNotice(bottomEdge);
    EXPECT_EQ(lv.TopItem(), lv.VBarLargeChange());
    const std::int32_t paged = lv.TopItem();

    lv.DragOverNotice(nearBottom);
    now += 0.05;
    lv.DragOverNotice(nearBottom);  // one row needs 0.2 s
    EXPECT_EQ(lv.TopItem(), paged);
    now += 0.2;
    lv.DragOverNotice(nearBottom);
    EXPECT_EQ(lv.TopItem(), paged + 1);

    lv.DragOverNotice(middle);
    now += 0.5;
    lv.DragOverNotice(middle);
    EXPECT_EQ(lv.TopItem(), paged + 1);

    const QPoint topEdge(50, 1);
    lv.DragOverNotice(topEdge);
    now += 0.05;
    lv.DragOverNotice(topEdge);
    EXPECT_EQ(lv.TopItem(), std::max(0, paged + 1 - lv.VBarLargeChange()));

    lv.SetNoOleScroll(1);
    const std::int32_t before = lv.TopItem();
    now += 0.05;
    lv.DragOverNotice(topEdge);
    EXPECT_EQ(lv.TopItem(), before);
    EXPECT_EQ(overs, 11);  // every notice is reported to the host
}

TEST_F(ListViewTest, MouseSelectsWithShiftAndCtrlAndRaisesTheEvents) {
    Build();
    AddRows(6);
    std::vector<std::string> events;
    QObject::connect(&lv, &UC_ListView::MouseDown, [&](std::int32_t& pButton, std::int32_t&, double&, double&) {
        events.push_back("down" + std::to_string(pButton));
    });
    QObject::connect(&lv, &UC_ListView::Clicked, [&](double&, double&) { events.push_back("click"); });
    QObject::connect(&lv, &UC_ListView::RightClicked, [&](double&, double&) { events.push_back("right"); });
    QObject::connect(&lv, &UC_ListView::DblClicked, [&] { events.push_back("double"); });
    const auto flags = [&] {
        std::string text;
        for (std::int32_t i = 0; i < lv.ItemCount(); ++i) text += std::to_string(lv.IsSelected(i));
        return text;
    };
    QTest::mouseClick(Items(), Qt::LeftButton, {}, RowPoint(1));
    QTest::mouseClick(Items(), Qt::LeftButton, Qt::ShiftModifier, RowPoint(3));
    EXPECT_EQ(flags(), "011100");
    QTest::mouseClick(Items(), Qt::LeftButton, Qt::ControlModifier, RowPoint(2));
    EXPECT_EQ(flags(), "010100");
    QTest::mouseClick(Items(), Qt::RightButton, {}, RowPoint(5));
    EXPECT_EQ(flags(), "010100");
    // A double-click: a click, then the second press as a double-click.
    QTest::mouseClick(Items(), Qt::LeftButton, {}, RowPoint(4));
    QTest::mouseDClick(Items(), Qt::LeftButton, {}, RowPoint(4));
    EXPECT_EQ(events, (std::vector<std::string>{"down1", "click", "down1", "click", "down1", "click", "down2", "right",
                                                "down1", "click", "double"}));
    // The click after the Ctrl-click kept the selection; it is drawn: row 3 boxed, row 2 not.
    EXPECT_EQ(flags(), "010100");
    const Picture& list = lv.PictureList();
    const int oneHeight = lv.OneHeight() / kReferenceTwipsPerPixel;
    EXPECT_EQ(list.GetPixel(list.Width() - 20, 3 * oneHeight + oneHeight / 2), 0xC0A0A0);
    EXPECT_EQ(list.GetPixel(list.Width() - 20, 2 * oneHeight + oneHeight / 2), 0xFFFFFF);

    lv.SetClickDisabled(1);
    events.clear();
    QTest::mouseClick(Items(), Qt::LeftButton, {}, RowPoint(0));
    QTest::mouseDClick(Items(), Qt::LeftButton, {}, RowPoint(0));
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(lv.IsSelected(0), 0);
}

TEST_F(ListViewTest, ComboAndListEditorsWriteTheCursorRowAndReport) {
    lv.SetNumData(3);
    lv.Init();
    lv.SetUseTextCombo(2, kEditorCombo | kEditorList);
    lv.InitTab();
    lv.resize(400, 200);
    AddRows(2);
    lv.AddListItem(2, "alpha");
    lv.AddListItem(2, "beta");
    lv.AddComboItem(2, "gamma");
    lv.AddComboItem(2, "beta");
    QComboBox* list = lv.ListLV(0);
    QComboBox* combo = lv.ComboLV(0);
    ASSERT_NE(list, nullptr);
    ASSERT_NE(combo, nullptr);
    std::int32_t chosenColumn = -1, chosenEntry = -1;
    QObject::connect(&lv, &UC_ListView::ComboChaged, [&](std::int32_t& pData, std::int32_t& pValue) {
        chosenColumn = pData;
        chosenEntry = pValue;
    });
    lv.SetSelectedItem(1);
    lv.ReDraw();
    EXPECT_FALSE(list->isHidden());  // the list is in front when both are asked for
    EXPECT_TRUE(combo->isHidden());
    list->setCurrentIndex(1);
    emit list->activated(1);
    EXPECT_EQ(lv.Value(1, 2).AsText(), "beta");
    EXPECT_EQ(chosenColumn, 2);
    EXPECT_EQ(chosenEntry, 1);
    EXPECT_EQ(lv.ComboIndex(1, 2), 1);
    EXPECT_EQ(lv.ComboIndex(0, 2), -1);
    EXPECT_EQ(lv.ComboIndex(1, 1), -1);  // no combo editor there

    lv.SetFrontObj(2, kEditorCombo);
    lv.ReDraw();
    EXPECT_TRUE(list->isHidden());
    EXPECT_FALSE(combo->isHidden());
    EXPECT_EQ(combo->currentText().toStdString(), "beta");

    lv.SetSoundDeviceLister([](bool pIsInput) {
        return pIsInput ? std::vector<std::string>{"Mic"} : std::vector<std::string>{"Speakers", "HDMI"};
    });
    lv.LoadDevToLVCombo(2, false);
    EXPECT_EQ(combo->count(), 2);
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(1).toStdString(), "HDMI");
    EXPECT_EQ(list->currentIndex(), -1);
    lv.ClearListItem(2);
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(combo->count(), 2);
}

TEST_F(ListViewTest, HeaderMenuMovesAColumn) {
    Build();
    AddRows(1);
    lv.SetUseTabOrder(1);
    int reordered = 0;
    QObject::connect(&lv, &UC_ListView::TabReOrderd, [&] { ++reordered; });
    ASSERT_EQ(lv.MenuRCTab()->actions().size(), 5);
    QTest::mouseClick(Header(), Qt::RightButton, {}, QPoint(40, 5));
    const QList<QAction*> entries = lv.MenuRCTab()->actions();
    EXPECT_FALSE(entries[0]->isEnabled());
    EXPECT_TRUE(entries[2]->isEnabled());
    entries[2]->trigger();
    lv.MenuRCTab()->hide();
    EXPECT_EQ(lv.TabOrder(0), 2);
    EXPECT_EQ(lv.Model().ColumnAtPosition(0), 1);
    EXPECT_EQ(lv.Model().TabLeft(1), 0);
    EXPECT_EQ(reordered, 1);
}

TEST_F(ListViewTest, TooltipAndGrabScrollFollowThePointer) {
    Build();
    AddRows(40);
    lv.SetShowToolTip(1);
    MoveWith(Items(), RowPoint(2), Qt::NoButton);
    EXPECT_EQ(lv.ToolTipText(), "title 3");
    MoveWith(Items(), RowPoint(2, EdgeX(0) + 20), Qt::NoButton);
    EXPECT_EQ(lv.ToolTipText(), "00:00:15.000");

    lv.SetUseScroll(1);
    const int oneHeight = lv.OneHeight() / kReferenceTwipsPerPixel;
    QTest::mousePress(Items(), Qt::LeftButton, {}, RowPoint(8));
    MoveWith(Items(), RowPoint(8) - QPoint(0, 3 * oneHeight + 2), Qt::LeftButton);
    EXPECT_EQ(lv.TopItem(), 3);
    MoveWith(Items(), RowPoint(8) + QPoint(0, 5 * oneHeight), Qt::LeftButton);
    EXPECT_EQ(lv.TopItem(), 0);
    QTest::mouseRelease(Items(), Qt::LeftButton, {}, RowPoint(8));
}

// The host's tooltip texts replace the cells'; keys move the cursor and the
// selection only while clicks are allowed, and Delete is left to the host.
TEST_F(ListViewTest, HostTooltipsAndTheKeyboard) {
    Build();
    AddRows(30);
    lv.SetShowToolTip(1);
    lv.SetToolTipSource([](std::int32_t pRow, std::int32_t pColumn) {
        return "row " + std::to_string(pRow) + " column " + std::to_string(pColumn);
    });
    lv.show();
    QApplication::setActiveWindow(&lv);
    lv.setFocus(Qt::TabFocusReason);
    MoveWith(Items(), RowPoint(2), Qt::NoButton);
    EXPECT_EQ(lv.ToolTipText(), "row 2 column 0");
    int deletes = 0;
    QObject::connect(&lv, &UC_ListView::DeletePressed, [&] { ++deletes; });

    QTest::keyClick(&lv, Qt::Key_Down);
    EXPECT_EQ(lv.SelectedItem(), 0);
    QTest::keyClick(&lv, Qt::Key_PageDown);
    EXPECT_EQ(lv.SelectedItem(), lv.VisibleRows() - 1);
    QTest::keyClick(&lv, Qt::Key_End);
    EXPECT_EQ(lv.SelectedItem(), 29);
    EXPECT_GE(lv.TopItem() + lv.VisibleRows(), 30);  // scrolled into view
    QTest::keyClick(&lv, Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(&lv, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(lv.NumSelectedItems(), 3);
    // Ctrl moves the cursor alone, Ctrl+Space adds its row.
    QTest::keyClick(&lv, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(lv.SelectedItem(), 0);
    EXPECT_EQ(lv.NumSelectedItems(), 3);
    QTest::keyClick(&lv, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(lv.NumSelectedItems(), 4);
    QTest::keyClick(&lv, Qt::Key_Delete);
    EXPECT_EQ(deletes, 1);
    EXPECT_EQ(lv.ItemCount(), 30);

    lv.SetClickDisabled(1);
    QTest::keyClick(&lv, Qt::Key_Down);
    QTest::keyClick(&lv, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&lv, Qt::Key_Delete);
    EXPECT_EQ(lv.SelectedItem(), 0);
    EXPECT_EQ(lv.NumSelectedItems(), 4);
    EXPECT_EQ(deletes, 1);
    // The tooltip still answers during a run.
    MoveWith(Items(), RowPoint(3), Qt::NoButton);
    EXPECT_EQ(lv.ToolTipText(), "row 3 column 0");
}

TEST_F(ListViewTest, AutomaticWidthsFitTheTexts) {
    Build();
    AddRows(2);
    lv.SetValue(0, 2, "x");
    for (std::int32_t row = 0; row < 2; ++row) lv.SetValue(row, 0, "00:00:15.000");
    lv.SetTabWidthAuto();
    EXPECT_EQ(lv.TabWidth(2), kMinTabWidth);
    EXPECT_GT(lv.TabWidth(1), kMinTabWidth);
    // The leftmost column makes room for the icon.
    EXPECT_EQ(lv.TabWidth(0) - lv.TabWidth(1), kListIconSize * kReferenceTwipsPerPixel);
}

TEST(SoundDevices, ListingNeverFails) {
    // Whatever the machine has; a machine without sound cards gives none.
    const std::vector<std::string> outputs = ListSoundDevices(false);
    for (const std::string& name : outputs) EXPECT_FALSE(name.empty());
}

TEST_F(ListViewTest, ChangesMadeThroughTheModelRepaintTheList) {
    Build();
    AddRows(3);
    const QImage before = lv.PictureList().Image().copy();
    lv.Model().SetValue(1, 2, "-23.00");
    QCoreApplication::processEvents();
    EXPECT_NE(lv.PictureList().Image(), before);
    // A change of the row count also brings the bars up to date.
    lv.Model().AddItem(40);
    EXPECT_FALSE(lv.VBarVisible());
    QCoreApplication::processEvents();
    EXPECT_TRUE(lv.VBarVisible());
    lv.Model().DeleteAll();
    QCoreApplication::processEvents();
    EXPECT_FALSE(lv.VBarVisible());
}

}  // namespace
}  // namespace sonivate
