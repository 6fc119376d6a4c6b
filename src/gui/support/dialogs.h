#pragma once
// Folder and file dialogs. The dialogs themselves go through a replaceable
// service so that tests answer them without a window.

#include <cstdint>
#include <string>

class QWidget;

namespace sonivate {

// Flag value of FileDialog meaning "the defaults for open or save".
inline constexpr std::int32_t kFileDialogDefaultFlags = -1;

// The chosen folder with a trailing "/", or "" on cancel.
std::string BrowseForFolder(const std::string& pStartFolder, const std::string& pTitle, QWidget* pOwner);
// The chosen path, or "" on cancel. pFilter is "name|pattern|name|pattern...".
std::string FileDialog(QWidget* pOwner, bool pIsSave, const std::string& pFilter, const std::string& pInitialFolder,
                       const std::string& pFileName, std::int32_t pFlags);

// What the dialogs show; replaced in tests.
class DialogService {
public:
    virtual ~DialogService() = default;
    virtual std::string ChooseFolder(QWidget* pOwner, const std::string& pTitle, const std::string& pStartFolder) = 0;
    // pFilters are Qt name filters ("wavファイル (*.wav)").
    virtual std::string ChooseFile(QWidget* pOwner, bool pIsSave, const std::string& pFilters,
                                   const std::string& pStartPath, std::int32_t pFlags) = 0;
};
DialogService& Dialogs();
// Installs pService (not owned), or with nullptr the Qt dialogs.
void SetDialogService(DialogService* pService);

}  // namespace sonivate
