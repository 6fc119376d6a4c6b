#include "wavefile/wave_check.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "common/error_trap.h"
#include "wavefile/le_bytes.h"
#include "wavefile/wave_extensible.h"

namespace sonivate {
namespace {

constexpr std::int32_t kFormatTagMask = 0xFFFF;

bool SupportedBits(std::int32_t pBits) { return pBits == 16 || pBits == 24; }
bool SupportedChannels(std::int32_t pChannels) {
    return pChannels == 1 || pChannels == 2 || pChannels == 6 || pChannels == 8;
}

// The faults of the "fmt " fields alone; fills pCheck.ValidBits.
WaveProblem JudgeFormat(const ByteSource& pSource, WaveCheck& pCheck) {
    const WaveFormatInfo& info = pCheck.Layout.Info;
    const std::int32_t tag = info.FormatTag & kFormatTagMask;
    if (tag == kFormatTagPcm) {
        pCheck.ValidBits = info.BitsPerSample;
    } else if (tag == kFormatTagExtensible) {
        pCheck.ValidBits = ExtensiblePcmValidBits(pSource, pCheck.Layout.FmtChunk);
        if (pCheck.ValidBits == 0) return WaveProblem::NotPcm;
    } else {
        return WaveProblem::NotPcm;
    }
    if (FormatKindOf(info.Channels, info.BitsPerSample) < 0)
        return SupportedChannels(info.Channels) ? WaveProblem::UnsupportedBits : WaveProblem::UnsupportedLayout;
    if (!SupportedBits(info.BitsPerSample) || pCheck.ValidBits != info.BitsPerSample)
        return WaveProblem::UnsupportedBits;
    return WaveProblem::None;
}

}  // namespace

WaveCheck CheckWave(const ByteSource& pSource, const WaveRequirements& pNeeds) {
    WaveCheck check;
    Trap([&] {
        check.Layout = ReadWaveLayout(pSource);
        const WaveFormatInfo& info = check.Layout.Info;
        const WaveProblem walk = check.Layout.Problem;
        check.Frames = info.FramesInFile;
        if (info.SampleRate > 0)
            check.DurationMs =
                static_cast<std::int64_t>(std::nearbyint(static_cast<double>(check.Frames) / info.SampleRate * 1000.0));
        if (walk == WaveProblem::ReadFailed && check.Layout.FmtChunk < 0) {
            check.Problem = walk;
            return;
        }
        if (walk == WaveProblem::NotWave || walk == WaveProblem::NoFmt) {
            check.Problem = walk;
            return;
        }
        check.Speakers = ReadChannelLayout(pSource, check.Layout);
        const WaveProblem format = JudgeFormat(pSource, check);
        if (format != WaveProblem::None)
            check.Problem = format;
        else if (walk != WaveProblem::None)
            check.Problem = walk;
        else if (info.SampleRate != pNeeds.SampleRate)
            check.Problem = WaveProblem::UnsupportedRate;
        else if (check.DurationMs < pNeeds.ShortestMs)
            check.Problem = WaveProblem::TooShort;
        else
            check.Problem = WaveProblem::None;
    });
    return check;
}

WaveCheck CheckWave(const std::string& pFilename, FileHandle pHandle, const WaveRequirements& pNeeds) {
    RoutineHandle file(pHandle, pFilename);
    if (file.handle == 0) return WaveCheck{};
    return CheckWave(HandleSource(file.handle), pNeeds);
}

const char* WaveProblemName(WaveProblem pProblem) {
    switch (pProblem) {
        case WaveProblem::None:
            return "none";
        case WaveProblem::ReadFailed:
            return "read_failed";
        case WaveProblem::NotWave:
            return "not_wave";
        case WaveProblem::NoFmt:
            return "no_fmt";
        case WaveProblem::NoData:
            return "no_data";
        case WaveProblem::SizeMismatch:
            return "size_mismatch";
        case WaveProblem::UnsupportedLayout:
            return "unsupported_layout";
        case WaveProblem::NotPcm:
            return "not_pcm";
        case WaveProblem::UnsupportedBits:
            return "unsupported_bits";
        case WaveProblem::UnsupportedRate:
            return "unsupported_rate";
        case WaveProblem::TooShort:
            return "too_short";
    }
    return "?";
}

}  // namespace sonivate
