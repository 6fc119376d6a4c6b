// What a run may and may not do to the files around its copies.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/file_list.h"
#include "app/measurement_run.h"
#include "app/output_copy.h"
#include "batch_hosts.h"
#include "platform/pending_file.h"
#include "platform/posix_file.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate {
namespace {

using test::Bytes;
using test::ScratchDir;

constexpr std::int32_t kRate = 48000;

std::string Tone(const std::string& pPath, double pDbfs = -30.0, std::int16_t pChannels = 2) {
    test::WavSpec layout;
    layout.channels = pChannels;
    return test::WriteWav(pPath, layout, test::Sine(kRate * 3 / 2, pChannels, 997.0, pDbfs, 16));
}

std::vector<std::string> Files(const std::string& pFolder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(pFolder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class Publishing : public ::testing::Test {
protected:
    void SetUp() override { ConfigureFileList(list); }
    void TearDown() override {
        platform::PendingFile::SetNamedOnlyForTesting(false);
        platform::SetFaultHookForTesting(nullptr);
    }
    std::vector<RowResult> Run(const std::vector<std::string>& pPaths, const std::string& pOutputFolder = "") {
        test::RecordingIntake intake;
        for (const std::string& path : pPaths) AddTitle(list, intake, path, kLastItem);
        EXPECT_TRUE(intake.rejections.empty());
        host.output = true;
        host.soundPath = pOutputFolder;
        return RunMeasurement(list, host);
    }

    ListViewModel list;
    test::RecordingRun host;
    ScratchDir dir;
};

TEST_F(Publishing, InPlaceTheReplacementKeepsModeOwnerGroupAndExtendedAttributes) {
    if (::geteuid() != 0) GTEST_SKIP() << "setting another owner needs root";
    const std::string path = Tone(dir.file("spot.wav"));
    ASSERT_EQ(::chown(path.c_str(), 1234, 4321), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const std::string note = "take 3";
    const bool xattrs = ::setxattr(path.c_str(), "user.sonivate.note", note.data(), note.size(), 0) == 0;
    const bool acl = xattrs && std::system(("setfacl -m u:2345:r '" + path + "' 2>/dev/null").c_str()) == 0;
    const Bytes before = test::ReadBytes(path);
    struct stat old {};
    ASSERT_EQ(::stat(path.c_str(), &old), 0);

    const std::vector<RowResult> results = Run({path});
    ASSERT_TRUE(results.at(0).Written) << ReasonCode(results[0].Reason);
    struct stat now {};
    ASSERT_EQ(::stat(path.c_str(), &now), 0);
    EXPECT_NE(now.st_ino, old.st_ino) << "a new file took the name";
    EXPECT_NE(test::ReadBytes(path), before);
    EXPECT_EQ(now.st_mode & 07777, old.st_mode & 07777) << "not widened to 0644";
    EXPECT_EQ(now.st_uid, 1234u);
    EXPECT_EQ(now.st_gid, 4321u);
    if (xattrs) {
        char value[64] = {};
        EXPECT_EQ(::getxattr(path.c_str(), "user.sonivate.note", value, sizeof(value)),
                  static_cast<ssize_t>(note.size()));
        EXPECT_EQ(std::string(value), note);
    }
    if (acl) {
        EXPECT_GT(::getxattr(path.c_str(), "system.posix_acl_access", nullptr, 0), 0) << "the ACL came along";
    }
    EXPECT_EQ(Files(dir.path()), std::vector<std::string>{"spot.wav"});
}

TEST_F(Publishing, InPlaceOnlyTheSourceItselfIsEverReplaced) {
    // A ".WAV" source keeps its name; no second "x.wav" appears.
    const std::string upper = Tone(dir.file("X.WAV"));
    // promo.bwf would be written as promo.wav, which is another programme.
    const std::string bwf = Tone(dir.file("promo.bwf"));
    const std::string other = Tone(dir.file("promo.wav"), -20.0);
    const Bytes otherBytes = test::ReadBytes(other);
    // A source with a second name: the other name would keep the old audio.
    const std::string linked = Tone(dir.file("linked.wav"));
    ASSERT_EQ(::link(linked.c_str(), dir.file("linked-copy.wav").c_str()), 0);
    const Bytes linkedBytes = test::ReadBytes(linked);

    const std::vector<RowResult> results = Run({upper, bwf, linked});
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].Written);
    EXPECT_EQ(results[0].OutputPath, upper);
    EXPECT_FALSE(results[1].Written);
    EXPECT_EQ(results[1].Reason, RowReason::OtherFileHasName);
    EXPECT_EQ(test::ReadBytes(other), otherBytes);
    EXPECT_FALSE(results[2].Written);
    EXPECT_EQ(results[2].Reason, RowReason::HardLinked);
    EXPECT_EQ(test::ReadBytes(linked), linkedBytes);
    EXPECT_EQ(Files(dir.path()),
              (std::vector<std::string>{"X.WAV", "linked-copy.wav", "linked.wav", "promo.bwf", "promo.wav"}));
}

TEST_F(Publishing, LinksPlantedAtTheNamesARunCouldUseAreNeverFollowedNorRemoved) {
    ScratchDir out, elsewhere;
    const std::string victim = Tone(elsewhere.file("victim.wav"), -20.0);
    const Bytes victimBytes = test::ReadBytes(victim);
    const std::string a = Tone(dir.file("a.wav"));
    const std::string b = Tone(dir.file("b.wav"));
    const std::string c = Tone(dir.file("c.bwf"));
    // The final names, and the numbered names earlier versions wrote first.
    ASSERT_EQ(::symlink(victim.c_str(), out.file("a.wav").c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.file("nothing-here.wav").c_str(), out.file("b.wav").c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.file("numbered.wav").c_str(), out.file("a01.wav").c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.file("in-place.wav").c_str(), dir.file("c.wav").c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.file("in-place01.wav").c_str(), dir.file("c01.wav").c_str()), 0);

    std::vector<RowResult> results = Run({a, b});
    host.soundPath = out.path();
    results = RunMeasurement(list, host);
    for (const RowResult& r : results) {
        EXPECT_FALSE(r.Written);
        EXPECT_EQ(r.Reason, RowReason::OtherFileHasName);
    }
    // In place: c.bwf would become c.wav, a dangling link.
    ListViewModel inPlace;
    ConfigureFileList(inPlace);
    test::RecordingIntake intake;
    AddTitle(inPlace, intake, c, kLastItem);
    host.soundPath.clear();
    results = RunMeasurement(inPlace, host);
    EXPECT_EQ(results.at(0).Reason, RowReason::OtherFileHasName);

    EXPECT_EQ(test::ReadBytes(victim), victimBytes);
    EXPECT_EQ(Files(elsewhere.path()), std::vector<std::string>{"victim.wav"}) << "no link target was created";
    for (const std::string& link : {out.file("a.wav"), out.file("b.wav"), out.file("a01.wav"), dir.file("c.wav")})
        EXPECT_TRUE(platform::IdentityOfName(link).SymbolicLink) << link;
    EXPECT_EQ(Files(out.path()), (std::vector<std::string>{"a.wav", "a01.wav", "b.wav"}));
}

TEST_F(Publishing, ALaterRowNeverReplacesACopyOfTheSameRun) {
    ScratchDir first, second, out;
    const std::string one = Tone(first.file("spot.wav"), -30.0);
    const std::string two = Tone(second.file("spot.wav"), -20.0);
    test::WriteBytes(out.file("old.wav"), {1, 2, 3});
    const std::string old = Tone(out.file("old.wav"), -26.0);
    const std::string outside = Tone(dir.file("old.wav"), -28.0);
    std::vector<RowResult> results = Run({one, two, outside}, out.path());
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].Written);
    EXPECT_FALSE(results[1].Written);
    EXPECT_EQ(results[1].Reason, RowReason::NameUsedInRun);
    EXPECT_TRUE(results[2].Written) << "a file that was there before the run is replaced";

    // The same source twice in place: the second would apply the gain again.
    ListViewModel twice;
    ConfigureFileList(twice);
    test::RecordingIntake intake;
    AddTitle(twice, intake, one, kLastItem);
    AddTitle(twice, intake, one, kLastItem);
    host.soundPath.clear();
    results = RunMeasurementParallel(twice, host, 2);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[0].Written);
    EXPECT_EQ(results[1].Reason, RowReason::NameUsedInRun);
}

TEST_F(Publishing, ASourceThatChangesOrIsHeldByAnotherRunIsNotWritten) {
    const std::string growing = Tone(dir.file("growing.wav"));
    const std::string held = Tone(dir.file("held.wav"));
    const Bytes heldBytes = test::ReadBytes(held);
    test::RecordingIntake intake;
    AddTitle(list, intake, growing, kLastItem);
    AddTitle(list, intake, held, kLastItem);
    // Another run's lock.
    const int other = ::open(held.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    // The file is still being copied in: it grows while it is measured.
    bool grown = false;
    platform::SetFaultHookForTesting([&](std::string_view pOperation) {
        if (pOperation != "read" || grown) return;
        grown = true;
        const int fd = ::open(growing.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        const char more[4096] = {};
        ASSERT_EQ(::write(fd, more, sizeof(more)), static_cast<ssize_t>(sizeof(more)));
        ::close(fd);
    });
    host.output = true;
    const std::vector<RowResult> results = RunMeasurement(list, host);
    platform::SetFaultHookForTesting(nullptr);
    ::close(other);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].Reason, RowReason::SourceChanged);
    EXPECT_FALSE(results[0].Written);
    EXPECT_EQ(results[1].Reason, RowReason::Locked);
    EXPECT_EQ(test::ReadBytes(held), heldBytes);
    EXPECT_EQ(Files(dir.path()), (std::vector<std::string>{"growing.wav", "held.wav"}));
}

TEST_F(Publishing, WithoutUnnamedFilesTheHiddenTemporaryNeverOutlivesTheRow) {
    platform::PendingFile::SetNamedOnlyForTesting(true);
    ScratchDir out;
    const std::string spot = Tone(dir.file("spot.wav"));
    const std::string clip = Tone(dir.file("stop.wav"));
    int measuring = 0;
    host.onStatus = [&](const std::string& pText) {
        if (pText.find(kStatusMeasuring) != std::string::npos && ++measuring == 2) host.stop = true;
    };
    const std::vector<RowResult> results = Run({spot, clip}, out.path());
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[0].Written);
    EXPECT_EQ(results[1].Reason, RowReason::Stopped);
    EXPECT_EQ(Files(out.path()), std::vector<std::string>{"spot.wav"});
}

// Another program with the file open for writing until Release: the child
// says it holds the file through one pipe and waits on another (no sleeps).
class OtherWriter {
public:
    explicit OtherWriter(const std::string& pPath) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
        mPid = ::fork();
        if (mPid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const char answer = ::open(pPath.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC) >= 0 ? 'y' : 'n';
            char byte = 0;
            if (::write(ready[1], &answer, 1) != 1 || ::read(release[0], &byte, 1) < 0) ::_exit(2);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        mRelease = release[1];
        char answer = 0;
        mHolding = ::read(ready[0], &answer, 1) == 1 && answer == 'y';
        ::close(ready[0]);
    }
    ~OtherWriter() {
        if (mRelease >= 0) ::close(mRelease);
        if (mPid > 0) ::waitpid(mPid, nullptr, 0);
    }
    bool Holding() const { return mHolding; }

private:
    pid_t mPid = -1;
    int mRelease = -1;
    bool mHolding = false;
};

TEST_F(Publishing, InPlaceASourceStillBeingWrittenIsNeverReplaced) {
    // Open for writing before the row starts: refused before it is measured.
    const std::string recording = Tone(dir.file("recording.wav"));
    const Bytes recordingBytes = test::ReadBytes(recording);
    {
        OtherWriter recorder(recording);
        ASSERT_TRUE(recorder.Holding());
        const std::vector<RowResult> results = Run({recording});
        EXPECT_FALSE(results.at(0).Written);
        EXPECT_EQ(results[0].Reason, RowReason::SourceInUse);
        EXPECT_FALSE(results[0].Measured) << "refused before the measurement";
    }
    EXPECT_EQ(test::ReadBytes(recording), recordingBytes);

    // A writer that opens the source while its copy is written and has not
    // written yet: its next bytes would go into the unlinked old file.
    const std::string late = Tone(dir.file("late.wav"));
    std::unique_ptr<OtherWriter> lateWriter;
    platform::SetFaultHookForTesting([&](std::string_view pOperation) {
        if (pOperation == "write" && !lateWriter) lateWriter = std::make_unique<OtherWriter>(late);
    });
    ListViewModel second;
    ConfigureFileList(second);
    test::RecordingIntake intake;
    AddTitle(second, intake, late, kLastItem);
    std::vector<RowResult> results = RunMeasurement(second, host);
    platform::SetFaultHookForTesting(nullptr);
    ASSERT_TRUE(lateWriter && lateWriter->Holding());
    EXPECT_EQ(results.at(0).Reason, RowReason::SourceInUse);
    EXPECT_FALSE(results[0].Written);
    lateWriter.reset();
    EXPECT_EQ(Files(dir.path()), (std::vector<std::string>{"late.wav", "recording.wav"}));
}

TEST_F(Publishing, InPlaceBytesWrittenToTheSourceWhileTheCopyIsFlushedAreKept) {
    for (const bool keepTimes : {false, true}) {
        SCOPED_TRACE(keepTimes ? "same size, modification time put back" : "appended");
        ScratchDir folder;
        const std::string path = Tone(folder.file("take.wav"));
        const Bytes original = test::ReadBytes(path);
        Bytes expected = original;
        bool written = false;
        // The first flush is the copy's, right before it would take the name.
        platform::SetFaultHookForTesting([&](std::string_view pOperation) {
            if (pOperation != "fsync" || written) return;
            written = true;
            const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
            struct stat before {};
            ::fstat(fd, &before);
            const unsigned char more[4] = {1, 2, 3, 4};
            if (keepTimes) {
                ASSERT_EQ(::pwrite(fd, more, sizeof(more), 100), static_cast<ssize_t>(sizeof(more)));
                const struct timespec times[2] = {before.st_atim, before.st_mtim};
                ASSERT_EQ(::futimens(fd, times), 0);
                std::copy(more, more + sizeof(more), expected.begin() + 100);
            } else {
                ASSERT_EQ(::pwrite(fd, more, sizeof(more), before.st_size), static_cast<ssize_t>(sizeof(more)));
                expected.insert(expected.end(), more, more + sizeof(more));
            }
            ::close(fd);
        });
        ListViewModel rows;
        ConfigureFileList(rows);
        test::RecordingIntake intake;
        AddTitle(rows, intake, path, kLastItem);
        host.output = true;
        const std::vector<RowResult> results = RunMeasurement(rows, host);
        platform::SetFaultHookForTesting(nullptr);
        ASSERT_TRUE(written);
        EXPECT_EQ(results.at(0).Reason, RowReason::SourceChanged);
        EXPECT_FALSE(results[0].Written);
        EXPECT_EQ(test::ReadBytes(path), expected) << "the late bytes are still there";
        EXPECT_EQ(Files(folder.path()), std::vector<std::string>{"take.wav"});
    }
}

TEST(PendingFiles, NameOnlyWhenCompleteAndNeverReplaceWhatChanged) {
    for (const bool namedOnly : {false, true}) {
        platform::PendingFile::SetNamedOnlyForTesting(namedOnly);
        ScratchDir dir;
        {
            platform::PendingFile file;
            ASSERT_EQ(file.Create(dir.path()), 0);
            EXPECT_EQ(file.Unnamed(), !namedOnly);
            ASSERT_EQ(::write(file.Descriptor(), "abc", 3), 3);
            for (const std::string& name : Files(dir.path())) {
                EXPECT_EQ(name.front(), '.') << name;
                EXPECT_EQ(name.find(".wav"), std::string::npos) << name;
            }
        }
        EXPECT_TRUE(Files(dir.path()).empty()) << "an unpublished file leaves nothing";

        test::WriteBytes(dir.file("taken.wav"), {9});
        platform::PendingFile clash;
        ASSERT_EQ(clash.Create(dir.path()), 0);
        EXPECT_EQ(clash.Publish("taken.wav", nullptr), EEXIST);
        EXPECT_EQ(test::ReadBytes(dir.file("taken.wav")), Bytes{9});

        const platform::FileIdentity before = platform::IdentityOfName(dir.file("taken.wav"));
        test::WriteBytes(dir.file("swap.wav"), {7});
        ASSERT_EQ(::rename(dir.file("swap.wav").c_str(), dir.file("taken.wav").c_str()), 0);
        platform::PendingFile stale;
        ASSERT_EQ(stale.Create(dir.path()), 0);
        EXPECT_EQ(stale.Publish("taken.wav", &before), ESTALE) << "the file it was to replace is gone";
        EXPECT_EQ(test::ReadBytes(dir.file("taken.wav")), Bytes{7});

        platform::PendingFile fresh;
        ASSERT_EQ(fresh.Create(dir.path(), 0640), 0);
        ASSERT_EQ(::write(fresh.Descriptor(), "xyz", 3), 3);
        const platform::FileIdentity current = platform::IdentityOfName(dir.file("taken.wav"));
        ASSERT_EQ(fresh.Publish("taken.wav", &current), 0);
        EXPECT_EQ(test::ReadBytes(dir.file("taken.wav")), (Bytes{'x', 'y', 'z'}));
        EXPECT_EQ(Files(dir.path()), std::vector<std::string>{"taken.wav"});
    }
    platform::PendingFile::SetNamedOnlyForTesting(false);
}

}  // namespace
}  // namespace sonivate
