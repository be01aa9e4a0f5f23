// Whole-tree decoding and encoding of the Extended Header block.

#include "format/ExtendedHeaderCodec.h"
#include "format/HeaderError.h"
#include "support/ReferenceCodec.h"
#include "support/TestFiles.h"
#include "support/Trees.h"

namespace {

// Decodes with both decoders; they must agree on success and on the tree.
std::unique_ptr<HeaderNode> Decode(const Bytes& block, bool expectOk = true,
                                   const char* what = "") {
    SCOPED_TRACE(what);
    auto fast = ExtendedHeader::MakeRoot();
    auto ref = ExtendedHeader::MakeRoot();
    const bool okFast = DecodeExtendedHeader(block, *fast);
    const bool okRef = ReferenceDecodeExtendedHeader(block, *ref);
    EXPECT_EQ(okFast, okRef) << "the decoders disagree";
    EXPECT_EQ(okFast, expectOk);
    std::string why;
    if (okFast && okRef) {
        EXPECT_TRUE(SameTree(*fast, *ref, &why)) << why;
    }
    return fast;
}

// The encoder's refusal, or "" when it encodes.
std::string EncodeFailure(const HeaderNode& root) {
    try {
        EncodeExtendedHeaderBlock(root);
        return "";
    } catch (const HeaderError& e) {
        return e.what();
    }
}

std::vector<std::string> Dump(const HeaderNode& root) {
    std::vector<std::string> lines;
    HeaderTree::Walk(root, [&](const HeaderNode& n, std::string_view path) {
        std::string line(path);
        line += n.isList ? "/" : "=" + std::string(ElementTypeNameAscii(n.value.GetType()));
        lines.push_back(line);
    });
    return lines;
}

TEST(TreeCodecTest, WorkedExamplesEncodeAndDecode) {
    auto root = ExtendedHeader::MakeRoot();
    AddLeaf(*root, *root, "Name", HeaderElement(std::string_view("ab")));
    AddLeaf(*root, *root, "Gain", LongValue(5));
    const Bytes flat = EncodeExtendedHeaderBlock(*root);
    EXPECT_EQ(
        flat,
        Hex("05 05 47 61 69 6E 00 B1 04 05 00 00 00 05 05 4E 61 6D 65 00 05 03 61 62 00 FC 00 00"));
    auto back = Decode(flat);
    std::string why;
    EXPECT_TRUE(SameTree(*root, *back, &why)) << why;

    auto nested = ExtendedHeader::MakeRoot();
    AddLeaf(*nested, *AddList(*nested, *nested, "Run"), "Gain", LongValue(5));
    const Bytes runGain = EncodeExtendedHeaderBlock(*nested);
    EXPECT_EQ(runGain,
              Hex("05 04 52 75 6E 00 01 02 05 05 47 61 69 6E 00 B1 04 05 00 00 00 FC 00 00"));
    back = Decode(runGain);
    EXPECT_TRUE(SameTree(*nested, *back, &why)) << why;
    EXPECT_EQ(HeaderTree::Find(*HeaderTree::Find(*back, "Run"), "Gain")->parent,
              HeaderTree::Find(*back, "Run"));
}

TEST(TreeCodecTest, EmptyListsAreNotStored) {
    auto root = ExtendedHeader::MakeRoot();
    EXPECT_TRUE(EncodeExtendedHeaderBlock(*root).empty()) << "no entries: no block";
    HeaderNode* outer = AddList(*root, *root, "Outer");
    AddList(*root, *outer, "Inner");
    AddList(*root, *root, "Empty");
    EXPECT_EQ(EncodeExtendedHeaderBlock(*root), Hex("FC 00 00 00"));
    AddLeaf(*root, *root, "Keep", LongValue(1));
    auto back = Decode(EncodeExtendedHeaderBlock(*root));
    EXPECT_EQ(Dump(*back), std::vector<std::string>{"Keep=Long"});
}

// A list of 256 items needs a two-byte count (the item codec picks the width;
// the path layer's widening is compared with this writer in BlockPathTest).
TEST(TreeCodecTest, LargeListsRoundTrip) {
    auto root = ExtendedHeader::MakeRoot();
    HeaderNode* big = AddList(*root, *root, "Big");
    for (int i = 0; i < 128; ++i)
        AddLeaf(*root, *big, "E" + std::to_string(1000 + i), LongValue(i));
    const Bytes block = EncodeExtendedHeaderBlock(*root);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 9), Hex("05 04 42 69 67 00 02 00 01"));
    auto back = Decode(block);
    std::string why;
    EXPECT_TRUE(SameTree(*root, *back, &why)) << why;
}

TEST(TreeCodecTest, EveryTypeRoundTripsUnknownCodesIncluded) {
    auto root = ExtendedHeader::MakeRoot();
    HeaderNode* l = AddList(*root, *root, "L");
    AddLeaf(*root, *l, "A", HeaderElement(std::string_view("\xE9t\xE9")));
    AddLeaf(*root, *l, "U", HeaderElement(std::u16string_view(u"\u00e9\u20ac\U0001F600")));
    AddLeaf(*root, *l, "B", HeaderElement(std::uint8_t{1}));
    HeaderElement d(ElementType::Double, 2);
    d.SetDouble(0, -0.0);
    d.SetDouble(1, 1e-300);
    AddLeaf(*root, *l, "D", d);
    HeaderElement unknown(5u, 3u);
    unknown.SetByte(0, 0xAA);
    unknown.SetByte(2, 0x55);
    AddLeaf(*root, *l, "X", unknown);
    AddLeaf(*root, *l, "E", HeaderElement());
    auto back = Decode(EncodeExtendedHeaderBlock(*root));
    std::string why;
    EXPECT_TRUE(SameTree(*root, *back, &why)) << why;
}

TEST(TreeCodecTest, BadBlocksFailToDecode) {
    Decode(Hex("05 05 4E 61 6D 65 00 05 03 61 62 00 05 05 47 61 69 6E 00 B1 04 05 00 00 00 FC"),
           false, "Name before Gain: order broken");
    Decode(Hex("05 02 41 00 21 01 02 FC"), false, "Boolean value 2");
    Decode(Hex("05 02 41 00 B1 04 05 00 00 00"), false, "no End item");
    Decode(Hex("05 02 41 00 01 01 05 02 42 00 B1 04 01 00 00 00 FC"), false, "odd list count");
    Decode(Hex("05 02 41 00 01 02 FC 05 02 42 00 FC"), false, "End inside a list");
    Decode(Hex("25 01 01 B1 04 01 00 00 00 FC"), false, "a label that is not ASCII");
    Decode(Hex("05 01 00 B1 04 01 00 00 00 FC"), false, "an empty label");
    Decode(Hex("05 04 41 2E 42 00 B1 04 01 00 00 00 FC"), false, "a label with a period");
    Decode(Hex("05 02 41 00 B1 04 01 00 00 00 05 02 61 00 01 02 05 02 42 00 B1 04 01 00 00 00 FC"),
           false, "a list whose label first names a leaf");
    Decode(Hex("FC"), true);
    Decode(Hex(""), false);
}

TEST(TreeCodecTest, DuplicateLabelsTakeTheFirstOccurrence) {
    // A=1, a=2 at the top level: one entry, the first value, the later spelling.
    auto root = Decode(Hex("05 02 41 00 B1 04 01 00 00 00 05 02 61 00 B1 04 02 00 00 00 FC"));
    ASSERT_EQ(root->children.size(), 1u);
    EXPECT_EQ(root->children.begin()->first, "A");
    EXPECT_EQ(root->children.begin()->second->label, "a");
    EXPECT_EQ(root->children.begin()->second->value.GetLong(0), 1);
    // A list first, then a leaf of the same label: the list wins.
    root = Decode(
        Hex("05 02 41 00 01 02 05 02 42 00 B1 04 07 00 00 00 05 02 61 00 B1 04 02 00 00 00 FC"));
    EXPECT_EQ(Dump(*root), (std::vector<std::string>{"A/", "A.B=Long"}));
}

TEST(TreeCodecTest, TreesTheReaderWouldRefuseAreNotEncoded) {
    // Each tree holds one entry the decoder refuses; the encoder refuses it too,
    // naming the entry's path, where it once wrote a file that would not open.
    HeaderElement badBoolean(ElementType::Boolean, 2);
    badBoolean.SetByte(0, 2);
    const struct {
        std::string list, label;
        HeaderElement value;
        std::string named;
    } cases[] = {
        {"L", "", LongValue(1), "'L.'"},
        {"L", std::string("A\0", 2), LongValue(1), "a NUL"},
        {"L", std::string("A\0X", 3), LongValue(1), "a NUL"},
        {"L", "A.B", LongValue(1), "'L.A.B'"},
        {"L", "B", badBoolean, "'L.B'"},
    };
    for (const auto& c : cases) {
        auto root = ExtendedHeader::MakeRoot();
        AddLeaf(*root, *root, "OK", LongValue(1));
        AddLeaf(*root, *AddList(*root, *root, c.list), c.label, c.value);
        EXPECT_TRUE(Contains(EncodeFailure(*root), c.named));
    }
    // Two labels the same without regard to case in one list (a rename can make them).
    auto root = ExtendedHeader::MakeRoot();
    HeaderNode* list = AddList(*root, *root, "L");
    AddLeaf(*root, *list, "A", LongValue(1));
    AddLeaf(*root, *list, "B", LongValue(2))->label = "a";
    EXPECT_NE(EncodeFailure(*root), "");
}

// A block of `depth` nested lists holding one Long at the bottom.
Bytes NestedBlock(std::size_t depth) {
    Bytes out;
    for (std::size_t i = 0; i < depth; ++i) {
        ItemCodec::EncodeAsciiItem(out, "L");
        ItemCodec::EncodeListItem(out, 2);
    }
    ItemCodec::EncodeAsciiItem(out, "V");
    HeaderElement v(ElementType::Long, 1);
    ItemCodec::EncodeItem(out, v);
    out.push_back(ItemCodec::kEndItem);
    return out;
}

TEST(TreeCodecDepthTest, NestingIsBoundedBothWays) {
    Decode(NestedBlock(kMaxListDepth), true, "as deep as allowed");
    Decode(NestedBlock(kMaxListDepth + 1), false, "one list too deep");
    Decode(NestedBlock(100000), false, "a hostile depth fails quickly, without recursion");

    auto root = ExtendedHeader::MakeRoot();
    HeaderNode* list = root.get();
    for (std::size_t i = 0; i < kMaxListDepth; ++i) list = AddList(*root, *list, "L");
    AddLeaf(*root, *list, "V", LongValue(1));
    EXPECT_EQ(EncodeFailure(*root), "");
    AddLeaf(*root, *AddList(*root, *list, "M"), "W", LongValue(2));
    EXPECT_NE(EncodeFailure(*root), "") << "a file that would not open again is not written";
}

}  // namespace
