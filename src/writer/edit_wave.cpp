#include "writer/edit_wave.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "common/error_trap.h"
#include "common/numeric.h"
#include "platform/event_pump.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {
namespace {

// Factors above this (gains above +600 dB) saturate every non-zero sample
// anyway. Capping keeps x * factor finite and inside the float range, and
// keeps 0 * factor at 0 where an infinite factor would give NaN.
constexpr double kMaxFactor = 1e30;

// Adding and then subtracting 1.5 * 2^52 rounds a double of magnitude below
// 2^51 to an integer, halves to even, in the default rounding mode: the
// branch-free, inlined equivalent of nearbyint (which is a library call on
// baseline x86-64). It relies on strict IEEE arithmetic, so this file must
// never be built with -ffast-math.
constexpr double kRoundingBias = 6755399441055744.0;

// Sample codecs. kLow / kHigh are the rails a scaled sample is clamped to
// before rounding. Clamping first gives the same result as the rule's
// "compare, then round or take the rail": a value at or past a rail becomes
// that rail, and a value inside rounds to at most the rail. For 24 bits the
// rule's +-16777215 followed by the saturation to -8388608 .. 8388607
// collapses to these two rails in the same way.
struct Pcm16 {
    static constexpr std::size_t kBytes = 2;
    static constexpr float kLow = -32767.0f;
    static constexpr float kHigh = 32767.0f;

    static std::int32_t Decode(const unsigned char* pBytes) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(pBytes[0] | (pBytes[1] << 8)));
    }
    static void Encode(unsigned char* pBytes, std::int32_t pValue) {
        const auto bits = static_cast<std::uint32_t>(pValue);
        pBytes[0] = static_cast<unsigned char>(bits);
        pBytes[1] = static_cast<unsigned char>(bits >> 8);
    }
};

struct Pcm24 {
    static constexpr std::size_t kBytes = 3;
    static constexpr float kLow = -8388608.0f;
    static constexpr float kHigh = 8388607.0f;
    static constexpr std::int32_t kSignBit = 0x800000;

    static std::int32_t Decode(const unsigned char* pBytes) {
        const std::int32_t raw = pBytes[0] | (pBytes[1] << 8) | (pBytes[2] << 16);
        return (raw ^ kSignBit) - kSignBit;
    }
    static void Encode(unsigned char* pBytes, std::int32_t pValue) {
        const auto bits = static_cast<std::uint32_t>(pValue);
        pBytes[0] = static_cast<unsigned char>(bits);
        pBytes[1] = static_cast<unsigned char>(bits >> 8);
        pBytes[2] = static_cast<unsigned char>(bits >> 16);
    }
};

template <class Codec>
inline void ScaleSample(unsigned char* pBytes, double pFactor) {
    const float scaled = static_cast<float>(Codec::Decode(pBytes) * pFactor);
    const double bounded = std::min(std::max(scaled, Codec::kLow), Codec::kHigh);
    const double rounded = (bounded + kRoundingBias) - kRoundingBias;
    Codec::Encode(pBytes, static_cast<std::int32_t>(rounded));
}

// One instance per layout, so the hot loop carries no per-sample decision
// about widths or channel counts.
template <class Codec, std::size_t kChannels>
void ScaleFrames(unsigned char* pData, std::int64_t pFrames, double pLeft, double pRight) {
    constexpr std::size_t kFrameBytes = Codec::kBytes * kChannels;
    const auto frames = static_cast<std::size_t>(pFrames);
    for (std::size_t i = 0; i < frames; ++i) {
        unsigned char* frame = pData + i * kFrameBytes;
        ScaleSample<Codec>(frame, pLeft);
        if constexpr (kChannels == 2) ScaleSample<Codec>(frame + Codec::kBytes, pRight);
    }
}

using FrameScaler = void (*)(unsigned char* pData, std::int64_t pFrames, double pLeft, double pRight);

// nullptr for the layouts the writer refuses (8-bit and surround).
FrameScaler ScalerFor(std::int32_t pFormatKind) {
    switch (pFormatKind) {
        case Mono16bit: return &ScaleFrames<Pcm16, 1>;
        case Stereo16bit: return &ScaleFrames<Pcm16, 2>;
        case Mono24bit: return &ScaleFrames<Pcm24, 1>;
        case Stereo24bit: return &ScaleFrames<Pcm24, 2>;
        default: return nullptr;
    }
}

// The gain in dB the rule works with: the argument taken through the
// linear domain and back, raised to the floor.
double EffectiveGainDB(double pArgumentDB) {
    const double gain = LinearToDB(DBToLinear(pArgumentDB));
    return gain < kEditGainFloorDB ? kEditGainFloorDB : gain;
}

double FactorOf(double pGainDB) { return std::min(DBToLinear(pGainDB), kMaxFactor); }

// Closes, at scope exit, the handles an EditWav call opened itself.
class OpenedHandles {
public:
    OpenedHandles() = default;
    ~OpenedHandles() {
        CloseFileHandle(source);
        CloseFileHandle(target);
    }
    OpenedHandles(const OpenedHandles&) = delete;
    OpenedHandles& operator=(const OpenedHandles&) = delete;

    FileHandle source = 0;
    FileHandle target = 0;
};

const std::string kNoPath;

}  // namespace

std::int64_t FramesPresent(const WaveFormatInfo& pInfo, std::int64_t pFileSize) {
    if (pInfo.Valid == 0 || pInfo.BlockAlign <= 0 || pInfo.DataOffset < 0 || pFileSize <= pInfo.DataOffset) return 0;
    return std::min<std::int64_t>(pInfo.NumSamples, (pFileSize - pInfo.DataOffset) / pInfo.BlockAlign);
}

std::int32_t C_EditWave::EditWav(const std::string& pSourceFN, const std::string& pTargetFN, FileHandle& pSourceFH,
                                 FileHandle& pTargetFH, std::int64_t pFrom, std::int64_t pTo, bool /*pUseTh*/,
                                 float /*pThIn*/, float /*pThOut*/, std::int32_t /*pStartMargin*/,
                                 std::int32_t /*pEndMargin*/, bool /*pForceMargin*/, bool /*pUseNorm*/,
                                 float /*pNormLevel*/, std::int32_t /*pNormMode*/, std::int32_t /*pRMSmsec*/,
                                 float /*pRMSdb*/, bool /*pClip*/, double pAdjustdbL, double pAdjustdbR,
                                 std::int32_t /*pFadeInSample*/, std::int32_t /*pFadeOutSample*/,
                                 bool /*pCheckLevel*/, bool /*pNoTrim*/) {
    SetCanceled(0);
    mSourceFN = pSourceFN;
    mTargetFN = pTargetFN;

    OpenedHandles opened;
    const bool ownSource = pSourceFH == 0;
    const bool ownTarget = pTargetFH == 0;
    // The variables every transfer updates: the caller's for a handle given,
    // our own otherwise.
    FileHandle& source = ownSource ? opened.source : pSourceFH;
    FileHandle& target = ownTarget ? opened.target : pTargetFH;

    return Trapped<std::int32_t>(0, [&]() -> std::int32_t {
        if (ownSource) source = OpenFileHandle(pSourceFN, kOpenRead);
        if (source == 0) return 0;

        const WaveFormatInfo info = ReadWaveHeader(kNoPath, source);
        const FrameScaler scaler = ScalerFor(info.FormatKind);
        if (info.Valid == 0 || scaler == nullptr) return 0;
        const std::int64_t sourceSize = FileSizeOfHandle(source);
        if (sourceSize < 0) return 0;

        const std::int64_t start = std::max<std::int64_t>(pFrom, 0);
        const std::int64_t end = std::min<std::int64_t>(pTo > 0 ? pTo : info.NumSamples, FramesPresent(info, sourceSize));

        if (ownTarget) target = OpenFileHandle(pTargetFN, kOpenReadWrite);
        if (target == 0) return 0;

        const double gainLeft = EffectiveGainDB(pAdjustdbL);
        const double gainRight = EffectiveGainDB(pAdjustdbR);
        const bool plainCopy = gainLeft == 0.0 && gainRight == 0.0;
        const double factorLeft = FactorOf(gainLeft);
        const double factorRight = FactorOf(gainRight);

        const std::int64_t frameBytes = info.BlockAlign;
        const std::int64_t framesPerBlock = kEditBlockBytes / frameBytes;
        std::vector<unsigned char> block;
        std::int32_t cancel = 0;
        for (std::int64_t position = start; position < end;) {
            platform::Pump().ProcessEvents();
            const std::int64_t frames = std::min(end - position, framesPerBlock);
            const auto bytes = CheckedNarrow<std::int32_t>(frames * frameBytes);
            // Shrinking keeps the capacity: only the first block allocates.
            block.resize(static_cast<std::size_t>(bytes));

            std::int64_t bytesRead = 0;
            source = ReadFileAt(block.data(), bytes, info.DataOffset + position * frameBytes, source, kNoPath, false,
                                &bytesRead);
            // A short read would leave stale buffer bytes to be written as audio.
            if (source == 0 || bytesRead != bytes) return 0;
            if (!plainCopy) scaler(block.data(), frames, factorLeft, factorRight);
            target = WriteFileAt(block.data(), bytes, AppendPosition, target, kNoPath, false);
            if (target == 0) return 0;

            position += frames;
            if (Prog) {
                const double done = static_cast<double>(position - start) / static_cast<double>(end - start);
                Prog(static_cast<float>(done), cancel);
            }
            platform::Pump().ProcessEvents();
            if (cancel != 0) SetCanceled(1);
            if (Canceled() != 0) return 0;
        }
        return 1;
    });
}

std::int32_t C_EditWave::EditWav(FileHandle& pSourceFH, FileHandle& pTargetFH, std::int64_t pFrom, std::int64_t pTo,
                                 double pAdjustdb) {
    return EditWav(kNoPath, kNoPath, pSourceFH, pTargetFH, pFrom, pTo, false, 0.0f, 0.0f, 0, 0, false, false, 0.0f, 0,
                   0, 0.0f, false, pAdjustdb, pAdjustdb, 0, 0, false, true);
}

}  // namespace sonivate
