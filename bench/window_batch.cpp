// Times one batch run in the real window, offscreen: the files of a folder
// are listed as the command line lists them, 開始 is pressed, and the time
// until the run has ended is printed (milliseconds), so that it can be set
// beside `sonivate-cli run --jobs 1` on the same files.
//
//   sonivate-window-batch [--write OUTDIR] [--from MARKER] [--to MARKER] FOLDER
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>

#include "controls/widgets/uc_buttons.h"
#include "controls/widgets/uc_check.h"
#include "controls/widgets/uc_list_view.h"
#include "controls/widgets/uc_path_text.h"
#include "gui/frm_main.h"
#include "uikit/fonts.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // A scratch application folder and per-user store: the operator's own settings stay untouched.
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    ::setenv("XDG_CONFIG_HOME", QDir(scratch.path()).filePath("config").toLocal8Bit().constData(), 1);
    sonivate::RegisterFontSubstitutes();

    std::string folder, output, from, to;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--write" && i + 1 < argc)
            output = argv[++i];
        else if (a == "--from" && i + 1 < argc)
            from = argv[++i];
        else if (a == "--to" && i + 1 < argc)
            to = argv[++i];
        else
            folder = a;
    }
    if (folder.empty()) {
        std::fputs("usage: sonivate-window-batch [--write OUTDIR] [--from MARKER] [--to MARKER] FOLDER\n", stderr);
        return 2;
    }
    sonivate::FrmMainStartup startup;
    startup.AppFolder = scratch.path().toStdString();
    startup.Arguments = {folder};
    startup.ChangeCurrentFolder = false;
    sonivate::FrmMain window(startup);
    // The range is fixed when a row is made: chosen before Load lists the folder.
    if (!from.empty()) window.ComboFromTo(0)->setCurrentText(QString::fromStdString(from));
    if (!to.empty()) window.ComboFromTo(1)->setCurrentText(QString::fromStdString(to));
    if (!output.empty()) {
        window.CheckWavOutput()->SetValue(1);
        window.TextSoundPath()->SetText(output);
    }
    window.Load();
    const std::int32_t rows = window.LV()->ItemCount();

    bool ended = false;
    QObject::connect(&window, &sonivate::FrmMain::RunEnded, [&] { ended = true; });
    const auto start = std::chrono::steady_clock::now();
    std::int16_t button = sonivate::FrmMain::kButtonStart;
    emit window.CtrButtons()->ButtonClicked(button);
    while (!ended) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d rows, %lld ms\n", rows, static_cast<long long>(ms));
    window.close();
    return 0;
}
