#pragma once
// What the program does around its one window: a later start hands its
// arguments to the first one over a local socket, the arguments are taken
// as the bytes the shell gave (file names need not be UTF-8), and signals
// end the window.

#include <string>
#include <vector>

namespace sonivate {

class FrmMain;
class UnixSignalWatcher;

// The socket a first start listens on: sonivate.socket in the user's private
// runtime folder (platform::PrivateRuntimeFolder); "" when there is none, and
// then a first start takes no hand-overs and a second one hands nothing over.
std::string SecondStartSocketPath();

// The message of a later start: its current folder (for relative paths) and
// its arguments, each as length-prefixed bytes after a fixed head.
std::string EncodeHandOver(const std::string& pFolder, const std::vector<std::string>& pArguments);
// False when pData is no such message (the outputs are then unspecified).
bool ReadHandOver(const std::string& pData, std::string& pFolder, std::vector<std::string>& pArguments);

// Sends the message to the first start and waits until it is written, at
// most pTimeoutMs. False when no first start answers.
bool HandOverToFirst(const std::string& pSocketPath, const std::string& pFolder,
                     const std::vector<std::string>& pArguments, int pTimeoutMs);

// argv[1..argc) as bytes. Call after QApplication has taken its own options
// out of argv: QApplication::arguments() would decode the rest as UTF-8 and
// lose names that are not.
std::vector<std::string> RawArguments(int pArgc, char** pArgv);

// SIGINT and SIGTERM end pWindow as its close button would, also while a
// message box of the start-up is shown.
void EndWindowOnSignals(UnixSignalWatcher& pWatcher, FrmMain& pWindow);

}  // namespace sonivate
