#include "reference_meter.h"

#include <cmath>

#include "common/numeric.h"

namespace sonivate::test {
namespace {

constexpr std::int64_t kRate = 48000;
constexpr std::int64_t kHop = 4800;
constexpr std::int64_t kBlock = 4 * kHop;
constexpr std::int64_t kRead = 16 * kRate;

// One biquad over a whole signal, one sample at a time, rounding each output.
std::vector<double> Biquad(const std::vector<double>& pX, double pB0, double pB1, double pB2, double pA1, double pA2) {
    std::vector<double> out(pX.size());
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (size_t n = 0; n < pX.size(); ++n) {
        double y = (-pA2) * y2;
        y = y + (-pA1) * y1;
        y = y + pB2 * x2;
        y = y + pB1 * x1;
        y = y + pB0 * pX[n];
        y2 = y1;
        y1 = y;
        x2 = x1;
        x1 = pX[n];
        if (std::fabs(y) > 2147483647.0) y = y > 0 ? 2147483647.0 : -2147483647.0;
        out[n] = std::nearbyint(y);
    }
    return out;
}

std::vector<double> Weights(std::int32_t pChannels) {
    if (pChannels == 6) return {1, 1, 1, 0, 1.41, 1.41};
    if (pChannels == 8) return {1, 1, 1, 0, 1, 1, 1.41, 1.41};
    return {1, 1};
}

double Loudness(double pPowerSum, double pCount, double pAdd, std::int32_t pBlockLen, std::int32_t pFullScale) {
    return pAdd + LinearToDB(std::sqrt(pPowerSum / (pCount * pBlockLen)) / pFullScale) - 0.691;
}

}  // namespace

ReferenceResult ReferenceMeasure(const Samples& pInterleaved, std::int32_t pChannels, std::int32_t pBits,
                                 std::int64_t pStart, std::int64_t pEnd) {
    ReferenceResult r;
    const double fullScale = pBits == 16 ? 32767 : 8388607;
    const std::int64_t frames = static_cast<std::int64_t>(pInterleaved.size()) / pChannels;
    const std::int64_t end = pEnd > 0 ? pEnd : frames;
    const std::int64_t length = end - pStart;
    if (length < kBlock) return r;
    const std::int64_t slots = 4 * (length / kBlock);

    // The meter reads 16-second pieces and never a last piece under one hop;
    // only the peak can tell.
    std::int64_t last = length;
    while (last > kRead) last -= kRead;
    const std::int64_t framesRead = last < kHop ? length - last : length;

    std::int64_t peak = 0;
    for (std::int64_t n = pStart; n < pStart + framesRead; ++n)
        for (std::int32_t c = 0; c < pChannels; ++c)
            peak = std::max<std::int64_t>(peak, std::abs(pInterleaved[static_cast<size_t>(n * pChannels + c)]));
    r.peakValue = LinearToDB(static_cast<double>(peak) / fullScale);

    // Mono is measured as the same signal twice.
    const std::vector<double> weights = Weights(pChannels);
    std::vector<std::vector<double>> weighted;
    for (size_t c = 0; c < weights.size(); ++c) {
        const size_t source = pChannels == 1 ? 0 : c;
        std::vector<double> x(static_cast<size_t>(length));
        for (std::int64_t n = 0; n < length; ++n)
            x[static_cast<size_t>(n)] = pInterleaved[static_cast<size_t>((pStart + n) * pChannels) + source];
        const std::vector<double> pre =
            Biquad(x, 1.53512485958697, -2.69169618940638, 1.19839281085285, -1.69065929318241, 0.73248077421585);
        weighted.push_back(Biquad(pre, 1.0, -2.0, 1.0, -1.99004745483398, 0.99007225036621));
    }

    for (std::int64_t j = 0; j * kHop + kBlock <= length && j < slots; ++j) {
        double power = 0.0;
        for (size_t c = 0; c < weights.size(); ++c) {
            double sum = 0.0;
            for (std::int64_t n = j * kHop; n < j * kHop + kBlock; ++n) {
                const double v = weighted[c][static_cast<size_t>(n)];
                sum = sum + v * v;
            }
            if (weights[c] != 0) power = power + weights[c] * sum;
        }
        r.power.push_back(power);
        r.loudness.push_back(LinearToDB(std::sqrt(power / kBlock) / fullScale) - 0.691);
    }
    r.numBlock = static_cast<std::int32_t>(r.power.size());
    r.lkfsValue = ReferenceGated(r, 0.0, kBlock, static_cast<std::int32_t>(fullScale));
    r.ok = true;
    return r;
}

double ReferenceGated(const ReferenceResult& pBlocks, double pAdd, std::int32_t pBlockLen, std::int32_t pFullScale) {
    if (pBlocks.numBlock < 1) return 0;
    double sum = 0;
    double count = 0;
    for (std::int32_t i = 0; i < pBlocks.numBlock; ++i)
        if (pAdd + pBlocks.loudness[static_cast<size_t>(i)] > -70) {
            sum = sum + pBlocks.power[static_cast<size_t>(i)];
            ++count;
        }
    if (count == 0) return -70;
    double gamma = Loudness(sum, count, pAdd, pBlockLen, pFullScale) - 10;
    if (gamma < -70) gamma = -70;
    sum = 0;
    count = 0;
    for (std::int32_t i = 0; i < pBlocks.numBlock; ++i)
        if (pAdd + pBlocks.loudness[static_cast<size_t>(i)] > gamma) {
            sum = sum + pBlocks.power[static_cast<size_t>(i)];
            ++count;
        }
    if (count == 0) return -70;
    const double result = Loudness(sum, count, pAdd, pBlockLen, pFullScale);
    return result < -70 ? -70 : result;
}

double ReferenceGain(const ReferenceResult& pBlocks, double pTarget, std::int32_t pBlockLen, std::int32_t pFullScale) {
    if (pBlocks.numBlock < 1) return 0;
    double gain = pTarget - pBlocks.lkfsValue;
    double step = 1.0;
    for (int count = 0; count <= 100;) {
        const double l = ReferenceGated(pBlocks, gain, pBlockLen, pFullScale);
        if (std::fabs(l - pTarget) <= 0.001) return gain;
        gain = l < pTarget ? gain + step : gain - step;
        step = step / 1.2;
        ++count;
    }
    return gain;
}

}  // namespace sonivate::test
