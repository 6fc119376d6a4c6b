#include "loudness/downmix_peak.h"

#include <algorithm>

#include "common/numeric.h"
#include "loudness/bs1770.h"
#include "wavefile/pcm_codec.h"

namespace sonivate {
namespace {

// Frames folded at a time: small enough for the first-level caches.
constexpr std::int32_t kChunkFrames = 2048;

// pSpeaker's share of the left (pLeft true) or right downmix channel.
double FoldGain(Speaker pSpeaker, bool pLeft) {
    switch (pSpeaker) {
        case Speaker::Left:
            return pLeft ? 1.0 : 0.0;
        case Speaker::Right:
            return pLeft ? 0.0 : 1.0;
        case Speaker::Centre:
            return DownmixPeak::kFoldGain;
        case Speaker::LeftSurround:
        case Speaker::LeftBack:
            return pLeft ? DownmixPeak::kFoldGain : 0.0;
        case Speaker::RightSurround:
        case Speaker::RightBack:
            return pLeft ? 0.0 : DownmixPeak::kFoldGain;
        case Speaker::Lfe:
            break;
    }
    return 0.0;
}

template <int BytesPerSample>
void Fold(const std::uint8_t* pRaw, std::int32_t pFrames, std::int32_t pChannels, double pScale,
          const std::vector<double>& pLeftGains, const std::vector<double>& pRightGains, float* pLo, float* pRo) {
    const std::int32_t frameBytes = BytesPerSample * pChannels;
    for (std::int32_t n = 0; n < pFrames; ++n) {
        const std::uint8_t* frame = pRaw + static_cast<std::ptrdiff_t>(n) * frameBytes;
        double lo = 0.0;
        double ro = 0.0;
        for (std::int32_t c = 0; c < pChannels; ++c) {
            const double v = PcmSample<BytesPerSample>(frame + c * BytesPerSample) * pScale;
            lo += pLeftGains[static_cast<size_t>(c)] * v;
            ro += pRightGains[static_cast<size_t>(c)] * v;
        }
        pLo[n] = static_cast<float>(lo);
        pRo[n] = static_cast<float>(ro);
    }
}

}  // namespace

bool DownmixPeak::Applies(ChannelLayout pLayout) {
    return pLayout == ChannelLayout::Surround51 || pLayout == ChannelLayout::Surround71;
}

bool DownmixPeak::Begin(ChannelLayout pLayout, std::int32_t pBitsPerSample) {
    mBegun = false;
    mFrames = 0;
    mPeak = mSamplePeak = 0.0f;
    if (!Applies(pLayout) || (pBitsPerSample != 16 && pBitsPerSample != 24)) return false;
    const std::vector<Speaker> speakers = SpeakersOf(pLayout);
    mChannels = static_cast<std::int32_t>(speakers.size());
    mBytesPerSample = pBitsPerSample / 8;
    mScale = 1.0 / (pBitsPerSample == 16 ? bs1770::kFullScale16 : bs1770::kFullScale24);
    mLeftGains.clear();
    mRightGains.clear();
    for (const Speaker speaker : speakers) {
        mLeftGains.push_back(FoldGain(speaker, true));
        mRightGains.push_back(FoldGain(speaker, false));
    }
    mLo.assign(static_cast<size_t>(qc_detail::kTruePeakHistory + kChunkFrames), 0.0f);
    mRo = mLo;
    mKernels = &qc_detail::SelectedKernels();
    mBegun = true;
    return true;
}

void DownmixPeak::Add(std::span<const std::uint8_t> pBytes, std::int64_t pFrames) {
    if (!mBegun) return;
    const std::int64_t frameBytes = static_cast<std::int64_t>(mBytesPerSample) * mChannels;
    pFrames = std::min<std::int64_t>(pFrames, static_cast<std::int64_t>(pBytes.size()) / frameBytes);
    for (std::int64_t done = 0; done < pFrames;) {
        const auto count = static_cast<std::int32_t>(std::min<std::int64_t>(kChunkFrames, pFrames - done));
        Process(pBytes.data() + done * frameBytes, count);
        done += count;
    }
}

void DownmixPeak::Process(const std::uint8_t* pRaw, std::int32_t pFrames) {
    const std::int32_t history = qc_detail::kTruePeakHistory;
    float* lo = mLo.data() + history;
    float* ro = mRo.data() + history;
    if (mBytesPerSample == 2)
        Fold<2>(pRaw, pFrames, mChannels, mScale, mLeftGains, mRightGains, lo, ro);
    else
        Fold<3>(pRaw, pFrames, mChannels, mScale, mLeftGains, mRightGains, lo, ro);
    for (std::vector<float>* run : {&mLo, &mRo}) {
        qc_detail::ScanTruePeak(*mKernels, run->data() + history, pFrames, mPeak, mSamplePeak);
        std::copy(run->begin() + pFrames, run->begin() + pFrames + history, run->begin());
    }
    mFrames += pFrames;
}

std::optional<double> DownmixPeak::TruePeak() const {
    if (!mBegun || mFrames < 1) return std::nullopt;
    return LinearToDB(static_cast<double>(std::max(mPeak, mSamplePeak)));
}

}  // namespace sonivate
