// The baseline build of the kernels, the coefficient table and the choice
// of build for this processor.

#define SONIVATE_QC_NAMESPACE portable
#include "loudness/qc_kernels_body.inc"

namespace sonivate::qc_detail {

// ITU-R BS.1770-4 Annex 2: the 48-tap interpolating FIR for 4x oversampling,
// listed by phase (taps 0, 4, 8, ... form phase 0). Phases 2 and 3 are
// phases 1 and 0 reversed.
const float kTruePeakCoefficients[kTruePeakPhases][kTruePeakTaps] = {
    {0.0017089843750f, 0.0109863281250f, -0.0196533203125f, 0.0332031250000f, -0.0594482421875f, 0.1373291015625f,
     0.9721679687500f, -0.1022949218750f, 0.0476074218750f, -0.0266113281250f, 0.0148925781250f, -0.0083007812500f},
    {-0.0291748046875f, 0.0292968750000f, -0.0517578125000f, 0.0891113281250f, -0.1665039062500f, 0.4650878906250f,
     0.7797851562500f, -0.2003173828125f, 0.1015625000000f, -0.0582275390625f, 0.0330810546875f, -0.0189208984375f},
    {-0.0189208984375f, 0.0330810546875f, -0.0582275390625f, 0.1015625000000f, -0.2003173828125f, 0.7797851562500f,
     0.4650878906250f, -0.1665039062500f, 0.0891113281250f, -0.0517578125000f, 0.0292968750000f, -0.0291748046875f},
    {-0.0083007812500f, 0.0148925781250f, -0.0266113281250f, 0.0476074218750f, -0.1022949218750f, 0.9721679687500f,
     0.1373291015625f, -0.0594482421875f, 0.0332031250000f, -0.0196533203125f, 0.0109863281250f, 0.0017089843750f},
};

// The largest sum of |coefficients| of a phase is 2.0232 (phases 1 and 2);
// the margin covers the rounding of twelve float products and sums.
const float kTruePeakGainBound = 2.0240f;

#if defined(SONIVATE_QC_AVX2)
namespace avx2 {
extern const Kernels kKernels;
bool CpuHasAvx2Fma();
}  // namespace avx2
#endif

const Kernels& PortableKernels() { return portable::kKernels; }

namespace {
// Oversampled outputs per skip test: a stretch whose samples are all too
// small to reach the peak found so far is not interpolated.
constexpr std::int32_t kPeakRun = 64;
}  // namespace

void ScanTruePeak(const Kernels& pKernels, const float* pSamples, std::int32_t pCount, float& pPeak,
                  float& pSamplePeak) {
    for (std::int32_t i = 0; i < pCount; i += kPeakRun) {
        const std::int32_t run = pCount - i < kPeakRun ? pCount - i : kPeakRun;
        const float largest = pKernels.AbsMax(pSamples + i - kTruePeakHistory, run + kTruePeakHistory);
        if (largest > pSamplePeak) pSamplePeak = largest;
        if (largest * kTruePeakGainBound > pPeak) {
            const float interpolated = pKernels.TruePeakMax(pSamples + i, run);
            if (interpolated > pPeak) pPeak = interpolated;
        }
    }
}

const Kernels& SelectedKernels() {
#if defined(SONIVATE_QC_AVX2)
    static const Kernels& chosen = avx2::CpuHasAvx2Fma() ? avx2::kKernels : portable::kKernels;
    return chosen;
#else
    return portable::kKernels;
#endif
}

}  // namespace sonivate::qc_detail
