// Writes a small set of demo commercials into a folder: the files run.sh
// measures when it is given none.

#include <sys/stat.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/wavgen.h"

using namespace sonivate::test;

namespace {

constexpr std::int32_t kRate = 48000;

// A commercial: 2 s of lead-in silence, the programme, 1 s of tail, with
// BC$STANDBY at 1 s, BC$START at 2 s, BC$STOP and BC$END behind the programme.
void Commercial(const std::string& pPath, std::int16_t pChannels, std::int16_t pBits, double pSeconds, double pToneDbfs,
                double pToneHz, bool pClicks = false) {
    const auto lead = static_cast<std::int64_t>(2 * kRate);
    const auto body = static_cast<std::int64_t>(pSeconds * kRate);
    const auto tail = static_cast<std::int64_t>(kRate);
    Samples samples = Silence(lead, pChannels);
    Samples tone = Sine(body, pChannels, pToneHz, pToneDbfs, pBits, kRate);
    if (pClicks) {
        // A near-full-scale click every second: loud peaks in quiet programme,
        // so that the gain to the target would clip.
        const std::int32_t click = pBits == 16 ? 32000 : 8190000;
        for (std::int64_t n = 0; n < body; n += kRate)
            for (int c = 0; c < pChannels; ++c) tone[static_cast<size_t>(n * pChannels + c)] = click;
    }
    samples.insert(samples.end(), tone.begin(), tone.end());
    const Samples end = Silence(tail, pChannels);
    samples.insert(samples.end(), end.begin(), end.end());
    WavSpec layout;
    layout.channels = pChannels;
    layout.bitsPerSample = pBits;
    layout.afterData = BroadcastMarkers(static_cast<std::int32_t>(lead), kRate, static_cast<std::int32_t>(lead + body),
                                        static_cast<std::int32_t>(lead + body + tail / 2));
    WriteWav(pPath, layout, samples);
}

constexpr const char* kUsage =
    "usage: %s FOLDER [COUNT SECONDS]\n"
    "Writes four demo commercials (about 18 MB) into FOLDER, made when missing;\n"
    "with COUNT and SECONDS, COUNT stereo commercials of SECONDS each instead.\n"
    "  -h, --help  this text\n";
constexpr int kUsageError = 2;

bool IsHelp(const std::string& pArgument) { return pArgument == "--help" || pArgument == "-h"; }

// A whole positive number in pText, or false.
bool PositiveCount(const char* pText, int& pCount) {
    char* end = nullptr;
    const long value = std::strtol(pText, &end, 10);
    if (end == pText || *end != '\0' || value <= 0 || value > INT_MAX) return false;
    pCount = static_cast<int>(value);
    return true;
}

bool PositiveSeconds(const char* pText, double& pSeconds) {
    char* end = nullptr;
    pSeconds = std::strtod(pText, &end);
    return end != pText && *end == '\0' && std::isfinite(pSeconds) && pSeconds > 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (IsHelp(argv[i])) {
            std::printf(kUsage, argv[0]);
            return 0;
        }
    // Every argument is a folder name or a number: a leading dash is an
    // option this program does not have, never a folder to make.
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '-') {
            std::fprintf(stderr, "%s: unknown option %s\n", argv[0], argv[i]);
            std::fprintf(stderr, kUsage, argv[0]);
            return kUsageError;
        }
    int count = 0;
    double seconds = 0.0;
    if ((argc != 2 && argc != 4) || argv[1][0] == '\0' ||
        (argc == 4 && (!PositiveCount(argv[2], count) || !PositiveSeconds(argv[3], seconds)))) {
        std::fprintf(stderr, kUsage, argv[0]);
        return kUsageError;
    }
    const std::string folder = argv[1];
    ::mkdir(folder.c_str(), 0777);
    try {
        if (argc == 4) {
            // A batch of stereo commercials at levels from -14 to -33 dBFS.
            for (int i = 0; i < count; ++i) {
                char name[64];
                std::snprintf(name, sizeof(name), "/spot%04d.wav", i);
                Commercial(folder + name, 2, 16, seconds, -14.0 - i % 20, 250.0 + 37.0 * (i % 50));
            }
            return 0;
        }
        Commercial(folder + "/cm_stereo16_quiet.wav", 2, 16, 15.0, -30.0, 1000.0);
        Commercial(folder + "/cm_stereo24_loud.wav", 2, 24, 30.0, -12.0, 440.0);
        Commercial(folder + "/cm_mono16.wav", 1, 16, 15.0, -20.0, 1000.0);
        Commercial(folder + "/cm_hot_peaks.wav", 2, 16, 15.0, -40.0, 1000.0, true);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
