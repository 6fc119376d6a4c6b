#pragma once
// Where the copies of one run go, decided once when the run starts and held
// by identity until it ends: an output folder held open as a descriptor, or
// in place (each copy beside its source, replacing it). Nothing during the
// run looks the choice up again by name, so a folder that is removed,
// renamed, replaced by a link or becomes unreadable after the start never
// turns the remaining rows into in-place writes: they fail with
// output_unavailable and no source is touched.

#include <cstdint>
#include <memory>
#include <string>

namespace sonivate {

class OutputTarget {
public:
    enum class Kind {
        Off,      // the run writes nothing
        InPlace,  // beside each source, under the source's own name for ".wav" sources
        Folder,   // into the folder held open
    };

    ~OutputTarget();
    OutputTarget(const OutputTarget&) = delete;
    OutputTarget& operator=(const OutputTarget&) = delete;

    static std::shared_ptr<const OutputTarget> Off();
    static std::shared_ptr<const OutputTarget> InPlace();
    // The folder pPath (links followed, as the operator named it), held open
    // now. When it cannot be opened the target is a folder all the same, and
    // every row fails with output_unavailable and Error()'s cause.
    static std::shared_ptr<const OutputTarget> Folder(const std::string& pPath);
    // A folder the caller already holds open as pFolderFd (entered without
    // following links, say), known by the name pPath: the target holds a
    // descriptor of its own to it and never opens the name.
    static std::shared_ptr<const OutputTarget> Held(int pFolderFd, const std::string& pPath);
    // The window's rule at the start of its run: output off; an empty box or
    // a name where nothing stands (or a file stands) means in place; a folder
    // is held. A name that cannot be examined (no permission on a parent, a
    // stale network handle, an I/O error) is never taken for "missing": the
    // target is that folder, unusable.
    static std::shared_ptr<const OutputTarget> FromChoice(bool pWavOutput, const std::string& pSoundPath);

    Kind What() const { return mKind; }
    bool Writes() const { return mKind != Kind::Off; }
    // The held folder (Folder only; -1 when it could not be opened).
    int FolderFd() const { return mFolderFd; }
    // The folder as named, with a trailing separator: the names the run
    // reports are made from it (Folder only).
    const std::string& FolderPath() const { return mFolderPath; }

    // Asked before each copy: 0 when the held folder can take it, else the
    // errno that says why not (the folder's own open failure; ENOENT once it
    // was removed; ESTALE when its name now refers to another folder or to
    // none, so a reported path would not be where the copy is).
    int CheckUsable() const;

private:
    OutputTarget() = default;

    Kind mKind = Kind::Off;
    int mFolderFd = -1;
    int mOpenError = 0;
    std::string mFolderPath;
    std::uint64_t mDevice = 0;
    std::uint64_t mInode = 0;
};

}  // namespace sonivate
