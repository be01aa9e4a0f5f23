#include <gtest/gtest.h>

#include <cmath>

#include "model/HeaderElement.h"
#include "platform/TextCodec.h"

namespace {

HeaderElement ParseOk(std::u16string_view text, ElementType type) {
    HeaderElement e;
    std::uint32_t failed = 99;
    EXPECT_TRUE(e.Parse(text, ToCode(type), failed)) << "text did not parse";
    return e;
}

// The failed index of a parse that must fail.
std::uint32_t ParseFails(std::u16string_view text, ElementType type) {
    HeaderElement e;
    std::uint32_t failed = 99;
    EXPECT_FALSE(e.Parse(text, ToCode(type), failed));
    EXPECT_EQ(e.GetType(), ToCode(type)) << "a failed parse keeps the new type";
    return failed;
}

std::u16string Fmt(const HeaderElement& e, int base = 10) {
    return e.Format(base);
}

TEST(HeaderElementFormatTest, ValuesShowInEitherBase) {
    using enum ElementType;
    const struct {
        std::u16string_view text;
        ElementType type;
        std::u16string_view decimal, hex;  // hex empty: as decimal
    } cases[] = {
        {u"1,2,3", Short, u"1,2,3", u"0x1,0x2,0x3"},
        {u"-1,0,-32768", Short, u"-1,0,-32768", u"0xffff,0x0,0x8000"},
        {u"-1,2147483647", Long, u"-1,2147483647", u"0xffffffff,0x7fffffff"},
        {u"0,255,16", Byte, u"0,255,16", u"0x0,0xff,0x10"},
        {u"3.14159265358979", Double, u"3.14159", u""},
        {u"0.1", Float, u"0.1", u""},
        {u"1234567", Double, u"1.23457e+06", u""},
        {u"0.0001,0.00001,100000,1e6", Double, u"0.0001,1e-05,100000,1e+06", u""},
        {u"True,false, TRUE ,#FALSE#,#true#,0,2,-1", Boolean,
         u"True,False,True,False,True,False,True,True", u""},
    };
    for (const auto& c : cases) {
        const HeaderElement e = ParseOk(c.text, c.type);
        EXPECT_EQ(Fmt(e, 10), c.decimal);
        EXPECT_EQ(Fmt(e, 16), c.hex.empty() ? c.decimal : c.hex);
    }
    HeaderElement b(ElementType::Boolean, 2);
    b.SetByte(1, 7);
    EXPECT_EQ(Fmt(b), u"False,True") << "any byte but 0 shows as True";
    EXPECT_EQ(Fmt(HeaderElement(std::string_view("\xE9"))), std::u16string(1, u'\u00E9'));
    EXPECT_EQ(Fmt(HeaderElement(std::u16string_view(u"\u20ac x"))), u"\u20ac x");
    EXPECT_EQ(Fmt(HeaderElement(ElementType::Long, 0)), u"");
    EXPECT_EQ(Fmt(HeaderElement()), u"");
    EXPECT_EQ(Fmt(HeaderElement(5u, 3u)), u",,") << "unknown codes keep their separators";
}

TEST(HeaderElementParseTest, TokensAndFailedIndex) {
    HeaderElement l = ParseOk(u" 12 , 0x1F", ElementType::Long);
    ASSERT_EQ(l.GetCount(), 2u);
    EXPECT_EQ(l.GetLong(0), 12);
    EXPECT_EQ(l.GetLong(1), 31);

    EXPECT_EQ(ParseFails(u"1,,2", ElementType::Long), 1u);
    EXPECT_EQ(ParseFails(u"1,", ElementType::Long), 0u);
    EXPECT_EQ(ParseFails(u"", ElementType::Long), 0u);
    EXPECT_EQ(ParseFails(u",", ElementType::Long), 0u);
    EXPECT_EQ(ParseFails(u",,,", ElementType::Short), 0u);
    EXPECT_EQ(ParseFails(u"5,abc,7", ElementType::Byte), 1u);
    EXPECT_EQ(ParseFails(u"1,2,3,x", ElementType::Double), 3u);
    EXPECT_EQ(ParseFails(u"True,maybe", ElementType::Boolean), 1u);
    EXPECT_EQ(ParseFails(u",1,2", ElementType::Long), 1u) << "a leading comma still counts";
}

TEST(HeaderElementParseTest, IntegerRules) {
    EXPECT_EQ(ParseOk(u"010", ElementType::Long).GetLong(0), 8);
    EXPECT_EQ(ParseOk(u"-0x10", ElementType::Long).GetLong(0), -16);
    EXPECT_EQ(ParseOk(u"+7", ElementType::Long).GetLong(0), 7);
    EXPECT_EQ(ParseOk(u"-2147483648", ElementType::Long).GetLong(0), INT32_MIN);
    EXPECT_EQ(ParseOk(u"-0x80000000", ElementType::Long).GetLong(0), INT32_MIN);
    EXPECT_EQ(ParseOk(u"0XfF", ElementType::Byte).GetByte(0), 255);
    EXPECT_EQ(ParseOk(u"\t42\u3000", ElementType::Short).GetShort(0), 42);
    EXPECT_EQ(ParseFails(u"08", ElementType::Long), 0u);
    EXPECT_EQ(ParseFails(u"2147483648", ElementType::Long), 0u);
    EXPECT_EQ(ParseFails(u"0xffffffff", ElementType::Long), 0u);
    EXPECT_EQ(ParseFails(u"0xffff", ElementType::Short), 0u);
    EXPECT_EQ(ParseFails(u"256", ElementType::Byte), 0u);
    EXPECT_EQ(ParseFails(u"-1", ElementType::Byte), 0u);
    EXPECT_EQ(ParseFails(u"0x", ElementType::Long), 0u);
    EXPECT_EQ(ParseFails(u"12abc", ElementType::Long), 0u);
    EXPECT_EQ(ParseFails(u"1 2", ElementType::Long), 0u);
    EXPECT_EQ(ParseFails(u"- 1", ElementType::Long), 0u);
    EXPECT_EQ(ParseFails(u"99999999999999999999", ElementType::Long), 0u);
}

TEST(HeaderElementParseTest, RealRules) {
    EXPECT_EQ(ParseOk(u"0", ElementType::Double).GetDouble(0), 0.0);
    EXPECT_EQ(ParseOk(u"1e39", ElementType::Double).GetDouble(0), 1e39);
    EXPECT_EQ(ParseOk(u".5", ElementType::Double).GetDouble(0), 0.5);
    EXPECT_EQ(ParseOk(u"5.", ElementType::Double).GetDouble(0), 5.0);
    EXPECT_EQ(ParseOk(u"-1.5E+2 ", ElementType::Double).GetDouble(0), -150.0);
    EXPECT_EQ(ParseOk(u"1e-300", ElementType::Double).GetDouble(0), 1e-300);
    EXPECT_FLOAT_EQ(ParseOk(u"-2.5e-3", ElementType::Float).GetFloat(0), -2.5e-3f);
    EXPECT_EQ(ParseFails(u"0", ElementType::Float), 0u);
    EXPECT_EQ(ParseFails(u"1e39", ElementType::Float), 0u);
    EXPECT_EQ(ParseFails(u"1e-39", ElementType::Float), 0u) << "below the smallest normal float";
    EXPECT_EQ(ParseOk(u"3.4028234663852886e+38", ElementType::Float).GetFloat(0),
              3.4028234663852886e+38f);
    for (auto bad : {u"inf", u"-infinity", u"nan", u"NAN(1)", u"0x10", u"0x1p3", u".", u"e5", u"1e",
                     u"1e+", u"1.2.3", u"1e400", u"-1e400", u"1e-320", u"1,5e3x"}) {
        HeaderElement e;
        std::uint32_t failed = 0;
        EXPECT_FALSE(e.Parse(bad, ToCode(ElementType::Double), failed)) << "accepted a bad real";
    }
}

TEST(HeaderElementParseTest, StringsAlwaysSucceed) {
    HeaderElement a;
    std::uint32_t failed = 7;
    ASSERT_TRUE(a.Parse(u"Caf\u00e9 \u20ac \u03a9", ToCode(ElementType::Ascii), failed));
    EXPECT_EQ(a.Ascii(), "Caf\xE9 \x80 ?") << "characters outside Windows-1252 become '?'";
    EXPECT_EQ(a.GetCount(), 1u);
    ASSERT_TRUE(a.Parse(u"\U0001F600x", ToCode(ElementType::Ascii), failed));
    EXPECT_EQ(a.Ascii(), "?x") << "a surrogate pair is one character";
    ASSERT_TRUE(a.Parse(u"\u20ac,1", ToCode(ElementType::Unicode), failed));
    EXPECT_EQ(a.Unicode(), u"\u20ac,1");
    EXPECT_EQ(a.GetType(), ToCode(ElementType::Unicode));
}

TEST(HeaderElementParseTest, FormatThenParseRoundTripsIntegers) {
    for (auto type : {ElementType::Byte, ElementType::Short, ElementType::Long}) {
        HeaderElement e = ParseOk(u"0,1,7,100,127", type);
        for (int base : {10, 16}) EXPECT_TRUE(ParseOk(Fmt(e, base), type) == e) << base;
    }
}

TEST(HeaderElementTest, CopiesAreDeepAndStringsStopAtNul) {
    HeaderElement a = ParseOk(u"1,2", ElementType::Long);
    HeaderElement b = a;
    b.SetLong(0, 99);
    EXPECT_EQ(a.GetLong(0), 1);
    a = HeaderElement();
    EXPECT_EQ(a.GetType(), ToCode(ElementType::End));
    EXPECT_TRUE(a.GetBytes().empty());
    EXPECT_EQ(HeaderElement(std::string_view("ab\0cd", 5)).Ascii(), "ab");

    HeaderElement r;
    const std::uint8_t payload[] = {'h', 0, 'i', 0, 0, 0, 'x', 0};
    r.Assign(ToCode(ElementType::Unicode), 1, payload);
    EXPECT_EQ(r.Unicode(), u"hi");
    const std::uint8_t shorts[] = {0xFF, 0xFF, 0x02, 0x00};
    r.Assign(ToCode(ElementType::Short), 2, shorts);
    EXPECT_EQ(r.GetShort(0), -1);
    EXPECT_EQ(r.GetShort(1), 2);
    r.Release();
    EXPECT_EQ(r.GetCount(), 0u);
}

// A large array read from a buffer shares it until changed; every copy and the
// buffer itself stay what they were when one of them changes.
TEST(HeaderElementTest, SharedArraysCopyOutOnTheirFirstChange) {
    const std::uint32_t count = HeaderElement::kShareFrom / 2;
    auto owner = std::make_shared<std::vector<std::uint8_t>>(8 + 2 * count);
    for (std::size_t i = 0; i < owner->size(); ++i) (*owner)[i] = static_cast<std::uint8_t>(i * 7);
    const std::vector<std::uint8_t> original = *owner;
    const auto payload = std::span<const std::uint8_t>(*owner).subspan(8);

    HeaderElement a;
    a.AssignShared(ToCode(ElementType::Short), count, payload, owner);
    EXPECT_EQ(owner.use_count(), 2) << "the element holds a share, not a copy";
    EXPECT_EQ(a.GetBytes().data(), payload.data());
    HeaderElement b = a;
    EXPECT_EQ(owner.use_count(), 3);
    EXPECT_EQ(a, b);

    b.SetShort(count - 1, -2);
    EXPECT_EQ(b.GetShort(count - 1), -2);
    EXPECT_EQ(a.GetShort(count - 1),
              static_cast<std::int16_t>(original[7 + 2 * count] << 8 | original[6 + 2 * count]));
    EXPECT_EQ(*owner, original) << "a change never writes the shared buffer";
    EXPECT_EQ(owner.use_count(), 2) << "the changed copy let its share go";
    a.Release();
    EXPECT_EQ(owner.use_count(), 1);

    // Small arrays and strings are copied: they never keep a whole block alive.
    HeaderElement small, text;
    small.AssignShared(ToCode(ElementType::Long), 4, payload, owner);
    text.AssignShared(ToCode(ElementType::Ascii), 1, payload.subspan(0, 3), owner);
    EXPECT_EQ(owner.use_count(), 1);
    EXPECT_EQ(small.GetUInt32(0),
              static_cast<std::uint32_t>(original[8] | original[9] << 8 | original[10] << 16 |
                                         original[11] << 24));
}

// The one 8-bit code page: every byte widens to one character that narrows back
// to it, in either code page; what a code page cannot hold becomes '?'.
// Well-formed UTF-8 (the shortest form of a scalar value) and its shown form:
// controls, DEL, C1 controls and every byte outside a well-formed sequence
// escaped, one at a time.
TEST(TextCodecTest, Utf8ValidityAndEscapes) {
    const struct {
        std::string_view text;
        bool utf8;
        std::string_view shown;
    } cases[] = {
        {"a\\b", true, "a\\\\b"},
        {"\t\n\r", true, "\\t\\n\\r"},
        {"\x01\x7F", true, "\\x01\\x7F"},
        {"\xC2\x85", true, "\\xC2\\x85"},                        // U+0085, a C1 control
        {"\xC2\xA0\xE2\x82\xAC", true, "\xC2\xA0\xE2\x82\xAC"},  // NBSP and euro
        {"\xF0\x9F\x98\x80", true, "\xF0\x9F\x98\x80"},          // U+1F600
        {"\xC0\x80", false, "\\xC0\\x80"},                       // overlong NUL
        {"\xE0\x82\xA9", false, "\\xE0\\x82\\xA9"},              // overlong U+00A9
        {"\xF0\x82\x82\xAC", false, "\\xF0\\x82\\x82\\xAC"},     // overlong euro
        {"\xED\xA0\x80", false, "\\xED\\xA0\\x80"},              // a surrogate
        {"\xF4\x90\x80\x80", false, "\\xF4\\x90\\x80\\x80"},     // beyond U+10FFFF
        {"\xE2\x82", false, "\\xE2\\x82"},                       // cut short
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextCodec::IsUtf8(c.text), c.utf8) << TextCodec::Escaped(c.text);
        EXPECT_EQ(TextCodec::Escaped(c.text), c.shown);
    }
}

TEST(TextCodecTest, EveryByteRoundTripsAndWindows1252ShowsItsOwnCharacters) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    for (auto page : {TextCodec::CodePage::Latin1, TextCodec::CodePage::Windows1252}) {
        TextCodec::SetCodePage(page);
        const std::u16string wide = TextCodec::WidenAnsi(all);
        ASSERT_EQ(wide.size(), all.size());
        EXPECT_EQ(TextCodec::NarrowAnsi(wide), all) << TextCodec::CodePageName();
        EXPECT_TRUE(TextCodec::CanNarrow(wide));
        EXPECT_FALSE(TextCodec::CanNarrow(u"\u03a9"));
        EXPECT_EQ(TextCodec::NarrowAnsi(u"\U0001F600\u03a9x"), "??x");
    }
    EXPECT_EQ(TextCodec::GetCodePage(), TextCodec::CodePage::Windows1252);
    EXPECT_EQ(TextCodec::WidenAnsi("J\x92Marsh \x96 \x80 \x85\x9F"),
              u"J\u2019Marsh \u2013 \u20ac \u2026\u0178");
    EXPECT_EQ(TextCodec::WidenAnsi("\x81\x8D\x8F\x90\x9D"), u"\u0081\u008d\u008f\u0090\u009d")
        << "the five bytes Windows-1252 leaves open stand for themselves";
    EXPECT_EQ(TextCodec::NarrowAnsi(u"\u0080\u0092"), "??") << "C1 controls it has no byte for";
    EXPECT_EQ(TextCodec::AnsiToUtf8("\x80"), "\u20ac");
    TextCodec::SetCodePage(TextCodec::CodePage::Latin1);
    EXPECT_EQ(TextCodec::WidenAnsi("\x80"), u"\u0080");
    EXPECT_EQ(TextCodec::NarrowAnsi(u"\u20ac"), "?");
    TextCodec::SetCodePage(TextCodec::CodePage::Windows1252);
}

}  // namespace
