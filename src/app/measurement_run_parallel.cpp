#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <map>
#include <mutex>
#include <numeric>
#include <thread>
#include <tuple>

#include "app/file_list.h"
#include "app/measurement_run.h"
#include "app/measurement_run_detail.h"
#include "app/output_copy.h"
#include "common/error_trap.h"
#include "common/paths.h"

namespace sonivate {
namespace {

// Progress of one worker's row: only the stop request matters, as per-file
// progress of several files at once means nothing to the operator.
class WorkerProgress : public ProgressHost {
public:
    explicit WorkerProgress(const RunHost& pHost) : mHost(pHost) {}
    void ShowStatus(const std::string&) override {}
    void SetProgress(std::int32_t) override {}
    bool StopRequested() const override { return mHost.StopRequested(); }

private:
    const RunHost& mHost;
};

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
    const std::string outputFolder = FolderExists(pChoices.SoundPath) == 1
                                         ? CanonicalFolder(SetTrailingSeparator(pChoices.SoundPath, 1))
                                         : sourceFolder;
    pNames.push_back({sourceFolder, title, pRow});
    pNames.push_back({outputFolder, title, pRow});
}

// Whether files named pLonger may be touched by a row writing pShorter: the
// same title, or pShorter followed by a counter of two or more digits (the
// numbered name a copy is written under before it is moved).
bool NamesMeet(const std::string& pShorter, const std::string& pLonger) {
    if (pLonger.compare(0, pShorter.size(), pShorter) != 0) return false;
    const std::string counter = pLonger.substr(pShorter.size());
    return counter.empty() || (counter.size() >= 2 && counter.find_first_not_of("0123456789") == std::string::npos);
}

// Rows whose names meet, grouped (union-find); each group in row order.
std::vector<std::vector<std::int32_t>> ConflictGroups(const std::vector<RowWork>& pWorks, const RunChoices& pChoices) {
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

    std::map<std::int32_t, std::vector<std::int32_t>> byRoot;
    for (size_t i = 0; i < pWorks.size(); ++i)
        byRoot[find(static_cast<std::int32_t>(i))].push_back(static_cast<std::int32_t>(i));
    std::vector<std::vector<std::int32_t>> groups;
    for (auto& [root, rows] : byRoot) groups.push_back(std::move(rows));
    return groups;
}

}  // namespace

std::vector<RowResult> RunMeasurementParallel(ListViewModel& pList, RunHost& pHost, std::int32_t pJobs) {
    std::vector<RowResult> results;
    detail::RunFrame(pList, pHost, [&](double pTarget) {
        const std::int32_t count = pList.ItemCount();
        RunChoices choices = detail::ReadChoices(pHost, pTarget);
        std::vector<RowWork> works;
        for (std::int32_t row = 0; row < count; ++row) works.push_back(detail::ReadRowWork(pList, row));
        auto sources = std::make_shared<RunSources>();
        for (const RowWork& work : works) sources->Add(work.Source);
        choices.Sources = std::move(sources);
        const std::vector<std::vector<std::int32_t>> groups = ConflictGroups(works, choices);

        std::vector<RowResult> outcomes(works.size());
        RunOutputs published;
        std::vector<char> processed(works.size(), 0);
        std::atomic<size_t> nextGroup{0};
        std::atomic<std::int32_t> done{0};
        std::mutex progressMutex;
        // With errors let through for diagnosis, the first one a worker
        // meets ends every worker and reaches the caller on this thread.
        std::exception_ptr failure;
        std::atomic<bool> failed{false};
        auto work = [&] {
            WorkerProgress progress(pHost);
            for (size_t g = nextGroup++; g < groups.size(); g = nextGroup++) {
                for (const std::int32_t row : groups[g]) {
                    if (pHost.StopRequested() || failed) return;
                    outcomes[static_cast<size_t>(row)] =
                        ProcessRow(works[static_cast<size_t>(row)], choices, progress, {}, &published);
                    processed[static_cast<size_t>(row)] = 1;
                    const std::int32_t finished = ++done;
                    std::lock_guard lock(progressMutex);
                    pHost.SetProgress(
                        static_cast<std::int32_t>(static_cast<std::int64_t>(finished) * kProgressScale / count));
                }
            }
        };
        auto worker = [&] {
            try {
                work();
            } catch (...) {
                std::lock_guard lock(progressMutex);
                if (!failed.exchange(true)) failure = std::current_exception();
            }
        };
        const auto threads = static_cast<size_t>(std::clamp<std::int32_t>(pJobs, 1, std::max<std::int32_t>(count, 1)));
        std::vector<std::thread> pool;
        for (size_t t = 1; t < threads; ++t) pool.emplace_back(worker);
        worker();
        for (std::thread& thread : pool) thread.join();
        if (failure) std::rethrow_exception(failure);

        for (size_t row = 0; row < works.size(); ++row) {
            if (!processed[row]) continue;
            ApplyMeasurement(pList, outcomes[row]);
            results.push_back(std::move(outcomes[row]));
        }
        pHost.ListChanged();
    });
    return results;
}

}  // namespace sonivate
