// Built with -mavx2. Eight samples per step, decoded, scaled and encoded in
// registers; results identical to the portable path (same IEEE operations in
// the same order, conversions rounding to nearest even).

#include <immintrin.h>

#include <cstring>

#include "wavefile/pcm_codec.h"
#include "writer/sample_scaling.h"

namespace sonivate::writer_detail {
namespace {

constexpr std::size_t kStep = 8;

// Eight scaled, clamped and rounded samples. The factors alternate even/odd
// within each group of four, so a step must start at an even sample index.
inline __m256i ScaleEight(__m256i pSamples, __m256d pFactors, __m256 pLow, __m256 pHigh) {
    const __m256d first = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(pSamples)), pFactors);
    const __m256d second = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(pSamples, 1)), pFactors);
    const __m256 scaled = _mm256_set_m128(_mm256_cvtpd_ps(second), _mm256_cvtpd_ps(first));
    return _mm256_cvtps_epi32(_mm256_min_ps(_mm256_max_ps(scaled, pLow), pHigh));
}

}  // namespace

bool CpuHasAvx2() { return __builtin_cpu_supports("avx2"); }

void ScaleRun16Avx2(unsigned char* pBytes, std::size_t pSamples, double pEven, double pOdd) {
    const __m256d factors = _mm256_set_pd(pOdd, pEven, pOdd, pEven);
    const __m256 low = _mm256_set1_ps(kLow16);
    const __m256 high = _mm256_set1_ps(kHigh16);
    std::size_t i = 0;
    for (; i + kStep <= pSamples; i += kStep) {
        unsigned char* p = pBytes + 2 * i;
        const __m256i x = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        const __m256i y = ScaleEight(x, factors, low, high);
        // Every value lies within +-32767, so the saturating pack is exact.
        const __m128i packed = _mm_packs_epi32(_mm256_castsi256_si128(y), _mm256_extracti128_si256(y, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), packed);
    }
    for (; i < pSamples; ++i) {
        unsigned char* p = pBytes + Pcm16::kBytes * i;
        Pcm16::EncodeOne(p, ScaleSample(Pcm16::DecodeOne(p), i % 2 == 0 ? pEven : pOdd, kLow16, kHigh16));
    }
}

void ScaleRun24Avx2(unsigned char* pBytes, std::size_t pSamples, double pEven, double pOdd) {
    const __m256d factors = _mm256_set_pd(pOdd, pEven, pOdd, pEven);
    const __m256 low = _mm256_set1_ps(kLow24);
    const __m256 high = _mm256_set1_ps(kHigh24);
    // Four 3-byte samples of a 16-byte load into the top three bytes of four
    // 32-bit lanes (an arithmetic shift then sign-extends them), and back.
    const __m256i unpack = _mm256_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11,  //
                                            -1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                          0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const std::size_t bytes = 3 * pSamples;
    std::size_t i = 0;
    // The second load of a step reads 4 bytes past the step's 24.
    for (; 3 * (i + kStep) + 4 <= bytes; i += kStep) {
        unsigned char* p = pBytes + 3 * i;
        const __m256i raw = _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)),
                                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        const __m256i x = _mm256_srai_epi32(_mm256_shuffle_epi8(raw, unpack), 8);
        const __m256i y = _mm256_shuffle_epi8(ScaleEight(x, factors, low, high), pack);
        // The first store's four spare bytes land where the second store
        // writes; the second store must not spill into the next step's samples.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(y));
        const __m128i upper = _mm256_extracti128_si256(y, 1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 12), upper);
        const auto last = static_cast<std::uint32_t>(_mm_extract_epi32(upper, 2));
        std::memcpy(p + 20, &last, sizeof last);
    }
    for (; i < pSamples; ++i) {
        unsigned char* p = pBytes + Pcm24::kBytes * i;
        Pcm24::EncodeOne(p, ScaleSample(Pcm24::DecodeOne(p), i % 2 == 0 ? pEven : pOdd, kLow24, kHigh24));
    }
}

}  // namespace sonivate::writer_detail
