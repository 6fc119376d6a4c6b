#pragma once
// A gain that would push a range's true peak over the ceiling, made
// deliverable by the true-peak limiter (loudness/true_peak_limiter.h), and
// verified: the limited copy is rendered with the writer's own sample rule,
// measured again with the project's meter (integrated loudness, BS.1770;
// true peak, 4x oversampled), and corrected until both hold. The envelope
// aims kLimiterInterpolatorMarginDB (and a margin for the writer's
// rounding) under the ceiling, by the larger of the meter's and the
// limiter's finer interpolation, so that other meters read the copy within
// 0.05 dB of the ceiling too.
//
// One state object per range, as for a loudness measurement:
//
//   LimitedGain limited;
//   limited.Analyse(info, source, from, to, sourceLUFS);  // one read of the range
//   limited.PlanInto(gainDB, target, targetAt, settings); // usually one read and one write
//
// PlanInto writes the verified rendering itself as the copy's frames: the
// bytes measured are the bytes written. Plan renders and measures without
// writing, for a caller that writes later with the writer:
//   limited.Plan(gainDB, settings);
//   if (limited.Status() == LimiterStatus::Ok)
//       editor.EditWav(info, source, target, from, to, limited.GainDB(), limited.Envelope());
// Both give the same bytes, figures and envelope.
//
// Units: gains, reductions and tolerances dB / LU (reductions positive),
// loudness LUFS, peaks and ceilings dBTP, times in seconds, positions in
// frames of the data chunk. Failures are statuses; every value that goes
// with a status other than Ok reads 0 or empty unless stated.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "common/basic_file.h"
#include "loudness/true_peak_limiter.h"
#include "wavefile/wave_format.h"

namespace sonivate {

struct LimiterSettings {
    double CeilingDBTP = kLimiterDefaultCeilingDBTP;
    // The most reduction the limiter may apply; a request needing more is
    // LimitExceeded.
    double MaxReductionDB = kLimiterDefaultMaxReductionDB;
    // Whether a make-up gain brings the limited copy back to the target
    // loudness. Off: the copy keeps the requested gain and is as much quieter
    // as the limiting makes it (a steady tone over the ceiling, for which no
    // transparent limiting can keep the loudness).
    bool KeepLoudness = true;
    // The copy's loudness; none: the source's loudness plus the requested gain.
    std::optional<double> TargetLUFS;
    // How far the limited copy's integrated loudness may lie from the target.
    double LoudnessToleranceLU = 0.1;
    // Renderings and measurements of the copy at most.
    std::int32_t MaxPasses = 4;
    // Whether each measurement of the copy also takes the figures a copy's
    // report shows beside its loudness and true peak (LimitedGain::Measures),
    // so that the copy need not be measured again; the meter then takes
    // about half again its time.
    bool MeasureAll = false;
};

// The figures of the limited copy beyond its loudness and true peak, from
// the same final measurement (LimiterSettings::MeasureAll); none where the
// meter has none (too short) or they were not asked for.
struct LimitedCopyMeasures {
    std::optional<double> SamplePeakDBFS;
    std::optional<double> MaxMomentaryLUFS;
    std::optional<double> MaxShortTermLUFS;
    std::optional<double> LoudnessRangeLU;
};

class LimitedGain {
public:
    LimitedGain() = default;
    LimitedGain(const LimitedGain&) = delete;
    LimitedGain& operator=(const LimitedGain&) = delete;

    // Asked between pieces of every read; true stops the call with Canceled.
    std::function<bool()> StopRequested;
    // Told between pieces of every read how far Analyse, Plan or Lower has
    // come, 0 to 1 for each call (1 when Plan ends Ok); never decreasing
    // within a call.
    std::function<void(float pDone)> Progress;

    // Reads the frames [pFrom, pTo) of pSource's data chunk (pInfo: its
    // format record; pFrom <= 0 is frame 0, pTo <= 0 or past the audio is the
    // end of the audio, as for C_EditWave) and gathers their peaks. Without
    // pSourceLUFS the range's integrated loudness is measured on the way.
    // pSource must stay open and unchanged until the last Plan or Lower.
    // With pSourceLUFS, pSourceBlockPowers may give the meter's blocks of the
    // same range (C_LKFSFCT::BlockPower, its first NumBlock values): Plan then
    // predicts the make-up gain through the gates; without them (and
    // without pSourceLUFS the blocks are measured here) the prediction takes
    // every block as passing the gates, and a second rendering may be needed.
    // Ok, Unsupported (layout), ReadFailed or Canceled.
    LimiterStatus Analyse(const WaveFormatInfo& pInfo, FileHandle pSource, std::int64_t pFrom, std::int64_t pTo,
                          std::optional<double> pSourceLUFS = std::nullopt,
                          std::span<const double> pSourceBlockPowers = {});

    // The limited copy at pGainDB: Ok with its gain, envelope and figures.
    // The make-up gain is predicted from the energy the envelope takes away,
    // so that one rendering and measurement of the copy usually suffices;
    // the figures are always that measurement's (integrated loudness of the
    // whole copy, true peak exact where it can reach the largest value).
    // LimitExceeded with NeededReductionDB when more than the maximum
    // reduction would be needed (no envelope); NotConverged when the last
    // pass still misses (its figures are kept for a look, the envelope is
    // not to be written); ReadFailed, Canceled, Unsupported.
    LimiterStatus Plan(double pGainDB, const LimiterSettings& pSettings = {});

    // Plan, each rendering also written to pTarget from byte pTargetAt on
    // (the range's frames, nothing else) while the meter measures it; a pass
    // that misses is written over by the next. Ok: the bytes there are the
    // verified copy, exactly what EditWav would write with GainDB() and
    // Envelope(). Any other status: they are no copy. WriteFailed when a
    // write fails.
    LimiterStatus PlanInto(double pGainDB, FileHandle pTarget, std::int64_t pTargetAt,
                           const LimiterSettings& pSettings = {});

    // The largest gain <= pGainDB at which the true peak of the plainly
    // gained copy is at most pCeilingDBTP, as the meter measures the
    // rendered copy; in pLowerGainDB. Ok, ReadFailed, Canceled, Unsupported,
    // NotConverged.
    LimiterStatus Lower(double pGainDB, double pCeilingDBTP, double& pLowerGainDB);

    // Of the last Plan.
    LimiterStatus Status() const { return mStatus; }
    // The constant gain to write with: the request plus the make-up gain.
    double GainDB() const { return mGainDB; }
    double MakeUpDB() const { return mMakeUpDB; }
    // The gain curve to write with (C_EditWave::EditWav with an envelope).
    const GainEnvelope& Envelope() const { return mEnvelope; }
    // Max reduction, seconds above 0.1 dB and 1 dB, reduction per 100 ms.
    const LimiterReport& Report() const { return mReport; }
    // The final measurement of the rendered copy.
    double IntegratedLUFS() const { return mIntegrated; }
    bool IntegratedMeasured() const { return mIntegratedMeasured; }
    double TruePeakDBTP() const { return mTruePeak; }
    const LimitedCopyMeasures& Measures() const { return mMeasures; }
    double TargetLUFS() const { return mTarget; }
    // The ceiling the envelope was built for (at or below the one asked).
    double InternalCeilingDBTP() const { return mInternalCeiling; }
    // LimitExceeded: the reduction the request would need.
    double NeededReductionDB() const { return mNeeded; }
    std::int32_t Passes() const { return mPasses; }

    // The analysed range (frames) and the source's loudness.
    std::int64_t Start() const { return mStart; }
    std::int64_t End() const { return mEnd; }
    std::optional<double> SourceLUFS() const { return mSourceLUFS; }
    double SourceTruePeakDBTP() const;

private:
    struct Measured {
        LimiterStatus Status = LimiterStatus::Ok;
        bool IntegratedMeasured = false;
        double Integrated = 0.0;
        double TruePeak = 0.0;
        LimitedCopyMeasures Others;
    };
    // Renders the range at pGainDB with pEnvelope and measures its true peak
    // and, with pLoudness, its integrated loudness. pMeanwhile, when given,
    // runs once the last piece is rendered, while the meter finishes.
    // With pAll, the figures of LimitedCopyMeasures as well.
    Measured Render(double pGainDB, const GainEnvelope& pEnvelope, bool pLoudness, float pProgressFrom,
                    float pProgressTo, const std::function<void()>& pMeanwhile = {}, bool pAll = false);
    // Takes the pieces of a read on a thread of its own (limited_gain.cpp).
    class MeterAhead;
    // Reads the range piece by piece into pSink(bytes, count, first frame of
    // the range), in pieces of whole steps; the pFront frames before the
    // bytes hold the end of the previous piece as the sink left it (zeros
    // before the first). With pAhead, each piece goes on to it as the sink
    // left it, and the read ends once it has taken every piece; pMeanwhile
    // runs before that wait. With pCopy, each piece as the sink left it is
    // also written there, at mCopyAt plus its place in the range.
    template <class Sink>
    LimiterStatus ReadRange(Sink&& pSink, float pProgressFrom, float pProgressTo, std::int64_t pFront,
                            MeterAhead* pAhead = nullptr, const std::function<void()>& pMeanwhile = {},
                            FileHandle pCopy = 0);
    // Analyse's reading of a long range with the loudness known: the two
    // halves on two threads, joined (TruePeakLimiter::Append).
    LimiterStatus AnalyseInHalves(std::optional<double> pSourceLUFS, std::span<const double> pSourceBlockPowers);
    // The analysis again, exact for pExactRangeDB of reduction.
    LimiterStatus Reanalyse(double pExactRangeDB);
    LimiterStatus PlanPasses(double pGainDB, const LimiterSettings& pSettings);
    // The fine peaks (TruePeakLimiter::Refine) of every step that may need
    // limiting at pGainDB under the internal ceiling, read from the source.
    LimiterStatus RefinePeaks(double pGainDB);
    LimiterStatus BuildEnvelope(const LimiterSettings& pSettings);
    LimiterStatus EnsureEnergies(const GainEnvelope& pEnvelope);
    std::optional<double> ExpectedLoudness(double pGainDB, const GainEnvelope& pEnvelope) const;
    LimiterStatus PredictMakeUp(double pGainDB, double pTarget, const LimiterSettings& pSettings);

    WaveFormatInfo mInfo;
    FileHandle mSource = 0;
    // Where PlanInto writes the renderings: none (0) for Plan.
    FileHandle mCopy = 0;
    std::int64_t mCopyAt = 0;
    std::int64_t mStart = 0;
    std::int64_t mEnd = 0;
    std::optional<TruePeakLimiter> mLimiter;
    std::optional<double> mSourceLUFS;
    // The meter's block powers of the source's range, when known.
    std::vector<double> mSourceBlocks;
    // The source's K-weighted energy per step (full scale 1.0 squared), NaN
    // where not read yet: only steps an envelope reduces are read.
    std::vector<float> mEnergies;
    // The frames RefinePeaks reads.
    std::vector<unsigned char> mRefineBytes;

    LimiterStatus mStatus = LimiterStatus::Unsupported;
    double mGainDB = 0.0;
    double mMakeUpDB = 0.0;
    GainEnvelope mEnvelope;
    LimiterReport mReport;
    double mIntegrated = 0.0;
    bool mIntegratedMeasured = false;
    double mTruePeak = 0.0;
    LimitedCopyMeasures mMeasures;
    double mTarget = 0.0;
    double mInternalCeiling = 0.0;
    double mNeeded = 0.0;
    std::int32_t mPasses = 0;
};

namespace writer_detail {

// The writer's sample rule on pFrames frames of pInfo's layout in place,
// frame n (n counted from pRangeFrame within the envelope) scaled by
// pFactor * envelope(n). Frames where the envelope is 1 come out exactly
// as with pFactor alone. False for a layout the writer refuses.
bool ScaleWithEnvelope(const WaveFormatInfo& pInfo, unsigned char* pData, std::int64_t pFrames, double pFactor,
                       const GainEnvelope& pEnvelope, std::int64_t pRangeFrame);

// The linear factor the writer applies for a gain argument in dB.
double WriterFactor(double pGainDB);

}  // namespace writer_detail

}  // namespace sonivate
