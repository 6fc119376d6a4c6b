#pragma once
// Multichannel test files for the command's tests: a tone per channel, any
// extensible channel mask, and compressed audio carried as PCM (Dolby E
// bursts in a 24-bit channel pair) that no gain may touch.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/wavgen.h"

namespace sonivate::test {

inline constexpr std::int32_t kSurroundRate = 48000;

// pSeconds of a steady tone per channel, each of its own pitch and level
// (about -20 dBFS and below), so that every channel weighs in the loudness.
inline Samples ChannelTones(std::int16_t pChannels, std::int16_t pBits, double pSeconds) {
    constexpr double kPi = 3.14159265358979323846;
    const double pitches[] = {440.0, 554.0, 330.0, 60.0, 880.0, 1200.0, 700.0, 2500.0};
    const double levels[] = {0.10, 0.08, 0.12, 0.15, 0.05, 0.06, 0.09, 0.04};  // of full scale
    const double top = pBits == 16 ? 32767.0 : 8388607.0;
    const auto frames = static_cast<std::int64_t>(pSeconds * kSurroundRate);
    Samples samples(static_cast<size_t>(frames * pChannels));
    for (std::int64_t f = 0; f < frames; ++f)
        for (std::int16_t c = 0; c < pChannels; ++c)
            samples[static_cast<size_t>(f * pChannels + c)] = static_cast<std::int32_t>(std::lround(
                top * levels[c % 8] * std::sin(2.0 * kPi * pitches[c % 8] * static_cast<double>(f) / kSurroundRate)));
    return samples;
}

// pFile with its extensible "fmt " chunk's channel mask set to pMask.
inline Bytes WithChannelMask(Bytes pFile, std::uint32_t pMask) {
    // The mask follows the 16 bytes of the plain record, the extension's
    // size and the valid bits.
    constexpr size_t kMaskInPayload = 20;
    const std::string id = "fmt ";
    const auto at = std::search(pFile.begin(), pFile.end(), id.begin(), id.end());
    const size_t mask = static_cast<size_t>(at - pFile.begin()) + 8 + kMaskInPayload;
    for (size_t b = 0; b < 4; ++b) pFile[mask + b] = static_cast<std::uint8_t>(pMask >> (8 * b));
    return pFile;
}

// An extensible file of pChannels tones whose mask says pMask.
inline Bytes MaskedTones(std::int16_t pChannels, std::uint32_t pMask) {
    constexpr double kSeconds = 3.0;
    WavSpec shape;
    shape.channels = pChannels;
    shape.bitsPerSample = 24;
    shape.formatTag = 0xFFFE;
    return WithChannelMask(BuildWav(shape, ChannelTones(pChannels, 24, kSeconds)), pMask);
}

// pChannels of tones, 24 bit (extensible where more than two), with Dolby E
// bursts in channels 0 and 1: 24-bit words, one burst every video frame at
// 25 frames per second, each the four preamble words and a random payload.
inline Bytes EncodedPair(std::int16_t pChannels) {
    constexpr double kSeconds = 3.0;
    constexpr std::uint32_t kPa = 0x96F872, kPb = 0xA54E1F;  // the sync words of 24-bit bursts
    constexpr std::uint32_t kDolbyE = 28;                    // the burst info's data type
    constexpr std::int64_t kBurstPeriod = kSurroundRate / 25;
    constexpr std::uint32_t kWordMask = 0xFFFFFF;
    Samples samples = ChannelTones(pChannels, 24, kSeconds);
    const auto frames = static_cast<std::int64_t>(samples.size()) / pChannels;
    std::mt19937 random(11);
    const auto stored = [](std::uint32_t pWord) {
        return static_cast<std::int32_t>(pWord ^ 0x800000u) - static_cast<std::int32_t>(0x800000);
    };
    for (std::int64_t start = 0; start + kBurstPeriod <= frames; start += kBurstPeriod) {
        const std::int64_t payloadWords = kBurstPeriod / 2;
        std::vector<std::uint32_t> words = {kPa, kPb, kDolbyE,
                                            static_cast<std::uint32_t>(payloadWords * 24) & kWordMask};
        for (std::int64_t w = 0; w < payloadWords; ++w)
            words.push_back(static_cast<std::uint32_t>(random()) & kWordMask);
        for (size_t w = 0; w < words.size(); ++w) {
            const std::int64_t frame = start + static_cast<std::int64_t>(w / 2);
            samples[static_cast<size_t>(frame * pChannels) + w % 2] = stored(words[w]);
        }
    }
    WavSpec shape;
    shape.channels = pChannels;
    shape.bitsPerSample = 24;
    shape.formatTag = pChannels > 2 ? 0xFFFE : 1;
    return BuildWav(shape, samples);
}

}  // namespace sonivate::test
