// The writer's AVX2 kernels against the one PCM codec and the scalar sample
// rule: decode with the codec, scale with ScaleSample, encode with the codec.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "wavefile/pcm_codec.h"
#include "writer/sample_scaling.h"

namespace sonivate {
namespace {

using Bytes = std::vector<unsigned char>;

template <class Codec>
Bytes ScalarReference(Bytes pBytes, std::size_t pSamples, double pEven, double pOdd, float pLow, float pHigh) {
    for (std::size_t i = 0; i < pSamples; ++i) {
        unsigned char* p = pBytes.data() + Codec::kBytes * i;
        Codec::EncodeOne(p, writer_detail::ScaleSample(Codec::DecodeOne(p), i % 2 == 0 ? pEven : pOdd, pLow, pHigh));
    }
    return pBytes;
}

Bytes RandomBytes(std::size_t pCount, std::uint32_t pSeed) {
    std::mt19937 random(pSeed);
    Bytes bytes(pCount);
    for (auto& b : bytes) b = static_cast<unsigned char>(random());
    return bytes;
}

// Odd and even run lengths around the kernels' step of eight samples, with
// gains that saturate, attenuate and land on halves; a guard tail behind
// the run must stay untouched.
TEST(SampleKernels, Avx2KernelsMatchTheCodecAndTheScalarRule) {
    if (!writer_detail::CpuHasAvx2()) GTEST_SKIP() << "this processor has no AVX2";
    const double factors[][2] = {
        {std::pow(10.0, 4.5 / 20), std::pow(10.0, -7.25 / 20)}, {0.5, 0.5}, {std::pow(10.0, 12.0 / 20), 1.0}};
    constexpr std::size_t kGuardBytes = 16;
    for (const std::size_t samples : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{8}, std::size_t{9},
                                      std::size_t{17}, std::size_t{4099}}) {
        for (const auto& f : factors) {
            const Bytes in16 = RandomBytes(samples * 2 + kGuardBytes, static_cast<std::uint32_t>(samples));
            Bytes out16 = in16;
            writer_detail::ScaleRun16Avx2(out16.data(), samples, f[0], f[1]);
            EXPECT_EQ(out16,
                      ScalarReference<Pcm16>(in16, samples, f[0], f[1], writer_detail::kLow16, writer_detail::kHigh16))
                << "16 bit, " << samples << " samples";

            const Bytes in24 = RandomBytes(samples * 3 + kGuardBytes, static_cast<std::uint32_t>(samples) + 1);
            Bytes out24 = in24;
            writer_detail::ScaleRun24Avx2(out24.data(), samples, f[0], f[1]);
            EXPECT_EQ(out24,
                      ScalarReference<Pcm24>(in24, samples, f[0], f[1], writer_detail::kLow24, writer_detail::kHigh24))
                << "24 bit, " << samples << " samples";
        }
    }
}

}  // namespace
}  // namespace sonivate
