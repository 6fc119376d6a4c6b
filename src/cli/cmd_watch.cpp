// sonivate-cli watch: a delivery folder normalised without a person at the
// window. Each new WAV file, once complete, is measured and written to the
// output folder as run --write --output-dir does it; the source then moves
// on (to --done or --failed), and a journal remembers every file done, so
// that a restart never does a file twice and never forgets one.
//
// Log lines go to stderr; stdout carries only the --json lines.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/row_store.h"
#include "app/file_list.h"
#include "app/measurement_run.h"
#include "app/watch_journal.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/run_options.h"
#include "cli/stop_signals.h"
#include "common/formatting.h"
#include "common/paths.h"
#include "platform/dir_watch.h"
#include "platform/file_users.h"
#include "platform/pending_file.h"
#include "platform/small_file.h"

namespace sonivate::cli {
namespace {

using Json = nlohmann::ordered_json;
using platform::FileStamp;

constexpr double kDefaultSettleSeconds = 5.0;
constexpr double kNsPerSecond = 1e9;
constexpr std::int64_t kNsPerMs = 1000000;
// A file that is complete but held by another process is looked at again
// after this long at the least, ns: never a busy loop with --settle 0.
constexpr std::int64_t kRetryHeldNs = 1000000000;
// Numbered names tried when the done or failed folder has the name already.
constexpr int kMostNumberedNames = 9999;
constexpr const char* kWaveExtension = ".wav";
constexpr const char* kReasonSuffix = ".reason.txt";
constexpr const char* kLogPrefix = "sonivate-cli watch: ";

struct WatchOptions {
    std::string inDir;
    std::string outDir;
    std::string doneDir;
    std::string failedDir;
    std::string journal;
    double settle = kDefaultSettleSeconds;  // seconds
    bool recursive = false;
    bool once = false;
    bool json = false;
    RunChoiceOptions choices;
};

// What became of one file, for the journal, the log and the moves.
enum class Fate {
    Done,      // the copy was written
    Failed,    // nothing written, for a reason that stays (moved to --failed)
    Again,     // not now: still written to, held by another run, or changed
    Stopped,   // a stop signal came first; left for the next start
    Skipped,   // in the journal already
    Vanished,  // gone before it could be taken
};

struct FileMeasurement {
    RowReason Rejection = RowReason::None;  // the intake refused the file
    RowResult Result;
};

class SilentIntake : public IntakeHost {
public:
    SilentIntake(std::int32_t pFrom, std::int32_t pTo) : mFrom(pFrom), mTo(pTo) {}
    std::int32_t RangeStartChoice() const override { return mFrom; }
    std::int32_t RangeEndChoice() const override { return mTo; }
    void Rejected(const std::string&, RowReason pReason) override { rejection = pReason; }
    void ShowRejection(const std::string&) override {}
    void MarkersResolved(const std::string& pPath, const RangeMarkers& pMarkers) override {
        if (pMarkers.StartChosen && !pMarkers.StartFound) NoteMissingMarker(pPath, kRangeStartEntries[mFrom], true);
        if (pMarkers.EndChosen && !pMarkers.EndFound) NoteMissingMarker(pPath, kRangeEndEntries[mTo], false);
    }
    RowReason rejection = RowReason::None;

private:
    std::int32_t mFrom, mTo;
};

// The run's view of one watched file: the choices of the command line, the
// stop signals, no display.
class WatchRun final : public RunHost {
public:
    WatchRun(const RunChoiceOptions& pChoices, std::string pOutputFolder)
        : mChoices(pChoices), mOutputFolder(std::move(pOutputFolder)) {}
    std::string TargetLKFSText() const override { return mChoices.target; }
    bool WavOutput() const override { return true; }
    std::string SoundPath() const override { return mOutputFolder; }
    // The mirrored output folder, held from the start of the file's run:
    // never in place, whatever becomes of the folder's name.
    std::shared_ptr<const OutputTarget> DecideOutput() const override { return OutputTarget::Folder(mOutputFolder); }
    // Anyone who may write to the watched folder may place a link there.
    bool NoFollow() const override { return true; }
    bool NoClip() const override { return !mChoices.allowClip; }
    bool BroadcastExtras() const override { return !mChoices.extras.noExtras; }
    BextLoudnessMode BextLoudness() const override { return BextModeOf(mChoices); }
    void ClearStopRequest() override {}
    bool StopRequested() const override { return StopSignalled(); }
    void ShowStatus(const std::string&) override {}
    void SetProgress(std::int32_t) override {}

private:
    const RunChoiceOptions& mChoices;
    std::string mOutputFolder;
};

// The one use of the batch API: the file goes through the intake as a
// one-row list, which the run driver measures and writes like a row of run.
FileMeasurement MeasureFile(const std::string& pPath, const std::shared_ptr<const OpenedSource>& pOpened,
                            const std::string& pOutputFolder, const RunChoiceOptions& pChoices) {
    FileMeasurement measurement;
    RowList rows;
    SilentIntake intake(kFromChoices.at(pChoices.from), kToChoices.at(pChoices.to));
    AddOpenedTitle(rows, intake, pPath, pOpened, kAppendRow);
    if (rows.Count() != 1) {
        measurement.Rejection = intake.rejection == RowReason::None ? RowReason::NotWave : intake.rejection;
        return measurement;
    }
    WatchRun host(pChoices, pOutputFolder);
    const std::vector<RowResult> results = RunMeasurement(rows, host, 1);
    if (!results.empty()) {
        measurement.Result = results.front();
    } else {
        measurement.Result.SourceFound = true;
        measurement.Result.Reason = StopSignalled() ? RowReason::Stopped : RowReason::NotMeasured;
    }
    return measurement;
}

bool IsHidden(const std::string& pName) { return !pName.empty() && pName.front() == '.'; }

bool IsWaveName(const std::string& pName) {
    const size_t length = std::strlen(kWaveExtension);
    if (IsHidden(pName) || pName.size() <= length) return false;
    std::string tail = pName.substr(pName.size() - length);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    return tail == kWaveExtension;
}

std::string NameOf(const std::string& pPath) { return pPath.substr(pPath.rfind('/') + 1); }
std::string FolderOf(const std::string& pPath) { return pPath.substr(0, pPath.rfind('/')); }

// pPath inside pFolder (or pFolder itself).
bool IsWithin(const std::string& pPath, const std::string& pFolder) {
    return pPath == pFolder || (pPath.size() > pFolder.size() && pPath.compare(0, pFolder.size(), pFolder) == 0 &&
                                (pFolder == "/" || pPath[pFolder.size()] == '/'));
}

// The states that pass by themselves: the file is taken again later.
bool PassesByItself(RowReason pReason) {
    return pReason == RowReason::Locked || pReason == RowReason::SourceInUse || pReason == RowReason::SourceChanged;
}

std::string UtcTime(std::int64_t pNs) {
    const auto seconds = static_cast<std::time_t>(pNs / static_cast<std::int64_t>(kNsPerSecond));
    std::tm parts{};
    ::gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string ErrorText(int pError) { return pError == 0 ? std::string() : std::strerror(pError); }

class Watcher {
public:
    explicit Watcher(const WatchOptions& pOptions)
        : mOptions(pOptions), mSettle(static_cast<std::int64_t>(pOptions.settle * kNsPerSecond)) {}

    int Run();

private:
    struct Outcome {
        std::string Path;
        Fate What = Fate::Again;
        FileStamp Stamp;
        std::uint64_t Hash = 0;
        FileMeasurement Measurement;
        std::string MovedTo;
        int MoveError = 0;
        // The file as it was opened, once: hashed, measured, copied and
        // moved through this descriptor.
        std::shared_ptr<const OpenedSource> Opened;
    };

    void Log(const std::string& pPath, const std::string& pText) {
        std::lock_guard lock(mOutputMutex);
        std::fprintf(stderr, "%s%s: %s\n", kLogPrefix, Printable(pPath).c_str(), pText.c_str());
        std::fflush(stderr);
    }
    std::string Relative(const std::string& pPath) const { return pPath.substr(mOptions.inDir.size() + 1); }
    std::string MirrorFolder(const std::string& pRoot, const std::string& pPath) const {
        const std::string relative = Relative(pPath);
        const size_t slash = relative.rfind('/');
        return slash == std::string::npos ? pRoot : pRoot + "/" + relative.substr(0, slash);
    }

    void Scan(const std::string& pFolder);
    void Consider(const std::string& pPath);
    void HandleEvents(const std::vector<platform::DirEvent>& pEvents, bool& pInDirGone);
    void ProcessBatch(const std::vector<std::string>& pPaths);
    Outcome Process(const std::string& pPath);
    void Finish(Outcome& pOutcome);
    std::string MoveAside(const Outcome& pOutcome, const std::string& pRoot, int& pError);
    std::string Describe(const Outcome& pOutcome) const;
    Json Members(const Outcome& pOutcome) const;

    const WatchOptions& mOptions;
    std::int64_t mSettle;  // ns
    SettleTracker mTracker{mSettle};
    platform::DirWatch mWatch;
    WatchJournal mJournal;
    std::mutex mOutputMutex;   // stdout and stderr
    std::mutex mJournalMutex;  // the journal and mFatal
    std::mutex mDeferMutex;
    std::vector<std::pair<std::string, FileStamp>> mDeferred;
    bool mFatal = false;                  // the journal cannot be written: stop taking files
    std::atomic<bool> mAnyFailed{false};  // a file ended in --failed (or would have)
};

void Watcher::Scan(const std::string& pFolder) {
    std::vector<platform::FolderEntry> entries;
    if (const int error = platform::ListFolder(pFolder, entries); error != 0) {
        Log(pFolder, "cannot list the folder: " + ErrorText(error));
        return;
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    for (const platform::FolderEntry& entry : entries) {
        const std::string path = pFolder + "/" + entry.Name;
        if (entry.Folder && mOptions.recursive && !IsHidden(entry.Name)) {
            // Watched before it is listed, so that nothing arriving in between is missed.
            if (!mOptions.once)
                if (const int error = mWatch.AddFolder(path); error != 0)
                    Log(path, "cannot watch the folder: " + ErrorText(error));
            Scan(path);
        } else if (entry.Regular && IsWaveName(entry.Name)) {
            Consider(path);
        }
    }
}

void Watcher::Consider(const std::string& pPath) {
    const FileStamp stamp = platform::StampOf(pPath);
    if (stamp.Valid && stamp.Regular) mTracker.Observe(pPath, stamp, platform::SteadyNowNs());
}

void Watcher::HandleEvents(const std::vector<platform::DirEvent>& pEvents, bool& pInDirGone) {
    for (const platform::DirEvent& event : pEvents) {
        switch (event.Kind) {
            case platform::DirEventKind::FileArrived:
                if (IsWaveName(NameOf(event.Path))) Consider(event.Path);
                break;
            case platform::DirEventKind::FolderAdded:
                if (!mOptions.recursive || IsHidden(NameOf(event.Path))) break;
                if (const int error = mWatch.AddFolder(event.Path); error != 0)
                    Log(event.Path, "cannot watch the folder: " + ErrorText(error));
                // Files may have arrived before the watch did.
                Scan(event.Path);
                break;
            case platform::DirEventKind::FolderGone:
                if (event.Path == mOptions.inDir) pInDirGone = true;
                break;
            case platform::DirEventKind::Overflow:
                Log(mOptions.inDir, "too many changes at once; looking at every file again");
                Scan(mOptions.inDir);
                break;
        }
    }
}

std::string Watcher::MoveAside(const Outcome& pOutcome, const std::string& pRoot, int& pError) {
    const std::string& pPath = pOutcome.Path;
    const std::string folder = MirrorFolder(pRoot, pPath);
    pError = platform::MakeFolderTree(folder);
    if (pError != 0) return {};
    const std::string name = NameOf(pPath);
    const size_t dot = name.rfind('.');
    const std::string base = name.substr(0, dot), extension = name.substr(dot);
    for (int number = 1; number <= kMostNumberedNames; ++number) {
        const std::string target =
            folder + "/" + (number == 1 ? name : base + "-" + std::to_string(number) + extension);
        // A reason file beside an earlier file of that name belongs to it.
        if (platform::StampOf(target + kReasonSuffix).Valid) continue;
        // Only the file that was processed moves: a file put under its name
        // meanwhile stays where it is.
        pError =
            pOutcome.Opened ? platform::MoveHeldFileNoReplace(pOutcome.Opened->Descriptor(), pPath, target) : ESTALE;
        if (pError == 0) return target;
        if (pError != EEXIST) return {};
    }
    pError = EEXIST;
    return {};
}

Watcher::Outcome Watcher::Process(const std::string& pPath) {
    Outcome outcome;
    outcome.Path = pPath;
    outcome.Stamp = platform::StampOf(pPath);
    if (!outcome.Stamp.Valid || !outcome.Stamp.Regular) {
        outcome.What = Fate::Vanished;
        return outcome;
    }
    // Opened once, never through a link: everything after this reads the
    // descriptor, and the name is only compared with it.
    int openError = 0;
    const int fd = platform::OpenRegularForReading(pPath, true, openError);
    if (fd < 0) {
        outcome.What = openError == ENOENT || openError == ELOOP || openError == ENXIO ? Fate::Vanished : Fate::Again;
        return outcome;
    }
    outcome.Opened = std::make_shared<OpenedSource>(fd);
    const platform::FileIdentity opened = platform::IdentityOf(fd);
    if (!opened.Valid || opened.Device != outcome.Stamp.Device || opened.Inode != outcome.Stamp.Inode) {
        outcome.What = Fate::Again;
        outcome.Measurement.Result.Reason = RowReason::SourceChanged;
        return outcome;
    }
    if (platform::CheckNoOtherWriters(fd) == EBUSY) {
        outcome.What = Fate::Again;
        outcome.Measurement.Result.Reason = RowReason::SourceInUse;
        return outcome;
    }
    if (const int error = HashDescriptorContent(fd, outcome.Hash); error != 0) {
        outcome.What = Fate::Again;
        return outcome;
    }
    // The hash must be of the file as it is measured.
    if (platform::StampOf(pPath) != outcome.Stamp || !platform::IdentityOf(fd).Unchanged(opened)) {
        outcome.What = Fate::Again;
        outcome.Measurement.Result.Reason = RowReason::SourceChanged;
        return outcome;
    }
    {
        std::lock_guard lock(mJournalMutex);
        if (mJournal.Contains({outcome.Stamp.Device, outcome.Stamp.Inode, outcome.Stamp.Size, outcome.Stamp.ModifiedNs,
                               outcome.Hash})) {
            outcome.What = Fate::Skipped;
            return outcome;
        }
    }
    const std::string outputFolder = MirrorFolder(mOptions.outDir, pPath);
    if (const int error = platform::MakeFolderTree(outputFolder); error != 0) {
        outcome.What = Fate::Failed;
        outcome.Measurement.Result.Reason = RowReason::WriteFailed;
        outcome.Measurement.Result.WriteError = error;
        return outcome;
    }
    Log(pPath, "processing");
    outcome.Measurement = MeasureFile(pPath, outcome.Opened, outputFolder, mOptions.choices);
    const RowResult& result = outcome.Measurement.Result;
    if (outcome.Measurement.Rejection == RowReason::Missing || result.Reason == RowReason::Missing)
        outcome.What = Fate::Vanished;
    else if (outcome.Measurement.Rejection != RowReason::None)
        outcome.What = Fate::Failed;
    else if (result.Reason == RowReason::Stopped || (StopSignalled() && !result.Written))
        outcome.What = Fate::Stopped;
    else if (result.Written)
        outcome.What = Fate::Done;
    else if (PassesByItself(result.Reason))
        outcome.What = Fate::Again;
    else
        outcome.What = Fate::Failed;
    return outcome;
}

std::string Watcher::Describe(const Outcome& pOutcome) const {
    const RowResult& result = pOutcome.Measurement.Result;
    std::string text;
    if (pOutcome.What == Fate::Done) {
        text = "written " + Printable(result.OutputPath) + " (" + result.LKFSText + " LKFS, gain " + result.GainText +
               " dB)";
    } else {
        const RowReason reason =
            pOutcome.Measurement.Rejection != RowReason::None ? pOutcome.Measurement.Rejection : result.Reason;
        text = std::string("failed: ") + Say(reason);
        if (result.WriteError != 0) text += " (" + ErrorText(result.WriteError) + ")";
    }
    if (!pOutcome.MovedTo.empty()) text += "; moved to " + Printable(pOutcome.MovedTo);
    if (pOutcome.MoveError != 0) text += "; cannot be moved: " + ErrorText(pOutcome.MoveError);
    return text;
}

Json Watcher::Members(const Outcome& pOutcome) const {
    const RowResult& result = pOutcome.Measurement.Result;
    const bool measured = result.Measured;
    const RowReason reason =
        pOutcome.Measurement.Rejection != RowReason::None ? pOutcome.Measurement.Rejection : result.Reason;
    Json row;
    PutPath(row, "source", pOutcome.Path);
    row["device"] = pOutcome.Stamp.Device;
    row["inode"] = pOutcome.Stamp.Inode;
    row["size"] = pOutcome.Stamp.Size;
    row["mtime_ns"] = pOutcome.Stamp.ModifiedNs;
    row["hash"] = "xxh64:" + HashText(pOutcome.Hash);
    if (result.Written)
        PutPath(row, "output", result.OutputPath);
    else
        row["output"] = nullptr;
    row["written"] = result.Written;
    row["lkfs"] = NumberOrNull(measured, result.LKFS);
    row["peak"] = NumberOrNull(measured, result.Peak);
    row["gain"] = NumberOrNull(measured && !result.GainText.empty(), result.Gain);
    row["gain_text"] = result.GainText;
    row["clip"] = result.Clip;
    row["reason"] = ReasonJson(reason);
    row["reason_text"] = ReasonTextJson(reason, result.WriteError);
    row["write_error"] = result.WriteError != 0 ? Json(ErrorText(result.WriteError)) : Json(nullptr);
    if (pOutcome.MovedTo.empty())
        row["moved_to"] = nullptr;
    else
        PutPath(row, "moved_to", pOutcome.MovedTo);
    row["move_error"] = pOutcome.MoveError != 0 ? Json(ErrorText(pOutcome.MoveError)) : Json(nullptr);
    AddChosenKeys(row, measured ? &result : nullptr, mOptions.choices.extras);
    row["time"] = UtcTime(platform::WallNowNs());
    return row;
}

// The order keeps every file: the copy is published (by the run), the
// source moved, and only then the journal line written. A crash before the
// line leaves a source that is done again, never one that is lost.
void Watcher::Finish(Outcome& pOutcome) {
    switch (pOutcome.What) {
        case Fate::Vanished:
            return;
        case Fate::Skipped:
            Log(pOutcome.Path, "done before (in the journal)");
            return;
        case Fate::Stopped:
            Log(pOutcome.Path, "stopped; left for the next start");
            return;
        case Fate::Again: {
            const RowReason reason = pOutcome.Measurement.Result.Reason;
            Log(pOutcome.Path, std::string(reason == RowReason::None ? "cannot be read yet" : Say(reason)) +
                                   (mOptions.once ? "; left for the next run" : "; waiting"));
            std::lock_guard lock(mDeferMutex);
            mDeferred.emplace_back(pOutcome.Path, platform::StampOf(pOutcome.Path));
            return;
        }
        case Fate::Done:
        case Fate::Failed:
            break;
    }
    const bool done = pOutcome.What == Fate::Done;
    if (!done) mAnyFailed = true;
    const std::string& root = done ? mOptions.doneDir : mOptions.failedDir;
    if (!root.empty()) pOutcome.MovedTo = MoveAside(pOutcome, root, pOutcome.MoveError);
    const Json fields = Members(pOutcome);
    if (!done && !pOutcome.MovedTo.empty()) {
        std::string reasonText = fields["reason"].is_null() ? "" : fields["reason"].get<std::string>();
        reasonText += "\n" + (fields["reason_text"].is_null() ? "" : fields["reason_text"].get<std::string>());
        if (!fields["write_error"].is_null()) reasonText += " (" + fields["write_error"].get<std::string>() + ")";
        reasonText += "\n" + Printable(pOutcome.Path) + "\n" + fields["time"].get<std::string>() + "\n";
        if (!platform::ReplaceFileAtomically(pOutcome.MovedTo + kReasonSuffix, reasonText))
            Log(pOutcome.MovedTo + kReasonSuffix, "cannot be written");
    }
    const std::string members = DumpJson(fields, -1);
    // The object's braces go; the journal puts its key first.
    const std::string inner = members.substr(1, members.size() - 2);
    const JournalKey key{pOutcome.Stamp.Device, pOutcome.Stamp.Inode, pOutcome.Stamp.Size, pOutcome.Stamp.ModifiedNs,
                         pOutcome.Hash};
    int error = 0;
    {
        std::lock_guard lock(mJournalMutex);
        error = mJournal.Record(key, inner);
        if (error != 0) mFatal = true;
    }
    if (error != 0) Log(mOptions.journal, "cannot write the journal: " + ErrorText(error) + "; stopping");
    Log(pOutcome.Path, Describe(pOutcome));
    if (mOptions.json) {
        std::lock_guard lock(mOutputMutex);
        std::printf("{\"key\":\"%s\",%s}\n", KeyText(key).c_str(), inner.c_str());
        std::fflush(stdout);
    }
}

void Watcher::ProcessBatch(const std::vector<std::string>& pPaths) {
    // Files whose copies share a name are done in order by one worker.
    std::map<std::string, std::vector<std::string>> byOutput;
    for (const std::string& path : pPaths) {
        std::string name = MirrorFolder(mOptions.outDir, path) + "/" +
                           PathPart(path, false, false, true, false, false, kLowerCase) + kWaveExtension;
        byOutput[name].push_back(path);
    }
    std::vector<std::vector<std::string>> groups;
    for (auto& [name, paths] : byOutput) groups.push_back(std::move(paths));
    std::mutex next;
    size_t nextGroup = 0;
    auto work = [&] {
        for (;;) {
            size_t group = 0;
            {
                std::lock_guard lock(next);
                if (nextGroup >= groups.size()) return;
                group = nextGroup++;
            }
            for (const std::string& path : groups[group]) {
                {
                    std::lock_guard lock(mJournalMutex);
                    if (mFatal) return;
                }
                if (StopSignalled()) return;
                Outcome outcome = Process(path);
                Finish(outcome);
            }
        }
    };
    const auto threads = static_cast<size_t>(std::clamp<std::int32_t>(
        JobCount(mOptions.choices.jobs), 1, static_cast<std::int32_t>(std::max<size_t>(groups.size(), 1))));
    std::vector<std::thread> pool;
    for (size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& thread : pool) thread.join();
}

int Watcher::Run() {
    if (const int error = mJournal.Open(mOptions.journal); error != 0) {
        std::fprintf(stderr, "sonivate-cli: --journal: %s: %s\n", Printable(mOptions.journal).c_str(),
                     error == EWOULDBLOCK ? "another watcher uses this journal" : ErrorText(error).c_str());
        return kExitFailed;
    }
    int error = mWatch.Open();
    if (error == 0 && !mOptions.once) error = mWatch.AddFolder(mOptions.inDir);
    if (error != 0) {
        std::fprintf(stderr, "sonivate-cli: cannot watch %s: %s\n", Printable(mOptions.inDir).c_str(),
                     ErrorText(error).c_str());
        return kExitFailed;
    }
    if (!mOptions.once) Log(mOptions.inDir, "watching; copies go to " + Printable(mOptions.outDir));
    Scan(mOptions.inDir);
    bool inDirGone = false;
    while (!StopSignalled() && !inDirGone) {
        std::vector<std::string> changed;
        const std::vector<std::string> ready =
            mTracker.TakeReady(platform::SteadyNowNs(), platform::StampOf, mOptions.once ? &changed : nullptr);
        for (const std::string& path : changed) {
            Log(path, "still changing; left for the next run");
            mTracker.Forget(path);
        }
        if (!ready.empty()) ProcessBatch(ready);
        if (mFatal) return kExitFailed;
        {
            const std::int64_t now = platform::SteadyNowNs();
            std::lock_guard lock(mDeferMutex);
            for (const auto& [path, stamp] : mDeferred)
                if (stamp.Valid && !mOptions.once) mTracker.Defer(path, stamp, now, kRetryHeldNs);
            mDeferred.clear();
        }
        if (mOptions.once && mTracker.Empty()) break;
        const std::int64_t due = mTracker.NextDueNs(platform::SteadyNowNs());
        std::vector<platform::DirEvent> events;
        // Rounded up, so that a file is never looked at before its time.
        error = mWatch.Wait(due < 0 ? -1 : (due + kNsPerMs - 1) / kNsPerMs, events);
        if (error != 0 && error != EINTR) {
            Log(mOptions.inDir, "cannot wait for changes: " + ErrorText(error));
            return kExitFailed;
        }
        if (!mOptions.once) HandleEvents(events, inDirGone);
    }
    if (inDirGone) {
        Log(mOptions.inDir, "the watched folder is gone");
        return kExitFailed;
    }
    if (StopSignalled()) Log(mOptions.inDir, "stopped");
    return mOptions.once && mAnyFailed ? kExitFailed : kExitOk;
}

// An absolute path without a slash at the end, every link resolved.
std::string Resolved(const std::string& pFolder) {
    const std::string absolute = AbsolutePath(pFolder);
    if (absolute.empty()) return {};
    return SetTrailingSeparator(CanonicalFolder(absolute), 1);
}

int CheckFolders(WatchOptions& pOptions) {
    pOptions.inDir = Resolved(pOptions.inDir);
    pOptions.outDir = Resolved(pOptions.outDir);
    if (pOptions.inDir.empty() || FolderExists(pOptions.inDir) == 0) {
        std::fprintf(stderr, "sonivate-cli: IN_DIR: not an existing folder\n");
        return kExitUsage;
    }
    if (pOptions.outDir.empty() || FolderExists(pOptions.outDir) == 0) {
        std::fprintf(stderr, "sonivate-cli: --output-dir: not an existing folder (nothing was written)\n");
        return kExitUsage;
    }
    // A copy must never land where it would be taken for a delivery, nor
    // replace one: the output, done and failed folders stay out of the watch.
    const auto feedsTheWatch = [&](const std::string& pFolder) {
        if (pFolder == pOptions.inDir || (pOptions.recursive && IsWithin(pFolder, pOptions.inDir)) ||
            IsWithin(pOptions.inDir, pFolder)) {
            std::fprintf(stderr, "sonivate-cli: %s: must be outside the watched folder (and not contain it)\n",
                         Printable(pFolder).c_str());
            return true;
        }
        return false;
    };
    if (feedsTheWatch(pOptions.outDir)) return kExitUsage;
    struct Named {
        const char* option;
        std::string* folder;
    };
    for (const Named& named : {Named{"--done", &pOptions.doneDir}, Named{"--failed", &pOptions.failedDir}}) {
        if (named.folder->empty()) continue;
        const std::string absolute = AbsolutePath(*named.folder);
        // Checked before it is made, and again once its links are resolved.
        if (absolute.empty() || feedsTheWatch(SetTrailingSeparator(absolute, 1))) return kExitUsage;
        if (platform::MakeFolderTree(absolute) != 0) {
            std::fprintf(stderr, "sonivate-cli: %s: cannot make the folder %s\n", named.option, named.folder->c_str());
            return kExitUsage;
        }
        *named.folder = Resolved(absolute);
        if (feedsTheWatch(*named.folder)) return kExitUsage;
    }
    if (pOptions.journal.empty()) {
        const char* state = std::getenv("XDG_STATE_HOME");
        const char* home = std::getenv("HOME");
        pOptions.journal = DefaultJournalPath(state ? state : "", home ? home : "", pOptions.inDir);
        if (pOptions.journal.empty()) {
            std::fprintf(stderr, "sonivate-cli: no journal: set --journal, XDG_STATE_HOME or HOME\n");
            return kExitUsage;
        }
    }
    pOptions.journal = AbsolutePath(pOptions.journal);
    if (platform::MakeFolderTree(FolderOf(pOptions.journal)) != 0) {
        std::fprintf(stderr, "sonivate-cli: --journal: cannot make the folder of %s\n", pOptions.journal.c_str());
        return kExitUsage;
    }
    return kExitOk;
}

}  // namespace

Command AddWatchCommand(CLI::App& pParent) {
    auto options = std::make_shared<WatchOptions>();
    Command command;
    CLI::App* app = pParent.add_subcommand(
        "watch", "Watch a folder: measure each new WAV file once complete and write its gain-adjusted copy");
    app->add_option("IN_DIR", options->inDir, "The folder deliveries arrive in")->required();
    app->add_option("--output-dir", options->outDir, "Existing folder for the copies (outside IN_DIR)")->required();
    app->add_option("--done", options->doneDir, "Move each source whose copy was written here");
    app->add_option("--failed", options->failedDir,
                    "Move each source that could not be done here, with <name>.reason.txt beside it");
    app->add_option("--settle", options->settle,
                    "Seconds a file must stay unchanged (and closed) before it is taken (default 5)")
        ->check(CLI::Range(0.0, 86400.0));
    app->add_flag("--recursive", options->recursive, "Also watch sub-folders (mirrored below the output folder)");
    app->add_flag("--once", options->once, "Process the files there now (after the settle time) and exit");
    app->add_option("--journal", options->journal,
                    "The journal of files done (default $XDG_STATE_HOME/sonivate/watch-<hash>.jsonl)");
    app->add_flag("--json", options->json, "One JSON line per file done on stdout");
    AddRunChoiceOptions(*app, options->choices);
    command.app = app;
    command.run = [options] {
        if (!ResolveRunChoices(options->choices)) return kExitUsage;
        if (const int status = CheckFolders(*options); status != kExitOk) return status;
        const StopOnSignals signals;
        Watcher watcher(*options);
        return watcher.Run();
    };
    return command;
}

}  // namespace sonivate::cli
