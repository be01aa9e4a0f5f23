#include "format/ExtendedHeaderCodec.h"

#include <algorithm>
#include <optional>
#include <string>

#include "format/HeaderError.h"
#include "format/ItemCodec.h"
#include "platform/TextCodec.h"

using ItemCodec::DecodedItem;
using ItemCodec::DecodeItem;

bool IsStorableLabel(std::string_view label) {
    return BlockPath::LabelFault(label) == nullptr;
}

namespace {

// ---------------------------------------------------------------- decoding

// A value item as the levels keep it: what making its entry needs, in 16 bytes
// (a level holds one per entry of the block, so its size is the decoder's peak).
struct Item {
    std::uint32_t type = 0, count = 0, size = 0, data = 0;
    bool IsList() const { return type == ToCode(ElementType::List); }
    DecodedItem Decoded() const {
        DecodedItem item;
        item.type = type;
        item.count = count;
        item.size = size;
        item.data = data;
        return item;
    }
};

struct Pair {
    std::string_view label;
    Item value;
    std::uint32_t childLevel = 0;  // for a List value: the index of its content's level
};

// One level of the block (the top level, or one list's content) in block order,
// with what the ordered look-up needs.
struct Level {
    std::vector<Pair> pairs;
    // prefixMax[j]: the index of the greatest label among pairs 0..j.
    std::vector<std::uint32_t> prefixMax;
    bool strictlyIncreasing = true;

    void Index() {
        prefixMax.resize(pairs.size());
        for (std::size_t j = 0; j < pairs.size(); ++j) {
            if (j == 0) {
                prefixMax[j] = 0;
                continue;
            }
            const int cmp = CompareLabels(pairs[j].label, pairs[j - 1].label);
            if (cmp <= 0) strictlyIncreasing = false;
            prefixMax[j] = CompareLabels(pairs[j].label, pairs[prefixMax[j - 1]].label) > 0
                               ? static_cast<std::uint32_t>(j)
                               : prefixMax[j - 1];
        }
    }

    // The ordered search of the path procedures: walk the pairs in block order and
    // stop at the first label not below `token`; found only if it equals `token`.
    // The first such pair is the first whose prefix maximum is not below `token`,
    // which a binary search over the prefix maxima finds.
    const Pair* Find(std::string_view token, std::size_t selfIndex) const {
        if (strictlyIncreasing) return &pairs[selfIndex];
        auto it = std::partition_point(prefixMax.begin(), prefixMax.end(), [&](std::uint32_t m) {
            return CompareLabels(pairs[m].label, token) < 0;
        });
        if (it == prefixMax.end()) return nullptr;
        const Pair& p = pairs[static_cast<std::size_t>(it - prefixMax.begin())];
        return CompareLabels(p.label, token) == 0 ? &p : nullptr;
    }
};

// The encoder's failure, with its reason where one is known.
std::string UnencodableMessage(const HeaderNode& root) {
    std::string text = "The Extended Header cannot be encoded.";
    if (const std::string why = ExplainUnencodable(root); !why.empty()) text += " " + why;
    return text;
}

// Parses the whole block structure once, with every check that enumerating the
// top level (and skipping each list's content) makes.
bool ParseLevels(std::span<const std::uint8_t> block, std::vector<Level>& levels,
                 std::string* why) {
    if (block.size() > UINT32_MAX) return false;  // positions are kept in 32 bits
    levels.emplace_back();
    struct Open {
        std::uint32_t level;
        std::uint32_t pairsLeft;  // unused for the top level
    };
    std::vector<Open> open{{0, 0}};
    std::size_t pos = 0;
    while (!open.empty()) {
        const bool top = open.size() == 1;
        if (!top && open.back().pairsLeft == 0) {
            open.pop_back();
            continue;
        }
        auto label = DecodeItem(block, pos);
        if (!label) return false;
        if (top && label->IsEnd()) return true;
        if (!label->IsAscii()) return false;
        auto value = DecodeItem(block, label->next);
        if (!value) return false;
        if (!top) --open.back().pairsLeft;
        Pair pair{label->Text(block),
                  {value->type, value->count, value->size, static_cast<std::uint32_t>(value->data)},
                  0};
        pos = value->next;
        if (value->IsList()) {
            if (value->count % 2 != 0) return false;
            if (open.size() > kMaxListDepth) {
                if (why)
                    *why = "Its lists are nested more than " + std::to_string(kMaxListDepth) +
                           " deep, deeper than this program reads.";
                return false;
            }
            pair.childLevel = static_cast<std::uint32_t>(levels.size());
            levels[open.back().level].pairs.push_back(pair);
            levels.emplace_back();
            open.push_back({pair.childLevel, value->count / 2});
        } else {
            levels[open.back().level].pairs.push_back(pair);
        }
    }
    return false;  // unreachable: the top level ends only at its End item
}

std::unique_ptr<HeaderNode> MakeLeaf(
    std::string_view label, const DecodedItem& item, std::span<const std::uint8_t> block,
    const std::shared_ptr<const std::vector<std::uint8_t>>* owner) {
    auto node = std::make_unique<HeaderNode>(std::string(label), false);
    if (owner)
        node->value.AssignShared(item.type, item.count, item.Payload(block), *owner);
    else
        node->value.Assign(item.type, item.count, item.Payload(block));
    return node;
}

// ---------------------------------------------------------------- encoding

// Writes the tree in one walk. Each list's item is first written with a 3-byte
// length; a list that ends up with no entries is taken back out (the path
// procedures never create a list without a leaf below it), and a final pass
// gives every list item its smallest length field. The tree has passed
// ExplainUnencodable, so every label is one path part and every leaf a value:
// the walk gives the block that setting each leaf at its path gives.
//
// Payloads of kBorrowFrom bytes or more are not copied: the walk notes where they
// go and the block borrows them from the tree.
EncodedBlock EncodeSingleWalk(const HeaderNode& root) {
    constexpr std::size_t kBorrowFrom = HeaderElement::kShareFrom;
    std::vector<std::uint8_t> out;
    struct Borrowed {
        std::size_t position;  // in `out`, where the payload belongs
        std::span<const std::uint8_t> bytes;
    };
    std::vector<Borrowed> borrowed;
    std::uint64_t borrowedSize = 0;
    struct ListFix {
        std::size_t itemPosition;
        std::uint32_t itemCount;
    };
    std::vector<ListFix> fixes;
    struct Frame {
        HeaderNode::ChildMap::const_iterator it, end;
        std::size_t pairStart;  // of this list's pair (unused for the root)
        std::size_t fixIndex;   // of this list's ListFix (unused for the root)
        std::uint32_t entries;  // written so far
    };
    std::vector<Frame> stack{{root.children.begin(), root.children.end(), 0, 0, 0}};
    auto fail = [&root] { throw HeaderError(UnencodableMessage(root)); };

    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.it == f.end) {
            const Frame done = f;
            stack.pop_back();
            if (stack.empty()) break;
            if (done.entries == 0) {
                out.resize(done.pairStart);
                fixes.resize(done.fixIndex);
                while (!borrowed.empty() && borrowed.back().position > done.pairStart) {
                    borrowedSize -= borrowed.back().bytes.size();
                    borrowed.pop_back();
                }
            } else {
                if (2ull * done.entries > ItemCodec::kMaxPayload) fail();
                fixes[done.fixIndex].itemCount = 2 * done.entries;
                ++stack.back().entries;
            }
            continue;
        }
        const HeaderNode* node = (f.it++)->second.get();
        if (!node) continue;
        const std::size_t pairStart = out.size();
        if (!ItemCodec::EncodeAsciiItem(out, node->label)) fail();
        if (node->isList) {
            if (stack.size() > kMaxListDepth) fail();
            fixes.push_back({out.size(), 0});
            out.insert(out.end(), {0x03, 0, 0, 0});  // List, 3-byte length, filled in later
            stack.push_back(
                {node->children.begin(), node->children.end(), pairStart, fixes.size() - 1, 0});
        } else {
            const auto bytes = node->value.GetBytes();
            if (bytes.size() < kBorrowFrom) {
                if (!ItemCodec::EncodeItem(out, node->value)) fail();
            } else {
                if (!ItemCodec::EncodeArrayItemHeader(out, node->value)) fail();
                borrowed.push_back({out.size(), bytes});
                borrowedSize += bytes.size();
            }
            ++f.entries;
        }
    }
    // Give each list item its smallest length field, closing up the gaps (and
    // moving the borrowed payloads' places with the bytes in front of them).
    std::size_t write = fixes.empty() ? out.size() : fixes.front().itemPosition;
    std::size_t b = 0;
    while (b < borrowed.size() && borrowed[b].position < write) ++b;
    for (std::size_t k = 0; k < fixes.size(); ++k) {
        std::vector<std::uint8_t> item;
        ItemCodec::EncodeListItem(item, fixes[k].itemCount);
        std::copy(item.begin(), item.end(), out.begin() + static_cast<std::ptrdiff_t>(write));
        write += item.size();
        const std::size_t from = fixes[k].itemPosition + 4;
        const std::size_t to = k + 1 < fixes.size() ? fixes[k + 1].itemPosition : out.size();
        for (; b < borrowed.size() && borrowed[b].position <= to; ++b)
            borrowed[b].position = borrowed[b].position - from + write;
        std::copy(out.begin() + static_cast<std::ptrdiff_t>(from),
                  out.begin() + static_cast<std::ptrdiff_t>(to),
                  out.begin() + static_cast<std::ptrdiff_t>(write));
        write += to - from;
    }
    out.resize(write);
    out.push_back(ItemCodec::kEndItem);
    out.resize(static_cast<std::size_t>((out.size() + borrowedSize + 3) / 4 * 4 - borrowedSize), 0);

    EncodedBlock block;
    std::size_t at = 0;
    for (const Borrowed& piece : borrowed) {
        block.Append(std::span(out).subspan(at, piece.position - at));
        block.Borrow(piece.bytes);
        at = piece.position;
    }
    block.Append(std::span(out).subspan(at));
    return block;
}

// Decodes `block`; with `owner` (which holds the block) large arrays share it.
bool Decode(std::span<const std::uint8_t> block, HeaderNode& root,
            const std::shared_ptr<const std::vector<std::uint8_t>>* owner, std::string* why) {
    std::vector<Level> levels;
    if (!ParseLevels(block, levels, why)) return false;
    for (auto& level : levels) {
        for (const Pair& p : level.pairs)
            if (!IsStorableLabel(p.label)) return false;
        level.Index();
    }
    // Each level: its leaves in block order, then its lists in block order, each
    // list's own level decoded before the next list is added, so that a list
    // displaced by a later one of the same label is complete when it goes.
    struct Frame {
        HeaderNode* list;
        std::uint32_t level;
        std::size_t nextPair;  // scanning for list entries
    };
    std::vector<Frame> stack;
    auto enter = [&](HeaderNode* list, std::uint32_t levelIndex) -> bool {
        const Level& level = levels[levelIndex];
        for (std::size_t k = 0; k < level.pairs.size(); ++k) {
            const Pair& p = level.pairs[k];
            if (p.value.IsList()) continue;
            const Pair* found = level.Find(p.label, k);
            if (!found) return false;
            HeaderTree::Insert(*list, MakeLeaf(p.label, found->value.Decoded(), block, owner),
                               &root);
        }
        stack.push_back({list, levelIndex, 0});
        return true;
    };
    if (!enter(&root, 0)) return false;
    while (!stack.empty()) {
        Frame& f = stack.back();
        const Level& level = levels[f.level];
        while (f.nextPair < level.pairs.size() && !level.pairs[f.nextPair].value.IsList())
            ++f.nextPair;
        if (f.nextPair == level.pairs.size()) {
            stack.pop_back();
            continue;
        }
        const std::size_t k = f.nextPair++;
        const Pair& p = level.pairs[k];
        HeaderNode* list = f.list;
        HeaderNode* node = HeaderTree::Insert(
            *list, std::make_unique<HeaderNode>(std::string(p.label), true), &root);
        const Pair* found = level.Find(p.label, k);
        if (!found || !found->value.IsList()) return false;
        if (!enter(node, found->childLevel)) return false;
    }
    return true;
}

}  // namespace

bool DecodeExtendedHeader(std::span<const std::uint8_t> block, HeaderNode& root) {
    return Decode(block, root, nullptr, nullptr);
}

bool DecodeExtendedHeaderSharing(const std::shared_ptr<const std::vector<std::uint8_t>>& owner,
                                 HeaderNode& root, std::string* why) {
    return Decode(*owner, root, &owner, why);
}

namespace {
// The bytes a value's item would carry (its terminator included).
std::uint64_t PayloadBytes(const HeaderElement& value) {
    switch (static_cast<ElementType>(value.GetType())) {
        case ElementType::Ascii:
            return value.Ascii().size() + 1ull;
        case ElementType::Unicode:
            return 2ull * (value.Unicode().size() + 1);
        default:
            return value.GetBytes().size();
    }
}
}  // namespace

std::string ExplainUnencodable(const HeaderNode& root) {
    const std::string limit = std::to_string(ItemCodec::kMaxPayload);
    // The entry's path (of any length), shortened for a message, as UTF-8 with
    // its control characters shown as every message shows them.
    auto entry = [](const HeaderNode& node) {
        std::string path = HeaderTree::PathOf(node);
        if (path.size() > 80) path = path.substr(0, 40) + "..." + path.substr(path.size() - 37);
        return "'" + TextCodec::Escaped(TextCodec::AnsiToUtf8(path)) + "'";
    };
    // Depth-first with an explicit stack; each list's labels must rise strictly
    // (without regard to case), as the reader finds them.
    struct Frame {
        HeaderNode::ChildMap::const_iterator it, end;
        const HeaderNode* previous;
    };
    std::vector<Frame> stack{{root.children.begin(), root.children.end(), nullptr}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.it == f.end) {
            stack.pop_back();
            continue;
        }
        const HeaderNode* node = (f.it++)->second.get();
        if (!node) continue;
        if (const char* fault = BlockPath::LabelFault(node->label))
            return "The label of " + entry(*node) + " " + fault + ".";
        if (f.previous && CompareLabels(f.previous->label, node->label) >= 0)
            return "The list holding " + entry(*node) + " has two entries labelled '" +
                   node->label + "' without regard to case.";
        f.previous = node;
        if (node->isList) {
            if (stack.size() > kMaxListDepth)
                return "The list " + entry(*node) + " lies more than " +
                       std::to_string(kMaxListDepth) + " lists deep.";
            if (2ull * node->children.size() > ItemCodec::kMaxPayload)
                return "The list " + entry(*node) + " holds " +
                       std::to_string(node->children.size()) +
                       " entries, more than an item can hold (" +
                       std::to_string(ItemCodec::kMaxPayload / 2) + ").";
            stack.push_back({node->children.begin(), node->children.end(), nullptr});
        } else if (!ItemCodec::EncodedItemSize(node->value)) {
            return "The value of " + entry(*node) + " (" +
                   std::string(ElementTypeNameAscii(node->value.GetType())) + ", " +
                   std::to_string(PayloadBytes(node->value)) +
                   " bytes) is longer than an item can hold (" + limit + " bytes).";
        } else if (const char* fault = BlockPath::ValueFault(node->value)) {
            return "The value of " + entry(*node) + " " + fault + ".";
        }
    }
    return {};
}

bool EncodeEntries(const HeaderNode& root, BlockPath::BlockBuffer& buffer, bool pendingOnly) {
    bool ok = true;
    HeaderTree::Walk(root, [&](const HeaderNode& node, std::string_view path) {
        if (!ok || node.isList || (pendingOnly && !node.pending)) return;
        if (BlockPath::SetValueAtPath(buffer, path, node.value) == BlockPath::SetResult::Failed)
            ok = false;
    });
    return ok;
}

EncodedBlock EncodeBlockBorrowing(const HeaderNode& root) {
    // Nothing the reader would refuse is written: the tree is checked whole
    // before the first byte.
    if (const std::string why = ExplainUnencodable(root); !why.empty())
        throw HeaderError("The Extended Header cannot be encoded. " + why);
    if (root.children.empty()) return {};
    return EncodeSingleWalk(root);
}

std::vector<std::uint8_t> EncodeExtendedHeaderBlock(const HeaderNode& root) {
    return EncodeBlockBorrowing(root).ToVector();
}

BlockMaker EncodeExtendedHeader(const HeaderNode& root) {
    return [&root](std::span<const std::uint8_t>, const StandardHeader&) {
        return EncodeBlockBorrowing(root);
    };
}
