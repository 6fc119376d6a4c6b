#pragma once
// An offline, look-ahead true-peak limiter for one range of a file: the
// whole range is analysed first, so the gain may fall before a peak as
// gently as it rises after it.
//
// Detection: the 4x oversampled true peak of the meter's own interpolator
// (qc_kernels.h), taken over every kLimiterStepFrames frames, all channels
// linked (one gain for every channel); where a step may need limiting, also
// the limiter's finer interpolation (Refine), and the larger of both counts.
//
// The gain curve, as a reduction r >= 0 dB per step:
//   required r0(j) = max(0, gain + peak(j) - ceiling)   (dB, dBTP)
//   held         = largest r0 within +-kLimiterHoldSeconds (peak plus hold)
//   slope limited = falls no faster than kLimiterReleaseDBPerSecond after a
//                   peak and rises no faster than kLimiterAttackDBPerSecond
//                   before it
//   smoothed     = two symmetric moving averages, together narrower than
//                   the hold, so the result still covers every r0 it must.
// The applied gain therefore never exceeds the required gain at any frame,
// and frames whose whole neighbourhood needs nothing get exactly unity.
//
// Units: gains and reductions in dB (reductions positive), ceilings and
// peaks in dBTP (0 dBTP is 32767 or 8388607, as for the meter), times in
// seconds, positions in frames counted from the range's first frame.

#include <cstdint>
#include <span>
#include <vector>

#include "loudness/qc_kernels.h"

namespace sonivate {

inline constexpr double kLimiterDefaultCeilingDBTP = -1.0;
inline constexpr double kLimiterDefaultMaxReductionDB = 6.0;
// Frames per detection step: one gain point per step, linear in between.
inline constexpr std::int32_t kLimiterStepFrames = 16;
// Half-width of the window the required reduction is held over: 1 ms around
// the peak plus 12 ms of hold, longer than half a period of 50 Hz, so the
// gain does not follow the waveform of low frequencies.
inline constexpr double kLimiterHoldSeconds = 0.013;
// The smoothing: two moving averages of this half-width each.
inline constexpr double kLimiterSmoothSeconds = 0.006;
inline constexpr double kLimiterReleaseDBPerSecond = 60.0;
inline constexpr double kLimiterAttackDBPerSecond = 120.0;
// The report's envelope: the largest reduction per block of this length.
inline constexpr double kLimiterBlockSeconds = 0.1;
// The analysis interpolates the steps whose peaks may lie within this many
// dB of the range's largest; quieter steps keep an upper bound of their
// peak (their largest sample times the interpolator's largest gain). An
// envelope that needs no more reduction than this never depends on a bound.
inline constexpr double kLimiterExactRangeDB = kLimiterDefaultMaxReductionDB;

// The limiter's own finer interpolator, used where a peak may need limiting:
// kLimiterFinePhases values between two samples, each a Kaiser-windowed sinc
// of 2 * kLimiterFineHalfTaps taps reaching up to the Nyquist frequency. The
// meter's 4x interpolator reads a band-limited peak between its points and
// through its own passband up to about 0.2 dB apart from the waveform a
// converter or another meter reconstructs (full-band noise limited by the
// meter alone: another meter's 4x read 0.17 dB over the ceiling); the
// envelope keeps the larger of both readings under the ceiling. Eight
// phases of 16 taps did as well as sixteen of 24 on the signals measured,
// at a third of the work.
inline constexpr std::int32_t kLimiterFinePhases = 8;
inline constexpr std::int32_t kLimiterFineHalfTaps = 8;
inline constexpr double kLimiterFineCutoff = 1.0;
// The Kaiser window's shape parameter (about 45 dB of stop band).
inline constexpr double kLimiterFineWindowBeta = 6.0;
// The fine interpolation is taken for the steps whose meter reading lies
// within this of the ceiling (dB): where it reads more than that above
// the meter, the peak is in the last octave below the Nyquist frequency,
// which programme barely carries. Elsewhere it would cost a dense
// programme several times its analysis.
inline constexpr double kLimiterFineHeadroomDB = 1.5;

// Other meters' 4x interpolators have passbands of their own and read some
// band-limited peaks above both of ours (measured without this margin:
// 0.065 dB over on low-passed noise, 0.045 dB on a 14.5 kHz tone): the
// limiter keeps the peaks this far below the ceiling, so that such a
// meter's reading of a limited copy stays within 0.05 dB of the ceiling
// (with it, libebur128 read 30 limited tones and noises all under it).
inline constexpr double kLimiterInterpolatorMarginDB = 0.04;

enum class LimiterStatus : std::int32_t {
    Ok = 0,         // the result holds (figures, envelope)
    LimitExceeded,  // more than the maximum reduction would be needed: see NeededReductionDB, no envelope
    Unsupported,    // layout or arguments not taken (16/24 bit, 1..8 channels, a rate, a finite gain)
    ReadFailed,     // the source could not be read (or a run-time error was trapped)
    NotConverged,   // the re-measured copy still missed the ceiling or the loudness after the last pass
    Canceled,       // stopped on request
    WriteFailed,    // the copy could not be written (LimitedGain::PlanInto)
};

const char* LimiterStatusName(LimiterStatus pStatus);

// The applied gain of a range: linear factors (<= 1) at every
// kLimiterStepFrames frames, interpolated linearly between. An empty
// envelope, or one whose points are all 1, is unity everywhere.
class GainEnvelope {
public:
    GainEnvelope() = default;
    // pFrames frames, all at unity.
    explicit GainEnvelope(std::int64_t pFrames);

    std::int64_t Frames() const { return mFrames; }
    // True when some point lies below 1.
    bool Reduces() const { return mReduces; }
    // The factor of point k: frame k * kLimiterStepFrames of the range.
    std::span<const float> Points() const { return mPoints; }

    // pOut[0 .. pCount) = the factors of frames pFirst .. pFirst + pCount of
    // the range; exactly 1.0 where both neighbouring points are 1.
    void Factors(std::int64_t pFirst, std::int64_t pCount, double* pOut) const;
    double FactorAt(std::int64_t pFrame) const;

private:
    friend class TruePeakLimiter;
    std::int64_t mFrames = 0;
    bool mReduces = false;
    std::vector<float> mPoints;
};

// What a gain envelope does, for the row's figures and its graph.
struct LimiterReport {
    double MaxReductionDB = 0.0;    // largest reduction, dB (positive)
    double SecondsAbove01dB = 0.0;  // time with a reduction above 0.1 dB, s
    double SecondsAbove1dB = 0.0;   // time with a reduction above 1 dB, s
    // The largest reduction (dB, positive) of each kLimiterBlockSeconds block
    // of the range, from its first frame; the last block may be shorter.
    std::vector<float> BlockReductionDB;
};

// The peaks of one range, gathered by pushing its bytes once; envelopes for
// any gain and ceiling are then built from them without reading again.
// Peaks scale with the gain, which is what makes that exact up to the
// writer's rounding (the re-measurement of the caller checks the rest).
class TruePeakLimiter {
public:
    // Interleaved little-endian PCM: pChannels 1..8, pBitsPerSample 16 or 24,
    // pSampleRate frames per second (at least 1000). Steps whose peak may lie
    // within pExactRangeDB of the largest get their exact peak (infinity: all).
    TruePeakLimiter(std::int32_t pChannels, std::int32_t pBitsPerSample, std::int32_t pSampleRate,
                    double pExactRangeDB = kLimiterExactRangeDB);
    TruePeakLimiter(const TruePeakLimiter&) = delete;
    TruePeakLimiter& operator=(const TruePeakLimiter&) = delete;

    // Ok, or Unsupported for a layout not taken.
    LimiterStatus Status() const { return mStatus; }
    std::int32_t SampleRate() const { return mSampleRate; }

    // Room for the steps of pFrames frames, when the range's length is known.
    void Reserve(std::int64_t pFrames);
    // For an analysis of the later part of a range (see Append), before the
    // first push: pHistory holds the kTruePeakHistory frames before that
    // part, the interpolator's history. False when not supported or already
    // pushed.
    bool Prime(std::span<const std::uint8_t> pHistory);
    // Takes pLater's steps as those following this one's: pLater analysed
    // the frames right after this one's last (primed with their history),
    // and this one holds whole steps only. Afterwards this one goes on as
    // if it had been pushed every frame of both; pLater is left empty. The
    // two parts can be analysed on two threads at once. False (nothing
    // taken) for another layout, a partial step or a refined analysis.
    bool Append(TruePeakLimiter& pLater);
    // The next bytes of the range, cut anywhere. False when not supported.
    bool Push(std::span<const std::uint8_t> pBytes);
    std::int64_t Frames() const { return mFrames; }
    // The range's true peak at unity gain, dBTP (-inf for silence).
    double TruePeakDB() const;
    double ExactRangeDB() const { return mExactRangeDB; }

    // Steps of the range (the last one may be short).
    std::int64_t Steps() const { return (mFrames + kLimiterStepFrames - 1) / kLimiterStepFrames; }
    // The largest magnitude (full scale 1.0) the meter's true peak takes over
    // the frames of step pStep, samples included: exact for a step within
    // ExactRangeDB of the largest, otherwise StepBound.
    float StepPeak(std::int64_t pStep) const;
    // An upper bound of every interpolated value and sample of step pStep:
    // the largest sample among its frames and the interpolator's history
    // times kTruePeakGainBound.
    float StepBound(std::int64_t pStep) const;

    // The meter's true peak over pFrames frames of this layout at pRaw,
    // whose kTruePeakHistory frames before pRaw are the history (readable;
    // zeros at the start of a range): the largest magnitude, full scale 1.0,
    // of the interpolated values and samples at those frames.
    float PeakOf(const std::uint8_t* pRaw, std::int64_t pFrames) const;

    // The K-weighted energy (the channels weighted as for the integrated
    // loudness, full scale 1.0 squared) of each whole or last step of the
    // frames at pRaw from frame pWarmFrames on, into pOut (one value per
    // step); the filter starts at rest at pRaw's first frame. False for a
    // layout the meter does not weigh.
    bool StepEnergies(const std::uint8_t* pRaw, std::int64_t pFrames, std::int64_t pWarmFrames,
                      std::vector<float>& pOut) const;
    // One run of frames for StepEnergies: pRaw, pFrames, pWarmFrames and pOut as there.
    struct EnergyRun {
        const std::uint8_t* Raw = nullptr;
        std::int64_t Frames = 0;
        std::int64_t WarmFrames = 0;
        std::vector<float>* Out = nullptr;
    };
    // StepEnergies of every run, each filter starting at rest at its run's
    // first frame; two runs at a time keep the processor's pipelines full.
    bool StepEnergies(std::span<const EnergyRun> pRuns) const;

    // The reduction (dB) the loudest peak needs at pGainDB under pCeilingDBTP,
    // refined peaks included; 0 when nothing exceeds.
    double NeededReductionDB(double pGainDB, double pCeilingDBTP) const;

    // The finer interpolation (kLimiterFinePhases) of the steps that may need
    // limiting. A step's fine peak is the largest magnitude of the values
    // between each of its frames and the next, from the frames kLimiterFineHalfTaps
    // either side. Steps [First, End) not refined yet whose fine peak may
    // exceed pCeilingDBTP at pGainDB (by the fine interpolator's bound) and
    // whose meter reading (or the next step's) lies within
    // kLimiterFineHeadroomDB of it, and the frames [FirstFrame, EndFrame) of
    // the range Refine needs for them.
    struct RefineRun {
        std::int64_t First = 0;
        std::int64_t End = 0;
        std::int64_t FirstFrame = 0;
        std::int64_t EndFrame = 0;
    };
    std::vector<RefineRun> RunsToRefine(double pGainDB, double pCeilingDBTP) const;
    // Takes the fine peaks of pRun's steps from pRaw, the bytes of its frames
    // [FirstFrame, EndFrame); from then on every envelope keeps them under the
    // ceiling as well. False when the layout is not taken.
    bool Refine(const RefineRun& pRun, const std::uint8_t* pRaw);
    // Step pStep's fine peak, full scale 1.0; 0 when not refined.
    float FinePeak(std::int64_t pStep) const;

    // The envelope that keeps every step's true peak at pGainDB under
    // pCeilingDBTP. LimitExceeded (pOut left empty) when more than
    // pMaxReductionDB would be needed; Unsupported for non-finite arguments.
    LimiterStatus Envelope(double pGainDB, double pCeilingDBTP, double pMaxReductionDB, GainEnvelope& pOut) const;

    // The figures of an envelope of pSampleRate frames per second.
    static LimiterReport Report(const GainEnvelope& pEnvelope, std::int32_t pSampleRate);

private:
    template <int BytesPerSample>
    void Decode(const std::uint8_t* pRaw, std::int64_t pFrames, float* const* pInto) const;
    void AddFrames(const std::uint8_t* pRaw, std::int64_t pFrames);
    void ScanStep(std::int32_t pOffset);
    // The peak and bound of the frames of the current chunk not yet scanned (fewer than a step).
    void PartialStep(float& pPeak, float& pBound) const;
    // Records one step's peak and bound (linear), and its block's.
    void PushStep(float pPeak, float pBound);

    LimiterStatus mStatus = LimiterStatus::Unsupported;
    std::int32_t mChannels = 0;
    std::int32_t mBytesPerSample = 0;
    std::int32_t mSampleRate = 0;
    float mScale = 0.0f;  // full scale to 1.0
    double mExactRangeDB = kLimiterExactRangeDB;
    float mExactFactor = 0.0f;  // a step is interpolated when its bound exceeds this times mLargest
    float mLargest = 0.0f;      // the largest exact peak so far
    std::int64_t mFrames = 0;
    const qc_detail::Kernels* mKernels = nullptr;
    // Per channel: the interpolator's history, then the current chunk's samples.
    std::vector<std::vector<float>> mInput;
    std::int32_t mFill = 0;     // frames of the current chunk
    std::int32_t mScanned = 0;  // of them, frames in whole steps already scanned
    // Per channel: the largest magnitude among the history of the next step.
    std::vector<float> mTails;
    // Stereo is decoded by the meter's kernel, which also gives the frames
    // as doubles: room for them, not used.
    std::vector<double> mPairs;
    // A frame split between two pushes.
    std::vector<std::uint8_t> mHeld;
    // Per whole step: the peak (see StepPeak) and its bound, full scale 1.0.
    std::vector<float> mPeaks;
    std::vector<float> mBounds;
    // The largest of mPeaks in each block of a fixed number of steps (see the source).
    std::vector<float> mBlockPeaks;
    // Per step (the partial last one included, sized when first refined):
    // the fine peak, NaN where not refined.
    std::vector<float> mFine;
    float mLargestFine = 0.0f;
    // The largest of mBounds in each block of steps, as mBlockPeaks.
    std::vector<float> mBlockBounds;
    // Refine's decoded frames, per channel.
    std::vector<std::vector<float>> mFineInput;
};

}  // namespace sonivate
