#include "gui/second_start.h"

#include <QByteArray>
#include <QLocalSocket>
#include <QString>

#include "gui/frm_main.h"
#include "gui/unix_signals.h"
#include "platform/single_instance.h"

namespace sonivate {
namespace {

constexpr const char* kSocketName = "/sonivate.socket";
// The head of a message; the number is the format's version.
constexpr const char* kHandOverHead = "sonivate-hand-over 1\n";
constexpr char kLengthEnd = ':';

}  // namespace

std::string SecondStartSocketPath() {
    // A socket under a shared /tmp could be taken first by another user, who
    // would then receive the files a second start hands over (or hand over
    // names of their own): only a folder no one else may enter is used.
    const std::string folder = platform::PrivateRuntimeFolder(FrmMain::kAppTitle);
    if (folder.empty()) return "";
    return folder + kSocketName;
}

std::string EncodeHandOver(const std::string& pFolder, const std::vector<std::string>& pArguments) {
    std::string data = kHandOverHead;
    const auto put = [&](const std::string& pItem) {
        data += std::to_string(pItem.size());
        data += kLengthEnd;
        data += pItem;
    };
    put(pFolder);
    for (const std::string& argument : pArguments) put(argument);
    return data;
}

bool ReadHandOver(const std::string& pData, std::string& pFolder, std::vector<std::string>& pArguments) {
    const std::string head = kHandOverHead;
    if (pData.compare(0, head.size(), head) != 0) return false;
    std::vector<std::string> items;
    std::size_t at = head.size();
    while (at < pData.size()) {
        const std::size_t end = pData.find(kLengthEnd, at);
        if (end == std::string::npos || end == at) return false;
        std::size_t length = 0;
        for (std::size_t k = at; k < end; ++k) {
            if (pData[k] < '0' || pData[k] > '9') return false;
            length = length * 10 + static_cast<std::size_t>(pData[k] - '0');
            if (length > pData.size()) return false;
        }
        if (length > pData.size() - end - 1) return false;
        items.push_back(pData.substr(end + 1, length));
        at = end + 1 + length;
    }
    if (items.empty()) return false;
    pFolder = items.front();
    pArguments.assign(items.begin() + 1, items.end());
    return true;
}

bool HandOverToFirst(const std::string& pSocketPath, const std::string& pFolder,
                     const std::vector<std::string>& pArguments, int pTimeoutMs) {
    if (pSocketPath.empty()) return false;
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(pSocketPath));
    if (!socket.waitForConnected(pTimeoutMs)) return false;
    const std::string data = EncodeHandOver(pFolder, pArguments);
    socket.write(data.data(), static_cast<qint64>(data.size()));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(pTimeoutMs)) return false;
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(pTimeoutMs);
    return true;
}

std::vector<std::string> RawArguments(int pArgc, char** pArgv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < pArgc; ++i)
        if (pArgv[i] != nullptr) arguments.emplace_back(pArgv[i]);
    return arguments;
}

void EndWindowOnSignals(UnixSignalWatcher& pWatcher, FrmMain& pWindow) {
    QObject::connect(&pWatcher, &UnixSignalWatcher::Received, &pWindow, [&pWindow] { pWindow.EndBySignal(); });
}

}  // namespace sonivate
