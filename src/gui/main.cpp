// The desktop program: one window over the file list.
//
//   sonivate [AltFont=n] [SizeRate=x] [FILE.wav | FOLDER]...
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <QApplication>
#include <QIcon>
#include <QStringList>

#include "gui/frm_main.h"
#include "uikit/fonts.h"
#include "uikit/message_box.h"
#include "gui/unix_signals.h"
#include "platform/single_instance.h"
#include "platform/stop_signals.h"

namespace {

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
    // A second start ends at once and silently; the first is not signalled.
    sonivate::platform::SingleInstanceLock instance;
    if (!instance.Acquire(sonivate::FrmMain::kAppTitle)) return 0;

    Application app(argc, argv);
    QApplication::setApplicationName(sonivate::FrmMain::kAppTitle);
    QApplication::setOrganizationName("kovantel");
    QGuiApplication::setDesktopFileName(sonivate::FrmMain::kAppTitle);
    QApplication::setWindowIcon(QIcon(":/sonivate/sonivate.svg"));
    sonivate::RegisterFontSubstitutes();

    // Qt has taken its own options out of the arguments by now.
    sonivate::FrmMainStartup startup;
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) startup.Arguments.push_back(arguments[i].toStdString());

    sonivate::FrmMain window(startup);
    sonivate::UnixSignalWatcher signals_watcher;
    QObject::connect(&signals_watcher, &sonivate::UnixSignalWatcher::Received, &window, [&window] { window.close(); });
    window.Load();
    return QApplication::exec();
}
