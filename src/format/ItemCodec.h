#pragma once
// The smallest unit of the Extended Header block: one typed item.
//
//   code byte: bits 7-2 the type code, bits 1-0 the length code n
//   length:    n bytes, little-endian (List: the number of content items)
//   payload:   the value (none for List and End)
//
// The End item is the single byte 0xFC.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "model/HeaderElement.h"

namespace ItemCodec {

constexpr std::uint8_t kEndItem = 0xFC;
constexpr std::uint32_t kMaxPayload = 0xFFFFFF;  // what a 3-byte length holds

struct DecodedItem {
    std::uint32_t type = 0;
    // ASCII: payload size (terminator included); Unicode: 1; List: the number of
    // content items; End: 1; others: payload size / element size.
    std::uint32_t count = 0;
    std::uint32_t size = 0;    // the length field's value
    std::size_t position = 0;  // of the code byte
    std::size_t data = 0;      // of the payload (for a List, of its content)
    std::size_t next = 0;      // of the following item (for a List, its content)

    bool IsList() const { return type == ToCode(ElementType::List); }
    bool IsEnd() const { return type == ToCode(ElementType::End); }
    bool IsAscii() const { return type == ToCode(ElementType::Ascii); }
    // The payload bytes a value is made from.
    std::span<const std::uint8_t> Payload(std::span<const std::uint8_t> block) const;
    // An ASCII item's text up to its terminator.
    std::string_view Text(std::span<const std::uint8_t> block) const;
};

// Element size for the payload: Double 8; Float and Long 4; Short 2; End 0;
// every other code, known or not, 1.
std::uint32_t ElementSizeOf(std::uint32_t type);

// Decodes the item at `pos`; the block ends at `block.size()` (the limit).
// Fails (nullopt) on any check of the format.
std::optional<DecodedItem> DecodeItem(std::span<const std::uint8_t> block, std::size_t pos);

// The payload size written in the length field of `value`'s item, or nullopt when
// it exceeds kMaxPayload.
std::optional<std::uint32_t> PayloadSizeOf(const HeaderElement& value);
// Total encoded size of `value`'s item (1 + n + payload bytes), or nullopt.
std::optional<std::size_t> EncodedItemSize(const HeaderElement& value);

// Append one item to `out`; false (nothing appended) when it cannot be encoded.
bool EncodeItem(std::vector<std::uint8_t>& out, const HeaderElement& value);
// For an array (a number, boolean or unknown type): appends the item's code byte
// and length field only; its payload is value.GetBytes(). False (nothing
// appended) for other types or when it cannot be encoded.
bool EncodeArrayItemHeader(std::vector<std::uint8_t>& out, const HeaderElement& value);
bool EncodeAsciiItem(std::vector<std::uint8_t>& out, std::string_view text);
bool EncodeListItem(std::vector<std::uint8_t>& out, std::uint32_t itemCount);
std::size_t AsciiItemSize(std::string_view text);
// The smallest length code for a size (1 to 3).
unsigned LengthCodeFor(std::uint32_t size);

}  // namespace ItemCodec
