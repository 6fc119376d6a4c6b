#pragma once
// The language of the window's texts. Japanese is the language the texts
// are written in; English comes from Qt's translation of them, installed by
// the program at start-up before any window is made. The choice is
// process-wide and made once; what the core says (reasons, the report's
// words) follows it through MessageLanguageOf and ReportLanguageOf.

#include <string>

#include <QString>

namespace sonivate {

enum class UiLanguage { Japanese, English };

// The language the window's texts are shown in (Japanese until set).
UiLanguage WindowLanguage();
void SetWindowLanguage(UiLanguage pLanguage);

// pSource (UTF-8, Japanese) as the installed translation gives it in
// pContext; pSource itself when there is none.
QString TrQ(const char* pContext, const char* pSource);
std::string TrText(const char* pContext, const char* pSource);

}  // namespace sonivate
