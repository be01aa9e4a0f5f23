#include "model/ElementType.h"

bool IsKnownElementType(std::uint32_t code) {
    switch (static_cast<ElementType>(code)) {
        case ElementType::List:
        case ElementType::Ascii:
        case ElementType::Unicode:
        case ElementType::Boolean:
        case ElementType::Byte:
        case ElementType::Double:
        case ElementType::Float:
        case ElementType::Short:
        case ElementType::Long:
        case ElementType::End:
            return true;
    }
    return false;
}

namespace {
struct TypeName {
    ElementType type;
    std::string_view ascii;
    std::u16string_view wide;
};
constexpr TypeName kNames[] = {
    {ElementType::List, "List", u"List"},          {ElementType::Ascii, "ASCII", u"ASCII"},
    {ElementType::Unicode, "Unicode", u"Unicode"}, {ElementType::Boolean, "Boolean", u"Boolean"},
    {ElementType::Byte, "Byte", u"Byte"},          {ElementType::Double, "Double", u"Double"},
    {ElementType::Float, "Float", u"Float"},       {ElementType::Short, "Short", u"Short"},
    {ElementType::Long, "Long", u"Long"},          {ElementType::End, "End", u"End"},
};
constexpr TypeName kUnknown{ElementType::End, "Unknown", u"Unknown"};

const TypeName& NameOf(std::uint32_t code) {
    for (const auto& n : kNames)
        if (ToCode(n.type) == code) return n;
    return kUnknown;
}
}  // namespace

std::string_view ElementTypeNameAscii(std::uint32_t code) { return NameOf(code).ascii; }

std::u16string_view ElementTypeName(std::uint32_t code) { return NameOf(code).wide; }

std::uint32_t ValueSizeOf(std::uint32_t code) {
    switch (static_cast<ElementType>(code)) {
        case ElementType::Boolean:
        case ElementType::Byte:
            return 1;
        case ElementType::Short:
            return 2;
        case ElementType::Long:
        case ElementType::Float:
            return 4;
        case ElementType::Double:
            return 8;
        default:
            return 0;
    }
}
