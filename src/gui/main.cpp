// The desktop program: one window over the file list.
//
//   sonivate [AltFont=n] [SizeRate=x] [FILE.wav | FOLDER]...
#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>

#include "common/paths.h"
#include "gui/frm_main.h"
#include "gui/second_start.h"
#include "uikit/fonts.h"
#include "uikit/message_box.h"
#include "gui/unix_signals.h"
#include "gui/window_language.h"
#include "platform/single_instance.h"
#include "platform/stop_signals.h"

namespace {

// How long a second start waits for the first one to take its arguments.
constexpr int kHandOverTimeoutMs = 3000;

constexpr const char* kUsage =
    "usage: sonivate [AltFont=n] [SizeRate=x] [FILE.wav | FOLDER]...\n"
    "Lists the WAV files and folders given, measures their loudness when 開始 is pressed\n"
    "and (with wav出力 on) writes copies adjusted to the target.\n"
    "  AltFont=1    use the メイリオ face for the user interface\n"
    "  SizeRate=x   layout scale, 0.7 to 3.0 (default: the stored one, else 1.0)\n";

// The last line of defence: an exception thrown by a handler never unwinds
// through the event loop; it is reported and the loop goes on.
class Application final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* pReceiver, QEvent* pEvent) override {
        try {
            return QApplication::notify(pReceiver, pEvent);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "sonivate: %s\n", error.what());
        } catch (...) {
            std::fprintf(stderr, "sonivate: unexpected error\n");
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    sonivate::platform::IgnoreFileSizeLimitSignal();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("sonivate " SONIVATE_VERSION);
            return 0;
        }
    }
    // A second start hands its arguments to the first (which lists them and
    // comes to the front) and ends at once.
    sonivate::platform::SingleInstanceLock instance;
    if (!instance.Acquire(sonivate::FrmMain::kAppTitle)) {
        QCoreApplication core(argc, argv);
        const std::vector<std::string> arguments = sonivate::RawArguments(argc, argv);
        std::string folder = sonivate::AbsolutePath(".");
        sonivate::HandOverToFirst(sonivate::SecondStartSocketPath(), folder, arguments, kHandOverTimeoutMs);
        return 0;
    }

    Application app(argc, argv);
    // Numbers never follow a decimal-comma locale: every text the window
    // writes or reads uses points.
    std::setlocale(LC_NUMERIC, "C");
    // The window's language (the setting Language, else the locale's), and
    // Qt's own dialogs in the same one, before any window is made.
    sonivate::DecideLanguage(app, "");
    QApplication::setApplicationName(sonivate::FrmMain::kAppTitle);
    QApplication::setOrganizationName("kovantel");
    QGuiApplication::setDesktopFileName(sonivate::FrmMain::kAppTitle);
    QApplication::setWindowIcon(QIcon(":/sonivate/sonivate.svg"));
    sonivate::RegisterFontSubstitutes();

    // Qt has taken its own options out of argv by now; the rest are the
    // shell's bytes (a file name need not be UTF-8).
    sonivate::FrmMainStartup startup;
    startup.Arguments = sonivate::RawArguments(argc, argv);

    sonivate::FrmMain window(startup);
    sonivate::UnixSignalWatcher signals_watcher;
    sonivate::EndWindowOnSignals(signals_watcher, window);
    window.ListenForSecondStarts(sonivate::SecondStartSocketPath());
    window.Load();
    // Ended by a signal while the start-up showed a box: nothing left to run.
    if (window.Ending() && !window.isVisible()) return 0;
    return QApplication::exec();
}
