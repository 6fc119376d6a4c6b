#pragma once
// The order of titles in a list: what the file list and the command line's
// folder listing sort by, so that both faces list a folder alike.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sonivate {

// The sort key of a text: its UTF-16 code units after a simple lower-case
// mapping of the letters file names meet (ASCII, Latin-1, Latin Extended-A,
// Greek, Cyrillic, full-width Latin); malformed UTF-8 reads as U+FFFD.
std::u16string TextSortKey(std::string_view pText);

// The positions 0 .. pCount - 1 in ascending order, as a Shell sort with
// the gaps 1, 4, 13, 40, ... leaves them (not stable: items whose keys are
// equal keep the order this sort gives them). pGreater(a, b): item a sorts
// after item b.
std::vector<std::size_t> ShellSortOrder(std::size_t pCount,
                                        const std::function<bool(std::size_t, std::size_t)>& pGreater);

}  // namespace sonivate
