#pragma once
// SIGINT and SIGTERM turned into a Qt signal on the window's thread, so that
// Ctrl-C in a terminal or a desktop's log-out closes the window the way the
// user would (settings saved, a run stopped first) instead of killing it.
// The signals are caught by the platform's one stop mechanism in its
// notifying kind; this object watches its pipe from the event loop.

#include <memory>

#include <QObject>

#include "platform/stop_signals.h"

class QSocketNotifier;

namespace sonivate {

class UnixSignalWatcher : public QObject {
    Q_OBJECT

public:
    // Installs the handlers for SIGINT and SIGTERM. One watcher per process.
    explicit UnixSignalWatcher(QObject* pParent = nullptr);
    ~UnixSignalWatcher() override;

signals:
    // pSignal is SIGINT or SIGTERM; Count is how many arrived so far, so that
    // a second Ctrl-C can be treated as "now".
    void Received(int pSignal, int pCount);

private:
    void ReadPending();

    platform::StopOnSignals c_Signals{platform::StopSignalMode::Notify};
    QSocketNotifier* c_Notifier = nullptr;
    int c_Count = 0;
};

}  // namespace sonivate
