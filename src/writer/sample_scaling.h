#pragma once
// The per-sample gain rule shared by the portable path and the AVX2 path:
// x * factor held as a 32-bit float, clamped to the sample width's rails,
// rounded to the nearest integer with halves to even.
//
// Clamping before rounding gives what the rule states ("compare, then
// round or take the rail"): a value at or past a rail becomes that rail,
// and a value inside rounds to at most the rail. For 24 bits the rule's
// +-16777215 followed by the saturation to -8388608 .. 8388607 collapses to
// the same two rails.
//
// Both translation units that include this are built with strict IEEE
// arithmetic (no -ffast-math, no contraction), and the functions here have
// internal linkage, so an AVX2 build of them can never stand in for the
// portable one.

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace sonivate::writer_detail {
namespace {

constexpr float kLow16 = -32767.0f;
constexpr float kHigh16 = 32767.0f;
constexpr float kLow24 = -8388608.0f;
constexpr float kHigh24 = 8388607.0f;

// Adding and then subtracting 1.5 * 2^52 rounds a double of magnitude below
// 2^51 to an integer, halves to even, in the default rounding mode.
constexpr double kRoundingBias = 6755399441055744.0;

inline std::int32_t ScaleSample(std::int32_t pSample, double pFactor, float pLow, float pHigh) {
    const float scaled = static_cast<float>(pSample * pFactor);
    const float bounded = std::min(std::max(scaled, pLow), pHigh);
    const double rounded = (static_cast<double>(bounded) + kRoundingBias) - kRoundingBias;
    return static_cast<std::int32_t>(rounded);
}

}  // namespace

// AVX2 versions of the whole run: pSamples interleaved samples of 16 or 24
// bits in place, those at even indices scaled by pEven and those at odd
// indices by pOdd. Built only on x86-64 (SONIVATE_WRITER_AVX2); call only
// when CpuHasAvx2().
void ScaleRun16Avx2(unsigned char* pBytes, std::size_t pSamples, double pEven, double pOdd);
void ScaleRun24Avx2(unsigned char* pBytes, std::size_t pSamples, double pEven, double pOdd);
bool CpuHasAvx2();

// Whether the writer uses the AVX2 path: by default when the processor has
// it. Tests switch it off to check the portable path against the same cases.
bool UsesAvx2();
void UseAvx2ForTesting(bool pUse);

}  // namespace sonivate::writer_detail
