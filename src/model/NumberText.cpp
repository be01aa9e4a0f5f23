#include "model/NumberText.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>

namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

int DigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return 99;
}

std::size_t SkipSpace(std::u16string_view s, std::size_t i) {
    while (i < s.size() && NumberText::IsSpace(s[i])) ++i;
    return i;
}

bool OnlySpaceFrom(std::u16string_view s, std::size_t i) {
    return SkipSpace(s, i) == s.size();
}

bool EqualsIgnoringCase(std::u16string_view s, std::u16string_view lowerWord) {
    if (s.size() != lowerWord.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
        if (c != lowerWord[i]) return false;
    }
    return true;
}

}  // namespace

bool NumberText::IsSpace(char16_t c) {
    return c == u' ' || (c >= 0x09 && c <= 0x0D) || c == 0x1680 || (c >= 0x2000 && c <= 0x2006) ||
           (c >= 0x2008 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x205F || c == 0x3000;
}

std::optional<std::int32_t> NumberText::ParseLong(std::u16string_view s) {
    std::size_t i = SkipSpace(s, 0);
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
    int base = 10;
    if (i < s.size() && s[i] == u'0') {
        if (i + 2 < s.size() && (s[i + 1] == u'x' || s[i + 1] == u'X') &&
            DigitValue(s[i + 2]) < 16) {
            base = 16;
            i += 2;
        } else {
            base = 8;  // the leading 0 is itself an octal digit
        }
    }
    std::size_t first = i;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    while (i < s.size() && DigitValue(s[i]) < base) {
        magnitude =
            magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(DigitValue(s[i]));
        if (magnitude > 0x80000000ull) {
            overflow = true;
            magnitude = 0x80000000ull + 1;  // keep saturated; only "too big" matters
        }
        ++i;
    }
    if (i == first) return std::nullopt;  // no digit converted
    if (!OnlySpaceFrom(s, i)) return std::nullopt;
    if (overflow) return std::nullopt;
    if (negative) {
        if (magnitude > 0x80000000ull) return std::nullopt;
        return static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
    }
    if (magnitude > 0x7FFFFFFFull) return std::nullopt;
    return static_cast<std::int32_t>(magnitude);
}

namespace {

// The decimal number of a real token (digits [. digits] [e [sign] digits], sign
// apart), or none when the token is no such number with only whitespace around.
struct DecimalToken {
    std::string number;
    bool negative = false;
    bool nonZeroDigit = false;
};
std::optional<DecimalToken> ScanDecimal(std::u16string_view s) {
    DecimalToken t;
    std::size_t i = SkipSpace(s, 0);
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) t.negative = s[i++] == u'-';
    std::string& number = t.number;
    bool anyDigit = false;
    while (i < s.size() && IsDigit(s[i])) {
        anyDigit = true;
        t.nonZeroDigit |= s[i] != u'0';
        number.push_back(static_cast<char>(s[i++]));
    }
    if (i < s.size() && s[i] == u'.') {
        std::size_t j = i + 1;
        std::string fraction;
        while (j < s.size() && IsDigit(s[j])) {
            t.nonZeroDigit |= s[j] != u'0';
            fraction.push_back(static_cast<char>(s[j++]));
        }
        if (anyDigit || !fraction.empty()) {
            anyDigit = true;
            number += '.';
            number += fraction;
            i = j;
        }
    }
    if (!anyDigit) return std::nullopt;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-'))
            exponent.push_back(static_cast<char>(s[j++]));
        if (j < s.size() && IsDigit(s[j])) {
            while (j < s.size() && IsDigit(s[j])) exponent.push_back(static_cast<char>(s[j++]));
            number += exponent;
            i = j;
        }
    }
    if (!OnlySpaceFrom(s, i)) return std::nullopt;
    return t;
}

template <typename Real>
std::optional<Real> ReadDecimal(const DecimalToken& t) {
    Real value = 0;
    auto [ptr, ec] = std::from_chars(t.number.data(), t.number.data() + t.number.size(), value,
                                     std::chars_format::general);
    if (ec != std::errc() || ptr != t.number.data() + t.number.size()) return std::nullopt;
    if (std::isinf(value)) return std::nullopt;
    if (t.nonZeroDigit && value == 0) return std::nullopt;
    return t.negative ? -value : value;
}

// The bits of a real, as an unsigned integer of its size.
template <typename Real>
using BitsOf = std::conditional_t<sizeof(Real) == 4, std::uint32_t, std::uint64_t>;

// The shortest text that reads back as `value`; the values without digits as
// words: "Infinity", "-Infinity", "NaN" (the quiet NaN) and "NaN:0x" with the
// bits in hexadecimal for every other NaN.
template <typename Real>
std::string ExactText(Real value) {
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    if (std::isnan(value)) {
        const auto bits = std::bit_cast<BitsOf<Real>>(value);
        if (bits == std::bit_cast<BitsOf<Real>>(std::numeric_limits<Real>::quiet_NaN()))
            return "NaN";
        char buf[24];
        auto r = std::to_chars(buf, buf + sizeof buf, bits, 16);
        return "NaN:0x" + std::string(buf, r.ptr);
    }
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

// A token of ExactText: a decimal number, or one of its words (spelt as it
// writes them; whitespace around).
template <typename Real>
std::optional<Real> ReadExact(std::u16string_view s) {
    std::size_t b = SkipSpace(s, 0), e = s.size();
    while (e > b && NumberText::IsSpace(s[e - 1])) --e;
    const std::u16string_view word = s.substr(b, e - b);
    if (word == u"Infinity") return std::numeric_limits<Real>::infinity();
    if (word == u"-Infinity") return -std::numeric_limits<Real>::infinity();
    if (word == u"NaN") return std::numeric_limits<Real>::quiet_NaN();
    if (word.substr(0, 6) == u"NaN:0x" && word.size() > 6 && word.size() <= 6 + 2 * sizeof(Real)) {
        BitsOf<Real> bits = 0;
        for (char16_t c : word.substr(6)) {
            const int digit = DigitValue(c);
            if (digit > 15) return std::nullopt;
            bits = static_cast<BitsOf<Real>>(bits << 4 | static_cast<unsigned>(digit));
        }
        const Real value = std::bit_cast<Real>(bits);
        if (std::isnan(value)) return value;
        return std::nullopt;
    }
    const auto token = ScanDecimal(s);
    return token ? ReadDecimal<Real>(*token) : std::nullopt;
}

}  // namespace

std::optional<double> NumberText::ParseDouble(std::u16string_view s) {
    const auto token = ScanDecimal(s);
    if (!token) return std::nullopt;
    const auto value = ReadDecimal<double>(*token);
    if (value && std::fpclassify(*value) == FP_SUBNORMAL) return std::nullopt;
    return value;
}

std::optional<double> NumberText::ParseExactDouble(std::u16string_view s) {
    return ReadExact<double>(s);
}

std::optional<float> NumberText::ParseExactFloat(std::u16string_view s) {
    return ReadExact<float>(s);
}

std::string NumberText::FormatExact(double value) {
    return ExactText(value);
}

std::string NumberText::FormatExact(float value) {
    return ExactText(value);
}

std::optional<bool> NumberText::ParseBoolean(std::u16string_view s) {
    std::size_t b = SkipSpace(s, 0);
    std::size_t e = s.size();
    while (e > b && IsSpace(s[e - 1])) --e;
    std::u16string_view word = s.substr(b, e - b);
    if (EqualsIgnoringCase(word, u"true") || EqualsIgnoringCase(word, u"#true#")) return true;
    if (EqualsIgnoringCase(word, u"false") || EqualsIgnoringCase(word, u"#false#")) return false;
    if (auto v = ParseDouble(word)) return *v != 0;
    return std::nullopt;
}

std::string NumberText::FormatG(double value) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 6);
    return std::string(buf, r.ptr);
}

std::string NumberText::FormatFixed2(double value) {
    char buf[512];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
    return std::string(buf, r.ptr);
}
