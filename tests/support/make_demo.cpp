// Writes a small set of demo commercials into a folder: the files run.sh
// measures when it is given none.

#include <sys/stat.h>

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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s FOLDER [COUNT SECONDS]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    ::mkdir(folder.c_str(), 0777);
    try {
        if (argc == 4) {
            // A batch of stereo commercials at levels from -14 to -33 dBFS.
            const int count = std::atoi(argv[2]);
            const double seconds = std::atof(argv[3]);
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
