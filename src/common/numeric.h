#pragma once
// Small numeric routines shared by the audio code.

#include <cstdint>
#include <string>
#include <string_view>

namespace sonivate {

// Decibel floor shared by both directions: -110 dB and below is silence.
inline constexpr double kSilenceDB = -110.0;

// 20 * log10(pRatio); kSilenceDB for pRatio <= 0.
double LinearToDB(double pRatio);

// 10^(pDB / 20); 0.0 for pDB <= kSilenceDB.
double DBToLinear(double pDB);

// The unsigned 32-bit pattern of a value: integer part; above 4294967295 all
// ones (-1); negative values 0; 2^31 .. 2^32-1 wrap to the same bit pattern.
std::int32_t ToUInt32Bits(double pValue);

// A 32-bit pattern read as unsigned.
std::int64_t FromUInt32Bits(std::int32_t pBits);

// pValue rounded to the nearest integer, halves to even, limited to the
// 32-bit range (NaN gives 0).
std::int32_t RoundHalfEven(double pValue);
// 1 when the integer part (rounded down) is odd, else 0. Used for RIFF pad bytes.
std::int32_t IsOddNumber(std::int64_t pValue);
std::int32_t IsOddNumber(double pValue);

// pText with the full-width digits, plus and minus signs and full stop
// (U+FF10..U+FF19, U+FF0B, U+FF0D, U+FF0E), the minus sign U+2212 and the
// ideographic space U+3000 turned into their ASCII forms, so that a number
// typed with a Japanese input method reads as what it says. Every other
// byte stays; a comma stays a comma (it is no decimal point here).
std::string AsciiNumberText(std::string_view pText);

}  // namespace sonivate
