#pragma once
// UC_PathText: a one-line text box with a small "..." button at its right end
// that opens a folder or file dialog and puts the chosen path into the box.
//
// Units: TextHeight is twips (TwipsPerPixel() per pixel); FontSize points.
// The button is a square as high as the text box, drawn on the control's own
// picture; the text box is the child QLineEdit TextPath.
//
// Events are Qt signals without arguments (direct connections on the window
// thread). TextChange follows every change of the text, the user's and the
// select action's; SelectButtonClicked follows a path chosen in the dialog,
// or every click when Usage is -1.

#include <cstdint>
#include <string>

#include <QWidget>

#include "uikit/picture.h"

class QLineEdit;

namespace sonivate {

class UC_PathText : public QWidget {
    Q_OBJECT

public:
    // Usage values.
    static constexpr std::int32_t kUsageNoDialog = -1;
    static constexpr std::int32_t kUsageFolder = 0;
    static constexpr std::int32_t kUsageOpenFile = 1;
    static constexpr std::int32_t kUsageSaveFile = 2;
    static constexpr std::int32_t kDefaultFontSize = 9;
    static constexpr std::int32_t kDefaultTextHeight = 300;  // twips
    // TextIMEMode value that switches the input method off for the box.
    static constexpr std::int32_t kIMEDisable = 3;

    explicit UC_PathText(QWidget* pParent = nullptr);
    ~UC_PathText() override;

    // Gives the control and the text box the UI font at FontSize, sets the box
    // height to TextHeight, lays out and draws.
    void Init();
    // Text box width = control width - box height; control height = box height.
    void UserControl_Resize();
    // Draws the button, pushed down by pOn pixels (1 while pressed).
    void Draw(std::int32_t pOn);

    std::string Text() const;
    // Runs Init once when needed and redraws.
    void SetText(const std::string& pText);
    std::int32_t Usage() const { return c_Usage; }
    void SetUsage(std::int32_t pUsage) { c_Usage = pUsage; }
    // true: editable on the window colour; false: read-only on the button
    // face, and neither the box nor the button takes the keyboard focus.
    bool Enabled() const { return c_Enabled; }
    void SetEnabled(bool pOn);
    // 1: the button neither acts nor takes the keyboard focus.
    std::int16_t ButtonDisabled() const { return c_ButtonDisabled; }
    void SetButtonDisabled(std::int16_t pOn);
    std::int16_t TextDisabled() const { return c_TextDisabled; }
    void SetTextDisabled(std::int16_t pOn);
    // Stored without any ".".
    const std::string& Ext() const { return c_Ext; }
    void SetExt(const std::string& pExt);
    // Dialog filter "name|pattern|name|pattern..."; empty = built from Ext.
    const std::string& Filter() const { return c_Filter; }
    void SetFilter(const std::string& pFilter) { c_Filter = pFilter; }
    const std::string& InitDir() const { return c_InitDir; }
    void SetInitDir(const std::string& pDir) { c_InitDir = pDir; }
    void SetFontSize(std::int32_t pPoints) { c_FontSize = pPoints; }
    std::int32_t FontSize() const { return c_FontSize; }
    // Twips; fractional values are kept, the box snaps to whole pixels.
    void SetTextHeight(double pTwips) { c_TextHeight = pTwips; }
    double TextHeight() const { return c_TextHeight; }
    void SetTextIMEMode(std::int32_t pMode);

    // The select action of the button.
    void SelectButtonClick();
    // The filter the file dialogs get: Filter, or when it is empty and Ext is
    // not, Ext + "ファイル|*." + Ext ("ファイル" translated with tr()).
    std::string DialogFilter() const;

    QLineEdit* TextPath() const { return c_TextPath; }
    const Picture& Surface() const { return c_Surface; }
    bool Pressed() const { return c_Pressed; }

    QSize sizeHint() const override;

signals:
    void SelectButtonClicked();
    void TextDblClicked();
    void TextChange();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    // The control itself is the button's stop in the Tab chain (after the
    // text box): Space or Enter runs the select action; a dotted frame shows
    // the focus on the button.
    void keyPressEvent(QKeyEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;

private:
    void EnsureFonts();
    void ApplyReadOnly();
    void ApplyFocusPolicies();
    bool ButtonLive() const;
    bool OnButton(const QPointF& pPoint) const;
    void ButtonPress(const QPointF& pPoint);
    std::int32_t BoxHeightPixels() const;
    qreal PictureRatio() const;

    bool c_Pressed = false;
    std::int32_t c_Usage = kUsageFolder;
    bool c_Enabled = true;
    std::int16_t c_ButtonDisabled = 0;
    std::int16_t c_TextDisabled = 0;
    std::string c_Ext;
    std::string c_Filter;
    std::string c_InitDir;
    std::int32_t c_FontSize = kDefaultFontSize;
    double c_TextHeight = kDefaultTextHeight;
    bool c_FontsApplied = false;
    std::int32_t c_DrawnOn = -1;  // pOn of the last Draw, -1 before the first

    QLineEdit* c_TextPath;
    Picture c_Surface;
};

}  // namespace sonivate
