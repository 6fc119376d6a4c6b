#pragma once
// Text that comes from outside (file and marker names, paths, host and
// profile names, reason texts) as every face of the report shows it: data,
// never markup, never a line break that moves what follows, never a formula.
// Shared with the command line, which writes the same CSV cells.

#include <string>
#include <string_view>

namespace sonivate::report {

// Where the text is going.
//   Shown: PDF, HTML and anything a person reads. Every byte that is not
//     part of valid UTF-8 (a CP932 name from a Windows share) becomes
//     U+FFFD; control characters are written as escapes: "\t", "\r", "\n",
//     "\xNN" for the other C0 codes and DEL, "\uNNNN" for C1 codes, the line
//     and paragraph separators and the bidirectional overrides (which would
//     turn the text around). Backslashes stay as they are (Windows paths
//     stay readable), so the escapes are for reading, not for decoding.
//   Csv: a file read by programs, so the bytes stay recoverable: each
//     invalid byte is written as "\xNN"; tab, CR and LF stay themselves (the
//     cell is quoted around them); the other controls are escaped as above.
enum class TextUse { Shown, Csv };

// pText as valid UTF-8 without active control characters; valid text
// without controls comes back unchanged.
std::string ShownText(std::string_view pText, TextUse pUse = TextUse::Shown);

// One CSV text cell, ready to stand between the commas: ShownText(Csv),
// then a cell that begins with '=', '+', '-', '@', tab or CR gets a leading
// "'" so that a spreadsheet takes it as text rather than a formula (a name
// "=1+1" is shown as "=1+1", not as 2), then RFC 4180 quoting (a cell with
// a comma, a quote or a line break is put in quotes, its quotes doubled).
// Only for text: figures are written as plain numbers so that "-23.00"
// stays a number.
std::string CsvTextCell(std::string_view pText);

}  // namespace sonivate::report
