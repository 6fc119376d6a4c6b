#include "loudness/true_peak_limiter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>

#include "loudness/bs1770.h"
#include "wavefile/pcm_codec.h"

namespace sonivate {
namespace {

constexpr std::int32_t kMaxChannels = 8;
constexpr std::int32_t kLowestRate = 1000;
// Below this magnitude (about -300 dBTP) a step counts as silent.
constexpr float kSilentPeak = 1e-15f;

double ToDB(double pLinear) { return 20.0 * std::log10(pLinear); }

// The largest value of pIn within +-pHalf of each index (a monotonic queue).
std::vector<double> RunningMax(const std::vector<double>& pIn, std::int64_t pHalf) {
    const auto n = static_cast<std::int64_t>(pIn.size());
    std::vector<double> out(pIn.size(), 0.0);
    std::deque<std::int64_t> queue;  // indices of decreasing values
    std::int64_t next = 0;
    for (std::int64_t i = 0; i < n; ++i) {
        for (; next < n && next <= i + pHalf; ++next) {
            while (!queue.empty() && pIn[static_cast<size_t>(queue.back())] <= pIn[static_cast<size_t>(next)])
                queue.pop_back();
            queue.push_back(next);
        }
        while (queue.front() < i - pHalf) queue.pop_front();
        out[static_cast<size_t>(i)] = pIn[static_cast<size_t>(queue.front())];
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
    for (std::int64_t i = 0; i < pCount; ++i) {
        const std::int64_t frame = pFirst + i;
        const auto k = static_cast<size_t>(frame / kLimiterStepFrames);
        const double a = mPoints[k];
        const double b = mPoints[k + 1];
        pOut[i] = a + (b - a) * (static_cast<double>(frame % kLimiterStepFrames) / kStep);
    }
}

double GainEnvelope::FactorAt(std::int64_t pFrame) const {
    double factor = 1.0;
    if (pFrame >= 0 && pFrame < mFrames) Factors(pFrame, 1, &factor);
    return factor;
}

TruePeakLimiter::TruePeakLimiter(std::int32_t pChannels, std::int32_t pBitsPerSample, std::int32_t pSampleRate) {
    if (pChannels < 1 || pChannels > kMaxChannels || (pBitsPerSample != 16 && pBitsPerSample != 24) ||
        pSampleRate < kLowestRate)
        return;
    mStatus = LimiterStatus::Ok;
    mChannels = pChannels;
    mBytesPerSample = pBitsPerSample / 8;
    mSampleRate = pSampleRate;
    mScale = static_cast<float>(1.0 / (pBitsPerSample == 16 ? bs1770::kFullScale16 : bs1770::kFullScale24));
    mKernels = &qc_detail::SelectedKernels();
    mInput.assign(static_cast<size_t>(pChannels),
                  std::vector<float>(static_cast<size_t>(qc_detail::kTruePeakHistory + kLimiterStepFrames), 0.0f));
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

void TruePeakLimiter::AddFrames(const std::uint8_t* pRaw, std::int64_t pFrames) {
    const std::int32_t history = qc_detail::kTruePeakHistory;
    const auto frameBytes = static_cast<std::int64_t>(mChannels * mBytesPerSample);
    for (std::int64_t f = 0; f < pFrames;) {
        const std::int64_t take = std::min<std::int64_t>(kLimiterStepFrames - mFill, pFrames - f);
        for (std::int32_t c = 0; c < mChannels; ++c) {
            float* into = mInput[static_cast<size_t>(c)].data() + history + mFill;
            const std::uint8_t* from = pRaw + f * frameBytes + c * mBytesPerSample;
            for (std::int64_t i = 0; i < take; ++i, from += frameBytes) {
                const std::int32_t sample = mBytesPerSample == 2 ? Pcm16::DecodeOne(from) : Pcm24::DecodeOne(from);
                into[i] = static_cast<float>(sample) * mScale;
            }
        }
        mFill += static_cast<std::int32_t>(take);
        mFrames += take;
        f += take;
        if (mFill == kLimiterStepFrames) EndStep();
    }
}

void TruePeakLimiter::EndStep() {
    const std::int32_t history = qc_detail::kTruePeakHistory;
    float peak = 0.0f;
    for (std::vector<float>& input : mInput) {
        const float* samples = input.data() + history;
        peak = std::max(peak, mKernels->AbsMax(samples, mFill));
        if (peak < mKernels->AbsMax(samples - history, history + mFill) * qc_detail::kTruePeakGainBound)
            peak = std::max(peak, mKernels->TruePeakMax(samples, mFill));
        std::copy(input.begin() + mFill, input.begin() + mFill + history, input.begin());
    }
    mPeaks.push_back(peak);
    mFill = 0;
}

double TruePeakLimiter::TruePeakDB() const {
    float peak = 0.0f;
    for (const float p : mPeaks) peak = std::max(p, peak);
    const std::int32_t history = qc_detail::kTruePeakHistory;
    if (mFill > 0) {
        for (const std::vector<float>& input : mInput) {
            peak = std::max(peak, mKernels->AbsMax(input.data() + history, mFill));
            peak = std::max(peak, mKernels->TruePeakMax(input.data() + history, mFill));
        }
    }
    return peak > 0.0f ? ToDB(peak) : -std::numeric_limits<double>::infinity();
}

double TruePeakLimiter::NeededReductionDB(double pGainDB, double pCeilingDBTP) const {
    return std::max(0.0, pGainDB + TruePeakDB() - pCeilingDBTP);
}

LimiterStatus TruePeakLimiter::Envelope(double pGainDB, double pCeilingDBTP, double pMaxReductionDB,
                                        GainEnvelope& pOut) const {
    pOut = GainEnvelope();
    if (mStatus != LimiterStatus::Ok) return mStatus;
    if (!std::isfinite(pGainDB) || !std::isfinite(pCeilingDBTP) || !(pMaxReductionDB >= 0.0))
        return LimiterStatus::Unsupported;
    if (NeededReductionDB(pGainDB, pCeilingDBTP) > pMaxReductionDB) return LimiterStatus::LimitExceeded;

    // Every step's peak, the partial last one included.
    std::vector<float> peaks = mPeaks;
    if (mFill > 0) {
        const std::int32_t history = qc_detail::kTruePeakHistory;
        float peak = 0.0f;
        for (const std::vector<float>& input : mInput) {
            peak = std::max(peak, mKernels->AbsMax(input.data() + history, mFill));
            peak = std::max(peak, mKernels->TruePeakMax(input.data() + history, mFill));
        }
        peaks.push_back(peak);
    }
    const auto steps = static_cast<std::int64_t>(peaks.size());
    std::vector<double> required(peaks.size(), 0.0);
    bool any = false;
    for (size_t j = 0; j < peaks.size(); ++j) {
        if (peaks[j] < kSilentPeak) continue;
        const double over = pGainDB + ToDB(peaks[j]) - pCeilingDBTP;
        if (over > 0.0) {
            required[j] = over;
            any = true;
        }
    }
    pOut = GainEnvelope(mFrames);
    if (!any) return LimiterStatus::Ok;

    const double stepSeconds = static_cast<double>(kLimiterStepFrames) / mSampleRate;
    const auto hold = static_cast<std::int64_t>(std::ceil(kLimiterHoldSeconds / stepSeconds));
    // The two averages together reach 2 * smooth steps; the points reach one
    // step further; the hold must cover both.
    const std::int64_t smooth =
        std::min(static_cast<std::int64_t>(kLimiterSmoothSeconds / stepSeconds), (hold - 1) / 2);
    std::vector<double> curve = RunningMax(required, hold);

    const double releaseStep = kLimiterReleaseDBPerSecond * stepSeconds;
    const double attackStep = kLimiterAttackDBPerSecond * stepSeconds;
    for (std::int64_t j = 1; j < steps; ++j)
        curve[static_cast<size_t>(j)] =
            std::max(curve[static_cast<size_t>(j)], curve[static_cast<size_t>(j - 1)] - releaseStep);
    for (std::int64_t j = steps - 2; j >= 0; --j)
        curve[static_cast<size_t>(j)] =
            std::max(curve[static_cast<size_t>(j)], curve[static_cast<size_t>(j + 1)] - attackStep);
    if (smooth > 0) curve = MovingAverage(MovingAverage(curve, smooth), smooth);

    // Point q (frame q * step) is used by the frames of steps q - 1 and q,
    // which feed the interpolated outputs of steps q - 1 .. q + 1.
    for (std::int64_t q = 0; q <= steps; ++q) {
        double reduction = curve[static_cast<size_t>(std::min(q, steps - 1))];
        for (std::int64_t j = std::max<std::int64_t>(q - 1, 0); j <= std::min(q + 1, steps - 1); ++j)
            reduction = std::max(reduction, required[static_cast<size_t>(j)]);
        if (reduction <= 0.0) continue;
        const double factor = std::pow(10.0, -reduction / 20.0);
        float point = static_cast<float>(factor);
        if (static_cast<double>(point) > factor) point = std::nextafter(point, 0.0f);
        pOut.mPoints[static_cast<size_t>(q)] = point;
        pOut.mReduces = true;
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
            const double f = factors[i];
            frames01 += f < above01 ? 1 : 0;
            frames1 += f < above1 ? 1 : 0;
            lowest = std::min(lowest, f);
            double& block = lowestOfBlock[static_cast<size_t>((first + i) / blockFrames)];
            block = std::min(block, f);
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
