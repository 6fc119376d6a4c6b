#pragma once
// What a row does when its gain would push its copy over the ceiling.

#include <cstdint>
#include <optional>
#include <string>

#include "loudness/true_peak_limiter.h"

namespace sonivate {

enum class ClipAction : std::int32_t {
    Skip,   // not written (clip avoidance: the default)
    Write,  // written at the full gain, clipped where it must be
    Lower,  // the gain lowered until the copy's true peak is at most the ceiling
    Limit,  // the full gain, and a true-peak limiter only where the gained signal exceeds the ceiling
};

// The ceiling for Lower and Limit without a profile or an explicit choice
// (dBTP): the usual broadcast delivery limit.
inline constexpr double kDefaultCeilingDBTP = kLimiterDefaultCeilingDBTP;
// The most gain reduction the limiter may apply before a row is refused (dB).
inline constexpr double kDefaultMaxReductionDB = kLimiterDefaultMaxReductionDB;

// "skip", "write", "lower", "limit".
const char* ClipActionCode(ClipAction pAction);
// The action named pCode (as ClipActionCode gives it); none for another text.
std::optional<ClipAction> ClipActionOfCode(const std::string& pCode);

// What the copy step did about clipping (RowResult::ClipTaken).
enum class ClipTaken : std::int32_t {
    None,     // the gain did not reach the ceiling, or nothing was written
    Clipped,  // written at the full gain, clipped (Write)
    Lowered,  // written at a lower gain (Lower)
    Limited,  // written at the full gain through the limiter (Limit)
};

// "", "clipped", "lowered", "limited".
const char* ClipTakenCode(ClipTaken pTaken);

}  // namespace sonivate
