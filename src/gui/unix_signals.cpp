#include "gui/unix_signals.h"

#include <array>
#include <cerrno>
#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace sonivate {
namespace {

// [0] is written by the handler, [1] read by the event loop.
std::array<int, 2> g_SignalSockets = {-1, -1};
constexpr std::array<int, 2> kWatchedSignals = {SIGINT, SIGTERM};

extern "C" void OnSignal(int pSignal) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(pSignal);
    [[maybe_unused]] const ssize_t written = ::write(g_SignalSockets[0], &byte, 1);
    errno = saved;
}

}  // namespace

UnixSignalWatcher::UnixSignalWatcher(QObject* pParent) : QObject(pParent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_SignalSockets.data()) != 0) return;
    c_Notifier = new QSocketNotifier(g_SignalSockets[1], QSocketNotifier::Read, this);
    connect(c_Notifier, &QSocketNotifier::activated, this, &UnixSignalWatcher::ReadPending);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kWatchedSignals) ::sigaction(number, &action, nullptr);
}

UnixSignalWatcher::~UnixSignalWatcher() {
    for (const int number : kWatchedSignals) std::signal(number, SIG_DFL);
    for (int& fd : g_SignalSockets) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void UnixSignalWatcher::ReadPending() {
    unsigned char byte = 0;
    while (::read(g_SignalSockets[1], &byte, 1) == 1) {
        ++c_Count;
        emit Received(byte, c_Count);
    }
}

}  // namespace sonivate
