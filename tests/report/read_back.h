#pragma once
// Reports read back as a reader sees them: files as bytes, the PDF as text
// through pdftotext and its page count through pdfinfo.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace sonivate::test {

inline std::string Slurp(const std::string& pPath) {
    std::ifstream in(pPath, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline std::string Shell(const std::string& pCommand) {
    std::string out;
    if (std::FILE* pipe = ::popen(pCommand.c_str(), "r")) {
        char buffer[4096];
        size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, got);
        ::pclose(pipe);
    }
    return out;
}

// pdftotext breaks lines where the layout does; the figures and titles are
// looked for with line breaks taken as spaces.
inline std::string PdfText(const std::string& pPath) {
    std::string text = Shell("pdftotext -enc UTF-8 -layout '" + pPath + "' -");
    for (char& c : text)
        if (c == '\n') c = ' ';
    return text;
}

inline int PdfPages(const std::string& pPath) {
    const std::string info = Shell("pdfinfo '" + pPath + "'");
    const size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

}  // namespace sonivate::test
