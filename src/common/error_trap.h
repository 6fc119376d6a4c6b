#pragma once
// The process-wide error trapping switch.
//
// ErrorCatch() == 0 (the normal state): a routine that meets an unexpected
// run-time error stops where it is, releases what it holds (RAII does that
// for us) and returns its failure value; the user sees nothing.
// ErrorCatch() != 0 (diagnosis): the error travels on to the caller.
//
// Every routine goes through Trap()/Trapped() below instead of writing its own
// try/catch, so the switch is honoured in exactly one place.

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

namespace sonivate {

// An unexpected run-time error: overflow in a narrowing, a division by zero,
// an impossible state. Anything else thrown (std::bad_alloc included) is
// treated the same way by the trap.
class RunTimeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::int32_t ErrorCatch();
void SetErrorCatch(std::int32_t pValue);

// The start-up rule: the stored setting when non-zero; otherwise 1 when a
// file (not a folder) named "ec.txt" stands in pAppFolder, else 0.
std::int32_t DecideErrorCatch(std::int32_t pSetting, const std::string& pAppFolder);

// Runs pBody. Returns true when it completed, false when it threw and the
// switch says to trap. With trapping off the exception propagates.
template <class Body>
bool Trap(Body&& pBody) {
    if (ErrorCatch() != 0) {
        std::forward<Body>(pBody)();
        return true;
    }
    try {
        std::forward<Body>(pBody)();
        return true;
    } catch (...) {
        return false;
    }
}

// Runs pBody and returns its result, or pFailure when an error was trapped.
template <class R, class Body>
R Trapped(R pFailure, Body&& pBody) {
    R result = pFailure;
    Trap([&] { result = std::forward<Body>(pBody)(); });
    return result;
}

// For the few routines whose failure is an expected answer (existence
// tests, rename, the timed wait): they trap whatever the switch says.
template <class R, class Body>
R AlwaysTrapped(R pFailure, Body&& pBody) {
    try {
        return std::forward<Body>(pBody)();
    } catch (...) {
        return pFailure;
    }
}

// Narrows an integer or a floating value the way a checked conversion does:
// out of range is a run-time error, not a silent wrap.
template <class To, class From>
To CheckedNarrow(From pValue) {
    static_assert(std::is_integral_v<To>);
    if constexpr (std::is_floating_point_v<From>) {
        if (!(pValue >= static_cast<From>(std::numeric_limits<To>::min()) &&
              pValue <= static_cast<From>(std::numeric_limits<To>::max())))
            throw RunTimeError("overflow");
        return static_cast<To>(pValue);
    } else {
        if (!std::in_range<To>(pValue)) throw RunTimeError("overflow");
        return static_cast<To>(pValue);
    }
}

}  // namespace sonivate
