#include "controls/widgets/list_icons.h"

#include <QPainter>

#include "uikit/colors.h"

namespace sonivate {
namespace {

// Colours (0x00BBGGRR).
constexpr std::int32_t kInk = 0x606060;
constexpr std::int32_t kPaper = 0xFFFFFF;
constexpr std::int32_t kFold = 0xD8D8D8;
constexpr std::int32_t kWaveInk = 0xC06020;
constexpr std::int32_t kFolderFill = 0x50C8F0;
constexpr std::int32_t kFolderInk = 0x2078A0;
constexpr std::int32_t kSpeakerInk = 0x404040;
constexpr std::int32_t kSpeakerFill = 0xA0A0A0;
constexpr std::int32_t kDoneInk = 0x20A020;
constexpr std::int32_t kSkippedInk = 0x0090E0;
constexpr std::int32_t kFailedInk = 0x2020D0;
// Dark enough to stand apart from the list's selection colour.
constexpr std::int32_t kStoppedInk = 0x505050;
constexpr std::int32_t kBadgeEdge = 0xFFFFFF;
constexpr std::int32_t kMaskOpaque = 0x000000;
constexpr std::int32_t kMaskClear = 0xFFFFFF;
constexpr std::int32_t kImageClear = 0x000000;

// Paints whole logical pixels of one icon: its image and, one row below, its mask.
class IconPainter {
public:
    IconPainter(QPainter& pPainter, std::int32_t pIcon) : c_Painter(pPainter), c_Left(pIcon * kListIconSize) {}

    void Fill(std::int32_t pX, std::int32_t pY, std::int32_t pWidth, std::int32_t pHeight, std::int32_t pColor) {
        c_Painter.fillRect(c_Left + pX, pY, pWidth, pHeight, ToQColor(pColor));
        c_Painter.fillRect(c_Left + pX, kListIconSize + pY, pWidth, pHeight, ToQColor(kMaskOpaque));
    }
    // A one-pixel outline of the rectangle.
    void Frame(std::int32_t pX, std::int32_t pY, std::int32_t pWidth, std::int32_t pHeight, std::int32_t pColor) {
        Fill(pX, pY, pWidth, 1, pColor);
        Fill(pX, pY + pHeight - 1, pWidth, 1, pColor);
        Fill(pX, pY, 1, pHeight, pColor);
        Fill(pX + pWidth - 1, pY, 1, pHeight, pColor);
    }

private:
    QPainter& c_Painter;
    std::int32_t c_Left;
};

// A sheet with a folded top-right corner over x 2..13, y 0..15.
void PaintSheet(IconPainter& pIcon) {
    constexpr std::int32_t kLeft = 2, kTop = 0, kWidth = 12, kHeight = 16, kFoldSize = 4;
    const std::int32_t right = kLeft + kWidth - 1;
    const std::int32_t foldLeft = right - kFoldSize;
    pIcon.Fill(kLeft, kTop, kWidth - kFoldSize, kHeight, kPaper);
    pIcon.Fill(foldLeft, kTop + kFoldSize, kFoldSize + 1, kHeight - kFoldSize, kPaper);
    pIcon.Fill(kLeft, kTop, foldLeft - kLeft + 1, 1, kInk);
    pIcon.Fill(kLeft, kTop, 1, kHeight, kInk);
    pIcon.Fill(kLeft, kTop + kHeight - 1, kWidth, 1, kInk);
    pIcon.Fill(right, kTop + kFoldSize, 1, kHeight - kFoldSize, kInk);
    // The fold: a shaded triangle and its diagonal edge.
    for (std::int32_t k = 1; k <= kFoldSize; ++k) {
        pIcon.Fill(foldLeft, kTop + k, k, 1, kFold);
        pIcon.Fill(foldLeft + k, kTop + k, 1, 1, kInk);
    }
    pIcon.Fill(foldLeft, kTop, 1, kFoldSize + 1, kInk);
    pIcon.Fill(foldLeft, kTop + kFoldSize, kFoldSize + 1, 1, kInk);
}

void PaintWave(IconPainter& pIcon) {
    PaintSheet(pIcon);
    // Half heights of the waveform's bars around the middle line.
    constexpr std::int32_t kBars[] = {1, 3, 5, 2, 4, 6, 3, 1};
    constexpr std::int32_t kFirstX = 4, kMiddleY = 9;
    for (std::int32_t k = 0; k < static_cast<std::int32_t>(std::size(kBars)); ++k)
        pIcon.Fill(kFirstX + k, kMiddleY - kBars[k], 1, 2 * kBars[k] + 1, kWaveInk);
}

void PaintFolder(IconPainter& pIcon) {
    pIcon.Fill(1, 3, 6, 2, kFolderFill);
    pIcon.Frame(1, 2, 6, 3, kFolderInk);
    pIcon.Fill(1, 4, 14, 10, kFolderFill);
    pIcon.Frame(1, 4, 14, 10, kFolderInk);
    pIcon.Fill(2, 5, 12, 1, kPaper);
}

void PaintSpeaker(IconPainter& pIcon) {
    pIcon.Fill(2, 6, 3, 5, kSpeakerFill);
    pIcon.Frame(2, 6, 3, 5, kSpeakerInk);
    // The cone widens by one pixel per column.
    for (std::int32_t k = 0; k < 5; ++k) {
        pIcon.Fill(5 + k, 5 - k, 1, 7 + 2 * k, kSpeakerFill);
        pIcon.Fill(5 + k, 5 - k, 1, 1, kSpeakerInk);
        pIcon.Fill(5 + k, 11 + k, 1, 1, kSpeakerInk);
    }
    pIcon.Fill(9, 1, 1, 15, kSpeakerInk);
    pIcon.Fill(11, 6, 1, 5, kSpeakerInk);
    pIcon.Fill(13, 4, 1, 9, kSpeakerInk);
}

// The outcome badges sit in the lower right quarter (x 7..15, y 7..15) of
// the wave sheet, each with a white edge so that it reads on any row colour.
constexpr std::int32_t kBadgeLeft = 7, kBadgeTop = 7, kBadgeSize = 9;

void PaintBadgeGround(IconPainter& pIcon, std::int32_t pColor) {
    pIcon.Fill(kBadgeLeft, kBadgeTop, kBadgeSize, kBadgeSize, kBadgeEdge);
    pIcon.Fill(kBadgeLeft + 1, kBadgeTop + 1, kBadgeSize - 2, kBadgeSize - 2, pColor);
}

void PaintDone(IconPainter& pIcon) {
    PaintWave(pIcon);
    PaintBadgeGround(pIcon, kDoneInk);
    // A tick in white: the short stroke down, the long one up.
    constexpr std::int32_t kTick[][2] = {{9, 11}, {10, 12}, {11, 11}, {12, 10}, {13, 9}};
    for (const auto& point : kTick) pIcon.Fill(point[0], point[1], 1, 1, kBadgeEdge);
}

void PaintSkipped(IconPainter& pIcon) {
    PaintWave(pIcon);
    PaintBadgeGround(pIcon, kSkippedInk);
    pIcon.Fill(kBadgeLeft + 2, kBadgeTop + 4, kBadgeSize - 4, 1, kBadgeEdge);
}

void PaintFailed(IconPainter& pIcon) {
    PaintWave(pIcon);
    PaintBadgeGround(pIcon, kFailedInk);
    for (std::int32_t k = 0; k < kBadgeSize - 4; ++k) {
        pIcon.Fill(kBadgeLeft + 2 + k, kBadgeTop + 2 + k, 1, 1, kBadgeEdge);
        pIcon.Fill(kBadgeLeft + kBadgeSize - 3 - k, kBadgeTop + 2 + k, 1, 1, kBadgeEdge);
    }
}

void PaintStopped(IconPainter& pIcon) {
    PaintWave(pIcon);
    PaintBadgeGround(pIcon, kStoppedInk);
    pIcon.Fill(kBadgeLeft + 2, kBadgeTop + 2, kBadgeSize - 4, kBadgeSize - 4, kBadgeEdge);
}

void PaintMarkerMissing(IconPainter& pIcon) {
    PaintWave(pIcon);
    PaintBadgeGround(pIcon, kSkippedInk);
    pIcon.Fill(kBadgeLeft + 4, kBadgeTop + 2, 1, 3, kBadgeEdge);
    pIcon.Fill(kBadgeLeft + 4, kBadgeTop + 6, 1, 1, kBadgeEdge);
}

}  // namespace

void PaintListIcons(Picture& pStrip, double pPixelRatio) {
    pStrip.SetBackColor(kImageClear);
    pStrip.Resize(kListIconSize * kListIconCount, 2 * kListIconSize, pPixelRatio);
    QPainter painter(&pStrip.Image());
    painter.setRenderHint(QPainter::Antialiasing, false);
    // Everything clear: black image, white mask.
    painter.fillRect(0, kListIconSize, kListIconSize * kListIconCount, kListIconSize, ToQColor(kMaskClear));
    IconPainter document(painter, kListIconDocument);
    PaintSheet(document);
    IconPainter wave(painter, kListIconWave);
    PaintWave(wave);
    IconPainter folder(painter, kListIconFolder);
    PaintFolder(folder);
    IconPainter speaker(painter, kListIconSpeaker);
    PaintSpeaker(speaker);
    IconPainter done(painter, kListIconDone);
    PaintDone(done);
    IconPainter skipped(painter, kListIconSkipped);
    PaintSkipped(skipped);
    IconPainter failed(painter, kListIconFailed);
    PaintFailed(failed);
    IconPainter stopped(painter, kListIconStopped);
    PaintStopped(stopped);
    IconPainter markerMissing(painter, kListIconMarkerMissing);
    PaintMarkerMissing(markerMissing);
}

}  // namespace sonivate
