#include "cli/cli_text.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/pending_file.h"

namespace sonivate::cli {

MessageLanguage Language() {
    static const MessageLanguage language = LanguageOfLocale();
    return language;
}

std::string Printable(const std::string& pText) {
    constexpr unsigned char kFirstPrintable = 0x20;
    constexpr unsigned char kDelete = 0x7F;
    std::string out;
    for (const char c : pText) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < kFirstPrintable || byte == kDelete) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

const char* Say(RowReason pReason) { return ReasonText(pReason, Language()); }

void ReportPath(const std::string& pPath, RowReason pReason) {
    std::fprintf(stderr, "sonivate-cli: %s: %s\n", Printable(pPath).c_str(), Say(pReason));
}

RowReason PathRefusal(const std::string& pPath) {
    switch (platform::KindOfPath(pPath)) {
        case platform::PathKind::Missing:
            return RowReason::Missing;
        case platform::PathKind::Folder:
        case platform::PathKind::Other:
            return RowReason::NotRegular;
        default:
            break;
    }
    int error = 0;
    const int fd = platform::OpenRegularForReading(pPath, false, error);
    if (fd >= 0) {
        ::close(fd);
        return RowReason::None;
    }
    switch (error) {
        case EACCES:
        case EPERM:
            return RowReason::Unreadable;
        case ENOENT:
            return RowReason::Missing;
        case EISDIR:
        case ENXIO:
            return RowReason::NotRegular;
        default:
            return RowReason::CannotOpen;
    }
}

}  // namespace sonivate::cli
