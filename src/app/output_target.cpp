#include "app/output_target.h"

#include <cerrno>

#include "common/formatting.h"
#include "common/paths.h"
#include "platform/file_names.h"
#include "platform/pending_file.h"
#include "platform/posix_file.h"

namespace sonivate {

OutputTarget::~OutputTarget() { platform::CloseFile(mFolderFd); }

std::shared_ptr<const OutputTarget> OutputTarget::Off() {
    return std::shared_ptr<const OutputTarget>(new OutputTarget());
}

std::shared_ptr<const OutputTarget> OutputTarget::InPlace() {
    std::shared_ptr<OutputTarget> target(new OutputTarget());
    target->mKind = Kind::InPlace;
    return target;
}

std::shared_ptr<const OutputTarget> OutputTarget::Folder(const std::string& pPath) {
    std::shared_ptr<OutputTarget> target(new OutputTarget());
    target->mKind = Kind::Folder;
    target->mFolderPath = pPath == "/" ? pPath : SetTrailingSeparator(pPath, 0);
    if (pPath.empty()) {
        target->mOpenError = ENOENT;
        return target;
    }
    target->mFolderFd = platform::OpenFolder(pPath, target->mOpenError);
    const platform::FileIdentity held = platform::IdentityOf(target->mFolderFd);
    target->mDevice = held.Device;
    target->mInode = held.Inode;
    return target;
}

std::shared_ptr<const OutputTarget> OutputTarget::Held(int pFolderFd, const std::string& pPath) {
    std::shared_ptr<OutputTarget> target(new OutputTarget());
    target->mKind = Kind::Folder;
    target->mFolderPath = pPath == "/" ? pPath : SetTrailingSeparator(pPath, 0);
    target->mFolderFd = platform::DuplicateDescriptor(pFolderFd);
    if (target->mFolderFd < 0) {
        target->mOpenError = errno != 0 ? errno : EBADF;
        return target;
    }
    const platform::FileIdentity held = platform::IdentityOf(target->mFolderFd);
    target->mDevice = held.Device;
    target->mInode = held.Inode;
    return target;
}

std::shared_ptr<const OutputTarget> OutputTarget::FromChoice(bool pWavOutput, const std::string& pSoundPath) {
    if (!pWavOutput) return Off();
    if (TrimSpaces(pSoundPath).empty()) return InPlace();
    switch (platform::KindOfPath(pSoundPath)) {
        case platform::PathKind::Folder:
            return Folder(pSoundPath);
        case platform::PathKind::Unknown:
            // The folder may well be there: writing beside the sources instead
            // would replace them.
            return Folder(pSoundPath);
        case platform::PathKind::Missing:
        case platform::PathKind::Regular:
        case platform::PathKind::Other:
            break;
    }
    return InPlace();
}

int OutputTarget::CheckUsable() const {
    if (mKind != Kind::Folder) return 0;
    if (mFolderFd < 0) return mOpenError != 0 ? mOpenError : EBADF;
    const platform::FileIdentity held = platform::IdentityOf(mFolderFd);
    if (!held.Valid) return EBADF;
    // A removed folder keeps its descriptor but has no links left.
    if (held.Links == 0) return ENOENT;
    const platform::FileIdentity named = platform::IdentityOfPath(mFolderPath);
    if (!named.Valid || named.Device != mDevice || named.Inode != mInode) return ESTALE;
    return 0;
}

}  // namespace sonivate
