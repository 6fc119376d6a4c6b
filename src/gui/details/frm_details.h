#pragma once
// The details window of one row of the list, for an operator who checks one
// file by eye: its title and path, the measured range, what the last run made
// of it, the figures of the file and of its copy at the applied gain, the
// delivery verdicts with their reasons, and its loudness graph.
//
// Non-modal and reused: Show() replaces what it shows. It only shows the
// plain value it is given and never touches a file.

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include <QDialog>
#include <QImage>
#include <QSize>
#include <QString>

#include "report/batch_report.h"

class QLabel;
class QLineEdit;
class QWidget;

namespace sonivate {

struct RowDetails {
    report::FileRow File;
    double TargetLKFS = -24.0;  // the window's target
    std::string ProfileName;    // "" = no delivery profile
    std::string OutcomeText;    // what the last run made of the row, may be ""
    // The verdicts' notes (codes such as "downmix_true_peak_over"), shown
    // under their reasons; they never fail a file.
    std::vector<std::string> SourceNotes;
    std::vector<std::string> CopyNotes;
};

// The figure rows of the table, top to bottom.
// DownmixTruePeak: the BS.775 stereo downmix's of a 5.1 or 7.1 file.
enum class DetailsFigure { LKFS, SamplePeak, TruePeak, LRA, MaxMomentary, MaxShortTerm, DownmixTruePeak, Gain };
enum class DetailsColumn { Source, Copy };
inline constexpr std::size_t kDetailsFigureCount = 8;
inline constexpr std::size_t kDetailsColumnCount = 2;

// The other texts the window shows.
enum class DetailsField {
    Title,
    Path,
    Range,
    Outcome,
    Profile,        // "配信基準: …"
    SourceVerdict,  // the verdict and its reasons, one a line; "" without a profile
    CopyVerdict,
    GraphMessage,  // shown instead of the graph; "" while the graph shows
    CopyHeading,   // the copy's column: written, or only projected
};

class DetailsGraph;

class FrmDetails : public QDialog {
    Q_OBJECT

public:
    explicit FrmDetails(QWidget* pParent = nullptr);

    // Fills the window with pDetails, shows it and brings it to the front.
    void Show(const RowDetails& pDetails);
    // Replaces what it shows where it is, without bringing it forward (a
    // run has measured its row again).
    void Replace(const RowDetails& pDetails);
    const RowDetails& Details() const { return c_Details; }

    // The graph as last drawn, in device pixels with its pixel ratio set;
    // null while the graph area shows a message instead.
    QImage GraphImage() const;
    // The graph area's size in device-independent pixels.
    QSize GraphAreaSize() const;
    QString FigureText(DetailsFigure pFigure, DetailsColumn pColumn) const;
    // Whether the figure's row shows: the downmix's only for a 5.1 or 7.1 file.
    bool FigureShown(DetailsFigure pFigure) const;
    QString FieldText(DetailsField pField) const;

signals:
    // The graph has been drawn anew (pPixels: its size in device pixels;
    // empty when a message shows instead).
    void GraphDrawn(QSize pPixels);

private:
    void Fill();

    RowDetails c_Details;
    QLabel* c_Title = nullptr;
    QLineEdit* c_Path = nullptr;
    QLabel* c_Range = nullptr;
    QLabel* c_OutcomeCaption = nullptr;
    QLabel* c_Outcome = nullptr;
    std::array<std::array<QLabel*, kDetailsColumnCount>, kDetailsFigureCount> c_Cells{};
    std::array<QLabel*, kDetailsFigureCount> c_FigureNames{};
    QLabel* c_Profile = nullptr;
    QWidget* c_VerdictRows = nullptr;
    QLabel* c_SourceVerdict = nullptr;
    QLabel* c_CopyVerdict = nullptr;
    QLabel* c_CopyHead = nullptr;
    QLabel* c_CopyVerdictCaption = nullptr;
    DetailsGraph* c_Graph = nullptr;
};

}  // namespace sonivate
