#include "loudness/k_weighting.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "wavefile/pcm_codec.h"

namespace sonivate {
namespace {

// Both stages: y[n] = b0*x[n] + b1*x[n-1] + b2*x[n-2] - a1*y[n-1] - a2*y[n-2],
// with the coefficients for 48000 Hz, whatever the file's rate.
constexpr double kPreB0 = 1.53512485958697;
constexpr double kPreB1 = -2.69169618940638;
constexpr double kPreB2 = 1.19839281085285;
constexpr double kPreA1 = -1.69065929318241;
constexpr double kPreA2 = 0.73248077421585;
constexpr double kRlbB0 = 1.0;
constexpr double kRlbB1 = -2.0;
constexpr double kRlbB2 = 1.0;
constexpr double kRlbA1 = -1.99004745483398;
constexpr double kRlbA2 = 0.99007225036621;

// Stage outputs are held to the 32-bit signed range, symmetric.
constexpr double kStageLimit = 2147483647.0;

// Two doubles, one per channel, that move through the filter together. The
// SSE2 form and the plain form do the same IEEE operations lane by lane.
#if defined(__SSE2__)
using Lanes = __m128d;
inline Lanes Splat(double pValue) { return _mm_set1_pd(pValue); }
inline Lanes Load(const double* pPair) { return _mm_load_pd(pPair); }
inline void Store(double* pPair, Lanes pValue) { _mm_store_pd(pPair, pValue); }
inline Lanes FromInts(std::int32_t pLeft, std::int32_t pRight) {
    return _mm_cvtepi32_pd(_mm_unpacklo_epi32(_mm_cvtsi32_si128(pLeft), _mm_cvtsi32_si128(pRight)));
}
inline Lanes Add(Lanes pA, Lanes pB) { return _mm_add_pd(pA, pB); }
inline Lanes Mul(Lanes pA, Lanes pB) { return _mm_mul_pd(pA, pB); }
inline Lanes Max(Lanes pA, Lanes pB) { return _mm_max_pd(pA, pB); }
inline Lanes Min(Lanes pA, Lanes pB) { return _mm_min_pd(pA, pB); }
inline Lanes Abs(Lanes pA) { return _mm_andnot_pd(_mm_set1_pd(-0.0), pA); }
// To the nearest integer, halves to even (the default rounding mode);
// pA is already within the 32-bit range.
inline Lanes RoundToInteger(Lanes pA) { return _mm_cvtepi32_pd(_mm_cvtpd_epi32(pA)); }
#else
struct Lanes {
    double l, r;
};
inline Lanes Splat(double pValue) { return {pValue, pValue}; }
inline Lanes Load(const double* pPair) { return {pPair[0], pPair[1]}; }
inline void Store(double* pPair, Lanes pValue) {
    pPair[0] = pValue.l;
    pPair[1] = pValue.r;
}
inline Lanes FromInts(std::int32_t pLeft, std::int32_t pRight) {
    return {static_cast<double>(pLeft), static_cast<double>(pRight)};
}
inline Lanes Add(Lanes pA, Lanes pB) { return {pA.l + pB.l, pA.r + pB.r}; }
inline Lanes Mul(Lanes pA, Lanes pB) { return {pA.l * pB.l, pA.r * pB.r}; }
inline Lanes Max(Lanes pA, Lanes pB) { return {std::max(pA.l, pB.l), std::max(pA.r, pB.r)}; }
inline Lanes Min(Lanes pA, Lanes pB) { return {std::min(pA.l, pB.l), std::min(pA.r, pB.r)}; }
inline Lanes Abs(Lanes pA) { return {std::fabs(pA.l), std::fabs(pA.r)}; }
inline Lanes RoundToInteger(Lanes pA) { return {std::nearbyint(pA.l), std::nearbyint(pA.r)}; }
#endif

struct Coefficients {
    Lanes negA2, negA1, b2, b1, b0;
};

struct StageLanes {
    Lanes y1, y2, x1, x2;
};

// One stage, one frame. The terms are added in this order:
// (-a2)*y[n-2] + (-a1)*y[n-1] + b2*x[n-2] + b1*x[n-1] + b0*x[n]. The state
// keeps the unrounded output; the result is the output held to the 32-bit
// range and rounded to an integer.
inline Lanes Finish(StageLanes& pState, Lanes pValue, Lanes pX0) {
    pState.y2 = pState.y1;
    pState.y1 = pValue;
    pState.x2 = pState.x1;
    pState.x1 = pX0;
    return RoundToInteger(Max(Min(pValue, Splat(kStageLimit)), Splat(-kStageLimit)));
}

inline Lanes PreFilterStep(StageLanes& pState, Lanes pX0, const Coefficients& pC) {
    Lanes value = Add(Mul(pC.negA2, pState.y2), Mul(pC.negA1, pState.y1));
    value = Add(value, Mul(pC.b2, pState.x2));
    value = Add(value, Mul(pC.b1, pState.x1));
    value = Add(value, Mul(pC.b0, pX0));
    return Finish(pState, value, pX0);
}

// The RLB stage's b0 and b2 are 1: those products are the inputs themselves,
// bit for bit, so they are not multiplied.
static_assert(kRlbB0 == 1.0 && kRlbB1 == -2.0 && kRlbB2 == 1.0);
inline Lanes RlbStep(StageLanes& pState, Lanes pX0, const Coefficients& pC) {
    Lanes value = Add(Mul(pC.negA2, pState.y2), Mul(pC.negA1, pState.y1));
    value = Add(value, pState.x2);
    value = Add(value, Mul(pC.b1, pState.x1));
    value = Add(value, pX0);
    return Finish(pState, value, pX0);
}

}  // namespace

KWeightedPair::KWeightedPair(std::int32_t pHopFrames, std::int32_t pBytesPerSample, std::int32_t pFrameBytes,
                             std::int32_t pLeftOffset, std::int32_t pRightOffset)
    : mHop(pHopFrames),
      mBytesPerSample(pBytesPerSample),
      mFrameBytes(pFrameBytes),
      mLeftOffset(pLeftOffset),
      mRightOffset(pRightOffset) {}

std::int32_t KWeightedPair::Peak() const { return static_cast<std::int32_t>(std::max(mPeak[0], mPeak[1])); }

void KWeightedPair::Process(const std::uint8_t* pRaw, std::int32_t pFrames, std::vector<PairBlockSums>& pBlocks) {
    if (mBytesPerSample == 2)
        Run<2>(pRaw, pFrames, pBlocks);
    else
        Run<3>(pRaw, pFrames, pBlocks);
}

template <int BytesPerSample>
void KWeightedPair::Run(const std::uint8_t* pRaw, std::int32_t pFrames, std::vector<PairBlockSums>& pBlocks) {
    const Coefficients pre{Splat(-kPreA2), Splat(-kPreA1), Splat(kPreB2), Splat(kPreB1), Splat(kPreB0)};
    const Coefficients rlb{Splat(-kRlbA2), Splat(-kRlbA1), Splat(kRlbB2), Splat(kRlbB1), Splat(kRlbB0)};
    StageLanes s1{Load(mPre.y1), Load(mPre.y2), Load(mPre.x1), Load(mPre.x2)};
    StageLanes s2{Load(mRlb.y1), Load(mRlb.y2), Load(mRlb.x1), Load(mRlb.x2)};
    Lanes open0 = Load(mOpen[0].v), open1 = Load(mOpen[1].v), open2 = Load(mOpen[2].v), open3 = Load(mOpen[3].v);
    Lanes peak = Load(mPeak);

    const std::uint8_t* left = pRaw + mLeftOffset;
    const std::uint8_t* right = pRaw + mRightOffset;
    std::int32_t done = 0;
    while (done < pFrames) {
        const std::int32_t run = std::min(mHop - mHopFill, pFrames - done);
        for (std::int32_t i = 0; i < run; ++i) {
            const Lanes input = FromInts(PcmSample<BytesPerSample>(left), PcmSample<BytesPerSample>(right));
            left += mFrameBytes;
            right += mFrameBytes;
            peak = Max(peak, Abs(input));
            const Lanes weighted = RlbStep(s2, PreFilterStep(s1, input, pre), rlb);
            const Lanes square = Mul(weighted, weighted);
            open0 = Add(open0, square);
            open1 = Add(open1, square);
            open2 = Add(open2, square);
            open3 = Add(open3, square);
        }
        done += run;
        mHopFill += run;
        if (mHopFill == mHop) {
            // The oldest open block has now seen its fourth hop.
            if (mHopsDone >= kHopsPerBlock - 1) {
                alignas(16) double sums[2];
                Store(sums, open0);
                pBlocks.push_back({sums[0], sums[1]});
            }
            open0 = open1;
            open1 = open2;
            open2 = open3;
            open3 = Splat(0.0);
            mHopFill = 0;
            ++mHopsDone;
        }
    }

    Store(mPre.y1, s1.y1);
    Store(mPre.y2, s1.y2);
    Store(mPre.x1, s1.x1);
    Store(mPre.x2, s1.x2);
    Store(mRlb.y1, s2.y1);
    Store(mRlb.y2, s2.y2);
    Store(mRlb.x1, s2.x1);
    Store(mRlb.x2, s2.x2);
    Store(mOpen[0].v, open0);
    Store(mOpen[1].v, open1);
    Store(mOpen[2].v, open2);
    Store(mOpen[3].v, open3);
    Store(mPeak, peak);
}

}  // namespace sonivate
