#pragma once
// Conversions of single numbers between wide text and values, with the C
// library's rules but independent of the current locale:
//  - integers as wcstol with base 0 and a 32-bit long (decimal, 0x hexadecimal,
//    leading-0 octal; a value outside the 32-bit range is a range error);
//  - reals as wcstod restricted to decimal forms (no hexadecimal, no infinity or
//    not-a-number words); overflow, and an underflow to zero or to a subnormal
//    value, are range errors, as with the GNU C library;
//  - "%g" with precision 6 for output.
// A token converts only when nothing but whitespace follows the number.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class NumberText {
  public:
    // The whitespace of iswspace in a UTF-8 locale of the GNU C library.
    static bool IsSpace(char16_t c);

    static std::optional<std::int32_t> ParseLong(std::u16string_view token);
    static std::optional<double> ParseDouble(std::u16string_view token);
    // "True"/"False" and "#TRUE#"/"#FALSE#" in any letter case, or a number
    // (non-zero is true), with whitespace around.
    static std::optional<bool> ParseBoolean(std::u16string_view token);

    // "%g" with precision 6 (two exponent digits at least: 1.23457e+06).
    static std::string FormatG(double value);

    // Text that reads back to the very value: the shortest decimal form that
    // does (std::to_chars), and its reading. A reading takes the decimal forms of
    // ParseDouble and converts straight to the type, subnormal values included;
    // overflow, and a non-zero number that underflows to zero, are refused. The
    // values without digits are words: "Infinity", "-Infinity", "NaN" (the quiet
    // NaN) and "NaN:0x" with the bits in hexadecimal for any other NaN.
    static std::string FormatExact(double value);
    static std::string FormatExact(float value);
    static std::optional<double> ParseExactDouble(std::u16string_view token);
    static std::optional<float> ParseExactFloat(std::u16string_view token);
    // "%.2f".
    static std::string FormatFixed2(double value);
};
