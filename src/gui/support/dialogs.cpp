// Provisional bodies so the controls build; the dialog service replaces them.
#include "gui/support/dialogs.h"

namespace sonivate {
namespace {
class NoDialogs final : public DialogService {
public:
    std::string ChooseFolder(QWidget*, const std::string&, const std::string&) override { return {}; }
    std::string ChooseFile(QWidget*, bool, const std::string&, const std::string&, std::int32_t) override { return {}; }
};
NoDialogs g_NoDialogs;
DialogService* g_Dialogs = &g_NoDialogs;
}  // namespace

DialogService& Dialogs() { return *g_Dialogs; }
void SetDialogService(DialogService* pService) { g_Dialogs = pService != nullptr ? pService : &g_NoDialogs; }

std::string BrowseForFolder(const std::string& pStartFolder, const std::string& pTitle, QWidget* pOwner) {
    return Dialogs().ChooseFolder(pOwner, pTitle, pStartFolder);
}

std::string FileDialog(QWidget* pOwner, bool pIsSave, const std::string& pFilter, const std::string& pInitialFolder,
                       const std::string& /*pFileName*/, std::int32_t pFlags) {
    return Dialogs().ChooseFile(pOwner, pIsSave, pFilter, pInitialFolder, pFlags);
}

}  // namespace sonivate
