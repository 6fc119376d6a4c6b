#pragma once
// The value of one list cell or hidden slot: empty, a number or a text.
//
// A cell that was never written is empty. Conversions follow the loose rules
// the list's hosts rely on: empty reads as "" and as 0; a number reads as its
// ordinary text form; a text reads as a number when it spells one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace sonivate {

class CellValue {
public:
    CellValue() = default;
    CellValue(double pNumber) : c_Value(pNumber) {}
    CellValue(std::int32_t pNumber) : c_Value(static_cast<double>(pNumber)) {}
    CellValue(std::string pText) : c_Value(std::move(pText)) {}
    CellValue(std::string_view pText) : c_Value(std::string(pText)) {}
    CellValue(const char* pText) : c_Value(std::string(pText != nullptr ? pText : "")) {}

    bool IsEmpty() const { return std::holds_alternative<std::monostate>(c_Value); }
    bool IsNumber() const { return std::holds_alternative<double>(c_Value); }
    bool IsText() const { return std::holds_alternative<std::string>(c_Value); }

    // Empty: "". Number: up to 15 significant digits, no trailing zeros,
    // exponent form ("1E+15", "1E-05") outside 1E-04 .. 1E+15; -0 shows as
    // "0". Text: as stored (UTF-8). Failure value "".
    std::string AsText() const;

    // Empty: 0. Number: itself. Text: the decimal number it spells (surrounding
    // spaces allowed, optional sign, optional fraction and exponent), 0 when
    // it spells none or one beyond the double range. Never throws.
    double AsNumber() const;

    // True for empty, for a number and for a text that AsNumber can read.
    bool ReadsAsNumber() const;

    // AsNumber rounded to the nearest integer (halves to even); nullopt when
    // the value does not read as a number or lies outside the 32-bit range.
    std::optional<std::int32_t> AsInt32() const;

    friend bool operator==(const CellValue&, const CellValue&) = default;

private:
    std::variant<std::monostate, double, std::string> c_Value;
};

}  // namespace sonivate
