#include "wavefile/wave_bwfj.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/basic_file.h"
#include "common/error_trap.h"
#include "platform/posix_file.h"
#include "support/scratch.h"
#include "support/wavgen.h"
#include "support/test_main.h"

using namespace sonivate;
using namespace sonivate::test;

namespace {

// The lowest free descriptor: it moves when a routine leaks one.
int LowestFreeDescriptor() {
    const int fd = ::dup(STDERR_FILENO);
    ::close(fd);
    return fd;
}

class CueReaderTest : public ::testing::Test {
protected:
    // A short stereo file with pBefore between "fmt " and "data" and pAfter behind it.
    std::string Write(const std::vector<Chunk>& pBefore, const std::vector<Chunk>& pAfter) {
        WavSpec layout;
        layout.beforeData = pBefore;
        layout.afterData = pAfter;
        return WriteRaw(BuildWav(layout, Silence(16, 2)));
    }
    std::string WriteRaw(const Bytes& pBytes) {
        const std::string path = mScratch.file("f" + std::to_string(mFiles++) + ".wav");
        WriteBytes(path, pBytes);
        return path;
    }
    // Reads by name and through a handle, checks both agree, that the handle
    // stays open and that no descriptor leaks.
    std::int32_t Read(const std::string& pPath, std::vector<CueMarker>& pMarkers) {
        const int freeBefore = LowestFreeDescriptor();
        const std::int32_t result = ReadCueMarkers(pPath, 0, pMarkers);
        FileHandle handle = OpenFileHandle(pPath, kOpenRead);
        EXPECT_NE(handle, 0);
        std::vector<CueMarker> viaHandle = {CueMarker{}, CueMarker{}};
        EXPECT_EQ(ReadCueMarkers("", handle, viaHandle), result);
        EXPECT_EQ(viaHandle, pMarkers);
        EXPECT_GE(FileSizeOfHandle(handle), 0);
        CloseFileHandle(handle);
        EXPECT_EQ(LowestFreeDescriptor(), freeBefore);
        return result;
    }
    ScratchDir mScratch;
    int mFiles = 0;
};

CueMarker Point(std::int32_t pId, std::int32_t pOffset, std::string pLabel = "") {
    CueMarker marker;
    marker.CueID = pId;
    marker.SampleOffset = pOffset;
    marker.Label = std::move(pLabel);
    return marker;
}

Bytes Le32(std::uint32_t pValue) {
    return {static_cast<std::uint8_t>(pValue), static_cast<std::uint8_t>(pValue >> 8),
            static_cast<std::uint8_t>(pValue >> 16), static_cast<std::uint8_t>(pValue >> 24)};
}

// A sub-chunk or chunk with exactly the given size field and bytes.
Bytes RawChunk(const std::string& pId, std::uint32_t pSize, const Bytes& pBody) {
    Bytes out(pId.begin(), pId.end());
    const Bytes size = Le32(pSize);
    out.insert(out.end(), size.begin(), size.end());
    out.insert(out.end(), pBody.begin(), pBody.end());
    return out;
}

}  // namespace

TEST_F(CueReaderTest, BroadcastMarkersWithLabels) {
    // Labels of 8, 10, 7 and 6 characters: three of the four labl sub-chunks have odd sizes.
    const std::string path = Write({}, BroadcastMarkers(96000, 48000, 1440000, 1464000));
    std::vector<CueMarker> markers;
    ASSERT_EQ(Read(path, markers), 4);
    EXPECT_EQ(markers, (std::vector<CueMarker>{Point(1, 96000, "BC$START"), Point(2, 48000, "BC$STANDBY"),
                                               Point(3, 1440000, "BC$STOP"), Point(4, 1464000, "BC$END")}));
}

TEST_F(CueReaderTest, LabelBytesAreKeptAndDecoded) {
    const std::string kaishi = "\x8A\x4A\x8E\x6E";  // 開始 in code page 932
    const std::string longLabel(600, 'L');
    const std::string path = Write({CueChunk({{1, 10}, {2, 20}, {3, 30}, {4, 40}, {5, 50}, {6, 60}})},
                                   {AdtlList({{"labl", 1, "bc$start"},
                                              {"labl", 2, kaishi + "-A"},
                                              {"labl", 3, longLabel},
                                              {"labl", 4, "X"},             // size 6: ignored
                                              {"labl", 5, "XY"},            // size 7: read
                                              {"labl", 77, "nobody"},       // no such cue point
                                              {"labl", 6, "ABC", 0, true},  // no NUL, odd size: ends at the size
                                              {"note", 1, "a note is not a label"}})});
    std::vector<CueMarker> markers;
    ASSERT_EQ(Read(path, markers), 6);
    EXPECT_EQ(markers[0].Label, "bc$start");
    EXPECT_EQ(markers[1].Label, "\xE9\x96\x8B\xE5\xA7\x8B-A");  // 開始-A in UTF-8
    EXPECT_EQ(markers[2].Label, longLabel.substr(0, 512));
    EXPECT_EQ(markers[3].Label, "");
    EXPECT_EQ(markers[4].Label, "XY");
    EXPECT_EQ(markers[5].Label, "ABC");
    for (const CueMarker& m : markers) EXPECT_EQ(m.HasFile, 0);
}

TEST_F(CueReaderTest, CuePointCountLimits) {
    const auto points = [](int pCount) {
        std::vector<CuePointSpec> out;
        for (int i = 1; i <= pCount; ++i) out.push_back({i, i * 100});
        return out;
    };
    std::vector<CueMarker> markers;
    ASSERT_EQ(Read(Write({CueChunk(points(100))}, {}), markers), 100);
    EXPECT_EQ(markers.back(), Point(100, 10000));

    for (const int count : {101, 0}) {
        SCOPED_TRACE(count);
        EXPECT_EQ(Read(Write({CueChunk(points(count))}, {}), markers), 0);
        EXPECT_EQ(markers, std::vector<CueMarker>(1));
    }
    EXPECT_EQ(Read(Write({}, {AdtlList({{"labl", 1, "orphan"}})}), markers), 0);
    EXPECT_EQ(markers, std::vector<CueMarker>(1));
    EXPECT_EQ(ReadCueMarkers(mScratch.file("missing.wav"), 0, markers), 0);
    EXPECT_EQ(markers, std::vector<CueMarker>(1));
    EXPECT_EQ(Read(WriteRaw(Bytes(49, 0)), markers), 0);
}

TEST_F(CueReaderTest, ChoosesTheFirstAdtlList) {
    const Chunk cue = CueChunk({{7, 700}, {8, 800}});
    const Chunk info = ListChunk("INFO", RawChunk("INAM", 6, Bytes{'t', 'i', 't', 'l', 'e', 0}));
    std::vector<CueMarker> markers;

    ASSERT_EQ(Read(Write({cue, info}, {AdtlList({{"labl", 8, "second"}}), AdtlList({{"labl", 7, "third"}})}), markers),
              2);
    EXPECT_EQ(markers, (std::vector<CueMarker>{Point(7, 700), Point(8, 800, "second")}));

    ASSERT_EQ(Read(Write({cue, info}, {}), markers), 2);
    EXPECT_EQ(markers, (std::vector<CueMarker>{Point(7, 700), Point(8, 800)}));
}

TEST_F(CueReaderTest, PlayListSegments) {
    const std::string path = Write({CueChunk({{1, 0}, {2, 500}, {3, 900}})},
                                   {PlstChunk({{2, 400, 3}, {9, 1, 1}, {1, 250, 1}, {2, 999, 9}})});
    std::vector<CueMarker> markers;
    ASSERT_EQ(Read(path, markers), 3);
    EXPECT_EQ(markers[0].PlayLength, 250);
    EXPECT_EQ(markers[0].Loops, 1);
    EXPECT_EQ(markers[1].PlayLength, 999);  // a later segment for the same id wins
    EXPECT_EQ(markers[1].Loops, 9);
    EXPECT_EQ(markers[2].PlayLength, 0);
    EXPECT_EQ(markers[2].Loops, 0);

    // A count outside 1..100 leaves the play list unread.
    Chunk bad = PlstChunk({{1, 5, 5}});
    bad.payload[0] = 101;
    ASSERT_EQ(Read(Write({CueChunk({{1, 0}}), bad}, {}), markers), 1);
    EXPECT_EQ(markers[0].PlayLength, 0);
}

TEST_F(CueReaderTest, FileSubChunks) {
    const std::string path =
        Write({CueChunk({{1, 10}, {2, 20}, {3, 30}})},
              {AdtlList({{"file", 1, "clip.wav\rtrailing bytes", 0x45564157},
                         {"labl", 1, "BC$END"},
                         {"file", 2, "", 7},                          // no data: size 8
                         {"file", 3, std::string("a\0b", 3), 1}})});  // NUL is not a terminator here
    std::vector<CueMarker> markers;
    ASSERT_EQ(Read(path, markers), 3);
    EXPECT_EQ(markers[0].HasFile, 1);
    EXPECT_EQ(markers[0].MediaType, 0x45564157);
    EXPECT_EQ(markers[0].FileText, "clip.wav");
    EXPECT_EQ(markers[0].Label, "BC$END");
    EXPECT_EQ(markers[1].HasFile, 1);
    EXPECT_EQ(markers[1].MediaType, 7);
    EXPECT_EQ(markers[1].FileText, "");
    EXPECT_EQ(markers[2].FileText, std::string("a\0b", 3));
}

TEST_F(CueReaderTest, SubChunkWalkBounds) {
    // The walk goes on while the offset o of the next sub-chunk does not
    // exceed the list's size: the sub-chunk at the end of the list's payload
    // (here the top-level chunk behind the LIST) is read too. The list
    // holds 4 + 16 bytes.
    const Bytes lab2 = RawChunk("labl", 8, Bytes{2, 0, 0, 0, 'T', 'W', 'O', 0});
    const Bytes lab3 = RawChunk("labl", 8, Bytes{3, 0, 0, 0, 'S', 'I', 'X', 0});
    const auto labels = [&](std::uint32_t pListSize) {
        WavSpec layout;
        layout.beforeData = {CueChunk({{1, 10}, {2, 20}, {3, 30}})};
        layout.afterData = {AdtlList({{"labl", 1, "ONE"}})};
        Bytes bytes = BuildWav(layout, Silence(16, 2));
        const Bytes size = Le32(pListSize);
        std::copy(size.begin(), size.end(), bytes.end() - 24);
        bytes.insert(bytes.end(), lab2.begin(), lab2.end());
        bytes.insert(bytes.end(), lab3.begin(), lab3.end());
        std::vector<CueMarker> markers;
        EXPECT_EQ(Read(WriteRaw(bytes), markers), 3);
        std::vector<std::string> out;
        for (const CueMarker& m : markers) out.push_back(m.Label);
        return out;
    };
    EXPECT_EQ(labels(20), (std::vector<std::string>{"ONE", "TWO", ""}));
    EXPECT_EQ(labels(16), (std::vector<std::string>{"ONE", "TWO", ""}));  // o == size
    EXPECT_EQ(labels(15), (std::vector<std::string>{"ONE", "", ""}));
    EXPECT_EQ(labels(32), (std::vector<std::string>{"ONE", "TWO", "SIX"}));
}

TEST_F(CueReaderTest, HostileSizes) {
    const Chunk cue = CueChunk({{1, 10}, {2, 20}});
    std::vector<CueMarker> markers;

    // A labl claiming 4 GiB: its text is capped and the walk ends behind it.
    Bytes body = RawChunk("labl", 0xFFFFFFF0u, Bytes{1, 0, 0, 0, 'B', 'I', 'G', 0});
    ASSERT_EQ(Read(Write({cue}, {ListChunk("adtl", body)}), markers), 2);
    EXPECT_EQ(markers[0].Label, "BIG");

    // Sizes with the top bit set only ever move the walk forward.
    body = RawChunk("labl", 0x80000000u, Bytes{2, 0, 0, 0, 'X', 0});
    ASSERT_EQ(Read(Write({cue}, {ListChunk("adtl", body)}), markers), 2);
    EXPECT_EQ(markers[1].Label, "X");

    // A LIST claiming 4 GiB at the end of the file: the file's end stops the walk.
    WavSpec layout;
    layout.beforeData = {cue};
    layout.afterData = {AdtlList({{"labl", 1, "AA"}, {"labl", 2, "BBB"}})};
    Bytes file = BuildWav(layout, Silence(16, 2));
    const std::string listId = "LIST";
    const auto list = std::search(file.begin(), file.end(), listId.begin(), listId.end());
    ASSERT_NE(list, file.end());
    const Bytes huge = Le32(0xFFFFFFFFu);
    std::copy(huge.begin(), huge.end(), list + 4);
    ASSERT_EQ(Read(WriteRaw(file), markers), 2);
    EXPECT_EQ(markers[0].Label, "AA");
    EXPECT_EQ(markers[1].Label, "BBB");
}

TEST_F(CueReaderTest, TruncatedFiles) {
    const Chunk plst = PlstChunk({{1, 100, 1}, {2, 200, 2}});
    WavSpec layout;
    layout.afterData = BroadcastMarkers(10, 20, 30, 40);
    layout.afterData.insert(layout.afterData.begin() + 1, plst);
    const Bytes whole = BuildWav(layout, Silence(16, 2));
    const size_t cueAt = 12 + 24 + 8 + 64;
    const size_t adtlAt = cueAt + 8 + layout.afterData[0].payload.size() + 8 + plst.payload.size();
    std::vector<CueMarker> full;
    ASSERT_EQ(Read(WriteRaw(whole), full), 4);

    for (size_t length = 0; length < whole.size(); ++length) {
        SCOPED_TRACE(length);
        Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        std::vector<CueMarker> markers;
        const std::int32_t result = Read(WriteRaw(cut), markers);
        if (length < cueAt + 8 + 4 + 4 * 24) {
            // Some cue point is not all there.
            EXPECT_EQ(result, 0);
        } else {
            ASSERT_EQ(result, 4);
            for (size_t i = 0; i < 4; ++i) {
                EXPECT_EQ(markers[i].CueID, full[i].CueID);
                EXPECT_EQ(markers[i].SampleOffset, full[i].SampleOffset);
                // A label cut short keeps what is there and nothing else.
                EXPECT_EQ(full[i].Label.rfind(markers[i].Label, 0), 0u);
            }
            if (length < adtlAt + 12) {
                EXPECT_EQ(markers[0].Label, "");
            }
        }
    }
}

TEST_F(CueReaderTest, FailedReadsAfterTheCuePoints) {
    // About trapping: errors are trapped unless the test lets them through.
    const test::TrappedErrors trapped;
    const std::string path = Write({}, BroadcastMarkers(1, 2, 3, 4));
    FileHandle handle = OpenFileHandle(path, kOpenRead);
    ASSERT_NE(handle, 0);
    int reads = 0;
    // Finding "cue " and reading its count and four points takes the first
    // ten reads; every read after the twelfth fails.
    platform::SetFaultHookForTesting([&](std::string_view pOperation) {
        if (pOperation == "read" && ++reads > 12) throw RunTimeError("injected");
    });
    const int freeBefore = LowestFreeDescriptor();
    std::vector<CueMarker> markers;
    // Trapping on: the failed reads only end the reading early.
    EXPECT_EQ(ReadCueMarkers(path, 0, markers), 4);
    EXPECT_EQ(markers, (std::vector<CueMarker>{Point(1, 1), Point(2, 2), Point(3, 3), Point(4, 4)}));
    reads = 0;
    EXPECT_EQ(ReadCueMarkers("", handle, markers), 4);
    // Trapping off: the error reaches the caller, and the file opened by name is closed.
    SetErrorCatch(1);
    reads = 0;
    EXPECT_THROW(ReadCueMarkers(path, 0, markers), RunTimeError);
    reads = 0;
    EXPECT_THROW(ReadCueMarkers("", handle, markers), RunTimeError);
    SetErrorCatch(0);
    platform::SetFaultHookForTesting(nullptr);
    EXPECT_EQ(LowestFreeDescriptor(), freeBefore);
    EXPECT_EQ(ReadCueMarkers("", handle, markers), 4);
    EXPECT_EQ(markers[3].Label, "BC$END");
    CloseFileHandle(handle);
}

TEST_F(CueReaderTest, CountsAreBoundedByTheChunkAndFrameZeroIsAMarker) {
    // A count of 3 over two points: the third would be read from the chunk
    // behind (here a plst whose bytes make a plausible point).
    Chunk cue = CueChunk({{1, 0}, {2, 4800}});
    cue.payload[0] = 3;
    Chunk plst = PlstChunk({{1, 10, 1}, {2, 20, 2}, {9, 99, 9}});
    plst.payload[0] = 5;  // two segments more than it holds
    std::vector<CueMarker> markers;
    ASSERT_EQ(Read(Write({cue, plst, {"JUNK", Bytes(40, 0x7F)}}, BroadcastMarkers(-1, -1, -1, -1)), markers), 2);
    EXPECT_EQ(markers[0].CueID, 1);
    EXPECT_EQ(markers[0].SampleOffset, 0);  // the file's first frame
    EXPECT_EQ(markers[0].PlayLength, 10);
    EXPECT_EQ(markers[1].CueID, 2);
    EXPECT_EQ(markers[1].SampleOffset, 4800);
    EXPECT_EQ(markers[1].Loops, 2);

    // A count whose points do not fit at all reads nothing.
    Chunk empty{"cue ", Le32(4)};
    EXPECT_EQ(Read(Write({empty, {"JUNK", Bytes(200, 0x11)}}, {}), markers), 0);
    EXPECT_EQ(markers, std::vector<CueMarker>(1));

    // A start marker at frame 0 is read like any other.
    ASSERT_EQ(Read(Write({}, BroadcastMarkers(0, -1, 12, -1)), markers), 2);
    EXPECT_EQ(markers[0].Label, "BC$START");
    EXPECT_EQ(markers[0].SampleOffset, 0);
}
