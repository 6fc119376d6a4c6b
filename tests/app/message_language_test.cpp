// The language of the command line's messages follows the locale's first
// interface language as Qt reads it for the window: LANGUAGE leads unless
// it is empty, under the plain C locale too.
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "app/row_reason.h"

namespace sonivate {
namespace {

constexpr const char* kVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};

// Sets the four variables for one case (absent: unset) and restores them after.
class LocaleVariables {
public:
    LocaleVariables() {
        for (const char* name : kVariables) {
            const char* value = std::getenv(name);
            mSaved[name] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
        }
    }
    ~LocaleVariables() {
        for (const auto& [name, value] : mSaved) Put(name, value);
    }
    LocaleVariables(const LocaleVariables&) = delete;
    LocaleVariables& operator=(const LocaleVariables&) = delete;

    MessageLanguage With(std::map<std::string, std::string> pValues) {
        for (const char* name : kVariables) {
            const auto found = pValues.find(name);
            Put(name, found == pValues.end() ? std::nullopt : std::optional<std::string>(found->second));
        }
        return LanguageOfLocale();
    }

private:
    static void Put(const std::string& pName, const std::optional<std::string>& pValue) {
        if (pValue)
            setenv(pName.c_str(), pValue->c_str(), 1);
        else
            unsetenv(pName.c_str());
    }
    std::map<std::string, std::optional<std::string>> mSaved;
};

TEST(MessageLanguage, LanguageLeadsAsForTheWindowAlsoUnderPlainC) {
    constexpr MessageLanguage ja = MessageLanguage::Japanese;
    constexpr MessageLanguage en = MessageLanguage::English;
    LocaleVariables env;
    // LANGUAGE's first entry decides over LANG, both ways.
    EXPECT_EQ(env.With({{"LANGUAGE", "ja:en"}, {"LANG", "en_US.UTF-8"}}), ja);
    EXPECT_EQ(env.With({{"LANGUAGE", "en_GB:ja"}, {"LANG", "ja_JP.UTF-8"}}), en);
    // An empty entry stands for the locale (Qt's reading), skipped when that
    // is C; an empty LANGUAGE leaves it to the locale.
    EXPECT_EQ(env.With({{"LANGUAGE", ":ja"}, {"LANG", "de_DE.UTF-8"}}), en);
    EXPECT_EQ(env.With({{"LANGUAGE", ":en"}, {"LANG", "ja_JP.UTF-8"}}), ja);
    EXPECT_EQ(env.With({{"LANGUAGE", ":ja"}, {"LC_ALL", "C"}}), ja);
    EXPECT_EQ(env.With({{"LANGUAGE", ""}, {"LANG", "ja_JP.UTF-8"}}), ja);
    // The C locale takes LANGUAGE as Qt does, however it is named or unset:
    // LANGUAGE=ja LC_ALL=C gives the window and the command line Japanese.
    EXPECT_EQ(env.With({{"LANGUAGE", "ja"}, {"LC_ALL", "C"}, {"LANG", "en_US.UTF-8"}}), ja);
    EXPECT_EQ(env.With({{"LANGUAGE", "en"}, {"LC_ALL", "C"}, {"LANG", "ja_JP.UTF-8"}}), en);
    EXPECT_EQ(env.With({{"LANGUAGE", "ja"}, {"LANG", "POSIX"}}), ja);
    EXPECT_EQ(env.With({{"LANGUAGE", "ja"}}), ja);
    // An empty LANGUAGE under C leaves it to the locale, which is English.
    EXPECT_EQ(env.With({{"LANGUAGE", ""}, {"LC_ALL", "C"}}), en);
    EXPECT_EQ(env.With({{"LANGUAGE", "::"}, {"LC_ALL", "C"}}), en);
    // Without LANGUAGE: LC_ALL, then LC_MESSAGES, then LANG.
    EXPECT_EQ(env.With({{"LC_ALL", "ja_JP.UTF-8"}, {"LANG", "en_US.UTF-8"}}), ja);
    EXPECT_EQ(env.With({{"LC_MESSAGES", "en_US.UTF-8"}, {"LANG", "ja_JP.UTF-8"}}), en);
    EXPECT_EQ(env.With({{"LANG", "ja_JP.UTF-8"}}), ja);
    EXPECT_EQ(env.With({}), en);
}

}  // namespace
}  // namespace sonivate
