#include "platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace sonivate::platform {
namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD
constexpr char kUnmappable = '?';

// One converter per direction and thread: iconv_t carries shift state and
// must not be shared between threads.
class Converter {
public:
    Converter(const char* pTo, const char* pFrom) : mCd(iconv_open(pTo, pFrom)) {
        if (mCd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
    }
    ~Converter() { iconv_close(mCd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much as possible; on an invalid or unmappable sequence it
    // calls pOnBad(out), skips pSkip(rest) bytes and goes on.
    template <class OnBad, class Skip>
    std::string Run(std::string_view pIn, OnBad pOnBad, Skip pSkip) {
        iconv(mCd, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        out.reserve(pIn.size() * 2 + 4);
        char* in = const_cast<char*>(pIn.data());
        size_t inLeft = pIn.size();
        char buffer[256];
        while (inLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof(buffer);
            const size_t rc = iconv(mCd, &in, &inLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (rc == static_cast<size_t>(-1)) {
                if (errno == E2BIG) continue;
                pOnBad(out);
                const size_t skip = std::min(inLeft, pSkip(std::string_view(in, inLeft)));
                in += skip;
                inLeft -= skip;
            }
        }
        return out;
    }

private:
    iconv_t mCd;
};

size_t Utf8SequenceLength(std::string_view pRest) {
    const auto lead = static_cast<unsigned char>(pRest.front());
    size_t n = 1;
    if (lead >= 0xF0)
        n = 4;
    else if (lead >= 0xE0)
        n = 3;
    else if (lead >= 0xC0)
        n = 2;
    // Skip only the bytes that continue the sequence, so one bad byte does
    // not swallow a good character behind it.
    size_t i = 1;
    while (i < n && i < pRest.size() && (static_cast<unsigned char>(pRest[i]) & 0xC0) == 0x80) ++i;
    return i;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view pBytes) {
    thread_local Converter converter("UTF-8", "CP932");
    return converter.Run(
        pBytes, [](std::string& pOut) { pOut.append(kReplacementUtf8); }, [](std::string_view) { return size_t{1}; });
}

std::string Utf8ToCp932(std::string_view pText) {
    thread_local Converter converter("CP932", "UTF-8");
    return converter.Run(
        pText, [](std::string& pOut) { pOut.push_back(kUnmappable); }, Utf8SequenceLength);
}

}  // namespace sonivate::platform
