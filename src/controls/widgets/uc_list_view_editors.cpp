// The list view's in-place editors (a text box, a combo box and a drop-down
// list per column that asks for them) over the cursor row.
#include "controls/widgets/uc_list_view.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolTip>

#include "common/formatting.h"
#include "common/numeric.h"
#include "controls/widgets/input_codes.h"
#include "controls/widgets/list_icons.h"
#include "uikit/colors.h"
#include "uikit/drawing.h"
#include "uikit/fonts.h"
#include "uikit/ui_metrics.h"
#include "controls/widgets/sound_devices.h"

#include "controls/widgets/uc_list_view_shared.h"

namespace sonivate {

using namespace list_view_detail;

namespace {

// The classic virtual key code of a Qt key (letters and digits are their
// upper-case character codes).
std::int32_t VirtualKey(int pKey) {
    if ((pKey >= Qt::Key_A && pKey <= Qt::Key_Z) || (pKey >= Qt::Key_0 && pKey <= Qt::Key_9)) return pKey;
    if (pKey >= Qt::Key_F1 && pKey <= Qt::Key_F24) return 0x70 + (pKey - Qt::Key_F1);
    switch (pKey) {
        case Qt::Key_Backspace:
            return 0x08;
        case Qt::Key_Tab:
            return 0x09;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 0x0D;
        case Qt::Key_Shift:
            return 0x10;
        case Qt::Key_Control:
            return 0x11;
        case Qt::Key_Alt:
            return 0x12;
        case Qt::Key_Escape:
            return 0x1B;
        case Qt::Key_Space:
            return 0x20;
        case Qt::Key_PageUp:
            return 0x21;
        case Qt::Key_PageDown:
            return 0x22;
        case Qt::Key_End:
            return 0x23;
        case Qt::Key_Home:
            return 0x24;
        case Qt::Key_Left:
            return 0x25;
        case Qt::Key_Up:
            return 0x26;
        case Qt::Key_Right:
            return 0x27;
        case Qt::Key_Down:
            return 0x28;
        case Qt::Key_Insert:
            return 0x2D;
        case Qt::Key_Delete:
            return 0x2E;
        default:
            return pKey & 0xFFFF;
    }
}

// Chooses the last entry equal to pText; no equal entry leaves the choice.
void SelectComboText(QComboBox& pCombo, const QString& pText) {
    for (int k = pCombo.count() - 1; k >= 0; --k) {
        if (pCombo.itemText(k) == pText) {
            pCombo.setCurrentIndex(k);
            return;
        }
    }
}

}  // namespace

// Editors: one instance per column that asks for one, kept across calls.
void UC_ListView::MakeEditors(std::int32_t pColumns) {
    Editors& ed = *c_Editors;
    ed.TextOf.resize(static_cast<std::size_t>(pColumns), -1);
    ed.ComboOf.resize(static_cast<std::size_t>(pColumns), -1);
    ed.ListOf.resize(static_cast<std::size_t>(pColumns), -1);
    for (std::int32_t c = 0; c < pColumns; ++c) {
        const std::int32_t flags = c_Model.UseTextCombo(c);
        const auto uc = static_cast<std::size_t>(c);
        if ((flags & kEditorText) != 0 && ed.TextOf[uc] < 0) {
            auto* edit = new QLineEdit(c_ItemArea);
            edit->setObjectName(QString("TextLV%1").arg(ed.Text.size()));
            edit->setFont(SlotFont(2));
            edit->hide();
            connect(edit, &QLineEdit::textChanged, this, [this, c] { EditorTextChanged(c); });
            edit->installEventFilter(this);
            ed.KeySources.push_back({edit, {kKeyFromText, c}});
            ed.TextOf[uc] = static_cast<std::int32_t>(ed.Text.size());
            ed.Text.push_back(edit);
        }
        if ((flags & kEditorCombo) != 0 && ed.ComboOf[uc] < 0) {
            auto* combo = new QComboBox(c_ItemArea);
            combo->setObjectName(QString("ComboLV%1").arg(ed.Combo.size()));
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setFont(SlotFont(3));
            combo->hide();
            connect(combo, &QComboBox::activated, this, [this, c](int pEntry) { EditorEntryChosen(c, false, pEntry); });
            combo->lineEdit()->installEventFilter(this);
            ed.KeySources.push_back({combo->lineEdit(), {kKeyFromCombo, c}});
            ed.ComboOf[uc] = static_cast<std::int32_t>(ed.Combo.size());
            ed.Combo.push_back(combo);
        }
        if ((flags & kEditorList) != 0 && ed.ListOf[uc] < 0) {
            auto* list = new QComboBox(c_ItemArea);
            list->setObjectName(QString("ListLV%1").arg(ed.List.size()));
            list->setFont(SlotFont(4));
            list->hide();
            connect(list, &QComboBox::activated, this, [this, c](int pEntry) { EditorEntryChosen(c, true, pEntry); });
            ed.ListOf[uc] = static_cast<std::int32_t>(ed.List.size());
            ed.List.push_back(list);
        }
    }
}

std::int32_t UC_ListView::EditorRowHeightTwips(std::int32_t pBase) const {
    const Editors& ed = *c_Editors;
    const std::int32_t tpp = Tpp();
    std::int32_t height = pBase;
    if (!ed.Combo.empty())
        height = (ed.Combo[0]->sizeHint().height() + ScaledPixels(kComboRowExtraPixels)) * tpp;
    else if (!ed.List.empty())
        height = (ed.List[0]->sizeHint().height() + ScaledPixels(kComboRowExtraPixels)) * tpp;
    else if (!ed.Text.empty())
        height = (ed.Text[0]->sizeHint().height() + ScaledPixels(kTextRowExtraPixels)) * tpp;
    return std::max(height, pBase);
}

std::int32_t UC_ListView::EditorRaisePixels() const {
    const Editors& ed = *c_Editors;
    if (!ed.Combo.empty() || !ed.List.empty()) return ScaledPixels(kEditorRaiseWithCombo);
    return !ed.Text.empty() ? ScaledPixels(kEditorRaiseWithText) : ScaledPixels(kEditorRaiseWithCombo);
}

void UC_ListView::SizeEditors(std::int32_t pOneHeight) {
    const Editors& ed = *c_Editors;
    const int textHeight = !ed.Combo.empty()  ? ed.Combo[0]->sizeHint().height()
                           : !ed.List.empty() ? ed.List[0]->sizeHint().height()
                                              : TwipsToPixels(pOneHeight) - ScaledPixels(kTextEditorMarginPixels);
    for (QLineEdit* edit : ed.Text) edit->resize(edit->width(), textHeight);
    for (QComboBox* combo : ed.Combo) combo->resize(combo->width(), combo->sizeHint().height());
    for (QComboBox* list : ed.List) list->resize(list->width(), list->sizeHint().height());
}

// ---- Editors -----------------------------------------------------------------------------

void UC_ListView::SetHideTextCombo(std::int32_t pValue) {
    c_HideTextCombo = pValue;
    if (pValue != 0) HideAllEditors();
}

void UC_ListView::SetFrontObj(std::int32_t pData, std::int32_t pValue) { c_Model.SetFrontObj(pData, pValue); }

void UC_ListView::HideAllEditors() {
    for (QWidget* editor : c_Editors->All()) editor->hide();
}

void UC_ListView::PlaceEditorsHorizontally() {
    const std::int32_t offset = c_Model.HorizontalOffset();
    for (std::int32_t c = 0; c < c_Model.NumData(); ++c) {
        const int x = TwipsToPixels(c_Model.TabLeft(c) - offset);
        const int w = TwipsToPixels(c_Model.TabWidth(c));
        if (QLineEdit* edit = c_Editors->TextFor(c))
            edit->setGeometry(x + ScaledPixels(kTextEditorInsetPixels), edit->y(),
                              std::max(1, w - ScaledPixels(kTextEditorInsetPixels)), edit->height());
        for (QComboBox* combo : {c_Editors->ComboFor(c), c_Editors->ListFor(c)}) {
            if (combo != nullptr)
                combo->setGeometry(x + ScaledPixels(kComboEditorInsetPixels), combo->y(),
                                   std::max(1, w - ScaledPixels(kComboEditorInsetPixels)), combo->height());
        }
    }
}

void UC_ListView::PlaceEditorsVertically() {
    if (c_Editors->All().empty()) return;
    const std::int32_t cursor = c_Model.SelectedItem();
    const std::int32_t top = c_Model.TopItem();
    if (c_HideTextCombo != 0 || cursor < 0 || cursor < top || cursor >= top + c_VisibleRows) {
        HideAllEditors();
        return;
    }
    const int y = RowTopPixels(cursor - top) + TwipsToPixels(c_EditorOffset);
    c_SyncingEditors = true;
    for (std::int32_t c = 0; c < c_Model.NumData(); ++c) {
        const bool hidden = c_Model.TabHidden(c) != 0;
        const std::int32_t front = c_Model.FrontObj(c);
        const QString text = Q(c_Model.Value(cursor, c).AsText());
        const auto place = [&](QWidget* pEditor, std::int32_t pKind) {
            if (pEditor == nullptr) return false;
            if (hidden || front != pKind) {
                pEditor->hide();
                return false;
            }
            if (pEditor->y() != y) pEditor->move(pEditor->x(), y);
            return true;
        };
        if (QLineEdit* edit = c_Editors->TextFor(c); place(edit, kEditorText)) {
            if (edit->text() != text) edit->setText(text);
            edit->show();
        }
        for (const auto& [combo, kind] :
             {std::pair{c_Editors->ComboFor(c), kEditorCombo}, std::pair{c_Editors->ListFor(c), kEditorList}}) {
            if (!place(combo, kind)) continue;
            if (combo->currentText() != text) SelectComboText(*combo, text);
            combo->show();
        }
    }
    c_SyncingEditors = false;
}

void UC_ListView::EditorTextChanged(std::int32_t pColumn) {
    if (c_SyncingEditors) return;
    QLineEdit* edit = c_Editors->TextFor(pColumn);
    if (edit == nullptr) return;
    std::string text = S(edit->text());
    if (c_Model.TextIsTime(pColumn) != 0) {
        if (const std::optional<std::string> time = TimeEntryText(text)) {
            text = *time;
            c_SyncingEditors = true;
            edit->setText(Q(text));
            c_SyncingEditors = false;
        }
    }
    c_Model.SetValue(kCursorItem, pColumn, text);
}

void UC_ListView::EditorEntryChosen(std::int32_t pColumn, bool pIsList, int pEntry) {
    QComboBox* combo = pIsList ? c_Editors->ListFor(pColumn) : c_Editors->ComboFor(pColumn);
    if (combo == nullptr) return;
    const QString text = pIsList ? combo->itemText(pEntry) : combo->currentText();
    c_Model.SetValue(kCursorItem, pColumn, S(text));
    std::int32_t column = pColumn, value = pEntry;
    emit ComboChaged(column, value);
}

bool UC_ListView::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pEvent->type() == QEvent::KeyPress || pEvent->type() == QEvent::KeyRelease) {
        if (EditorKey(pWatched, pEvent)) return true;
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

bool UC_ListView::EditorKey(QObject* pEditor, QEvent* pEvent) {
    const auto found = std::find_if(c_Editors->KeySources.begin(), c_Editors->KeySources.end(),
                                    [&](const auto& pSource) { return pSource.first == pEditor; });
    if (found == c_Editors->KeySources.end()) return false;
    auto* key = static_cast<QKeyEvent*>(pEvent);
    std::int32_t isCombo = found->second.first, tab = found->second.second;
    if (pEvent->type() == QEvent::KeyRelease) {
        std::int32_t action = kKeyUp, value = VirtualKey(key->key()), shift = ShiftMask(key->modifiers());
        emit TextComboKeyAction(isCombo, tab, action, value, shift);
        return false;
    }
    std::int32_t action = kKeyDown, value = VirtualKey(key->key()), shift = ShiftMask(key->modifiers());
    emit TextComboKeyAction(isCombo, tab, action, value, shift);
    const QString text = key->text();
    if (text.isEmpty()) return false;
    isCombo = found->second.first;
    tab = found->second.second;
    action = kKeyPress;
    value = text.at(0).unicode();
    shift = 0;
    emit TextComboKeyAction(isCombo, tab, action, value, shift);
    // A handler that answers 0 swallows the character.
    return value == 0;
}

std::optional<std::string> UC_ListView::TimeEntryText(std::string_view pText) {
    constexpr std::size_t kDigits = 6;
    constexpr int kHoursBelow = 31, kSixtyBelow = 60;
    if (pText.size() != kDigits) return std::nullopt;
    if (!std::all_of(pText.begin(), pText.end(), [](char pChar) { return pChar >= '0' && pChar <= '9'; }))
        return std::nullopt;
    const auto pair = [&](std::size_t pAt) { return (pText[pAt] - '0') * 10 + (pText[pAt + 1] - '0'); };
    if (pair(0) >= kHoursBelow || pair(2) >= kSixtyBelow || pair(4) >= kSixtyBelow) return std::nullopt;
    std::string time;
    time.append(pText.substr(0, 2)).append(":").append(pText.substr(2, 2)).append(":").append(pText.substr(4, 2));
    return time;
}

std::int32_t UC_ListView::ComboIndex(std::int32_t pIndex, std::int32_t pData) const {
    const QComboBox* combo = c_Editors->ComboFor(pData);
    if (combo == nullptr) return -1;
    return combo->findText(Q(c_Model.Value(pIndex, pData).AsText()), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

bool UC_ListView::TextComboVisible() const {
    const Editors& ed = *c_Editors;
    return (!ed.Text.empty() && !ed.Text[0]->isHidden()) || (!ed.Combo.empty() && !ed.Combo[0]->isHidden()) ||
           (!ed.List.empty() && !ed.List[0]->isHidden());
}

QLineEdit* UC_ListView::TextLV(std::int32_t pIndex) const {
    return pIndex >= 0 && static_cast<std::size_t>(pIndex) < c_Editors->Text.size()
               ? c_Editors->Text[static_cast<std::size_t>(pIndex)]
               : nullptr;
}
QComboBox* UC_ListView::ComboLV(std::int32_t pIndex) const {
    return pIndex >= 0 && static_cast<std::size_t>(pIndex) < c_Editors->Combo.size()
               ? c_Editors->Combo[static_cast<std::size_t>(pIndex)]
               : nullptr;
}
QComboBox* UC_ListView::ListLV(std::int32_t pIndex) const {
    return pIndex >= 0 && static_cast<std::size_t>(pIndex) < c_Editors->List.size()
               ? c_Editors->List[static_cast<std::size_t>(pIndex)]
               : nullptr;
}

void UC_ListView::LoadDevToLVCombo(std::int32_t pData, bool pIsIn) {
    const std::vector<std::string> names = c_SoundDeviceLister ? c_SoundDeviceLister(pIsIn) : ListSoundDevices(pIsIn);
    for (QComboBox* combo : {c_Editors->ComboFor(pData), c_Editors->ListFor(pData)}) {
        if (combo == nullptr) continue;
        const QSignalBlocker quiet(combo);
        combo->clear();
        for (const std::string& name : names) combo->addItem(Q(name));
        combo->setCurrentIndex(-1);
    }
}

void UC_ListView::AddComboItem(std::int32_t pData, const std::string& pValue) {
    if (QComboBox* combo = c_Editors->ComboFor(pData)) combo->addItem(Q(pValue));
}
void UC_ListView::ClearComboItem(std::int32_t pData) {
    if (QComboBox* combo = c_Editors->ComboFor(pData)) combo->clear();
}
void UC_ListView::AddListItem(std::int32_t pData, const std::string& pValue) {
    if (QComboBox* list = c_Editors->ListFor(pData)) list->addItem(Q(pValue));
}
void UC_ListView::ClearListItem(std::int32_t pData) {
    if (QComboBox* list = c_Editors->ListFor(pData)) list->clear();
}

void UC_ListView::SetSoundDeviceLister(std::function<std::vector<std::string>(bool)> pLister) {
    c_SoundDeviceLister = std::move(pLister);
}

}  // namespace sonivate
