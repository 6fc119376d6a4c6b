#include "app/file_list.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>

#include "common/basic_file.h"
#include "common/error_trap.h"
#include "common/formatting.h"
#include "common/paths.h"
#include "platform/folder_entries.h"
#include "platform/pending_file.h"
#include "wavefile/wave_bwfj.h"
#include "wavefile/wave_check.h"
#include "wavefile/wave_extensible.h"
#include "wavefile/wave_mmio.h"
#include "writer/edit_wave.h"

namespace sonivate {

const char* const kRangeStartEntries[3] = {"ファイル先頭", "BC$START", "BC$STANDBY"};
const char* const kRangeEndEntries[3] = {"ファイル終端", "BC$STOP", "BC$END"};
const char* const kMessageNotWav = "正しいwavファイルではありません";
const char* const kMessageUnsupported = "48000Hz、16/24bitのwavファイルのみ対応しています";
const char* const kMessageTooShort = "短すぎます";

namespace {

constexpr const char* kLineBreak = "\r\n";

const char* MessageOf(RowReason pReason) {
    switch (pReason) {
        // Whatever is no WAV file of linear PCM gets the one text the
        // operator knows for it.
        case RowReason::NotPcm:
        case RowReason::NotWave:
        case RowReason::NoData:
            return kMessageNotWav;
        case RowReason::UnsupportedFormat:
            return kMessageUnsupported;
        case RowReason::TooShort:
            return kMessageTooShort;
        default:
            return ReasonText(pReason, MessageLanguage::Japanese);
    }
}

}  // namespace

namespace {

void Intake(BatchRows& pList, IntakeHost& pHost, const std::string& pFilename,
            const std::shared_ptr<const OpenedSource>& pOpened, std::int32_t pIndex) {
    // Each step runs on its own: with errors trapped, a failing step is
    // skipped and the next one still runs (an unreadable cue chunk leaves
    // the range at the whole file).
    FileHandle handle = 0;
    WaveCheck check;
    RowReason rejection = RowReason::None;
    BatchRow row;
    row.Path = pFilename;
    row.Opened = pOpened;

    Trap([&] {
        // Nothing that is not a regular file is opened: a FIFO would wait
        // for a writer forever.
        if (pOpened) {
            // A view of the owner's descriptor: closed by the owner, not here.
            check = CheckWave(pFilename, HandleOfDescriptor(pOpened->Descriptor()));
            rejection = ReasonOfCheck(check);
            return;
        }
        const platform::PathKind kind = platform::KindOfPath(pFilename);
        if (kind == platform::PathKind::Folder || kind == platform::PathKind::Other) {
            rejection = RowReason::NotRegular;
            return;
        }
        errno = 0;
        handle = OpenFileHandle(pFilename, kOpenRead);
        if (handle == 0) {
            rejection = ReasonOfOpenError(errno);
            return;
        }
        check = CheckWave(pFilename, handle);
        rejection = ReasonOfCheck(check);
    });
    const WaveFormatInfo& info = check.Info();
    if (rejection == RowReason::None) {
        // A data chunk may declare more than the file holds (cut short, or
        // still being written): the range covers the frames present.
        const std::int64_t framesPresent = check.Frames;
        Trap([&] {
            row.Start = 0;
            row.End = framesPresent;
        });
        Trap([&] {
            const std::int32_t from = pHost.RangeStartChoice();
            const std::int32_t to = pHost.RangeEndChoice();
            row.Markers.StartChosen = from > 0;
            row.Markers.EndChosen = to > 0;
            if (from <= 0 && to <= 0) return;
            std::vector<CueMarker> markers;
            const FileHandle markerHandle = pOpened ? HandleOfDescriptor(pOpened->Descriptor()) : handle;
            const std::int32_t count = ReadCueMarkers(pFilename, markerHandle, markers);
            for (std::int32_t m = 0; m < count && m < static_cast<std::int32_t>(markers.size()); ++m) {
                const CueMarker& marker = markers[static_cast<size_t>(m)];
                // A marker on the very first frame is a marker too.
                if (marker.SampleOffset < 0) continue;
                const std::string label = AsciiUpper(marker.Label);
                if ((label == "BC$START" && from == kRangeBcStart) ||
                    (label == "BC$STANDBY" && from == kRangeBcStandby)) {
                    row.Start = std::min<std::int64_t>(marker.SampleOffset, framesPresent);
                    row.Markers.StartFound = true;
                }
                if ((label == "BC$STOP" && to == kRangeBcStop) || (label == "BC$END" && to == kRangeBcEnd)) {
                    row.End = std::min<std::int64_t>(marker.SampleOffset, framesPresent);
                    row.Markers.EndFound = true;
                }
            }
        });
        if (row.Markers.StartChosen || row.Markers.EndChosen)
            Trap([&] { pHost.MarkersResolved(pFilename, row.Markers); });
        Trap([&] { row.Title = PathPart(pFilename, false, false, true, false, false, kKeepCase); });
        Trap([&] {
            if (info.SampleRate == 0) throw RunTimeError("division by zero");
            const double milliseconds =
                std::nearbyint(static_cast<double>(row.End - row.Start) / info.SampleRate * 1000.0);
            const std::int32_t noSign = 0;
            row.LengthText = FormatDuration(CheckedNarrow<std::int32_t>(milliseconds), kDurationStyleClock, noSign);
        });
        Trap([&] { pList.Insert(pIndex, row); });
    }
    CloseFileHandle(handle);
    if (rejection != RowReason::None) {
        Trap([&] { pHost.Rejected(pFilename, rejection); });
        Trap([&] { pHost.ShowRejection(std::string(MessageOf(rejection)) + kLineBreak + pFilename); });
    }
}

}  // namespace

void AddTitle(BatchRows& pList, IntakeHost& pHost, const std::string& pFilename, std::int32_t pIndex) {
    Intake(pList, pHost, pFilename, nullptr, pIndex);
}

void AddOpenedTitle(BatchRows& pList, IntakeHost& pHost, const std::string& pFilename,
                    std::shared_ptr<const OpenedSource> pOpened, std::int32_t pIndex) {
    Intake(pList, pHost, pFilename, pOpened, pIndex);
}

std::int32_t AddFolder(BatchRows& pList, IntakeHost& pHost, const std::string& pFolder) {
    return Trapped<std::int32_t>(0, [&] {
        if (FolderExists(pFolder) == 0) return 0;
        const std::string folder = SetTrailingSeparator(pFolder, 0);
        std::vector<std::string> entries;
        if (!platform::FolderEntries(folder, entries) && entries.empty()) return 0;
        std::vector<std::string> names;
        for (const std::string& name : entries)
            if (HasWavExtension(name) && FolderExists(folder + name) == 0) names.push_back(name);
        std::int32_t count = 0;
        for (const std::string& name : names) {
            AddTitle(pList, pHost, folder + name, kAppendRow);
            ++count;
        }
        return count;
    });
}

void AddDroppedFiles(BatchRows& pList, IntakeHost& pHost, const std::vector<std::string>& pFiles, std::int32_t pRow) {
    for (size_t k = 0; k < pFiles.size(); ++k) AddTitle(pList, pHost, pFiles[k], pRow + static_cast<std::int32_t>(k));
}

void AddCommandLinePaths(BatchRows& pList, IntakeHost& pHost, const std::vector<std::string>& pPaths) {
    for (const std::string& path : pPaths) {
        Trap([&] {
            if (FolderExists(path) == 1) {
                AddFolder(pList, pHost, path);
                pList.SortByTitle();
            } else if (FileExists(path) == 1) {
                AddTitle(pList, pHost, path, kAppendRow);
            }
        });
    }
}

bool HasWavExtension(const std::string& pName) {
    const size_t n = std::char_traits<char>::length(kWavExtension);
    return pName.size() >= n && AsciiLower(pName.substr(pName.size() - n)) == kWavExtension;
}

}  // namespace sonivate
