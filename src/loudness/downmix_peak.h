#pragma once
// The true peak of the stereo downmix of a 5.1 or 7.1 programme: what a
// stereo listener's meter would read when the surround file is folded down
// with the ITU-R BS.775 coefficients, LFE left out:
//
//   Lo = L + g*C + g*Ls (+ g*Lb for 7.1)
//   Ro = R + g*C + g*Rs (+ g*Rb for 7.1)      g = 0.7071 (-3 dB)
//
// Lo and Ro are formed from the samples scaled to full scale 1.0 (32767 or
// 8388607), then oversampled by the broadcast measures' true-peak
// oversampler (qc_kernels). The sums may exceed full scale: the figure then
// reads above 0 dBTP, which is the point of measuring it.
//
// Units: dBTP, 0 dBTP being the full-scale value as for the true peak.
// Failure values: Begin false for any layout but 5.1 and 7.1 or another bit
// depth than 16 and 24; TruePeak empty until a frame has been added.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "loudness/qc_kernels.h"
#include "wavefile/channel_layout.h"

namespace sonivate {

class DownmixPeak {
public:
    // The fold-down gain of the centre and of each surround channel.
    static constexpr double kFoldGain = 0.7071;

    // Whether pLayout has a stereo downmix to measure: 5.1 and 7.1.
    static bool Applies(ChannelLayout pLayout);

    // Starts a measurement of interleaved little-endian PCM of pLayout's
    // channels in file order, pBitsPerSample 16 or 24. Clears what an
    // earlier measurement left.
    bool Begin(ChannelLayout pLayout, std::int32_t pBitsPerSample);
    // The next pFrames whole frames at pBytes (at most what pBytes holds),
    // as stored in the data chunk. Ignored unless begun.
    void Add(std::span<const std::uint8_t> pBytes, std::int64_t pFrames);

    bool Begun() const { return mBegun; }
    std::int64_t Frames() const { return mFrames; }
    // The larger true peak of Lo and Ro, dBTP; -110 for digital silence.
    std::optional<double> TruePeak() const;

private:
    void Process(const std::uint8_t* pRaw, std::int32_t pFrames);

    bool mBegun = false;
    std::int32_t mChannels = 0;
    std::int32_t mBytesPerSample = 0;
    double mScale = 1.0;  // 1 / full scale
    std::int64_t mFrames = 0;
    const qc_detail::Kernels* mKernels = nullptr;
    // Each channel's share of Lo and of Ro.
    std::vector<double> mLeftGains;
    std::vector<double> mRightGains;
    // Lo and Ro of the current piece behind the oversampler's history.
    std::vector<float> mLo;
    std::vector<float> mRo;
    float mPeak = 0.0f;
    float mSamplePeak = 0.0f;
};

}  // namespace sonivate
