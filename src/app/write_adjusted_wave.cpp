#include "app/write_adjusted_wave.h"

#include <algorithm>
#include <cstddef>

#include "common/basic_file.h"
#include "common/error_trap.h"
#include "common/paths.h"
#include "wavefile/wave_mmio.h"
#include "writer/edit_wave.h"
#include "platform/file_names.h"

namespace sonivate {
namespace {

// Step labels, appended directly to the title.
const std::string kStepHeader = " 書き出し処理 1/5…";
const std::string kStepBefore = " 書き出し処理 2/5…";
const std::string kStepRange = " 書き出し処理 3/5…";
const std::string kStepAfter = " 書き出し処理 4/5…";
const std::string kStepTrailing = " 書き出し処理 5/5…";

constexpr double kUnchangedDB = 0.0;

// Appends pCount bytes of pSource, from byte pPosition on, to pTarget, which
// ends at pTargetEnd, inside the kernel. False when the copy fails or comes
// up short; both handles are then closed, as after any failed transfer.
bool AppendBytes(FileHandle& pSource, FileHandle& pTarget, std::int64_t pPosition, std::int64_t pTargetEnd,
                 std::int64_t pCount) {
    if (CopyHandleRange(pSource, pPosition, pTarget, pTargetEnd, pCount)) return true;
    CloseFileHandle(pSource);
    CloseFileHandle(pTarget);
    return false;
}

// The copy between two open files; the handle variables may be closed (set
// to 0) by a failed transfer.
std::int32_t WriteOpenCopy(const std::string& Source, FileHandle& source, FileHandle& target, const WaveLayout& pLayout,
                           std::int64_t From, std::int64_t To, double GainDB, ProgressHost& pHost,
                           const LimitedRange* pLimited = nullptr) {
    return Trapped<std::int32_t>(0, [&]() -> std::int32_t {
        // The copy is appended; behind bytes already there it would be garbage.
        if (FileSizeOfHandle(target) != 0) return 0;

        const WaveFormatInfo& info = pLayout.Info;
        const std::int64_t dataPosition = pLayout.DataChunk;
        if (dataPosition < kFirstChunkPosition) return 0;
        // Header: every byte through the data chunk's size field, which is
        // exactly where the first frame begins.
        const std::int64_t headerLength = dataPosition + kChunkPayloadOffset;
        if (info.Valid == 0 || info.DataOffset != headerLength) return 0;
        const std::int64_t sourceSize = FileSizeOfHandle(source);
        if (sourceSize < headerLength) return 0;

        const std::int64_t frames = FramesPresent(info, sourceSize);
        const std::int64_t from = std::clamp<std::int64_t>(From, 0, frames);
        const std::int64_t to = std::clamp<std::int64_t>(To, from, frames);
        const std::int64_t audioEnd = headerLength + frames * info.BlockAlign;
        const std::string title = PathPart(Source, false, false, true, false, false, kKeepCase);

        pHost.ShowStatus(title + kStepHeader);
        if (!AppendBytes(source, target, 0, 0, headerLength)) return 0;

        C_EditWave editor(pHost.RunPump());
        editor.Prog = [&pHost](float pRate, std::int32_t& pCancel) { HandleProgress(pHost, pRate, pCancel); };

        if (from > 0) {
            pHost.ShowStatus(title + kStepBefore);
            if (editor.EditWav(info, source, target, 0, from, kUnchangedDB) == 0) return 0;
        }
        pHost.ShowStatus(title + kStepRange);
        // An empty range must not reach EditWav, whose end 0 means "to the end".
        if (pLimited != nullptr) {
            // The limiter renders the range it analysed, nothing else.
            LimitedGain& limited = *pLimited->Limited;
            if (limited.Start() != from || limited.End() != to) return 0;
            limited.Progress = [&pHost](float pDone) {
                std::int32_t cancel = 0;
                HandleProgress(pHost, pDone, cancel);
            };
            const LimiterStatus status =
                limited.PlanInto(pLimited->RequestDB, target, FileSizeOfHandle(target), pLimited->Settings);
            limited.Progress = nullptr;
            if (status != LimiterStatus::Ok) return 0;
        } else if (from < to) {
            if (editor.EditWav(info, source, target, from, to, GainDB) == 0) return 0;
        }
        if (to < frames) {
            pHost.ShowStatus(title + kStepAfter);
            if (editor.EditWav(info, source, target, to, frames, kUnchangedDB) == 0) return 0;
        }

        if (FileSizeOfHandle(target) != audioEnd) return 0;
        if (sourceSize > audioEnd) {
            pHost.ShowStatus(title + kStepTrailing);
            if (!AppendBytes(source, target, audioEnd, audioEnd, sourceSize - audioEnd)) return 0;
        }
        return FileSizeOfHandle(target) == sourceSize ? 1 : 0;
    });
}

}  // namespace

std::int32_t WriteAdjustedWaveInto(const std::string& Source, FileHandle pSource, FileHandle pTarget, std::int64_t From,
                                   std::int64_t To, double GainDB, ProgressHost& pHost) {
    return WriteAdjustedWaveInto(Source, pSource, pTarget, ReadWaveLayout(HandleSource(pSource)), From, To, GainDB,
                                 pHost);
}

std::int32_t WriteAdjustedWaveInto(const std::string& Source, FileHandle pSource, FileHandle pTarget,
                                   const WaveLayout& pLayout, std::int64_t From, std::int64_t To, double GainDB,
                                   ProgressHost& pHost, const LimitedRange* pLimited) {
    // The transfers close a handle after a failure; they work on their own
    // duplicates, so the caller's descriptors stay open and untouched.
    ScopedHandle sourceFile(HandleOfDescriptor(platform::DuplicateDescriptor(DescriptorOfHandle(pSource))));
    ScopedHandle targetFile(HandleOfDescriptor(platform::DuplicateDescriptor(DescriptorOfHandle(pTarget))));
    if (sourceFile.handle == 0 || targetFile.handle == 0) return 0;
    return WriteOpenCopy(Source, sourceFile.handle, targetFile.handle, pLayout, From, To, GainDB, pHost, pLimited);
}

std::int32_t WriteAdjustedWave(const std::string& Source, const std::string& Target, std::int64_t From, std::int64_t To,
                               double GainDB, ProgressHost& pHost) {
    ScopedHandle sourceFile;
    ScopedHandle targetFile;
    return Trapped<std::int32_t>(0, [&]() -> std::int32_t {
        sourceFile.handle = OpenFileHandle(Source, kOpenRead);
        if (sourceFile.handle == 0) return 0;
        targetFile.handle = OpenFileHandle(Target, kOpenReadWrite);
        if (targetFile.handle == 0) return 0;
        return WriteOpenCopy(Source, sourceFile.handle, targetFile.handle,
                             ReadWaveLayout(HandleSource(sourceFile.handle)), From, To, GainDB, pHost);
    });
}

}  // namespace sonivate
