#include "loudness/broadcast_measures.h"

#include <algorithm>
#include <cmath>

#include "common/numeric.h"
#include "loudness/bs1770.h"
#include "loudness/c_lkfsfct.h"
#include "wavefile/pcm_codec.h"
#include "wavefile/wave_format.h"

namespace sonivate {
namespace {

using bs1770::kLoudnessOffsetDB;
constexpr std::int32_t kSubBlocksPerSecond = 100;  // the windows move in 10 ms steps
constexpr std::int32_t kMomentarySubBlocks = 40;   // 400 ms
constexpr std::int32_t kShortTermSubBlocks = 300;  // 3 s
constexpr std::int32_t kRangeStepSubBlocks = 10;   // the range takes short-term values at 10 Hz
// Marks a series step whose momentary window is not yet full.
constexpr double kNoWindow = -1.0;
constexpr double kRangeAbsoluteGateLUFS = -70.0;
constexpr double kRangeRelativeGateLU = -20.0;
constexpr double kRangeLowPercentile = 0.10;
constexpr double kRangeHighPercentile = 0.95;

constexpr double kFullScale16 = bs1770::kFullScale16;
constexpr double kFullScale24 = bs1770::kFullScale24;

// Frames decoded at a time: small enough for the first-level caches.
constexpr std::int32_t kChunkFrames = 2048;
// A long stereo piece is K-weighted as two halves side by side, each half
// its own filter, which keeps the pipelines busy where one filter waits on
// its own last output. The second filter starts this many frames before its
// half from rest: what the rest state misses fades with the high-pass
// stage's double pole at 0.995 as n * 0.995^n, below 2e-14 of the signal
// by its first frame, so the two filters give the figures of one.
constexpr std::int32_t kWarmUpFrames = 4 * kChunkFrames;
// Pieces shorter than this are weighted in order: the warm-up would cost
// more than the second filter saves.
constexpr std::int64_t kHalvesMinFrames = 16 * kWarmUpFrames;

using bs1770::kLeftOut;
using bs1770::LayoutWeights;

// The measures that need the K-weighted sub-block energies.
constexpr std::uint32_t kWeightedModes = kModeMomentary | kModeShortTerm | kModeRange | kModeSeries;

// Splits pFrames interleaved frames into one float run per channel (scaled
// to full scale 1.0, behind the oversampler's history) and one interleaved
// double run per channel pair (unscaled).
template <int BytesPerSample>
void Decode(const std::uint8_t* pRaw, std::int32_t pFrames, std::int32_t pChannels, float pScale,
            std::vector<std::vector<float>>& pPeakInput, std::vector<double>& pPairInput) {
    const std::int32_t frameBytes = BytesPerSample * pChannels;
    const std::int32_t history = qc_detail::kTruePeakHistory;
    if (pChannels == 1) {
        float* peak = pPeakInput[0].data() + history;
        double* pair = pPairInput.data();
        for (std::int32_t n = 0; n < pFrames; ++n) {
            const std::int32_t v = PcmSample<BytesPerSample>(pRaw + n * frameBytes);
            peak[n] = static_cast<float>(v) * pScale;
            pair[2 * n] = pair[2 * n + 1] = static_cast<double>(v);
        }
        return;
    }
    const size_t pairStride = static_cast<size_t>(2 * kChunkFrames);
    for (std::int32_t c = 0; c < pChannels; ++c) {
        float* peak = pPeakInput[static_cast<size_t>(c)].data() + history;
        double* pair = pPairInput.data() + static_cast<size_t>(c / 2) * pairStride + (c % 2);
        const std::uint8_t* at = pRaw + c * BytesPerSample;
        for (std::int32_t n = 0; n < pFrames; ++n, at += frameBytes) {
            const std::int32_t v = PcmSample<BytesPerSample>(at);
            peak[n] = static_cast<float>(v) * pScale;
            pair[2 * n] = static_cast<double>(v);
        }
    }
}

}  // namespace

bool BroadcastMeasures::Begin(std::int32_t pChannels, std::int32_t pBitsPerSample, std::int32_t pSampleRate) {
    return Begin(DefaultChannelLayout(pChannels), pBitsPerSample, pSampleRate);
}

bool BroadcastMeasures::Begin(ChannelLayout pLayout, std::int32_t pBitsPerSample, std::int32_t pSampleRate) {
    mBegun = false;
    mLayout = ChannelLayout::Unknown;
    mFrames = 0;
    mPeak = mSamplePeak = 0.0f;
    mPeakFrame = 0;
    mSubBlocks = 0;
    mSubFill = 0;
    mShortSum = 0.0;
    mMaxMomentaryEnergy.reset();
    mMaxShortEnergy.reset();
    mRangeEnergies.clear();
    mMomentaryEnergies.clear();
    mKept = 0;
    mDownmix = DownmixPeak{};
    const std::vector<double> weights = LayoutWeights(pLayout);
    if (weights.empty() || (pBitsPerSample != 16 && pBitsPerSample != 24) || pSampleRate < kSubBlocksPerSecond)
        return false;
    const std::int32_t channels = ChannelCountOf(pLayout);
    mLayout = pLayout;
    mChannels = channels;
    mBytesPerSample = pBitsPerSample / 8;
    mFullScale = pBitsPerSample == 16 ? kFullScale16 : kFullScale24;
    mSubBlockFrames = static_cast<std::int32_t>(std::lround(pSampleRate / static_cast<double>(kSubBlocksPerSecond)));
    mLaneWeights = weights;
    const size_t pairs = weights.size() / 2;
    mFilters.assign(pairs, qc_detail::KWeightState{});
    mSquares.assign(weights.size(), 0.0);
    mPeakInput.assign(static_cast<size_t>(channels),
                      std::vector<float>(static_cast<size_t>(qc_detail::kTruePeakHistory + kChunkFrames), 0.0f));
    mPairInput.assign(pairs * 2 * kChunkFrames, 0.0);
    mSecondPeakInput = mPeakInput;
    mSecondPairInput.assign(2 * kChunkFrames, 0.0);
    mRing.assign(kShortTermSubBlocks, 0.0);
    mKernels = &qc_detail::SelectedKernels();
    mKept = mMode;
    if (Kept(kModeTruePeak) && DownmixPeak::Applies(pLayout)) mDownmix.Begin(pLayout, pBitsPerSample);
    mBegun = true;
    return true;
}

void BroadcastMeasures::Listen(C_LKFSFCT& pMeter) {
    pMeter.MeasurePiece = [this, &pMeter](const WaveFormatInfo& pInfo, std::span<const std::uint8_t> pBytes,
                                          bool pFirst) {
        if (pFirst) Begin(pMeter.Layout(), pInfo.BitsPerSample, pInfo.SampleRate);
        if (mBegun && pInfo.BlockAlign > 0) Add(pBytes, static_cast<std::int64_t>(pBytes.size()) / pInfo.BlockAlign);
    };
}

void BroadcastMeasures::Add(std::span<const std::uint8_t> pBytes, std::int64_t pFrames) {
    if (!mBegun) return;
    const std::int64_t frameBytes = static_cast<std::int64_t>(mBytesPerSample) * mChannels;
    pFrames = std::min<std::int64_t>(pFrames, static_cast<std::int64_t>(pBytes.size()) / frameBytes);
    if (!Kept(kModeTruePeak | kWeightedModes)) {
        mFrames += std::max<std::int64_t>(pFrames, 0);
        return;
    }
    std::int64_t done = 0;
    if (mChannels == 2 && Kept(kWeightedModes) && pFrames >= kHalvesMinFrames) {
        // The halves start on sub-block boundaries and hold whole sub-blocks.
        const std::int64_t head = (mSubBlockFrames - mSubFill) % mSubBlockFrames;
        ProcessInOrder(pBytes.data(), head);
        const std::int64_t half = (pFrames - head) / 2 / mSubBlockFrames * mSubBlockFrames;
        ProcessHalves(pBytes.data() + head * frameBytes, half);
        done = head + 2 * half;
    }
    ProcessInOrder(pBytes.data() + done * frameBytes, pFrames - done);
}

void BroadcastMeasures::ProcessInOrder(const std::uint8_t* pRaw, std::int64_t pFrames) {
    const std::int64_t frameBytes = static_cast<std::int64_t>(mBytesPerSample) * mChannels;
    for (std::int64_t done = 0; done < pFrames;) {
        const auto count = static_cast<std::int32_t>(std::min<std::int64_t>(kChunkFrames, pFrames - done));
        Process(pRaw + done * frameBytes, count);
        done += count;
    }
}

void BroadcastMeasures::DecodeStereo(const std::uint8_t* pRaw, std::int32_t pFrames,
                                     std::vector<std::vector<float>>& pPeakInput, std::vector<double>& pPairInput) {
    const std::int32_t history = qc_detail::kTruePeakHistory;
    mKernels->DecodeStereo(pRaw, pFrames, mBytesPerSample, static_cast<float>(1.0 / mFullScale),
                           pPeakInput[0].data() + history, pPeakInput[1].data() + history, pPairInput.data());
}

void BroadcastMeasures::Process(const std::uint8_t* pRaw, std::int32_t pFrames) {
    const auto scale = static_cast<float>(1.0 / mFullScale);
    if (mChannels == 2)
        DecodeStereo(pRaw, pFrames, mPeakInput, mPairInput);
    else if (mBytesPerSample == 2)
        Decode<2>(pRaw, pFrames, mChannels, scale, mPeakInput, mPairInput);
    else
        Decode<3>(pRaw, pFrames, mChannels, scale, mPeakInput, mPairInput);
    if (Kept(kModeTruePeak)) ScanPeaks(mPeakInput, pFrames, mFrames);
    mFrames += pFrames;
    if (mDownmix.Begun()) {
        const auto frameBytes = static_cast<size_t>(mBytesPerSample) * static_cast<size_t>(mChannels);
        mDownmix.Add({pRaw, static_cast<size_t>(pFrames) * frameBytes}, pFrames);
    }
    if (!Kept(kWeightedModes)) return;

    // K-weighting and sub-block energies, pair by pair, split at the 10 ms
    // boundaries.
    const size_t pairs = mFilters.size();
    for (std::int32_t done = 0; done < pFrames;) {
        const std::int32_t run = std::min(mSubBlockFrames - mSubFill, pFrames - done);
        for (size_t p = 0; p < pairs; ++p)
            mKernels->KWeightSquares(mPairInput.data() + p * 2 * kChunkFrames + 2 * done, run, mFilters[p],
                                     mSquares.data() + 2 * p);
        done += run;
        mSubFill += run;
        if (mSubFill == mSubBlockFrames) EndSubBlock();
    }
}

// True peak, channel by channel; each channel's last samples stay in front
// as the next chunk's history.
void BroadcastMeasures::ScanPeaks(std::vector<std::vector<float>>& pPeakInput, std::int32_t pFrames, std::int64_t pAt) {
    const std::int32_t history = qc_detail::kTruePeakHistory;
    const float before = std::max(mPeak, mSamplePeak);
    for (std::vector<float>& input : pPeakInput) {
        qc_detail::ScanTruePeak(*mKernels, input.data() + history, pFrames, mPeak, mSamplePeak);
        std::copy(input.begin() + pFrames, input.begin() + pFrames + history, input.begin());
    }
    if (std::max(mPeak, mSamplePeak) > before) mPeakFrame = pAt;
}

void BroadcastMeasures::ProcessHalves(const std::uint8_t* pRaw, std::int64_t pHalf) {
    static_assert(kWarmUpFrames % kChunkFrames == 0 && kChunkFrames >= qc_detail::kTruePeakHistory,
                  "the warm-up ends with a whole chunk, which leaves the second half's peak history");
    const std::int64_t frameBytes = 2 * static_cast<std::int64_t>(mBytesPerSample);
    const std::uint8_t* second = pRaw + pHalf * frameBytes;

    qc_detail::KWeightState secondFilter{};
    double unused[2] = {0.0, 0.0};
    for (std::int64_t at = -kWarmUpFrames; at < 0; at += kChunkFrames) {
        DecodeStereo(second + at * frameBytes, kChunkFrames, mSecondPeakInput, mSecondPairInput);
        mKernels->KWeightSquares(mSecondPairInput.data(), kChunkFrames, secondFilter, unused);
    }
    for (std::vector<float>& input : mSecondPeakInput)
        std::copy(input.begin() + kChunkFrames, input.begin() + kChunkFrames + qc_detail::kTruePeakHistory,
                  input.begin());

    // Both halves in step; the second half's sub-blocks wait for the first's.
    double squares[4] = {0.0, 0.0, 0.0, 0.0};
    mSecondEnergies.clear();
    const std::int64_t first = mFrames;
    for (std::int64_t at = 0; at < pHalf; at += kChunkFrames) {
        const auto count = static_cast<std::int32_t>(std::min<std::int64_t>(kChunkFrames, pHalf - at));
        DecodeStereo(pRaw + at * frameBytes, count, mPeakInput, mPairInput);
        DecodeStereo(second + at * frameBytes, count, mSecondPeakInput, mSecondPairInput);
        if (Kept(kModeTruePeak)) {
            ScanPeaks(mPeakInput, count, first + at);
            ScanPeaks(mSecondPeakInput, count, first + pHalf + at);
        }
        mFrames += 2 * static_cast<std::int64_t>(count);
        for (std::int32_t done = 0; done < count;) {
            const std::int32_t run = std::min(mSubBlockFrames - mSubFill, count - done);
            mKernels->KWeightSquaresTwice(mPairInput.data() + 2 * done, mSecondPairInput.data() + 2 * done, run,
                                          mFilters[0], secondFilter, squares);
            done += run;
            mSubFill += run;
            if (mSubFill < mSubBlockFrames) continue;
            mSubFill = 0;
            AddSubBlock(PairEnergy(squares));
            mSecondEnergies.push_back(PairEnergy(squares + 2));
            std::fill(std::begin(squares), std::end(squares), 0.0);
        }
    }
    for (const double energy : mSecondEnergies) AddSubBlock(energy);
    mFilters[0] = secondFilter;
    for (size_t c = 0; c < mPeakInput.size(); ++c)
        std::copy(mSecondPeakInput[c].begin(), mSecondPeakInput[c].begin() + qc_detail::kTruePeakHistory,
                  mPeakInput[c].begin());
}

double BroadcastMeasures::PairEnergy(const double* pSquares) const {
    double energy = 0.0;
    for (size_t lane = 0; lane < 2; ++lane)
        if (mLaneWeights[lane] != kLeftOut) energy += mLaneWeights[lane] * pSquares[lane];
    return energy;
}

void BroadcastMeasures::EndSubBlock() {
    double energy = 0.0;
    for (size_t lane = 0; lane < mSquares.size(); ++lane) {
        if (mLaneWeights[lane] != kLeftOut) energy += mLaneWeights[lane] * mSquares[lane];
        mSquares[lane] = 0.0;
    }
    mSubFill = 0;
    AddSubBlock(energy);
}

void BroadcastMeasures::AddSubBlock(double pEnergy) {
    const auto slot = static_cast<size_t>(mSubBlocks % kShortTermSubBlocks);
    const double leaving = mRing[slot];
    mRing[slot] = pEnergy;
    ++mSubBlocks;

    const bool seriesStep = Kept(kModeSeries) && mSubBlocks % kRangeStepSubBlocks == 0;
    if (mSubBlocks >= kMomentarySubBlocks && (Kept(kModeMomentary) || seriesStep)) {
        double sum = 0.0;
        for (std::int64_t j = mSubBlocks - kMomentarySubBlocks; j < mSubBlocks; ++j)
            sum += mRing[static_cast<size_t>(j % kShortTermSubBlocks)];
        if (Kept(kModeMomentary) && (!mMaxMomentaryEnergy || sum > *mMaxMomentaryEnergy)) mMaxMomentaryEnergy = sum;
        if (seriesStep) mMomentaryEnergies.push_back(sum);
    } else if (seriesStep) {
        mMomentaryEnergies.push_back(kNoWindow);
    }
    // The running sum is rebuilt from the ring once per turn, so rounding
    // cannot pile up over a long file.
    if (mSubBlocks % kShortTermSubBlocks == 0) {
        mShortSum = 0.0;
        for (const double e : mRing) mShortSum += e;
    } else {
        mShortSum += pEnergy - (mSubBlocks > kShortTermSubBlocks ? leaving : 0.0);
    }
    if (mSubBlocks >= kShortTermSubBlocks) {
        const double sum = std::max(mShortSum, 0.0);
        if (Kept(kModeShortTerm) && (!mMaxShortEnergy || sum > *mMaxShortEnergy)) mMaxShortEnergy = sum;
        if (Kept(kModeRange | kModeSeries) && (mSubBlocks - kShortTermSubBlocks) % kRangeStepSubBlocks == 0)
            mRangeEnergies.push_back(sum);
    }
}

double BroadcastMeasures::Loudness(double pEnergySum, std::int64_t pFrames) const {
    return LinearToDB(std::sqrt(pEnergySum / static_cast<double>(pFrames)) / mFullScale) - kLoudnessOffsetDB;
}

std::optional<double> BroadcastMeasures::TruePeak() const {
    if (!mBegun || !Kept(kModeTruePeak) || mFrames < 1) return std::nullopt;
    return LinearToDB(static_cast<double>(std::max(mPeak, mSamplePeak)));
}

std::optional<std::int64_t> BroadcastMeasures::TruePeakFrame() const {
    if (!TruePeak()) return std::nullopt;
    return mPeakFrame;
}

std::optional<double> BroadcastMeasures::DownmixTruePeak() const {
    if (!mBegun || !mDownmix.Begun()) return std::nullopt;
    return mDownmix.TruePeak();
}

std::optional<double> BroadcastMeasures::MaxMomentary() const {
    if (!mMaxMomentaryEnergy) return std::nullopt;
    return Loudness(*mMaxMomentaryEnergy, static_cast<std::int64_t>(kMomentarySubBlocks) * mSubBlockFrames);
}

std::optional<double> BroadcastMeasures::MaxShortTerm() const {
    if (!mMaxShortEnergy) return std::nullopt;
    return Loudness(*mMaxShortEnergy, static_cast<std::int64_t>(kShortTermSubBlocks) * mSubBlockFrames);
}

std::vector<double> BroadcastMeasures::ShortTermSeries() const {
    std::vector<double> series;
    series.reserve(mRangeEnergies.size());
    const std::int64_t frames = static_cast<std::int64_t>(kShortTermSubBlocks) * mSubBlockFrames;
    for (const double e : mRangeEnergies) series.push_back(Loudness(e, frames));
    return series;
}

LoudnessSeries BroadcastMeasures::Series() const {
    LoudnessSeries series;
    if (!mBegun || !Kept(kModeSeries)) return series;
    series.StepFrames = static_cast<std::int64_t>(kRangeStepSubBlocks) * mSubBlockFrames;
    const std::int64_t momentaryFrames = static_cast<std::int64_t>(kMomentarySubBlocks) * mSubBlockFrames;
    series.Momentary.reserve(mMomentaryEnergies.size());
    for (const double e : mMomentaryEnergies)
        series.Momentary.push_back(e < 0.0 ? LoudnessSeries::kNoLoudness : Loudness(e, momentaryFrames));
    // The short-term values start with the first full window, step 29.
    const size_t steps = mMomentaryEnergies.size();
    const size_t empty = std::min(steps, static_cast<size_t>(kShortTermSubBlocks / kRangeStepSubBlocks - 1));
    series.ShortTerm.assign(empty, LoudnessSeries::kNoLoudness);
    const std::int64_t shortFrames = static_cast<std::int64_t>(kShortTermSubBlocks) * mSubBlockFrames;
    for (size_t i = 0; i < mRangeEnergies.size() && series.ShortTerm.size() < steps; ++i)
        series.ShortTerm.push_back(Loudness(mRangeEnergies[i], shortFrames));
    return series;
}

std::optional<double> BroadcastMeasures::LoudnessRange() const {
    if (!Kept(kModeRange) || mRangeEnergies.empty()) return std::nullopt;
    return LoudnessRangeOf(ShortTermSeries());
}

double BroadcastMeasures::LoudnessRangeOf(const std::vector<double>& pShortTerm) {
    // The relative gate lies 20 LU below the energy mean of the values that
    // pass the absolute gate, that mean taken as a loudness like any other.
    std::vector<double> kept;
    double meanSquare = 0.0;
    for (const double s : pShortTerm) {
        if (s > kRangeAbsoluteGateLUFS) {
            kept.push_back(s);
            meanSquare += std::pow(10.0, (s + kLoudnessOffsetDB) / 10.0);
        }
    }
    if (kept.empty()) return 0.0;
    meanSquare /= static_cast<double>(kept.size());
    const double gate = 10.0 * std::log10(meanSquare) - kLoudnessOffsetDB + kRangeRelativeGateLU;
    std::vector<double> gated;
    for (const double s : kept)
        if (s > gate) gated.push_back(s);
    if (gated.empty()) return 0.0;
    std::sort(gated.begin(), gated.end());
    auto rank = [&](double pFraction) {
        return gated[static_cast<size_t>(std::floor(static_cast<double>(gated.size() - 1) * pFraction + 0.5))];
    };
    return rank(kRangeHighPercentile) - rank(kRangeLowPercentile);
}

}  // namespace sonivate
