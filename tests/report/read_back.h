#pragma once
// Reports read back as a reader sees them: files as bytes, the PDF as text
// through pdftotext and its page count through pdfinfo.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

inline size_t Count(const std::string& pText, const std::string& pWhat) {
    size_t count = 0;
    for (size_t at = pText.find(pWhat); at != std::string::npos; at = pText.find(pWhat, at + 1)) ++count;
    return count;
}

// The fields of one CSV record (RFC 4180: quoted fields with doubled
// quotes), unquoted.
inline std::vector<std::string> CsvFields(const std::string& pLine) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < pLine.size(); ++i) {
        const char c = pLine[i];
        if (c == '"' && quoted && i + 1 < pLine.size() && pLine[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// The CSV's records, split at the CRLF that ends each (a quoted line break
// stays inside its record).
inline std::vector<std::string> CsvRecords(const std::string& pCsv) {
    std::vector<std::string> records;
    bool quoted = false;
    size_t start = 0;
    for (size_t i = 0; i < pCsv.size(); ++i) {
        if (pCsv[i] == '"') quoted = !quoted;
        if (!quoted && pCsv.compare(i, 2, "\r\n") == 0) {
            records.push_back(pCsv.substr(start, i - start));
            start = i + 2;
            ++i;
        }
    }
    return records;
}

inline int PdfPages(const std::string& pPath) {
    const std::string info = Shell("pdfinfo '" + pPath + "'");
    const size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

}  // namespace sonivate::test
