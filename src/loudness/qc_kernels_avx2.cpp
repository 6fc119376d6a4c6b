// The kernels built with AVX2 and FMA (-mavx2 -mfma), products and sums
// contracted into fused multiply-adds.

#define SONIVATE_QC_NAMESPACE avx2
#include "loudness/qc_kernels_body.inc"

namespace sonivate::qc_detail::avx2 {

bool CpuHasAvx2Fma() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"); }

}  // namespace sonivate::qc_detail::avx2
