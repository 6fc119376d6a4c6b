#pragma once
// The settings store: text values under fixed keys, kept from one start to
// the next in one of two back ends with the same key names:
// - an ini file in the application's folder ("sonivate.ini", section
//   "conf"), used when that file exists at start-up (a portable install);
// - otherwise the per-user store, the stand-in for the registry key
//   Software\kovantel\sonivate: one small file per value under
//   $XDG_CONFIG_HOME/kovantel/sonivate/ (default ~/.config), holding the
//   value's text, replaced atomically on every write.
// Both back ends store the empty text as "***" and read "***" back as empty.
// Every call opens and closes its file; nothing stays open between calls.

#include <cstdint>
#include <string>
#include <string_view>

namespace sonivate {

// A value as the store keeps it: text. Numbers convert as a form's text
// boxes show them (1.0 -> "1", -24.5 -> "-24.5").
class SettingText {
public:
    SettingText(std::string pText) : c_Text(std::move(pText)) {}
    SettingText(const char* pText) : c_Text(pText != nullptr ? pText : "") {}
    SettingText(std::string_view pText) : c_Text(pText) {}
    SettingText(int pValue);
    SettingText(long pValue);
    SettingText(long long pValue);
    SettingText(float pValue);
    SettingText(double pValue);
    const std::string& Text() const { return c_Text; }

private:
    std::string c_Text;
};

// The text stored for the empty value, and the ini reader's missing-key marker.
inline constexpr const char* kEmptySettingText = "***";
inline constexpr const char* kMissingIniValue = "ISDEFAULT";
inline constexpr const char* kDefaultIniSection = "conf";
inline constexpr const char* kCompanyName = "kovantel";
// Longest ini value (bytes) that reads back whole, and the per-user store's read limit.
inline constexpr std::size_t kIniValueMaxBytes = 254;
inline constexpr std::size_t kRegValueMaxBytes = 256;

// --- Process-wide values, fixed by the window's start-up -------------------

const std::string& AppTitle();  // "sonivate" until set
void SetAppTitle(const std::string& pTitle);
// The ini file chosen at start-up, or "" for the per-user store.
const std::string& IniFilePath();
void SetIniFilePath(const std::string& pPath);
// Start-up rule: IniFilePath = SettingsFolder() + AppTitle() + ".ini" when
// that file exists now, else "". Returns the result.
const std::string& DecideIniFilePath();

// Where the two back ends live. By default the application's folder (with a
// trailing "/") and $XDG_CONFIG_HOME (else $HOME/.config); tests point them
// at scratch folders. An empty text restores the default.
std::string SettingsFolder();
void SetSettingsFolder(const std::string& pFolder);
std::string UserConfigBase();
void SetUserConfigBase(const std::string& pFolder);

// --- Ini back end -----------------------------------------------------------

// The value of pSection/pKey (empty file: the default file; empty section:
// "conf"), at most 254 bytes; "***" reads as "". A missing key (or the stored
// text "ISDEFAULT") gives pDefault, which is written back when pWriteDefault is 1.
std::string ReadIniValue(const std::string& pKey, const SettingText& pDefault, const std::string& pFile = {},
                         const std::string& pSection = {}, std::int32_t pWriteDefault = 0);
// Stores pValue ("" as "***"). 1 when written; 0 when refused or failed: a
// value with a line break or NUL, or one longer than 254 bytes (it would not
// read back whole), leaves the stored value as it was.
std::int32_t WriteIniValue(const std::string& pKey, const SettingText& pValue, const std::string& pFile = {},
                           const std::string& pSection = {});

// --- Per-user store (the registry stand-in) ---------------------------------

// Registry roots. Only the current user's store exists here; the others are
// accepted and mean the same store.
enum class RegRoot { CurrentUser, LocalMachine };

// The value pKey of the key pSubKey (empty: Software\kovantel\<title>, title
// empty = AppTitle(), and the root is the current user's). A missing value,
// one longer than 256 bytes or an unreadable one gives pDefault; the text is
// cut at its first NUL and trimmed of spaces; "***" reads as "".
std::string ReadRegValue(const std::string& pKey, const SettingText& pDefault, const std::string& pTitle = {},
                         RegRoot pRoot = RegRoot::CurrentUser, const std::string& pSubKey = {});
// Stores pValue ("" as "***"). 1 when written, else 0.
std::int32_t WriteRegValue(const std::string& pKey, const SettingText& pValue, const std::string& pTitle = {},
                           RegRoot pRoot = RegRoot::CurrentUser, const std::string& pSubKey = {});
// The folder that holds the values of a key (a registry path with "\").
std::string RegKeyFolder(const std::string& pTitle, const std::string& pSubKey = {});

// --- Choosing the back end ----------------------------------------------------

inline constexpr std::int32_t kStoreRegistry = 1;
inline constexpr std::int32_t kStoreIni = 2;

// The ini file (pStore = 2) or the registry title (pStore = 1) to use.
std::string ChooseSettingStore(const std::string& pName, std::int32_t pRecheck, std::int32_t& pStore);
// The value from the chosen back end; a missing ini key is added with its
// default. "" after an unexpected error.
std::string LoadSetting(const std::string& pKey, const SettingText& pDefault, std::int32_t pRecheck = 0,
                        const std::string& pName = {});
void StoreSetting(const std::string& pKey, const SettingText& pValue, std::int32_t pRecheck = 0,
                  const std::string& pName = {});

// --- Window placement ---------------------------------------------------------

// What the placement routines need of a window; twips.
class PlacementWindow {
public:
    virtual ~PlacementWindow() = default;
    // 0 normal, 1 minimised, 2 maximised.
    virtual std::int32_t WindowState() const = 0;
    virtual void SetWindowState(std::int32_t pState) = 0;
    virtual float Left() const = 0;
    virtual float Top() const = 0;
    virtual float Width() const = 0;
    virtual float Height() const = 0;
    virtual void SetLeft(float pTwips) = 0;
    virtual void SetTop(float pTwips) = 0;
    virtual void SetWidth(float pTwips) = 0;
    virtual void SetHeight(float pTwips) = 0;
};

inline constexpr std::int32_t kWindowNormal = 0;
inline constexpr std::int32_t kWindowMinimized = 1;
inline constexpr std::int32_t kWindowMaximized = 2;

// The largest right and bottom edges of all monitors, twips.
struct DesktopExtent {
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
};

// Stores position (and size unless pNoSize) of a normal window and, unless
// pNoState, the state whatever it is, under pPrefix + "WindowLeft" etc.
void SaveWindowPlacement(const PlacementWindow& pForm, const std::string& pPrefix, bool pNoSize, bool pNoState);
// Restores them for a normal window; a position off the desktop (negative,
// or less than 600 twips from its right / 900 from its bottom edge) becomes 0.
void RestoreWindowPlacement(PlacementWindow& pForm, const std::string& pPrefix, bool pNoSize, bool pNoState,
                            bool pNoPosition, const DesktopExtent& pDesktop);

// --- Error trapping switch ----------------------------------------------------

// The stored ErrorCatch value, always from the per-user store (default 0; a
// text that is not a whole number counts as 0).
std::int32_t ErrorCatchSetting();

}  // namespace sonivate
