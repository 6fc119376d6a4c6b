#include "cli/cli_text.h"

#include "common/formatting.h"

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

namespace {

// Length of the valid UTF-8 sequence at pText[pAt], 0 when there is none.
size_t Utf8SequenceAt(const std::string& pText, size_t pAt) {
    const auto byte = [&](size_t pIndex) { return static_cast<unsigned char>(pText[pIndex]); };
    const unsigned char lead = byte(pAt);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no encoded surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (pAt + length > pText.size()) return 0;
    if (byte(pAt + 1) < low || byte(pAt + 1) > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if ((byte(pAt + k) & 0xC0) != 0x80) return 0;
    return length;
}

}  // namespace

bool IsValidUtf8(const std::string& pText) {
    for (size_t i = 0; i < pText.size();) {
        const size_t length = Utf8SequenceAt(pText, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

void PutPath(nlohmann::ordered_json& pObject, const std::string& pKey, const std::string& pPath) {
    pObject[pKey] = pPath;
    if (!IsValidUtf8(pPath)) pObject[pKey + "_bytes"] = Base64(pPath);
}

std::string DumpJson(const nlohmann::ordered_json& pValue, int pIndent) {
    return pValue.dump(pIndent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
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
        platform::CloseChecked(fd);
        return RowReason::None;
    }
    return ReasonOfOpenError(error);
}

}  // namespace sonivate::cli
