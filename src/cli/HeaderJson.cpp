#include "cli/HeaderJson.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

#include "model/NumberText.h"
#include "platform/TextCodec.h"

namespace {

using Json = HeaderJson::Json;

// A Float or Double value: a JSON number when finite, else its word.
template <class T>
Json RealToJson(T value) {
    if (!std::isfinite(value)) return NumberText::FormatExact(value);
    if constexpr (std::is_same_v<T, float>) {
        // The shortest text that names this float, when it survives the trip
        // through double precision; else the exact double.
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, value);
        double d = 0;
        std::from_chars(buf, r.ptr, d);
        if (static_cast<float>(d) == value && std::signbit(d) == std::signbit(value)) return d;
        return static_cast<double>(value);
    } else {
        return value;
    }
}

bool IsValidUtf16(const std::u16string& s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] >= 0xD800 && s[i] <= 0xDBFF) {
            if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

Json LeafToJson(const HeaderElement& v) {
    Json j = Json::object();
    const std::uint32_t type = v.GetType();
    j["type"] = std::string(ElementTypeNameAscii(type));
    switch (static_cast<ElementType>(type)) {
        case ElementType::Ascii:
            j["value"] = TextCodec::AnsiToUtf8(v.Ascii());
            break;
        case ElementType::Unicode:
            if (IsValidUtf16(v.Unicode())) {
                j["value"] = TextCodec::ToUtf8(v.Unicode());
            } else {
                Json units = Json::array();
                for (char16_t c : v.Unicode()) units.push_back(static_cast<unsigned>(c));
                j["units"] = units;
            }
            break;
        case ElementType::End:
            break;
        default: {
            Json values = Json::array();
            for (std::uint32_t i = 0; i < v.GetCount(); ++i) {
                switch (static_cast<ElementType>(type)) {
                    case ElementType::Boolean: {
                        const std::uint8_t b = v.GetByte(i);
                        if (b <= 1)
                            values.push_back(b == 1);
                        else
                            values.push_back(b);
                        break;
                    }
                    case ElementType::Byte:
                        values.push_back(v.GetByte(i));
                        break;
                    case ElementType::Short:
                        values.push_back(v.GetShort(i));
                        break;
                    case ElementType::Long:
                        values.push_back(v.GetLong(i));
                        break;
                    case ElementType::Float:
                        values.push_back(RealToJson(v.GetFloat(i)));
                        break;
                    case ElementType::Double:
                        values.push_back(RealToJson(v.GetDouble(i)));
                        break;
                    default:
                        break;
                }
            }
            if (IsKnownElementType(type)) {
                j["values"] = values;
            } else {
                j["type"] = "Unknown";
                j["code"] = type;
                Json bytes = Json::array();
                for (std::uint8_t b : v.GetBytes()) bytes.push_back(b);
                j["bytes"] = bytes;
            }
        }
    }
    return j;
}

Json EntriesToJson(const HeaderNode& list);

Json EntryToJson(const HeaderNode& node) {
    if (!node.isList) return LeafToJson(node.value);
    Json j = Json::object();
    j["type"] = "List";
    j["entries"] = EntriesToJson(node);
    return j;
}

Json EntriesToJson(const HeaderNode& list) {
    Json j = Json::object();
    // Appended to the object's entries as they are: the labels of a list are
    // unique, and the ordered object's own insert would look through every key
    // before it (quadratic in a list's entries).
    auto& entries = static_cast<Json::object_t::Container&>(*j.get_ptr<Json::object_t*>());
    entries.reserve(list.children.size());
    for (const auto& [key, child] : list.children)
        if (child) entries.emplace_back(TextCodec::AnsiToUtf8(child->label), EntryToJson(*child));
    return j;
}

}  // namespace

HeaderJson::Json HeaderJson::Export(const HeaderNode& root) {
    return EntriesToJson(root);
}
