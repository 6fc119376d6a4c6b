#include "gui/details/frm_details.h"

#include <cairo.h>

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>
#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <utility>

#include "gui/details/verdict_texts.h"
#include "report/loudness_graph.h"
#include "uikit/fonts.h"
#include "uikit/ui_language.h"

namespace sonivate {
namespace {

// Sizes in device-independent pixels. The width leaves the verdicts room
// beside the figures; the least height is what the layout needs.
constexpr int kMinimumWidth = 760;
constexpr int kStartWidth = 880;
constexpr int kStartHeight = 680;
constexpr int kGraphMinimumWidth = 320;
constexpr int kGraphMinimumHeight = 220;
constexpr float kTitlePoints = 12.0f;
// The graph is laid out for a page about 500 units wide with 7-unit labels;
// drawn this many device-independent pixels to the unit its labels read as
// the window's text does.
constexpr double kGraphPixelsPerUnit = 1.5;
// Figures and gains are shown to the hundredth; anything that rounds to zero
// is shown as zero, never as "-0.00".
constexpr double kShownHalfStep = 0.005;

constexpr const char* kMissing = "-";
constexpr const char* kTr = "FrmDetails";
constexpr const char* kNotMeasured = QT_TRANSLATE_NOOP("FrmDetails", "計測されていません");
constexpr const char* kCannotDraw = QT_TRANSLATE_NOOP("FrmDetails", "グラフを表示できません");
// The range: %1 – %2 its start and end (clock), %3 – %4 in frames, %5 its seconds.
constexpr const char* kRangeText = QT_TRANSLATE_NOOP("FrmDetails", "%1 – %2（%3 – %4 フレーム、%5 秒）");
constexpr const char* kProfileNone = QT_TRANSLATE_NOOP("FrmDetails", "配信基準: なし");
constexpr const char* kProfileName = QT_TRANSLATE_NOOP("FrmDetails", "配信基準: %1");
// The profile's band: %1 target, %2 tolerance, %3 the true-peak ceiling.
constexpr const char* kProfileBand = QT_TRANSLATE_NOOP("FrmDetails", "（%1 ±%2 LKFS）");
constexpr const char* kProfileBandPeak = QT_TRANSLATE_NOOP("FrmDetails", "（%1 ±%2 LKFS、トゥルーピーク上限 %3 dBTP）");
constexpr const char* kWindowTitle = QT_TRANSLATE_NOOP("FrmDetails", "詳細");
constexpr const char* kWindowTitleOf = QT_TRANSLATE_NOOP("FrmDetails", "詳細 - %1");
constexpr const char* kCaptionRange = QT_TRANSLATE_NOOP("FrmDetails", "計測範囲");
constexpr const char* kCaptionOutcome = QT_TRANSLATE_NOOP("FrmDetails", "結果");
constexpr const char* kCaptionFigures = QT_TRANSLATE_NOOP("FrmDetails", "計測値");
constexpr const char* kCaptionSource = QT_TRANSLATE_NOOP("FrmDetails", "元ファイル");
constexpr const char* kCaptionCopyGain = QT_TRANSLATE_NOOP("FrmDetails", "出力（適用ゲイン）");
constexpr const char* kCaptionVerdicts = QT_TRANSLATE_NOOP("FrmDetails", "判定");
constexpr const char* kCaptionCopy = QT_TRANSLATE_NOOP("FrmDetails", "出力");
// A run that wrote nothing: the copy as it would be written.
constexpr const char* kCaptionCopyProjected = QT_TRANSLATE_NOOP("FrmDetails", "出力（書き出した場合）");
constexpr const char* kCaptionClose = QT_TRANSLATE_NOOP("FrmDetails", "閉じる");

// Exceptions never leave a Qt event handler: pOnFailure is told instead.
template <class Body, class Failure>
void Guarded(Body&& pBody, Failure&& pOnFailure) noexcept {
    try {
        pBody();
    } catch (...) {
        try {
            pOnFailure();
        } catch (...) {
        }
    }
}

QString Q(const std::string& pText) { return QString::fromStdString(pText); }

std::string Fixed(double pValue, const char* pFormat) {
    if (std::fabs(pValue) < kShownHalfStep) pValue = 0.0;
    char text[64];
    std::snprintf(text, sizeof(text), pFormat, pValue);
    return text;
}

std::string FigureValue(const std::optional<double>& pValue) {
    if (!pValue || !std::isfinite(*pValue)) return kMissing;
    return Fixed(*pValue, "%.2f");
}

std::string GainValue(const std::optional<double>& pValue) {
    if (!pValue || !std::isfinite(*pValue)) return kMissing;
    return Fixed(*pValue, "%+.2f");
}

// Seconds as the report writes them.
std::string Clock(double pSeconds) { return report::ClockText(pSeconds); }

std::string RangeText(const report::FileRow& pRow) {
    if (pRow.SampleRate <= 0) return kMissing;
    const double rate = pRow.SampleRate;
    char length[64];
    std::snprintf(length, sizeof(length), "%.1f", pRow.RangeSeconds());
    return TrQ(kTr, kRangeText)
        .arg(Q(Clock(static_cast<double>(pRow.RangeStart) / rate)), Q(Clock(static_cast<double>(pRow.RangeEnd) / rate)),
             QString::number(pRow.RangeStart), QString::number(pRow.RangeEnd), QString::fromLatin1(length))
        .toStdString();
}

std::string ProfileText(const RowDetails& pDetails) {
    if (pDetails.ProfileName.empty()) return TrText(kTr, kProfileNone);
    QString text = TrQ(kTr, kProfileName).arg(Q(pDetails.ProfileName));
    const report::ProfileBand& band = pDetails.File.Band;
    if (band.Present) {
        const QString target = Q(Fixed(band.Target, "%.1f"));
        const QString tolerance = Q(Fixed(band.Tolerance, "%.1f"));
        text += band.MaxTruePeak
                    ? TrQ(kTr, kProfileBandPeak).arg(target, tolerance, Q(Fixed(*band.MaxTruePeak, "%.1f")))
                    : TrQ(kTr, kProfileBand).arg(target, tolerance);
    }
    return text.toStdString();
}

bool AnyFinite(const std::vector<double>& pValues) {
    return std::any_of(pValues.begin(), pValues.end(), [](double pValue) { return std::isfinite(pValue); });
}

// A row is measured when it has a loudness figure or a point of its curves.
bool Measured(const report::FileRow& pRow) {
    return (pRow.Source.LKFS && std::isfinite(*pRow.Source.LKFS)) || AnyFinite(pRow.Loudness.Momentary) ||
           AnyFinite(pRow.Loudness.ShortTerm);
}

// The graph of pRow, pPixels device pixels large at pRatio device pixels per
// device-independent pixel; null when the size is not drawable or cairo fails.
QImage RenderGraph(const report::FileRow& pRow, double pTargetLKFS, QSize pPixels, double pRatio) {
    if (pPixels.isEmpty()) return {};
    QImage image(pPixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return {};
    image.fill(Qt::white);
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        image.bits(), CAIRO_FORMAT_ARGB32, image.width(), image.height(), static_cast<int>(image.bytesPerLine()));
    cairo_t* cairo = cairo_create(surface);
    const double scale = pRatio * kGraphPixelsPerUnit;
    cairo_scale(cairo, scale, scale);
    report::DrawLoudnessGraph(
        cairo, {0.0, 0.0, image.width() / scale, image.height() / scale}, pRow, pTargetLKFS,
        WindowLanguage() == UiLanguage::Japanese ? report::ReportLanguage::Japanese : report::ReportLanguage::English);
    const bool ok = cairo_status(cairo) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cairo);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    if (!ok) return {};
    image.setDevicePixelRatio(pRatio);
    return image;
}

}  // namespace

// The graph area: the loudness graph at the area's size, drawn anew whenever
// the size, the pixel ratio or the row changes; a message instead for a row
// that was never measured.
class DetailsGraph : public QWidget {
public:
    explicit DetailsGraph(FrmDetails& pOwner) : QWidget(&pOwner), c_Owner(pOwner) {
        setMinimumSize(kGraphMinimumWidth, kGraphMinimumHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

    void SetRow(const report::FileRow* pRow, double pTargetLKFS) {
        c_Row = pRow;
        c_Target = pTargetLKFS;
        c_Stale = true;
        Redraw();
        update();
    }
    const QImage& Image() const { return c_Image; }
    const QString& Message() const { return c_Message; }

protected:
    void resizeEvent(QResizeEvent*) override {
        Guarded([&] { Redraw(); }, [&] { Fail(); });
    }
    void paintEvent(QPaintEvent*) override {
        Guarded(
            [&] {
                if (c_Stale || Pixels() != c_Image.size() || devicePixelRatioF() != c_Image.devicePixelRatio())
                    Redraw();
                QPainter painter(this);
                if (!c_Message.isEmpty()) {
                    painter.fillRect(rect(), palette().base());
                    painter.setPen(palette().color(QPalette::PlaceholderText));
                    painter.drawText(rect(), Qt::AlignCenter, c_Message);
                } else if (!c_Image.isNull()) {
                    painter.drawImage(QPoint(0, 0), c_Image);
                }
                painter.setPen(palette().color(QPalette::Mid));
                painter.drawRect(rect().adjusted(0, 0, -1, -1));
            },
            [&] { Fail(); });
    }

private:
    QSize Pixels() const {
        const double ratio = devicePixelRatioF();
        return {static_cast<int>(std::lround(width() * ratio)), static_cast<int>(std::lround(height() * ratio))};
    }

    void Redraw() {
        c_Stale = false;
        if (c_Row == nullptr || !Measured(*c_Row)) {
            c_Image = QImage();
            c_Message = TrQ(kTr, kNotMeasured);
            emit c_Owner.GraphDrawn(QSize());
            return;
        }
        c_Image = RenderGraph(*c_Row, c_Target, Pixels(), devicePixelRatioF());
        c_Message = c_Image.isNull() && !Pixels().isEmpty() ? TrQ(kTr, kCannotDraw) : QString();
        emit c_Owner.GraphDrawn(c_Image.size());
    }

    void Fail() {
        c_Image = QImage();
        c_Message = TrQ(kTr, kCannotDraw);
        c_Stale = false;
    }

    FrmDetails& c_Owner;
    const report::FileRow* c_Row = nullptr;
    double c_Target = -24.0;
    bool c_Stale = true;
    QImage c_Image;
    QString c_Message;
};

namespace {

constexpr const char* kFigureNames[kDetailsFigureCount] = {QT_TRANSLATE_NOOP("FrmDetails", "ラウドネス LKFS"),
                                                           QT_TRANSLATE_NOOP("FrmDetails", "サンプルピーク dBFS"),
                                                           QT_TRANSLATE_NOOP("FrmDetails", "トゥルーピーク dBTP"),
                                                           QT_TRANSLATE_NOOP("FrmDetails", "ラウドネスレンジ LU"),
                                                           QT_TRANSLATE_NOOP("FrmDetails", "最大モーメンタリー LKFS"),
                                                           QT_TRANSLATE_NOOP("FrmDetails", "最大ショートターム LKFS"),
                                                           QT_TRANSLATE_NOOP("FrmDetails", "ダウンミックスTP dBTP"),
                                                           QT_TRANSLATE_NOOP("FrmDetails", "ゲイン dB")};

QLabel* Caption(const char* pText, QWidget* pParent) {
    auto* label = new QLabel(TrQ(kTr, pText), pParent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLabel* Value(QWidget* pParent) {
    auto* label = new QLabel(pParent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* Cell(QWidget* pParent) {
    QLabel* label = Value(pParent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("-000.00")));
    return label;
}

// Dark red for a failing verdict, dark green for a passing one.
void ColourVerdict(QLabel& pLabel, report::VerdictKind pKind) {
    QPalette palette = pLabel.parentWidget()->palette();
    if (pKind == report::VerdictKind::Fail) palette.setColor(QPalette::WindowText, QColor(0xB0, 0x00, 0x00));
    if (pKind == report::VerdictKind::Pass) palette.setColor(QPalette::WindowText, QColor(0x00, 0x70, 0x20));
    pLabel.setPalette(palette);
}

}  // namespace

FrmDetails::FrmDetails(QWidget* pParent) : QDialog(pParent) {
    setModal(false);
    setSizeGripEnabled(true);
    setWindowTitle(TrQ(kTr, kWindowTitle));
    ApplyFont(this, kFontByArguments, nullptr, kDefaultFontSize, false, false, "");
    setMinimumWidth(kMinimumWidth);
    resize(kStartWidth, kStartHeight);

    auto* layout = new QVBoxLayout(this);

    c_Title = Value(this);
    c_Title->setWordWrap(true);
    ApplyFont(c_Title, kFontByArguments, nullptr, kTitlePoints, true, false, "");
    layout->addWidget(c_Title);
    // A path has no spaces to wrap at: a read-only line scrolls it instead
    // of widening the window, and selects it for copying.
    c_Path = new QLineEdit(this);
    c_Path->setReadOnly(true);
    c_Path->setFrame(false);
    {
        QPalette palette = c_Path->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        c_Path->setPalette(palette);
    }
    layout->addWidget(c_Path);

    auto* facts = new QGridLayout;
    facts->setColumnStretch(1, 1);
    facts->addWidget(Caption(kCaptionRange, this), 0, 0);
    c_Range = Value(this);
    facts->addWidget(c_Range, 0, 1);
    c_OutcomeCaption = Caption(kCaptionOutcome, this);
    facts->addWidget(c_OutcomeCaption, 1, 0);
    c_Outcome = Value(this);
    c_Outcome->setWordWrap(true);
    facts->addWidget(c_Outcome, 1, 1);
    layout->addLayout(facts);

    auto* middle = new QHBoxLayout;
    auto* figures = new QGroupBox(TrQ(kTr, kCaptionFigures), this);
    auto* grid = new QGridLayout(figures);
    grid->setHorizontalSpacing(16);
    auto* sourceHead = Caption(kCaptionSource, figures);
    c_CopyHead = Caption(kCaptionCopyGain, figures);
    sourceHead->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    c_CopyHead->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    grid->addWidget(sourceHead, 0, 1);
    grid->addWidget(c_CopyHead, 0, 2);
    for (std::size_t f = 0; f < kDetailsFigureCount; ++f) {
        const int row = static_cast<int>(f) + 1;
        c_FigureNames[f] = Caption(kFigureNames[f], figures);
        grid->addWidget(c_FigureNames[f], row, 0);
        for (std::size_t c = 0; c < kDetailsColumnCount; ++c) {
            c_Cells[f][c] = Cell(figures);
            grid->addWidget(c_Cells[f][c], row, static_cast<int>(c) + 1);
        }
    }
    middle->addWidget(figures);

    auto* verdicts = new QGroupBox(TrQ(kTr, kCaptionVerdicts), this);
    auto* verdictLayout = new QVBoxLayout(verdicts);
    c_Profile = Value(verdicts);
    c_Profile->setWordWrap(true);
    verdictLayout->addWidget(c_Profile);
    c_VerdictRows = new QWidget(verdicts);
    auto* rows = new QGridLayout(c_VerdictRows);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setColumnStretch(1, 1);
    rows->addWidget(Caption(kCaptionSource, c_VerdictRows), 0, 0);
    c_SourceVerdict = Value(c_VerdictRows);
    c_SourceVerdict->setWordWrap(true);
    rows->addWidget(c_SourceVerdict, 0, 1);
    c_CopyVerdictCaption = Caption(kCaptionCopy, c_VerdictRows);
    rows->addWidget(c_CopyVerdictCaption, 1, 0);
    c_CopyVerdict = Value(c_VerdictRows);
    c_CopyVerdict->setWordWrap(true);
    rows->addWidget(c_CopyVerdict, 1, 1);
    verdictLayout->addWidget(c_VerdictRows);
    verdictLayout->addStretch(1);
    middle->addWidget(verdicts, 1);
    layout->addLayout(middle);

    c_Graph = new DetailsGraph(*this);
    layout->addWidget(c_Graph, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(TrQ(kTr, kCaptionClose), QDialogButtonBox::RejectRole);
    close->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { Guarded([&] { reject(); }, [] {}); });
    layout->addWidget(buttons);

    Fill();
}

void FrmDetails::Show(const RowDetails& pDetails) {
    Replace(pDetails);
    show();
    raise();
    activateWindow();
}

void FrmDetails::Replace(const RowDetails& pDetails) {
    Guarded(
        [&] {
            c_Details = pDetails;
            Fill();
        },
        [&] {
            c_Details = RowDetails{};
            Fill();
        });
}

void FrmDetails::Fill() {
    const report::FileRow& row = c_Details.File;
    setWindowTitle(row.Title.empty() ? TrQ(kTr, kWindowTitle) : TrQ(kTr, kWindowTitleOf).arg(Q(row.Title)));
    c_Title->setText(Q(row.Title));
    c_Path->setText(Q(row.Path));
    c_Path->setCursorPosition(0);
    c_Range->setText(Q(RangeText(row)));
    c_Outcome->setText(Q(c_Details.OutcomeText));
    c_Outcome->setVisible(!c_Details.OutcomeText.empty());
    c_OutcomeCaption->setVisible(!c_Details.OutcomeText.empty());

    const report::Figures* columns[kDetailsColumnCount] = {&row.Source, &row.Copy};
    for (std::size_t c = 0; c < kDetailsColumnCount; ++c) {
        const report::Figures& f = *columns[c];
        const std::optional<double>* values[] = {&f.LKFS,         &f.SamplePeak,   &f.TruePeak,       &f.LRA,
                                                 &f.MaxMomentary, &f.MaxShortTerm, &f.DownmixTruePeak};
        for (std::size_t k = 0; k < std::size(values); ++k) c_Cells[k][c]->setText(Q(FigureValue(*values[k])));
    }
    // Only a 5.1 or 7.1 file has a downmix: other rows leave its line out.
    const auto downmix = static_cast<std::size_t>(DetailsFigure::DownmixTruePeak);
    const bool surround = row.Source.DownmixTruePeak.has_value() || row.Copy.DownmixTruePeak.has_value();
    c_FigureNames[downmix]->setVisible(surround);
    for (QLabel* cell : c_Cells[downmix]) cell->setVisible(surround);
    // The gain belongs to the copy alone: the one it was written with (a
    // lowered gain, the limiter's make-up, 0 within the tolerance), else the
    // gain found for the target.
    // A row with no copy figures (refused, failed, stopped) claims no gain
    // applied either.
    const auto gain = static_cast<std::size_t>(DetailsFigure::Gain);
    c_Cells[gain][static_cast<std::size_t>(DetailsColumn::Source)]->clear();
    const bool copyFigures = row.Copy.LKFS.has_value();
    c_Cells[gain][static_cast<std::size_t>(DetailsColumn::Copy)]->setText(
        copyFigures ? Q(GainValue(row.AppliedGainDB ? row.AppliedGainDB : row.GainDB)) : QString(kMissing));
    // Figures and a verdict of a copy a run that wrote nothing would write
    // say so in their headings.
    const bool projected = row.CopyIs == report::CopyState::Projected;
    c_CopyHead->setText(TrQ(kTr, projected ? kCaptionCopyProjected : kCaptionCopyGain));
    c_CopyVerdictCaption->setText(TrQ(kTr, projected ? kCaptionCopyProjected : kCaptionCopy));

    c_Profile->setText(Q(ProfileText(c_Details)));
    const bool judged = !c_Details.ProfileName.empty();
    c_SourceVerdict->setText(judged ? Q(VerdictSummary(row.SourceVerdict, row.Band, c_Details.SourceNotes))
                                    : QString());
    c_CopyVerdict->setText(judged ? Q(VerdictSummary(row.CopyVerdict, row.Band, c_Details.CopyNotes)) : QString());
    if (judged && c_SourceVerdict->text().isEmpty()) c_SourceVerdict->setText(kMissing);
    if (judged && c_CopyVerdict->text().isEmpty()) c_CopyVerdict->setText(kMissing);
    ColourVerdict(*c_SourceVerdict, row.SourceVerdict.Kind);
    ColourVerdict(*c_CopyVerdict, row.CopyVerdict.Kind);
    c_VerdictRows->setVisible(judged);

    c_Graph->SetRow(&c_Details.File, c_Details.TargetLKFS);
}

bool FrmDetails::FigureShown(DetailsFigure pFigure) const {
    return !c_FigureNames[static_cast<std::size_t>(pFigure)]->isHidden();
}

QImage FrmDetails::GraphImage() const { return c_Graph->Image(); }

QSize FrmDetails::GraphAreaSize() const { return c_Graph->size(); }

QString FrmDetails::FigureText(DetailsFigure pFigure, DetailsColumn pColumn) const {
    return c_Cells[static_cast<std::size_t>(pFigure)][static_cast<std::size_t>(pColumn)]->text();
}

QString FrmDetails::FieldText(DetailsField pField) const {
    switch (pField) {
        case DetailsField::Title:
            return c_Title->text();
        case DetailsField::Path:
            return c_Path->text();
        case DetailsField::Range:
            return c_Range->text();
        case DetailsField::Outcome:
            return c_Outcome->text();
        case DetailsField::Profile:
            return c_Profile->text();
        case DetailsField::SourceVerdict:
            return c_SourceVerdict->text();
        case DetailsField::CopyVerdict:
            return c_CopyVerdict->text();
        case DetailsField::GraphMessage:
            return c_Graph->Message();
        case DetailsField::CopyHeading:
            return c_CopyHead->text();
    }
    return {};
}

}  // namespace sonivate
