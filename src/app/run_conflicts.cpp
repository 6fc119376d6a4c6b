#include <algorithm>
#include <numeric>
#include <tuple>

#include "app/measurement_run_detail.h"
#include "common/paths.h"

namespace sonivate::detail {
namespace {

// A name a row reads, writes or renames onto: a folder and a title (the
// file name without its extension).
struct RowName {
    std::string folder;
    std::string title;
    std::int32_t row = 0;
};

// The source, and the output the row writes in its output folder.
void AddRowNames(const RowWork& pWork, std::int32_t pRow, const RunChoices& pChoices, std::vector<RowName>& pNames) {
    const std::string title = PathPart(pWork.Source, false, false, true, false, false, kKeepCase);
    const std::string sourceFolder =
        CanonicalFolder(PathPart(pWork.Source, true, false, false, false, false, kKeepCase));
    const bool folder = pChoices.Output && pChoices.Output->What() == OutputTarget::Kind::Folder;
    const std::string outputFolder = folder ? CanonicalFolder(pChoices.Output->FolderPath()) : sourceFolder;
    pNames.push_back({sourceFolder, title, pRow});
    pNames.push_back({outputFolder, title, pRow});
}

// Whether files named pLonger may be touched by a row writing pShorter: the
// same title, or pShorter followed by a counter of two or more digits (a
// title such as "spot01" beside "spot" is kept in one group, so that rows
// whose names a person would take for one another never run at once).
bool NamesMeet(const std::string& pShorter, const std::string& pLonger) {
    if (pLonger.compare(0, pShorter.size(), pShorter) != 0) return false;
    const std::string counter = pLonger.substr(pShorter.size());
    return counter.empty() || (counter.size() >= 2 && counter.find_first_not_of("0123456789") == std::string::npos);
}

}  // namespace

std::vector<std::int32_t> ConflictGroups(const std::vector<RowWork>& pWorks, const RunChoices& pChoices) {
    std::vector<std::int32_t> parent(pWorks.size());
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](std::int32_t pRow) {
        while (parent[static_cast<size_t>(pRow)] != pRow) {
            parent[static_cast<size_t>(pRow)] = parent[static_cast<size_t>(parent[static_cast<size_t>(pRow)])];
            pRow = parent[static_cast<size_t>(pRow)];
        }
        return pRow;
    };
    auto join = [&](std::int32_t pA, std::int32_t pB) {
        const std::int32_t a = find(pA);
        const std::int32_t b = find(pB);
        // The lower row stays the root, so groups keep list order.
        parent[static_cast<size_t>(std::max(a, b))] = std::min(a, b);
    };

    std::vector<RowName> names;
    for (size_t i = 0; i < pWorks.size(); ++i) AddRowNames(pWorks[i], static_cast<std::int32_t>(i), pChoices, names);
    // Sorted by folder and title, every name that extends a title follows it directly.
    std::sort(names.begin(), names.end(), [](const RowName& pA, const RowName& pB) {
        return std::tie(pA.folder, pA.title) < std::tie(pB.folder, pB.title);
    });
    for (size_t i = 0; i < names.size(); ++i) {
        for (size_t j = i + 1; j < names.size() && names[j].folder == names[i].folder &&
                               names[j].title.compare(0, names[i].title.size(), names[i].title) == 0;
             ++j) {
            if (NamesMeet(names[i].title, names[j].title)) join(names[i].row, names[j].row);
        }
    }
    std::vector<std::int32_t> groups(pWorks.size());
    for (size_t i = 0; i < pWorks.size(); ++i) groups[i] = find(static_cast<std::int32_t>(i));
    return groups;
}

}  // namespace sonivate::detail
