#pragma once
// How files get into a batch: each file is checked, its range fixed from the
// range choices and its cue markers, and a row made (BatchRow).

#include <cstdint>
#include <string>
#include <vector>

#include "app/row_reason.h"
#include "app/batch_rows.h"

namespace sonivate {

// The range choices: entry indices of the two drop-down lists.
inline constexpr std::int32_t kRangeFileStart = 0;  // "ファイル先頭"
inline constexpr std::int32_t kRangeBcStart = 1;    // "BC$START"
inline constexpr std::int32_t kRangeBcStandby = 2;  // "BC$STANDBY"
inline constexpr std::int32_t kRangeFileEnd = 0;    // "ファイル終端"
inline constexpr std::int32_t kRangeBcStop = 1;     // "BC$STOP"
inline constexpr std::int32_t kRangeBcEnd = 2;      // "BC$END"
extern const char* const kRangeStartEntries[3];
extern const char* const kRangeEndEntries[3];

// Rejection messages of the intake.
extern const char* const kMessageNotWav;       // not linear PCM
extern const char* const kMessageUnsupported;  // not 48000 Hz, 16/24 bit
extern const char* const kMessageTooShort;     // under one second

// What the intake needs from its host: the two range choices and a way to
// tell the operator about a rejected file.
class IntakeHost {
public:
    virtual ~IntakeHost() = default;
    // Entry index of the range start / end choice (kRange...); -1 when none is chosen.
    virtual std::int32_t RangeStartChoice() const = 0;
    virtual std::int32_t RangeEndChoice() const = 0;
    // pText is the reason, a line break ("\r\n") and the path.
    virtual void ShowRejection(const std::string& pText) = 0;
    // The same rejection as a value, for hosts that show it their own way;
    // called right before ShowRejection.
    virtual void Rejected(const std::string& /*pPath*/, RowReason /*pReason*/) {}
    // Which chosen markers a listed file lacked: a chosen start (end) marker
    // that the file does not have, or whose cue chunk the reader refused,
    // leaves the start (end) of the file. Called only when a marker was chosen.
    virtual void MarkersResolved(const std::string& /*pPath*/, const RangeMarkers& /*pMarkers*/) {}
};

// Checks one file and adds it as a row at pIndex (kAppendRow, or any index
// not below Count, appends). A file that is not 48000 Hz 16/24-bit
// linear PCM of at least one second gets no row; its reason goes to
// pHost.ShowRejection. A failing step is skipped when errors are trapped.
// Linear PCM includes WAVE_FORMAT_EXTENSIBLE with the PCM sub-format and
// all container bits valid. A path that is not a regular file (folder, FIFO,
// device, socket) is refused before it is opened, and one that cannot be
// read says so. The range never reaches past the frames the file holds,
// whatever its data chunk declares or its markers say.
// The extension every source and copy has: ".wav", in any letter case.
inline constexpr const char* kWavExtension = ".wav";
// True when pName ends in kWavExtension, in any letter case.
bool HasWavExtension(const std::string& pName);

void AddTitle(BatchRows& pList, IntakeHost& pHost, const std::string& pFilename, std::int32_t pIndex);
// The same for a source its owner has opened (pOpened, never null): the
// file is judged and its markers read through that descriptor, and the row
// keeps it for the run.
void AddOpenedTitle(BatchRows& pList, IntakeHost& pHost, const std::string& pFilename,
                    std::shared_ptr<const OpenedSource> pOpened, std::int32_t pIndex);

// Adds every "*.wav" file (extension in any letter case) of a folder, in
// the order the file system lists them. Returns how many were handed to
// AddTitle; 0 when pFolder is not a folder.
std::int32_t AddFolder(BatchRows& pList, IntakeHost& pHost, const std::string& pFolder);

// Files dropped on the list at row pRow (the row under the pointer, or
// Count below the last row): file k goes to row pRow + k, in drop order,
// whether or not the files before it were accepted.
void AddDroppedFiles(BatchRows& pList, IntakeHost& pHost, const std::vector<std::string>& pFiles, std::int32_t pRow);

// The command-line rule: a folder is added and then the whole list sorted
// by title; a file is appended; anything else is ignored.
void AddCommandLinePaths(BatchRows& pList, IntakeHost& pHost, const std::vector<std::string>& pPaths);

}  // namespace sonivate
