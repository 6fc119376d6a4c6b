#include "common/settings_store.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <vector>

#include "common/error_trap.h"
#include "common/formatting.h"
#include "common/ini_profile.h"
#include "common/paths.h"
#include "platform/small_file.h"

namespace sonivate {
namespace {

constexpr const char* kDefaultAppTitle = "sonivate";
constexpr const char* kIniExtension = ".ini";
constexpr const char* kRegistryTopKey = "Software";
constexpr const char* kErrorCatchKey = "ErrorCatch";
// The ini reader's buffer: the longest value plus its terminator.
constexpr std::size_t kIniBufferBytes = kIniValueMaxBytes + 1;
// Placement: how far from the desktop's right and bottom edges a restored
// window may start (twips) before it is put back at 0.
constexpr std::int32_t kMinVisibleRight = 600;
constexpr std::int32_t kMinVisibleBottom = 900;

std::string g_AppTitle = kDefaultAppTitle;
std::string g_IniFilePath;
std::string g_SettingsFolder;
std::string g_UserConfigBase;

std::string FormatShortest(double pValue) {
    if (pValue == 0) return "0";  // also -0
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, pValue);
    return std::string(buffer, result.ptr);
}

std::string FormatShortest(float pValue) {
    if (pValue == 0) return "0";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, pValue);
    return std::string(buffer, result.ptr);
}

// A number as the form runtime reads one: blanks around it allowed, nothing
// else; a failure is an unexpected run-time error of the caller.
double ToNumber(std::string_view pText) {
    const std::size_t first = pText.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) throw RunTimeError("not a number");
    pText = pText.substr(first, pText.find_last_not_of(" \t\r\n") - first + 1);
    if (!pText.empty() && pText.front() == '+') pText.remove_prefix(1);
    double value = 0;
    const auto result = std::from_chars(pText.data(), pText.data() + pText.size(), value);
    if (result.ec != std::errc() || result.ptr != pText.data() + pText.size() || !std::isfinite(value))
        throw RunTimeError("not a number");
    return value;
}

template <class Int>
Int ToInteger(std::string_view pText) {
    return CheckedNarrow<Int>(std::nearbyint(ToNumber(pText)));
}

float ToSingle(std::string_view pText) {
    const double value = ToNumber(pText);
    if (std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) throw RunTimeError("overflow");
    return static_cast<float>(value);
}

bool EqualsNoCase(const std::string& pA, const std::string& pB) { return AsciiLower(pA) == AsciiLower(pB); }

std::vector<std::string> SplitBackslash(const std::string& pPath) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : pPath) {
        if (c == '\\') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    return parts;
}

// A name that can be one file or folder name.
bool IsPlainName(const std::string& pName) {
    return !pName.empty() && pName != "." && pName != ".." && pName.find('/') == std::string::npos &&
           pName.find('\0') == std::string::npos;
}

std::string DefaultIniFile() { return SettingsFolder() + AppTitle() + kIniExtension; }

std::string StoredText(const SettingText& pValue) {
    return pValue.Text().empty() ? std::string(kEmptySettingText) : pValue.Text();
}

std::string EmptyIfMarker(std::string pText) { return pText == kEmptySettingText ? std::string() : pText; }

}  // namespace

SettingText::SettingText(int pValue) : c_Text(std::to_string(pValue)) {}
SettingText::SettingText(long pValue) : c_Text(std::to_string(pValue)) {}
SettingText::SettingText(long long pValue) : c_Text(std::to_string(pValue)) {}
SettingText::SettingText(float pValue) : c_Text(FormatShortest(pValue)) {}
SettingText::SettingText(double pValue) : c_Text(FormatShortest(pValue)) {}

const std::string& AppTitle() { return g_AppTitle; }
void SetAppTitle(const std::string& pTitle) { g_AppTitle = pTitle.empty() ? kDefaultAppTitle : pTitle; }
const std::string& IniFilePath() { return g_IniFilePath; }
void SetIniFilePath(const std::string& pPath) { g_IniFilePath = pPath; }

const std::string& DecideIniFilePath() {
    const std::string candidate = DefaultIniFile();
    g_IniFilePath = FileExists(candidate) == 1 ? candidate : std::string();
    return g_IniFilePath;
}

std::string SettingsFolder() {
    return g_SettingsFolder.empty() ? AppFolder() : SetTrailingSeparator(g_SettingsFolder, 0);
}
void SetSettingsFolder(const std::string& pFolder) { g_SettingsFolder = pFolder; }

std::string UserConfigBase() {
    if (!g_UserConfigBase.empty()) return SetTrailingSeparator(g_UserConfigBase, 1);
    // The XDG rule: an empty or relative XDG_CONFIG_HOME is ignored.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return SetTrailingSeparator(xdg, 1);
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return SetTrailingSeparator(home, 1) + "/.config";
    return {};
}
void SetUserConfigBase(const std::string& pFolder) { g_UserConfigBase = pFolder; }

// --- Ini back end -------------------------------------------------------------

std::string ReadIniValue(const std::string& pKey, const SettingText& pDefault, const std::string& pFile,
                         const std::string& pSection, std::int32_t pWriteDefault) {
    return Trapped<std::string>(pDefault.Text(), [&] {
        const std::string file = pFile.empty() ? DefaultIniFile() : pFile;
        const std::string section = pSection.empty() ? std::string(kDefaultIniSection) : pSection;
        std::string text = ReadProfileString(file, section, pKey, kMissingIniValue, kIniBufferBytes);
        if (text == kMissingIniValue) {
            text = pDefault.Text();
            if (pWriteDefault == 1) WriteIniValue(pKey, text, file, section);
        }
        return EmptyIfMarker(std::move(text));
    });
}

std::int32_t WriteIniValue(const std::string& pKey, const SettingText& pValue, const std::string& pFile,
                           const std::string& pSection) {
    return Trapped<std::int32_t>(0, [&]() -> std::int32_t {
        const std::string file = pFile.empty() ? DefaultIniFile() : pFile;
        const std::string section = pSection.empty() ? std::string(kDefaultIniSection) : pSection;
        const std::string text = StoredText(pValue);
        if (text.size() > kIniValueMaxBytes) return 0;
        return WriteProfileString(file, section, pKey, text) ? 1 : 0;
    });
}

// --- Per-user store -----------------------------------------------------------

std::string RegKeyFolder(const std::string& pTitle, const std::string& pSubKey) {
    const std::string base = UserConfigBase();
    if (base.empty()) return {};
    std::vector<std::string> parts;
    if (pSubKey.empty()) {
        parts = {AsciiLower(kCompanyName), AsciiLower(pTitle.empty() ? AppTitle() : pTitle)};
    } else {
        parts = SplitBackslash(pSubKey);
        if (!parts.empty() && EqualsNoCase(parts.front(), kRegistryTopKey)) parts.erase(parts.begin());
        if (!parts.empty() && parts.back().empty()) parts.pop_back();
    }
    if (parts.empty()) return {};
    std::string folder = base;
    for (const std::string& part : parts) {
        if (!IsPlainName(part)) return {};
        folder += "/" + part;
    }
    return folder;
}

std::string ReadRegValue(const std::string& pKey, const SettingText& pDefault, const std::string& pTitle,
                         RegRoot /*pRoot*/, const std::string& pSubKey) {
    return Trapped<std::string>(pDefault.Text(), [&] {
        std::string result = pDefault.Text();
        const std::string folder = RegKeyFolder(pTitle, pSubKey);
        std::string content;
        if (!folder.empty() && IsPlainName(pKey) &&
            platform::ReadSmallFile(folder + "/" + pKey, kRegValueMaxBytes, content) == platform::ReadResult::Ok) {
            const std::size_t nul = content.find('\0');
            result = TrimSpaces(std::string_view(content).substr(0, nul));
        }
        return EmptyIfMarker(std::move(result));
    });
}

std::int32_t WriteRegValue(const std::string& pKey, const SettingText& pValue, const std::string& pTitle,
                           RegRoot /*pRoot*/, const std::string& pSubKey) {
    return Trapped<std::int32_t>(0, [&]() -> std::int32_t {
        const std::string folder = RegKeyFolder(pTitle, pSubKey);
        const std::string text = StoredText(pValue);
        // A longer value would read back as missing: keep the stored one instead.
        if (folder.empty() || !IsPlainName(pKey) || text.size() > kRegValueMaxBytes) return 0;
        if (!platform::MakeFolders(folder)) return 0;
        return platform::ReplaceFileAtomically(folder + "/" + pKey, text) ? 1 : 0;
    });
}

// --- Choosing the back end ----------------------------------------------------

std::string ChooseSettingStore(const std::string& pName, std::int32_t pRecheck, std::int32_t& pStore) {
    if (!pName.empty()) {
        const std::string file = SettingsFolder() + pName + kIniExtension;
        pStore = FileExists(file) == 1 ? kStoreIni : kStoreRegistry;
        return pStore == kStoreIni ? file : pName;
    }
    if (pRecheck == 1) {
        const std::string file = DefaultIniFile();
        pStore = FileExists(file) == 1 ? kStoreIni : kStoreRegistry;
        return pStore == kStoreIni ? file : AppTitle();
    }
    pStore = IniFilePath().empty() ? kStoreRegistry : kStoreIni;
    return pStore == kStoreIni ? IniFilePath() : AppTitle();
}

std::string LoadSetting(const std::string& pKey, const SettingText& pDefault, std::int32_t pRecheck,
                        const std::string& pName) {
    return Trapped<std::string>({}, [&] {
        std::int32_t store = kStoreRegistry;
        const std::string where = ChooseSettingStore(pName, pRecheck, store);
        if (store == kStoreIni) return ReadIniValue(pKey, pDefault, where, kDefaultIniSection, 1);
        return ReadRegValue(pKey, pDefault, where);
    });
}

void StoreSetting(const std::string& pKey, const SettingText& pValue, std::int32_t pRecheck, const std::string& pName) {
    Trap([&] {
        std::int32_t store = kStoreRegistry;
        const std::string where = ChooseSettingStore(pName, pRecheck, store);
        if (store == kStoreIni)
            WriteIniValue(pKey, pValue, where, kDefaultIniSection);
        else
            WriteRegValue(pKey, pValue, where);
    });
}

// --- Window placement ---------------------------------------------------------

void SaveWindowPlacement(const PlacementWindow& pForm, const std::string& pPrefix, bool pNoSize, bool pNoState) {
    Trap([&] {
        const std::int32_t state = pForm.WindowState();
        if (state == kWindowNormal) {
            StoreSetting(pPrefix + "WindowLeft", pForm.Left());
            StoreSetting(pPrefix + "WindowTop", pForm.Top());
            if (!pNoSize) {
                StoreSetting(pPrefix + "WindowHeight", pForm.Height());
                StoreSetting(pPrefix + "WindowWidth", pForm.Width());
            }
        }
        if (!pNoState) StoreSetting(pPrefix + "WindowState", state);
    });
}

void RestoreWindowPlacement(PlacementWindow& pForm, const std::string& pPrefix, bool pNoSize, bool pNoState,
                            bool pNoPosition, const DesktopExtent& pDesktop) {
    Trap([&] {
        if (pForm.WindowState() == kWindowNormal) {
            if (!pNoPosition) {
                std::int32_t left = ToInteger<std::int32_t>(LoadSetting(pPrefix + "WindowLeft", pForm.Left()));
                std::int32_t top = ToInteger<std::int32_t>(LoadSetting(pPrefix + "WindowTop", pForm.Top()));
                if (left < 0 || left > pDesktop.Right - kMinVisibleRight) left = 0;
                if (top < 0 || top > pDesktop.Bottom - kMinVisibleBottom) top = 0;
                pForm.SetLeft(static_cast<float>(left));
                pForm.SetTop(static_cast<float>(top));
            }
            if (!pNoSize) {
                pForm.SetHeight(ToSingle(LoadSetting(pPrefix + "WindowHeight", pForm.Height())));
                pForm.SetWidth(ToSingle(LoadSetting(pPrefix + "WindowWidth", pForm.Width())));
            }
        }
        if (!pNoState)
            pForm.SetWindowState(ToInteger<std::int16_t>(LoadSetting(pPrefix + "WindowState", pForm.WindowState())));
    });
}

// --- Error trapping switch ----------------------------------------------------

std::int32_t ErrorCatchSetting() {
    return AlwaysTrapped<std::int32_t>(0, [] { return ToInteger<std::int32_t>(ReadRegValue(kErrorCatchKey, 0)); });
}

}  // namespace sonivate
