#pragma once
// What a loudness measurement keeps, chosen when it is made, and how each
// figure reports whether it holds a value.

#include <cstdint>

namespace sonivate {

// Bits of a mode mask. A measurement does the work only for the bits it was
// given; a figure left out reads LoudnessStatus::NotKept.
enum LoudnessMode : std::uint32_t {
    // The 400 ms blocks of C_LKFSFCT and the gated (integrated) loudness.
    kModeIntegrated = 1u << 0,
    // The largest absolute sample value, dBFS.
    kModeSamplePeak = 1u << 1,
    // The 4x oversampled peak, dBTP.
    kModeTruePeak = 1u << 2,
    // The largest momentary (400 ms) loudness, LUFS.
    kModeMomentary = 1u << 3,
    // The largest short-term (3 s) loudness, LUFS.
    kModeShortTerm = 1u << 4,
    // The loudness range, LU, and the short-term values every 100 ms it comes from.
    kModeRange = 1u << 5,
    // The momentary and short-term loudness every 100 ms (LoudnessSeries).
    kModeSeries = 1u << 6,
};

// The figures the broadcast measures take beside the meter.
inline constexpr std::uint32_t kBroadcastModes =
    kModeTruePeak | kModeMomentary | kModeShortTerm | kModeRange | kModeSeries;
// What a batch row keeps: everything but the series, which costs memory.
inline constexpr std::uint32_t kModeAllButSeries =
    kModeIntegrated | kModeSamplePeak | kModeTruePeak | kModeMomentary | kModeShortTerm | kModeRange;
inline constexpr std::uint32_t kModeAll = kModeAllButSeries | kModeSeries;

enum class LoudnessStatus : std::uint8_t {
    Measured,     // the value holds the figure
    NotKept,      // the mode mask left the figure out
    TooShort,     // not yet enough audio for the figure (see each figure)
    Unsupported,  // the layout is not measured: 16 or 24 bit, 1, 2, 6 or 8 channels
};

// One figure and its status; Value is 0 unless Status is Measured.
template <class T>
struct LoudnessFigure {
    LoudnessStatus Status = LoudnessStatus::NotKept;
    T Value{};
    bool Measured() const { return Status == LoudnessStatus::Measured; }
};

}  // namespace sonivate
