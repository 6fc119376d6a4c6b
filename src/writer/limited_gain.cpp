#include "writer/limited_gain.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <span>

#include "common/error_trap.h"
#include "loudness/loudness_state.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {
namespace {

// Bytes read per piece (rounded down to whole frames).
constexpr std::int64_t kReadBytes = std::int64_t{1} << 20;
// What a pass lowers the internal ceiling by beyond the excess it measured,
// dB: enough that the writer's rounding cannot take the next pass over again.
constexpr double kCeilingMarginDB = 0.005;
// A reduction below this (dB) is left to the re-measurement: the detector and
// the meter may differ in the last bit of a float, and a copy that already
// meets the ceiling must come through a second limiting untouched.
constexpr double kNegligibleReductionDB = 0.001;
// The loudness correction aims this far inside the tolerance, so that the
// next pass's small changes in limiting do not take it out again.
constexpr double kLoudnessAimFraction = 0.5;
// Limiting makes the loudness follow the make-up gain less than one to one;
// the slope seen between two passes (LU per dB) is trusted within these bounds.
constexpr double kLeastLoudnessSlope = 0.1;
constexpr double kMostLoudnessSlope = 1.0;

}  // namespace

template <class Sink>
LimiterStatus LimitedGain::ReadRange(Sink&& pSink) {
    const std::int64_t frameBytes = mInfo.BlockAlign;
    const std::int64_t pieceFrames = std::max<std::int64_t>(kReadBytes / frameBytes, 1);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[static_cast<size_t>(pieceFrames * frameBytes)]);
    for (std::int64_t frame = mStart; frame < mEnd;) {
        if (StopRequested && StopRequested()) return LimiterStatus::Canceled;
        const std::int64_t frames = std::min(pieceFrames, mEnd - frame);
        const std::int64_t bytes = frames * frameBytes;
        if (ReadHandleAt(mSource, mInfo.DataOffset + frame * frameBytes, buffer.get(), bytes) != bytes)
            return LimiterStatus::ReadFailed;
        if (!pSink(buffer.get(), frames, frame - mStart)) return LimiterStatus::Unsupported;
        frame += frames;
    }
    return LimiterStatus::Ok;
}

LimiterStatus LimitedGain::Analyse(const WaveFormatInfo& pInfo, FileHandle pSource, std::int64_t pFrom,
                                   std::int64_t pTo, std::optional<double> pSourceLUFS) {
    mStatus = LimiterStatus::Unsupported;
    mLimiter.reset();
    mSourceLUFS.reset();
    mInfo = pInfo;
    mSource = pSource;
    if (pInfo.Valid == 0 || pInfo.Channels < 1 || pInfo.BlockAlign != pInfo.Channels * (pInfo.BitsPerSample / 8))
        return mStatus;
    return Trapped<LimiterStatus>(LimiterStatus::ReadFailed, [&] {
        const std::int64_t size = FileSizeOfHandle(pSource);
        if (size < 0) return LimiterStatus::ReadFailed;
        const std::int64_t present = FramesPresent(pInfo, size);
        mStart = std::max<std::int64_t>(pFrom, 0);
        mEnd = std::min<std::int64_t>(pTo > 0 ? pTo : std::max<std::int64_t>(pInfo.NumSamples, present), present);
        mEnd = std::max(mEnd, mStart);
        mLimiter.emplace(pInfo.Channels, pInfo.BitsPerSample, pInfo.SampleRate);
        if (mLimiter->Status() != LimiterStatus::Ok) return LimiterStatus::Unsupported;
        std::optional<LoudnessState> meter;
        if (!pSourceLUFS) {
            meter.emplace(pInfo.Channels, pInfo.BitsPerSample, pInfo.SampleRate, kModeIntegrated);
            if (meter->Status() != LoudnessStatus::Measured) return LimiterStatus::Unsupported;
        }
        const LimiterStatus read = ReadRange([&](const unsigned char* pBytes, std::int64_t pFrames, std::int64_t) {
            const std::span<const std::uint8_t> bytes(pBytes, static_cast<size_t>(pFrames * mInfo.BlockAlign));
            return mLimiter->Push(bytes) && (!meter || meter->Push(bytes));
        });
        if (read != LimiterStatus::Ok) return read;
        if (pSourceLUFS) {
            mSourceLUFS = pSourceLUFS;
        } else {
            const LoudnessFigure<double> integrated = meter->Integrated();
            if (integrated.Measured()) mSourceLUFS = integrated.Value;
        }
        return LimiterStatus::Ok;
    });
}

double LimitedGain::SourceTruePeakDBTP() const { return mLimiter ? mLimiter->TruePeakDB() : 0.0; }

LimitedGain::Measured LimitedGain::Render(double pGainDB, const GainEnvelope* pEnvelope, std::uint32_t pMode) {
    Measured result;
    LoudnessState meter(mInfo.Channels, mInfo.BitsPerSample, mInfo.SampleRate, pMode);
    if (meter.Status() != LoudnessStatus::Measured) {
        result.Status = LimiterStatus::Unsupported;
        return result;
    }
    const GainEnvelope unity;
    const GainEnvelope& envelope = pEnvelope != nullptr ? *pEnvelope : unity;
    const double factor = writer_detail::WriterFactor(pGainDB);
    result.Status = ReadRange([&](unsigned char* pBytes, std::int64_t pFrames, std::int64_t pRangeFrame) {
        if (!writer_detail::ScaleWithEnvelope(mInfo, pBytes, pFrames, factor, envelope, pRangeFrame)) return false;
        return meter.Push(std::span<const std::uint8_t>(pBytes, static_cast<size_t>(pFrames * mInfo.BlockAlign)));
    });
    if (result.Status != LimiterStatus::Ok) return result;
    const LoudnessFigure<double> integrated = meter.Integrated();
    result.IntegratedMeasured = integrated.Measured();
    result.Integrated = integrated.Value;
    const LoudnessFigure<double> truePeak = meter.TruePeak();
    result.TruePeak = truePeak.Measured() ? truePeak.Value : -HUGE_VAL;
    return result;
}

LimiterStatus LimitedGain::Plan(double pGainDB, const LimiterSettings& pSettings) {
    mStatus = LimiterStatus::Unsupported;
    mGainDB = mMakeUpDB = mIntegrated = mTruePeak = mTarget = mNeeded = 0.0;
    mIntegratedMeasured = false;
    mInternalCeiling = pSettings.CeilingDBTP - kCeilingMarginDB;
    mPasses = 0;
    mEnvelope = GainEnvelope();
    mReport = LimiterReport();
    if (!mLimiter || mLimiter->Status() != LimiterStatus::Ok || !std::isfinite(pGainDB) ||
        !std::isfinite(pSettings.CeilingDBTP) || !(pSettings.MaxReductionDB >= 0.0) || pSettings.MaxPasses < 1)
        return mStatus;
    return mStatus = Trapped<LimiterStatus>(LimiterStatus::ReadFailed, [&] {
               const std::optional<double> target =
                   !pSettings.KeepLoudness ? std::nullopt
                   : pSettings.TargetLUFS
                       ? pSettings.TargetLUFS
                       : (mSourceLUFS ? std::optional<double>(*mSourceLUFS + pGainDB) : std::nullopt);
               mTarget = target.value_or(0.0);
               const double aim = pSettings.LoudnessToleranceLU * kLoudnessAimFraction;
               std::optional<double> lastMakeUp;
               // Whether the envelope limits: from the first pass that needs more than a negligible
               // reduction or measures an excess.
               bool limiting = false;
               double lastError = 0.0;
               for (std::int32_t pass = 1; pass <= pSettings.MaxPasses; ++pass) {
                   mPasses = pass;
                   mGainDB = pGainDB + mMakeUpDB;
                   const double needed = mLimiter->NeededReductionDB(mGainDB, mInternalCeiling);
                   if (needed > pSettings.MaxReductionDB) {
                       mNeeded = needed;
                       mEnvelope = GainEnvelope();
                       return LimiterStatus::LimitExceeded;
                   }
                   limiting =
                       limiting || mLimiter->NeededReductionDB(mGainDB, pSettings.CeilingDBTP) > kNegligibleReductionDB;
                   if (limiting) {
                       const LimiterStatus built =
                           mLimiter->Envelope(mGainDB, mInternalCeiling, pSettings.MaxReductionDB, mEnvelope);
                       if (built != LimiterStatus::Ok) return built;
                   } else {
                       mEnvelope = GainEnvelope(mEnd - mStart);
                   }
                   const Measured measured = Render(mGainDB, &mEnvelope, kModeIntegrated | kModeTruePeak);
                   if (measured.Status != LimiterStatus::Ok) return measured.Status;
                   mIntegrated = measured.Integrated;
                   mIntegratedMeasured = measured.IntegratedMeasured;
                   mTruePeak = measured.TruePeak;
                   mReport = TruePeakLimiter::Report(mEnvelope, mInfo.SampleRate);
                   const double excess = mTruePeak - pSettings.CeilingDBTP;
                   const bool loudnessHolds = !target || !mIntegratedMeasured ||
                                              std::abs(mIntegrated - *target) <= pSettings.LoudnessToleranceLU;
                   if (excess <= 0.0 && loudnessHolds) return LimiterStatus::Ok;
                   if (excess > 0.0) {
                       mInternalCeiling -= limiting ? excess + kCeilingMarginDB : 0.0;
                       limiting = true;
                   }
                   const double error = target && mIntegratedMeasured ? mIntegrated - *target : 0.0;
                   if (std::abs(error) > aim) {
                       double slope = 1.0;
                       if (lastMakeUp && mMakeUpDB != *lastMakeUp)
                           slope = std::clamp((error - lastError) / (mMakeUpDB - *lastMakeUp), kLeastLoudnessSlope,
                                              kMostLoudnessSlope);
                       lastMakeUp = mMakeUpDB;
                       lastError = error;
                       mMakeUpDB -= error / slope;
                   }
               }
               return LimiterStatus::NotConverged;
           });
}

LimiterStatus LimitedGain::Lower(double pGainDB, double pCeilingDBTP, double& pLowerGainDB) {
    pLowerGainDB = 0.0;
    if (!mLimiter || mLimiter->Status() != LimiterStatus::Ok || !std::isfinite(pGainDB) || !std::isfinite(pCeilingDBTP))
        return LimiterStatus::Unsupported;
    constexpr std::int32_t kLowerPasses = 4;
    return Trapped<LimiterStatus>(LimiterStatus::ReadFailed, [&] {
        double gain = std::min(pGainDB, pCeilingDBTP - mLimiter->TruePeakDB());
        for (std::int32_t pass = 0; pass < kLowerPasses; ++pass) {
            const Measured measured = Render(gain, nullptr, kModeTruePeak);
            if (measured.Status != LimiterStatus::Ok) return measured.Status;
            const double excess = measured.TruePeak - pCeilingDBTP;
            if (excess <= 0.0) {
                pLowerGainDB = gain;
                return LimiterStatus::Ok;
            }
            gain -= excess + kCeilingMarginDB;
        }
        return LimiterStatus::NotConverged;
    });
}

}  // namespace sonivate
