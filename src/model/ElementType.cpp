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

std::string_view ElementTypeNameAscii(std::uint32_t code) {
    switch (static_cast<ElementType>(code)) {
        case ElementType::List:
            return "List";
        case ElementType::Ascii:
            return "ASCII";
        case ElementType::Unicode:
            return "Unicode";
        case ElementType::Boolean:
            return "Boolean";
        case ElementType::Byte:
            return "Byte";
        case ElementType::Double:
            return "Double";
        case ElementType::Float:
            return "Float";
        case ElementType::Short:
            return "Short";
        case ElementType::Long:
            return "Long";
        case ElementType::End:
            return "End";
    }
    return "Unknown";
}

std::u16string_view ElementTypeName(std::uint32_t code) {
    switch (static_cast<ElementType>(code)) {
        case ElementType::List:
            return u"List";
        case ElementType::Ascii:
            return u"ASCII";
        case ElementType::Unicode:
            return u"Unicode";
        case ElementType::Boolean:
            return u"Boolean";
        case ElementType::Byte:
            return u"Byte";
        case ElementType::Double:
            return u"Double";
        case ElementType::Float:
            return u"Float";
        case ElementType::Short:
            return u"Short";
        case ElementType::Long:
            return u"Long";
        case ElementType::End:
            return u"End";
    }
    return u"Unknown";
}

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
