#pragma once
// The inner loops of the broadcast measures (true peak, double-precision
// K-weighting), built twice on x86-64: once for the baseline instruction set
// and once for AVX2 with FMA, chosen once at run time. Internal to the
// loudness library.

#include <cstdint>

namespace sonivate::qc_detail {

// The 4x oversampler of the true-peak measure: 4 phases of 12 taps, applied
// to one channel of samples scaled to full scale = 1.0.
inline constexpr std::int32_t kTruePeakPhases = 4;
inline constexpr std::int32_t kTruePeakTaps = 12;
// Samples of the previous piece each output needs: taps - 1.
inline constexpr std::int32_t kTruePeakHistory = kTruePeakTaps - 1;

// Biquad state of both K-weighting stages for two channels (lane 0, lane 1):
// the last two inputs and outputs of each stage, unrounded doubles.
struct alignas(16) KWeightState {
    double x1[2] = {0.0, 0.0}, x2[2] = {0.0, 0.0}, y1[2] = {0.0, 0.0}, y2[2] = {0.0, 0.0};  // pre-filter
    double u1[2] = {0.0, 0.0}, u2[2] = {0.0, 0.0}, v1[2] = {0.0, 0.0}, v2[2] = {0.0, 0.0};  // RLB high-pass
};

struct Kernels {
    // The largest absolute value of the 4 interpolated phases over pCount
    // outputs. pSamples[-kTruePeakHistory .. pCount - 1] must be readable:
    // the output at i uses the samples i - 11 .. i.
    float (*TruePeakMax)(const float* pSamples, std::int32_t pCount);
    // The largest absolute value of pSamples[0 .. pCount - 1].
    float (*AbsMax)(const float* pSamples, std::int32_t pCount);
    // K-weights pFrames frames of two interleaved channels (pPairs[2n] lane
    // 0, pPairs[2n + 1] lane 1, any scale) and adds the squared outputs of
    // each lane to pSquares[0] and pSquares[1].
    void (*KWeightSquares)(const double* pPairs, std::int32_t pFrames, KWeightState& pState, double* pSquares);
    // KWeightSquares on two runs of pFrames frames at once, pFirst through
    // pFirstState into pSquares[0..1] and pSecond through pSecondState into
    // pSquares[2..3], each lane with the same arithmetic as KWeightSquares.
    // Two independent filters keep the processor's pipelines full where one
    // would wait on its own previous output.
    void (*KWeightSquaresTwice)(const double* pFirst, const double* pSecond, std::int32_t pFrames,
                                KWeightState& pFirstState, KWeightState& pSecondState, double* pSquares);
    // Decodes pFrames stereo frames of little-endian PCM (pBytesPerSample 2
    // or 3) into pLeft and pRight, times pScale, and into pPairs as
    // interleaved unscaled doubles.
    void (*DecodeStereo)(const std::uint8_t* pRaw, std::int32_t pFrames, std::int32_t pBytesPerSample, float pScale,
                         float* pLeft, float* pRight, double* pPairs);
};

// The kernels for this processor.
const Kernels& SelectedKernels();

// The true peak of one channel's run: raises pPeak to the largest
// interpolated magnitude and pSamplePeak to the largest sample magnitude
// of pSamples[0 .. pCount - 1] (full scale 1.0), with the same readable
// history as TruePeakMax. A stretch is interpolated only when its largest
// sample times kTruePeakGainBound could beat pPeak.
void ScanTruePeak(const Kernels& pKernels, const float* pSamples, std::int32_t pCount, float& pPeak,
                  float& pSamplePeak);
// The baseline build, for holding the fast one to it in tests.
const Kernels& PortableKernels();

// The oversampler's coefficients by phase and tap: the output of phase p at
// input i is sum over k of kTruePeakCoefficients[p][k] * x[i - k].
extern const float kTruePeakCoefficients[kTruePeakPhases][kTruePeakTaps];
// An upper bound of sum over k of |kTruePeakCoefficients[p][k]| for every
// phase p, with a margin for rounding: no output exceeds this times the
// largest |x| among its taps.
extern const float kTruePeakGainBound;

}  // namespace sonivate::qc_detail
