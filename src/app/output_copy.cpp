#include "app/output_copy.h"

#include <algorithm>
#include <cerrno>

#include "app/write_adjusted_wave.h"
#include "common/basic_file.h"
#include "common/error_trap.h"
#include "platform/file_names.h"
#include "platform/file_users.h"
#include "platform/posix_file.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {
namespace {

// A new file (one that replaces nothing) gets what a plain creation would give.
constexpr mode_t kNewFileMode = 0666;

std::pair<std::string, std::string> FolderAndName(const std::string& pPath) {
    const auto slash = pPath.rfind('/');
    if (slash == std::string::npos) return {"", pPath};
    return {slash == 0 ? "/" : pPath.substr(0, slash), pPath.substr(slash + 1)};
}

// Errors that say nothing about the file under a name, only about the
// process or the system (descriptors, memory, the device): a write failure
// with its cause, never "another file has the name".
bool ResourceError(int pError) {
    return pError == EMFILE || pError == ENFILE || pError == ENOMEM || pError == EIO || pError == EACCES ||
           pError == EPERM || pError == EINTR;
}

// Opens the file standing under pPath to read its attributes, provided it is
// still the file pExpected (no link is followed, no FIFO waited for).
// -1 with pError: ESTALE when another file (or none) stands there now.
int OpenReplaced(int pFolderFd, const std::string& pName, const platform::FileIdentity& pExpected, int& pError) {
    const int fd = platform::OpenRegularAt(pFolderFd, pName, pError);
    if (fd < 0) return -1;
    if (!platform::IdentityOf(fd).SameFile(pExpected)) {
        platform::CloseFile(fd);
        pError = ESTALE;
        return -1;
    }
    return fd;
}

// Ends the watch on the descriptors of one copy on every way out.
class TransferWatch {
public:
    TransferWatch(int pSource, int pCopy) : mSource(pSource), mCopy(pCopy) {
        platform::WatchTransferErrors(mSource);
        platform::WatchTransferErrors(mCopy);
    }
    ~TransferWatch() { Take(); }
    TransferWatch(const TransferWatch&) = delete;
    TransferWatch& operator=(const TransferWatch&) = delete;
    int Take() {
        const int error = mTaken ? 0 : platform::TakeTransferError(mSource, mCopy);
        mTaken = true;
        return error;
    }

private:
    int mSource;
    int mCopy;
    bool mTaken = false;
};

}  // namespace

bool RunOutputs::Contains(const platform::FileIdentity& pFile) const {
    if (!pFile.Valid) return false;
    std::lock_guard lock(mMutex);
    return std::find(mFiles.begin(), mFiles.end(), std::make_pair(pFile.Device, pFile.Inode)) != mFiles.end();
}

void RunOutputs::Add(const platform::FileIdentity& pFile) {
    if (!pFile.Valid) return;
    std::lock_guard lock(mMutex);
    mFiles.emplace_back(pFile.Device, pFile.Inode);
}

SourceHold::~SourceHold() { platform::CloseFile(mFd); }

RowReason SourceHold::Refused(int pError) {
    mError = pError;
    return ReasonOfOpenError(pError);
}

RowReason SourceHold::Open(const std::string& pPath, bool pNoFollow) { return OpenAndHold(pPath, pNoFollow, false); }

RowReason SourceHold::Acquire(const std::string& pPath, bool pNoFollow) { return OpenAndHold(pPath, pNoFollow, true); }

RowReason SourceHold::OpenAndHold(const std::string& pPath, bool pNoFollow, bool pLock) {
    platform::CloseFile(mFd);
    mError = 0;
    mPath = pPath;
    mNoFollow = pNoFollow;
    int error = 0;
    mFd = platform::OpenRegularForReading(pPath, pNoFollow, error);
    if (mFd < 0) return Refused(error);
    return Hold(pLock);
}

RowReason SourceHold::Adopt(const std::string& pPath, int pFd, bool pNoFollow, bool pLock) {
    platform::CloseFile(mFd);
    mError = 0;
    mPath = pPath;
    mNoFollow = pNoFollow;
    mFd = platform::DuplicateDescriptor(pFd);
    if (mFd < 0) return Refused(errno != 0 ? errno : EBADF);
    return Hold(pLock);
}

RowReason SourceHold::Hold(bool pLock) {
    auto letGo = [&](RowReason pReason, int pError = 0) {
        platform::CloseFile(mFd);
        mFd = -1;
        mError = pError;
        return pReason;
    };
    if (pLock) {
        if (const int lock = platform::TryLockExclusive(mFd); lock != 0)
            return letGo(lock == EWOULDBLOCK ? RowReason::Locked : RowReason::CannotOpen, lock);
    }
    mIdentity = platform::IdentityOf(mFd);
    if (!mIdentity.Regular) return letGo(RowReason::NotRegular);
    // The name may have moved on to a new file between the open and the
    // lock (another run publishing its copy): that file is not the one held.
    if (!StillUnchanged()) return letGo(RowReason::SourceChanged);
    if (!pLock) return RowReason::None;
    // A file still being recorded or written is not measured for a copy:
    // what it gets afterwards would be missing from the copy.
    if (platform::CheckNoOtherWriters(mFd) == EBUSY) return letGo(RowReason::SourceInUse);
    return RowReason::None;
}

bool SourceHold::StillUnchanged() const {
    if (mFd < 0) return false;
    if (!platform::IdentityOf(mFd).Unchanged(mIdentity)) return false;
    // The name, links followed: a source given through a link stays that
    // link; where no link may be followed, a link there now is a change.
    return (mNoFollow ? platform::IdentityOfName(mPath) : platform::IdentityOfPath(mPath)).SameFile(mIdentity);
}

RowReason SourceHold::CheckBeforeReplacing() const {
    if (!StillUnchanged()) return RowReason::SourceChanged;
    if (platform::CheckNoOtherWriters(mFd) == EBUSY) return RowReason::SourceInUse;
    // A write between the first look and the writer check.
    if (!StillUnchanged()) return RowReason::SourceChanged;
    return RowReason::None;
}

CopyOutcome WriteCopySafely(const SourceHold& pSource, const std::string& pTarget, TargetRule pRule, std::int64_t pFrom,
                            std::int64_t pTo, const CopyGain& pGain, ProgressHost& pHost, RunOutputs* pRun,
                            const std::function<int(int pCopyFd)>& pBeforePublish) {
    const auto [folder, name] = FolderAndName(pTarget);
    CopyOutcome outcome;
    if (name.empty()) {
        outcome.Reason = RowReason::WriteFailed;
        outcome.Error = EINVAL;
        return outcome;
    }
    int error = 0;
    const int folderFd = platform::OpenFolder(folder, error);
    if (folderFd < 0) {
        outcome.Reason = RowReason::WriteFailed;
        outcome.Error = error;
        return outcome;
    }
    outcome = WriteCopySafely(pSource, CopyPlace{folderFd, name, pTarget}, pRule, pFrom, pTo, pGain, pHost, pRun,
                              pBeforePublish);
    platform::CloseFile(folderFd);
    return outcome;
}

CopyOutcome WriteCopySafely(const SourceHold& pSource, const CopyPlace& pPlace, TargetRule pRule, std::int64_t pFrom,
                            std::int64_t pTo, const CopyGain& pGain, ProgressHost& pHost, RunOutputs* pRun,
                            const std::function<int(int pCopyFd)>& pBeforePublish) {
    CopyOutcome outcome;
    auto refuse = [&](RowReason pReason, int pError = 0) {
        outcome.Reason = pReason;
        outcome.Error = pError;
        return outcome;
    };
    if (pSource.Descriptor() < 0) return refuse(RowReason::CannotOpen);
    const FileHandle sourceHandle = HandleOfDescriptor(pSource.Descriptor());
    const WaveLayout layout = ReadWaveLayout(HandleSource(sourceHandle));

    const std::string& name = pPlace.Name;
    if (name.empty() || name.find('/') != std::string::npos) return refuse(RowReason::WriteFailed, EINVAL);
    if (pPlace.FolderFd < 0) return refuse(RowReason::OutputUnavailable, EBADF);
    const platform::FileIdentity there = platform::IdentityAt(pPlace.FolderFd, name);
    const platform::FileIdentity* replacing = nullptr;
    int attributesFrom = -1;
    bool closeAttributes = false;
    if (there.Valid) {
        if (pRun != nullptr && pRun->Contains(there)) return refuse(RowReason::NameUsedInRun);
        if (pRule == TargetRule::NewName) return refuse(RowReason::TargetExists);
        // A link, a folder or a FIFO under the name belongs to someone else.
        if (!there.Regular) return refuse(RowReason::OtherFileHasName);
        if (there.SameFile(pSource.Identity())) {
            if (there.Links > 1) return refuse(RowReason::HardLinked);
            attributesFrom = pSource.Descriptor();
        } else if (pRule == TargetRule::InPlace) {
            return refuse(RowReason::OtherFileHasName);
        } else {
            int openError = 0;
            attributesFrom = OpenReplaced(pPlace.FolderFd, name, there, openError);
            if (attributesFrom < 0)
                return ResourceError(openError) ? refuse(RowReason::WriteFailed, openError)
                                                : refuse(RowReason::OtherFileHasName);
            closeAttributes = true;
        }
        replacing = &there;
    }

    platform::PendingFile copy;
    int error = copy.Create(pPlace.FolderFd, kNewFileMode);
    if (error == 0 && attributesFrom >= 0) error = copy.TakeAttributesOf(attributesFrom);
    if (closeAttributes) platform::CloseFile(attributesFrom);
    if (error != 0) return refuse(RowReason::WriteFailed, error);

    TransferWatch watch(pSource.Descriptor(), copy.Descriptor());
    const std::int32_t ok =
        WriteAdjustedWaveInto(pSource.Path(), sourceHandle, HandleOfDescriptor(copy.Descriptor()), layout, pFrom, pTo,
                              pGain.GainDB, pHost, pGain.Limited ? &*pGain.Limited : nullptr);
    if (ok == 0) return refuse(pHost.StopRequested() ? RowReason::Stopped : RowReason::WriteFailed, watch.Take());
    if (pHost.StopRequested()) return refuse(RowReason::Stopped);
    if (pBeforePublish) {
        const int before = pBeforePublish(copy.Descriptor());
        if (before == ECANCELED) return refuse(RowReason::Stopped);
        if (before != 0) return refuse(RowReason::WriteFailed, before);
    }
    if (!pSource.StillUnchanged()) return refuse(RowReason::SourceChanged);

    // The last look at the source comes after the copy is on the device:
    // a byte written to the source while the copy was flushed, or a writer
    // that still has it open, keeps the source where it is.
    RowReason lastLook = RowReason::None;
    const bool replacingSource = replacing != nullptr && replacing->SameFile(pSource.Identity());
    auto check = [&] {
        lastLook = pRule == TargetRule::InPlace || replacingSource
                       ? pSource.CheckBeforeReplacing()
                       : (pSource.StillUnchanged() ? RowReason::None : RowReason::SourceChanged);
        return lastLook == RowReason::None;
    };
    error = copy.Publish(name, replacing, check);
    if (error == ECANCELED && lastLook != RowReason::None) return refuse(lastLook);
    if (error != 0 && error != EEXIST && error != ESTALE) {
        // The flush of the copy failed: the first failed call tells why.
        const int first = watch.Take();
        return refuse(RowReason::WriteFailed, first != 0 ? first : error);
    }
    if (error == EEXIST || error == ESTALE) {
        // Someone took or changed the name while the copy was written.
        return refuse(pRun != nullptr && pRun->Contains(platform::IdentityAt(pPlace.FolderFd, name))
                          ? RowReason::NameUsedInRun
                          : RowReason::OtherFileHasName);
    }
    if (pRun != nullptr) pRun->Add(copy.Published());
    outcome.Written = true;
    outcome.FolderSyncError = copy.FolderSyncError();
    return outcome;
}

}  // namespace sonivate
