#pragma once
// Shared by the list model's own files, not by its users: the selection
// flags, the rounding the geometry uses, the sort's keys and the callbacks'
// raising.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "common/decimal_text.h"
#include "common/error_trap.h"
#include "common/text_order.h"
#include "controls/model/cell_value.h"

namespace sonivate {
namespace list_view_model_detail {

inline constexpr std::int32_t kFlagSelected = 1;
// The sort marks the cursor item with this flag so that the cursor can follow it.
inline constexpr std::int32_t kFlagCursorMarker = 2;
// RndItem keeps each item within count / kShuffleReachDivisor + kShuffleReachBase
// rows of a random point, so the shuffle is local on long lists.
inline constexpr double kShuffleReachDivisor = 100.0;
inline constexpr double kShuffleReachBase = 7.0;

// round(x), halves to even (the default floating rounding mode), as a 32-bit
// integer; out of range is a run-time error.
inline std::int32_t RoundToInt32(double pValue) { return CheckedNarrow<std::int32_t>(std::nearbyint(pValue)); }

inline std::int32_t Limit(std::int64_t pValue, std::int64_t pLow, std::int64_t pHigh) {
    return static_cast<std::int32_t>(std::clamp(pValue, pLow, pHigh));
}

struct SortKey {
    // Numeric columns: 0 for a number, 1 for a text that spells none (sorts
    // after every number).
    std::int32_t Rank = 0;
    double Number = 0.0;
    std::u16string Text;
};

inline SortKey MakeKey(const CellValue& pCell, bool pNumeric) {
    SortKey key;
    if (pNumeric) {
        if (pCell.ReadsAsNumber() && !std::isnan(pCell.AsNumber()))
            key.Number = pCell.AsNumber();
        else
            key.Rank = 1;
    } else {
        key.Text = TextSortKey(pCell.AsText());
    }
    return key;
}

// The number a cell shows, read from its text as the operator reads it; a
// point is the decimal separator whatever the locale says.
inline std::optional<double> ShownNumber(const CellValue& pCell) { return ParseDecimal(pCell.AsText()); }

inline bool KeyGreater(const SortKey& pA, const SortKey& pB, bool pNumeric) {
    if (!pNumeric) return pA.Text > pB.Text;
    if (pA.Rank != pB.Rank) return pA.Rank > pB.Rank;
    return pA.Number > pB.Number;
}

inline std::function<double()> ClockSeededSource() {
    auto engine = std::make_shared<std::mt19937_64>(
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    return [engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(*engine); };
}

template <class Callback, class... Args>
void Raise(const Callback& pCallback, Args&... pArgs) {
    if (pCallback) pCallback(pArgs...);
}

// The change notices take their arguments by value.
template <class Callback, class... Args>
void Notify(const Callback& pCallback, Args... pArgs) {
    if (pCallback) pCallback(pArgs...);
}

}  // namespace list_view_model_detail
}  // namespace sonivate
