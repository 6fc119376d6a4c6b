// Folders made on the user's behalf (the window's offer to make the output
// folder, the settings folder) get the modes mkdir -p gives them.

#include "platform/small_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "support/scratch.h"

namespace sonivate::platform {
namespace {

mode_t ModeOf(const std::string& pPath) {
    struct stat st {};
    return ::stat(pPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? st.st_mode & 07777 : 0;
}

// Sets the umask for one scope.
class Umask {
public:
    explicit Umask(mode_t pMask) : mOld(::umask(pMask)) {}
    ~Umask() { ::umask(mOld); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

private:
    mode_t mOld;
};

TEST(MakeFolders, NewFoldersGetTheDefaultModeAndOldOnesKeepTheirs) {
    test::ScratchDir scratch;
    const std::string kept = scratch.file("kept");
    ASSERT_EQ(::mkdir(kept.c_str(), 0700), 0);
    for (const mode_t mask : {mode_t{022}, mode_t{027}, mode_t{002}}) {
        SCOPED_TRACE(mask);
        const std::string top = scratch.file("mask" + std::to_string(mask));
        {
            const Umask umask(mask);
            ASSERT_TRUE(MakeFolders(top + "/a/b"));
            ASSERT_TRUE(MakeFolders(kept + "/new" + std::to_string(mask)));
        }
        for (const std::string& folder : {top, top + "/a", top + "/a/b", kept + "/new" + std::to_string(mask)})
            EXPECT_EQ(ModeOf(folder), 0777 & ~mask) << folder;
    }
    EXPECT_EQ(ModeOf(kept), 0700u);
    EXPECT_TRUE(MakeFolders(kept)) << "an existing folder is no failure";
}

TEST(MakeFolders, AFileInTheWayIsAFailure) {
    test::ScratchDir scratch;
    const std::string file = scratch.file("file");
    ASSERT_TRUE(ReplaceFileAtomically(file, "x"));
    EXPECT_FALSE(MakeFolders(file + "/below"));
    EXPECT_FALSE(MakeFolders(file));
    EXPECT_FALSE(MakeFolders(""));
}

}  // namespace
}  // namespace sonivate::platform
