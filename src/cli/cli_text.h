#pragma once
// What the commands share when they talk to a person: texts in the locale's
// language and file names that cannot break a line or a terminal.

#include <nlohmann/json.hpp>
#include <string>

#include "app/row_reason.h"

namespace sonivate::cli {

// The language of messages on stderr (see LanguageOfLocale).
MessageLanguage Language();

// pText with control characters (below 0x20, and 0x7F) written as \xNN, so
// that a file name with a line break or an escape sequence stays one cell.
std::string Printable(const std::string& pText);

// The reason's text in the locale's language.
const char* Say(RowReason pReason);

// One line on stderr: "sonivate-cli: <path>: <reason text>".
void ReportPath(const std::string& pPath, RowReason pReason);

// JSON text of pValue, indented by pIndent (-1: one line); a string that
// is not valid UTF-8 is written with U+FFFD for each invalid byte.
std::string DumpJson(const nlohmann::ordered_json& pValue, int pIndent);
// pObject[pKey] = pPath. File names are bytes: a path that is not valid
// UTF-8 also gets pKey + "_bytes", the base64 of its exact bytes, right
// after it, so that a script can still reach the file.
void PutPath(nlohmann::ordered_json& pObject, const std::string& pKey, const std::string& pPath);
bool IsValidUtf8(const std::string& pText);

// The reason a path cannot be measured or examined before any reading:
// missing, a folder or other non-regular file, or unreadable. None when it
// is a regular file that can be opened.
RowReason PathRefusal(const std::string& pPath);

}  // namespace sonivate::cli
