// sonivate-cli run: every row says what became of it, nothing unmeasured is
// written, and results that cannot be delivered fail the command.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli_runner.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate::test {
namespace {

using Json = nlohmann::json;
constexpr std::int32_t kRate = 48000;

Json RowOf(const Json& pRows, const std::string& pTitle) {
    for (const Json& row : pRows)
        if (row["title"] == pTitle) return row;
    return Json();
}

TEST(CliOutcome, RowsThatCannotBeMeasuredOrListedSayWhyAndNothingIsWrittenInPlace) {
    ScratchDir dir;
    // BC$START to BC$STOP is 0.2 s: no block. In place, the old behaviour
    // replaced the source with an "adjusted" copy at 0 dB.
    WavSpec tinyLayout;
    tinyLayout.afterData = BroadcastMarkers(kRate, -1, kRate + kRate / 5, -1);
    const std::string tiny = WriteWav(dir.file("tiny.wav"), tinyLayout, Sine(2 * kRate, 2, 440.0, -20.0, 16));
    WavSpec reversed;
    reversed.afterData = BroadcastMarkers(kRate + kRate / 2, -1, kRate / 2, -1);
    WriteWav(dir.file("backwards.wav"), reversed, Sine(2 * kRate, 2, 440.0, -20.0, 16));
    WavSpec plain;
    plain.afterData = BroadcastMarkers(kRate / 4, -1, 7 * kRate / 4, -1);
    const std::string quiet = WriteWav(dir.file("roomtone.wav"), plain, Sine(2 * kRate, 2, 440.0, -85.0, 16));
    const Bytes tinyBefore = ReadBytes(tiny);
    const Bytes quietBefore = ReadBytes(quiet);
    const std::string absent = dir.file("absent.wav");

    const CliResult r = RunCli({"run", "--from", "BC$START", "--to", "BC$STOP", "--write", "--in-place", "--json",
                                "--jobs", "1", dir.path(), absent});
    EXPECT_EQ(r.status, 1);
    const Json rows = Json::parse(r.out);
    ASSERT_EQ(rows.size(), 4u) << "a path that does not exist still gets its row";

    const Json tinyRow = RowOf(rows, "tiny");
    EXPECT_FALSE(tinyRow["measured"].get<bool>());
    EXPECT_FALSE(tinyRow["written"].get<bool>());
    EXPECT_EQ(tinyRow["reason"], "not_measured");
    EXPECT_EQ(ReadBytes(tiny), tinyBefore);

    EXPECT_EQ(RowOf(rows, "backwards")["reason"], "empty_range");

    const Json quietRow = RowOf(rows, "roomtone");
    EXPECT_TRUE(quietRow["measured"].get<bool>());
    EXPECT_EQ(quietRow["lkfs_text"], "-70.00") << "the figures are shown as measured";
    EXPECT_EQ(quietRow["reason"], "too_quiet");
    EXPECT_TRUE(quietRow["gain"].is_null()) << "no gain is invented for room tone";
    EXPECT_EQ(quietRow["gain_text"], "");
    EXPECT_FALSE(quietRow["written"].get<bool>());
    EXPECT_EQ(ReadBytes(quiet), quietBefore);

    const Json absentRow = RowOf(rows, "absent");
    EXPECT_FALSE(absentRow["listed"].get<bool>());
    EXPECT_EQ(absentRow["reason"], "missing");
    EXPECT_EQ(absentRow["path"], absent);
}

TEST(CliOutcome, PathsThatAreNotUtf8KeepTheirBytes) {
    ScratchDir dir;
    const std::string name = std::string("spot\xff\xfe") + ".wav";
    WriteWav(dir.file(name), {}, Sine(2 * kRate, 2, 997.0, -20.0, 16));
    const CliResult r = RunCli({"run", "--json", "--jobs", "1", dir.path()});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json rows = Json::parse(r.out);
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_TRUE(rows[0].contains("path_bytes"));
    // base64 of the path's exact bytes.
    const std::string path = dir.file(name);
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string decoded;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : rows[0]["path_bytes"].get<std::string>()) {
        if (c == '=') break;
        bits = (bits << 6) | static_cast<std::uint32_t>(std::string(kAlphabet).find(c));
        count += 6;
        if (count >= 8) {
            count -= 8;
            decoded += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    EXPECT_EQ(decoded, path);
    EXPECT_TRUE(rows[0]["measured"].get<bool>());

    const CliResult valid = RunCli({"measure", "--json", "--no-extras", dir.file(name)});
    EXPECT_TRUE(Json::parse(valid.out)[0].contains("path_bytes"));
}

TEST(CliOutcome, ResultsThatCannotBeWrittenFailTheCommand) {
    ScratchDir dir;
    const std::string path = WriteWav(dir.file("a.wav"), {}, Sine(2 * kRate, 2, 997.0, -20.0, 16));
    const std::string cli = SONIVATE_CLI_PATH;
    // A full disk behind stdout, and a closed stdout.
    for (const std::string redirect : {"> /dev/full", ">&-"}) {
        const std::string command = "'" + cli + "' run --json --jobs 1 '" + path + "' " + redirect + " 2>/dev/null";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << redirect;
        EXPECT_NE(WEXITSTATUS(status), 0) << redirect;
    }
}

}  // namespace
}  // namespace sonivate::test

namespace sonivate::test {
namespace {

TEST(CliOutcome, PathsFromAPipeAndRowsAsTheyFinish) {
    ScratchDir dir, out;
    std::string list;
    for (int i = 0; i < 4; ++i) {
        const std::string path = WriteWav(dir.file("p" + std::to_string(i) + ".wav"), {},
                                          Sine((i % 2 == 0 ? 6 : 1) * kRate, 2, 997.0, -20.0 - i, 16));
        list += path + "\n";
    }
    list += dir.file("gone.wav") + "\n";
    const std::string listFile = dir.file("list.txt");
    WriteBytes(listFile, Bytes(list.begin(), list.end()));
    const std::string cli = SONIVATE_CLI_PATH;
    const std::string command = "'" + cli + "' run --files-from - --json-lines --jobs 3 --write --output-dir '" +
                                out.path() + "' < '" + listFile + "' 2>/dev/null";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        ::pclose(pipe);
    }
    std::vector<Json> rows;
    size_t at = 0;
    while (at < output.size()) {
        const size_t end = output.find('\n', at);
        rows.push_back(Json::parse(output.substr(at, end - at)));
        at = end + 1;
    }
    ASSERT_EQ(rows.size(), 5u) << output;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(rows[static_cast<size_t>(i)]["title"], "p" + std::to_string(i)) << "list order";
        EXPECT_TRUE(rows[static_cast<size_t>(i)]["written"].get<bool>());
    }
    EXPECT_EQ(rows[4]["reason"], "missing");

    // The same list NUL-separated from a file, with a path on the command line too.
    std::string nulList = dir.file("p0.wav") + '\0' + dir.file("p1.wav") + '\0';
    WriteBytes(listFile, Bytes(nulList.begin(), nulList.end()));
    const CliResult r = RunCli({"run", "--json", "--files-from", listFile, "--null", dir.file("p2.wav")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out).size(), 3u);
}

}  // namespace
}  // namespace sonivate::test

namespace sonivate::test {
namespace {

std::string Slurp(const std::string& pCommand) {
    std::string text;
    if (FILE* pipe = ::popen(pCommand.c_str(), "r")) {
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
        ::pclose(pipe);
    }
    return text;
}

std::int16_t Field(const Bytes& pFile, size_t pAt) {
    return static_cast<std::int16_t>(pFile[pAt] | (pFile[pAt + 1] << 8));
}

TEST(CliOutcome, AReportTheSeriesAndBextFieldsThatDescribeTheCopy) {
    ScratchDir dir, out;
    // A bext chunk of version 2 first, claiming -23.00 LUFS.
    constexpr size_t kBextBytes = 602, kVersionAt = 346, kLoudnessAt = 412;
    Bytes bext(kBextBytes, 0);
    bext[kVersionAt] = 2;
    const std::int16_t stale = -2300;
    bext[kLoudnessAt] = static_cast<std::uint8_t>(stale & 0xFF);
    bext[kLoudnessAt + 1] = static_cast<std::uint8_t>((stale >> 8) & 0xFF);
    WavSpec layout;
    layout.beforeFmt = {Chunk{"bext", bext}};
    const std::string spot = WriteWav(dir.file("スポット.wav"), layout, Sine(6 * kRate, 2, 997.0, -20.0, 16));
    const std::string pdf = out.file("batch.pdf");
    // The report's font libraries keep their caches until the process ends.
    const std::vector<std::string> fonts = {"LSAN_OPTIONS=suppressions=" SONIVATE_FONT_SUPPRESSIONS};
    const CliResult r = RunCli({"run", "--json", "--write", "--output-dir", out.path(), "--report", pdf,
                                "--report-field", "client=Kovan Foods", "--report-field", "notes=second cut", spot},
                               "", fonts);
    ASSERT_EQ(r.status, 0) << r.err;
    const Json row = Json::parse(r.out)[0];
    EXPECT_TRUE(row["written"].get<bool>());

    // The copy's integrated loudness field is the copy's, not the source's.
    const Bytes copy = ReadBytes(out.file("スポット.wav"));
    const size_t bextAt = 12 + 8;  // the RIFF header, then the bext chunk's header
    ASSERT_EQ(std::string(copy.begin() + 12, copy.begin() + 16), "bext");
    EXPECT_NEAR(Field(copy, bextAt + kLoudnessAt) / 100.0, -24.0, 0.02);
    EXPECT_EQ(Field(ReadBytes(spot), bextAt + kLoudnessAt), stale) << "the source is untouched";

    const std::string text = Slurp("pdftotext '" + pdf + "' - 2>/dev/null");
    EXPECT_NE(text.find("スポット"), std::string::npos) << text.substr(0, 400);
    EXPECT_NE(text.find(row["lkfs_text"].get<std::string>()), std::string::npos);
    EXPECT_NE(text.find("Kovan Foods"), std::string::npos) << "the station's fields head the record";
    EXPECT_NE(text.find("second cut"), std::string::npos);
    EXPECT_NE(text.find("sonivate " SONIVATE_VERSION), std::string::npos);
    EXPECT_EQ(RunCli({"run", "--report-field", "colour=red", spot}).status, 2) << "an unknown field is a usage error";

    const CliResult series = RunCli({"measure", "--json", "--series", spot});
    ASSERT_EQ(series.status, 0) << series.err;
    const Json values = Json::parse(series.out)[0]["series"];
    ASSERT_EQ(values["momentary"].size(), 60u) << "every 100 ms of six seconds";
    EXPECT_TRUE(values["momentary"][0].is_null()) << "no full window yet";
    EXPECT_NEAR(values["short_term"][59].get<double>(), row["lkfs"].get<double>(), 0.1);
    EXPECT_FALSE(Json::parse(RunCli({"measure", "--json", spot}).out)[0].contains("series"));

    // apply describes its copy too, unless told to keep the source's bytes.
    ASSERT_EQ(RunCli({"apply", "--gain", "-6", spot, out.file("quieter.wav")}).status, 0);
    const double source = row["lkfs"].get<double>();
    EXPECT_NEAR(Field(ReadBytes(out.file("quieter.wav")), bextAt + kLoudnessAt) / 100.0, source - 6.0, 0.02);
    ASSERT_EQ(RunCli({"apply", "--gain", "-6", "--bext-loudness", "keep", spot, out.file("kept.wav")}).status, 0);
    EXPECT_EQ(Field(ReadBytes(out.file("kept.wav")), bextAt + kLoudnessAt), stale);
}

}  // namespace
}  // namespace sonivate::test
