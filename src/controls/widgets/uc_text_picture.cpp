#include "controls/widgets/uc_text_picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

#include "common/formatting.h"
#include "common/numeric.h"
#include "controls/widgets/input_codes.h"
#include "uikit/colors.h"
#include "uikit/drawing.h"
#include "uikit/fonts.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

// The character whose cell height places text vertically.
constexpr const char* kMeasureGlyph = "漢";
// The face whose glyphs sit high in their cell: centred text goes one pixel lower.
constexpr const char* kRaisedFace = "メイリオ";
// Text margin (pixels): flat plain panels are framed by nothing, others by an edge or image border.
constexpr std::int32_t kFlatMargin = 2;
constexpr std::int32_t kFramedMargin = 4;
// A highlighted text space in a non-system colour is this much lighter per component.
constexpr std::int32_t kHighlightLift = 30;
constexpr std::int32_t kHighlightSystem = 0xFFFFFF;
// Nested outlines around each colour-set image.
constexpr std::int32_t kColorSetOutlines = 2;
// Size of a fresh panel before the owner lays it out (pixels).
constexpr int kHintWidth = 320;
constexpr int kHintHeight = 21;

// The fixed colour sets: font colour, colours 1 to 3 (0x00BBGGRR).
constexpr std::array<UC_TextPicture::ColorSet, UC_TextPicture::kStdColorSetCount> kStdColorSets = {{
    {0x909090, 0, 0x686868, 0},
    {0xD0B0B0, 0, 0x886868, 0},
    {0xB0B0D0, 0, 0x686888, 0},
    {0xB0D0B0, 0, 0x688868, 0},
    {0xE0E0E0, 0, 0x686868, 0},
    {0x90B0E0, 0, 0x4878A8, 0},
}};

}  // namespace

UC_TextPicture::UC_TextPicture(QWidget* pParent)
    : QWidget(pParent), c_ForeColor(kColorButtonText), c_BackColor(kColorButtonFace) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAcceptDrops(true);
}

UC_TextPicture::~UC_TextPicture() = default;

QSize UC_TextPicture::sizeHint() const { return QSize(kHintWidth, kHintHeight); }

qreal UC_TextPicture::PictureRatio() const { return devicePixelRatioF(); }

void UC_TextPicture::Init() {
    c_Initialised = true;
    c_StripBuilt = false;
    if (!c_Sets.empty()) BuildStrip();
    Draw(kNoHighlight);
}

void UC_TextPicture::ResetMe() {
    c_Spaces.clear();
    c_Sets.clear();
    c_CurrentSet = 0;
    c_StripBuilt = false;
    c_Strip = Picture();
    c_DesignType = kDesignPlain;
    c_Pressed = false;
}

void UC_TextPicture::BuildStrip() {
    const std::int32_t w = std::max(1, width());
    const std::int32_t h = std::max(1, height());
    c_Strip.Resize(w * static_cast<std::int32_t>(c_Sets.size()), h, PictureRatio());
    Picture image(w, h, PictureRatio());
    for (std::size_t i = 0; i < c_Sets.size(); ++i) {
        PaintColourSetImage(image, c_Sets[i].Color1, c_Sets[i].Color2, false, kColorSetOutlines);
        c_Strip.BitBlt(static_cast<std::int32_t>(i) * w, 0, w, h, image, 0, 0);
    }
    c_StripBuilt = true;
}

void UC_TextPicture::AddTextSpace(float pSize, bool pBold, bool pItalic, const std::string& pFace, std::int32_t pLeft,
                                  std::int32_t pTop) {
    TextSpace space;
    space.FontIndex = ApplyFont(this, kFontByArguments, nullptr, pSize, pBold, pItalic, pFace);
    space.Left = pLeft;
    const FontEntry* entry = FontAt(space.FontIndex);
    Picture probe(1, 1);
    probe.SetFont(entry != nullptr ? entry->Font : font());
    const std::int32_t pixel = TwipsPerPixel();
    const std::int32_t glyphHeight = probe.TextHeight(kMeasureGlyph) * pixel;
    if (pTop == kCentred) {
        const std::int32_t inner = height() * pixel;
        space.Top = std::max(0, RoundHalfEven((inner - glyphHeight) / 2.0));
        const std::string& face = pFace.empty() ? UIFontName() : pFace;
        if (face == kRaisedFace) space.Top += pixel;
    } else {
        const double factor = entry != nullptr ? entry->HeightFactor : 1.0;
        space.Top = RoundHalfEven(pTop - (1.0 - factor) * glyphHeight / 2.0 + pixel);
    }
    c_Spaces.push_back(space);
}

void UC_TextPicture::DispMes(std::int32_t pIndex, const std::string& pStr, bool pDontDraw) {
    if (pIndex < 0 || pIndex >= TextSpaceCount()) return;
    std::string& text = c_Spaces[static_cast<std::size_t>(pIndex)].Text;
    if (text == pStr) return;
    text = pStr;
    if (!pDontDraw) Draw(kNoHighlight);
}

std::string UC_TextPicture::TextMes(std::int32_t pIndex) const {
    if (pIndex < 0 || pIndex >= TextSpaceCount()) return {};
    return c_Spaces[static_cast<std::size_t>(pIndex)].Text;
}

void UC_TextPicture::AddColorSet(std::int32_t pFontColor, std::int32_t pColor1, std::int32_t pColor2,
                                 std::int32_t pColor3) {
    c_Sets.push_back({pFontColor, pColor1, pColor2, pColor3});
    c_StripBuilt = false;
    c_DesignType = kDesignColorSets;
}

void UC_TextPicture::AddStdColorSet(std::int32_t pType) {
    if (pType < 0 || pType >= kStdColorSetCount) return;
    const ColorSet& set = kStdColorSets[static_cast<std::size_t>(pType)];
    AddColorSet(set.FontColor, set.Color1, set.Color2, set.Color3);
}

void UC_TextPicture::SetColor(std::int32_t pType, bool pDraw) {
    if (c_DesignType == kDesignPlain) {
        std::int32_t fore = c_ForeColor;
        std::int32_t back = c_BackColor;
        if (ColorScheme(pType, c_ForeColor, c_BackColor, fore, back)) {
            c_ForeColor = fore;
            c_BackColor = back;
        }
    } else if (pType >= 0 && pType < ColorSetCount()) {
        c_CurrentSet = pType;
    }
    if (pDraw) Draw(kNoHighlight);
}

void UC_TextPicture::SetColorEx(std::int32_t pForeColor, std::int32_t pBackColor, bool pDraw) {
    c_ForeColor = pForeColor;
    c_BackColor = pBackColor;
    if (pDraw) Draw(kNoHighlight);
}

void UC_TextPicture::SetUseClick(std::int32_t pIndex, bool pOn) {
    if (pIndex < 0 || pIndex >= TextSpaceCount()) return;
    c_Spaces[static_cast<std::size_t>(pIndex)].UseClick = pOn;
}

bool UC_TextPicture::UseClickAt(std::int32_t pIndex) const {
    return pIndex >= 0 && pIndex < TextSpaceCount() && c_Spaces[static_cast<std::size_t>(pIndex)].UseClick;
}

void UC_TextPicture::Draw(std::int32_t pLite) {
    const std::int32_t w = std::max(1, width());
    const std::int32_t h = std::max(1, height());
    const std::int32_t pixel = TwipsPerPixel();
    c_Lite = pLite;
    ++c_DrawCount;
    c_Panel.SetBackColor(c_BackColor);
    c_Panel.Resize(w, h, PictureRatio());
    std::int32_t fore = c_ForeColor;
    const bool colorSets = c_DesignType == kDesignColorSets && c_CurrentSet >= 0 && c_CurrentSet < ColorSetCount();
    if (colorSets) {
        if (!c_StripBuilt || c_Strip.Width() != w * ColorSetCount() || c_Strip.Height() != h ||
            c_Strip.Image().devicePixelRatio() != PictureRatio()) {
            BuildStrip();
        }
        c_Panel.BitBlt(0, 0, w, h, c_Strip, c_CurrentSet * w, 0);
        fore = c_Sets[static_cast<std::size_t>(c_CurrentSet)].FontColor;
    }
    const std::int32_t lite =
        IsSystemColor(fore) ? kHighlightSystem : AdjustColor(fore, kHighlightLift, kHighlightLift, kHighlightLift, -1);
    const std::int32_t margin = (c_IsFlat && c_DesignType == kDesignPlain) ? kFlatMargin : kFramedMargin;
    for (std::size_t i = 0; i < c_Spaces.size(); ++i) {
        const TextSpace& space = c_Spaces[i];
        const FontEntry* entry = FontAt(space.FontIndex);
        c_Panel.SetFont(entry != nullptr ? entry->Font : font());
        if (space.Text.empty()) continue;
        const std::int32_t x =
            space.Left == kCentred ? std::max(margin, (w - c_Panel.TextWidth(space.Text)) / 2) : space.Left / pixel;
        const std::int32_t y = space.Top / pixel;
        const std::string shown = FitTextToWidth(
            space.Text, [this](std::string_view pText) { return c_Panel.TextWidth(pText); }, w - x - margin, false);
        c_Panel.Print(x, y, shown, static_cast<std::int32_t>(i) == pLite ? lite : fore);
    }
    if (c_DesignType == kDesignPlain && !c_IsFlat) DrawCellEdge(c_Panel, 0, 0, w * pixel, h * pixel, true);
    update();
}

std::int32_t UC_TextPicture::HitTest(std::int32_t pX, std::int32_t pY) const {
    std::int32_t found = 0;
    std::int32_t bestLeft = std::numeric_limits<std::int32_t>::min();
    std::int32_t bestTop = std::numeric_limits<std::int32_t>::min();
    for (std::size_t i = 0; i < c_Spaces.size(); ++i) {
        const TextSpace& space = c_Spaces[i];
        const bool inside = (space.Left == kCentred || pX > space.Left) && (space.Top == kCentred || pY > space.Top);
        if (!inside || space.Left < bestLeft || space.Top < bestTop) continue;
        if (space.Left == bestLeft && space.Top == bestTop) continue;  // the first of equals keeps it
        found = static_cast<std::int32_t>(i);
        bestLeft = space.Left;
        bestTop = space.Top;
    }
    return found;
}

void UC_TextPicture::paintEvent(QPaintEvent* /*pEvent*/) {
    if (c_Panel.IsNull() || c_Panel.Width() != width() || c_Panel.Height() != height() ||
        c_Panel.Image().devicePixelRatio() != PictureRatio()) {
        // First show, or a screen of another pixel ratio: the picture is made anew at this size.
        Draw(c_Lite);
    }
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), c_Panel.Image());
}

void UC_TextPicture::resizeEvent(QResizeEvent* /*pEvent*/) {
    if (!c_Initialised) return;
    c_StripBuilt = false;
    Draw(c_Lite);
}

void UC_TextPicture::RaiseMouseUD(std::int16_t pButton, bool pIsDown, std::int32_t pIndex) {
    std::int16_t button = pButton;
    bool isDown = pIsDown;
    std::int32_t index = pIndex;
    emit MouseUD(button, isDown, index);
}

void UC_TextPicture::Press(std::int16_t pButton, const QPointF& pPoint) {
    const std::int32_t pixel = TwipsPerPixel();
    const std::int32_t index = HitTest(static_cast<std::int32_t>(std::floor(pPoint.x())) * pixel,
                                       static_cast<std::int32_t>(std::floor(pPoint.y())) * pixel);
    if (UseClickAt(index)) Draw(index);
    c_Pressed = true;
    RaiseMouseUD(pButton, true, index);
}

void UC_TextPicture::mousePressEvent(QMouseEvent* pEvent) {
    if (c_Locked) return;
    Press(static_cast<std::int16_t>(ButtonCode(pEvent->button())), pEvent->position());
}

void UC_TextPicture::mouseReleaseEvent(QMouseEvent* pEvent) {
    if (c_Locked || !c_Pressed) return;
    const std::int32_t pixel = TwipsPerPixel();
    const std::int32_t index = HitTest(static_cast<std::int32_t>(std::floor(pEvent->position().x())) * pixel,
                                       static_cast<std::int32_t>(std::floor(pEvent->position().y())) * pixel);
    if (UseClickAt(index)) Draw(kNoHighlight);
    c_Pressed = false;
    RaiseMouseUD(static_cast<std::int16_t>(ButtonCode(pEvent->button())), false, index);
}

void UC_TextPicture::mouseDoubleClickEvent(QMouseEvent* pEvent) {
    if (c_Locked) return;
    if (c_UseDblClick) {
        emit DblClicked();
        return;
    }
    Press(static_cast<std::int16_t>(kButtonCodeLeft), pEvent->position());
}

void UC_TextPicture::dragEnterEvent(QDragEnterEvent* pEvent) {
    if (c_Locked) return;
    pEvent->acceptProposedAction();
}

void UC_TextPicture::dragMoveEvent(QDragMoveEvent* pEvent) {
    if (c_Locked) return;
    pEvent->acceptProposedAction();
}

void UC_TextPicture::dropEvent(QDropEvent* pEvent) {
    if (c_Locked) return;
    std::int32_t effect = DropEffects(pEvent->possibleActions());
    auto button = static_cast<std::int16_t>(ButtonMask(pEvent->buttons()));
    auto shift = static_cast<std::int16_t>(ShiftMask(pEvent->modifiers()));
    const std::int32_t pixel = TwipsPerPixel();
    float x = static_cast<float>(pEvent->position().x() * pixel);
    float y = static_cast<float>(pEvent->position().y() * pixel);
    emit OLEDragDrop(pEvent->mimeData(), effect, button, shift, x, y);
    const Qt::DropAction action = DropActionOf(effect & DropEffects(pEvent->possibleActions()));
    if (action == Qt::IgnoreAction) {
        pEvent->ignore();
        return;
    }
    pEvent->setDropAction(action);
    pEvent->accept();
}

}  // namespace sonivate
