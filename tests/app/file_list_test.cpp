#include <sys/stat.h>

#include <gtest/gtest.h>

#include "app/file_list.h"
#include "batch_hosts.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate {
namespace {

using test::RecordingIntake;
using test::ScratchDir;

constexpr std::int32_t kRate = 48000;

std::string Tone(const ScratchDir& pDir, const std::string& pName, double pSeconds, test::WavSpec pSpec = {}) {
    const auto frames = static_cast<std::int64_t>(pSeconds * pSpec.sampleRate);
    return test::WriteWav(pDir.file(pName), pSpec,
                          test::Sine(frames, pSpec.channels, 1000.0, -20.0, pSpec.bitsPerSample, pSpec.sampleRate));
}

class FileListTest : public ::testing::Test {
protected:
    void SetUp() override { ConfigureFileList(list); }
    std::string Title(std::int32_t pRow) const { return list.Value(pRow, kColumnTitle).AsText(); }
    ListViewModel list;
    ScratchDir dir;
};

TEST_F(FileListTest, AcceptedFileBecomesARowWithTitlePathRangeAndLength) {
    RecordingIntake intake;
    const std::string path = Tone(dir, "take.one.wav", 2.5);
    AddTitle(list, intake, path, kLastItem);
    ASSERT_EQ(list.ItemCount(), 1);
    EXPECT_TRUE(intake.rejections.empty());
    EXPECT_EQ(list.IconType(0), kFileIcon);
    EXPECT_EQ(list.AuxID(0, kAuxPath).AsText(), path);
    EXPECT_EQ(list.AuxID(0, kAuxStart).AsNumber(), 0.0);
    EXPECT_EQ(list.AuxID(0, kAuxEnd).AsNumber(), 2.5 * kRate);
    EXPECT_EQ(Title(0), "take.one");
    EXPECT_EQ(list.Value(0, kColumnLength).AsText(), "00:00:02.500");
    EXPECT_TRUE(list.Value(0, kColumnLKFS).IsEmpty());
    EXPECT_EQ(list.TabName(kColumnGain), "加減値dB");
}

TEST_F(FileListTest, RejectionsNameTheReasonAndThePathAndAddNoRow) {
    RecordingIntake intake;
    test::WavSpec cd;
    cd.sampleRate = 44100;
    test::WavSpec floating;
    floating.formatTag = 3;
    floating.bitsPerSample = 32;
    test::WavSpec quad;
    quad.channels = 4;
    test::WavSpec extensible;
    extensible.formatTag = 0xFFFE;
    const std::string cdPath = Tone(dir, "cd.wav", 2.0, cd);
    const std::string floatPath = test::WriteWav(dir.file("float.wav"), floating, test::Silence(kRate, 2));
    const std::string shortPath = Tone(dir, "short.wav", 0.9);
    const std::string quadPath = Tone(dir, "quad.wav", 2.0, quad);
    const std::string extPath = Tone(dir, "ext.wav", 2.0, extensible);
    // Extensible with a float sub-format, and 20 valid bits in 24: not linear PCM.
    test::WavSpec extFloat = extensible;
    extFloat.subFormat = 3;
    test::WavSpec ext20 = extensible;
    ext20.bitsPerSample = 24;
    ext20.validBits = 20;
    const std::string extFloatPath = Tone(dir, "extfloat.wav", 2.0, extFloat);
    const std::string ext20Path = Tone(dir, "ext20.wav", 2.0, ext20);
    for (const std::string& path :
         {cdPath, floatPath, shortPath, quadPath, extFloatPath, ext20Path, dir.path(), dir.file("gone.wav")})
        AddTitle(list, intake, path, kLastItem);
    EXPECT_EQ(list.ItemCount(), 0);
    ASSERT_EQ(intake.rejections.size(), 8u);
    EXPECT_EQ(intake.rejections[0], std::string(kMessageUnsupported) + "\r\n" + cdPath);
    EXPECT_EQ(intake.rejections[1], std::string(kMessageNotWav) + "\r\n" + floatPath);
    EXPECT_EQ(intake.rejections[2], std::string(kMessageTooShort) + "\r\n" + shortPath);
    EXPECT_EQ(intake.rejections[3], std::string(kMessageUnsupported) + "\r\n" + quadPath)
        << "four channels are a layout the tool does not measure";
    EXPECT_EQ(intake.rejections[4], std::string(kMessageNotWav) + "\r\n" + extFloatPath);
    EXPECT_EQ(intake.rejections[5], std::string(kMessageUnsupported) + "\r\n" + ext20Path)
        << "linear PCM, but not 16 or 24 valid bits";
    EXPECT_EQ(intake.rejections[6],
              std::string(ReasonText(RowReason::NotRegular, MessageLanguage::Japanese)) + "\r\n" + dir.path());
    EXPECT_EQ(intake.rejections[7],
              std::string(ReasonText(RowReason::Missing, MessageLanguage::Japanese)) + "\r\n" + dir.file("gone.wav"));
    EXPECT_EQ(intake.reasons,
              (std::vector<RowReason>{RowReason::UnsupportedFormat, RowReason::NotPcm, RowReason::TooShort,
                                      RowReason::UnsupportedFormat, RowReason::NotPcm, RowReason::UnsupportedFormat,
                                      RowReason::NotRegular, RowReason::Missing}));

    // Extensible PCM with every bit valid is what ffmpeg and sox write.
    AddTitle(list, intake, extPath, kLastItem);
    EXPECT_EQ(list.ItemCount(), 1);
    ConfigureFileList(list);

    AddTitle(list, intake, Tone(dir, "exact.wav", 1.0), kLastItem);
    EXPECT_EQ(list.ItemCount(), 1) << "exactly one second is long enough";
}

TEST_F(FileListTest, ExtensibleStereoAndSurroundFromOtherToolsAreListed) {
    RecordingIntake intake;
    for (const std::int16_t channels : {std::int16_t{2}, std::int16_t{6}}) {
        test::WavSpec layout;
        layout.formatTag = 0xFFFE;
        layout.bitsPerSample = 24;
        layout.channels = channels;
        AddTitle(list, intake, Tone(dir, "ext" + std::to_string(channels) + ".wav", 1.5, layout), kLastItem);
    }
    EXPECT_TRUE(intake.rejections.empty()) << intake.rejections.front();
    EXPECT_EQ(list.ItemCount(), 2);
}

TEST_F(FileListTest, FifosAreRefusedWithoutOpeningThem) {
    // Opening a FIFO for reading would wait for a writer forever.
    ASSERT_EQ(::mkfifo(dir.file("pipe.wav").c_str(), 0644), 0);
    Tone(dir, "real.wav", 1.5);
    RecordingIntake intake;
    EXPECT_EQ(AddFolder(list, intake, dir.path()), 2);
    EXPECT_EQ(list.ItemCount(), 1);
    EXPECT_EQ(intake.reasons, std::vector<RowReason>{RowReason::NotRegular});
}

TEST_F(FileListTest, TheRangeCoversOnlyTheFramesTheFileHolds) {
    // A pipe's writer cannot know the length and stores 0xFFFFFFFF; a marker
    // may lie past the end too.
    test::WavSpec piped;
    piped.declaredDataSize = 0xFFFFFFFF;
    piped.afterData = {};
    const std::string pipedPath = test::WriteWav(dir.file("piped.wav"), piped, test::Silence(kRate * 6 / 5, 2));
    test::WavSpec lying;
    lying.afterData = test::BroadcastMarkers(kRate / 2, -1, 100 * kRate, -1);
    const std::string lyingPath = test::WriteWav(dir.file("lying.wav"), lying, test::Silence(2 * kRate, 2));
    RecordingIntake whole;
    AddTitle(list, whole, pipedPath, kLastItem);
    RecordingIntake markers(kRangeBcStart, kRangeBcStop);
    AddTitle(list, markers, lyingPath, kLastItem);
    ASSERT_EQ(list.ItemCount(), 2);
    EXPECT_EQ(list.AuxID(0, kAuxEnd).AsNumber(), 1.2 * kRate);
    EXPECT_EQ(list.Value(0, kColumnLength).AsText(), "00:00:01.200");
    EXPECT_EQ(list.AuxID(1, kAuxEnd).AsNumber(), 2.0 * kRate);
    EXPECT_EQ(list.Value(1, kColumnLength).AsText(), "00:00:01.500");
    ASSERT_EQ(markers.markers.size(), 1u);
    EXPECT_TRUE(markers.markers[0].StartFound && markers.markers[0].EndFound);

    // Chosen markers a file lacks are reported, and the range keeps the file's ends.
    RecordingIntake missing(kRangeBcStandby, kRangeBcEnd);
    AddTitle(list, missing, lyingPath, kLastItem);
    ASSERT_EQ(missing.markers.size(), 1u);
    EXPECT_TRUE(missing.markers[0].StartChosen && !missing.markers[0].StartFound);
    EXPECT_TRUE(missing.markers[0].EndChosen && !missing.markers[0].EndFound);
    EXPECT_EQ(list.Value(2, kColumnLength).AsText(), "00:00:02.000");
}

TEST_F(FileListTest, MarkersChooseTheRange) {
    test::WavSpec layout;
    layout.afterData = test::BroadcastMarkers(2 * kRate, kRate, 32 * kRate, 34 * kRate);
    const std::string path = test::WriteWav(dir.file("cm.wav"), layout, test::Silence(35 * kRate, 2));

    RecordingIntake startStop(kRangeBcStart, kRangeBcStop);
    AddTitle(list, startStop, path, kLastItem);
    EXPECT_EQ(list.AuxID(0, kAuxStart).AsNumber(), 96000.0);
    EXPECT_EQ(list.AuxID(0, kAuxEnd).AsNumber(), 1536000.0);
    EXPECT_EQ(list.Value(0, kColumnLength).AsText(), "00:00:30.000");

    RecordingIntake standbyEnd(kRangeBcStandby, kRangeBcEnd);
    AddTitle(list, standbyEnd, path, kLastItem);
    EXPECT_EQ(list.AuxID(1, kAuxStart).AsNumber(), 48000.0);
    EXPECT_EQ(list.AuxID(1, kAuxEnd).AsNumber(), 34.0 * kRate);

    RecordingIntake whole;
    AddTitle(list, whole, path, kLastItem);
    EXPECT_EQ(list.AuxID(2, kAuxStart).AsNumber(), 0.0);
    EXPECT_EQ(list.AuxID(2, kAuxEnd).AsNumber(), 35.0 * kRate);
}

TEST_F(FileListTest, MissingZeroAndLowerCaseMarkers) {
    const std::string plain = Tone(dir, "plain.wav", 3.0);
    test::WavSpec layout;
    layout.afterData = {test::CueChunk({{1, 0}, {2, kRate}, {3, 0}}),
                        test::AdtlList({{"labl", 1, "BC$START"}, {"labl", 2, "bc$stop"}, {"labl", 3, "BC$END"}})};
    const std::string marked =
        test::WriteWav(dir.file("marked.wav"), layout, test::Sine(3 * kRate, 2, 1000.0, -20.0, 16));
    RecordingIntake startStop(kRangeBcStart, kRangeBcStop);
    AddTitle(list, startStop, plain, kLastItem);
    AddTitle(list, startStop, marked, kLastItem);
    RecordingIntake startEnd(kRangeBcStart, kRangeBcEnd);
    AddTitle(list, startEnd, marked, kLastItem);
    EXPECT_EQ(list.AuxID(0, kAuxEnd).AsNumber(), 3.0 * kRate) << "no markers: the whole file";
    EXPECT_EQ(list.AuxID(1, kAuxStart).AsNumber(), 0.0) << "a start marker on the first frame";
    EXPECT_EQ(list.AuxID(1, kAuxEnd).AsNumber(), 1.0 * kRate) << "labels compare in upper case";
    EXPECT_EQ(list.AuxID(2, kAuxEnd).AsNumber(), 0.0) << "an end marker on the first frame is found too";
    ASSERT_EQ(startStop.markers.size(), 2u);
    EXPECT_TRUE(startStop.markers[1].StartFound) << "a marker at frame 0 is not missing";
}

TEST_F(FileListTest, DroppedFilesGoToConsecutiveRowsEvenAfterARejection) {
    RecordingIntake intake;
    for (int i = 0; i < 5; ++i) AddTitle(list, intake, Tone(dir, "row" + std::to_string(i) + ".wav", 1.0), kLastItem);
    const std::string bad = Tone(dir, "bad.wav", 0.5);
    AddDroppedFiles(list, intake, {bad, Tone(dir, "x.wav", 1.0), Tone(dir, "y.wav", 1.0)}, 2);
    ASSERT_EQ(list.ItemCount(), 7);
    EXPECT_EQ(Title(2), "row2");
    EXPECT_EQ(Title(3), "x");
    EXPECT_EQ(Title(4), "y");
    EXPECT_EQ(intake.rejections.size(), 1u);
    AddDroppedFiles(list, intake, {Tone(dir, "z.wav", 1.0)}, list.ItemCount());
    EXPECT_EQ(Title(7), "z");
}

TEST_F(FileListTest, FoldersAreListedByExtensionAndSortedWithTheRestOnTheCommandLine) {
    RecordingIntake intake;
    ScratchDir folder;
    Tone(folder, "b.wav", 1.0);
    Tone(folder, "A.WAV", 1.0);
    Tone(folder, "c.wave", 1.0);
    ::mkdir(folder.file("d.wav").c_str(), 0755);
    EXPECT_EQ(AddFolder(list, intake, folder.file("none")), 0);
    const std::string loose = Tone(dir, "zz.wav", 1.0);
    const std::string early = Tone(dir, "m.wav", 1.0);
    AddCommandLinePaths(list, intake, {early, folder.path(), loose, dir.file("missing.wav")});
    ASSERT_EQ(list.ItemCount(), 4);
    EXPECT_EQ(Title(0), "A");
    EXPECT_EQ(Title(1), "b");
    EXPECT_EQ(Title(2), "m");
    EXPECT_EQ(Title(3), "zz") << "a file after the folder is appended unsorted";
    EXPECT_TRUE(intake.rejections.empty());
}

}  // namespace
}  // namespace sonivate
