#pragma once
// The command line of a start (the first one or a later one handed over):
// options (AltFont=, SizeRate=, also written with a leading "/") and paths.

#include <string>
#include <vector>

namespace sonivate {

inline constexpr const char* kOptionAltFont = "AltFont=";
inline constexpr const char* kOptionSizeRate = "SizeRate=";

// The value of the first argument that is the option pPrefix.
bool OptionValue(const std::vector<std::string>& pArguments, const std::string& pPrefix, std::string& pValue);

// The path arguments in their order. Absolute paths are taken as they are; a
// relative one is taken when it names something in the folder the program was
// started from (a shell's "sonivate *.wav"), made absolute before the
// application folder becomes the current folder.
// pWorkingFolder: the folder relative paths start from ("" = the current one).
std::vector<std::string> PathArguments(const std::vector<std::string>& pArguments,
                                       const std::string& pWorkingFolder = "");

}  // namespace sonivate
