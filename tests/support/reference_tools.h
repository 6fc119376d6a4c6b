#pragma once
// Second opinions for the tests: other programs on the PATH (ffmpeg, sox)
// and libebur128's integrated loudness of a WAV file's bytes. Include only
// from a test target that links libebur128.

#include <ebur128.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/wavgen.h"
#include "wavefile/byte_source.h"
#include "wavefile/pcm_codec.h"
#include "wavefile/wave_mmio.h"

namespace sonivate::test {

// What pCommand prints on its standard output (through the shell).
inline std::string Shell(const std::string& pCommand) {
    std::string out;
    if (std::FILE* pipe = ::popen(pCommand.c_str(), "r")) {
        char buffer[4096];
        size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
        ::pclose(pipe);
    }
    return out;
}

// Whether pName is on the PATH; an empty name (no tool needed) is.
inline bool HaveTool(const std::string& pName) {
    return pName.empty() || !Shell("command -v " + pName + " 2>/dev/null").empty();
}

// libebur128's integrated loudness (LUFS) of a 16- or 24-bit WAV file held
// in pFile, each channel placed as pPositions says (EBUR128_LEFT, ...;
// EBUR128_UNUSED for one left out). Samples are read at libebur128's own
// full scale, 2^15 and 2^23.
inline double Ebur128Integrated(const Bytes& pFile, const std::vector<int>& pPositions) {
    const WaveFormatInfo info = ReadWaveHeader(MemorySource(pFile.data(), pFile.size()));
    const int channels = info.Channels;
    const bool wide = info.BitsPerSample == 24;
    const double fullScale = wide ? 8388608.0 : 32768.0;
    std::vector<double> samples(static_cast<size_t>(info.NumSamples) * static_cast<size_t>(channels));
    const std::uint8_t* data = pFile.data() + info.DataOffset;
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = (wide ? Pcm24::DecodeOne(data + 3 * i) : Pcm16::DecodeOne(data + 2 * i)) / fullScale;
    ebur128_state* state =
        ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(info.SampleRate), EBUR128_MODE_I);
    for (size_t c = 0; c < pPositions.size(); ++c) ebur128_set_channel(state, static_cast<unsigned>(c), pPositions[c]);
    ebur128_add_frames_double(state, samples.data(), static_cast<size_t>(info.NumSamples));
    double loudness = 0.0;
    ebur128_loudness_global(state, &loudness);
    ebur128_destroy(&state);
    return loudness;
}

}  // namespace sonivate::test
