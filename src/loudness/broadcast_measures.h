#pragma once
// The broadcast measures of one file beside the programme loudness: true
// peak (ITU-R BS.1770-4 Annex 2), the largest momentary and short-term
// loudness, and the loudness range (EBU Tech 3342). They are taken from the
// same pieces of audio that C_LKFSFCT reads, so the file is read once.
//
// Units: true peak in dBTP (0 dBTP is the full-scale value 32767 or
// 8388607, as for the sample peak of C_LKFSFCT); loudness in LUFS; the range
// in LU. Loudness here is K-weighted in double precision throughout (no
// integer rounding between the stages) with the channel weights of
// C_LKFSFCT: a mono file counts as the same signal on two channels, 5.1 and
// 7.1 weigh the side surrounds 1.41 and leave out the LFE. The true peak
// covers every channel, the LFE included.
//
// Windows: momentary 400 ms and short-term 3 s, both evaluated every 10 ms
// from the first frame of the range; the loudness range takes the short-term
// values every 100 ms (10 Hz), drops those at or below -70 LUFS and those
// 20 LU or more below the energy mean of the rest, and spans the 10th to
// the 95th percentile (nearest rank) of what remains.
//
// Mode: the measures kept are chosen by a mask of LoudnessMode bits
// (kModeTruePeak, kModeMomentary, kModeShortTerm, kModeRange, kModeSeries;
// other bits are ignored). What is not kept is not computed: without the
// true peak no sample is oversampled, without the four loudness bits
// nothing is K-weighted. A measure left out reads empty.
//
// Failure values: Begin false for a layout it does not take (the measures
// then stay empty); each measure is empty when the audio given is too short
// for it: no frame for the true peak, 400 ms for the momentary loudness, 3 s
// for the short-term loudness and the range. A silent file reads -110 dBTP
// and -110.691 LUFS; its range is 0 LU.
//
// Downmix true peak: with the true peak kept and a 5.1 or 7.1 layout, the
// same read also takes the true peak of the stereo downmix (downmix_peak.h);
// it is empty for every other layout.

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "loudness/downmix_peak.h"
#include "loudness/loudness_mode.h"
#include "loudness/qc_kernels.h"
#include "wavefile/channel_layout.h"

namespace sonivate {

class C_LKFSFCT;

// Momentary (400 ms) and short-term (3 s) loudness every 100 ms of the
// measured range, LUFS (= LKFS). Entry k is the window that ends
// (k + 1) * StepFrames frames after the first frame of the range; both
// vectors have one entry per whole 100 ms step read. Where the window is
// not yet full (k < 3 for the momentary, k < 29 for the short-term
// loudness) the entry is kNoLoudness. Full windows hold their value as
// measured, below the absolute gate too (digital silence: -110.691).
struct LoudnessSeries {
    static constexpr double kNoLoudness = -std::numeric_limits<double>::infinity();
    static constexpr double kStepSeconds = 0.1;
    std::int64_t StepFrames = 0;  // frames per step: 4800 at 48000 Hz
    std::vector<double> Momentary;
    std::vector<double> ShortTerm;
};

class BroadcastMeasures {
public:
    // Everything but the series.
    static constexpr std::uint32_t kDefaultMode = kModeTruePeak | kModeMomentary | kModeShortTerm | kModeRange;

    // pMode: LoudnessMode bits; it holds for every measurement until changed.
    explicit BroadcastMeasures(std::uint32_t pMode = kDefaultMode) : mMode(pMode & kBroadcastModes) {}
    BroadcastMeasures(const BroadcastMeasures&) = delete;
    BroadcastMeasures& operator=(const BroadcastMeasures&) = delete;

    // Starts a measurement of interleaved little-endian PCM: 16 or 24 bit;
    // 1, 2, 6 (L R C LFE Ls Rs) or 8 (L R C LFE Lb Rb Ls Rs) channels.
    // Clears what an earlier measurement left.
    // The channels are those of DefaultChannelLayout(pChannels).
    bool Begin(std::int32_t pChannels, std::int32_t pBitsPerSample, std::int32_t pSampleRate);
    // The same for the channels of pLayout in file order (a file's mask as
    // ReadChannelLayout placed it); false for Unknown.
    bool Begin(ChannelLayout pLayout, std::int32_t pBitsPerSample, std::int32_t pSampleRate);
    // The next pFrames frames, stored as in the data chunk.
    void Add(std::span<const std::uint8_t> pBytes, std::int64_t pFrames);

    // Feeds this object from every piece pMeter reads in its next
    // measurements (Begin is called with the layout the meter placed,
    // C_LKFSFCT::Layout, on the first piece of each). The object must
    // outlive those measurements, and pMeter must outlive this object's
    // listening.
    void Listen(C_LKFSFCT& pMeter);

    // The mode of the next measurements (Begin takes it).
    void SetMode(std::uint32_t pMode) { mMode = pMode & kBroadcastModes; }
    std::uint32_t Mode() const { return mMode; }
    // Opt-in: keep the momentary loudness every 100 ms for Series(); sets or
    // clears kModeSeries. Off by default, when nothing more is kept than the
    // figures need; the choice holds for every later measurement until changed.
    void KeepSeries(bool pKeep) { SetMode(pKeep ? mMode | kModeSeries : mMode & ~std::uint32_t{kModeSeries}); }
    bool KeepsSeries() const { return (mMode & kModeSeries) != 0; }
    // The series of the last measurement; empty vectors when KeepSeries was
    // off during it or nothing was measured.
    LoudnessSeries Series() const;

    bool Begun() const { return mBegun; }
    std::int64_t Frames() const { return mFrames; }
    std::optional<double> TruePeak() const;       // dBTP
    std::optional<double> MaxMomentary() const;   // LUFS
    std::optional<double> MaxShortTerm() const;   // LUFS
    std::optional<double> LoudnessRange() const;  // LU
    // The true peak of the stereo downmix, dBTP: kept with kModeTruePeak
    // for a 5.1 or 7.1 layout; empty otherwise and before the first frame.
    std::optional<double> DownmixTruePeak() const;
    // Where the true peak was found: the first frame (from the measurement's
    // first frame) of the decoding chunk that holds it, at most 2048 frames
    // (about 43 ms at 48 kHz) before it; empty when TruePeak() is.
    std::optional<std::int64_t> TruePeakFrame() const;
    // The layout of the running or last measurement; Unknown before Begin.
    ChannelLayout Layout() const { return mLayout; }
    // The short-term loudness every 100 ms, LUFS, in time order; kept with
    // kModeRange or kModeSeries.
    std::vector<double> ShortTermSeries() const;

    // The loudness range of a series of short-term values (LUFS) with the
    // gates and percentiles above, LU; 0 when none passes the gates.
    static double LoudnessRangeOf(const std::vector<double>& pShortTerm);

private:
    void ProcessInOrder(const std::uint8_t* pRaw, std::int64_t pFrames);
    // Stereo: the pHalf frames at pRaw and the pHalf frames after them,
    // K-weighted side by side; pHalf a whole number of sub-blocks, the first
    // starting on a sub-block boundary, and at least the warm-up frames
    // before the second half readable.
    void ProcessHalves(const std::uint8_t* pRaw, std::int64_t pHalf);
    void Process(const std::uint8_t* pRaw, std::int32_t pFrames);
    void DecodeStereo(const std::uint8_t* pRaw, std::int32_t pFrames, std::vector<std::vector<float>>& pPeakInput,
                      std::vector<double>& pPairInput);
    // pAt: the frame of the chunk's first frame, kept as the peak's place
    // when the chunk raises the peak.
    void ScanPeaks(std::vector<std::vector<float>>& pPeakInput, std::int32_t pFrames, std::int64_t pAt);
    // The weighted energy of lanes 0 and 1 of one channel pair.
    double PairEnergy(const double* pSquares) const;
    void EndSubBlock();
    void AddSubBlock(double pEnergy);
    double Loudness(double pEnergySum, std::int64_t pFrames) const;
    // Whether the running measurement keeps any of pModes.
    bool Kept(std::uint32_t pModes) const { return (mKept & pModes) != 0; }

    bool mBegun = false;
    ChannelLayout mLayout = ChannelLayout::Unknown;
    std::int32_t mChannels = 0;
    std::int32_t mBytesPerSample = 0;
    double mFullScale = 1.0;
    std::int32_t mSubBlockFrames = 0;  // 10 ms
    std::int64_t mFrames = 0;
    const qc_detail::Kernels* mKernels = nullptr;

    // Weight of each lane of each channel pair (a mono file fills both
    // lanes of one pair with its channel).
    std::vector<double> mLaneWeights;
    std::vector<qc_detail::KWeightState> mFilters;
    std::vector<double> mSquares;  // per lane, current sub-block
    std::int32_t mSubFill = 0;     // frames of the current sub-block

    // Per channel: the float samples of the current piece behind the
    // history the oversampler needs.
    std::vector<std::vector<float>> mPeakInput;
    std::vector<double> mPairInput;  // per pair, interleaved lanes
    // The same for the second half of a piece weighted in two halves, and
    // the energies of that half's sub-blocks until the first half's are in.
    std::vector<std::vector<float>> mSecondPeakInput;
    std::vector<double> mSecondPairInput;
    std::vector<double> mSecondEnergies;
    float mPeak = 0.0f;  // largest true-peak magnitude, full scale 1.0
    float mSamplePeak = 0.0f;
    std::int64_t mPeakFrame = 0;  // see TruePeakFrame
    DownmixPeak mDownmix;         // begun for 5.1 and 7.1 with the true peak kept

    // Energies (weighted sums of squares) of the last sub-blocks, a ring.
    std::vector<double> mRing;
    std::int64_t mSubBlocks = 0;
    double mShortSum = 0.0;  // running sum over the last short-term window
    std::optional<double> mMaxMomentaryEnergy;
    std::optional<double> mMaxShortEnergy;
    std::vector<double> mRangeEnergies;  // short-term energy sums every 100 ms
    std::uint32_t mMode = kDefaultMode;
    std::uint32_t mKept = 0;                 // the mode of the measurement Begin started
    std::vector<double> mMomentaryEnergies;  // momentary energy sums every 100 ms; negative: no full window
};

}  // namespace sonivate
