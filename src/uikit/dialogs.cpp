#include "uikit/dialogs.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QStringList>

#include "common/error_trap.h"
#include "common/formatting.h"
#include "common/paths.h"
#include "uikit/ui_language.h"

namespace sonivate {
namespace {

// Message loop passes after a file dialog.
constexpr int kPassesAfterDialog = 2;
// The width of a form's text boxes, in average characters of its font.
constexpr int kFieldBoxCharacters = 40;

class QtDialogs final : public DialogService {
public:
    std::string ChooseFolder(QWidget* pOwner, const std::string& pTitle, const std::string& pStartFolder) override {
        return QFileDialog::getExistingDirectory(pOwner, QString::fromStdString(pTitle),
                                                 QString::fromStdString(pStartFolder), QFileDialog::ShowDirsOnly)
            .toStdString();
    }

    std::string ChooseFile(QWidget* pOwner, bool pIsSave, const std::string& pFilters, const std::string& pStartPath,
                           std::int32_t pFlags) override {
        QFileDialog dialog(pOwner);
        dialog.setAcceptMode(pIsSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(pIsSave || (pFlags & kOfnFileMustExist) == 0 ? QFileDialog::AnyFile
                                                                        : QFileDialog::ExistingFile);
        if (pIsSave && (pFlags & kOfnOverwritePrompt) == 0) dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (!pFilters.empty()) dialog.setNameFilters(QString::fromStdString(pFilters).split(QStringLiteral(";;")));
        const QString start = QString::fromStdString(pStartPath);
        const QFileInfo info(start);
        if (info.isDir()) {
            dialog.setDirectory(start);
        } else {
            dialog.setDirectory(info.absolutePath());
            dialog.selectFile(info.fileName());
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().front().toStdString();
    }

    std::vector<std::string> ChooseFiles(QWidget* pOwner, const std::string& pFilters,
                                         const std::string& pStartFolder) override {
        QFileDialog dialog(pOwner);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        if (!pFilters.empty()) dialog.setNameFilters(QString::fromStdString(pFilters).split(QStringLiteral(";;")));
        dialog.setDirectory(QString::fromStdString(pStartFolder));
        std::vector<std::string> chosen;
        if (dialog.exec() != QDialog::Accepted) return chosen;
        for (const QString& file : dialog.selectedFiles()) chosen.push_back(file.toStdString());
        return chosen;
    }

    std::optional<std::vector<std::string>> EditFields(QWidget* pOwner, const std::string& pTitle,
                                                       const std::vector<std::string>& pLabels,
                                                       const std::vector<std::string>& pValues) override {
        QDialog dialog(pOwner);
        dialog.setWindowTitle(QString::fromStdString(pTitle));
        auto* form = new QFormLayout(&dialog);
        std::vector<QLineEdit*> boxes;
        for (std::size_t k = 0; k < pLabels.size(); ++k) {
            auto* box = new QLineEdit(k < pValues.size() ? QString::fromStdString(pValues[k]) : QString(), &dialog);
            box->setMinimumWidth(box->fontMetrics().averageCharWidth() * kFieldBoxCharacters);
            form->addRow(QString::fromStdString(pLabels[k]), box);
            boxes.push_back(box);
        }
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        form->addRow(buttons);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        std::vector<std::string> values;
        for (const QLineEdit* box : boxes) values.push_back(box->text().toStdString());
        return values;
    }
};

QtDialogs g_QtDialogs;
DialogService* g_Dialogs = &g_QtDialogs;

// A folder without its trailing separator; the root stays the root.
std::string WithoutTrailingSeparator(const std::string& pFolder) {
    const std::string stripped = SetTrailingSeparator(pFolder, 1);
    return stripped.empty() && !pFolder.empty() && pFolder.front() == kPathSeparator ? pFolder : stripped;
}

std::string Trim(const std::string& pText) {
    const std::size_t first = pText.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return pText.substr(first, pText.find_last_not_of(' ') - first + 1);
}

}  // namespace

DialogService& Dialogs() { return *g_Dialogs; }
void SetDialogService(DialogService* pService) { g_Dialogs = pService != nullptr ? pService : &g_QtDialogs; }

std::string ToQtNameFilters(const std::string& pFilter) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : pFilter) {
        if (c == '|') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    std::string out;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string patterns;
        std::string pattern;
        const auto flush = [&] {
            const std::string p = Trim(pattern);
            if (!p.empty()) patterns += (patterns.empty() ? "" : " ") + p;
            pattern.clear();
        };
        for (char c : parts[i + 1]) {
            if (c == ';')
                flush();
            else
                pattern += c;
        }
        flush();
        if (patterns.empty()) continue;
        if (!out.empty()) out += ";;";
        out += parts[i] + " (" + patterns + ")";
    }
    return out;
}

std::string BrowseForFolder(const std::string& pStartFolder, const std::string& pTitle, QWidget* pOwner) {
    return Trapped<std::string>({}, [&]() -> std::string {
        const std::string start =
            pStartFolder.empty() ? QDir::currentPath().toStdString() : WithoutTrailingSeparator(pStartFolder);
        const std::string chosen = CutAtNul(
            Dialogs().ChooseFolder(pOwner, pTitle.empty() ? TrText("Dialogs", kDefaultFolderTitle) : pTitle, start));
        return chosen.empty() ? std::string() : SetTrailingSeparator(chosen, 0);
    });
}

std::string FileDialog(QWidget* pOwner, bool pIsSave, const std::string& pFilter, const std::string& pInitialFolder,
                       const std::string& pFileName, std::int32_t pFlags) {
    return Trapped<std::string>({}, [&] {
        const std::int32_t flags = pFlags != kFileDialogDefaultFlags ? pFlags
                                   : pIsSave                         ? kSaveDialogDefaultFlags
                                                                     : kOpenDialogDefaultFlags;
        const std::string folder = WithoutTrailingSeparator(pInitialFolder);
        const std::string name = CutAtNul(pFileName);
        std::string start = folder;
        if (!name.empty())
            start = name.front() == kPathSeparator || folder.empty() ? name : SetTrailingSeparator(folder, 0) + name;
        const std::string chosen =
            CutAtNul(Dialogs().ChooseFile(pOwner, pIsSave, ToQtNameFilters(pFilter), start, flags));
        // Dialogs run on the window thread, whose message loop is Qt's own.
        for (int i = 0; i < kPassesAfterDialog; ++i) QCoreApplication::processEvents();
        return chosen;
    });
}

std::vector<std::string> FilesDialog(QWidget* pOwner, const std::string& pFilter, const std::string& pInitialFolder) {
    return Trapped<std::vector<std::string>>({}, [&] {
        std::vector<std::string> chosen;
        for (const std::string& path :
             Dialogs().ChooseFiles(pOwner, ToQtNameFilters(pFilter), WithoutTrailingSeparator(pInitialFolder))) {
            const std::string whole = CutAtNul(path);
            if (!whole.empty()) chosen.push_back(whole);
        }
        for (int i = 0; i < kPassesAfterDialog; ++i) QCoreApplication::processEvents();
        return chosen;
    });
}

std::optional<std::vector<std::string>> FieldsDialog(QWidget* pOwner, const std::string& pTitle,
                                                     const std::vector<std::string>& pLabels,
                                                     const std::vector<std::string>& pValues) {
    return Trapped<std::optional<std::vector<std::string>>>(
        std::nullopt, [&]() -> std::optional<std::vector<std::string>> {
            std::optional<std::vector<std::string>> edited = Dialogs().EditFields(pOwner, pTitle, pLabels, pValues);
            for (int i = 0; i < kPassesAfterDialog; ++i) QCoreApplication::processEvents();
            // A service that answers with fewer values leaves the rest empty.
            if (edited) edited->resize(pLabels.size());
            return edited;
        });
}

}  // namespace sonivate
