// The fast whole-tree codec must give exactly what the path procedures give:
// encoding equals setting every leaf at its path into an empty block, and
// decoding equals enumerating each level and looking every entry up from the
// top, on well-formed blocks and on mutated, truncated and reordered ones.

#include <algorithm>
#include <cctype>
#include <random>

#include "format/ExtendedHeaderCodec.h"
#include "format/XorWords.h"
#include "support/ReferenceCodec.h"
#include "support/TestFiles.h"

namespace {

class TreeGenerator {
  public:
    // With `large`, one value in six is an array of 64 KiB or more (the size from
    // which encoding borrows payloads and decoding shares the block).
    explicit TreeGenerator(std::uint32_t seed, bool large = false) : m_rng(seed), m_large(large) {}

    std::unique_ptr<HeaderNode> Tree(int entries) {
        auto root = ExtendedHeader::MakeRoot();
        std::vector<HeaderNode*> lists{root.get()};
        for (int i = 0; i < entries; ++i) {
            HeaderNode* parent = lists[Pick(lists.size())];
            const bool list = Pick(4) == 0;
            std::string label = Label();
            // A label already in the list would displace that entry (and any list
            // this generator still holds as a parent); only fresh labels are added.
            if (HeaderTree::Find(*parent, label)) continue;
            auto node = std::make_unique<HeaderNode>(label, list);
            if (!list) node->value = Value();
            HeaderNode* added = HeaderTree::Insert(*parent, std::move(node), root.get());
            if (list) lists.push_back(added);
        }
        return root;
    }

    std::size_t Pick(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_rng);
    }
    std::mt19937& Rng() { return m_rng; }

  private:
    std::string Label() {
        // A small alphabet with both cases, so that labels collide and sort closely.
        static const char kChars[] = "aAbB_zZ0~";
        std::string s(1 + Pick(3), 'a');
        for (char& c : s) c = kChars[Pick(sizeof kChars - 1)];
        return s;
    }

    HeaderElement Value() {
        static const std::uint32_t kTypes[] = {1, 2, 8, 25, 32, 36, 42, 44, 63, 5, 17};
        const std::uint32_t type = kTypes[Pick(std::size(kTypes))];
        if (type == 1) return HeaderElement(std::string_view(std::string(Pick(300), 'x')));
        if (type == 2)
            return HeaderElement(std::u16string_view(std::u16string(Pick(5), u'\u00e9')));
        if (type == 63) return HeaderElement();
        const std::uint32_t size = static_cast<std::uint32_t>(ItemCodec::ElementSizeOf(type));
        const std::uint32_t count =
            m_large && Pick(6) == 0
                ? (HeaderElement::kShareFrom + static_cast<std::uint32_t>(Pick(5000))) / size + 1
                : static_cast<std::uint32_t>(1 + Pick(6));
        HeaderElement e(type, count);
        for (std::uint32_t i = 0; i < e.GetByteSize(); ++i)
            e.SetByte(i, static_cast<std::uint8_t>(type == 8 ? Pick(2) : Pick(256)));
        return e;
    }

    std::mt19937 m_rng;
    bool m_large = false;
};

// The byte ranges of the top-level pairs (with their list content), in order;
// they fill the block up to its End item.
std::vector<std::pair<std::size_t, std::size_t>> TopLevelPairs(const Bytes& block) {
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    const auto top = BlockPath::EnumerateLevel(block, "");
    for (const auto* labels : {&top->leaves, &top->lists})
        for (const std::string& label : *labels) {
            const auto at = BlockPath::FindPath(block, label);
            pairs.emplace_back(at->pairPosition, at->pairPosition + at->pairSize);
        }
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

void ExpectDecodersAgree(const Bytes& block, const std::string& what) {
    auto fast = ExtendedHeader::MakeRoot();
    auto ref = ExtendedHeader::MakeRoot();
    const bool okFast = DecodeExtendedHeader(block, *fast);
    const bool okRef = ReferenceDecodeExtendedHeader(block, *ref);
    ASSERT_EQ(okFast, okRef) << what;
    std::string why;
    if (okFast) {
        ASSERT_TRUE(SameTree(*fast, *ref, &why)) << what << ": " << why;
    }
}

TEST(CodecDifferentialTest, EncodingEqualsSettingEveryPath) {
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        TreeGenerator gen(seed);
        auto tree = gen.Tree(1 + static_cast<int>(gen.Pick(60)));
        BlockPath::BlockBuffer buffer;
        ASSERT_TRUE(EncodeEntries(*tree, buffer, false)) << seed;
        const Bytes expected = tree->children.empty() ? Bytes{} : buffer.ToBlock();
        ASSERT_EQ(EncodeExtendedHeaderBlock(*tree), expected) << "seed " << seed;
    }
}

TEST(CodecDifferentialTest, DecodingEqualsLookingEveryEntryUp) {
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        TreeGenerator gen(seed * 7919);
        auto tree = gen.Tree(1 + static_cast<int>(gen.Pick(60)));
        const Bytes block = EncodeExtendedHeaderBlock(*tree);
        if (block.empty()) continue;
        ExpectDecodersAgree(block, "seed " + std::to_string(seed));
        // And what decodes encodes back to the same bytes.
        auto back = ExtendedHeader::MakeRoot();
        ASSERT_TRUE(DecodeExtendedHeader(block, *back));
        // (A tree of empty lists only stores a lone End item and decodes empty.)
        const Bytes again = EncodeExtendedHeaderBlock(*back);
        const Bytes expected = back->children.empty() ? Bytes{0xFC, 0, 0, 0} : again;
        ASSERT_EQ(expected, block) << seed;
    }
}

TEST(CodecDifferentialTest, MutatedBlocksDecodeAlikeOrFailAlike) {
    int decodedAfterMutation = 0;
    for (std::uint32_t seed = 1; seed <= 150; ++seed) {
        TreeGenerator gen(seed * 104729);
        auto tree = gen.Tree(2 + static_cast<int>(gen.Pick(40)));
        const Bytes block = EncodeExtendedHeaderBlock(*tree);
        if (block.empty()) continue;
        const auto pairs = TopLevelPairs(block);
        if (pairs.empty()) continue;  // only empty lists: a lone End item
        // The block with its top-level pairs in another order, and the case of
        // some label letters changed in the pair at `flip`.
        auto rebuilt = [&](const std::vector<std::pair<std::size_t, std::size_t>>& order,
                           std::size_t flip = SIZE_MAX) {
            Bytes out;
            for (std::size_t k = 0; k < order.size(); ++k)
                for (std::size_t i = order[k].first; i < order[k].second; ++i)
                    out.push_back(k == flip && std::isalpha(block[i]) && gen.Pick(2)
                                      ? block[i] ^ 0x20
                                      : block[i]);
            out.insert(out.end(), block.begin() + static_cast<std::ptrdiff_t>(pairs.back().second),
                       block.end());
            return out;
        };

        for (int m = 0; m < 30; ++m) {
            Bytes b = block;
            std::string what = "seed " + std::to_string(seed) + " mutation " + std::to_string(m);
            auto order = pairs;
            const std::size_t i = gen.Pick(pairs.size()), j = gen.Pick(pairs.size());
            switch (gen.Pick(6)) {
                case 0:  // flip bytes
                    for (std::size_t k = 0, n = 1 + gen.Pick(3); k < n; ++k)
                        b[gen.Pick(b.size())] ^= static_cast<std::uint8_t>(1 + gen.Pick(255));
                    break;
                case 1:  // cut short
                    b.resize(gen.Pick(b.size()));
                    break;
                case 2:  // swap two top-level pairs
                    std::swap(order[i], order[j]);
                    b = rebuilt(order);
                    break;
                case 3:  // a top-level pair twice, maybe with a case change
                    order.insert(order.begin() + static_cast<std::ptrdiff_t>(j), pairs[i]);
                    b = rebuilt(order, j);
                    break;
                case 4:  // change the case of label letters
                    for (auto& c : b)
                        if (std::isalpha(c) && gen.Pick(3) == 0) c ^= 0x20;
                    break;
                default:  // random bytes in the middle
                    b.insert(b.begin() + static_cast<std::ptrdiff_t>(gen.Pick(b.size())),
                             static_cast<std::uint8_t>(gen.Pick(256)));
                    break;
            }
            ExpectDecodersAgree(b, what);
            auto probe = ExtendedHeader::MakeRoot();
            if (b != block && DecodeExtendedHeader(b, *probe)) ++decodedAfterMutation;
        }
    }
    // The mutations must reach the interesting cases, not only broken blocks.
    EXPECT_GT(decodedAfterMutation, 300);
}

}  // namespace

// Changes the first byte of every large array below `list`; returns how many.
int FlipLargeValues(HeaderNode& list) {
    int n = 0;
    for (auto& [key, child] : list.children) {
        if (child->isList) {
            n += FlipLargeValues(*child);
        } else if (child->value.GetByteSize() >= HeaderElement::kShareFrom) {
            // The last byte: a Boolean's first value must stay 0 or 1.
            const std::uint32_t last = child->value.GetByteSize() - 1;
            child->value.SetByte(last,
                                 static_cast<std::uint8_t>(child->value.GetByte(last) ^ 0xFF));
            ++n;
        }
    }
    return n;
}

// Large values are borrowed by the encoder and shared by the decoder: the bytes
// must be the same as when every value is copied, wherever list items shrink or
// empty lists are taken out around them.
TEST(CodecDifferentialTest, LargeValuesBorrowedAndSharedGiveTheSameBytes) {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        TreeGenerator gen(seed, true);
        auto tree = gen.Tree(1 + static_cast<int>(gen.Pick(40)));
        BlockPath::BlockBuffer buffer;
        ASSERT_TRUE(EncodeEntries(*tree, buffer, false)) << seed;
        const Bytes expected = tree->children.empty() ? Bytes{} : buffer.ToBlock();
        const EncodedBlock borrowed = EncodeBlockBorrowing(*tree);
        ASSERT_EQ(borrowed.ToVector(), expected) << "seed " << seed;
        ASSERT_EQ(XorWordsOf(borrowed), XorWords(expected)) << "seed " << seed;
        if (expected.empty()) continue;

        auto owner = std::make_shared<const Bytes>(expected);
        auto shared = ExtendedHeader::MakeRoot();
        auto copied = ExtendedHeader::MakeRoot();
        ASSERT_TRUE(DecodeExtendedHeaderSharing(owner, *shared));
        ASSERT_TRUE(DecodeExtendedHeader(expected, *copied));
        std::string why;
        ASSERT_TRUE(SameTree(*shared, *copied, &why)) << seed << ": " << why;
        // Changing every shared value leaves the block it was read from as it was.
        const int flipped = FlipLargeValues(*shared);
        ASSERT_EQ(*owner, expected) << seed;
        if (flipped > 0) {
            ASSERT_NE(EncodeExtendedHeaderBlock(*shared), expected) << seed;
        }
        ASSERT_EQ(EncodeExtendedHeaderBlock(*copied), expected) << seed;
    }
}
