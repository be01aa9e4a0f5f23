#include "document/EntryArguments.h"

#include "document/EntryEdit.h"
#include "format/BlockPath.h"
#include "format/ExtendedHeaderCodec.h"
#include "model/HeaderNode.h"
#include "platform/TextCodec.h"

namespace {
[[noreturn]] void Fail(std::string message, bool usage = false) {
    throw EntryArguments::Failure{std::move(message), usage};
}

// Text for a message: control characters and bytes that are not UTF-8 as \xHH.
std::string Shown(const std::string& text) {
    return TextCodec::Quoted(text);
}

// The message for text the 8-bit code page cannot hold (stored, it would change).
std::string CannotHold(const std::string& what) {
    return what + " has characters that " + TextCodec::CodePageName() +
           " cannot hold (8-bit text would store '?' instead)";
}
}  // namespace

std::optional<std::uint32_t> EntryArguments::TypeFromName(const std::string& name) {
    std::string lower;
    for (char c : name) lower.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c);
    static const std::pair<const char*, ElementType> kTypes[] = {
        {"ascii", ElementType::Ascii},     {"unicode", ElementType::Unicode},
        {"boolean", ElementType::Boolean}, {"byte", ElementType::Byte},
        {"short", ElementType::Short},     {"long", ElementType::Long},
        {"float", ElementType::Float},     {"double", ElementType::Double}};
    for (const auto& [n, t] : kTypes)
        if (lower == n) return ToCode(t);
    return std::nullopt;
}

HeaderElement EntryArguments::ParseValues(const std::string& values, std::uint32_t type) {
    HeaderElement e;
    std::uint32_t failed = 0;
    // Text is stored exactly or refused: a stored text ends at its first NUL, and
    // bytes that are not UTF-8 would become replacement characters.
    if (!TextCodec::IsUtf8(values)) Fail("The text '" + Shown(values) + "' is not valid UTF-8");
    if (values.find('\0') != std::string::npos)
        Fail("The text '" + Shown(values) + "' holds a NUL character, where a stored text ends");
    const std::u16string wide = TextCodec::FromUtf8(values);
    if (type == ToCode(ElementType::Ascii) && !TextCodec::CanNarrow(wide))
        Fail(CannotHold("The ASCII text '" + Shown(values) + "'"));
    if (!e.Parse(wide, type, failed, HeaderElement::Reals::Exact))
        Fail("Can't convert element at index " + std::to_string(failed) +
             " to specified type of number");
    return e;
}

std::vector<std::string> EntryArguments::SplitPath(const std::string& path) {
    std::vector<std::string> labels;
    if (!TextCodec::IsUtf8(path)) Fail("The path '" + Shown(path) + "' is not valid UTF-8");
    const std::u16string wide = TextCodec::FromUtf8(path);
    if (!TextCodec::CanNarrow(wide)) Fail(CannotHold("The path '" + Shown(path) + "'"));
    std::string narrow = TextCodec::NarrowAnsi(wide);
    std::size_t pos = 0;
    for (;;) {
        std::size_t dot = narrow.find('.', pos);
        std::string label =
            narrow.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
        if (label.empty()) Fail("Label must not be empty ! (in the path '" + path + "')", true);
        if (const char* fault = BlockPath::LabelFault(label))
            Fail("The label '" + Shown(TextCodec::AnsiToUtf8(label)) + "' " + fault +
                 " (in the path '" + Shown(path) + "')");
        labels.push_back(label);
        // Checked as it goes, and the path shown cut short: a hostile path of
        // millions of labels costs neither memory nor a screenful.
        if (labels.size() > kMaxListDepth + 1)
            Fail("The path '" + Shown(path) + "' nests lists more than " +
                 std::to_string(kMaxListDepth) + " deep");
        if (dot == std::string::npos) break;
        pos = dot + 1;
    }
    return labels;
}

HeaderNode* EntryArguments::Find(HeaderNode& root, const std::vector<std::string>& labels) {
    HeaderNode* n = &root;
    for (const auto& label : labels) {
        if (!n->isList) return nullptr;
        n = HeaderTree::Find(*n, label);
        if (!n) return nullptr;
    }
    return n;
}

void EntryArguments::SetAtPath(HeaderNode& root, const std::string& path, HeaderElement value,
                               bool pending) {
    const auto labels = SplitPath(path);
    HeaderNode* list = &root;
    std::string walked;
    for (std::size_t i = 0; i + 1 < labels.size(); ++i) {
        walked += (i ? "." : "") + labels[i];
        HeaderNode* next = HeaderTree::Find(*list, labels[i]);
        if (next && !next->isList)
            Fail("'" + TextCodec::AnsiToUtf8(walked) + "' is a value, not a list: the path '" +
                 path + "' cannot lead through it");
        if (!next)
            next = EntryEdit::Insert(root, *list,
                                     std::make_unique<HeaderNode>(UpperCaseLabel(labels[i]), true),
                                     pending);
        list = next;
    }
    if (HeaderNode* existing = HeaderTree::Find(*list, labels.back())) {
        if (existing->isList) Fail("'" + path + "' is a list, not a value");
        EntryEdit::SetValue(*existing, std::move(value), pending);
        return;
    }
    auto leaf = std::make_unique<HeaderNode>(UpperCaseLabel(labels.back()), false);
    leaf->value = std::move(value);
    EntryEdit::Insert(root, *list, std::move(leaf), pending);
}
