#pragma once
// Folder and file dialogs. The dialogs themselves go through a replaceable
// service so that tests answer them without a window.
//
// The classic dialog flags are kept as values (so callers and stored
// settings speak the same language) and mapped to Qt's file dialog: the
// overwrite prompt asks before an existing file is replaced on save, "file
// must exist" lets open choose existing files only; the other flags
// (explorer style, hide read-only, no validation) describe what Qt's dialog
// does anyway.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QtGlobal>

class QWidget;

namespace sonivate {

// Flag value of FileDialog meaning "the defaults for open or save".
inline constexpr std::int32_t kFileDialogDefaultFlags = -1;
inline constexpr std::int32_t kOfnOverwritePrompt = 0x2;
inline constexpr std::int32_t kOfnHideReadOnly = 0x4;
inline constexpr std::int32_t kOfnNoValidate = 0x100;
inline constexpr std::int32_t kOfnFileMustExist = 0x1000;
inline constexpr std::int32_t kOfnExplorer = 0x80000;
// The defaults: save = explorer + overwrite prompt + hide read-only;
// open = explorer + file must exist + no validation + hide read-only.
inline constexpr std::int32_t kSaveDialogDefaultFlags = 0x80006;
inline constexpr std::int32_t kOpenDialogDefaultFlags = 0x81104;

// Title of the folder dialog when none is given.
inline constexpr const char* kDefaultFolderTitle = QT_TRANSLATE_NOOP("Dialogs", "フォルダを選択してください");

// The chosen folder with a trailing "/", or "" on cancel. The dialog starts
// in pStartFolder (a trailing separator removed) or, when that is empty, in
// the current folder.
std::string BrowseForFolder(const std::string& pStartFolder, const std::string& pTitle, QWidget* pOwner);
// The chosen path, or "" on cancel. pFilter is "name|pattern|name|pattern..."
// (several patterns of one name separated by ";"); the dialog starts in
// pInitialFolder (a trailing separator removed) with pFileName proposed.
// pFlags = kFileDialogDefaultFlags chooses the defaults above. The message
// loop runs twice afterwards, so the owner repaints before the caller goes on.
std::string FileDialog(QWidget* pOwner, bool pIsSave, const std::string& pFilter, const std::string& pInitialFolder,
                       const std::string& pFileName, std::int32_t pFlags);
// Existing files to open, as many as the operator selects (none on cancel);
// pFilter and pInitialFolder as for FileDialog.
std::vector<std::string> FilesDialog(QWidget* pOwner, const std::string& pFilter, const std::string& pInitialFolder);
// A form of one-line text fields: pLabels[k] beside pValues[k]'s box. The
// values as edited, in the same order (as many as the labels), or nothing
// on cancel.
std::optional<std::vector<std::string>> FieldsDialog(QWidget* pOwner, const std::string& pTitle,
                                                     const std::vector<std::string>& pLabels,
                                                     const std::vector<std::string>& pValues);

// "wavファイル|*.wav|すべて|*.*" as Qt name filters: "wavファイル (*.wav);;すべて (*.*)".
// A name without a pattern is dropped.
std::string ToQtNameFilters(const std::string& pFilter);

// What the dialogs show; replaced in tests.
class DialogService {
public:
    virtual ~DialogService() = default;
    virtual std::string ChooseFolder(QWidget* pOwner, const std::string& pTitle, const std::string& pStartFolder) = 0;
    // pFilters are Qt name filters ("wavファイル (*.wav)"); pStartPath is the
    // start folder, with the proposed file name appended when there is one;
    // pFlags are the resolved flags (never kFileDialogDefaultFlags).
    virtual std::string ChooseFile(QWidget* pOwner, bool pIsSave, const std::string& pFilters,
                                   const std::string& pStartPath, std::int32_t pFlags) = 0;
    // Existing files to open, any number at once ({} on cancel). By default
    // the one ChooseFile gives, so a service that knows only one still works.
    virtual std::vector<std::string> ChooseFiles(QWidget* pOwner, const std::string& pFilters,
                                                 const std::string& pStartFolder) {
        std::string one = ChooseFile(pOwner, false, pFilters, pStartFolder, kOpenDialogDefaultFlags);
        if (one.empty()) return {};
        return {std::move(one)};
    }
    // A form of labelled text fields (FieldsDialog); nothing on cancel. By
    // default cancelled, so a service that knows only files never edits.
    virtual std::optional<std::vector<std::string>> EditFields(QWidget* pOwner, const std::string& pTitle,
                                                               const std::vector<std::string>& pLabels,
                                                               const std::vector<std::string>& pValues) {
        (void)pOwner;
        (void)pTitle;
        (void)pLabels;
        (void)pValues;
        return std::nullopt;
    }
};
DialogService& Dialogs();
// Installs pService (not owned), or with nullptr the Qt dialogs.
void SetDialogService(DialogService* pService);

}  // namespace sonivate
