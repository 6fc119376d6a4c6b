// The desktop program: one window over the file list.
#include <QApplication>
#include <QIcon>
#include <QWidget>

#include "gui/support/fonts.h"
#include "gui/unix_signals.h"
#include "platform/single_instance.h"

namespace {
constexpr const char* kAppTitle = "sonivate";
}

int main(int argc, char** argv) {
    // A second start ends at once and silently; the first is not signalled.
    sonivate::platform::SingleInstanceLock instance;
    if (!instance.Acquire(kAppTitle)) return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(kAppTitle);
    QApplication::setOrganizationName("kovantel");
    QGuiApplication::setDesktopFileName(kAppTitle);
    QApplication::setWindowIcon(QIcon(":/sonivate/sonivate.svg"));
    sonivate::RegisterFontSubstitutes();

    QWidget window;
    window.setWindowTitle(kAppTitle);
    sonivate::UnixSignalWatcher signals_watcher;
    QObject::connect(&signals_watcher, &sonivate::UnixSignalWatcher::Received, &window, [&window] { window.close(); });
    window.show();
    return QApplication::exec();
}
