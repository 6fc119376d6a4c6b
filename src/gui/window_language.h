#pragma once
// The window's language: the setting `Language` (auto, ja, en), what it
// comes to on this system, and the translations installed for it at
// start-up, before any window is made. auto is Japanese when the first
// language of the locale's interface languages (LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG, as Qt reads them) is Japanese, else English. A change
// from the list's menu is stored at once and takes effect at the next start.

#include <string>

#include <QStringList>

#include "app/row_reason.h"
#include "report/batch_report.h"
#include "uikit/ui_language.h"

class QCoreApplication;

namespace sonivate {

// The settings key and its values.
inline constexpr const char* kKeyLanguage = "Language";
inline constexpr const char* kLanguageAuto = "auto";
inline constexpr const char* kLanguageJapanese = "ja";
inline constexpr const char* kLanguageEnglish = "en";

// The stored setting, one of the three values (an unknown value reads as auto).
std::string LanguageSetting();
void StoreLanguageSetting(const std::string& pSetting);

// What pSetting comes to with the locale's interface languages pUiLanguages
// (QLocale::uiLanguages(), the first the preferred one).
UiLanguage LanguageOfSetting(const std::string& pSetting, const QStringList& pUiLanguages);

// Reads the setting (the settings store must be set up: DecideLanguage does
// it for pAppFolder, "" the executable's folder), decides the language with
// the system locale and installs it.
UiLanguage DecideLanguage(QCoreApplication& pApplication, const std::string& pAppFolder);

// Installs pLanguage: for English the window's English translation, for
// Japanese Qt's own Japanese texts (qtbase_ja, when installed). Replaces
// what an earlier call installed. False when a translation could not be
// loaded (the texts then stay Japanese, or Qt's own English).
bool InstallLanguage(QCoreApplication& pApplication, UiLanguage pLanguage);

// The core's texts and the report in the window's language.
MessageLanguage WindowMessageLanguage();
report::ReportLanguage WindowReportLanguage();

}  // namespace sonivate
