// The item and path layers of the Extended Header block.

#include "format/ExtendedHeaderCodec.h"
#include "support/TestFiles.h"
#include "support/Trees.h"

namespace {

using BlockPath::BlockBuffer;
using BlockPath::SetResult;
using BlockPath::SetValueAtPath;

const char* kRunGain =
    "05 04 52 75 6E 00 · 01 02 · 05 05 47 61 69 6E 00 · B1 04 05 00 00 00 · FC · 00 00";

TEST(ItemCodecTest, RefusesMalformedItems) {
    auto bad = [](const char* hex) { return !ItemCodec::DecodeItem(Hex(hex), 0).has_value(); };
    EXPECT_TRUE(bad("FD")) << "End with a length code";
    EXPECT_TRUE(bad("B1 04")) << "nothing follows the length field";
    EXPECT_TRUE(bad("B1 03 01 02 03 00")) << "size not a multiple of 4";
    EXPECT_TRUE(bad("05 03 61 62 63 00")) << "ASCII without its terminator";
    EXPECT_TRUE(bad("05 05 61 62 00")) << "ASCII payload past the limit";
    EXPECT_TRUE(bad("09 01 00 FC")) << "Unicode shorter than one unit";
    EXPECT_TRUE(bad("09 04 61 00 62 00 FC")) << "Unicode without its terminator";
    EXPECT_TRUE(bad("21 01 02 FC")) << "Boolean whose first value is 2";
    EXPECT_TRUE(bad("81 10 00 00 00 00 00 00 00 00")) << "Double payload past the limit";
    EXPECT_TRUE(bad("")) << "no byte at all";
    EXPECT_FALSE(bad("21 02 01 07 FC")) << "only the first Boolean value is checked";
    EXPECT_FALSE(bad("15 03 01 02 03 FC")) << "an unknown code (5) with element size 1";
    EXPECT_FALSE(bad("01 FF FC")) << "a List's count is not a payload";
    EXPECT_FALSE(bad("03 00 00 00 FC")) << "a 3-byte length of zero";
}

TEST(ItemCodecTest, EncodesWithTheSmallestLengthCode) {
    Bytes out;
    ASSERT_TRUE(ItemCodec::EncodeAsciiItem(out, std::string(254, 'x')));
    EXPECT_EQ(out[0], 0x05);
    EXPECT_EQ(out[1], 255);
    out.clear();
    ASSERT_TRUE(ItemCodec::EncodeAsciiItem(out, std::string(255, 'x')));
    EXPECT_EQ(out[0], 0x06) << "a 256-byte payload needs a 2-byte length";
    EXPECT_EQ(out[1], 0x00);
    EXPECT_EQ(out[2], 0x01);
    EXPECT_EQ(out.size(), 3u + 256u);
    out.clear();
    ASSERT_TRUE(ItemCodec::EncodeItem(out, HeaderElement(ElementType::Byte, 70000)));
    EXPECT_EQ(out[0], 0x67);
    EXPECT_EQ(out.size(), 4u + 70000u);
    out.clear();
    // The largest count and text a 3-byte length holds, and one more.
    EXPECT_FALSE(ItemCodec::EncodeListItem(out, 0x1000000));
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(ItemCodec::EncodeListItem(out, 0xFFFFFF));
    EXPECT_EQ(out, Hex("03 FF FF FF"));
    out.clear();
    EXPECT_FALSE(ItemCodec::EncodeAsciiItem(out, std::string(0xFFFFFF, 'x')));
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(ItemCodec::EncodeAsciiItem(out, std::string(0xFFFFFE, 'x')));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), Hex("07 FF FF FF"));
    out.clear();
    EXPECT_FALSE(ItemCodec::EncodeItem(out, HeaderElement(ElementType::Double, 0x200000)))
        << "a 16 MiB payload does not fit a 3-byte length";
}

TEST(BlockPathTest, FindPathAndEnumerate) {
    Bytes block = Hex(kRunGain);
    auto r = BlockPath::FindPath(block, "run.GAIN");
    ASSERT_TRUE(r && r->found);
    EXPECT_EQ(r->pairPosition, 8u);
    EXPECT_EQ(r->pairSize, 13u);
    auto missing = BlockPath::FindPath(block, "Run.Alpha");
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->found);
    EXPECT_EQ(missing->insertPosition, 8u);
    auto behind = BlockPath::FindPath(block, "Zed");
    ASSERT_TRUE(behind && !behind->found);
    EXPECT_EQ(behind->insertPosition, 21u) << "at the End item";
    EXPECT_FALSE(BlockPath::FindPath(block, ".."));
    EXPECT_FALSE(BlockPath::FindPath(block, "Run.Gain.X")) << "a path through a leaf";

    auto top = BlockPath::EnumerateLevel(block, "");
    ASSERT_TRUE(top);
    EXPECT_EQ(top->lists, std::vector<std::string>{"Run"});
    EXPECT_TRUE(top->leaves.empty());
    auto run = BlockPath::EnumerateLevel(block, "RUN");
    ASSERT_TRUE(run);
    EXPECT_EQ(run->leaves, std::vector<std::string>{"Gain"});
    EXPECT_FALSE(BlockPath::EnumerateLevel(block, "Run.Gain")) << "a leaf is not a level";
    EXPECT_EQ(BlockPath::FindEnd(block), std::optional<std::size_t>(21));
    EXPECT_EQ(BlockPath::SplitPath(".a..b."), (std::vector<std::string_view>{"a", "b"}));
}

TEST(BlockPathTest, SetValueLeavesOtherTypesAndLeavesOnTheWayUnchanged) {
    BlockBuffer b = *BlockBuffer::FromBlock(Hex(kRunGain));
    const Bytes before = b.ToBlock();
    HeaderElement f(ElementType::Float, 1);
    f.SetFloat(0, 1.5f);
    EXPECT_EQ(SetValueAtPath(b, "Run.Gain", f), SetResult::Unchanged);
    EXPECT_EQ(SetValueAtPath(b, "Run.Gain.Deeper", LongValue(1)), SetResult::Unchanged);
    EXPECT_EQ(SetValueAtPath(b, "Run", LongValue(1)), SetResult::Unchanged)
        << "a list is not replaced by a leaf";
    EXPECT_EQ(SetValueAtPath(b, "...", LongValue(1)), SetResult::Failed);
    EXPECT_EQ(b.ToBlock(), before);

    // A leaf replaced takes the path's spelling and leaves its list alone; an
    // entry added to a list sets the list again, spelt as the path has it.
    auto expected = [](const char* list, const char* alpha) {
        auto root = ExtendedHeader::MakeRoot();
        AddAt(*root, std::string(list) + ".GAIN", LongValue(9));
        if (alpha) AddAt(*root, std::string(list) + "." + alpha, LongValue(1));
        return EncodeExtendedHeaderBlock(*root);
    };
    EXPECT_EQ(SetValueAtPath(b, "RUN.GAIN", LongValue(9)), SetResult::Written);
    EXPECT_EQ(b.ToBlock(), expected("Run", nullptr));
    EXPECT_EQ(SetValueAtPath(b, "RUN.Alpha", LongValue(1)), SetResult::Written);
    EXPECT_EQ(b.ToBlock(), expected("RUN", "Alpha"));
}

// Entries set one by one in front of the others, past the 255 items a list's
// one-byte count holds: the block is the whole-tree writer's, byte for byte.
TEST(BlockPathTest, ListCountWidensPast255Items) {
    BlockBuffer b;
    auto root = ExtendedHeader::MakeRoot();
    for (int i = 0; i < 128; ++i) {
        const std::string path = "L.E" + std::to_string(1127 - i);
        ASSERT_EQ(SetValueAtPath(b, path, LongValue(i)), SetResult::Written);
        AddAt(*root, path, LongValue(i));
        if (i >= 126) {
            EXPECT_EQ(b.ToBlock(), EncodeExtendedHeaderBlock(*root)) << i;  // 254, then 256 items
        }
    }
}

// A leaf removed in place, as many lists deep as it lies: the result is the
// whole-tree writer's block of the tree without that leaf (lists it leaves
// empty are not stored).
TEST(BlockPathTest, RemoveTakesOneLeafAndOnlyEmptiedListsWithIt) {
    auto tree = [] {
        auto root = ExtendedHeader::MakeRoot();
        AddAt(*root, "A.B.X", LongValue(1));
        AddAt(*root, "A.B.Y", LongValue(2));
        AddAt(*root, "A.Z", LongValue(3));
        AddAt(*root, "C.D.E", LongValue(4));
        AddAt(*root, "F", LongValue(5));
        return root;
    };
    const Bytes full = EncodeExtendedHeaderBlock(*tree());
    for (const char* path : {"A.B.X", "a.b.y", "A.Z", "C.D.E", "F"}) {
        auto expected = tree();
        HeaderTree::Remove(*expected, FindAt(*expected, path));
        auto buffer = BlockBuffer::FromBlock(full);
        ASSERT_TRUE(buffer);
        EXPECT_EQ(BlockPath::RemoveLeafAtPath(*buffer, path), SetResult::Written) << path;
        EXPECT_EQ(buffer->ToBlock(), EncodeExtendedHeaderBlock(*expected)) << path;
    }
    auto buffer = BlockBuffer::FromBlock(full);
    for (const char* path : {"A.B", "A.Q", "F.X", "Q"})
        EXPECT_EQ(BlockPath::RemoveLeafAtPath(*buffer, path), SetResult::Unchanged) << path;
    EXPECT_EQ(buffer->ToBlock(), full);
}

// A list that already holds as many entries as its item can count takes no more.
TEST(BlockPathTest, AFullListTakesNoNewEntry) {
    Bytes block = Hex("05 02 4C 00 03 FE FF FF");    // L, a list of 0xFFFFFE items
    const Bytes pair = Hex("05 02 61 00 05 01 00");  // a = ""
    block.reserve(block.size() + 0x7FFFFF * pair.size() + 4);
    for (std::uint32_t k = 0; k < 0x7FFFFF; ++k)
        block.insert(block.end(), pair.begin(), pair.end());
    block.push_back(ItemCodec::kEndItem);
    while (block.size() % 4) block.push_back(0);
    auto buffer = BlockBuffer::FromBlock(block);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(SetValueAtPath(*buffer, "L.Z", LongValue(1)), SetResult::Failed);
    EXPECT_EQ(buffer->ToBlock(), block);
}

}  // namespace
