#include "loudness/true_peak_limiter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "loudness/bs1770.h"
#include "wavefile/pcm_codec.h"

namespace sonivate {
namespace {

constexpr std::int32_t kMaxChannels = 8;
// Frames decoded at a time: a whole number of steps, small enough for the
// first-level caches.
constexpr std::int32_t kChunkFrames = 128 * kLimiterStepFrames;
constexpr std::int32_t kLowestRate = 1000;
// Steps per block of the coarse peaks, whose largest the envelope looks at first.
constexpr size_t kPeakBlockSteps = 64;
// Below this magnitude (about -300 dBTP) a step counts as silent.
constexpr float kSilentPeak = 1e-15f;

double ToDB(double pLinear) { return 20.0 * std::log10(pLinear); }

// A reduction r dB is the factor exp(r * this): faster than a power of ten
// for the many points of an envelope.
constexpr double kMinusLn10Over20 = -0.11512925464970229;

static_assert(kLimiterStepFrames == 16 && qc_detail::kTruePeakHistory <= kLimiterStepFrames,
              "a step's magnitudes are taken as four vectors, its history lies in the step before");

// The largest magnitude of the step's samples pStep[0 .. kLimiterStepFrames)
// into pAll, and of its last kTruePeakHistory samples (the history of the
// next step) into pTail. Maxima of magnitudes do not depend on their order.
inline void StepMagnitudes(const float* pStep, float& pAll, float& pTail) {
    constexpr std::int32_t kTailFrom = kLimiterStepFrames - qc_detail::kTruePeakHistory;
#if defined(__SSE2__)
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 a = _mm_and_ps(_mm_loadu_ps(pStep), magnitude);
    const __m128 b = _mm_and_ps(_mm_loadu_ps(pStep + 4), magnitude);
    const __m128 c = _mm_and_ps(_mm_loadu_ps(pStep + 8), magnitude);
    const __m128 d = _mm_and_ps(_mm_loadu_ps(pStep + 12), magnitude);
    const auto largest = [](__m128 pV) {
        pV = _mm_max_ps(pV, _mm_movehl_ps(pV, pV));
        pV = _mm_max_ss(pV, _mm_shuffle_ps(pV, pV, 1));
        return _mm_cvtss_f32(pV);
    };
    const float late = largest(_mm_max_ps(c, d));
    float tail = late;
    for (std::int32_t i = kTailFrom; i < 8; ++i) tail = std::max(tail, std::fabs(pStep[i]));
    pTail = tail;
    pAll = std::max(late, largest(_mm_max_ps(a, b)));
#else
    float all = 0.0f, tail = 0.0f;
    for (std::int32_t i = 0; i < kLimiterStepFrames; ++i) {
        const float v = std::fabs(pStep[i]);
        all = std::max(all, v);
        if (i >= kTailFrom) tail = std::max(tail, v);
    }
    pAll = all;
    pTail = tail;
#endif
}

// The largest value of pIn within +-pHalf of each index, the window cut at
// the ends: with blocks as long as the window, each window meets at most two
// of them, the end of one (a suffix maximum) and the start of the next (a
// prefix maximum).
std::vector<double> RunningMax(const std::vector<double>& pIn, std::int64_t pHalf) {
    const auto n = static_cast<std::int64_t>(pIn.size());
    const std::int64_t width = 2 * pHalf + 1;
    std::vector<double> prefix(pIn.size()), suffix(pIn.size()), out(pIn.size());
    // Positions within a block are counted along, not divided out.
    for (std::int64_t i = 0, within = 0; i < n; ++i, within = within + 1 == width ? 0 : within + 1) {
        const auto at = static_cast<size_t>(i);
        prefix[at] = within == 0 ? pIn[at] : std::max(prefix[at - 1], pIn[at]);
    }
    for (std::int64_t i = n - 1, within = (n - 1) % width; i >= 0; --i, within = within == 0 ? width - 1 : within - 1) {
        const auto at = static_cast<size_t>(i);
        suffix[at] = i == n - 1 || within == width - 1 ? pIn[at] : std::max(suffix[at + 1], pIn[at]);
    }
    // The window [low, high] and the positions of its ends within their blocks.
    std::int64_t lowWithin = 0;
    std::int64_t highWithin = std::min(pHalf, n - 1) % width;
    for (std::int64_t i = 0; i < n; ++i) {
        const std::int64_t low = std::max<std::int64_t>(i - pHalf, 0);
        const std::int64_t high = std::min(i + pHalf, n - 1);
        const auto lowAt = static_cast<size_t>(low), highAt = static_cast<size_t>(high);
        // Within one block the window starts it or ends the input.
        if (highWithin - lowWithin == high - low)
            out[static_cast<size_t>(i)] = lowWithin == 0 ? prefix[highAt] : suffix[lowAt];
        else
            out[static_cast<size_t>(i)] = std::max(suffix[lowAt], prefix[highAt]);
        if (i - pHalf >= 0) lowWithin = lowWithin + 1 == width ? 0 : lowWithin + 1;
        if (i + pHalf + 1 <= n - 1) highWithin = highWithin + 1 == width ? 0 : highWithin + 1;
    }
    return out;
}

// The mean of pIn over the indices within +-pHalf of each index that lie in
// range (so a window cut at an end still only averages values that cover
// its centre), exactly 0 where the window holds only zeros.
std::vector<double> MovingAverage(const std::vector<double>& pIn, std::int64_t pHalf) {
    const auto n = static_cast<std::int64_t>(pIn.size());
    std::vector<double> out(pIn.size(), 0.0);
    double sum = 0.0;
    std::int64_t nonZero = 0;
    auto add = [&](std::int64_t pAt, int pSign) {
        if (pAt < 0 || pAt >= n) return;
        const double v = pIn[static_cast<size_t>(pAt)];
        if (v == 0.0) return;
        sum += pSign * v;
        nonZero += pSign;
    };
    for (std::int64_t i = 0; i < pHalf; ++i) add(i, 1);
    for (std::int64_t i = 0; i < n; ++i) {
        add(i + pHalf, 1);
        // A window of zeros drops the rounding the running sum kept.
        if (nonZero == 0) sum = 0.0;
        const std::int64_t width = std::min(i + pHalf, n - 1) - std::max<std::int64_t>(i - pHalf, 0) + 1;
        out[static_cast<size_t>(i)] = nonZero == 0 ? 0.0 : std::max(sum / static_cast<double>(width), 0.0);
        add(i - pHalf, -1);
    }
    return out;
}

// The fine interpolator's taps: phase p (1 .. kLimiterFinePhases - 1) gives
// the value p / kLimiterFinePhases of the way from frame n to frame n + 1
// from frames n - kLimiterFineHalfTaps + 1 .. n + kLimiterFineHalfTaps, each
// phase scaled to a gain of exactly 1 at 0 Hz.
constexpr std::int32_t kFineTaps = 2 * kLimiterFineHalfTaps;
// The float sums of the taps may exceed the exact sum by a few parts in 2^24
// of the largest sample: the bound takes this much room for them.
constexpr double kFineSumRoom = 1e-5;
struct FineTaps {
    float taps[kLimiterFinePhases][kFineTaps] = {};
    // The largest sum of magnitudes of a phase: no value exceeds the
    // largest sample it is made from times this.
    float gainBound = 1.0f;
};

// The zeroth-order modified Bessel function of the first kind, by its
// series: for the window's arguments (at most kLimiterFineWindowBeta) its
// terms have fallen below the double's precision long before this many.
constexpr int kBesselTerms = 40;
double BesselI0(double pX) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < kBesselTerms; ++k) {
        const double half = pX / (2.0 * k);
        term *= half * half;
        sum += term;
    }
    return sum;
}

const FineTaps& Fine() {
    static const FineTaps taps = [] {
        constexpr double kPi = 3.141592653589793;
        FineTaps made;
        double most = 1.0;
        for (std::int32_t p = 1; p < kLimiterFinePhases; ++p) {
            const double t = static_cast<double>(p) / kLimiterFinePhases;
            double values[kFineTaps];
            double sum = 0.0;
            for (std::int32_t k = 0; k < kFineTaps; ++k) {
                const double d = static_cast<double>(k - (kLimiterFineHalfTaps - 1)) - t;
                const double sinc = std::sin(kPi * kLimiterFineCutoff * d) / (kPi * d);
                const double r = d / kLimiterFineHalfTaps;
                const double window = std::abs(r) >= 1.0 ? 0.0
                                                         : BesselI0(kLimiterFineWindowBeta * std::sqrt(1.0 - r * r)) /
                                                               BesselI0(kLimiterFineWindowBeta);
                values[k] = sinc * window;
                sum += values[k];
            }
            double magnitudes = 0.0;
            for (std::int32_t k = 0; k < kFineTaps; ++k) {
                made.taps[p][k] = static_cast<float>(values[k] / sum);
                magnitudes += std::fabs(static_cast<double>(made.taps[p][k]));
            }
            most = std::max(most, magnitudes);
        }
        made.gainBound = static_cast<float>(most * (1.0 + kFineSumRoom));
        return made;
    }();
    return taps;
}

}  // namespace

const char* LimiterStatusName(LimiterStatus pStatus) {
    switch (pStatus) {
        case LimiterStatus::Ok:
            return "ok";
        case LimiterStatus::LimitExceeded:
            return "limit_exceeded";
        case LimiterStatus::Unsupported:
            return "unsupported";
        case LimiterStatus::ReadFailed:
            return "read_failed";
        case LimiterStatus::NotConverged:
            return "not_converged";
        case LimiterStatus::Canceled:
            return "canceled";
        case LimiterStatus::WriteFailed:
            return "write_failed";
    }
    return "unknown";
}

GainEnvelope::GainEnvelope(std::int64_t pFrames)
    : mFrames(std::max<std::int64_t>(pFrames, 0)),
      mPoints(static_cast<size_t>((mFrames + kLimiterStepFrames - 1) / kLimiterStepFrames + 1), 1.0f) {}

void GainEnvelope::Factors(std::int64_t pFirst, std::int64_t pCount, double* pOut) const {
    if (!mReduces) {
        std::fill(pOut, pOut + pCount, 1.0);
        return;
    }
    constexpr double kStep = kLimiterStepFrames;
    // Step by step: a flat step is its point, exactly what the slope gives.
    for (std::int64_t i = 0; i < pCount;) {
        const std::int64_t frame = pFirst + i;
        const auto k = static_cast<size_t>(frame / kLimiterStepFrames);
        const std::int64_t at = frame % kLimiterStepFrames;
        const std::int64_t run = std::min(kLimiterStepFrames - at, pCount - i);
        const double a = mPoints[k];
        const double slope = static_cast<double>(mPoints[k + 1]) - a;
        double* out = pOut + i;
        if (slope == 0.0) {
            std::fill(out, out + run, a);
        } else {
            for (std::int64_t j = 0; j < run; ++j) out[j] = a + slope * (static_cast<double>(at + j) / kStep);
        }
        i += run;
    }
}

double GainEnvelope::FactorAt(std::int64_t pFrame) const {
    double factor = 1.0;
    if (pFrame >= 0 && pFrame < mFrames) Factors(pFrame, 1, &factor);
    return factor;
}

TruePeakLimiter::TruePeakLimiter(std::int32_t pChannels, std::int32_t pBitsPerSample, std::int32_t pSampleRate,
                                 double pExactRangeDB) {
    if (pChannels < 1 || pChannels > kMaxChannels || (pBitsPerSample != 16 && pBitsPerSample != 24) ||
        pSampleRate < kLowestRate || !(pExactRangeDB >= 0.0))
        return;
    mStatus = LimiterStatus::Ok;
    mChannels = pChannels;
    mBytesPerSample = pBitsPerSample / 8;
    mSampleRate = pSampleRate;
    mScale = static_cast<float>(1.0 / (pBitsPerSample == 16 ? bs1770::kFullScale16 : bs1770::kFullScale24));
    mExactRangeDB = pExactRangeDB;
    mExactFactor = static_cast<float>(std::pow(10.0, -pExactRangeDB / 20.0));
    mKernels = &qc_detail::SelectedKernels();
    mTails.assign(static_cast<size_t>(pChannels), 0.0f);
    if (pChannels == 2) mPairs.assign(static_cast<size_t>(2 * kChunkFrames), 0.0);
    mInput.assign(static_cast<size_t>(pChannels),
                  std::vector<float>(static_cast<size_t>(qc_detail::kTruePeakHistory + kChunkFrames), 0.0f));
}

void TruePeakLimiter::Reserve(std::int64_t pFrames) {
    const auto steps = static_cast<size_t>(std::max<std::int64_t>(pFrames, 0) / kLimiterStepFrames);
    mPeaks.reserve(steps);
    mBounds.reserve(steps);
    mBlockPeaks.reserve(steps / kPeakBlockSteps + 1);
    mBlockBounds.reserve(steps / kPeakBlockSteps + 1);
}

bool TruePeakLimiter::Prime(std::span<const std::uint8_t> pHistory) {
    const std::int32_t history = qc_detail::kTruePeakHistory;
    const auto frameBytes = static_cast<size_t>(mChannels * mBytesPerSample);
    if (mStatus != LimiterStatus::Ok || mFrames != 0 || !mHeld.empty() ||
        pHistory.size() != static_cast<size_t>(history) * frameBytes)
        return false;
    float* into[kMaxChannels];
    for (std::int32_t c = 0; c < mChannels; ++c) into[c] = mInput[static_cast<size_t>(c)].data();
    if (mBytesPerSample == 2)
        Decode<2>(pHistory.data(), history, into);
    else
        Decode<3>(pHistory.data(), history, into);
    // The history is the tail of the step before.
    for (std::int32_t c = 0; c < mChannels; ++c) {
        float tail = 0.0f;
        for (std::int32_t i = 0; i < history; ++i) tail = std::max(tail, std::fabs(into[c][i]));
        mTails[static_cast<size_t>(c)] = tail;
    }
    return true;
}

bool TruePeakLimiter::Append(TruePeakLimiter& pLater) {
    if (mStatus != LimiterStatus::Ok || pLater.mStatus != LimiterStatus::Ok || pLater.mChannels != mChannels ||
        pLater.mBytesPerSample != mBytesPerSample || pLater.mSampleRate != mSampleRate ||
        pLater.mExactRangeDB != mExactRangeDB || mFill != mScanned || !mHeld.empty() || !mFine.empty() ||
        !pLater.mFine.empty())
        return false;
    mPeaks.reserve(mPeaks.size() + pLater.mPeaks.size());
    mBounds.reserve(mBounds.size() + pLater.mBounds.size());
    for (size_t j = 0; j < pLater.mPeaks.size(); ++j) {
        PushStep(pLater.mPeaks[j], pLater.mBounds[j]);
    }
    // The later part took as exact every step this one would have (its
    // largest peak so far was never above this one's), perhaps more.
    mLargest = std::max(mLargest, pLater.mLargest);
    mFrames += pLater.mFrames;
    mInput.swap(pLater.mInput);
    mFill = pLater.mFill;
    mScanned = pLater.mScanned;
    mTails.swap(pLater.mTails);
    mHeld.swap(pLater.mHeld);
    pLater.mStatus = LimiterStatus::Unsupported;
    pLater.mPeaks.clear();
    pLater.mBounds.clear();
    pLater.mBlockPeaks.clear();
    pLater.mBlockBounds.clear();
    pLater.mFrames = 0;
    return true;
}

bool TruePeakLimiter::Push(std::span<const std::uint8_t> pBytes) {
    if (mStatus != LimiterStatus::Ok) return false;
    const auto frameBytes = static_cast<size_t>(mChannels * mBytesPerSample);
    const std::uint8_t* at = pBytes.data();
    size_t left = pBytes.size();
    if (!mHeld.empty()) {
        const size_t take = std::min(left, frameBytes - mHeld.size());
        mHeld.insert(mHeld.end(), at, at + take);
        at += take;
        left -= take;
        if (mHeld.size() < frameBytes) return true;
        AddFrames(mHeld.data(), 1);
        mHeld.clear();
    }
    const size_t frames = left / frameBytes;
    AddFrames(at, static_cast<std::int64_t>(frames));
    mHeld.assign(at + frames * frameBytes, at + left);
    return true;
}

template <int BytesPerSample>
void TruePeakLimiter::Decode(const std::uint8_t* pRaw, std::int64_t pFrames, float* const* pInto) const {
    const std::int64_t frameBytes = static_cast<std::int64_t>(mChannels) * BytesPerSample;
    // Held locally: the stores below could otherwise alias the member.
    const float scale = mScale;
    for (std::int32_t c = 0; c < mChannels; ++c) {
        float* into = pInto[c];
        const std::uint8_t* from = pRaw + c * BytesPerSample;
        for (std::int64_t i = 0; i < pFrames; ++i, from += frameBytes)
            into[i] = static_cast<float>(PcmSample<BytesPerSample>(from)) * scale;
    }
}

void TruePeakLimiter::AddFrames(const std::uint8_t* pRaw, std::int64_t pFrames) {
    const std::int32_t history = qc_detail::kTruePeakHistory;
    const auto frameBytes = static_cast<std::int64_t>(mChannels * mBytesPerSample);
    float* into[kMaxChannels];
    for (std::int64_t f = 0; f < pFrames;) {
        const std::int64_t take = std::min<std::int64_t>(kChunkFrames - mFill, pFrames - f);
        for (std::int32_t c = 0; c < mChannels; ++c) into[c] = mInput[static_cast<size_t>(c)].data() + history + mFill;
        if (mChannels == 2)
            mKernels->DecodeStereo(pRaw + f * frameBytes, static_cast<std::int32_t>(take), mBytesPerSample, mScale,
                                   into[0], into[1], mPairs.data());
        else if (mBytesPerSample == 2)
            Decode<2>(pRaw + f * frameBytes, take, into);
        else
            Decode<3>(pRaw + f * frameBytes, take, into);
        mFill += static_cast<std::int32_t>(take);
        mFrames += take;
        f += take;
        for (; mFill - mScanned >= kLimiterStepFrames; mScanned += kLimiterStepFrames) ScanStep(mScanned);
        if (mFill == kChunkFrames) {
            for (std::vector<float>& input : mInput)
                std::copy(input.begin() + kChunkFrames, input.begin() + kChunkFrames + history, input.begin());
            mFill = mScanned = 0;
        }
    }
}

// A step whose bound cannot reach mExactFactor times the largest peak so far
// keeps the bound: it cannot matter to an envelope needing less than the
// exact range of reduction. The others are interpolated unless their
// largest sample already reaches the bound.
void TruePeakLimiter::ScanStep(std::int32_t pOffset) {
    const std::int32_t history = qc_detail::kTruePeakHistory;
    float sample = 0.0f;
    float around = 0.0f;
    for (size_t c = 0; c < mInput.size(); ++c) {
        float all = 0.0f, tail = 0.0f;
        StepMagnitudes(mInput[c].data() + history + pOffset, all, tail);
        sample = std::max(sample, all);
        around = std::max(around, std::max(all, mTails[c]));
        mTails[c] = tail;
    }
    const float bound = around * qc_detail::kTruePeakGainBound;
    float peak = bound;
    if (bound > mLargest * mExactFactor) {
        peak = sample;
        if (sample < bound)
            for (const std::vector<float>& input : mInput)
                peak = std::max(peak, mKernels->TruePeakMax(input.data() + history + pOffset, kLimiterStepFrames));
        mLargest = std::max(mLargest, peak);
    }
    PushStep(peak, bound);
}

void TruePeakLimiter::PushStep(float pPeak, float pBound) {
    if (mPeaks.size() % kPeakBlockSteps == 0) {
        mBlockPeaks.push_back(pPeak);
        mBlockBounds.push_back(pBound);
    } else {
        mBlockPeaks.back() = std::max(mBlockPeaks.back(), pPeak);
        mBlockBounds.back() = std::max(mBlockBounds.back(), pBound);
    }
    mPeaks.push_back(pPeak);
    mBounds.push_back(pBound);
}

void TruePeakLimiter::PartialStep(float& pPeak, float& pBound) const {
    const std::int32_t history = qc_detail::kTruePeakHistory;
    const std::int32_t count = mFill - mScanned;
    pPeak = pBound = 0.0f;
    for (const std::vector<float>& input : mInput) {
        const float* samples = input.data() + history + mScanned;
        pPeak = std::max(pPeak, mKernels->AbsMax(samples, count));
        pPeak = std::max(pPeak, mKernels->TruePeakMax(samples, count));
        pBound = std::max(pBound, mKernels->AbsMax(samples - history, history + count));
    }
    pBound *= qc_detail::kTruePeakGainBound;
}

float TruePeakLimiter::StepPeak(std::int64_t pStep) const {
    if (pStep >= 0 && pStep < static_cast<std::int64_t>(mPeaks.size())) return mPeaks[static_cast<size_t>(pStep)];
    float peak = 0.0f, bound = 0.0f;
    if (pStep == static_cast<std::int64_t>(mPeaks.size()) && mFill > mScanned) PartialStep(peak, bound);
    return peak;
}

float TruePeakLimiter::StepBound(std::int64_t pStep) const {
    if (pStep >= 0 && pStep < static_cast<std::int64_t>(mBounds.size())) return mBounds[static_cast<size_t>(pStep)];
    float peak = 0.0f, bound = 0.0f;
    if (pStep == static_cast<std::int64_t>(mBounds.size()) && mFill > mScanned) PartialStep(peak, bound);
    return bound;
}

double TruePeakLimiter::TruePeakDB() const {
    float peak = mLargest;
    if (mFill > mScanned) peak = std::max(peak, StepPeak(static_cast<std::int64_t>(mPeaks.size())));
    return peak > 0.0f ? ToDB(peak) : -std::numeric_limits<double>::infinity();
}

float TruePeakLimiter::PeakOf(const std::uint8_t* pRaw, std::int64_t pFrames) const {
    if (mStatus != LimiterStatus::Ok || pFrames <= 0) return 0.0f;
    const std::int32_t history = qc_detail::kTruePeakHistory;
    const auto frameBytes = static_cast<std::int64_t>(mChannels * mBytesPerSample);
    constexpr std::int32_t kRun = 256;
    float buffer[kMaxChannels * (qc_detail::kTruePeakHistory + kRun)];
    float* into[kMaxChannels];
    // The doubles the stereo kernel also gives, not used.
    double pairs[2 * (qc_detail::kTruePeakHistory + kRun)];
    float peak = 0.0f;
    for (std::int64_t first = 0; first < pFrames; first += kRun) {
        const std::int64_t count = std::min<std::int64_t>(kRun, pFrames - first);
        for (std::int32_t c = 0; c < mChannels; ++c) into[c] = buffer + c * (history + kRun);
        const std::uint8_t* from = pRaw + (first - history) * frameBytes;
        const auto frames = static_cast<std::int32_t>(history + count);
        if (mChannels == 2)
            mKernels->DecodeStereo(from, frames, mBytesPerSample, mScale, into[0], into[1], pairs);
        else if (mBytesPerSample == 2)
            Decode<2>(from, history + count, into);
        else
            Decode<3>(from, history + count, into);
        for (std::int32_t c = 0; c < mChannels; ++c) {
            const float* samples = into[c] + history;
            const auto n = static_cast<std::int32_t>(count);
            peak = std::max(peak, mKernels->AbsMax(samples, n));
            peak = std::max(peak, mKernels->TruePeakMax(samples, n));
        }
    }
    return peak;
}

bool TruePeakLimiter::StepEnergies(const std::uint8_t* pRaw, std::int64_t pFrames, std::int64_t pWarmFrames,
                                   std::vector<float>& pOut) const {
    const EnergyRun run{pRaw, pFrames, pWarmFrames, &pOut};
    return StepEnergies(std::span<const EnergyRun>(&run, 1));
}

// Two runs go through the filters together (KWeightSquaresTwice: each lane
// with the arithmetic of KWeightSquares), step by step while both have a
// whole step left; the rest of the longer one alone. Every warm-up is a
// whole number of steps, so the runs stay in step.
bool TruePeakLimiter::StepEnergies(std::span<const EnergyRun> pRuns) const {
    const std::vector<double> weights = bs1770::ChannelWeights(mChannels);
    for (const EnergyRun& run : pRuns) run.Out->clear();
    if (mStatus != LimiterStatus::Ok || weights.empty()) return false;
    const auto frameBytes = static_cast<std::int64_t>(mChannels * mBytesPerSample);
    const double fullScale = 1.0 / static_cast<double>(mScale);
    const double toFullScale = 1.0 / (fullScale * fullScale);
    const size_t pairs = weights.size() / 2;
    struct Cursor {
        const EnergyRun* run = nullptr;
        std::int64_t warm = 0;
        std::int64_t first = 0;
        std::vector<qc_detail::KWeightState> filters;
        // Per pair: the step's frames as interleaved doubles.
        std::vector<double> input;
    };
    std::vector<Cursor> cursors;
    for (const EnergyRun& run : pRuns) {
        Cursor cursor;
        cursor.run = &run;
        cursor.warm = std::clamp<std::int64_t>(run.WarmFrames, 0, run.Frames);
        cursor.filters.resize(pairs);
        cursor.input.resize(pairs * 2 * kLimiterStepFrames);
        run.Out->reserve(static_cast<size_t>((run.Frames - cursor.warm + kLimiterStepFrames - 1) / kLimiterStepFrames));
        cursors.push_back(std::move(cursor));
    }
    // The frames of the cursor's next step (the warm-up in steps of its own,
    // so the steps measured start at its warm frames).
    const auto nextCount = [](const Cursor& pCursor) {
        const std::int64_t count = std::min<std::int64_t>(
            pCursor.first < pCursor.warm ? pCursor.warm - pCursor.first : kLimiterStepFrames, kLimiterStepFrames);
        return std::min(count, pCursor.run->Frames - pCursor.first);
    };
    const auto decode = [&](Cursor& pCursor, std::int64_t pFrames) {
        for (size_t p = 0; p < pairs; ++p) {
            const std::int32_t left = mChannels == 1 ? 0 : static_cast<std::int32_t>(2 * p);
            const std::int32_t right = mChannels == 1 ? 0 : left + 1;
            double* input = pCursor.input.data() + p * 2 * kLimiterStepFrames;
            for (std::int64_t i = 0; i < pFrames; ++i) {
                const std::uint8_t* frame = pCursor.run->Raw + (pCursor.first + i) * frameBytes;
                input[2 * i] = mBytesPerSample == 2 ? PcmSample<2>(frame + left * 2) : PcmSample<3>(frame + left * 3);
                input[2 * i + 1] =
                    mBytesPerSample == 2 ? PcmSample<2>(frame + right * 2) : PcmSample<3>(frame + right * 3);
            }
        }
    };
    const auto finish = [&](Cursor& pCursor, std::int64_t pFrames, double pEnergy) {
        if (pCursor.first >= pCursor.warm) pCursor.run->Out->push_back(static_cast<float>(pEnergy * toFullScale));
        pCursor.first += pFrames;
    };
    for (size_t r = 0; r < cursors.size(); r += 2) {
        Cursor& one = cursors[r];
        Cursor* const two = r + 1 < cursors.size() ? &cursors[r + 1] : nullptr;
        while (two != nullptr && nextCount(one) == kLimiterStepFrames && nextCount(*two) == kLimiterStepFrames) {
            decode(one, kLimiterStepFrames);
            decode(*two, kLimiterStepFrames);
            double energies[2] = {0.0, 0.0};
            for (size_t p = 0; p < pairs; ++p) {
                double squares[4] = {0.0, 0.0, 0.0, 0.0};
                const size_t at = p * 2 * kLimiterStepFrames;
                mKernels->KWeightSquaresTwice(one.input.data() + at, two->input.data() + at, kLimiterStepFrames,
                                              one.filters[p], two->filters[p], squares);
                energies[0] += weights[2 * p] * squares[0] + weights[2 * p + 1] * squares[1];
                energies[1] += weights[2 * p] * squares[2] + weights[2 * p + 1] * squares[3];
            }
            finish(one, kLimiterStepFrames, energies[0]);
            finish(*two, kLimiterStepFrames, energies[1]);
        }
        for (Cursor* cursor : {&one, two}) {
            if (cursor == nullptr) continue;
            while (cursor->first < cursor->run->Frames) {
                const std::int64_t frames = nextCount(*cursor);
                decode(*cursor, frames);
                double energy = 0.0;
                for (size_t p = 0; p < pairs; ++p) {
                    double squares[2] = {0.0, 0.0};
                    mKernels->KWeightSquares(cursor->input.data() + p * 2 * kLimiterStepFrames,
                                             static_cast<std::int32_t>(frames), cursor->filters[p], squares);
                    energy += weights[2 * p] * squares[0] + weights[2 * p + 1] * squares[1];
                }
                finish(*cursor, frames, energy);
            }
        }
    }
    return true;
}

double TruePeakLimiter::NeededReductionDB(double pGainDB, double pCeilingDBTP) const {
    const double peak = mLargestFine > 0.0f ? std::max(TruePeakDB(), ToDB(mLargestFine)) : TruePeakDB();
    return std::max(0.0, pGainDB + peak - pCeilingDBTP);
}

float TruePeakLimiter::FinePeak(std::int64_t pStep) const {
    if (pStep < 0 || pStep >= static_cast<std::int64_t>(mFine.size())) return 0.0f;
    const float fine = mFine[static_cast<size_t>(pStep)];
    return std::isnan(fine) ? 0.0f : fine;
}

std::vector<TruePeakLimiter::RefineRun> TruePeakLimiter::RunsToRefine(double pGainDB, double pCeilingDBTP) const {
    std::vector<RefineRun> runs;
    if (mStatus != LimiterStatus::Ok || !std::isfinite(pGainDB) || !std::isfinite(pCeilingDBTP)) return runs;
    const std::int64_t steps = Steps();
    const auto whole = static_cast<std::int64_t>(mBounds.size());
    // A step's fine values come from its frames, the kLimiterFineHalfTaps - 1
    // before (inside its bound) and the kLimiterFineHalfTaps after (inside the
    // next step's bound).
    const double ratio = static_cast<double>(Fine().gainBound) / static_cast<double>(qc_detail::kTruePeakGainBound);
    const double limit = std::pow(10.0, (pCeilingDBTP - pGainDB) / 20.0) / ratio;
    const double near = std::pow(10.0, (pCeilingDBTP - pGainDB - kLimiterFineHeadroomDB) / 20.0);
    const auto peak = [&](std::int64_t pStep) -> double {
        if (pStep >= steps) return 0.0;
        return pStep < whole ? mPeaks[static_cast<size_t>(pStep)] : StepPeak(pStep);
    };
    const auto bound = [&](std::int64_t pStep) -> double {
        if (pStep >= steps) return 0.0;
        return pStep < whole ? mBounds[static_cast<size_t>(pStep)] : StepBound(pStep);
    };
    const auto refined = [&](std::int64_t pStep) {
        return pStep < static_cast<std::int64_t>(mFine.size()) && !std::isnan(mFine[static_cast<size_t>(pStep)]);
    };
    const auto blocks = static_cast<std::int64_t>(mBlockBounds.size());
    for (std::int64_t j = 0; j < steps; ++j) {
        // Blocks whose steps and the next block's first cannot exceed are passed over whole.
        if (j % static_cast<std::int64_t>(kPeakBlockSteps) == 0) {
            const std::int64_t block = j / static_cast<std::int64_t>(kPeakBlockSteps);
            const auto at = static_cast<size_t>(block);
            if (j + static_cast<std::int64_t>(kPeakBlockSteps) < whole && block + 1 < blocks &&
                (std::max(mBlockBounds[at], mBlockBounds[at + 1]) <= limit ||
                 std::max(mBlockPeaks[at], mBlockPeaks[at + 1]) <= near)) {
                j += static_cast<std::int64_t>(kPeakBlockSteps) - 1;
                continue;
            }
        }
        if (refined(j) || std::max(bound(j), bound(j + 1)) <= limit || std::max(peak(j), peak(j + 1)) <= near) continue;
        // Steps this close share the frames they read.
        constexpr std::int64_t kJoinSteps = 2;
        if (!runs.empty() && j - runs.back().End <= kJoinSteps) {
            runs.back().End = j + 1;
        } else {
            RefineRun run;
            run.First = j;
            run.End = j + 1;
            runs.push_back(run);
        }
    }
    for (RefineRun& run : runs) {
        run.FirstFrame = std::max<std::int64_t>(run.First * kLimiterStepFrames - (kLimiterFineHalfTaps - 1), 0);
        run.EndFrame = std::min(run.End * kLimiterStepFrames + kLimiterFineHalfTaps, mFrames);
    }
    return runs;
}

bool TruePeakLimiter::Refine(const RefineRun& pRun, const std::uint8_t* pRaw) {
    if (mStatus != LimiterStatus::Ok || pRun.First < 0 || pRun.End > Steps() || pRun.First >= pRun.End ||
        pRun.EndFrame > mFrames || pRun.FirstFrame < 0 || pRun.FirstFrame > pRun.First * kLimiterStepFrames)
        return false;
    const FineTaps& fine = Fine();
    if (mFine.size() != static_cast<size_t>(Steps()))
        mFine.resize(static_cast<size_t>(Steps()), std::numeric_limits<float>::quiet_NaN());
    // Frame f of the range at index f - FirstFrame + kPad; zeros around.
    constexpr std::int64_t kPad = kLimiterFineHalfTaps + kLimiterStepFrames;
    const std::int64_t frames = pRun.EndFrame - pRun.FirstFrame;
    mFineInput.resize(static_cast<size_t>(mChannels));
    float* into[kMaxChannels];
    for (std::int32_t c = 0; c < mChannels; ++c) {
        std::vector<float>& input = mFineInput[static_cast<size_t>(c)];
        input.assign(static_cast<size_t>(frames + 2 * kPad), 0.0f);
        into[c] = input.data() + kPad;
    }
    if (mBytesPerSample == 2)
        Decode<2>(pRaw, frames, into);
    else
        Decode<3>(pRaw, frames, into);
    for (std::int64_t j = pRun.First; j < pRun.End; ++j) {
        const std::int64_t first = j * kLimiterStepFrames;
        // Only the values between two frames of the range.
        const std::int64_t count = std::min<std::int64_t>(kLimiterStepFrames, mFrames - 1 - first);
        float peak = 0.0f;
        for (std::int32_t c = 0; c < mChannels && count > 0; ++c) {
            const float* from = into[c] + (first - pRun.FirstFrame) - (kLimiterFineHalfTaps - 1);
            for (std::int32_t p = 1; p < kLimiterFinePhases; ++p) {
                // Sixteen values at once, each tap across all of them.
                float sums[kLimiterStepFrames] = {};
                for (std::int32_t k = 0; k < kFineTaps; ++k) {
                    const float tap = fine.taps[p][k];
                    for (std::int32_t i = 0; i < kLimiterStepFrames; ++i) sums[i] += tap * from[k + i];
                }
                for (std::int64_t i = 0; i < count; ++i) peak = std::max(peak, std::fabs(sums[i]));
            }
        }
        mFine[static_cast<size_t>(j)] = peak;
        mLargestFine = std::max(mLargestFine, peak);
        if (j < static_cast<std::int64_t>(mPeaks.size())) {
            float& block = mBlockPeaks[static_cast<size_t>(j) / kPeakBlockSteps];
            block = std::max(block, peak);
        }
    }
    return true;
}

LimiterStatus TruePeakLimiter::Envelope(double pGainDB, double pCeilingDBTP, double pMaxReductionDB,
                                        GainEnvelope& pOut) const {
    pOut = GainEnvelope();
    if (mStatus != LimiterStatus::Ok) return mStatus;
    if (!std::isfinite(pGainDB) || !std::isfinite(pCeilingDBTP) || !(pMaxReductionDB >= 0.0))
        return LimiterStatus::Unsupported;
    if (NeededReductionDB(pGainDB, pCeilingDBTP) > pMaxReductionDB) return LimiterStatus::LimitExceeded;

    // Every step's peak, the partial last one included.
    const float partial = mFill > mScanned ? StepPeak(static_cast<std::int64_t>(mPeaks.size())) : 0.0f;
    const auto steps = static_cast<std::int64_t>(mPeaks.size()) + (mFill > mScanned ? 1 : 0);
    const auto peakOf = [&](size_t pStep) {
        const float peak = pStep < mPeaks.size() ? mPeaks[pStep] : partial;
        return pStep < mFine.size() && mFine[pStep] > peak ? mFine[pStep] : peak;
    };
    // The steps over the ceiling and what they need.
    std::vector<std::int64_t> over;
    double most = 0.0;
    // Below this peak a step needs nothing (with room for the rounding of the
    // threshold; the reduction itself is taken in dB).
    const auto below = static_cast<float>(std::pow(10.0, (pCeilingDBTP - pGainDB) / 20.0) * (1.0 - 1e-6));
    for (size_t j = 0; j < static_cast<size_t>(steps); ++j) {
        // Blocks of steps that all need nothing are passed over whole.
        if (j % kPeakBlockSteps == 0 && j + kPeakBlockSteps <= mPeaks.size()) {
            const float block = mBlockPeaks[j / kPeakBlockSteps];
            if (block < kSilentPeak || block < below) {
                j += kPeakBlockSteps - 1;
                continue;
            }
        }
        const float peak = peakOf(j);
        if (peak < kSilentPeak || peak < below) continue;
        const double need = pGainDB + ToDB(peak) - pCeilingDBTP;
        if (need > 0.0) {
            over.push_back(static_cast<std::int64_t>(j));
            most = std::max(most, need);
        }
    }
    pOut = GainEnvelope(mFrames);
    if (over.empty()) return LimiterStatus::Ok;

    const double stepSeconds = static_cast<double>(kLimiterStepFrames) / mSampleRate;
    const auto hold = static_cast<std::int64_t>(std::ceil(kLimiterHoldSeconds / stepSeconds));
    // The two averages together reach 2 * smooth steps; the points reach one
    // step further; the hold must cover both.
    const std::int64_t smooth =
        std::min(static_cast<std::int64_t>(kLimiterSmoothSeconds / stepSeconds), (hold - 1) / 2);
    const double releaseStep = kLimiterReleaseDBPerSecond * stepSeconds;
    const double attackStep = kLimiterAttackDBPerSecond * stepSeconds;
    // How far a required reduction reaches through the hold, the slopes, the
    // averages and the points: beyond it the curve is exactly 0. Runs of
    // steps further apart than twice this are shaped each on its own, which
    // gives the values of one curve over the whole range, as every window
    // and slope reaching an end of such a run sees only zeros there.
    const std::int64_t reach =
        hold + static_cast<std::int64_t>(std::ceil(most / std::min(releaseStep, attackStep))) + 2 * smooth + 3;
    for (size_t first = 0; first < over.size();) {
        size_t last = first;
        while (last + 1 < over.size() && over[last + 1] - over[last] <= 2 * reach) ++last;
        const std::int64_t from = std::max<std::int64_t>(over[first] - reach, 0);
        const std::int64_t to = std::min(over[last] + reach, steps - 1);
        const auto length = static_cast<size_t>(to - from + 1);
        std::vector<double> required(length, 0.0);
        for (size_t k = first; k <= last; ++k) {
            const auto j = static_cast<size_t>(over[k]);
            required[j - static_cast<size_t>(from)] = pGainDB + ToDB(peakOf(j)) - pCeilingDBTP;
        }
        std::vector<double> curve = RunningMax(required, hold);
        for (size_t j = 1; j < length; ++j) curve[j] = std::max(curve[j], curve[j - 1] - releaseStep);
        for (size_t j = length - 1; j-- > 0;) curve[j] = std::max(curve[j], curve[j + 1] - attackStep);
        if (smooth > 0) curve = MovingAverage(MovingAverage(curve, smooth), smooth);

        // Point q (frame q * step) is used by the frames of steps q - 1 and q,
        // which feed the meter's interpolated outputs of steps q - 1 .. q + 1
        // and the fine values of steps q - 2 .. q.
        const std::int64_t lastPoint = to == steps - 1 ? steps : to;
        for (std::int64_t q = from; q <= lastPoint; ++q) {
            double reduction = curve[static_cast<size_t>(std::min(q, to) - from)];
            for (std::int64_t j = std::max(q - 2, from); j <= std::min(q + 1, to); ++j)
                reduction = std::max(reduction, required[static_cast<size_t>(j - from)]);
            if (reduction <= 0.0) continue;
            const double factor = std::exp(reduction * kMinusLn10Over20);
            float point = static_cast<float>(factor);
            if (static_cast<double>(point) > factor) point = std::nextafter(point, 0.0f);
            pOut.mPoints[static_cast<size_t>(q)] = point;
            pOut.mReduces = true;
        }
        first = last + 1;
    }
    return LimiterStatus::Ok;
}

LimiterReport TruePeakLimiter::Report(const GainEnvelope& pEnvelope, std::int32_t pSampleRate) {
    LimiterReport report;
    if (pSampleRate <= 0 || pEnvelope.Frames() == 0) return report;
    const auto blockFrames = static_cast<std::int64_t>(std::llround(kLimiterBlockSeconds * pSampleRate));
    const std::int64_t frames = pEnvelope.Frames();
    report.BlockReductionDB.assign(static_cast<size_t>((frames + blockFrames - 1) / blockFrames), 0.0f);
    if (!pEnvelope.Reduces()) return report;

    const double above01 = std::pow(10.0, -0.1 / 20.0);
    const double above1 = std::pow(10.0, -1.0 / 20.0);
    const std::span<const float> points = pEnvelope.Points();
    std::int64_t frames01 = 0;
    std::int64_t frames1 = 0;
    double lowest = 1.0;
    std::vector<double> lowestOfBlock(report.BlockReductionDB.size(), 1.0);
    double factors[kLimiterStepFrames];
    for (std::int64_t first = 0; first < frames; first += kLimiterStepFrames) {
        const auto k = static_cast<size_t>(first / kLimiterStepFrames);
        if (points[k] == 1.0f && points[k + 1] == 1.0f) continue;
        const std::int64_t count = std::min<std::int64_t>(kLimiterStepFrames, frames - first);
        pEnvelope.Factors(first, count, factors);
        for (std::int64_t i = 0; i < count; ++i) {
            frames01 += factors[i] < above01 ? 1 : 0;
            frames1 += factors[i] < above1 ? 1 : 0;
        }
        // Within a step the factors run monotonically from one point to the
        // next, so the lowest of any stretch of them lies at one of its ends.
        // A block is at least 100 frames: a step meets at most two.
        const auto block = static_cast<size_t>(first / blockFrames);
        const std::int64_t split = std::min((static_cast<std::int64_t>(block) + 1) * blockFrames - first, count);
        const double early = std::min(factors[0], factors[split - 1]);
        lowestOfBlock[block] = std::min(lowestOfBlock[block], early);
        lowest = std::min(lowest, early);
        if (split < count) {
            const double late = std::min(factors[split], factors[count - 1]);
            lowestOfBlock[block + 1] = std::min(lowestOfBlock[block + 1], late);
            lowest = std::min(lowest, late);
        }
    }
    report.MaxReductionDB = -ToDB(lowest);
    report.SecondsAbove01dB = static_cast<double>(frames01) / pSampleRate;
    report.SecondsAbove1dB = static_cast<double>(frames1) / pSampleRate;
    for (size_t b = 0; b < lowestOfBlock.size(); ++b)
        report.BlockReductionDB[b] = lowestOfBlock[b] < 1.0 ? static_cast<float>(-ToDB(lowestOfBlock[b])) : 0.0f;
    return report;
}

}  // namespace sonivate
