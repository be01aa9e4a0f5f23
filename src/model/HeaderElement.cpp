#include "model/HeaderElement.h"

#include <bit>
#include <cstring>

#include "model/NumberText.h"
#include "platform/TextCodec.h"

namespace {

std::uint32_t LoadLE(const std::uint8_t* p, unsigned n) {
    std::uint32_t v = 0;
    for (unsigned k = 0; k < n; ++k) v |= static_cast<std::uint32_t>(p[k]) << (8 * k);
    return v;
}

void StoreLE(std::uint8_t* p, std::uint64_t v, unsigned n) {
    for (unsigned k = 0; k < n; ++k) p[k] = static_cast<std::uint8_t>(v >> (8 * k));
}

void AppendAscii(std::u16string& out, std::string_view s) {
    for (char c : s) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

void AppendHex(std::u16string& out, std::uint32_t v) {
    static constexpr char kDigits[] = "0123456789abcdef";
    char buf[8];
    int n = 0;
    do {
        buf[n++] = kDigits[v & 0xF];
        v >>= 4;
    } while (v != 0);
    out += u"0x";
    while (n > 0) out.push_back(static_cast<char16_t>(buf[--n]));
}

std::string_view UpToNul(std::string_view s) {
    return s.substr(0, s.find('\0'));
}
std::u16string_view UpToNul(std::u16string_view s) {
    return s.substr(0, s.find(u'\0'));
}

}  // namespace

std::uint32_t StorageSizeOf(std::uint32_t code) {
    if (IsKnownElementType(code)) return ValueSizeOf(code);
    return 1;
}

HeaderElement::HeaderElement(std::uint32_t type, std::uint32_t count) {
    Reset(count, type);
}

HeaderElement::HeaderElement(std::string_view text)
    : m_nType(ToCode(ElementType::Ascii)), m_nCount(1), m_data(std::string(UpToNul(text))) {}

HeaderElement::HeaderElement(std::u16string_view text)
    : m_nType(ToCode(ElementType::Unicode)), m_nCount(1), m_data(std::u16string(UpToNul(text))) {}

HeaderElement::HeaderElement(std::uint8_t booleanByte) : HeaderElement(ElementType::Boolean, 1) {
    SetByte(0, booleanByte);
}

void HeaderElement::Reset(std::uint32_t count, std::uint32_t type) {
    m_nType = type;
    m_nCount = count;
    m_nByteSize = 0;
    switch (static_cast<ElementType>(type)) {
        case ElementType::Ascii:
            m_data = std::string();
            break;
        case ElementType::Unicode:
            m_data = std::u16string();
            break;
        case ElementType::End:
            m_data = std::monostate();
            break;
        default: {
            std::uint64_t bytes = static_cast<std::uint64_t>(count) * StorageSizeOf(type);
            m_nByteSize = static_cast<std::uint32_t>(bytes);
            if (bytes <= kInlineBytes)
                m_data = InlineBytes{};
            else
                m_data = std::vector<std::uint8_t>(static_cast<std::size_t>(bytes));
            break;
        }
    }
}

void HeaderElement::Assign(std::uint32_t type, std::uint32_t count,
                           std::span<const std::uint8_t> payload) {
    switch (static_cast<ElementType>(type)) {
        case ElementType::Ascii: {
            std::string_view s(reinterpret_cast<const char*>(payload.data()), payload.size());
            m_nType = type;
            m_nCount = 1;
            m_nByteSize = 0;
            m_data = std::string(UpToNul(s));
            return;
        }
        case ElementType::Unicode: {
            std::u16string s;
            for (std::size_t k = 0; k + 1 < payload.size(); k += 2) {
                auto unit = static_cast<char16_t>(LoadLE(payload.data() + k, 2));
                if (unit == 0) break;
                s.push_back(unit);
            }
            m_nType = type;
            m_nCount = 1;
            m_nByteSize = 0;
            m_data = std::move(s);
            return;
        }
        default:
            break;
    }
    Reset(count, type);
    if (m_nByteSize != 0) std::memcpy(At(0, 1), payload.data(), m_nByteSize);
}

void HeaderElement::AssignShared(std::uint32_t type, std::uint32_t count,
                                 std::span<const std::uint8_t> payload,
                                 const std::shared_ptr<const std::vector<std::uint8_t>>& owner) {
    // Strings, List and End store no array bytes (size 0): they are always copied.
    const std::uint64_t bytes = static_cast<std::uint64_t>(count) * StorageSizeOf(type);
    if (!owner || bytes < kShareFrom || bytes > payload.size()) {
        Assign(type, count, payload);
        return;
    }
    m_nType = type;
    m_nCount = count;
    m_nByteSize = static_cast<std::uint32_t>(bytes);
    m_data = SharedBytes{owner, payload.data()};
}

void HeaderElement::Release() {
    m_data = std::monostate();
    m_nCount = 0;
    m_nByteSize = 0;
}

std::uint64_t HeaderElement::GetEncodedSize() const {
    switch (static_cast<ElementType>(m_nType)) {
        case ElementType::Ascii:
            return Ascii().size() + 1;
        case ElementType::Unicode:
            return 2 * static_cast<std::uint64_t>(Unicode().size()) + 2;
        case ElementType::End:
            return 0;
        default:
            return m_nByteSize;
    }
}

std::span<const std::uint8_t> HeaderElement::GetBytes() const {
    if (auto* v = std::get_if<std::vector<std::uint8_t>>(&m_data)) return *v;
    if (auto* small = std::get_if<InlineBytes>(&m_data)) return {small->bytes.data(), m_nByteSize};
    if (auto* shared = std::get_if<SharedBytes>(&m_data)) return {shared->data, m_nByteSize};
    return {};
}

std::uint8_t* HeaderElement::At(std::uint32_t i, std::uint32_t size) {
    // The first change of a shared array copies it out: the buffer it shares is
    // never written.
    if (auto* shared = std::get_if<SharedBytes>(&m_data))
        m_data = std::vector<std::uint8_t>(shared->data, shared->data + m_nByteSize);
    if (auto* small = std::get_if<InlineBytes>(&m_data))
        return small->bytes.data() + static_cast<std::size_t>(i) * size;
    return std::get<std::vector<std::uint8_t>>(m_data).data() + static_cast<std::size_t>(i) * size;
}
const std::uint8_t* HeaderElement::At(std::uint32_t i, std::uint32_t size) const {
    return GetBytes().data() + static_cast<std::size_t>(i) * size;
}

std::uint8_t HeaderElement::GetByte(std::uint32_t i) const {
    return *At(i, 1);
}
void HeaderElement::SetByte(std::uint32_t i, std::uint8_t v) {
    *At(i, 1) = v;
}
std::int16_t HeaderElement::GetShort(std::uint32_t i) const {
    return static_cast<std::int16_t>(LoadLE(At(i, 2), 2));
}
void HeaderElement::SetShort(std::uint32_t i, std::int16_t v) {
    StoreLE(At(i, 2), static_cast<std::uint16_t>(v), 2);
}
std::uint32_t HeaderElement::GetUInt32(std::uint32_t i) const {
    return LoadLE(At(i, 4), 4);
}
void HeaderElement::SetUInt32(std::uint32_t i, std::uint32_t v) {
    StoreLE(At(i, 4), v, 4);
}
float HeaderElement::GetFloat(std::uint32_t i) const {
    return std::bit_cast<float>(GetUInt32(i));
}
void HeaderElement::SetFloat(std::uint32_t i, float v) {
    SetUInt32(i, std::bit_cast<std::uint32_t>(v));
}
std::uint64_t HeaderElement::GetUInt64(std::uint32_t i) const {
    const std::uint8_t* p = At(i, 8);
    return LoadLE(p, 4) | (static_cast<std::uint64_t>(LoadLE(p + 4, 4)) << 32);
}
double HeaderElement::GetDouble(std::uint32_t i) const {
    return std::bit_cast<double>(GetUInt64(i));
}
void HeaderElement::SetDouble(std::uint32_t i, double v) {
    StoreLE(At(i, 8), std::bit_cast<std::uint64_t>(v), 8);
}

const std::string& HeaderElement::Ascii() const {
    static const std::string kEmpty;
    auto* s = std::get_if<std::string>(&m_data);
    return s ? *s : kEmpty;
}

const std::u16string& HeaderElement::Unicode() const {
    static const std::u16string kEmpty;
    auto* s = std::get_if<std::u16string>(&m_data);
    return s ? *s : kEmpty;
}

void HeaderElement::Format(std::u16string& out, int base, Reals reals) const {
    out.clear();
    switch (static_cast<ElementType>(m_nType)) {
        case ElementType::Ascii:
            out = TextCodec::WidenAnsi(Ascii());
            return;
        case ElementType::Unicode:
            out = Unicode();
            return;
        case ElementType::End:
            return;
        default:
            break;
    }
    const bool hex = base == 16;
    for (std::uint32_t i = 0; i < m_nCount; ++i) {
        if (i > 0) out.push_back(u',');
        switch (static_cast<ElementType>(m_nType)) {
            case ElementType::Boolean:
                if (reals == Reals::Exact && GetByte(i) > 1)  // a byte the words would not keep
                    AppendAscii(out, std::to_string(GetByte(i)));
                else
                    out += GetByte(i) ? u"True" : u"False";
                break;
            case ElementType::Byte:
                if (hex)
                    AppendHex(out, GetByte(i));
                else
                    AppendAscii(out, std::to_string(GetByte(i)));
                break;
            case ElementType::Short:
                if (hex)
                    AppendHex(out, static_cast<std::uint16_t>(GetShort(i)));
                else
                    AppendAscii(out, std::to_string(GetShort(i)));
                break;
            case ElementType::Long:
                if (hex)
                    AppendHex(out, GetUInt32(i));
                else
                    AppendAscii(out, std::to_string(GetLong(i)));
                break;
            case ElementType::Float:
                AppendAscii(out, reals == Reals::Exact ? NumberText::FormatExact(GetFloat(i))
                                                       : NumberText::FormatG(GetFloat(i)));
                break;
            case ElementType::Double:
                AppendAscii(out, reals == Reals::Exact ? NumberText::FormatExact(GetDouble(i))
                                                       : NumberText::FormatG(GetDouble(i)));
                break;
            default:
                break;  // unknown codes show no value, only the separators
        }
    }
}

namespace {

// Whether an integer token is written with a leading zero that makes it octal
// ("010" is 8): in the exact form refused, as a padded decimal read wrong.
bool OctalLooking(std::u16string_view token) {
    std::size_t i = 0;
    while (i < token.size() && NumberText::IsSpace(token[i])) ++i;
    if (i < token.size() && (token[i] == u'+' || token[i] == u'-')) ++i;
    return i + 1 < token.size() && token[i] == u'0' && token[i + 1] >= u'0' && token[i + 1] <= u'9';
}

// Converts one token for `type` into element i; false when it does not convert.
bool ConvertToken(HeaderElement& e, std::uint32_t type, std::uint32_t i, std::u16string_view token,
                  HeaderElement::Reals reals) {
    const bool integer = type == ToCode(ElementType::Long) || type == ToCode(ElementType::Short) ||
                         type == ToCode(ElementType::Byte) || type == ToCode(ElementType::Boolean);
    if (integer && reals == HeaderElement::Reals::Exact && OctalLooking(token)) return false;
    switch (static_cast<ElementType>(type)) {
        case ElementType::Long: {
            auto v = NumberText::ParseLong(token);
            if (!v) return false;
            e.SetLong(i, *v);
            return true;
        }
        case ElementType::Byte: {
            auto v = NumberText::ParseLong(token);
            if (!v || *v < 0 || *v > 255) return false;
            e.SetByte(i, static_cast<std::uint8_t>(*v));
            return true;
        }
        case ElementType::Short: {
            auto v = NumberText::ParseLong(token);
            if (!v || *v < -32768 || *v > 32767) return false;
            e.SetShort(i, static_cast<std::int16_t>(*v));
            return true;
        }
        case ElementType::Double: {
            auto v = reals == HeaderElement::Reals::Exact ? NumberText::ParseExactDouble(token)
                                                          : NumberText::ParseDouble(token);
            if (!v) return false;
            e.SetDouble(i, *v);
            return true;
        }
        case ElementType::Float: {
            if (reals == HeaderElement::Reals::Exact) {
                auto v = NumberText::ParseExactFloat(token);
                if (!v) return false;
                e.SetFloat(i, *v);
                return true;
            }
            auto v = NumberText::ParseDouble(token);
            if (!v) return false;
            double m = *v < 0 ? -*v : *v;
            // The smallest normal and the largest single-precision magnitudes.
            if (!(m >= 1.1754943508222875e-38 && m <= 3.4028234663852886e+38)) return false;
            e.SetFloat(i, static_cast<float>(*v));
            return true;
        }
        case ElementType::Boolean: {
            if (reals == HeaderElement::Reals::Exact) {
                // The words, or the byte itself as an integer: a number is not
                // narrowed to true.
                const auto word = NumberText::ParseBoolean(token);
                const auto byte = NumberText::ParseLong(token);
                if (byte && *byte >= 0 && *byte <= 255)
                    e.SetByte(i, static_cast<std::uint8_t>(*byte));
                else if (word && !byte && !NumberText::ParseDouble(token))
                    e.SetByte(i, *word ? 1 : 0);
                else
                    return false;
                return true;
            }
            auto v = NumberText::ParseBoolean(token);
            if (!v) return false;
            e.SetByte(i, *v ? 1 : 0);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

bool HeaderElement::Parse(std::u16string_view text, std::uint32_t type, std::uint32_t& failedIndex,
                          Reals reals) {
    if (type == ToCode(ElementType::Ascii)) {
        *this = HeaderElement(std::string_view(TextCodec::NarrowAnsi(text)));
        return true;
    }
    if (type == ToCode(ElementType::Unicode)) {
        *this = HeaderElement(text);
        return true;
    }
    failedIndex = 0;
    std::uint32_t commas = 0;
    for (char16_t c : text)
        if (c == u',') ++commas;
    const std::uint32_t count = commas + 1;
    Reset(count, type);

    // Tokens as wcstok with "," makes them: runs of commas separate, no empty tokens.
    std::uint32_t i = 0;
    bool anyToken = false;
    std::size_t pos = 0;
    while (i < count) {
        while (pos < text.size() && text[pos] == u',') ++pos;
        if (pos >= text.size()) break;
        std::size_t end = text.find(u',', pos);
        if (end == std::u16string_view::npos) end = text.size();
        anyToken = true;
        if (!ConvertToken(*this, type, i, text.substr(pos, end - pos), reals)) {
            failedIndex = i;
            return false;
        }
        ++i;
        pos = end;
    }
    if (i == count) return true;
    failedIndex = anyToken ? i - 1 : 0;
    return false;
}

bool operator==(const HeaderElement& a, const HeaderElement& b) {
    if (a.m_nType != b.m_nType) return false;
    switch (static_cast<ElementType>(a.m_nType)) {
        case ElementType::Ascii:
            return a.Ascii() == b.Ascii();
        case ElementType::Unicode:
            return a.Unicode() == b.Unicode();
        case ElementType::End:
            return true;
        default: {
            auto x = a.GetBytes();
            auto y = b.GetBytes();
            return a.m_nCount == b.m_nCount && std::equal(x.begin(), x.end(), y.begin(), y.end());
        }
    }
}
