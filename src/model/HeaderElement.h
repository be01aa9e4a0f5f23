#pragma once
// The typed value of one Extended Header entry: a type code, an element count and
// the data, owned by the element and copied deeply.
//
// Number and boolean arrays are held as little-endian bytes, exactly as the file
// stores them, whatever the host. ASCII values are 8-bit strings, Unicode values
// UTF-16 strings; both end at their first NUL, as the file's strings do.
//
// Codes outside ElementType keep their payload bytes (one byte per element, as the
// file encoding sizes them), so that such entries survive a save unchanged.
//
// A large array read from a file may share the buffer it was read into instead of
// copying it (AssignShared): the bytes are then copied out only when the element
// is first changed, so an open file's values are held once, not twice.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/ElementType.h"

class HeaderElement {
  public:
    // End with count 1: "no value".
    HeaderElement() : HeaderElement(ToCode(ElementType::End), 1) {}
    // Allocates the data for `count` values of `type` (zeroed; empty strings).
    HeaderElement(std::uint32_t type, std::uint32_t count);
    HeaderElement(ElementType type, std::uint32_t count) : HeaderElement(ToCode(type), count) {}
    // ASCII, count 1, up to the first NUL of `text`.
    explicit HeaderElement(std::string_view text);
    // Unicode, count 1, up to the first NUL of `text`.
    explicit HeaderElement(std::u16string_view text);
    // Boolean, count 1.
    explicit HeaderElement(std::uint8_t booleanByte);

    HeaderElement(const HeaderElement&) = default;
    HeaderElement(HeaderElement&&) noexcept = default;
    HeaderElement& operator=(const HeaderElement&) = default;
    HeaderElement& operator=(HeaderElement&&) noexcept = default;

    // Releases the data, sets count and type, and allocates afresh.
    void Reset(std::uint32_t count, std::uint32_t type);
    // Sets the element from a stored payload: ASCII and Unicode take the string up
    // to its terminator (within the payload); End takes nothing; every other type
    // takes count x element size bytes. The payload must hold that many bytes.
    void Assign(std::uint32_t type, std::uint32_t count, std::span<const std::uint8_t> payload);
    // Assign, except that an array of kShareFrom bytes or more keeps a share of
    // `owner` (whose bytes hold `payload`) instead of a copy, until it is changed.
    void AssignShared(std::uint32_t type, std::uint32_t count,
                      std::span<const std::uint8_t> payload,
                      const std::shared_ptr<const std::vector<std::uint8_t>>& owner);
    // Smaller arrays are copied: a small value never keeps a whole block alive.
    static constexpr std::uint32_t kShareFrom = 64 * 1024;
    // Frees the data; count and byte size become 0.
    void Release();

    std::uint32_t GetType() const { return m_nType; }
    std::uint32_t GetCount() const { return m_nCount; }
    // Bytes held for a number, boolean or unknown array (count x element size).
    std::uint32_t GetByteSize() const { return m_nByteSize; }
    // The size of one value (0 for List, strings, End and unknown codes).
    std::uint32_t ValueSize() const { return ValueSizeOf(m_nType); }
    // The payload bytes the file encoding stores: ASCII length + 1, Unicode
    // 2 x length + 2, End 0, otherwise the array's bytes.
    std::uint64_t GetEncodedSize() const;
    // The array's bytes (little-endian); empty for End and strings.
    std::span<const std::uint8_t> GetBytes() const;

    // Element i of the array; the caller keeps i below the count.
    std::uint8_t GetByte(std::uint32_t i) const;
    void SetByte(std::uint32_t i, std::uint8_t v);
    std::int16_t GetShort(std::uint32_t i) const;
    void SetShort(std::uint32_t i, std::int16_t v);
    std::uint32_t GetUInt32(std::uint32_t i) const;  // Long, and Float by its bits
    void SetUInt32(std::uint32_t i, std::uint32_t v);
    std::int32_t GetLong(std::uint32_t i) const { return static_cast<std::int32_t>(GetUInt32(i)); }
    void SetLong(std::uint32_t i, std::int32_t v) { SetUInt32(i, static_cast<std::uint32_t>(v)); }
    float GetFloat(std::uint32_t i) const;
    void SetFloat(std::uint32_t i, float v);
    std::uint64_t GetUInt64(std::uint32_t i) const;  // Double by its bits
    double GetDouble(std::uint32_t i) const;
    void SetDouble(std::uint32_t i, double v);

    // The strings of ASCII and Unicode elements (empty for other types).
    const std::string& Ascii() const;
    const std::u16string& Unicode() const;

    // How Float and Double values are written and read: as the list shows them
    // ("%g", 6 digits; normal numbers only), or exactly (the shortest text that
    // reads back to the same bits; subnormal numbers too). Exactly, a Boolean
    // byte other than 0 and 1 is written as its number, and a number is read as
    // that byte (0 to 255), not as true; an integer with a leading zero (octal
    // as the list reads it: "010" is 8) is refused.
    enum class Reals { Shown, Exact };
    // The text form of the whole value; base is 10 or 16.
    void Format(std::u16string& out, int base, Reals reals = Reals::Shown) const;
    std::u16string Format(int base = 10, Reals reals = Reals::Shown) const {
        std::u16string s;
        Format(s, base, reals);
        return s;
    }
    // Makes this element a value of `type` from `text`. On failure returns false
    // with the index of the failing value in `failedIndex`; the element then has
    // the new type and count and values that must not be used.
    bool Parse(std::u16string_view text, std::uint32_t type, std::uint32_t& failedIndex,
               Reals reals = Reals::Shown);

    friend bool operator==(const HeaderElement& a, const HeaderElement& b);

  private:
    std::uint8_t* At(std::uint32_t i, std::uint32_t size);
    const std::uint8_t* At(std::uint32_t i, std::uint32_t size) const;

    std::uint32_t m_nType = ToCode(ElementType::End);
    std::uint32_t m_nCount = 0;
    std::uint32_t m_nByteSize = 0;
    // The bytes of a small array, held in the element itself: most values are a
    // number or a few, and a heap block for each cost more than the value.
    static constexpr std::uint32_t kInlineBytes = 24;
    struct InlineBytes {
        std::array<std::uint8_t, kInlineBytes> bytes{};
    };
    // m_nByteSize bytes of someone else's buffer, which the share keeps alive.
    struct SharedBytes {
        std::shared_ptr<const std::vector<std::uint8_t>> owner;
        const std::uint8_t* data = nullptr;
    };
    std::variant<std::monostate, std::vector<std::uint8_t>, std::string, std::u16string,
                 SharedBytes, InlineBytes>
        m_data;
};

// Bytes held per element for a type code: the value size for number and boolean
// types, 1 for codes outside ElementType, 0 for List, strings and End.
std::uint32_t StorageSizeOf(std::uint32_t code);
