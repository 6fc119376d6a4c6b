// Writes the seed corpus of the WAV reader fuzz target into a folder: small
// files that reach every branch of the readers, generated rather than kept.

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/wavgen.h"

using namespace sonivate::test;

namespace {

constexpr std::int64_t kFrames = 4;  // the samples only take up room

Bytes Wav(const WavSpec& pSpec) { return BuildWav(pSpec, Silence(kFrames, pSpec.channels)); }

WavSpec Layout(std::int16_t pChannels, std::int16_t pBits, std::uint16_t pTag = 1) {
    WavSpec layout;
    layout.channels = pChannels;
    layout.bitsPerSample = pBits;
    layout.formatTag = pTag;
    return layout;
}

Bytes Cut(Bytes pBytes, size_t pLength) {
    pBytes.resize(std::min(pBytes.size(), pLength));
    return pBytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    ::mkdir(folder.c_str(), 0777);
    try {
        std::vector<std::pair<std::string, Bytes>> seeds;
        seeds.emplace_back("canonical_stereo16", Wav(Layout(2, 16)));
        seeds.emplace_back("mono24", Wav(Layout(1, 24)));
        seeds.emplace_back("mono8", Wav(Layout(1, 8)));
        seeds.emplace_back("extensible_71_24", Wav(Layout(8, 24, 0xFFFE)));
        seeds.emplace_back("unsupported_3ch", Wav(Layout(3, 16)));

        WavSpec reversed = Layout(2, 24);
        reversed.dataBeforeFmt = true;
        reversed.beforeFmt = {{"LIST", Bytes(5, 'x')}, {"JUNK", {}}};
        seeds.emplace_back("data_first_odd_list", Wav(reversed));

        WavSpec huge = Layout(2, 16);
        huge.declaredDataSize = 0xFFFFFFFF;
        seeds.emplace_back("huge_data_size", Wav(huge));

        WavSpec broadcast = Layout(2, 16);
        broadcast.afterData = BroadcastMarkers(10, 20, 30, 40);
        broadcast.afterData.push_back(PlstChunk({{1, 5, 1}, {3, 7, 2}, {9, 1, 1}}));
        const Bytes broadcastBytes = Wav(broadcast);
        seeds.emplace_back("broadcast_markers", broadcastBytes);
        seeds.emplace_back("broadcast_cut", Cut(broadcastBytes, broadcastBytes.size() - 9));

        WavSpec mixed = Layout(1, 16);
        mixed.beforeData = {CueChunk({{1, 100}, {2, 200}}),
                            ListChunk("INFO", Bytes{'I', 'N', 'A', 'M', 2, 0, 0, 0, 'x', 0})};
        mixed.afterData = {AdtlList({{"labl", 1, "\x8A\x4A\x8E\x6E"},
                                     {"file", 2, "clip.wav\rmore", 0x45564157},
                                     {"note", 1, "note"},
                                     {"labl", 2, "XY", 0, true},
                                     {"labl", 9, std::string(40, 'L')}})};
        seeds.emplace_back("adtl_after_info", Wav(mixed));

        std::vector<CuePointSpec> many;
        for (int i = 1; i <= 101; ++i) many.push_back({i, i});
        WavSpec tooMany = Layout(2, 16);
        tooMany.afterData = {CueChunk(many)};
        seeds.emplace_back("cue_101", Wav(tooMany));

        // 64-bit forms: sizes from ds64, also sizes whose ends lie beyond
        // the largest offset (2^63 - 1) a file can have.
        WavSpec wide = Layout(2, 16);
        wide.form = "RF64";
        wide.beforeData = {{"JUNK", Bytes(2, 0)}};
        wide.afterData = BroadcastMarkers(1, 2, 3, -1);
        wide.sizesInDs64 = {"JUNK"};
        const Bytes wideBytes = Wav(wide);
        seeds.emplace_back("rf64_sizes_in_ds64", wideBytes);
        Bytes farChunk = wideBytes;
        // ds64's first table entry: identifier at byte 48, 64-bit size behind it.
        constexpr size_t kFirstEntrySize = 52;
        for (size_t b = 0; b < 8; ++b) farChunk[kFirstEntrySize + b] = b == 7 ? 0x7F : 0xFF;
        seeds.emplace_back("rf64_chunk_size_2_63", farChunk);
        wide.ds64DataSize = INT64_MAX;
        seeds.emplace_back("rf64_data_size_2_63", Wav(wide));

        for (const auto& [name, bytes] : seeds) WriteBytes(folder + "/" + name + ".wav", bytes);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
