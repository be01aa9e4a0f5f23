#include "format/ItemCodec.h"

#include "format/Enforce.h"
#include "platform/ByteReader.h"

namespace ItemCodec {

namespace {

void AppendHeader(std::vector<std::uint8_t>& out, std::uint32_t type, std::uint32_t size) {
    unsigned n = LengthCodeFor(size);
    out.push_back(static_cast<std::uint8_t>(type * 4 + n));
    for (unsigned k = 0; k < n; ++k) out.push_back(static_cast<std::uint8_t>(size >> (8 * k)));
}

}  // namespace

std::uint32_t ElementSizeOf(std::uint32_t type) {
    switch (static_cast<ElementType>(type)) {
        case ElementType::Double:
            return 8;
        case ElementType::Float:
        case ElementType::Long:
            return 4;
        case ElementType::Short:
            return 2;
        case ElementType::End:
            return 0;
        default:
            return 1;
    }
}

unsigned LengthCodeFor(std::uint32_t size) {
    return size < 0x100 ? 1 : size < 0x10000 ? 2 : 3;
}

std::span<const std::uint8_t> DecodedItem::Payload(std::span<const std::uint8_t> block) const {
    switch (static_cast<ElementType>(type)) {
        case ElementType::List:
        case ElementType::End:
            return {};
        case ElementType::Unicode:
            return block.subspan(data, 2 * (size / 2));
        default:
            return block.subspan(data, size);
    }
}

std::string_view DecodedItem::Text(std::span<const std::uint8_t> block) const {
    auto p = Payload(block);
    std::string_view s(reinterpret_cast<const char*>(p.data()), p.size());
    return s.substr(0, s.find('\0'));
}

namespace {

// An item that does not decode: DecodeItem gives none.
struct Malformed {};

DecodedItem DecodeOrThrow(std::span<const std::uint8_t> block, std::size_t pos) {
    ByteReader r(block, pos);
    Enforce<Malformed>(pos < block.size());
    DecodedItem item;
    item.position = pos;
    const std::uint8_t b = *r.ReadU8();
    item.type = b / 4;
    const unsigned n = b % 4;
    if (item.IsEnd()) {
        Enforce<Malformed>(n == 0);
        item.count = 1;
        item.data = item.next = pos + 1;
        return item;
    }
    // The length field and at least one more byte must lie within the block.
    Enforce<Malformed>(r.CanRead(n + 1));
    item.size = *r.ReadLE(n);
    item.data = r.Position();
    const std::uint32_t elementSize = ElementSizeOf(item.type);
    Enforce<Malformed>(item.size == 0 || item.size % elementSize == 0);

    switch (static_cast<ElementType>(item.type)) {
        case ElementType::Ascii:
            // The payload ends with its terminating 0. (For a zero size the byte
            // checked is the last byte of the length field, as the format has it.)
            Enforce<Malformed>(r.CanRead(item.size) && block[item.data + item.size - 1] == 0);
            item.count = item.size;
            break;
        case ElementType::Unicode: {
            const std::size_t bytes = 2 * (item.size / 2);
            Enforce<Malformed>(bytes >= 2 && r.CanRead(bytes));
            Enforce<Malformed>(block[item.data + bytes - 2] == 0 &&
                               block[item.data + bytes - 1] == 0);
            item.count = 1;
            break;
        }
        case ElementType::Boolean:
            // Only the first value of a Boolean array is checked; an empty array
            // has none to check.
            Enforce<Malformed>(item.size == 0 || block[item.data] <= 1);
            item.count = item.size;
            break;
        case ElementType::List:
            item.count = item.size;
            break;
        default:
            item.count = item.size / elementSize;
            break;
    }
    if (item.IsList()) {
        item.next = item.data;
    } else {
        Enforce<Malformed>(r.CanRead(item.size));
        item.next = item.data + item.size;
    }
    return item;
}

}  // namespace

std::optional<DecodedItem> DecodeItem(std::span<const std::uint8_t> block, std::size_t pos) {
    try {
        return DecodeOrThrow(block, pos);
    } catch (const Malformed&) {
        return std::nullopt;
    }
}

std::optional<std::uint32_t> PayloadSizeOf(const HeaderElement& value) {
    std::uint64_t size = 0;
    switch (static_cast<ElementType>(value.GetType())) {
        case ElementType::List:
            size = value.GetCount();
            break;
        case ElementType::End:
            return 0;
        default:
            size = value.GetEncodedSize();
            break;
    }
    if (size > kMaxPayload) return std::nullopt;
    return static_cast<std::uint32_t>(size);
}

std::optional<std::size_t> EncodedItemSize(const HeaderElement& value) {
    if (value.GetType() == ToCode(ElementType::End)) return 1;
    auto size = PayloadSizeOf(value);
    if (!size) return std::nullopt;
    std::size_t total = 1 + LengthCodeFor(*size);
    if (value.GetType() != ToCode(ElementType::List)) total += *size;
    return total;
}

std::size_t AsciiItemSize(std::string_view text) {
    return 1 + LengthCodeFor(static_cast<std::uint32_t>(text.size() + 1)) + text.size() + 1;
}

bool EncodeAsciiItem(std::vector<std::uint8_t>& out, std::string_view text) {
    if (text.size() + 1 > kMaxPayload) return false;
    AppendHeader(out, ToCode(ElementType::Ascii), static_cast<std::uint32_t>(text.size() + 1));
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
    return true;
}

bool EncodeListItem(std::vector<std::uint8_t>& out, std::uint32_t itemCount) {
    if (itemCount > kMaxPayload) return false;
    AppendHeader(out, ToCode(ElementType::List), itemCount);
    return true;
}

bool EncodeArrayItemHeader(std::vector<std::uint8_t>& out, const HeaderElement& value) {
    if (StorageSizeOf(value.GetType()) == 0) return false;  // List, strings, End
    auto size = PayloadSizeOf(value);
    if (!size) return false;
    AppendHeader(out, value.GetType(), *size);
    return true;
}

bool EncodeItem(std::vector<std::uint8_t>& out, const HeaderElement& value) {
    const std::uint32_t type = value.GetType();
    switch (static_cast<ElementType>(type)) {
        case ElementType::End:
            out.push_back(kEndItem);
            return true;
        case ElementType::List:
            return EncodeListItem(out, value.GetCount());
        case ElementType::Ascii:
            return EncodeAsciiItem(out, value.Ascii());
        case ElementType::Unicode: {
            auto size = PayloadSizeOf(value);
            if (!size) return false;
            AppendHeader(out, type, *size);
            for (char16_t c : value.Unicode()) {
                out.push_back(static_cast<std::uint8_t>(c & 0xFF));
                out.push_back(static_cast<std::uint8_t>(c >> 8));
            }
            out.push_back(0);
            out.push_back(0);
            return true;
        }
        default: {
            if (!EncodeArrayItemHeader(out, value)) return false;
            auto bytes = value.GetBytes();
            out.insert(out.end(), bytes.begin(), bytes.end());
            return true;
        }
    }
}

}  // namespace ItemCodec
