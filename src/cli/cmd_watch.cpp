// sonivate-cli watch: a delivery folder normalised without a person at the
// window. Each new WAV file, once complete, is measured and written to the
// output folder as run --write --output-dir does it; the source then moves
// on (to --done or --failed), and a journal remembers every file's outcome,
// so that a restart never does a file twice and never forgets one.
//
// The rules (settling, retries, filing, the journal's order) are the core's
// WatchPolicy; this file gives it the options, the file operations, the
// workers and the output: log lines on stderr (with journald priorities when
// stderr is the journal), the --json lines on stdout, the status file, the
// service manager's notifications and the hooks.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <nlohmann/json.hpp>
#include <vector>

#include "app/batch_controller.h"
#include "app/row_store.h"
#include "app/file_list.h"
#include "app/measurement_run.h"
#include "app/output_target.h"
#include "app/watch_journal.h"
#include "app/watch_policy.h"
#include "cli/broadcast_output.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/run_options.h"
#include "cli/stop_signals.h"
#include "common/formatting.h"
#include "common/paths.h"
#include "platform/process_info.h"
#include "platform/dir_watch.h"
#include "platform/file_users.h"
#include "platform/pending_file.h"
#include "platform/service_notify.h"
#include "platform/small_file.h"
#include "platform/watch_support.h"
#include "wavefile/wave_check.h"

namespace sonivate::cli {
namespace {

using Json = nlohmann::ordered_json;
using platform::FileStamp;

constexpr double kDefaultSettleSeconds = 5.0;
constexpr double kNsPerSecond = 1e9;
constexpr std::int64_t kNsPerMs = 1000000;
// The rescan of a folder whose changes inotify does not all see (network
// and user-space file systems) when --rescan is not given, ns.
constexpr std::int64_t kNetworkRescanNs = 30000000000;
constexpr const char* kStatusSuffix = ".status.json";
constexpr const char* kJournalSuffix = ".jsonl";
// Numbered names tried when the done or failed folder has the name already.
constexpr int kMostNumberedNames = 9999;
constexpr const char* kReasonSuffix = ".reason.txt";
constexpr const char* kLogPrefix = "sonivate-cli watch: ";
// The status file is written again at least this often while nothing
// changes, so that its "updated" time tells a live watcher from a hung one, ns.
constexpr std::int64_t kStatusRefreshNs = 60000000000;
// Where the kernel tells a process its own id (the first field).

struct WatchOptions {
    std::string inDir;
    std::string outDir;
    std::string doneDir;
    std::string failedDir;
    std::string journal;
    std::string statusFile;
    std::string onDone, onFailed;           // shell commands run after each file
    double settle = kDefaultSettleSeconds;  // seconds
    double rescan = -1;                     // seconds; 0 never, < 0 only where inotify misses changes
    bool recursive = false;
    bool once = false;
    bool json = false;
    RunChoiceOptions choices;
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
    WatchRun(const RunChoiceOptions& pChoices, std::shared_ptr<const OutputTarget> pOutput)
        : mChoices(pChoices), mOutput(std::move(pOutput)) {}
    std::string TargetLKFSText() const override { return mChoices.target; }
    bool WavOutput() const override { return true; }
    std::string SoundPath() const override { return mOutput->FolderPath(); }
    // The mirrored output folder, entered without following links and held
    // before the file's run: never in place, whatever becomes of its name.
    std::shared_ptr<const OutputTarget> DecideOutput() const override { return mOutput; }
    // Anyone who may write to the watched folder may place a link there.
    bool NoFollow() const override { return true; }
    bool NoClip() const override { return OnClipOf(mChoices) == ClipAction::Skip; }
    ClipAction OnClip() const override { return OnClipOf(mChoices); }
    double CeilingDBTP() const override { return CeilingOf(mChoices); }
    double MaxReductionDB() const override { return mChoices.maxReduction; }
    double ToleranceLU() const override { return mChoices.toleranceLU; }
    bool BroadcastExtras() const override { return !mChoices.extras.noExtras; }
    BextLoudnessMode BextLoudness() const override { return BextModeOf(mChoices); }
    void ClearStopRequest() override {}
    bool StopRequested() const override { return StopSignalled(); }
    void ShowStatus(const std::string&) override {}
    void SetProgress(std::int32_t) override {}

private:
    const RunChoiceOptions& mChoices;
    std::shared_ptr<const OutputTarget> mOutput;
};

// The one use of the batch API: the file goes through the intake as a
// one-row list, which the run driver measures and writes like a row of run.
FileMeasurement MeasureFile(const std::string& pPath, const std::shared_ptr<const OpenedSource>& pOpened,
                            const std::shared_ptr<const OutputTarget>& pOutput, const RunChoiceOptions& pChoices) {
    FileMeasurement measurement;
    RowStore rows;
    SilentIntake intake(kFromChoices.at(pChoices.from), kToChoices.at(pChoices.to));
    AddOpenedTitle(rows, intake, pPath, pOpened, kAppendRow);
    if (rows.Count() != 1) {
        measurement.Rejection = intake.rejection == RowReason::None ? RowReason::NotWave : intake.rejection;
        return measurement;
    }
    WatchRun host(pChoices, pOutput);
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

// A name the watch takes: a WAV file's, not hidden (so never ".wav" alone).
bool IsWaveName(const std::string& pName) { return !IsHidden(pName) && HasWavExtension(pName); }

std::string NameOf(const std::string& pPath) { return pPath.substr(pPath.rfind('/') + 1); }
std::string FolderOf(const std::string& pPath) { return pPath.substr(0, pPath.rfind('/')); }

// pPath inside pFolder (or pFolder itself).
bool IsWithin(const std::string& pPath, const std::string& pFolder) {
    return pPath == pFolder || (pPath.size() > pFolder.size() && pPath.compare(0, pFolder.size(), pFolder) == 0 &&
                                (pFolder == "/" || pPath[pFolder.size()] == '/'));
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

// Log lines on stderr; with the journal as stderr each line carries the
// priority journald files it under (journalctl -p err shows the failures).
class WatchLog {
public:
    WatchLog() : mJournal(platform::StderrIsJournal()) {}

    void Line(WatchLevel pLevel, const std::string& pPath, const std::string& pText) {
        const char* priority = "";
        if (mJournal)
            priority = pLevel == WatchLevel::Error     ? platform::kPriorityError
                       : pLevel == WatchLevel::Warning ? platform::kPriorityWarning
                                                       : platform::kPriorityInfo;
        std::lock_guard lock(mMutex);
        if (pPath.empty())
            std::fprintf(stderr, "%s%s%s\n", priority, kLogPrefix, pText.c_str());
        else
            std::fprintf(stderr, "%s%s%s: %s\n", priority, kLogPrefix, Printable(pPath).c_str(), pText.c_str());
        std::fflush(stderr);
    }
    void Output(const std::string& pLine) {
        std::lock_guard lock(mMutex);
        std::printf("%s\n", pLine.c_str());
        std::fflush(stdout);
    }

private:
    bool mJournal;
    std::mutex mMutex;
};

// The file system side of the watch: every file opened once, never through
// a link; hashed, measured, copied and moved through that descriptor.
class CliWatchFiles final : public WatchFiles {
public:
    CliWatchFiles(const WatchOptions& pOptions, WatchLog& pLog) : mOptions(pOptions), mLog(pLog) {}

    std::string Relative(const std::string& pPath) const { return pPath.substr(mOptions.inDir.size() + 1); }
    std::string RelativeFolder(const std::string& pPath) const {
        const std::string relative = Relative(pPath);
        const size_t slash = relative.rfind('/');
        return slash == std::string::npos ? std::string() : relative.substr(0, slash);
    }
    std::string MirrorFolder(const std::string& pRoot, const std::string& pPath) const {
        const std::string folder = RelativeFolder(pPath);
        return folder.empty() ? pRoot : pRoot + "/" + folder;
    }

    FileStamp Stamp(const std::string& pPath) override { return platform::StampOf(pPath); }

    WatchLook Look(const std::string& pPath) override {
        WatchLook look;
        look.Path = pPath;
        look.Name = Relative(pPath);
        look.CopyPath = MirrorFolder(mOptions.outDir, pPath) + "/" +
                        PathPart(pPath, false, false, true, false, false, kLowerCase) + kWavExtension;
        look.Stamp = platform::StampOf(pPath);
        if (!look.Stamp.Valid || !look.Stamp.Regular) return look;
        int openError = 0;
        const int fd = platform::OpenRegularForReading(pPath, true, openError);
        if (fd < 0) {
            if (openError == ENOENT || openError == ELOOP || openError == ENXIO) return look;
            look.Kind = WatchLookKind::Trouble;
            look.Reason = RowReason::CannotOpen;
            look.Error = openError;
            return look;
        }
        auto opened = std::make_shared<OpenedSource>(fd);
        look.Held = opened;
        look.Kind = WatchLookKind::NotYet;
        const platform::FileIdentity identity = platform::IdentityOf(fd);
        if (!identity.Valid || identity.Device != look.Stamp.Device || identity.Inode != look.Stamp.Inode) {
            look.Reason = RowReason::SourceChanged;
            return look;
        }
        if (platform::CheckNoOtherWriters(fd) == EBUSY) {
            look.Reason = RowReason::SourceInUse;
            return look;
        }
        if (const int error = HashDescriptorContent(fd, look.Hash); error != 0) {
            look.Kind = WatchLookKind::Trouble;
            look.Reason = RowReason::NotMeasured;
            look.Error = error;
            return look;
        }
        // The hash must be of the file as it is measured.
        if (platform::StampOf(pPath) != look.Stamp || !platform::IdentityOf(fd).Unchanged(identity)) {
            look.Reason = RowReason::SourceChanged;
            return look;
        }
        // A file whose data ends before its header says is still arriving,
        // or was cut short: never measured nor published as it is.
        const WaveCheck check = CheckWave(pPath, HandleOfDescriptor(fd));
        look.Kind = check.Problem != WaveProblem::ReadFailed && check.IncompleteData() ? WatchLookKind::Incomplete
                                                                                       : WatchLookKind::Ready;
        return look;
    }

    WatchResult Run(const WatchLook& pLook) override {
        WatchResult result;
        // Made and entered without following a link anyone may have put
        // in its way, then held by the run: the copy lands in that folder.
        platform::HeldFolder out;
        if (const int error = out.MakeBelow(mOptions.outDir, RelativeFolder(pLook.Path)); error != 0) {
            result.Reason = RowReason::WriteFailed;
            result.Error = error;
            return result;
        }
        auto opened = std::static_pointer_cast<const OpenedSource>(pLook.Held);
        auto measurement = std::make_shared<FileMeasurement>(MeasureFile(
            pLook.Path, opened, OutputTarget::Held(out.Descriptor(), MirrorFolder(mOptions.outDir, pLook.Path)),
            mOptions.choices));
        const RowResult& row = measurement->Result;
        result.Reason = measurement->Rejection != RowReason::None ? measurement->Rejection : row.Reason;
        // Gone meanwhile: looked at again, and dropped then.
        if (result.Reason == RowReason::Missing) result.Reason = RowReason::SourceChanged;
        result.Error = row.WriteError;
        result.Written = row.Written;
        result.Measured = row.Measured;
        result.Stopped = result.Reason == RowReason::Stopped || (StopSignalled() && !row.Written);
        result.Detail = measurement;
        return result;
    }

    int MoveAside(const WatchLook& pLook, bool pDone, const std::string& pReasonText, std::string& pMovedTo) override {
        const std::string& root = pDone ? mOptions.doneDir : mOptions.failedDir;
        // The mirrored folder is entered without following links and held:
        // the source and its reason file land in that very folder.
        platform::HeldFolder held;
        if (const int error = held.MakeBelow(root, RelativeFolder(pLook.Path)); error != 0) return error;
        const std::string folder = MirrorFolder(root, pLook.Path);
        const std::string name = NameOf(pLook.Path);
        const size_t dot = name.rfind('.');
        const std::string base = name.substr(0, dot), extension = name.substr(dot);
        const auto opened = std::static_pointer_cast<const OpenedSource>(pLook.Held);
        std::string movedName;
        int error = EEXIST;
        for (int number = 1; number <= kMostNumberedNames && error == EEXIST; ++number) {
            const std::string target = number == 1 ? name : base + "-" + std::to_string(number) + extension;
            // A reason file (or anything) beside an earlier file of that name belongs to it.
            if (platform::StampOf(held.Path() + "/" + target + kReasonSuffix).Valid) continue;
            // Only the file that was processed moves: a file put under its
            // name meanwhile stays where it is.
            error = opened
                        ? platform::MoveHeldFileNoReplace(opened->Descriptor(), pLook.Path, held.Path() + "/" + target)
                        : ESTALE;
            if (error == 0) movedName = target;
        }
        if (error != 0) return error;
        pMovedTo = folder + "/" + movedName;
        if (pDone) return 0;
        const std::string text =
            pReasonText + "\n" + Printable(pLook.Path) + "\n" + UtcTime(platform::WallNowNs()) + "\n";
        if (const int reasonError = platform::WriteNewFileAt(held.Descriptor(), movedName + kReasonSuffix, text);
            reasonError != 0)
            mLog.Line(WatchLevel::Error, pMovedTo + kReasonSuffix, "cannot be written: " + ErrorText(reasonError));
        return 0;
    }

    std::string Describe(const WatchLook& pLook, const WatchResult* pResult, const std::string& pMovedTo,
                         int pMoveError) override {
        const auto* measurement =
            pResult != nullptr ? static_cast<const FileMeasurement*>(pResult->Detail.get()) : nullptr;
        const RowResult none;
        const RowResult& row = measurement != nullptr ? measurement->Result : none;
        const bool measured = row.Measured;
        const RowReason reason = pResult != nullptr ? pResult->Reason : RowReason::None;
        const int writeError = pResult != nullptr ? pResult->Error : 0;
        Json fields;
        PutPath(fields, "source", pLook.Path);
        fields["size"] = pLook.Stamp.Size;
        fields["mtime_ns"] = pLook.Stamp.ModifiedNs;
        fields["hash"] = "xxh64:" + HashText(pLook.Hash);
        if (row.Written)
            PutPath(fields, "output", row.OutputPath);
        else
            fields["output"] = nullptr;
        fields["written"] = row.Written;
        fields["lkfs"] = NumberOrNull(measured, row.LKFS);
        fields["peak"] = NumberOrNull(measured, row.Peak);
        fields["gain"] = NumberOrNull(measured && !row.GainText.empty(), row.Gain);
        fields["gain_text"] = row.GainText;
        fields["clip"] = row.Clip;
        fields["reason"] = ReasonJson(reason);
        fields["reason_text"] = ReasonTextJson(reason, writeError);
        fields["write_error"] = writeError != 0 ? Json(ErrorText(writeError)) : Json(nullptr);
        if (pMovedTo.empty())
            fields["moved_to"] = nullptr;
        else
            PutPath(fields, "moved_to", pMovedTo);
        fields["move_error"] = pMoveError != 0 ? Json(ErrorText(pMoveError)) : Json(nullptr);
        AddChosenKeys(fields, measured ? &row : nullptr, mOptions.choices.extras);
        if (OnClipOf(mOptions.choices) != ClipAction::Skip) AddClipKeys(fields, measured ? &row : nullptr);
        // Only with a tolerance: the copy is the source byte for byte.
        if (mOptions.choices.toleranceLU > 0.0) fields["within_tolerance"] = row.WithinTolerance;
        const ExtrasChoice& extras = mOptions.choices.extras;
        if (!extras.noExtras) {
            const bool figures = measured && row.Broadcast;
            const std::optional<FileVerdicts> verdicts = RowVerdicts(measured ? &row : nullptr, extras);
            AddDownmixKeys(fields, figures ? ValuesOf(*row.Broadcast) : BroadcastValues{},
                           extras.profile ? &*extras.profile : nullptr, verdicts ? &*verdicts : nullptr);
        }
        fields["time"] = UtcTime(platform::WallNowNs());
        const std::string members = DumpJson(fields, -1);
        // The object's braces go; the journal puts its own members first.
        return members.substr(1, members.size() - 2);
    }

private:
    const WatchOptions& mOptions;
    WatchLog& mLog;
};

// The policy's news as log lines, --json lines and hooks.
class CliReport final : public WatchReport {
public:
    CliReport(const WatchOptions& pOptions, WatchLog& pLog) : mOptions(pOptions), mLog(pLog) {}

    void Note(WatchLevel pLevel, const std::string& pPath, const std::string& pText) override {
        mLog.Line(pLevel, pPath.empty() ? mOptions.journal : pPath, pText);
    }

    void Filed(const std::string& pPath, bool pWritten, const std::string& pLine) override {
        const Json line = Json::parse(pLine, nullptr, false);
        std::string text;
        const auto string = [&](const char* pName) {
            return line.contains(pName) && line[pName].is_string() ? line[pName].get<std::string>() : std::string();
        };
        const bool unchanged = line.contains("within_tolerance") && line["within_tolerance"].is_boolean() &&
                               line["within_tolerance"].get<bool>();
        if (pWritten && unchanged) {
            // Its gain was not applied: the copy is the source byte for byte.
            text = "written " + Printable(string("output")) + " (" + FormatNumber(line, "lkfs") +
                   " LKFS, left unchanged: within tolerance)";
        } else if (pWritten) {
            text = "written " + Printable(string("output")) + " (" + FormatNumber(line, "lkfs") + " LKFS, gain " +
                   string("gain_text") + " dB)";
        } else {
            text = "failed: " + string("reason_text");
            if (!string("write_error").empty()) text += " (" + string("write_error") + ")";
        }
        if (!string("moved_to").empty()) text += "; moved to " + Printable(string("moved_to"));
        const bool stuck = !string("move_error").empty();
        // Said once, at error level: the source stays and is not taken again.
        if (stuck) text += "; cannot be moved: " + string("move_error") + "; left in place";
        mLog.Line(pWritten && !stuck ? WatchLevel::Info : WatchLevel::Error, pPath, text);
        if (mOptions.json) mLog.Output(pLine);
        const std::string& hook = pWritten ? mOptions.onDone : mOptions.onFailed;
        if (hook.empty()) return;
        pid_t pid = 0;
        if (const int error = platform::StartCommand(hook, pLine + "\n", pid); error != 0)
            mLog.Line(WatchLevel::Warning, pPath, "the hook cannot be started: " + ErrorText(error));
        else
            mHooks.push_back(pid);
    }

    // Collects the hooks that have ended (pWait: waits for all); true while any runs.
    bool ReapHooks(bool pWait = false) {
        std::erase_if(mHooks, [this, pWait](pid_t pPid) {
            int status = 0;
            if (!platform::ReapCommand(pPid, status, pWait)) return false;
            if (status != 0) mLog.Line(WatchLevel::Warning, {}, "a hook ended with status " + std::to_string(status));
            return true;
        });
        return !mHooks.empty();
    }

private:
    static std::string FormatNumber(const Json& pLine, const char* pName) {
        if (!pLine.contains(pName) || !pLine[pName].is_number()) return "-";
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", pLine[pName].get<double>());
        return text;
    }

    const WatchOptions& mOptions;
    WatchLog& mLog;
    std::vector<pid_t> mHooks;
};

class Watcher {
public:
    explicit Watcher(const WatchOptions& pOptions)
        : mOptions(pOptions), mFiles(pOptions, mLog), mReport(pOptions, mLog) {}
    // The workers end before the policy they report to.
    ~Watcher() { mExecutor.reset(); }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    int Run();

private:
    void Scan(const std::string& pFolder);
    void Consider(const std::string& pPath);
    void HandleEvents(const std::vector<platform::DirEvent>& pEvents, bool& pInDirGone);
    void Post(std::function<void()> pTask);
    bool RunPosted();
    void WaitForPosted();
    void PublishStatus(bool pRunning = true);

    const WatchOptions& mOptions;
    WatchLog mLog;
    CliWatchFiles mFiles;
    CliReport mReport;
    platform::FolderLock mLock;
    platform::DirWatch mWatch;
    WatchJournal mJournal;
    std::mutex mPostedMutex;
    std::condition_variable mPostedWake;
    std::deque<std::function<void()>> mPosted;  // the workers' results, run on this thread
    std::unique_ptr<WatchPolicy> mPolicy;
    std::unique_ptr<ThreadExecutor> mExecutor;
    std::string mLastStatus;
    std::int64_t mStatusDueNs = 0;  // steady clock: the next write even without a change
    std::int64_t mPid = platform::ProcessId();
};

void Watcher::Post(std::function<void()> pTask) {
    {
        std::lock_guard lock(mPostedMutex);
        mPosted.push_back(std::move(pTask));
    }
    mPostedWake.notify_one();
    mWatch.Wake();
}

bool Watcher::RunPosted() {
    bool ran = false;
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(mPostedMutex);
            if (mPosted.empty()) return ran;
            task = std::move(mPosted.front());
            mPosted.pop_front();
        }
        task();
        ran = true;
    }
}

void Watcher::WaitForPosted() {
    std::unique_lock lock(mPostedMutex);
    mPostedWake.wait(lock, [this] { return !mPosted.empty(); });
}

void Watcher::Scan(const std::string& pFolder) {
    std::vector<platform::FolderEntry> entries;
    if (const int error = platform::ListFolder(pFolder, entries); error != 0) {
        mLog.Line(WatchLevel::Error, pFolder, "cannot list the folder: " + ErrorText(error));
        return;
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    for (const platform::FolderEntry& entry : entries) {
        const std::string path = pFolder + "/" + entry.Name;
        if (entry.Folder && mOptions.recursive && !IsHidden(entry.Name)) {
            // Watched before it is listed, so that nothing arriving in between is missed.
            if (!mOptions.once)
                if (const int error = mWatch.AddFolder(path); error != 0)
                    mLog.Line(WatchLevel::Error, path, "cannot watch the folder: " + ErrorText(error));
            Scan(path);
        } else if (entry.Regular && IsWaveName(entry.Name)) {
            Consider(path);
        }
    }
}

void Watcher::Consider(const std::string& pPath) { mPolicy->Observe(pPath); }

void Watcher::HandleEvents(const std::vector<platform::DirEvent>& pEvents, bool& pInDirGone) {
    for (const platform::DirEvent& event : pEvents) {
        switch (event.Kind) {
            case platform::DirEventKind::FileArrived:
                if (IsWaveName(NameOf(event.Path))) Consider(event.Path);
                break;
            case platform::DirEventKind::FolderAdded:
                if (!mOptions.recursive || IsHidden(NameOf(event.Path))) break;
                if (const int error = mWatch.AddFolder(event.Path); error != 0)
                    mLog.Line(WatchLevel::Error, event.Path, "cannot watch the folder: " + ErrorText(error));
                // Files may have arrived before the watch did.
                Scan(event.Path);
                break;
            case platform::DirEventKind::FolderGone:
                if (event.Path == mOptions.inDir) pInDirGone = true;
                break;
            case platform::DirEventKind::Overflow:
                mLog.Line(WatchLevel::Warning, mOptions.inDir, "too many changes at once; looking at every file again");
                Scan(mOptions.inDir);
                break;
        }
    }
}

// The status file (JSON) and the service manager's status line.
void Watcher::PublishStatus(bool pRunning) {
    const WatchCounts counts = mPolicy->Counts();
    Json status;
    PutPath(status, "folder", mOptions.inDir);
    status["running"] = pRunning;
    status["pid"] = mPid;
    status["done"] = counts.Done;
    status["failed"] = counts.Failed;
    status["waiting"] = counts.Waiting;
    status["retrying"] = counts.Retrying;
    status["in_progress"] = counts.InProgress;
    status["processing"] = counts.InProgressFile.empty() ? Json(nullptr) : Json(Printable(counts.InProgressFile));
    if (counts.OldestWaiting.empty()) {
        status["oldest_waiting"] = nullptr;
        status["oldest_waiting_since"] = nullptr;
    } else {
        PutPath(status, "oldest_waiting", counts.OldestWaiting);
        status["oldest_waiting_since"] =
            UtcTime(platform::WallNowNs() - (platform::SteadyNowNs() - counts.OldestWaitingNs));
    }
    status["last_error"] = counts.LastError.empty() ? Json(nullptr) : Json(Printable(counts.LastError));
    status["last_success"] = counts.LastSuccess.empty() ? Json(nullptr) : Json(Printable(counts.LastSuccess));
    const auto pathOrNull = [&](const char* pName, const std::string& pPath) {
        if (pPath.empty())
            status[pName] = nullptr;
        else
            PutPath(status, pName, pPath);
    };
    status["left_in_place"] = counts.LeftInPlace;
    pathOrNull("left_in_place_latest", counts.LeftInPlaceFile);
    status["unreadable"] = counts.Unreadable;
    pathOrNull("unreadable_latest", counts.UnreadableFile);
    const std::string text = DumpJson(status, 2) + "\n";
    const std::int64_t now = platform::SteadyNowNs();
    if (text == mLastStatus && now < mStatusDueNs) return;
    mLastStatus = text;
    mStatusDueNs = now + kStatusRefreshNs;
    // Last, so that the comparison above sees only what the watch knows.
    status["updated"] = UtcTime(platform::WallNowNs());
    if (!mOptions.statusFile.empty() &&
        !platform::ReplaceFileAtomically(mOptions.statusFile, DumpJson(status, 2) + "\n"))
        mLog.Line(WatchLevel::Warning, mOptions.statusFile, "cannot be written");
    std::string line = std::to_string(counts.Done) + " done, " + std::to_string(counts.Failed) + " failed, " +
                       std::to_string(counts.Waiting) + " waiting, " + std::to_string(counts.Retrying) + " retrying, " +
                       std::to_string(counts.InProgress) + " in progress";
    if (!counts.InProgressFile.empty()) line += "; processing " + Printable(NameOf(counts.InProgressFile));
    if (!counts.LastSuccess.empty()) line += "; last done: " + Printable(NameOf(counts.LastSuccess));
    if (counts.LeftInPlace != 0) line += "; " + std::to_string(counts.LeftInPlace) + " left in place";
    if (counts.Unreadable != 0) line += "; " + std::to_string(counts.Unreadable) + " unreadable";
    platform::NotifyStatus(line);
}

int Watcher::Run() {
    // One watcher per folder, whatever journal each is given.
    if (const int error = mLock.Lock(mOptions.inDir); error != 0) {
        std::fprintf(stderr, "sonivate-cli: %s: %s\n", Printable(mOptions.inDir).c_str(),
                     error == EWOULDBLOCK ? "another watcher watches this folder" : ErrorText(error).c_str());
        return kExitFailed;
    }
    if (const int error = mJournal.Open(mOptions.journal); error != 0) {
        std::fprintf(stderr, "sonivate-cli: --journal: %s: %s\n", Printable(mOptions.journal).c_str(),
                     error == EWOULDBLOCK ? "another watcher uses this journal" : ErrorText(error).c_str());
        return kExitFailed;
    }
    if (mJournal.Compacted() != 0)
        mLog.Line(WatchLevel::Info, mOptions.journal,
                  "compacted: " + std::to_string(mJournal.Compacted()) + " old or damaged lines dropped");
    int error = mWatch.Open();
    if (error == 0 && !mOptions.once) error = mWatch.AddFolder(mOptions.inDir);
    if (error != 0) {
        std::fprintf(stderr, "sonivate-cli: cannot watch %s: %s\n", Printable(mOptions.inDir).c_str(),
                     ErrorText(error).c_str());
        return kExitFailed;
    }
    std::int64_t rescanNs = static_cast<std::int64_t>(mOptions.rescan * kNsPerSecond);
    if (mOptions.rescan < 0) {
        rescanNs = platform::ChangesAreAllSeen(mOptions.inDir) ? 0 : kNetworkRescanNs;
        if (rescanNs > 0 && !mOptions.once)
            mLog.Line(WatchLevel::Info, mOptions.inDir,
                      "a network or user-space file system: looked through every " +
                          std::to_string(rescanNs / static_cast<std::int64_t>(kNsPerSecond)) + " s");
    }
    WatchSettings settings;
    settings.SettleNs = static_cast<std::int64_t>(mOptions.settle * kNsPerSecond);
    settings.Jobs = JobCount(mOptions.choices.jobs);
    settings.Once = mOptions.once;
    settings.DoneFolder = !mOptions.doneDir.empty();
    settings.FailedFolder = !mOptions.failedDir.empty();
    mExecutor = std::make_unique<ThreadExecutor>([this](std::function<void()> pTask) { Post(std::move(pTask)); },
                                                 settings.Jobs);
    mPolicy = std::make_unique<WatchPolicy>(settings, mFiles, mJournal, mReport, *mExecutor, platform::SteadyNowNs);
    if (!mOptions.once)
        mLog.Line(WatchLevel::Info, mOptions.inDir, "watching; copies go to " + Printable(mOptions.outDir));
    Scan(mOptions.inDir);
    platform::NotifyReady();
    const std::int64_t keepAliveNs = platform::WatchdogKeepAliveNs();
    std::int64_t nextKeepAlive = 0, nextRescan = platform::SteadyNowNs() + rescanNs;
    bool inDirGone = false;
    int status = kExitOk;
    for (;;) {
        RunPosted();
        mReport.ReapHooks();
        if (mPolicy->Fatal()) {
            status = kExitFailed;
            break;
        }
        if (StopSignalled()) {
            // The files in progress are abandoned at their next progress
            // event: no copy, no line, done again on the next start.
            mPolicy->Stop();
            if (mPolicy->Quiet()) break;
            WaitForPosted();
            continue;
        }
        mPolicy->Pump();
        if (mOptions.once && mPolicy->Idle()) break;
        PublishStatus();
        const std::int64_t now = platform::SteadyNowNs();
        if (keepAliveNs > 0 && now >= nextKeepAlive) {
            platform::NotifyWatchdog();
            nextKeepAlive = now + keepAliveNs;
        }
        if (rescanNs > 0 && now >= nextRescan) {
            Scan(mOptions.inDir);
            nextRescan = now + rescanNs;
            continue;
        }
        std::int64_t due = mPolicy->NextDueNs();
        const auto sooner = [&due](std::int64_t pDue) { due = due < 0 ? pDue : std::min(due, pDue); };
        if (keepAliveNs > 0) sooner(std::max<std::int64_t>(nextKeepAlive - now, 0));
        sooner(std::max<std::int64_t>(mStatusDueNs - now, 0));
        if (rescanNs > 0) sooner(std::max<std::int64_t>(nextRescan - now, 0));
        std::vector<platform::DirEvent> events;
        // Rounded up, so that a file is never looked at before its time.
        error = mWatch.Wait(due < 0 ? -1 : (due + kNsPerMs - 1) / kNsPerMs, events);
        if (error != 0 && error != EINTR) {
            mLog.Line(WatchLevel::Error, mOptions.inDir, "cannot wait for changes: " + ErrorText(error));
            status = kExitFailed;
            break;
        }
        if (!mOptions.once) HandleEvents(events, inDirGone);
        if (inDirGone) {
            mLog.Line(WatchLevel::Error, mOptions.inDir, "the watched folder is gone");
            status = kExitFailed;
            break;
        }
    }
    platform::NotifyStopping();
    mPolicy->Stop();
    // The workers end (a stopped run at its next progress event) before the
    // policy and its journal go.
    mExecutor.reset();
    RunPosted();
    PublishStatus(false);
    // A single pass ends with its alerts sent; a stopping service leaves them.
    if (mOptions.once) mReport.ReapHooks(true);
    if (StopSignalled()) mLog.Line(WatchLevel::Info, mOptions.inDir, "stopped");
    if (status != kExitOk) return status;
    return mOptions.once && mPolicy->AnyFailed() ? kExitFailed : kExitOk;
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
    if (pOptions.statusFile.empty()) {
        const std::string& journal = pOptions.journal;
        const size_t suffix = std::strlen(kJournalSuffix);
        const bool jsonl =
            journal.size() > suffix && journal.compare(journal.size() - suffix, suffix, kJournalSuffix) == 0;
        pOptions.statusFile = (jsonl ? journal.substr(0, journal.size() - suffix) : journal) + kStatusSuffix;
    }
    pOptions.statusFile = AbsolutePath(pOptions.statusFile);
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
    app->add_flag("--json", options->json, "One JSON line per file done or failed on stdout (its journal line)");
    app->add_option("--status-file", options->statusFile,
                    "Counts of done, failed, waiting and retrying files in JSON (default: the journal's name "
                    "with .status.json)");
    app->add_option("--rescan", options->rescan,
                    "Look through the folder every SECONDS too (default: 30 on network file systems, else never)")
        ->check(CLI::Range(0.0, 86400.0));
    app->add_option("--on-done", options->onDone,
                    "Shell command run after each file written, its JSON line on standard input");
    app->add_option("--on-failed", options->onFailed,
                    "Shell command run after each file failed, its JSON line on standard input");
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
