#include "writer/edit_wave.h"

#include <atomic>

#include <algorithm>
#include <array>
#include <utility>
#include <cstddef>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/error_trap.h"
#include "common/numeric.h"
#include "platform/event_pump.h"
#include "wavefile/pcm_codec.h"
#include "wavefile/wave_mmio.h"
#include "writer/limited_gain.h"
#include "writer/sample_scaling.h"

namespace sonivate {
namespace {

// Factors above this (gains above +600 dB) saturate every non-zero sample
// anyway. Capping keeps x * factor finite and inside the float range, and
// keeps 0 * factor at 0 where an infinite factor would give NaN.
constexpr double kMaxFactor = 1e30;

// The rails a scaled sample of each width is clamped to (see sample_scaling.h).
template <class Codec>
struct Rails;
template <>
struct Rails<Pcm16> {
    static constexpr float kLow = writer_detail::kLow16;
    static constexpr float kHigh = writer_detail::kHigh16;
};
template <>
struct Rails<Pcm24> {
    static constexpr float kLow = writer_detail::kLow24;
    static constexpr float kHigh = writer_detail::kHigh24;
};

// A block is read, scaled and written in pieces of at most this many bytes:
// small enough that a piece stays in cache from the read through the scaling
// to the write, so the audio crosses main memory once each way (whole 8 MiB
// blocks went out to memory and back between the steps).
constexpr std::int64_t kScalePieceBytes = std::int64_t{512} << 10;

// Samples decoded, scaled and encoded together: small enough to stay in the
// first-level cache, a multiple of every channel count and of the vector width.
constexpr std::size_t kChunkSamples = 2048;

template <class Codec>
inline std::int32_t Scale(std::int32_t pSample, double pFactor) {
    return writer_detail::ScaleSample(pSample, pFactor, Rails<Codec>::kLow, Rails<Codec>::kHigh);
}

// Scales pCount samples in place, those at even indices by pEven and those
// at odd indices by pOdd (the left and right channel of interleaved stereo).
// The vector path computes exactly what Scale does, four samples at a time
// and without branches: int32 -> double, multiply, -> float, clamp, and a
// conversion to int32 that rounds half to even in the default rounding mode.
template <class Codec>
void ScaleSamples(std::int32_t* pSamples, std::size_t pCount, double pEven, double pOdd) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128d factors = _mm_set_pd(pOdd, pEven);
    const __m128 low = _mm_set1_ps(Rails<Codec>::kLow);
    const __m128 high = _mm_set1_ps(Rails<Codec>::kHigh);
    for (; i + 4 <= pCount; i += 4) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSamples + i));
        const __m128d first = _mm_mul_pd(_mm_cvtepi32_pd(x), factors);
        const __m128d second = _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(x, _MM_SHUFFLE(3, 2, 3, 2))), factors);
        const __m128 scaled = _mm_movelh_ps(_mm_cvtpd_ps(first), _mm_cvtpd_ps(second));
        const __m128 bounded = _mm_min_ps(_mm_max_ps(scaled, low), high);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pSamples + i), _mm_cvtps_epi32(bounded));
    }
#endif
    for (; i < pCount; ++i) pSamples[i] = Scale<Codec>(pSamples[i], i % 2 == 0 ? pEven : pOdd);
}

// One instance per layout, so the hot loop carries no per-sample decision
// about widths or channel counts. Each chunk is decoded, scaled and encoded
// in three tight passes. Mono and stereo take a gain per channel (pLeft on
// even sample indices, pRight on odd ones); wider layouts take pLeft alone,
// which lets chunks of any length cut their frames anywhere.
template <class Codec, std::size_t kChannels>
void ScaleFrames(unsigned char* pData, std::int64_t pFrames, double pLeft, double pRight) {
    static_assert(kChannels >= 1 && kChannels <= kEditMaxChannels);
    const double odd = kChannels == 2 ? pRight : pLeft;
    alignas(64) std::int32_t samples[kChunkSamples];
    const std::size_t total = static_cast<std::size_t>(pFrames) * kChannels;
    for (std::size_t first = 0; first < total; first += kChunkSamples) {
        const std::size_t count = std::min(kChunkSamples, total - first);
        unsigned char* bytes = pData + first * Codec::kBytes;
        Codec::Decode(bytes, samples, count);
        ScaleSamples<Codec>(samples, count, pLeft, odd);
        Codec::Encode(samples, bytes, count);
    }
}

using FrameScaler = void (*)(unsigned char* pData, std::int64_t pFrames, double pLeft, double pRight);

#if defined(SONIVATE_WRITER_AVX2)
template <std::size_t kChannels, void (*kRun)(unsigned char*, std::size_t, double, double)>
void ScaleFramesAvx2(unsigned char* pData, std::int64_t pFrames, double pLeft, double pRight) {
    kRun(pData, static_cast<std::size_t>(pFrames) * kChannels, pLeft, kChannels == 2 ? pRight : pLeft);
}
std::atomic<bool> gUseAvx2{writer_detail::CpuHasAvx2()};
#endif

template <std::size_t... kIndex>
constexpr std::array<FrameScaler, sizeof...(kIndex)> PortableScalers16(std::index_sequence<kIndex...>) {
    return {&ScaleFrames<Pcm16, kIndex + 1>...};
}
template <std::size_t... kIndex>
constexpr std::array<FrameScaler, sizeof...(kIndex)> PortableScalers24(std::index_sequence<kIndex...>) {
    return {&ScaleFrames<Pcm24, kIndex + 1>...};
}
#if defined(SONIVATE_WRITER_AVX2)
template <std::size_t... kIndex>
constexpr std::array<FrameScaler, sizeof...(kIndex)> Avx2Scalers16(std::index_sequence<kIndex...>) {
    return {&ScaleFramesAvx2<kIndex + 1, writer_detail::ScaleRun16Avx2>...};
}
template <std::size_t... kIndex>
constexpr std::array<FrameScaler, sizeof...(kIndex)> Avx2Scalers24(std::index_sequence<kIndex...>) {
    return {&ScaleFramesAvx2<kIndex + 1, writer_detail::ScaleRun24Avx2>...};
}
#endif

// Linear PCM of 16 or 24 bits in 1 to kEditMaxChannels channels, frames of
// exactly their samples.
bool LayoutTaken(const WaveFormatInfo& pInfo) {
    return pInfo.Valid != 0 && pInfo.Channels >= 1 && pInfo.Channels <= kEditMaxChannels &&
           (pInfo.BitsPerSample == 16 || pInfo.BitsPerSample == 24) &&
           pInfo.BlockAlign == pInfo.Channels * (pInfo.BitsPerSample / 8);
}

// nullptr for the layouts the writer refuses (8-bit, more than
// kEditMaxChannels channels, a frame size that does not match).
FrameScaler ScalerFor(const WaveFormatInfo& pInfo) {
    if (!LayoutTaken(pInfo)) return nullptr;
    const auto index = static_cast<std::size_t>(pInfo.Channels - 1);
    constexpr auto kAll = std::make_index_sequence<kEditMaxChannels>();
#if defined(SONIVATE_WRITER_AVX2)
    if (gUseAvx2.load(std::memory_order_relaxed)) {
        static constexpr auto kScalers16 = Avx2Scalers16(kAll);
        static constexpr auto kScalers24 = Avx2Scalers24(kAll);
        return pInfo.BitsPerSample == 16 ? kScalers16[index] : kScalers24[index];
    }
#endif
    static constexpr auto kScalers16 = PortableScalers16(kAll);
    static constexpr auto kScalers24 = PortableScalers24(kAll);
    return pInfo.BitsPerSample == 16 ? kScalers16[index] : kScalers24[index];
}

// Scales pCount samples in place, sample i by pFactors[i], with the rule of
// Scale; the vector path is that of ScaleSamples with a factor per sample.
template <class Codec>
void ScaleSamplesVarying(std::int32_t* pSamples, std::size_t pCount, const double* pFactors) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128 low = _mm_set1_ps(Rails<Codec>::kLow);
    const __m128 high = _mm_set1_ps(Rails<Codec>::kHigh);
    for (; i + 4 <= pCount; i += 4) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSamples + i));
        const __m128d first = _mm_mul_pd(_mm_cvtepi32_pd(x), _mm_loadu_pd(pFactors + i));
        const __m128d second =
            _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(x, _MM_SHUFFLE(3, 2, 3, 2))), _mm_loadu_pd(pFactors + i + 2));
        const __m128 scaled = _mm_movelh_ps(_mm_cvtpd_ps(first), _mm_cvtpd_ps(second));
        const __m128 bounded = _mm_min_ps(_mm_max_ps(scaled, low), high);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pSamples + i), _mm_cvtps_epi32(bounded));
    }
#endif
    for (; i < pCount; ++i) pSamples[i] = Scale<Codec>(pSamples[i], pFactors[i]);
}

// Frames each with a factor of its own (pFactors, one per frame), every
// channel alike, with the rule of Scale: a step of frames at a time is
// decoded, scaled and encoded.
template <class Codec>
void ScaleFramesVarying(unsigned char* pData, std::int64_t pFrames, std::int32_t pChannels, const double* pFactors) {
    constexpr std::size_t kMost = static_cast<std::size_t>(kLimiterStepFrames) * kEditMaxChannels;
    alignas(16) std::int32_t samples[kMost];
    double factors[kMost];
    const auto channels = static_cast<std::size_t>(pChannels);
    for (std::int64_t first = 0; first < pFrames; first += kLimiterStepFrames) {
        const auto frames = static_cast<std::size_t>(std::min<std::int64_t>(kLimiterStepFrames, pFrames - first));
        const std::size_t count = frames * channels;
        for (std::size_t f = 0; f < frames; ++f)
            std::fill(factors + f * channels, factors + (f + 1) * channels,
                      pFactors[first + static_cast<std::int64_t>(f)]);
        unsigned char* bytes = pData + static_cast<std::size_t>(first) * channels * Codec::kBytes;
        Codec::Decode(bytes, samples, count);
        ScaleSamplesVarying<Codec>(samples, count, factors);
        Codec::Encode(samples, bytes, count);
    }
}

// The gain in dB the rule works with: the argument taken through the
// linear domain and back, raised to the floor.
double EffectiveGainDB(double pArgumentDB) {
    const double gain = LinearToDB(DBToLinear(pArgumentDB));
    return gain < kEditGainFloorDB ? kEditGainFloorDB : gain;
}

double FactorOf(double pGainDB) { return std::min(DBToLinear(pGainDB), kMaxFactor); }

// Reads the pieces of a span on a thread of its own, up to kAheadSlots
// pieces ahead of the caller, who scales and writes the pieces already read:
// reading then overlaps scaling and writing. Pieces come in the order of
// pPieces (byte offset in the source, byte count).
class ReadAhead {
public:
    struct Span {
        std::int64_t At;
        std::int64_t Bytes;
    };

    ReadAhead(FileHandle pSource, std::vector<Span> pPieces, unsigned char* pRing, std::int64_t pSlotBytes)
        : mSource(pSource),
          mPieces(std::move(pPieces)),
          mRing(pRing),
          mSlotBytes(pSlotBytes),
          mGot(kAheadSlots, 0),
          mThread([this] { Run(); }) {}
    ~ReadAhead() {
        {
            std::lock_guard lock(mMutex);
            mStop = true;
        }
        mChanged.notify_all();
        mThread.join();
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next piece: its buffer, and in pGot the bytes read (-1 on a failed
    // read). An error raised by the read is raised here.
    unsigned char* Next(std::int64_t& pGot) {
        std::unique_lock lock(mMutex);
        mChanged.wait(lock, [&] { return mFilled > mTaken || mError; });
        if (mError && mFilled == mTaken) std::rethrow_exception(mError);
        const std::size_t slot = mTaken % kAheadSlots;
        pGot = mGot[slot];
        ++mTaken;
        return mRing + static_cast<std::int64_t>(slot) * mSlotBytes;
    }
    // The piece Next returned last is written: its buffer may be refilled.
    void Release() {
        {
            std::lock_guard lock(mMutex);
            ++mReleased;
        }
        mChanged.notify_all();
    }

    static constexpr std::size_t kAheadSlots = 3;

private:
    void Run() {
        for (std::size_t i = 0; i < mPieces.size(); ++i) {
            {
                std::unique_lock lock(mMutex);
                mChanged.wait(lock, [&] { return mStop || i - mReleased < kAheadSlots; });
                if (mStop) return;
            }
            const std::size_t slot = i % kAheadSlots;
            std::int64_t got = -1;
            try {
                got = ReadHandleAt(mSource, mPieces[i].At, mRing + static_cast<std::int64_t>(slot) * mSlotBytes,
                                   mPieces[i].Bytes);
            } catch (...) {
                std::lock_guard lock(mMutex);
                mError = std::current_exception();
                mChanged.notify_all();
                return;
            }
            {
                std::lock_guard lock(mMutex);
                mGot[slot] = got;
                ++mFilled;
            }
            mChanged.notify_all();
            if (got != mPieces[i].Bytes) return;
        }
    }

    const FileHandle mSource;
    const std::vector<Span> mPieces;
    unsigned char* const mRing;
    const std::int64_t mSlotBytes;
    std::mutex mMutex;
    std::condition_variable mChanged;
    std::vector<std::int64_t> mGot;
    std::size_t mFilled = 0;
    std::size_t mTaken = 0;
    std::size_t mReleased = 0;
    bool mStop = false;
    std::exception_ptr mError;
    std::thread mThread;
};

}  // namespace

namespace writer_detail {

bool UsesAvx2() {
#if defined(SONIVATE_WRITER_AVX2)
    return gUseAvx2.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

void UseAvx2ForTesting(bool pUse) {
#if defined(SONIVATE_WRITER_AVX2)
    gUseAvx2.store(pUse && CpuHasAvx2(), std::memory_order_relaxed);
#else
    (void)pUse;
#endif
}

double WriterFactor(double pGainDB) { return FactorOf(EffectiveGainDB(pGainDB)); }

bool ScaleWithEnvelope(const WaveFormatInfo& pInfo, unsigned char* pData, std::int64_t pFrames, double pFactor,
                       const GainEnvelope& pEnvelope, std::int64_t pRangeFrame) {
    const FrameScaler scaler = ScalerFor(pInfo);
    if (scaler == nullptr) return false;
    if (!pEnvelope.Reduces()) {
        scaler(pData, pFrames, pFactor, pFactor);
        return true;
    }
    const std::span<const float> points = pEnvelope.Points();
    const auto frameBytes = static_cast<std::int64_t>(pInfo.BlockAlign);
    double factors[kLimiterStepFrames];
    // Runs of whole steps at unity go through the layout's fast path; steps
    // with a reduction frame by frame.
    std::int64_t unityFrom = 0;
    std::int64_t done = 0;
    while (done < pFrames) {
        const std::int64_t frame = pRangeFrame + done;
        const auto k = static_cast<std::size_t>(frame / kLimiterStepFrames);
        const std::int64_t count =
            std::min<std::int64_t>(kLimiterStepFrames - frame % kLimiterStepFrames, pFrames - done);
        if (points[k] == 1.0f && points[k + 1] == 1.0f) {
            done += count;
            continue;
        }
        if (done > unityFrom) scaler(pData + unityFrom * frameBytes, done - unityFrom, pFactor, pFactor);
        pEnvelope.Factors(frame, count, factors);
        for (std::int64_t i = 0; i < count; ++i) factors[i] *= pFactor;
        if (pInfo.BitsPerSample == 16)
            ScaleFramesVarying<Pcm16>(pData + done * frameBytes, count, pInfo.Channels, factors);
        else
            ScaleFramesVarying<Pcm24>(pData + done * frameBytes, count, pInfo.Channels, factors);
        done += count;
        unityFrom = done;
    }
    if (done > unityFrom) scaler(pData + unityFrom * frameBytes, done - unityFrom, pFactor, pFactor);
    return true;
}

}  // namespace writer_detail

std::int32_t C_EditWave::EditWav(const std::string& pSourceFN, const std::string& pTargetFN, FileHandle& pSourceFH,
                                 FileHandle& pTargetFH, std::int64_t pFrom, std::int64_t pTo, bool /*pUseTh*/,
                                 float /*pThIn*/, float /*pThOut*/, std::int32_t /*pStartMargin*/,
                                 std::int32_t /*pEndMargin*/, bool /*pForceMargin*/, bool /*pUseNorm*/,
                                 float /*pNormLevel*/, std::int32_t /*pNormMode*/, std::int32_t /*pRMSmsec*/,
                                 float /*pRMSdb*/, bool /*pClip*/, double pAdjustdbL, double pAdjustdbR,
                                 std::int32_t /*pFadeInSample*/, std::int32_t /*pFadeOutSample*/, bool /*pCheckLevel*/,
                                 bool /*pNoTrim*/) {
    SetCanceled(0);
    mSourceFN = pSourceFN;
    mTargetFN = pTargetFN;

    // The handles this call opens itself, closed when it returns.
    ScopedHandle openedSource;
    ScopedHandle openedTarget;
    const bool ownSource = pSourceFH == 0;
    const bool ownTarget = pTargetFH == 0;
    // The variables every transfer updates: the caller's for a handle given,
    // our own otherwise.
    FileHandle& source = ownSource ? openedSource.handle : pSourceFH;
    FileHandle& target = ownTarget ? openedTarget.handle : pTargetFH;

    return Trapped<std::int32_t>(0, [&]() -> std::int32_t {
        if (ownSource) source = OpenFileHandle(pSourceFN, kOpenRead);
        if (source == 0) return 0;

        return EditOpen(ReadWaveHeader(kNoPath, source), source, target, ownTarget, pTargetFN, pFrom, pTo, pAdjustdbL,
                        pAdjustdbR, nullptr);
    });
}

std::int32_t C_EditWave::EditOpen(const WaveFormatInfo& pInfo, FileHandle& pSource, FileHandle& pTarget,
                                  bool pOwnTarget, const std::string& pTargetFN, std::int64_t pFrom, std::int64_t pTo,
                                  double pAdjustdbL, double pAdjustdbR, const GainEnvelope* pEnvelope) {
    return Trapped<std::int32_t>(0, [&]() -> std::int32_t {
        const FrameScaler scaler = ScalerFor(pInfo);
        if (scaler == nullptr) return 0;
        // Wider layouts take one gain for every channel.
        if (pInfo.Channels > 2 && EffectiveGainDB(pAdjustdbL) != EffectiveGainDB(pAdjustdbR)) return 0;
        const std::int64_t sourceSize = FileSizeOfHandle(pSource);
        if (sourceSize < 0) return 0;

        const std::int64_t start = std::max<std::int64_t>(pFrom, 0);
        // RF64/BW64 files may hold more frames than NumSamples can say.
        const std::int64_t present = FramesPresent(pInfo, sourceSize);
        const std::int64_t end =
            std::min<std::int64_t>(pTo > 0 ? pTo : std::max<std::int64_t>(pInfo.NumSamples, present), present);

        // An envelope describes exactly the range it was made for.
        const bool limited = pEnvelope != nullptr && pEnvelope->Reduces();
        if (limited && pEnvelope->Frames() != std::max<std::int64_t>(end - start, 0)) return 0;

        if (pOwnTarget) pTarget = OpenFileHandle(pTargetFN, kOpenReadWrite);
        if (pTarget == 0) return 0;

        const double gainLeft = EffectiveGainDB(pAdjustdbL);
        const double gainRight = EffectiveGainDB(pAdjustdbR);
        const bool plainCopy = gainLeft == 0.0 && gainRight == 0.0 && !limited;
        const double factorLeft = FactorOf(gainLeft);
        const double factorRight = FactorOf(gainRight);

        const std::int64_t frameBytes = pInfo.BlockAlign;
        const std::int64_t framesPerBlock = kEditBlockBytes / frameBytes;
        // Appending means writing where the target ends now and then behind
        // each block: the end is looked up once, not sought before every block.
        std::int64_t targetEnd = FileSizeOfHandle(pTarget);
        if (targetEnd < 0) return 0;
        const std::int64_t framesPerPiece = std::max<std::int64_t>(kScalePieceBytes / frameBytes, 1);
        // The pieces of every block, in order, for the reader.
        std::vector<ReadAhead::Span> pieces;
        if (!plainCopy) {
            for (std::int64_t position = start; position < end; position += framesPerBlock) {
                const std::int64_t frames = std::min(end - position, framesPerBlock);
                for (std::int64_t done = 0; done < frames; done += framesPerPiece)
                    pieces.push_back({pInfo.DataOffset + (position + done) * frameBytes,
                                      std::min(framesPerPiece, frames - done) * frameBytes});
            }
        }
        const std::int64_t slotBytes = std::min(end - start, framesPerPiece) * frameBytes;
        // Started with the first block, after the pump's first pass.
        std::optional<ReadAhead> ahead;
        std::int32_t cancel = 0;
        for (std::int64_t position = start; position < end;) {
            mPump->ProcessEvents();
            const std::int64_t frames = std::min(end - position, framesPerBlock);
            const auto bytes = CheckedNarrow<std::int32_t>(frames * frameBytes);
            const std::int64_t sourceAt = pInfo.DataOffset + position * frameBytes;
            if (plainCopy) {
                // Unchanged frames never pass through this process.
                if (!CopyHandleRange(pSource, sourceAt, pTarget, targetEnd, bytes)) {
                    CloseFileHandle(pSource);
                    CloseFileHandle(pTarget);
                    return 0;
                }
            } else {
                if (!ahead)
                    ahead.emplace(pSource, std::move(pieces),
                                  Piece(static_cast<std::size_t>(slotBytes) * ReadAhead::kAheadSlots), slotBytes);
                for (std::int64_t done = 0; done < frames; done += framesPerPiece) {
                    const std::int64_t pieceFrames = std::min(framesPerPiece, frames - done);
                    const std::int64_t pieceBytes = pieceFrames * frameBytes;
                    std::int64_t got = 0;
                    unsigned char* piece = ahead->Next(got);
                    // A short read would leave stale buffer bytes to be written as audio.
                    if (got != pieceBytes) {
                        ahead.reset();
                        CloseFileHandle(pSource);
                        return 0;
                    }
                    if (limited)
                        writer_detail::ScaleWithEnvelope(pInfo, piece, pieceFrames, factorLeft, *pEnvelope,
                                                         position + done - start);
                    else
                        scaler(piece, pieceFrames, factorLeft, factorRight);
                    if (!WriteHandleAt(pTarget, targetEnd + done * frameBytes, piece, pieceBytes)) {
                        CloseFileHandle(pTarget);
                        return 0;
                    }
                    ahead->Release();
                }
            }
            targetEnd += bytes;

            position += frames;
            if (Prog) {
                const double done = static_cast<double>(position - start) / static_cast<double>(end - start);
                Prog(static_cast<float>(done), cancel);
            }
            mPump->ProcessEvents();
            if (cancel != 0) SetCanceled(1);
            if (Canceled() != 0) return 0;
        }
        return 1;
    });
}

unsigned char* C_EditWave::Piece(std::size_t pBytes) {
    if (pBytes > mPieceBytes) {
        mPiece.reset(new unsigned char[pBytes]);
        mPieceBytes = pBytes;
    }
    return mPiece.get();
}

std::int32_t C_EditWave::EditWav(FileHandle& pSourceFH, FileHandle& pTargetFH, std::int64_t pFrom, std::int64_t pTo,
                                 double pAdjustdb) {
    return EditWav(kNoPath, kNoPath, pSourceFH, pTargetFH, pFrom, pTo, false, 0.0f, 0.0f, 0, 0, false, false, 0.0f, 0,
                   0, 0.0f, false, pAdjustdb, pAdjustdb, 0, 0, false, true);
}

std::int32_t C_EditWave::EditWav(const WaveFormatInfo& pSourceInfo, FileHandle& pSourceFH, FileHandle& pTargetFH,
                                 std::int64_t pFrom, std::int64_t pTo, double pAdjustdb) {
    SetCanceled(0);
    mSourceFN.clear();
    mTargetFN.clear();
    if (pSourceFH == 0 || pTargetFH == 0) return 0;
    return EditOpen(pSourceInfo, pSourceFH, pTargetFH, false, kNoPath, pFrom, pTo, pAdjustdb, pAdjustdb, nullptr);
}

std::int32_t C_EditWave::EditWav(const WaveFormatInfo& pSourceInfo, FileHandle& pSourceFH, FileHandle& pTargetFH,
                                 std::int64_t pFrom, std::int64_t pTo, double pAdjustdb,
                                 const GainEnvelope& pEnvelope) {
    SetCanceled(0);
    mSourceFN.clear();
    mTargetFN.clear();
    if (pSourceFH == 0 || pTargetFH == 0) return 0;
    return EditOpen(pSourceInfo, pSourceFH, pTargetFH, false, kNoPath, pFrom, pTo, pAdjustdb, pAdjustdb, &pEnvelope);
}

}  // namespace sonivate
