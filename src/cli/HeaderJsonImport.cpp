#include "cli/HeaderJson.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <set>

#include "format/BlockPath.h"
#include "format/ExtendedHeaderCodec.h"
#include "model/NumberText.h"
#include "platform/TextCodec.h"

// Import: JSON text to a tree, checked as it is read.

namespace {

using In = HeaderJson::InputJson;

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw HeaderJson::Error(
        "JSON: " +
        (where.empty() ? std::string("the top level") : "'" + TextCodec::Escaped(where) + "'") +
        ": " + what);
}

// UTF-8 text as 8-bit bytes; characters the code page cannot hold are refused.
std::string ToAnsi(const std::string& utf8, const std::string& where) {
    const std::u16string wide = TextCodec::FromUtf8(utf8);
    if (!TextCodec::CanNarrow(wide))
        Fail(where,
             std::string("has characters that ") + TextCodec::CodePageName() + " cannot hold");
    return TextCodec::NarrowAnsi(wide);
}

std::uint32_t TypeCode(const std::string& name, const std::string& where) {
    for (std::uint32_t code : {0u, 1u, 2u, 8u, 25u, 32u, 36u, 42u, 44u, 63u})
        if (ElementTypeNameAscii(code) == name) return code;
    Fail(where, "unknown type '" + name + "'");
}

void OnlyKeys(const In& j, std::initializer_list<const char*> keys, const std::string& where) {
    for (const auto& [key, value] : j.items()) {
        bool known = false;
        for (const char* k : keys) known |= key == k;
        if (!known) Fail(where, "unexpected key '" + key + "'");
    }
    for (const char* k : keys)
        if (!j.contains(k)) Fail(where, std::string("missing '") + k + "'");
}

template <class T>
T IntegerIn(const In& v, std::int64_t lo, std::int64_t hi, const std::string& where) {
    if (!v.is_number_integer()) Fail(where, "values must be integers");
    if (v.is_number_unsigned() ? v.get<std::uint64_t>() > static_cast<std::uint64_t>(hi)
                               : (v.get<std::int64_t>() < lo || v.get<std::int64_t>() > hi))
        Fail(where, "value " + v.dump() + " is outside " + std::to_string(lo) + " to " +
                        std::to_string(hi));
    return static_cast<T>(v.get<std::int64_t>());
}

template <class T, class Bits>
T RealFrom(const In& v, const std::string& where) {
    if (v.is_number()) {
        const double d = v.get<double>();
        if constexpr (std::is_same_v<T, float>) {
            // Values up to half a unit beyond the largest float still round to it.
            constexpr double kLimit = 3.4028234663852886e38 + 0x1p103;
            if (std::isfinite(d) && std::abs(d) >= kLimit)
                Fail(where, "value " + v.dump() + " is too large for a Float");
        }
        return static_cast<T>(d);
    }
    if (v.is_string()) {
        const std::string s = v.get<std::string>();
        if (s == "Infinity") return std::numeric_limits<T>::infinity();
        if (s == "-Infinity") return -std::numeric_limits<T>::infinity();
        if (s == "NaN") return std::numeric_limits<T>::quiet_NaN();
        if (s.rfind("NaN:0x", 0) == 0) {
            Bits bits = 0;
            auto r = std::from_chars(s.data() + 6, s.data() + s.size(), bits, 16);
            const T value = std::bit_cast<T>(bits);
            if (r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isnan(value))
                return value;
        }
    }
    Fail(where, "values must be numbers, \"Infinity\", \"-Infinity\" or \"NaN\"");
}

HeaderElement LeafFromJson(const In& j, std::uint32_t type, const std::string& where) {
    switch (static_cast<ElementType>(type)) {
        case ElementType::Ascii: {
            OnlyKeys(j, {"type", "value"}, where);
            if (!j["value"].is_string()) Fail(where, "'value' must be a string");
            std::string text = ToAnsi(j["value"].get<std::string>(), where);
            if (text.find('\0') != std::string::npos)
                Fail(where, "text must not hold the character 0");
            return HeaderElement(std::string_view(text));
        }
        case ElementType::Unicode: {
            std::u16string text;
            if (j.contains("units")) {
                OnlyKeys(j, {"type", "units"}, where);
                if (!j["units"].is_array()) Fail(where, "'units' must be an array");
                for (const auto& u : j["units"])
                    text.push_back(IntegerIn<char16_t>(u, 1, 0xFFFF, where));
            } else {
                OnlyKeys(j, {"type", "value"}, where);
                if (!j["value"].is_string()) Fail(where, "'value' must be a string");
                text = TextCodec::FromUtf8(j["value"].get<std::string>());
                if (text.find(u'\0') != std::u16string::npos)
                    Fail(where, "text must not hold the character 0");
            }
            return HeaderElement(std::u16string_view(text));
        }
        case ElementType::End:
            OnlyKeys(j, {"type"}, where);
            return HeaderElement();
        default:
            break;
    }
    OnlyKeys(j, {"type", "values"}, where);
    const In& values = j["values"];
    if (!values.is_array()) Fail(where, "'values' must be an array");
    HeaderElement e(type, static_cast<std::uint32_t>(values.size()));
    std::uint32_t i = 0;
    for (const auto& v : values) {
        switch (static_cast<ElementType>(type)) {
            case ElementType::Boolean:
                e.SetByte(i, v.is_boolean() ? (v.get<bool>() ? 1 : 0)
                                            : IntegerIn<std::uint8_t>(v, 0, 255, where));
                break;
            case ElementType::Byte:
                e.SetByte(i, IntegerIn<std::uint8_t>(v, 0, 255, where));
                break;
            case ElementType::Short:
                e.SetShort(i, IntegerIn<std::int16_t>(v, -32768, 32767, where));
                break;
            case ElementType::Long:
                e.SetLong(i, IntegerIn<std::int32_t>(v, INT32_MIN, INT32_MAX, where));
                break;
            case ElementType::Float:
                e.SetFloat(i, RealFrom<float, std::uint32_t>(v, where));
                break;
            case ElementType::Double:
                e.SetDouble(i, RealFrom<double, std::uint64_t>(v, where));
                break;
            default:
                Fail(where, "a value cannot have the type List");
        }
        ++i;
    }
    return e;
}

// The checks of one label of a list, before its entry is read.
std::string LabelFromKey(const std::string& key, const std::string& where, const HeaderNode& list) {
    const std::string label = ToAnsi(key, where);
    if (const char* fault = BlockPath::LabelFault(label))
        Fail(where, "the label " + std::string(fault));
    if (HeaderTree::Find(list, label))
        Fail(where, "Label " + key + " already exists in parent list !");
    return label;
}

// A leaf entry from its object (every key but a list's "entries").
std::unique_ptr<HeaderNode> LeafEntry(const std::string& label, const In& value,
                                      const std::string& typeName, const std::string& where) {
    auto node = std::make_unique<HeaderNode>(label, false);
    if (typeName == "Unknown") {
        OnlyKeys(value, {"type", "code", "bytes"}, where);
        const auto code = IntegerIn<std::uint32_t>(value["code"], 0, 63, where);
        if (IsKnownElementType(code))
            Fail(where, "code " + std::to_string(code) + " is a known type");
        if (!value["bytes"].is_array()) Fail(where, "'bytes' must be an array");
        HeaderElement e(code, static_cast<std::uint32_t>(value["bytes"].size()));
        std::uint32_t i = 0;
        for (const auto& b : value["bytes"])
            e.SetByte(i++, IntegerIn<std::uint8_t>(b, 0, 255, where));
        node->value = std::move(e);
    } else {
        node->value = LeafFromJson(value, TypeCode(typeName, where), where);
    }
    return node;
}

// A first pass over the text that finds a key given twice in one object (the
// parser would keep the last silently) and the keys on the way there. A pass of
// its own: the parser's callback form is more than twice as slow. It also stops
// at nesting deeper than any header can be written (each list is an entry's
// object and its "entries" object), so that hostile nesting costs no memory.
class DuplicateKeys : public nlohmann::json_sax<In> {
  public:
    static constexpr std::size_t kMaxNesting = 2 * kMaxListDepth + 8;
    bool found = false;
    std::string where, what;  // the message: the keys on the way, the fault

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override {
        if (!Deeper()) return false;
        m_open.emplace_back();
        return true;
    }
    bool key(string_t& key) override {
        if (!m_open.back().keys.insert(key).second)
            return Found("duplicate key '" + TextCodec::Escaped(key) + "'", m_open.size() - 1);
        m_open.back().key = key;
        return true;
    }
    bool end_object() override {
        m_open.pop_back();
        --m_nDepth;
        return true;
    }
    bool start_array(std::size_t) override { return Deeper(); }
    bool end_array() override {
        --m_nDepth;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;  // the parse proper reports it
    }

  private:
    // The fault, with the keys of the first `keys` open objects as its place.
    bool Found(std::string fault, std::size_t keys) {
        for (std::size_t k = 0; k < keys; ++k) where += (k ? "." : "") + m_open[k].key;
        what = std::move(fault);
        found = true;
        return false;
    }
    bool Deeper() {
        if (++m_nDepth <= kMaxNesting) return true;
        return Found("the JSON nests deeper than a header can (more than " +
                         std::to_string(kMaxNesting) + " levels)",
                     m_open.size());
    }

    struct Open {
        std::set<std::string> keys;
        std::string key;
    };
    std::vector<Open> m_open;
    std::size_t m_nDepth = 0;  // objects and arrays open
};
}  // namespace

namespace {
const char* const kNotAnEntry = "an entry must be an object with a \"type\"";

// Builds the tree as the parser goes, so that memory follows the tree, not a
// document of the whole text: a list's "entries" become its entries at once;
// every other member of an entry (small: a type, a value, an array of values)
// is kept as JSON until the entry's object ends and is then checked whole.
class TreeBuilder : public nlohmann::json_sax<In> {
  public:
    explicit TreeBuilder(HeaderNode& root) : m_root(root) {}

    bool null() override { return Value(In(nullptr)); }
    bool boolean(bool v) override { return Value(In(v)); }
    bool number_integer(number_integer_t v) override { return Value(In(v)); }
    bool number_unsigned(number_unsigned_t v) override { return Value(In(v)); }
    bool number_float(number_float_t v, const string_t&) override { return Value(In(v)); }
    bool string(string_t& v) override { return Value(In(std::move(v))); }
    bool binary(binary_t& v) override { return Value(In(std::move(v))); }

    bool start_object(std::size_t) override {
        if (m_frames.empty()) return Enter(m_root, "", 0);
        Frame& f = m_frames.back();
        if (f.kind == Frame::Entries) {
            m_frames.push_back(
                MakeFrame(Frame::Entry, f.list, f.pendingWhere, f.depth, f.pendingLabel));
            return true;
        }
        if (f.kind == Frame::Entry && f.build.empty() && f.member == "entries") {
            f.entries = true;
            HeaderNode* list =
                HeaderTree::Insert(*f.list, std::make_unique<HeaderNode>(f.label, true), &m_root);
            return Enter(*list, f.where, f.depth + 1);
        }
        return Open(In::object());
    }
    bool start_array(std::size_t) override { return Open(In::array()); }
    bool key(string_t& key) override {
        Frame& f = m_frames.back();
        if (f.kind == Frame::Entries) {
            f.pendingWhere = f.where.empty() ? key : f.where + "." + key;
            f.pendingLabel = LabelFromKey(key, f.pendingWhere, *f.list);
        } else if (f.build.empty()) {
            f.member = key;
        } else {
            f.build.back().second = key;
        }
        return true;
    }
    bool end_array() override {
        m_frames.back().build.pop_back();
        return true;
    }
    bool end_object() override {
        Frame& f = m_frames.back();
        if (f.kind == Frame::Entries) {
            m_frames.pop_back();
            return true;
        }
        if (!f.build.empty()) {
            f.build.pop_back();
            return true;
        }
        const Frame entry = std::move(f);
        m_frames.pop_back();
        Finish(entry);
        return true;
    }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& e) override {
        throw e;
    }

  private:
    struct Frame {
        enum Kind { Entries, Entry } kind;
        HeaderNode* list;         // the list the entries go to
        std::string where;        // Entries: the list's path; Entry: the entry's
        std::size_t depth;        // of the list
        std::string label;        // Entry: its label
        In value = In::object();  // Entry: its members but "entries"
        std::string member;       // Entry: the member being read
        bool entries = false;     // Entry: its "entries" became a list
        std::vector<std::pair<In*, std::string>> build{};  // Entry: open containers of a member
        std::string pendingLabel{}, pendingWhere{};        // Entries: the entry to come
    };

    static Frame MakeFrame(Frame::Kind kind, HeaderNode* list, std::string where, std::size_t depth,
                           std::string label) {
        Frame f;
        f.kind = kind;
        f.list = list;
        f.where = std::move(where);
        f.depth = depth;
        f.label = std::move(label);
        return f;
    }
    bool Enter(HeaderNode& list, const std::string& where, std::size_t depth) {
        if (depth > kMaxListDepth)
            Fail(where, "lists nest more than " + std::to_string(kMaxListDepth) + " deep");
        m_frames.push_back(MakeFrame(Frame::Entries, &list, where, depth, {}));
        return true;
    }
    // A value where the innermost frame takes one.
    In* Put(In v) {
        if (m_frames.empty()) Fail("", "entries must be a JSON object");
        Frame& f = m_frames.back();
        if (f.kind == Frame::Entries) Fail(f.pendingWhere, kNotAnEntry);
        if (f.build.empty()) return &(f.value[f.member] = std::move(v));
        auto& [container, key] = f.build.back();
        if (container->is_array()) {
            container->push_back(std::move(v));
            return &container->back();
        }
        return &((*container)[key] = std::move(v));
    }
    bool Value(In v) {
        Put(std::move(v));
        return true;
    }
    bool Open(In container) {
        In* at = Put(std::move(container));
        m_frames.back().build.emplace_back(at, std::string());
        return true;
    }
    void Finish(const Frame& e) {
        const In& value = e.value;
        if (!value.contains("type") || !value["type"].is_string()) Fail(e.where, kNotAnEntry);
        const std::string typeName = value["type"].get<std::string>();
        if (typeName == "List") {
            if (e.entries) {
                In members = value;
                members["entries"] = In::object();
                OnlyKeys(members, {"type", "entries"}, e.where);
            } else {
                OnlyKeys(value, {"type", "entries"}, e.where);
                Fail(e.where, "entries must be a JSON object");
            }
            return;
        }
        if (e.entries) Fail(e.where, "unexpected key 'entries'");
        HeaderTree::Insert(*e.list, LeafEntry(e.label, value, typeName, e.where), &m_root);
    }

    HeaderNode& m_root;
    std::vector<Frame> m_frames;
};
}  // namespace

std::unique_ptr<HeaderNode> HeaderJson::Import(std::string_view text) {
    DuplicateKeys check;
    In::sax_parse(text, &check);
    if (check.found) Fail(check.where, check.what);
    auto root = ExtendedHeader::MakeRoot();
    TreeBuilder builder(*root);
    In::sax_parse(text, &builder);
    return root;
}
