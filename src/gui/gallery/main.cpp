// sonivate-gallery: every owner-drawn control of the window in its states (the
// list has its own tests and screenshots), at
// a layout scale (SizeRate) of choice.
//
//   sonivate-gallery [--rate R] [--grab FILE.png]   show (or save) the gallery at R (0.7..3.0, default 1.0)
//   sonivate-gallery --verify FILE.png              exit 0 when FILE is a non-blank screenshot
//
// --grab works without a display (QT_QPA_PLATFORM=offscreen).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

#include "controls/widgets/uc_bar.h"
#include "controls/widgets/uc_buttons.h"
#include "controls/widgets/uc_check.h"
#include "controls/widgets/uc_path_text.h"
#include "controls/widgets/uc_slider.h"
#include "controls/widgets/uc_text_picture.h"
#include "uikit/colors.h"
#include "uikit/fonts.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

constexpr double kMinRate = 0.7;
constexpr double kMaxRate = 3.0;
constexpr float kFontPoints = 9.0f;
// Layout grid in twips at SizeRate 1.
constexpr std::int32_t kMargin = 300;
constexpr std::int32_t kControlLeft = 2700;
constexpr std::int32_t kRowGap = 150;
constexpr std::int32_t kColumnGap = 300;
// A screenshot counts as blank below this many distinct colours.
constexpr std::size_t kMinDistinctColors = 24;
constexpr int kMinShotSide = 200;
// Event passes before a grab, so that every control has painted.
constexpr int kSettlePasses = 5;

class Gallery : public QWidget {
public:
    explicit Gallery(double pRate) : c_Rate(pRate) {
        setWindowTitle(QStringLiteral("sonivate-gallery SizeRate %1").arg(pRate, 0, 'f', 1));
        QPalette palette = this->palette();
        palette.setColor(QPalette::Window, ToQColor(kColorButtonFace));
        palette.setColor(QPalette::WindowText, ToQColor(kColorButtonText));
        setPalette(palette);
        setAutoFillBackground(true);
        setFocusPolicy(Qt::StrongFocus);
        ApplyFont(this, kFontByArguments, nullptr, Points(), false, false, "");
        BuildButtons();
        BuildBars();
        BuildChecks();
        BuildPathTexts();
        BuildTextPictures();
        BuildSliders();
        setFixedSize(Px(c_Right + kMargin), Px(c_Top + kMargin));
    }

private:
    float Points() const { return static_cast<float>(kFontPoints * c_Rate); }
    // Scaled twips to whole pixels, as the window snaps its layout.
    int Px(std::int32_t pTwips) const { return static_cast<int>(std::floor(pTwips * c_Rate)) / TwipsPerPixel(); }
    void Place(QWidget* pControl, std::int32_t pLeft, std::int32_t pTop, std::int32_t pWidth, std::int32_t pHeight) {
        pControl->setGeometry(Px(pLeft), Px(pTop), std::max(1, Px(pWidth)), std::max(1, Px(pHeight)));
        c_Right = std::max(c_Right, pLeft + pWidth);
    }
    QLabel* Label(const char* pText, std::int32_t pLeft, std::int32_t pTop, bool pBold = false) {
        auto* label = new QLabel(QString::fromUtf8(pText), this);
        ApplyFont(label, kFontByArguments, nullptr, Points(), pBold, false, "");
        label->adjustSize();
        label->move(Px(pLeft), Px(pTop));
        return label;
    }
    void Section(const char* pTitle) {
        c_Top += kRowGap;
        Label(pTitle, kMargin, c_Top, true);
        c_Top += 330;
    }
    // A row: caption at the left margin, then the controls the builder places from kControlLeft.
    template <typename Build>
    void Row(const char* pCaption, std::int32_t pHeight, Build pBuild) {
        Label(pCaption, kMargin + 150, c_Top + std::max(0, (pHeight - 240) / 2));
        pBuild(c_Top);
        c_Top += pHeight + kRowGap;
    }

    UC_Buttons* Strip(std::int32_t pLeft, std::int32_t pTop, std::int32_t pWidth, std::int32_t pDesign,
                      const QStringList& pCaptions) {
        auto* strip = new UC_Buttons(this);
        Place(strip, pLeft, pTop, pWidth, 390);
        strip->SetDesignType(pDesign);
        strip->SetNumButtons(static_cast<std::int16_t>(pCaptions.size()));
        strip->SetFontSize(Points());
        for (int i = 0; i < pCaptions.size(); ++i) {
            strip->SetButtonChar(static_cast<std::int16_t>(i), pCaptions[i].toStdString());
        }
        strip->Init();
        return strip;
    }

    void BuildButtons() {
        Section("ボタン (UC_Buttons)");
        Row("通常 / 無効 / オン", 390, [this](std::int32_t pTop) {
            auto* a = Strip(kControlLeft, pTop, 2400, 0, {"開始", "停止"});
            (void)a;
            auto* b = Strip(kControlLeft + 2400 + kColumnGap, pTop, 2400, 0, {"開始", "停止"});
            b->SetButtonDisable(1, true, true, false);
            auto* c = Strip(kControlLeft + 4800 + 2 * kColumnGap, pTop, 2400, 0, {"wav出力", "全体"});
            c->SetButtonOn(0, true, true);
        });
        Row("押下 / デザイン 1-3", 390, [this](std::int32_t pTop) {
            auto* a = Strip(kControlLeft, pTop, 2400, 0, {"開始", "停止"});
            a->DrawButton(0, UC_Buttons::kDrawPressed);
            std::int32_t left = kControlLeft + 2400 + kColumnGap;
            for (std::int32_t design = 1; design <= 3; ++design) {
                Strip(left, pTop, 1600, design, {"OK", "キャンセル"});
                left += 1600 + kColumnGap;
            }
        });
        Row("アイコン", 390, [this](std::int32_t pTop) {
            auto* icons = new UC_Buttons(this);
            Place(icons, kControlLeft, pTop, 3600, 390);
            icons->SetButtonsMCI();
            icons->Init();
        });
    }

    void BuildBars() {
        Section("進行状況 (UC_Bar)");
        // Fractions of the full scale the bars show.
        constexpr std::int32_t kPercents[] = {0, 37, 100};
        Row("0 % / 37 % / 100 %", 255, [this, &kPercents](std::int32_t pTop) {
            std::int32_t left = kControlLeft;
            for (const std::int32_t percent : kPercents) {
                auto* bar = new UC_Bar(this);
                Place(bar, left, pTop, 2400, 255);
                bar->Init();
                bar->SetValue(bar->Max() * percent / 100);
                left += 2400 + kColumnGap;
            }
        });
        Row("文字 / 単色 / 固定", 255, [this](std::int32_t pTop) {
            auto* text = new UC_Bar(this);
            Place(text, kControlLeft, pTop, 2400, 255);
            text->SetStyle(Points(), false, "", kColorButtonText);
            text->Init();
            text->SetValue(600);
            text->SetTextToDisp("60 %");
            auto* plain = new UC_Bar(this);
            Place(plain, kControlLeft + 2400 + kColumnGap, pTop, 2400, 255);
            plain->SetNoGrad(true);
            plain->SetBarColor(0x30A030);
            plain->Init();
            plain->SetValue(450);
            auto* locked = new UC_Bar(this);
            Place(locked, kControlLeft + 4800 + 2 * kColumnGap, pTop, 2400, 255);
            locked->SetLocked(true);
            locked->Init();
            locked->SetValue(800);
        });
    }

    void BuildChecks() {
        Section("チェックボックス (UC_Check)");
        const float rate = static_cast<float>(c_Rate);
        Row("オン / オフ / 無効 / 丸", 270, [this, rate](std::int32_t pTop) {
            struct Sample {
                const char* Caption;
                std::int32_t Value;
                bool Enabled;
                bool Option;
            };
            static constexpr Sample kSamples[] = {{"wav出力", 1, true, false},
                                                  {"クリップ回避", 0, true, false},
                                                  {"無効", 1, false, false},
                                                  {"オプション", 1, true, true},
                                                  {"", 1, true, false}};
            std::int32_t left = kControlLeft;
            UC_Check::BoxImage shared;
            for (const Sample& sample : kSamples) {
                auto* check = new UC_Check(this);
                Place(check, left, pTop, 330, 270);
                check->SetIsOption(sample.Option);
                SetupCheck(*check, sample.Caption, sample.Value, nullptr, Points(), shared, rate);
                if (!sample.Option) shared = check->Gradhdc();
                check->SetEnabled(sample.Enabled);
                left += check->width() * TwipsPerPixel() + kColumnGap;
                c_Right = std::max(c_Right, left);
            }
        });
    }

    // A folder box as the window sets one up: 4590 x 330 twips at the scale.
    UC_PathText* PathText(std::int32_t pLeft, std::int32_t pTop) {
        auto* box = new UC_PathText(this);
        Place(box, pLeft, pTop, 4590, 330);
        box->SetFontSize(static_cast<std::int32_t>(std::lround(kFontPoints * c_Rate)));
        box->SetTextHeight(330 * c_Rate);
        box->Init();
        return box;
    }

    void BuildPathTexts() {
        Section("出力先 (UC_PathText)");
        Row("通常 / 押下", 330, [this](std::int32_t pTop) {
            auto* a = PathText(kControlLeft, pTop);
            a->SetText("/srv/放送素材/出力/");
            auto* b = PathText(kControlLeft + 4590 + kColumnGap, pTop);
            b->SetText("/home/operator/CM_春キャンペーン.wav");
            b->Draw(1);
        });
        Row("無効 / ボタン無効", 330, [this](std::int32_t pTop) {
            auto* a = PathText(kControlLeft, pTop);
            a->SetText("/srv/放送素材/出力/");
            a->SetEnabled(false);
            auto* b = PathText(kControlLeft + 4590 + kColumnGap, pTop);
            b->SetText("変更できない設定");
            b->SetButtonDisabled(1);
        });
    }

    UC_TextPicture* Panel(std::int32_t pLeft, std::int32_t pTop, std::int32_t pWidth) {
        auto* panel = new UC_TextPicture(this);
        Place(panel, pLeft, pTop, pWidth, 315);
        return panel;
    }

    void BuildTextPictures() {
        Section("状態表示 (UC_TextPicture)");
        Row("色セット 0 / 1", 315, [this](std::int32_t pTop) {
            auto* idle = Panel(kControlLeft, pTop, 4590);
            idle->AddStdColorSet(0);
            idle->AddStdColorSet(1);
            idle->AddTextSpace(Points(), false, false, "", 120, -1);
            idle->Init();
            idle->DispMes(0, "終了");
            auto* running = Panel(kControlLeft + 4590 + kColumnGap, pTop, 4590);
            running->AddStdColorSet(0);
            running->AddStdColorSet(1);
            running->AddTextSpace(Points(), false, false, "", 120, -1);
            running->Init();
            running->SetColor(1, true);
            running->DispMes(0, "測定中 3/12: CM_春キャンペーン_30秒.wav");
        });
        Row("色セット 2-5", 315, [this](std::int32_t pTop) {
            std::int32_t left = kControlLeft;
            const char* texts[] = {"色セット 2", "色セット 3", "色セット 4", "色セット 5"};
            for (std::int32_t set = 2; set <= 5; ++set) {
                auto* panel = Panel(left, pTop, 2220);
                panel->AddStdColorSet(set);
                panel->AddTextSpace(Points(), false, false, "", -1, -1);
                panel->Init();
                panel->DispMes(0, texts[set - 2]);
                left += 2220 + 170;
            }
        });
        Row("枠付き / 強調 / 平面", 315, [this](std::int32_t pTop) {
            auto* framed = Panel(kControlLeft, pTop, 3000);
            framed->AddTextSpace(Points(), false, false, "", 120, -1);
            framed->Init();
            framed->DispMes(0, "ファイルをドロップ");
            auto* lit = Panel(kControlLeft + 3000 + kColumnGap, pTop, 3000);
            lit->SetColor(6, false);
            lit->AddTextSpace(Points(), true, false, "", 120, -1);
            lit->AddTextSpace(Points(), false, false, "", 1500, -1);
            lit->DispMes(0, "強調", true);
            lit->DispMes(1, "通常", true);
            lit->Init();
            lit->Draw(0);
            auto* flat = Panel(kControlLeft + 6000 + 2 * kColumnGap, pTop, 3180);
            flat->SetIsFlat(true);
            flat->SetColor(1, false);
            flat->AddTextSpace(Points(), false, true, "", -1, -1);
            flat->Init();
            flat->DispMes(0, "平面・中央・斜体");
        });
    }

    UC_Slider* Slider(std::int32_t pLeft, std::int32_t pTop, std::int32_t pWidth, std::int32_t pHeight, bool pVertical,
                      bool pNoGrad, std::int32_t pValue) {
        auto* slider = new UC_Slider(this);
        Place(slider, pLeft, pTop, pWidth, pHeight);
        slider->SetIsVertical(pVertical);
        slider->SetNoGrad(pNoGrad);
        slider->Init();
        slider->SetValue(pValue);
        return slider;
    }

    void BuildSliders() {
        Section("スライダー (UC_Slider)");
        const std::int32_t verticalTop = c_Top;
        Row("矢印付き / グラデーション", 270, [this](std::int32_t pTop) {
            Slider(kControlLeft, pTop, 4500, 270, false, false, 300);
            auto* plain = Slider(kControlLeft + 4500 + kColumnGap, pTop, 4500, 270, false, true, 650);
            plain->SetPointerSize(0.3);
        });
        Row("中央線 / 矢印なし / 無効", 270, [this](std::int32_t pTop) {
            auto* lined = new UC_Slider(this);
            Place(lined, kControlLeft, pTop, 4500, 270);
            lined->SetCenterLined(1);
            lined->SetNoArrow(true);
            lined->Init();
            lined->SetValue(500);
            auto* off = Slider(kControlLeft + 4500 + kColumnGap, pTop, 4500, 270, false, true, 200);
            off->setEnabled(false);
        });
        Row("矢印押下", 270, [this](std::int32_t pTop) {
            auto* held = Slider(kControlLeft, pTop, 4500, 270, false, true, 800);
            held->SetSmallChange(0);  // held for the picture without moving
            const QPointF arrow(held->width() - 3, held->height() / 2.0);
            QMouseEvent press(QEvent::MouseButtonPress, arrow, held->mapToGlobal(arrow), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QApplication::sendEvent(held, &press);
        });
        // Vertical sliders to the right of the horizontal ones.
        const std::int32_t left = kControlLeft + 9000 + 2 * kColumnGap;
        Slider(left, verticalTop, 270, 2100, true, false, 250);
        Slider(left + 270 + kColumnGap, verticalTop, 270, 2100, true, true, 700)->SetPointerSize(0.5);
        c_Top = std::max(c_Top, verticalTop + 2100 + kRowGap);
    }

    double c_Rate;
    std::int32_t c_Top = kMargin / 2;
    std::int32_t c_Right = 0;
};

int Verify(const QString& pFile) {
    const QImage image(pFile);
    if (image.isNull() || image.width() < kMinShotSide || image.height() < kMinShotSide) {
        std::fprintf(stderr, "%s: missing or too small\n", pFile.toLocal8Bit().constData());
        return 1;
    }
    std::set<QRgb> colors;
    for (int y = 0; y < image.height() && colors.size() < kMinDistinctColors; y += 2) {
        for (int x = 0; x < image.width(); x += 2) colors.insert(image.pixel(x, y));
    }
    if (colors.size() < kMinDistinctColors) {
        std::fprintf(stderr, "%s: blank (%zu colours)\n", pFile.toLocal8Bit().constData(), colors.size());
        return 1;
    }
    return 0;
}

void Usage() { std::fprintf(stderr, "usage: sonivate-gallery [--rate R] [--grab FILE.png] | --verify FILE.png\n"); }

}  // namespace
}  // namespace sonivate

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    double rate = 1.0;
    QString grab;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--rate" && hasValue) {
            bool ok = false;
            rate = args[++i].toDouble(&ok);
            if (!ok || rate < sonivate::kMinRate || rate > sonivate::kMaxRate) {
                std::fprintf(stderr, "sonivate-gallery: --rate wants a number from 0.7 to 3.0\n");
                return 2;
            }
        } else if (args[i] == "--grab" && hasValue) {
            grab = args[++i];
        } else if (args[i] == "--verify" && hasValue) {
            return sonivate::Verify(args[++i]);
        } else {
            sonivate::Usage();
            return 2;
        }
    }
    sonivate::RegisterFontSubstitutes();
    sonivate::SelectUIFont();
    sonivate::SetTwipsPerPixel(sonivate::ScreenTwipsPerPixel());

    sonivate::Gallery gallery(rate);
    gallery.show();
    gallery.setFocus();  // no text box shows a focus frame in the picture
    if (grab.isEmpty()) return QApplication::exec();
    for (int i = 0; i < sonivate::kSettlePasses; ++i) QApplication::processEvents();
    if (!gallery.grab().save(grab)) {
        std::fprintf(stderr, "sonivate-gallery: cannot write %s\n", grab.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
