#include "writer/limited_gain.h"

#include <algorithm>
#include <cmath>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

#include "common/error_trap.h"
#include "common/numeric.h"
#include "loudness/bs1770.h"
#include "loudness/c_lkfsfct.h"
#include "loudness/k_weighting.h"
#include "loudness/loudness_state.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {
namespace {

// Bytes read per piece (rounded down to whole frames).
constexpr std::int64_t kReadBytes = std::int64_t{1} << 20;
// Ranges of at least this many frames (about 40 s at 48 kHz) are analysed
// in two halves at once when the loudness is known.
constexpr std::int64_t kSplitAnalysisFrames = std::int64_t{1} << 21;
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
// The make-up gain is predicted from the K-weighted energy the envelope
// takes away: at most this many envelopes are tried, and the prediction
// stops once it lies this close (LU) to the target: a fifth of the usual
// tolerance, so the rendering's own small departures keep it inside, and
// most programmes need a single correction (each costs an envelope).
constexpr std::int32_t kPredictionRounds = 4;
constexpr double kPredictionToleranceLU = 0.02;
// The K-weighting filter of the prediction starts at rest this many frames
// before a reduced region: its slowest pole (0.995 per frame) has faded to
// about 4e-5 by then, which moves the energy taken away by far less than
// the prediction's tolerance.
constexpr std::int64_t kPredictionWarmFrames = 2048;
// At least this many runs of reduced steps are measured on two threads.
constexpr size_t kParallelEnergyRuns = 8;
// Steps read on either side of those reduced: a higher gain widens the
// reduced regions by about its rise over the attack and release rates.
constexpr std::int64_t kPredictionMarginSteps = 32;
// The copy's true peak is interpolated only where it may reach the largest
// value found so far. Elsewhere the copy is the source times the writer's
// factor, rounded: each sample within one unit of the file's scale (the
// float product and the integer rounding), so each interpolated value
// within kTruePeakGainBound units, taken twice; and the float sums of the
// interpolator within about 12 * 2^-24 of the step's bound, taken with room.
constexpr double kPeakRoundingUnits = 2.0 * 2.024;
constexpr double kPeakArithmeticShare = 1e-5;
// Progress: the share of a Plan the first rendering takes; a later one
// takes half of what is left.
constexpr float kFirstPassShare = 0.9f;

}  // namespace

// The meter's filter is one long chain of dependent operations, the
// slowest part of a read: it measures each piece on a thread of its own
// while the caller reads, scales and interpolates the next ones. Piece k
// stays in slot k % kSlots of the caller's ring until the meter is done
// with it; the meter sees the pieces in order, so its figures are those of
// one pass over the range.
class LimitedGain::MeterAhead {
public:
    static constexpr std::int64_t kSlots = 3;

    explicit MeterAhead(LoudnessState& pMeter) : mMeter(pMeter), mThread([this] { Run(); }) {}
    ~MeterAhead() { Stop(); }
    MeterAhead(const MeterAhead&) = delete;
    MeterAhead& operator=(const MeterAhead&) = delete;

    // Waits until the slot of piece pPiece may be filled; false once the meter failed.
    bool WaitForSlot(std::int64_t pPiece) {
        std::unique_lock lock(mMutex);
        mChanged.wait(lock, [&] { return mDone + kSlots > pPiece || mFailed; });
        return !mFailed;
    }
    void Post(const std::uint8_t* pBytes, std::int64_t pCount) {
        {
            std::lock_guard lock(mMutex);
            mPieces[static_cast<size_t>(mPosted % kSlots)] =
                std::span<const std::uint8_t>(pBytes, static_cast<size_t>(pCount));
            ++mPosted;
        }
        mChanged.notify_all();
    }
    // Ends the thread once the piece it measures is done, the others not
    // measured: after this the ring may go.
    void Stop() {
        {
            std::lock_guard lock(mMutex);
            mStop = true;
        }
        mChanged.notify_all();
        if (mThread.joinable()) mThread.join();
    }
    // Waits until every piece posted is measured: false when the meter
    // refused one; what the meter raised is raised here.
    bool Finish() {
        std::unique_lock lock(mMutex);
        mChanged.wait(lock, [&] { return mDone == mPosted || mFailed; });
        if (mError) std::rethrow_exception(mError);
        return !mFailed;
    }

private:
    void Run() {
        for (;;) {
            std::span<const std::uint8_t> piece;
            {
                std::unique_lock lock(mMutex);
                mChanged.wait(lock, [&] { return mStop || mPosted > mDone; });
                if (mStop) return;
                piece = mPieces[static_cast<size_t>(mDone % kSlots)];
            }
            bool pushed = false;
            std::exception_ptr error;
            try {
                pushed = mMeter.Push(piece);
            } catch (...) {
                error = std::current_exception();
            }
            {
                std::lock_guard lock(mMutex);
                mError = error;
                if (pushed)
                    ++mDone;
                else
                    mFailed = true;
            }
            mChanged.notify_all();
            if (!pushed) return;
        }
    }

    LoudnessState& mMeter;
    std::mutex mMutex;
    std::condition_variable mChanged;
    std::span<const std::uint8_t> mPieces[kSlots];
    std::int64_t mPosted = 0;
    std::int64_t mDone = 0;
    bool mFailed = false;
    bool mStop = false;
    std::exception_ptr mError;
    std::thread mThread;
};

template <class Sink>
LimiterStatus LimitedGain::ReadRange(Sink&& pSink, float pProgressFrom, float pProgressTo, std::int64_t pFront,
                                     MeterAhead* pAhead, const std::function<void()>& pMeanwhile, FileHandle pCopy) {
    const std::int64_t frameBytes = mInfo.BlockAlign;
    // Whole steps, so that every piece starts on a step of the envelope.
    const std::int64_t pieceFrames =
        std::max<std::int64_t>(kReadBytes / frameBytes / kLimiterStepFrames, 1) * kLimiterStepFrames;
    const std::int64_t slotBytes = (pFront + pieceFrames) * frameBytes;
    const std::int64_t slots = pAhead != nullptr ? MeterAhead::kSlots : 1;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[static_cast<size_t>(slots * slotBytes)]);
    std::fill(buffer.get(), buffer.get() + pFront * frameBytes, static_cast<unsigned char>(0));
    // However the read ends, the meter lets go of the ring first.
    struct StopOnExit {
        MeterAhead* ahead;
        ~StopOnExit() {
            if (ahead != nullptr) ahead->Stop();
        }
    } stopOnExit{pAhead};
    const unsigned char* last = nullptr;  // the previous piece
    std::int64_t lastFrames = 0;
    const double span = static_cast<double>(std::max<std::int64_t>(mEnd - mStart, 1));
    std::int64_t index = 0;
    for (std::int64_t frame = mStart; frame < mEnd; ++index) {
        if (StopRequested && StopRequested()) return LimiterStatus::Canceled;
        if (Progress)
            Progress(pProgressFrom +
                     (pProgressTo - pProgressFrom) * static_cast<float>(static_cast<double>(frame - mStart) / span));
        if (pAhead != nullptr && !pAhead->WaitForSlot(index)) break;
        unsigned char* const slot = buffer.get() + (index % slots) * slotBytes;
        unsigned char* const piece = slot + pFront * frameBytes;
        // The last frames of the previous piece go in front of this one.
        if (pFront > 0 && last != nullptr && lastFrames >= pFront)
            std::memmove(slot, last + (lastFrames - pFront) * frameBytes, static_cast<size_t>(pFront * frameBytes));
        const std::int64_t frames = std::min(pieceFrames, mEnd - frame);
        const std::int64_t bytes = frames * frameBytes;
        if (ReadHandleAt(mSource, mInfo.DataOffset + frame * frameBytes, piece, bytes) != bytes)
            return LimiterStatus::ReadFailed;
        if (!pSink(piece, frames, frame - mStart)) return LimiterStatus::Unsupported;
        if (pAhead != nullptr) pAhead->Post(piece, bytes);
        if (pCopy != 0 && !WriteHandleAt(pCopy, mCopyAt + (frame - mStart) * frameBytes, piece, bytes))
            return LimiterStatus::WriteFailed;
        last = piece;
        lastFrames = frames;
        frame += frames;
    }
    if (pMeanwhile) pMeanwhile();
    if (pAhead != nullptr && !pAhead->Finish()) return LimiterStatus::Unsupported;
    if (Progress) Progress(pProgressTo);
    return LimiterStatus::Ok;
}

LimiterStatus LimitedGain::Analyse(const WaveFormatInfo& pInfo, FileHandle pSource, std::int64_t pFrom,
                                   std::int64_t pTo, std::optional<double> pSourceLUFS,
                                   std::span<const double> pSourceBlockPowers) {
    mStatus = LimiterStatus::Unsupported;
    mLimiter.reset();
    mSourceLUFS.reset();
    mSourceBlocks.clear();
    mEnergies.clear();
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
        mLimiter->Reserve(mEnd - mStart);
        std::optional<LoudnessState> meter;
        if (!pSourceLUFS) {
            meter.emplace(pInfo.Channels, pInfo.BitsPerSample, pInfo.SampleRate, kModeIntegrated);
            if (meter->Status() != LoudnessStatus::Measured) return LimiterStatus::Unsupported;
        }
        // With the loudness known the meter's thread is free: the later half
        // of a long range is analysed on a thread of its own.
        if (!meter && mEnd - mStart >= kSplitAnalysisFrames) return AnalyseInHalves(pSourceLUFS, pSourceBlockPowers);
        std::optional<MeterAhead> ahead;
        if (meter) ahead.emplace(*meter);
        const LimiterStatus read = ReadRange(
            [&](const unsigned char* pBytes, std::int64_t pFrames, std::int64_t) {
                return mLimiter->Push(
                    std::span<const std::uint8_t>(pBytes, static_cast<size_t>(pFrames * mInfo.BlockAlign)));
            },
            0.0f, 1.0f, 0, ahead ? &*ahead : nullptr);
        ahead.reset();
        if (read != LimiterStatus::Ok) return read;
        if (pSourceLUFS) {
            mSourceLUFS = pSourceLUFS;
            mSourceBlocks.assign(pSourceBlockPowers.begin(), pSourceBlockPowers.end());
        } else {
            const LoudnessFigure<double> integrated = meter->Integrated();
            if (integrated.Measured()) {
                mSourceLUFS = integrated.Value;
                const std::vector<double>& powers = meter->Meter().BlockPower();
                mSourceBlocks.assign(powers.begin(), powers.begin() + meter->Meter().NumBlock());
            }
        }
        return LimiterStatus::Ok;
    });
}

LimiterStatus LimitedGain::AnalyseInHalves(std::optional<double> pSourceLUFS,
                                           std::span<const double> pSourceBlockPowers) {
    const std::int64_t frameBytes = mInfo.BlockAlign;
    const std::int32_t history = qc_detail::kTruePeakHistory;
    // The first half holds whole steps.
    const std::int64_t middle = mStart + (mEnd - mStart) / 2 / kLimiterStepFrames * kLimiterStepFrames;
    TruePeakLimiter later(mInfo.Channels, mInfo.BitsPerSample, mInfo.SampleRate);
    later.Reserve(mEnd - middle);
    std::atomic<bool> stop{false};
    bool canceled = false;
    // Reads the frames [pFrom, pTo) piece by piece into pInto; false on a
    // short read or a stop.
    const auto readInto = [&](TruePeakLimiter& pInto, std::int64_t pFrom, std::int64_t pTo, bool pFirst) {
        const std::int64_t pieceFrames = std::max<std::int64_t>(kReadBytes / frameBytes, 1);
        std::vector<unsigned char> piece(static_cast<size_t>(std::min(pieceFrames, pTo - pFrom) * frameBytes));
        for (std::int64_t frame = pFrom; frame < pTo;) {
            if (stop.load(std::memory_order_relaxed)) return false;
            if (pFirst) {
                if (StopRequested && StopRequested()) {
                    canceled = true;
                    stop = true;
                    return false;
                }
                if (Progress)
                    Progress(static_cast<float>(static_cast<double>(frame - pFrom) / static_cast<double>(pTo - pFrom)));
            }
            const std::int64_t frames = std::min(pieceFrames, pTo - frame);
            const std::int64_t bytes = frames * frameBytes;
            if (ReadHandleAt(mSource, mInfo.DataOffset + frame * frameBytes, piece.data(), bytes) != bytes ||
                !pInto.Push(std::span<const std::uint8_t>(piece.data(), static_cast<size_t>(bytes)))) {
                stop = true;
                return false;
            }
            frame += frames;
        }
        return true;
    };
    std::vector<unsigned char> front(static_cast<size_t>(history * frameBytes));
    if (ReadHandleAt(mSource, mInfo.DataOffset + (middle - history) * frameBytes, front.data(),
                     static_cast<std::int64_t>(front.size())) != static_cast<std::int64_t>(front.size()) ||
        !later.Prime(front))
        return LimiterStatus::ReadFailed;
    bool laterRead = false;
    std::exception_ptr laterError;
    std::thread thread([&] {
        try {
            laterRead = readInto(later, middle, mEnd, false);
        } catch (...) {
            laterError = std::current_exception();
            stop = true;
        }
    });
    bool firstRead = false;
    try {
        firstRead = readInto(*mLimiter, mStart, middle, true);
    } catch (...) {
        stop = true;
        thread.join();
        throw;
    }
    thread.join();
    if (laterError) std::rethrow_exception(laterError);
    if (!firstRead || !laterRead) return canceled ? LimiterStatus::Canceled : LimiterStatus::ReadFailed;
    if (!mLimiter->Append(later)) return LimiterStatus::Unsupported;
    if (Progress) Progress(1.0f);
    mSourceLUFS = pSourceLUFS;
    mSourceBlocks.assign(pSourceBlockPowers.begin(), pSourceBlockPowers.end());
    return LimiterStatus::Ok;
}

LimiterStatus LimitedGain::Reanalyse(double pExactRangeDB) {
    mLimiter.emplace(mInfo.Channels, mInfo.BitsPerSample, mInfo.SampleRate, pExactRangeDB);
    if (mLimiter->Status() != LimiterStatus::Ok) return LimiterStatus::Unsupported;
    mLimiter->Reserve(mEnd - mStart);
    return ReadRange(
        [&](const unsigned char* pBytes, std::int64_t pFrames, std::int64_t) {
            return mLimiter->Push(
                std::span<const std::uint8_t>(pBytes, static_cast<size_t>(pFrames * mInfo.BlockAlign)));
        },
        0.0f, 0.0f, 0);
}

double LimitedGain::SourceTruePeakDBTP() const { return mLimiter ? mLimiter->TruePeakDB() : 0.0; }

// The copy at pGainDB with pEnvelope, rendered piece by piece with the
// writer's rule: every piece goes through the meter when the loudness is
// asked for, and the meter's true peak is taken exactly wherever the copy
// may reach the largest value found so far (see kPeakRoundingUnits).
LimitedGain::Measured LimitedGain::Render(double pGainDB, const GainEnvelope& pEnvelope, bool pLoudness,
                                          float pProgressFrom, float pProgressTo,
                                          const std::function<void()>& pMeanwhile, bool pAll) {
    Measured result;
    std::optional<LoudnessState> meter;
    if (pLoudness) {
        // The true peak is taken here, where it may reach the largest value.
        constexpr std::uint32_t kOthers = kModeSamplePeak | kModeMomentary | kModeShortTerm | kModeRange;
        meter.emplace(mInfo.Channels, mInfo.BitsPerSample, mInfo.SampleRate, kModeIntegrated | (pAll ? kOthers : 0u));
        if (meter->Status() != LoudnessStatus::Measured) {
            result.Status = LimiterStatus::Unsupported;
            return result;
        }
    }
    const double factor = writer_detail::WriterFactor(pGainDB);
    const double unit = 1.0 / (mInfo.BitsPerSample == 16 ? 32767.0 : 8388607.0);
    const double rounding = kPeakRoundingUnits * unit;
    // A step whose bound times the factor reaches this may saturate in the writer.
    const double saturating = qc_detail::kTruePeakGainBound * (1.0 - 2.0 * unit);
    const std::span<const float> points = pEnvelope.Points();
    const bool reduces = pEnvelope.Reduces();
    const auto lastPoint = static_cast<std::int64_t>(points.size()) - 1;
    const std::int64_t frameBytes = mInfo.BlockAlign;
    const std::int32_t history = qc_detail::kTruePeakHistory;
    float largest = 0.0f;
    std::optional<MeterAhead> ahead;
    if (meter) ahead.emplace(*meter);
    // The envelope differs from unity at some frame a step's outputs take.
    // The envelope points the frames of a step's outputs take: whether one
    // differs from unity, and the largest.
    const auto pointsOf = [&](std::int64_t pStep, float& pMost) {
        bool changed = false;
        pMost = 0.0f;
        for (std::int64_t k = std::max<std::int64_t>(pStep - 1, 0); k <= std::min(pStep + 1, lastPoint); ++k) {
            const float point = points[static_cast<size_t>(k)];
            changed = changed || point != 1.0f;
            pMost = std::max(pMost, point);
        }
        return changed;
    };
    result.Status = ReadRange(
        [&](unsigned char* pBytes, std::int64_t pFrames, std::int64_t pRangeFrame) {
            if (!writer_detail::ScaleWithEnvelope(mInfo, pBytes, pFrames, factor, pEnvelope, pRangeFrame)) return false;
            const std::int64_t firstStep = pRangeFrame / kLimiterStepFrames;
            const std::int64_t steps = (pFrames + kLimiterStepFrames - 1) / kLimiterStepFrames;
            for (std::int64_t s = 0; s < steps;) {
                // A run of steps to interpolate.
                std::int64_t end = s;
                while (end < steps) {
                    const std::int64_t step = firstStep + end;
                    const double bound = mLimiter->StepBound(step);
                    float point = 1.0f;
                    if (!reduces || !pointsOf(step, point)) {
                        // The source's exact peak scales with the factor.
                        const double reach =
                            factor * (mLimiter->StepPeak(step) + kPeakArithmeticShare * bound) + rounding;
                        if (reach < largest && factor * bound < saturating) break;
                    } else {
                        // Samples scaled by different factors, none above the
                        // largest point: only the bound scales.
                        const double scaled = factor * static_cast<double>(point) * bound;
                        if (scaled * (1.0 + kPeakArithmeticShare) + rounding < largest && scaled < saturating) break;
                    }
                    ++end;
                }
                if (end > s) {
                    const std::int64_t first = s * kLimiterStepFrames;
                    const std::int64_t count = std::min(end * kLimiterStepFrames, pFrames) - first;
                    largest = std::max(largest, mLimiter->PeakOf(pBytes + first * frameBytes, count));
                    s = end;
                } else {
                    ++s;
                }
            }
            return true;
        },
        pProgressFrom, pProgressTo, history, ahead ? &*ahead : nullptr, pMeanwhile, mCopy);
    ahead.reset();
    if (result.Status != LimiterStatus::Ok) return result;
    if (meter) {
        const LoudnessFigure<double> integrated = meter->Integrated();
        result.IntegratedMeasured = integrated.Measured();
        result.Integrated = integrated.Value;
        if (pAll) {
            const auto valueOf = [](const LoudnessFigure<double>& pFigure) {
                return pFigure.Measured() ? std::optional<double>(pFigure.Value) : std::nullopt;
            };
            result.Others.SamplePeakDBFS = valueOf(meter->SamplePeak());
            result.Others.MaxMomentaryLUFS = valueOf(meter->MaxMomentary());
            result.Others.MaxShortTermLUFS = valueOf(meter->MaxShortTerm());
            result.Others.LoudnessRangeLU = valueOf(meter->LoudnessRange());
        }
    }
    result.TruePeak = mEnd > mStart ? LinearToDB(static_cast<double>(largest)) : -HUGE_VAL;
    return result;
}

// The K-weighted energy of every step the envelope reduces, read from the
// source where not known yet, each run of them after a warm-up of the filter.
LimiterStatus LimitedGain::EnsureEnergies(const GainEnvelope& pEnvelope) {
    const std::int64_t steps = mLimiter->Steps();
    if (static_cast<std::int64_t>(mEnergies.size()) != steps)
        mEnergies.assign(static_cast<size_t>(steps), std::numeric_limits<float>::quiet_NaN());
    const std::span<const float> points = pEnvelope.Points();
    const std::int64_t frameBytes = mInfo.BlockAlign;
    const auto missing = [&](std::int64_t pStep) {
        return (points[static_cast<size_t>(pStep)] != 1.0f || points[static_cast<size_t>(pStep + 1)] != 1.0f) &&
               std::isnan(mEnergies[static_cast<size_t>(pStep)]);
    };
    // The next run from step pFrom on: its steps [low, high) and frames
    // [from, to) of the range; none when nothing is missing.
    struct Run {
        std::int64_t low, high, from, to;
    };
    const auto nextRun = [&](std::int64_t pFrom) -> std::optional<Run> {
        std::int64_t j = pFrom;
        while (j < steps && !missing(j)) ++j;
        if (j >= steps) return std::nullopt;
        // Runs closer than the warm-up are read as one, each with a margin
        // for the wider envelopes of the gains tried next.
        std::int64_t end = j + 1;
        for (std::int64_t gap = 0; end + gap < steps && gap * kLimiterStepFrames < kPredictionWarmFrames;) {
            if (missing(end + gap)) {
                end += gap + 1;
                gap = 0;
            } else {
                ++gap;
            }
        }
        Run run;
        run.low = std::max<std::int64_t>(j - kPredictionMarginSteps, 0);
        run.high = std::min(end + kPredictionMarginSteps, steps);
        run.from = std::max<std::int64_t>(run.low * kLimiterStepFrames - kPredictionWarmFrames, 0);
        run.to = std::min(run.high * kLimiterStepFrames, mEnd - mStart);
        return run;
    };
    std::vector<Run> runs;
    for (std::optional<Run> run = nextRun(0); run; run = nextRun(run->high)) runs.push_back(*run);
    // Each run's energies, from its step low on; taken in the order of the
    // runs afterwards, so the result does not depend on the threads.
    std::vector<std::vector<float>> energies(runs.size());
    // The runs [pFirst, pEnd), two at a time through the filters together.
    const auto measure = [&](size_t pFirst, size_t pEnd) {
        std::vector<unsigned char> bytes[2];
        for (size_t r = pFirst; r < pEnd; r += 2) {
            const size_t count = std::min<size_t>(2, pEnd - r);
            TruePeakLimiter::EnergyRun reads[2];
            for (size_t i = 0; i < count; ++i) {
                const Run& run = runs[r + i];
                std::vector<unsigned char>& into = bytes[i];
                into.resize(static_cast<size_t>((run.to - run.from) * frameBytes));
                const auto size = static_cast<std::int64_t>(into.size());
                if (ReadHandleAt(mSource, mInfo.DataOffset + (mStart + run.from) * frameBytes, into.data(), size) !=
                    size)
                    return LimiterStatus::ReadFailed;
                reads[i] = {into.data(), run.to - run.from, run.low * kLimiterStepFrames - run.from, &energies[r + i]};
            }
            if (!mLimiter->StepEnergies(std::span<const TruePeakLimiter::EnergyRun>(reads, count)))
                return LimiterStatus::Unsupported;
        }
        return LimiterStatus::Ok;
    };
    // The later runs on a thread of their own when there are enough: the
    // meter's thread is idle while the plan is made.
    LimiterStatus status = LimiterStatus::Ok;
    if (runs.size() >= kParallelEnergyRuns) {
        const size_t middle = runs.size() / 2;
        LimiterStatus later = LimiterStatus::Ok;
        std::exception_ptr laterError;
        std::thread thread([&] {
            try {
                later = measure(middle, runs.size());
            } catch (...) {
                laterError = std::current_exception();
            }
        });
        try {
            status = measure(0, middle);
        } catch (...) {
            thread.join();
            throw;
        }
        thread.join();
        if (laterError) std::rethrow_exception(laterError);
        if (status == LimiterStatus::Ok) status = later;
    } else {
        status = measure(0, runs.size());
    }
    if (status != LimiterStatus::Ok) return status;
    for (size_t r = 0; r < runs.size(); ++r)
        for (size_t k = 0; k < energies[r].size() && runs[r].low + static_cast<std::int64_t>(k) < steps; ++k) {
            float& energy = mEnergies[static_cast<size_t>(runs[r].low) + k];
            if (std::isnan(energy)) energy = energies[r][k];
        }
    return LimiterStatus::Ok;
}

// The loudness the copy at pGainDB with pEnvelope is expected to measure:
// the source's blocks at the gain, less the K-weighted energy the envelope
// takes from each, through the meter's gates; without the source's blocks,
// as if every block passed the gates.
std::optional<double> LimitedGain::ExpectedLoudness(double pGainDB, const GainEnvelope& pEnvelope) const {
    if (!mSourceLUFS) return std::nullopt;
    const double factor = writer_detail::WriterFactor(pGainDB);
    const std::span<const float> points = pEnvelope.Points();
    const std::int32_t hop = C_LKFSFCT::HopLength(mInfo.SampleRate);
    const std::int64_t frames = mEnd - mStart;
    if (hop < 1 || frames < 1) return std::nullopt;
    const double fullScale = mInfo.BitsPerSample == 16 ? 32767.0 : 8388607.0;
    std::vector<double> removed(mSourceBlocks.size(), 0.0);
    double removedSum = 0.0;
    // The sums of the blocks last - 3 .. last that the steps of one hop add
    // to, held while the steps stay in that hop (the same additions in the
    // same order), put back when they move on.
    std::int64_t heldLast = -1;
    double held[kHopsPerBlock] = {};
    const auto blockAt = [&](std::int64_t pLast, std::int32_t pIndex) -> double* {
        const std::int64_t b = pLast - (kHopsPerBlock - 1) + pIndex;
        return b >= 0 && b < static_cast<std::int64_t>(removed.size()) ? &removed[static_cast<size_t>(b)] : nullptr;
    };
    const auto holdBlocks = [&](std::int64_t pLast) {
        for (std::int32_t k = 0; k < kHopsPerBlock && heldLast >= 0; ++k)
            if (double* block = blockAt(heldLast, k)) *block = held[k];
        heldLast = pLast;
        for (std::int32_t k = 0; k < kHopsPerBlock && pLast >= 0; ++k) {
            const double* block = blockAt(pLast, k);
            held[k] = block != nullptr ? *block : 0.0;
        }
    };
    double gains[kLimiterStepFrames];
    // Over the frames of a step, the sums of i / n and of (i / n)^2.
    constexpr double kStepSum = (kLimiterStepFrames - 1) / 2.0;
    constexpr double kStepSquares =
        (kLimiterStepFrames - 1) * (2.0 * kLimiterStepFrames - 1) / (6.0 * kLimiterStepFrames);
    for (std::int64_t j = 0; j < static_cast<std::int64_t>(mEnergies.size()); ++j) {
        if (points[static_cast<size_t>(j)] == 1.0f && points[static_cast<size_t>(j + 1)] == 1.0f) continue;
        const float energy = mEnergies[static_cast<size_t>(j)];
        if (std::isnan(energy)) continue;
        const std::int64_t first = j * kLimiterStepFrames;
        const std::int64_t count = std::min<std::int64_t>(kLimiterStepFrames, frames - first);
        double kept = 0.0;
        if (count == kLimiterStepFrames) {
            // The factors a + s i / n of a whole step (n frames): the sum of
            // their squares in closed form.
            const double a = points[static_cast<size_t>(j)];
            const double slope = static_cast<double>(points[static_cast<size_t>(j + 1)]) - a;
            kept = kLimiterStepFrames * a * a + 2.0 * a * slope * kStepSum + slope * slope * kStepSquares;
        } else {
            pEnvelope.Factors(first, count, gains);
            for (std::int64_t i = 0; i < count; ++i) kept += gains[i] * gains[i];
        }
        const double lost = energy * (1.0 - kept / static_cast<double>(count));
        removedSum += lost;
        // The blocks the step's first frame lies in.
        const std::int64_t last = first / hop;
        if (last != heldLast) {
            holdBlocks(last);
        }
        for (double& block : held) block += lost * fullScale * fullScale;
    }
    holdBlocks(-1);
    if (!mSourceBlocks.empty()) {
        std::vector<double> powers(mSourceBlocks.size());
        for (size_t b = 0; b < powers.size(); ++b)
            powers[b] = std::max(mSourceBlocks[b] - removed[b], 0.0) * factor * factor;
        C_LKFSFCT meter;
        meter.LoadBlockPowers(powers, kHopsPerBlock * hop, static_cast<std::int32_t>(fullScale));
        return meter.CalcLKFS(0.0);
    }
    const double meanSquare = std::pow(10.0, (*mSourceLUFS + bs1770::kLoudnessOffsetDB) / 10.0);
    const double kept = 1.0 - removedSum / (static_cast<double>(frames) * meanSquare);
    if (!(kept > 0.0)) return std::nullopt;
    return *mSourceLUFS + LinearToDB(factor) + 10.0 * std::log10(kept);
}

LimiterStatus LimitedGain::Plan(double pGainDB, const LimiterSettings& pSettings) {
    mCopy = 0;
    mCopyAt = 0;
    return PlanPasses(pGainDB, pSettings);
}

LimiterStatus LimitedGain::PlanInto(double pGainDB, FileHandle pTarget, std::int64_t pTargetAt,
                                    const LimiterSettings& pSettings) {
    if (pTarget == 0 || pTargetAt < 0) {
        mStatus = LimiterStatus::Unsupported;
        return mStatus;
    }
    mCopy = pTarget;
    mCopyAt = pTargetAt;
    const LimiterStatus status = PlanPasses(pGainDB, pSettings);
    mCopy = 0;
    return status;
}

LimiterStatus LimitedGain::PlanPasses(double pGainDB, const LimiterSettings& pSettings) {
    mStatus = LimiterStatus::Unsupported;
    mGainDB = mMakeUpDB = mIntegrated = mTruePeak = mTarget = mNeeded = 0.0;
    mIntegratedMeasured = false;
    mMeasures = LimitedCopyMeasures();
    mInternalCeiling = pSettings.CeilingDBTP - kLimiterInterpolatorMarginDB - kCeilingMarginDB;
    mPasses = 0;
    mEnvelope = GainEnvelope();
    mReport = LimiterReport();
    if (!mLimiter || mLimiter->Status() != LimiterStatus::Ok || !std::isfinite(pGainDB) ||
        !std::isfinite(pSettings.CeilingDBTP) || !(pSettings.MaxReductionDB >= 0.0) || pSettings.MaxPasses < 1)
        return mStatus;
    if (Progress) Progress(0.0f);
    mStatus = Trapped<LimiterStatus>(LimiterStatus::ReadFailed, [&] {
        const std::optional<double> target =
            !pSettings.KeepLoudness ? std::nullopt
            : pSettings.TargetLUFS  ? pSettings.TargetLUFS
                                    : (mSourceLUFS ? std::optional<double>(*mSourceLUFS + pGainDB) : std::nullopt);
        mTarget = target.value_or(0.0);
        // The plain copy's loudness follows the gain one to one.
        if (target && mSourceLUFS) mMakeUpDB = *target - (*mSourceLUFS + pGainDB);
        const double aim = pSettings.LoudnessToleranceLU * kLoudnessAimFraction;
        std::optional<double> lastMakeUp;
        // Whether the envelope limits: from the first pass that needs more than a negligible
        // reduction or measures an excess.
        bool limiting = false;
        bool predicted = false;
        double lastError = 0.0;
        float progress = 0.0f;
        for (std::int32_t pass = 1; pass <= pSettings.MaxPasses; ++pass) {
            mPasses = pass;
            mGainDB = pGainDB + mMakeUpDB;
            if (const LimiterStatus refined = RefinePeaks(mGainDB); refined != LimiterStatus::Ok) return refined;
            double needed = mLimiter->NeededReductionDB(mGainDB, mInternalCeiling);
            if (needed > pSettings.MaxReductionDB) {
                mNeeded = needed;
                mEnvelope = GainEnvelope();
                return LimiterStatus::LimitExceeded;
            }
            if (needed > mLimiter->ExactRangeDB()) {
                const LimiterStatus exact = Reanalyse(std::numeric_limits<double>::infinity());
                if (exact != LimiterStatus::Ok) return exact;
                if (const LimiterStatus refined = RefinePeaks(mGainDB); refined != LimiterStatus::Ok) return refined;
                needed = mLimiter->NeededReductionDB(mGainDB, mInternalCeiling);
                if (needed > pSettings.MaxReductionDB) {
                    mNeeded = needed;
                    mEnvelope = GainEnvelope();
                    return LimiterStatus::LimitExceeded;
                }
            }
            limiting =
                limiting || mLimiter->NeededReductionDB(mGainDB, pSettings.CeilingDBTP - kLimiterInterpolatorMarginDB) >
                                kNegligibleReductionDB;
            if (limiting) {
                const LimiterStatus built = BuildEnvelope(pSettings);
                if (built != LimiterStatus::Ok) return built;
                if (target && !predicted) {
                    predicted = true;
                    const LimiterStatus made = PredictMakeUp(pGainDB, *target, pSettings);
                    if (made != LimiterStatus::Ok) return made;
                    mGainDB = pGainDB + mMakeUpDB;
                }
            } else {
                mEnvelope = GainEnvelope(mEnd - mStart);
            }
            const float share = pass == pSettings.MaxPasses ? 1.0f - progress
                                : pass == 1                 ? kFirstPassShare
                                                            : (1.0f - progress) / 2.0f;
            // The envelope's figures are taken while the meter finishes.
            const Measured measured = Render(
                mGainDB, mEnvelope, true, progress, progress + share,
                [&] { mReport = TruePeakLimiter::Report(mEnvelope, mInfo.SampleRate); }, pSettings.MeasureAll);
            progress += share;
            if (measured.Status != LimiterStatus::Ok) return measured.Status;
            mIntegrated = measured.Integrated;
            mIntegratedMeasured = measured.IntegratedMeasured;
            mTruePeak = measured.TruePeak;
            mMeasures = measured.Others;
            const double excess = mTruePeak - pSettings.CeilingDBTP;
            const bool loudnessHolds =
                !target || !mIntegratedMeasured || std::abs(mIntegrated - *target) <= pSettings.LoudnessToleranceLU;
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
    if (mStatus == LimiterStatus::Ok && Progress) Progress(1.0f);
    return mStatus;
}

LimiterStatus LimitedGain::RefinePeaks(double pGainDB) {
    const std::int64_t frameBytes = mInfo.BlockAlign;
    for (const TruePeakLimiter::RefineRun& run : mLimiter->RunsToRefine(pGainDB, mInternalCeiling)) {
        if (StopRequested && StopRequested()) return LimiterStatus::Canceled;
        const std::int64_t bytes = (run.EndFrame - run.FirstFrame) * frameBytes;
        if (static_cast<std::int64_t>(mRefineBytes.size()) < bytes) mRefineBytes.resize(static_cast<size_t>(bytes));
        if (ReadHandleAt(mSource, mInfo.DataOffset + (mStart + run.FirstFrame) * frameBytes, mRefineBytes.data(),
                         bytes) != bytes)
            return LimiterStatus::ReadFailed;
        if (!mLimiter->Refine(run, mRefineBytes.data())) return LimiterStatus::Unsupported;
    }
    return LimiterStatus::Ok;
}

LimiterStatus LimitedGain::BuildEnvelope(const LimiterSettings& pSettings) {
    return mLimiter->Envelope(mGainDB, mInternalCeiling, pSettings.MaxReductionDB, mEnvelope);
}

// Moves the make-up gain to where the expected loudness of the limited copy
// meets pTarget, rebuilding the envelope at each gain tried; leaves mEnvelope
// built for the final mMakeUpDB.
LimiterStatus LimitedGain::PredictMakeUp(double pGainDB, double pTarget, const LimiterSettings& pSettings) {
    // The loudness follows the make-up gain less than one to one where the
    // limiter takes more of a higher gain: after the first correction the
    // slope seen between two rounds.
    double slope = 1.0;
    std::optional<double> lastError;
    double lastMakeUp = 0.0;
    for (std::int32_t round = 0; round < kPredictionRounds; ++round) {
        if (!mEnvelope.Reduces()) return LimiterStatus::Ok;
        const LimiterStatus energies = EnsureEnergies(mEnvelope);
        if (energies != LimiterStatus::Ok) return energies;
        const std::optional<double> expected = ExpectedLoudness(pGainDB + mMakeUpDB, mEnvelope);
        if (!expected) return LimiterStatus::Ok;
        const double error = pTarget - *expected;
        if (std::abs(error) <= kPredictionToleranceLU) return LimiterStatus::Ok;
        if (lastError && mMakeUpDB != lastMakeUp)
            slope =
                std::clamp((*lastError - error) / (mMakeUpDB - lastMakeUp), kLeastLoudnessSlope, kMostLoudnessSlope);
        lastError = error;
        lastMakeUp = mMakeUpDB;
        const double makeUp = mMakeUpDB + error / slope;
        const double gain = pGainDB + makeUp;
        if (const LimiterStatus refined = RefinePeaks(gain); refined != LimiterStatus::Ok) return refined;
        // A gain the limiter cannot take is left to the passes to report.
        if (mLimiter->NeededReductionDB(gain, mInternalCeiling) > pSettings.MaxReductionDB ||
            mLimiter->NeededReductionDB(gain, mInternalCeiling) > mLimiter->ExactRangeDB())
            return LimiterStatus::Ok;
        GainEnvelope envelope;
        const LimiterStatus built = mLimiter->Envelope(gain, mInternalCeiling, pSettings.MaxReductionDB, envelope);
        if (built != LimiterStatus::Ok) return LimiterStatus::Ok;
        mMakeUpDB = makeUp;
        mGainDB = gain;
        mEnvelope = std::move(envelope);
    }
    return LimiterStatus::Ok;
}

LimiterStatus LimitedGain::Lower(double pGainDB, double pCeilingDBTP, double& pLowerGainDB) {
    pLowerGainDB = 0.0;
    if (!mLimiter || mLimiter->Status() != LimiterStatus::Ok || !std::isfinite(pGainDB) || !std::isfinite(pCeilingDBTP))
        return LimiterStatus::Unsupported;
    constexpr std::int32_t kLowerPasses = 4;
    return Trapped<LimiterStatus>(LimiterStatus::ReadFailed, [&] {
        const GainEnvelope unity;
        double gain = std::min(pGainDB, pCeilingDBTP - mLimiter->TruePeakDB());
        for (std::int32_t pass = 0; pass < kLowerPasses; ++pass) {
            const Measured measured = Render(gain, unity, false, 0.0f, 1.0f);
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
