#pragma once
// One measurement that audio is pushed to: made for a layout and a mode
// mask, fed the bytes of the data chunk in pieces of any size, asked for its
// figures at any time. It owns the meter (C_LKFSFCT: blocks, gated loudness,
// sample peak) and the broadcast measures (true peak, momentary and
// short-term maxima, loudness range, series) and hands both the same bytes,
// so whoever reads a file (a measurement, a copy) measures it on the way.
//
// Units: loudness LUFS (= LKFS), range LU, sample peak dBFS, true peak
// dBTP; 0 dBFS and 0 dBTP are the full-scale values 32767 and 8388607. The
// figures are those of C_LKFSFCT and BroadcastMeasures over the same frames
// (a mono file counts as the same signal on two channels; 5.1 and 7.1 weigh
// the surrounds Ls, Rs 1.41 and leave out the LFE, except in the peaks).
// With the true peak kept, a 5.1 or 7.1 layout also gives the true peak of
// its stereo downmix (downmix_peak.h).
//
// Status: a figure outside the mode reads NotKept, any figure of a layout
// the meter does not take Unsupported, and a figure without enough audio
// TooShort: the integrated loudness before the first 400 ms block, the
// peaks before the first frame, the momentary maximum before 400 ms, the
// short-term maximum and the range before 3 s, the series before its first
// 100 ms step.

#include <cstdint>
#include <span>

#include "loudness/broadcast_measures.h"
#include "loudness/c_lkfsfct.h"
#include "loudness/frame_stream.h"
#include "loudness/loudness_mode.h"

namespace sonivate {

class LoudnessState {
public:
    // Interleaved little-endian PCM: pChannels 1, 2, 6 (L R C LFE Ls Rs) or
    // 8 (L R C LFE Lb Rb Ls Rs); pBitsPerSample 16 or 24; pSampleRate frames
    // per second. pMode: LoudnessMode bits, fixed for the object's life.
    LoudnessState(std::int32_t pChannels, std::int32_t pBitsPerSample, std::int32_t pSampleRate, std::uint32_t pMode);
    // The same for the channels of pLayout in file order, as
    // ReadChannelLayout placed a file's mask; Unknown is Unsupported.
    LoudnessState(ChannelLayout pLayout, std::int32_t pBitsPerSample, std::int32_t pSampleRate, std::uint32_t pMode);
    LoudnessState(const LoudnessState&) = delete;
    LoudnessState& operator=(const LoudnessState&) = delete;

    // Measured when the layout is taken, Unsupported otherwise.
    LoudnessStatus Status() const { return mSupported ? LoudnessStatus::Measured : LoudnessStatus::Unsupported; }
    std::uint32_t Mode() const { return mMode; }

    // The next bytes of the data chunk, cut anywhere: a frame split between
    // two pushes is measured once its last byte arrives. False when the
    // layout is not taken or Finish was called.
    bool Push(std::span<const std::uint8_t> pBytes);
    // Whole frames pushed.
    std::int64_t Frames() const { return mFrames; }

    LoudnessFigure<double> Integrated() const;     // LUFS
    LoudnessFigure<double> SamplePeak() const;     // dBFS
    LoudnessFigure<double> TruePeak() const;       // dBTP
    LoudnessFigure<double> MaxMomentary() const;   // LUFS
    LoudnessFigure<double> MaxShortTerm() const;   // LUFS
    LoudnessFigure<double> LoudnessRange() const;  // LU
    LoudnessFigure<LoudnessSeries> Series() const;
    // The true peak of the stereo downmix, dBTP: kept with kModeTruePeak for
    // 5.1 and 7.1, NotKept for other layouts.
    LoudnessFigure<double> DownmixTruePeak() const;

    // Ends the pushes. With kModeIntegrated the meter then reads as after
    // C_LKFSFCT::MeasureLKFS over the frames pushed (LKFSValue, PeakValue,
    // AsymptoteLKFS); false when it has no complete block. The figures
    // above stay as they were.
    bool Finish();

    // The meter behind the figures: its blocks (BlockPower, BlockLKFS,
    // NumBlock) follow every push with kModeIntegrated; CalcLKFS works on
    // them at any time.
    const C_LKFSFCT& Meter() const { return mMeter; }
    // The broadcast measures behind the figures, for code written against them.
    const BroadcastMeasures& Measures() const { return mMeasures; }

private:
    void AddFrames(const std::uint8_t* pRaw, std::int64_t pFrames);
    template <int BytesPerSample>
    void ScanSamplePeak(const std::uint8_t* pRaw, std::int64_t pSamples);
    LoudnessFigure<double> Figure(std::uint32_t pModes, bool pReady, double pValue) const;

    std::uint32_t mMode;
    bool mSupported = false;
    bool mFinished = false;
    std::int32_t mChannels;
    std::int32_t mBytesPerSample;
    std::int32_t mFullScale = 1;
    std::int64_t mFrames = 0;
    // Largest absolute sample when the meter does not run, file scale.
    std::int32_t mPeakSample = 0;
    FrameStream mStream;
    C_LKFSFCT mMeter;
    BroadcastMeasures mMeasures;
};

}  // namespace sonivate
