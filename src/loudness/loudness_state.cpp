#include "loudness/loudness_state.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "common/numeric.h"
#include "loudness/bs1770.h"
#include "wavefile/pcm_codec.h"
#include "wavefile/wave_format.h"

namespace sonivate {
namespace {

bool LayoutTaken(ChannelLayout pLayout, std::int32_t pBitsPerSample, std::int32_t pSampleRate) {
    return (pBitsPerSample == 16 || pBitsPerSample == 24) && !bs1770::LayoutWeights(pLayout).empty() &&
           C_LKFSFCT::HopLength(pSampleRate) >= 1;
}

}  // namespace

LoudnessState::LoudnessState(std::int32_t pChannels, std::int32_t pBitsPerSample, std::int32_t pSampleRate,
                             std::uint32_t pMode)
    : LoudnessState(DefaultChannelLayout(pChannels), pBitsPerSample, pSampleRate, pMode) {}

LoudnessState::LoudnessState(ChannelLayout pLayout, std::int32_t pBitsPerSample, std::int32_t pSampleRate,
                             std::uint32_t pMode)
    : mMode(pMode & kModeAll),
      mChannels(ChannelCountOf(pLayout)),
      mBytesPerSample(pBitsPerSample / 8),
      mMeasures(pMode & kBroadcastModes) {
    if (!LayoutTaken(pLayout, pBitsPerSample, pSampleRate)) return;
    mFullScale = pBitsPerSample == 16 ? bs1770::kFullScale16 : bs1770::kFullScale24;
    mStream.Reset(mChannels * mBytesPerSample);
    bool taken = true;
    if ((mMode & kModeIntegrated) != 0) {
        WaveFormatInfo layout;
        layout.Channels = static_cast<std::int16_t>(mChannels);
        layout.BitsPerSample = static_cast<std::int16_t>(pBitsPerSample);
        layout.SampleRate = pSampleRate;
        layout.BlockAlign = mChannels * mBytesPerSample;
        taken = mMeter.Begin(layout, 0, pLayout);
    }
    if ((mMode & kBroadcastModes) != 0) taken = taken && mMeasures.Begin(pLayout, pBitsPerSample, pSampleRate);
    mSupported = taken;
}

bool LoudnessState::Push(std::span<const std::uint8_t> pBytes) {
    if (!mSupported || mFinished) return false;
    mStream.Feed(pBytes, [this](const std::uint8_t* pRaw, std::int64_t pFrames) { AddFrames(pRaw, pFrames); });
    return true;
}

void LoudnessState::AddFrames(const std::uint8_t* pRaw, std::int64_t pFrames) {
    const std::int64_t samples = pFrames * mChannels;
    // Whole frames only: the meter's own frame stream never holds a byte back.
    const std::span<const std::uint8_t> bytes(pRaw, static_cast<size_t>(samples * mBytesPerSample));
    if ((mMode & kModeIntegrated) != 0)
        mMeter.Push(bytes);
    else if ((mMode & kModeSamplePeak) != 0 && mBytesPerSample == 2)
        ScanSamplePeak<2>(pRaw, samples);
    else if ((mMode & kModeSamplePeak) != 0)
        ScanSamplePeak<3>(pRaw, samples);
    if ((mMode & kBroadcastModes) != 0) mMeasures.Add(bytes, pFrames);
    mFrames += pFrames;
}

template <int BytesPerSample>
void LoudnessState::ScanSamplePeak(const std::uint8_t* pRaw, std::int64_t pSamples) {
    std::int32_t peak = mPeakSample;
    for (std::int64_t i = 0; i < pSamples; ++i)
        peak = std::max(peak, std::abs(PcmSample<BytesPerSample>(pRaw + i * BytesPerSample)));
    mPeakSample = peak;
}

bool LoudnessState::Finish() {
    if (!mSupported) return false;
    const bool already = mFinished;
    mFinished = true;
    if ((mMode & kModeIntegrated) == 0) return true;
    return already ? mMeter.NumBlock() > 0 : mMeter.Finish() == 1;
}

namespace {

LoudnessStatus StatusOf(bool pSupported, std::uint32_t pMode, std::uint32_t pWanted, bool pReady) {
    if (!pSupported) return LoudnessStatus::Unsupported;
    if ((pMode & pWanted) == 0) return LoudnessStatus::NotKept;
    return pReady ? LoudnessStatus::Measured : LoudnessStatus::TooShort;
}

LoudnessFigure<double> FigureOf(LoudnessStatus pStatus, const std::optional<double>& pValue) {
    LoudnessFigure<double> figure{pStatus};
    if (figure.Measured()) figure.Value = *pValue;
    return figure;
}

}  // namespace

LoudnessFigure<double> LoudnessState::Integrated() const {
    LoudnessFigure<double> figure{StatusOf(mSupported, mMode, kModeIntegrated, mMeter.NumBlock() > 0)};
    if (figure.Measured()) figure.Value = mMeter.CalcLKFS(0.0);
    return figure;
}

LoudnessFigure<double> LoudnessState::SamplePeak() const {
    LoudnessFigure<double> figure{StatusOf(mSupported, mMode, kModeSamplePeak, mFrames > 0)};
    if (!figure.Measured()) return figure;
    const std::int32_t peak = (mMode & kModeIntegrated) != 0 ? mMeter.c_PeakSample : mPeakSample;
    figure.Value = LinearToDB(static_cast<double>(peak) / mFullScale);
    return figure;
}

LoudnessFigure<double> LoudnessState::TruePeak() const {
    const std::optional<double> value = mMeasures.TruePeak();
    return FigureOf(StatusOf(mSupported, mMode, kModeTruePeak, value.has_value()), value);
}

LoudnessFigure<double> LoudnessState::MaxMomentary() const {
    const std::optional<double> value = mMeasures.MaxMomentary();
    return FigureOf(StatusOf(mSupported, mMode, kModeMomentary, value.has_value()), value);
}

LoudnessFigure<double> LoudnessState::MaxShortTerm() const {
    const std::optional<double> value = mMeasures.MaxShortTerm();
    return FigureOf(StatusOf(mSupported, mMode, kModeShortTerm, value.has_value()), value);
}

LoudnessFigure<double> LoudnessState::LoudnessRange() const {
    const std::optional<double> value = mMeasures.LoudnessRange();
    return FigureOf(StatusOf(mSupported, mMode, kModeRange, value.has_value()), value);
}

LoudnessFigure<double> LoudnessState::DownmixTruePeak() const {
    const bool kept = DownmixPeak::Applies(mMeasures.Layout());
    const std::optional<double> value = mMeasures.DownmixTruePeak();
    LoudnessStatus status = StatusOf(mSupported, mMode, kModeTruePeak, value.has_value());
    if (status != LoudnessStatus::Unsupported && !kept) status = LoudnessStatus::NotKept;
    return FigureOf(status, value);
}

LoudnessFigure<LoudnessSeries> LoudnessState::Series() const {
    LoudnessFigure<LoudnessSeries> figure;
    if ((mMode & kModeSeries) != 0 && mSupported) figure.Value = mMeasures.Series();
    figure.Status = StatusOf(mSupported, mMode, kModeSeries, !figure.Value.Momentary.empty());
    return figure;
}

}  // namespace sonivate
