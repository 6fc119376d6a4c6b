#include "app/output_copy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "app/write_adjusted_wave.h"
#include "common/basic_file.h"
#include "common/error_trap.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {
namespace {

// A new file (one that replaces nothing) gets what a plain creation would give.
constexpr mode_t kNewFileMode = 0666;
constexpr std::int32_t kMostWrittenChannels = 2;

std::pair<std::string, std::string> FolderAndName(const std::string& pPath) {
    const auto slash = pPath.rfind('/');
    if (slash == std::string::npos) return {"", pPath};
    return {slash == 0 ? "/" : pPath.substr(0, slash), pPath.substr(slash + 1)};
}

// Opens the file standing under pPath to read its attributes, provided it is
// still the file pExpected (no link is followed, no FIFO waited for).
int OpenReplaced(const std::string& pPath, const platform::FileIdentity& pExpected) {
    int error = 0;
    const int fd = platform::OpenRegularForReading(pPath, true, error);
    if (fd < 0) return -1;
    if (!platform::IdentityOf(fd).SameFile(pExpected)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

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

SourceHold::~SourceHold() {
    if (mFd >= 0) ::close(mFd);
}

RowReason SourceHold::Acquire(const std::string& pPath) {
    if (mFd >= 0) ::close(mFd);
    mFd = -1;
    mPath = pPath;
    int error = 0;
    mFd = platform::OpenRegularForReading(pPath, false, error);
    if (mFd < 0) {
        switch (error) {
            case ENOENT:
            case ENOTDIR:
                return RowReason::Missing;
            case EISDIR:
            case ENXIO:
                return RowReason::NotRegular;
            case EACCES:
            case EPERM:
                return RowReason::Unreadable;
            default:
                return RowReason::CannotOpen;
        }
    }
    if (const int lock = platform::TryLockExclusive(mFd); lock != 0) {
        ::close(mFd);
        mFd = -1;
        return lock == EWOULDBLOCK ? RowReason::Locked : RowReason::CannotOpen;
    }
    mIdentity = platform::IdentityOf(mFd);
    // The name may have moved on to a new file between the open and the
    // lock (another run publishing its copy): that file is not the one held.
    if (!StillUnchanged()) {
        ::close(mFd);
        mFd = -1;
        return RowReason::SourceChanged;
    }
    return RowReason::None;
}

bool SourceHold::StillUnchanged() const {
    if (mFd < 0) return false;
    if (!platform::IdentityOf(mFd).Unchanged(mIdentity)) return false;
    // The name, links followed: a source given through a link stays that link.
    struct stat named {};
    if (::stat(mPath.c_str(), &named) != 0) return false;
    return named.st_dev == mIdentity.Device && named.st_ino == mIdentity.Inode;
}

CopyOutcome WriteCopySafely(const SourceHold& pSource, const std::string& pTarget, TargetRule pRule, std::int64_t pFrom,
                            std::int64_t pTo, double pGainDB, ProgressHost& pHost, RunOutputs* pRun) {
    CopyOutcome outcome;
    auto refuse = [&](RowReason pReason, int pError = 0) {
        outcome.Reason = pReason;
        outcome.Error = pError;
        return outcome;
    };
    if (pSource.Descriptor() < 0) return refuse(RowReason::CannotOpen);
    const FileHandle sourceHandle = HandleOfDescriptor(pSource.Descriptor());
    const WaveLayout layout = ReadWaveLayout(HandleSource(sourceHandle));
    const WaveFormatInfo& info = layout.Info;
    if (info.Valid == 1 && info.Channels > kMostWrittenChannels) return refuse(RowReason::SurroundNotWritten);

    const auto [folder, name] = FolderAndName(pTarget);
    if (name.empty()) return refuse(RowReason::WriteFailed, EINVAL);
    const platform::FileIdentity there = platform::IdentityOfName(pTarget);
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
            attributesFrom = OpenReplaced(pTarget, there);
            if (attributesFrom < 0) return refuse(RowReason::OtherFileHasName);
            closeAttributes = true;
        }
        replacing = &there;
    }

    platform::PendingFile copy;
    int error = copy.Create(folder, kNewFileMode);
    if (error == 0 && attributesFrom >= 0) error = copy.TakeAttributesOf(attributesFrom);
    if (closeAttributes) ::close(attributesFrom);
    if (error != 0) return refuse(RowReason::WriteFailed, error);

    const std::int32_t ok = WriteAdjustedWaveInto(pSource.Path(), sourceHandle, HandleOfDescriptor(copy.Descriptor()),
                                                  layout, pFrom, pTo, pGainDB, pHost);
    if (ok == 0) return refuse(pHost.StopRequested() ? RowReason::Stopped : RowReason::WriteFailed);
    if (pHost.StopRequested()) return refuse(RowReason::Stopped);
    if (!pSource.StillUnchanged()) return refuse(RowReason::SourceChanged);

    error = copy.Publish(name, replacing);
    if (error == EEXIST || error == ESTALE) {
        // Someone took or changed the name while the copy was written.
        return refuse(pRun != nullptr && pRun->Contains(platform::IdentityOfName(pTarget))
                          ? RowReason::NameUsedInRun
                          : RowReason::OtherFileHasName);
    }
    if (pRun != nullptr) pRun->Add(copy.Published());
    if (error != 0) return refuse(RowReason::WriteFailed, error);
    outcome.Written = true;
    return outcome;
}

}  // namespace sonivate
