#pragma once
// The 32-bit type code of an entry's value. Codes outside the named ones occur in
// files and are carried as "Unknown".

#include <cstdint>
#include <string_view>

enum class ElementType : std::uint32_t {
    List = 0,
    Ascii = 1,
    Unicode = 2,
    Boolean = 8,
    Byte = 25,
    Double = 32,
    Float = 36,
    Short = 42,
    Long = 44,
    End = 63,
};

constexpr std::uint32_t ToCode(ElementType t) {
    return static_cast<std::uint32_t>(t);
}

// True for the codes named above.
bool IsKnownElementType(std::uint32_t code);

// The name shown for a code: "List", "ASCII", ..., "End", or "Unknown".
std::u16string_view ElementTypeName(std::uint32_t code);
std::string_view ElementTypeNameAscii(std::uint32_t code);

// The size of one value: Boolean and Byte 1, Short 2, Long and Float 4, Double 8;
// 0 for List, the strings, End and unknown codes.
std::uint32_t ValueSizeOf(std::uint32_t code);
