#pragma once
// Scripted hosts for the intake and the batch run.

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "app/file_list.h"
#include "app/measurement_run.h"
#include "gui/rows/file_list_view.h"

namespace sonivate::test {

class RecordingIntake : public IntakeHost {
public:
    RecordingIntake(std::int32_t pFrom = kRangeFileStart, std::int32_t pTo = kRangeFileEnd) : from(pFrom), to(pTo) {}
    std::int32_t RangeStartChoice() const override { return from; }
    std::int32_t RangeEndChoice() const override { return to; }
    void ShowRejection(const std::string& pText) override { rejections.push_back(pText); }
    void Rejected(const std::string&, RowReason pReason) override { reasons.push_back(pReason); }
    void MarkersResolved(const std::string&, const RangeMarkers& pMarkers) override { markers.push_back(pMarkers); }

    std::int32_t from, to;
    std::vector<std::string> rejections;
    std::vector<RowReason> reasons;
    std::vector<RangeMarkers> markers;
};

class RecordingRun : public RunHost {
public:
    std::string TargetLKFSText() const override { return target; }
    bool WavOutput() const override { return output; }
    std::string SoundPath() const override { return soundPath; }
    bool NoClip() const override { return noClip; }
    bool BroadcastExtras() const override { return extras; }
    double ToleranceLU() const override { return tolerance; }
    void ClearStopRequest() override { stop = false; }
    bool StopRequested() const override { return stop; }
    void ShowStatus(const std::string& pText) override {
        statuses.push_back(pText);
        if (onStatus) onStatus(pText);
    }
    void SetProgress(std::int32_t pValue) override { lastProgress = pValue; }
    void RunStarting() override { ++starts; }
    void RunFinished() override { ++finishes; }

    std::string target = "-24.0";
    bool output = false;
    std::string soundPath;
    bool noClip = true;
    bool extras = false;
    double tolerance = 0.0;
    std::atomic<bool> stop{false};
    std::vector<std::string> statuses;
    std::function<void(const std::string&)> onStatus;
    std::int32_t lastProgress = -1;
    int starts = 0;
    int finishes = 0;
};

}  // namespace sonivate::test

namespace sonivate {

// The batch over the window's list model, as most of these tests check the
// cells the operator sees: each call maps the model as the window does.
inline void AddTitle(ListViewModel& pList, IntakeHost& pHost, const std::string& pPath, std::int32_t pIndex) {
    ListViewRows rows(pList);
    AddTitle(rows, pHost, pPath, pIndex);
}
inline std::int32_t AddFolder(ListViewModel& pList, IntakeHost& pHost, const std::string& pFolder) {
    ListViewRows rows(pList);
    return AddFolder(rows, pHost, pFolder);
}
inline void AddDroppedFiles(ListViewModel& pList, IntakeHost& pHost, const std::vector<std::string>& pFiles,
                            std::int32_t pRow) {
    ListViewRows rows(pList);
    AddDroppedFiles(rows, pHost, pFiles, pRow);
}
inline void AddCommandLinePaths(ListViewModel& pList, IntakeHost& pHost, const std::vector<std::string>& pPaths) {
    ListViewRows rows(pList);
    AddCommandLinePaths(rows, pHost, pPaths);
}
inline std::vector<RowResult> RunMeasurement(ListViewModel& pList, RunHost& pHost, std::int32_t pJobs = 1) {
    ListViewRows rows(pList);
    return RunMeasurement(rows, pHost, pJobs);
}
inline std::vector<RowResult> RunMeasurementParallel(ListViewModel& pList, RunHost& pHost, std::int32_t pJobs) {
    return RunMeasurement(pList, pHost, pJobs);
}

}  // namespace sonivate
