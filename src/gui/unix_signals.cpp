#include "gui/unix_signals.h"

#include <QSocketNotifier>

namespace sonivate {

UnixSignalWatcher::UnixSignalWatcher(QObject* pParent) : QObject(pParent) {
    const int notifier = platform::StopSignalNotifier();
    if (notifier < 0) return;
    c_Notifier = new QSocketNotifier(notifier, QSocketNotifier::Read, this);
    connect(c_Notifier, &QSocketNotifier::activated, this, &UnixSignalWatcher::ReadPending);
}

// The notifier goes (as a child) before the pipe it watches is closed.
UnixSignalWatcher::~UnixSignalWatcher() { delete c_Notifier; }

void UnixSignalWatcher::ReadPending() {
    for (const int number : platform::TakeStopSignals()) {
        ++c_Count;
        emit Received(number, c_Count);
    }
}

}  // namespace sonivate
