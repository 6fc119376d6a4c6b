#include "gui/window_language.h"

#include <memory>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "common/error_trap.h"
#include "common/formatting.h"
#include "common/paths.h"
#include "common/settings_store.h"
#include "gui/frm_main.h"

namespace sonivate {
namespace {

// The English translation, compiled from translations/sonivate_en.ts and
// embedded at build time.
constexpr const char* kWindowTranslation = ":/i18n/sonivate_en.qm";
// Qt's own Japanese texts (its dialogs and buttons), from qt6-translations-l10n.
constexpr const char* kQtJapanese = "qtbase_ja";
// The locale name prefix of Japanese ("ja", "ja-JP", "ja_JP").
constexpr const char* kJapanesePrefix = "ja";

// The translators installed now; replaced by a later InstallLanguage.
std::unique_ptr<QTranslator>& Installed() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

}  // namespace

std::string LanguageSetting() {
    std::string setting = kLanguageAuto;
    Trap([&] { setting = AsciiLower(LoadSetting(kKeyLanguage, kLanguageAuto)); });
    if (setting != kLanguageJapanese && setting != kLanguageEnglish) setting = kLanguageAuto;
    return setting;
}

void StoreLanguageSetting(const std::string& pSetting) {
    Trap([&] { StoreSetting(kKeyLanguage, pSetting); });
}

UiLanguage LanguageOfSetting(const std::string& pSetting, const QStringList& pUiLanguages) {
    if (pSetting == kLanguageJapanese) return UiLanguage::Japanese;
    if (pSetting == kLanguageEnglish) return UiLanguage::English;
    if (!pUiLanguages.isEmpty() && pUiLanguages.first().startsWith(QLatin1String(kJapanesePrefix), Qt::CaseInsensitive))
        return UiLanguage::Japanese;
    return UiLanguage::English;
}

UiLanguage DecideLanguage(QCoreApplication& pApplication, const std::string& pAppFolder) {
    Trap([&] {
        SetAppTitle(FrmMain::kAppTitle);
        SetSettingsFolder(SetTrailingSeparator(pAppFolder.empty() ? AppFolder() : pAppFolder, 0));
        DecideIniFilePath();
    });
    const UiLanguage language = LanguageOfSetting(LanguageSetting(), QLocale::system().uiLanguages());
    InstallLanguage(pApplication, language);
    return language;
}

bool InstallLanguage(QCoreApplication& pApplication, UiLanguage pLanguage) {
    std::unique_ptr<QTranslator>& installed = Installed();
    if (installed) {
        QCoreApplication::removeTranslator(installed.get());
        installed.reset();
    }
    SetWindowLanguage(pLanguage);
    auto translator = std::make_unique<QTranslator>();
    const bool loaded =
        pLanguage == UiLanguage::English
            ? translator->load(QString::fromLatin1(kWindowTranslation))
            : translator->load(QString::fromLatin1(kQtJapanese), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!loaded || !pApplication.installTranslator(translator.get())) return false;
    installed = std::move(translator);
    return true;
}

MessageLanguage WindowMessageLanguage() {
    return WindowLanguage() == UiLanguage::Japanese ? MessageLanguage::Japanese : MessageLanguage::English;
}

report::ReportLanguage WindowReportLanguage() {
    return WindowLanguage() == UiLanguage::Japanese ? report::ReportLanguage::Japanese
                                                    : report::ReportLanguage::English;
}

}  // namespace sonivate
