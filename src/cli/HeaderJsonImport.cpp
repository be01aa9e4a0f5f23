#include "cli/HeaderJson.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>

#include "format/BlockPath.h"
#include "format/ExtendedHeaderCodec.h"
#include "format/ItemCodec.h"
#include "model/NumberText.h"
#include "platform/TextCodec.h"

// Import: JSON text to a tree, checked as it is read.

namespace {
using In = HeaderJson::InputJson;

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw HeaderJson::Error(
        "JSON: " +
        (where.empty() ? std::string("the top level") : "'" + TextCodec::Quoted(where) + "'") +
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

std::optional<std::uint32_t> KnownTypeCode(const std::string& name) {
    for (std::uint32_t code : {0u, 1u, 2u, 8u, 25u, 32u, 36u, 42u, 44u, 63u})
        if (ElementTypeNameAscii(code) == name) return code;
    return std::nullopt;
}

std::uint32_t TypeCode(const std::string& name, const std::string& where) {
    if (auto code = KnownTypeCode(name)) return *code;
    Fail(where, "unknown type '" + name + "'");
}

void OnlyKeys(const In& j, std::initializer_list<const char*> keys, const std::string& where) {
    for (const auto& [key, value] : j.items()) {
        bool known = false;
        for (const char* k : keys) known |= key == k;
        if (!known) Fail(where, "unexpected key '" + TextCodec::Quoted(key) + "'");
    }
    for (const char* k : keys)
        if (!j.contains(k)) Fail(where, std::string("missing '") + k + "'");
}

template <class T>
T IntegerIn(const In& v, std::int64_t lo, std::int64_t hi, const std::string& where) {
    if (!v.is_number_integer()) Fail(where, "values must be integers");
    // A JSON number without a sign is read as unsigned, one with a sign as signed.
    const bool inRange =
        v.is_number_unsigned()
            ? v.get<std::uint64_t>() <= static_cast<std::uint64_t>(hi) &&
                  (lo <= 0 || v.get<std::uint64_t>() >= static_cast<std::uint64_t>(lo))
            : v.get<std::int64_t>() >= lo && v.get<std::int64_t>() <= hi;
    if (!inRange)
        Fail(where, "value " + v.dump() + " is outside " + std::to_string(lo) + " to " +
                        std::to_string(hi));
    return static_cast<T>(v.get<std::int64_t>());
}

template <class T>
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
    if (v.is_string()) {  // the words of the values without digits
        const std::u16string word = TextCodec::FromUtf8(v.get<std::string>());
        std::optional<T> value;
        if constexpr (std::is_same_v<T, float>)
            value = NumberText::ParseExactFloat(word);
        else
            value = NumberText::ParseExactDouble(word);
        if (value && !std::isfinite(*value)) return *value;
    }
    Fail(where, "values must be numbers, \"Infinity\", \"-Infinity\" or \"NaN\"");
}

// The type of an entry as the first pass notes it: its code, or one of these.
constexpr std::uint8_t kNoType = 0xFF;       // no type string, or one naming no type
constexpr std::uint8_t kUnknownType = 0xFE;  // "Unknown": its code is a member of its own

// The values of an entry as they are read, one at a time, kept at their size in
// the file: an array member of a large entry costs a few bytes a value, not a
// JSON node each. Values beyond what an item can hold are refused at once.
class ValueSink {
  public:
    // `type`: the entry's type; Unicode takes its "units", Unknown (any type code
    // not known) its "bytes".
    ValueSink(std::uint32_t type, std::string where) : m_type(type), m_where(std::move(where)) {}

    void Add(const In& v) {
        switch (Kind()) {
            case ElementType::Boolean:
                Put(v.is_boolean() ? std::uint8_t{v.get<bool>()}
                                   : IntegerIn<std::uint8_t>(v, 0, 255, m_where));
                break;
            case ElementType::Byte:
                Put(IntegerIn<std::uint8_t>(v, 0, 255, m_where));
                break;
            case ElementType::Short:
                Put(IntegerIn<std::int16_t>(v, -32768, 32767, m_where));
                break;
            case ElementType::Long:
                Put(IntegerIn<std::int32_t>(v, INT32_MIN, INT32_MAX, m_where));
                break;
            case ElementType::Float:
                Put(RealFrom<float>(v, m_where));
                break;
            case ElementType::Double:
                Put(RealFrom<double>(v, m_where));
                break;
            case ElementType::Unicode:
                Put(IntegerIn<char16_t>(v, 1, 0xFFFF, m_where));
                break;
            default:
                Fail(m_where, "a value cannot have the type List");
        }
    }

    // The values as an element of `type` (an Unknown entry's code comes apart).
    HeaderElement Take(std::uint32_t type) const {
        if (type == ToCode(ElementType::Unicode)) {
            std::u16string text(m_raw.size() / 2, u'\0');
            std::memcpy(text.data(), m_raw.data(), m_raw.size());
            return HeaderElement(std::u16string_view(text));
        }
        const std::size_t size = ValueSizeOf(type) ? ValueSizeOf(type) : 1;
        const auto count = static_cast<std::uint32_t>(m_raw.size() / size);
        HeaderElement e(type, count);
        const std::uint8_t* at = m_raw.data();
        for (std::uint32_t i = 0; i < count; ++i, at += size) {
            switch (Kind()) {
                case ElementType::Short:
                    e.SetShort(i, Get<std::int16_t>(at));
                    break;
                case ElementType::Long:
                    e.SetLong(i, Get<std::int32_t>(at));
                    break;
                case ElementType::Float:
                    e.SetFloat(i, Get<float>(at));
                    break;
                case ElementType::Double:
                    e.SetDouble(i, Get<double>(at));
                    break;
                default:
                    e.SetByte(i, *at);
            }
        }
        return e;
    }

  private:
    ElementType Kind() const {
        return IsKnownElementType(m_type) ? static_cast<ElementType>(m_type) : ElementType::Byte;
    }
    template <class T>
    void Put(T v) {
        if (m_raw.size() + sizeof v > ItemCodec::kMaxPayload)
            Fail(m_where, "the value is longer than an item can hold");
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&v);
        m_raw.insert(m_raw.end(), bytes, bytes + sizeof v);
    }
    template <class T>
    static T Get(const std::uint8_t* at) {
        T v;
        std::memcpy(&v, at, sizeof v);
        return v;
    }

    std::uint32_t m_type;
    std::string m_where;
    std::vector<std::uint8_t> m_raw;
};

// Whether an entry of this type takes its values from the array `member`;
// `type` a type code, or one of the markers of the first pass.
bool TakesArray(std::uint32_t type, std::string_view member) {
    if (type == kUnknownType) return member == "bytes";
    if (!IsKnownElementType(type)) return false;
    switch (static_cast<ElementType>(type)) {
        case ElementType::Ascii:
        case ElementType::End:
        case ElementType::List:
            return false;
        case ElementType::Unicode:
            return member == "units";
        default:
            return member == "values";
    }
}

// `streamed`: the values of the entry's array member, read already.
HeaderElement LeafFromJson(const In& j, std::uint32_t type, const std::string& where,
                           const ValueSink* streamed) {
    // An array member's values, from the sink or from the JSON kept.
    auto valuesOf = [&](const char* member) {
        if (streamed) return streamed->Take(type);
        if (!j[member].is_array()) Fail(where, std::string("'") + member + "' must be an array");
        ValueSink sink(type, where);
        for (const auto& v : j[member]) sink.Add(v);
        return sink.Take(type);
    };
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
            if (j.contains("units")) {
                OnlyKeys(j, {"type", "units"}, where);
                return valuesOf("units");
            }
            OnlyKeys(j, {"type", "value"}, where);
            if (!j["value"].is_string()) Fail(where, "'value' must be a string");
            const std::u16string text = TextCodec::FromUtf8(j["value"].get<std::string>());
            if (text.find(u'\0') != std::u16string::npos)
                Fail(where, "text must not hold the character 0");
            return HeaderElement(std::u16string_view(text));
        }
        case ElementType::End:
            OnlyKeys(j, {"type"}, where);
            return HeaderElement();
        default:
            break;
    }
    if (!IsKnownElementType(type)) {
        OnlyKeys(j, {"type", "code", "bytes"}, where);
        return valuesOf("bytes");
    }
    OnlyKeys(j, {"type", "values"}, where);
    return valuesOf("values");
}

// The checks of one label of a list, before its entry is read.
std::string LabelFromKey(const std::string& key, const std::string& where, const HeaderNode& list) {
    const std::string label = ToAnsi(key, where);
    if (const char* fault = BlockPath::LabelFault(label))
        Fail(where, "the label " + std::string(fault));
    if (HeaderTree::Find(list, label))
        Fail(where, "Label " + TextCodec::Quoted(key) + " already exists in parent list !");
    return label;
}

// A leaf entry from its object (every key but a list's "entries").
// `streamed`: the values of its array member, when read as they came.
std::unique_ptr<HeaderNode> LeafEntry(const std::string& label, const In& value,
                                      const std::string& typeName, const std::string& where,
                                      const ValueSink* streamed) {
    auto node = std::make_unique<HeaderNode>(label, false);
    if (typeName == "Unknown") {
        OnlyKeys(value, {"type", "code", "bytes"}, where);
        const auto code = IntegerIn<std::uint32_t>(value["code"], 0, 63, where);
        if (IsKnownElementType(code))
            Fail(where, "code " + std::to_string(code) + " is a known type");
        node->value = LeafFromJson(value, code, where, streamed);
    } else {
        node->value = LeafFromJson(value, TypeCode(typeName, where), where, streamed);
    }
    return node;
}

}  // namespace

namespace {
// A first pass over the text that finds a key given twice in one object (the
// parser would keep the last silently) and the keys on the way there. A pass of
// its own: the parser's callback form is more than twice as slow. It also stops
// at nesting deeper than any header can be written (each list is an entry's
// object and its "entries" object), so that hostile nesting costs no memory.
// And it notes each object's "type", so that the second pass knows an entry's
// type before its values, whatever the order of its keys.
class DuplicateKeys : public nlohmann::json_sax<In> {
  public:
    static constexpr std::size_t kMaxNesting = 2 * kMaxListDepth + 8;
    bool found = false;
    std::string where, what;  // the message: the keys on the way, the fault
    // Each object's known type code, kNoType for none, in the order they open.
    std::vector<std::uint8_t> types;

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t& s) override {
        if (m_open.empty() || m_open.back().depth != m_nDepth || m_open.back().key != "type")
            return true;
        if (const auto code = KnownTypeCode(s))
            types[m_open.back().index] = *code & 0x3F;
        else if (s == "Unknown")
            types[m_open.back().index] = kUnknownType;
        return true;
    }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override {
        if (!Deeper()) return false;
        m_open.push_back({{}, {}, types.size(), m_nDepth});
        types.push_back(kNoType);
        return true;
    }
    bool key(string_t& key) override {
        if (!m_open.back().keys.insert(key).second)
            return Found("duplicate key '" + TextCodec::Quoted(key) + "'", m_open.size() - 1);
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
        std::size_t index;  // in `types`
        std::size_t depth;  // m_nDepth inside it
    };
    std::vector<Open> m_open;
    std::size_t m_nDepth = 0;  // objects and arrays open
};
}  // namespace

namespace {
const char* const kNotAnEntry = "an entry must be an object with a \"type\"";

// Builds the tree as the parser goes, so that memory follows the tree, not a
// document of the whole text: a list's "entries" become its entries at once;
// an entry's array of values goes to a sink at its stored size as it is read;
// its other members (a type, a text, a code) are kept as JSON until the entry's
// object ends and is then checked whole. A container no entry takes is kept
// empty and its content skipped.
class TreeBuilder : public nlohmann::json_sax<In> {
  public:
    // `types`: each object's type, as the first pass noted it.
    TreeBuilder(HeaderNode& root, const std::vector<std::uint8_t>& types)
        : m_root(root), m_types(types) {}

    bool null() override { return Value(In(nullptr)); }
    bool boolean(bool v) override { return Value(In(v)); }
    bool number_integer(number_integer_t v) override { return Value(In(v)); }
    bool number_unsigned(number_unsigned_t v) override { return Value(In(v)); }
    bool number_float(number_float_t v, const string_t&) override { return Value(In(v)); }
    bool string(string_t& v) override { return Value(In(std::move(v))); }
    bool binary(binary_t& v) override { return Value(In(std::move(v))); }

    bool start_object(std::size_t) override {
        const std::uint8_t type = m_types.at(m_nObjects++);
        if (Skipping()) return true;
        if (m_frames.empty()) return Enter(m_root, "", 0);
        Frame& f = m_frames.back();
        if (f.kind == Frame::Entries) {
            m_frames.push_back(
                MakeFrame(Frame::Entry, f.list, f.pendingWhere, f.depth, f.pendingLabel));
            m_frames.back().type = type;
            return true;
        }
        if (f.streaming) f.sink->Add(In::object());  // refused: not a value
        if (f.member == "entries") {
            f.entries = true;
            HeaderNode* list =
                HeaderTree::Insert(*f.list, std::make_unique<HeaderNode>(f.label, true), &m_root);
            return Enter(*list, f.where, f.depth + 1);
        }
        return Skip(f, In::object());
    }
    bool start_array(std::size_t) override {
        if (Skipping()) return true;
        Frame& f = Taking();
        if (f.streaming) f.sink->Add(In::array());  // refused: not a value
        if (TakesArray(f.type, f.member)) {         // the entry's values: to a sink as they come
            f.value[f.member] = In::array();
            f.sink.emplace(f.type, f.where);
            f.streaming = true;
            return true;
        }
        return Skip(f, In::array());
    }
    bool key(string_t& key) override {
        Frame& f = m_frames.back();
        if (f.skipping) return true;
        if (f.kind == Frame::Entries) {
            f.pendingWhere = f.where.empty() ? key : f.where + "." + key;
            f.pendingLabel = LabelFromKey(key, f.pendingWhere, *f.list);
        } else {
            f.member = key;
        }
        return true;
    }
    bool end_array() override {
        Frame& f = m_frames.back();
        if (f.skipping)
            --f.skipping;
        else
            f.streaming = false;
        return true;
    }
    bool end_object() override {
        Frame& f = m_frames.back();
        if (f.skipping) {
            --f.skipping;
            return true;
        }
        if (f.kind == Frame::Entries) {
            m_frames.pop_back();
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
        HeaderNode* list;                            // the list the entries go to
        std::string where;                           // Entries: the list's path; Entry: the entry's
        std::size_t depth;                           // of the list
        std::string label;                           // Entry: its label
        In value = In::object();                     // Entry: its members but "entries"
        std::string member;                          // Entry: the member being read
        bool entries = false;                        // Entry: its "entries" became a list
        std::string pendingLabel{}, pendingWhere{};  // Entries: the entry to come
        std::uint8_t type = kNoType;                 // Entry: its type, as the first pass saw it
        std::optional<ValueSink> sink{};  // Entry: its array member's values, read as they came
        bool streaming = false;           // Entry: inside that array
        std::size_t skipping = 0;         // Entry: levels open inside a member skipped
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
    // The frame that takes a value or an array here.
    Frame& Taking() {
        if (m_frames.empty()) Fail("", "entries must be a JSON object");
        Frame& f = m_frames.back();
        if (f.kind == Frame::Entries) Fail(f.pendingWhere, kNotAnEntry);
        return f;
    }
    bool Value(In v) {
        if (!m_frames.empty() && m_frames.back().skipping) return true;
        Frame& f = Taking();
        if (f.streaming)
            f.sink->Add(v);
        else
            f.value[f.member] = std::move(v);
        return true;
    }
    // Inside a member being skipped: one level deeper.
    bool Skipping() {
        if (m_frames.empty() || !m_frames.back().skipping) return false;
        ++m_frames.back().skipping;
        return true;
    }
    // A container where an entry takes none but its values (an error the
    // entry's check names, by its kind alone): kept empty, its content skipped,
    // so that it costs no memory.
    bool Skip(Frame& f, In empty) {
        f.value[f.member] = std::move(empty);
        f.skipping = 1;
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
        HeaderTree::Insert(
            *e.list, LeafEntry(e.label, value, typeName, e.where, e.sink ? &*e.sink : nullptr),
            &m_root);
    }

    HeaderNode& m_root;
    const std::vector<std::uint8_t>& m_types;
    std::size_t m_nObjects = 0;
    std::vector<Frame> m_frames;
};
}  // namespace

std::unique_ptr<HeaderNode> HeaderJson::Import(std::string_view text) {
    DuplicateKeys check;
    In::sax_parse(text, &check);
    if (check.found) Fail(check.where, check.what);
    auto root = ExtendedHeader::MakeRoot();
    TreeBuilder builder(*root, check.types);
    In::sax_parse(text, &builder);
    return root;
}
