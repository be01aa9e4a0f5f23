#include "format/BlockPath.h"

#include "model/LabelCompare.h"

namespace BlockPath {

using ItemCodec::DecodedItem;
using ItemCodec::DecodeItem;

const char* LabelFault(std::string_view label) {
    if (label.empty()) return "is empty";
    if (label.find('.') != std::string_view::npos) return "holds a period, the path separator";
    if (label.find('\0') != std::string_view::npos) return "holds a NUL character";
    if (label.size() + 1 > ItemCodec::kMaxPayload) return "is longer than an item can hold";
    return nullptr;
}

const char* ValueFault(const HeaderElement& value) {
    if (value.GetType() > 63) return "has a type code above 63";
    if (value.GetType() == ToCode(ElementType::List)) return "is a List, which holds no value";
    if (value.GetType() == ToCode(ElementType::Boolean) && value.GetCount() > 0 &&
        value.GetByte(0) > 1)
        return "is a Boolean whose first value is neither 0 nor 1";
    if (!ItemCodec::EncodedItemSize(value)) return "is longer than an item can hold";
    return nullptr;
}

std::vector<std::string_view> SplitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t dot = path.find('.', pos);
        if (dot == std::string_view::npos) dot = path.size();
        if (dot > pos) parts.push_back(path.substr(pos, dot - pos));
        pos = dot + 1;
    }
    return parts;
}

std::optional<std::size_t> SkipListContent(std::span<const std::uint8_t> block, std::size_t pos,
                                           std::uint32_t itemCount) {
    if (itemCount % 2 != 0) return std::nullopt;
    // Pairs still to read at each open level; every step consumes bytes, so the
    // walk ends within the block whatever the counts claim.
    std::vector<std::uint32_t> open{itemCount / 2};
    while (!open.empty()) {
        if (open.back() == 0) {
            open.pop_back();
            continue;
        }
        --open.back();
        auto label = DecodeItem(block, pos);
        if (!label || !label->IsAscii()) return std::nullopt;
        auto value = DecodeItem(block, label->next);
        if (!value) return std::nullopt;
        pos = value->next;
        if (value->IsList()) {
            if (value->count % 2 != 0) return std::nullopt;
            open.push_back(value->count / 2);
        }
    }
    return pos;
}

std::optional<Lookup> FindInLevel(std::span<const std::uint8_t> block, std::string_view token,
                                  std::size_t start, std::optional<std::uint32_t> pairs) {
    std::size_t pos = start;
    for (std::uint32_t read = 0;; ++read) {
        if (pairs && read == *pairs) {
            Lookup r;
            r.insertPosition = pos;
            return r;
        }
        auto label = DecodeItem(block, pos);
        if (!label) return std::nullopt;
        if (label->IsEnd()) {
            Lookup r;
            r.insertPosition = pos;
            return r;
        }
        if (!label->IsAscii()) return std::nullopt;
        auto value = DecodeItem(block, label->next);
        if (!value) return std::nullopt;
        const int cmp = CompareLabels(token, label->Text(block));
        if (cmp > 0) {
            if (value->IsList()) {
                auto next = SkipListContent(block, value->next, value->count);
                if (!next) return std::nullopt;
                pos = *next;
            } else {
                pos = value->next;
            }
            continue;
        }
        Lookup r;
        if (cmp < 0) {
            r.insertPosition = pos;
            return r;
        }
        r.found = true;
        r.pairPosition = pos;
        r.value = *value;
        r.pairSize = value->next - pos;
        return r;
    }
}

std::optional<Lookup> FindPath(std::span<const std::uint8_t> block, std::string_view path,
                               std::size_t start, std::optional<std::uint32_t> pairs) {
    auto parts = SplitPath(path);
    if (parts.empty()) return std::nullopt;
    for (std::size_t i = 0;; ++i) {
        auto r = FindInLevel(block, parts[i], start, pairs);
        if (!r || !r->found || i + 1 == parts.size()) return r;
        if (!r->value.IsList() || r->value.count % 2 != 0) return std::nullopt;
        start = r->value.next;
        pairs = r->value.count / 2;
    }
}

std::optional<LevelLabels> EnumerateLevel(std::span<const std::uint8_t> block,
                                          std::string_view path) {
    std::size_t pos = 0;
    std::optional<std::uint32_t> pairs;
    if (!path.empty()) {
        auto r = FindPath(block, path);
        if (!r || !r->found || !r->value.IsList() || r->value.count % 2 != 0) return std::nullopt;
        pos = r->value.next;
        pairs = r->value.count / 2;
    }
    LevelLabels out;
    for (std::uint32_t read = 0; !pairs || read < *pairs; ++read) {
        auto label = DecodeItem(block, pos);
        if (!label) return std::nullopt;
        if (!pairs && label->IsEnd()) break;
        if (!label->IsAscii()) return std::nullopt;
        auto value = DecodeItem(block, label->next);
        if (!value) return std::nullopt;
        if (value->IsList()) {
            out.lists.emplace_back(label->Text(block));
            auto next = SkipListContent(block, value->next, value->count);
            if (!next) return std::nullopt;
            pos = *next;
        } else {
            out.leaves.emplace_back(label->Text(block));
            pos = value->next;
        }
    }
    return out;
}

std::optional<std::size_t> FindEnd(std::span<const std::uint8_t> block) {
    std::size_t pos = 0;
    for (;;) {
        auto label = DecodeItem(block, pos);
        if (!label) return std::nullopt;
        if (label->IsEnd()) return pos;
        if (!label->IsAscii()) return std::nullopt;
        auto value = DecodeItem(block, label->next);
        if (!value) return std::nullopt;
        if (value->IsList()) {
            auto next = SkipListContent(block, value->next, value->count);
            if (!next) return std::nullopt;
            pos = *next;
        } else {
            pos = value->next;
        }
    }
}

std::optional<BlockBuffer> BlockBuffer::FromBlock(std::span<const std::uint8_t> block) {
    auto end = FindEnd(block);
    if (!end) return std::nullopt;
    BlockBuffer b;
    b.m_bytes.assign(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(*end + 1));
    return b;
}

std::vector<std::uint8_t> BlockBuffer::ToBlock() const {
    std::vector<std::uint8_t> block(m_bytes);
    block.resize((block.size() + 3) / 4 * 4, 0);
    return block;
}

void BlockBuffer::Replace(std::size_t pos, std::size_t length,
                          std::span<const std::uint8_t> bytes) {
    auto at = m_bytes.begin() + static_cast<std::ptrdiff_t>(pos);
    const std::size_t common = std::min(length, bytes.size());
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(common), at);
    if (bytes.size() > length) {
        m_bytes.insert(at + static_cast<std::ptrdiff_t>(common),
                       bytes.begin() + static_cast<std::ptrdiff_t>(common), bytes.end());
    } else if (length > bytes.size()) {
        m_bytes.erase(at + static_cast<std::ptrdiff_t>(common),
                      at + static_cast<std::ptrdiff_t>(length));
    }
}

namespace {

struct Containing {
    std::size_t pairPosition;
    std::size_t pairSize;
    std::string_view part;
    std::uint32_t count;
};

std::vector<std::uint8_t> MakePair(std::string_view label,
                                   std::span<const std::uint8_t> valueItem) {
    std::vector<std::uint8_t> pair;
    pair.reserve(ItemCodec::AsciiItemSize(label) + valueItem.size());
    ItemCodec::EncodeAsciiItem(pair, label);
    pair.insert(pair.end(), valueItem.begin(), valueItem.end());
    return pair;
}

// Sets the containing list's pair again with its count raised by 2, its label
// spelt as the path has it. Returns how far the bytes behind it moved.
std::ptrdiff_t RaiseCount(BlockBuffer& buffer, Containing& list) {
    std::vector<std::uint8_t> item;
    ItemCodec::EncodeListItem(item, list.count + 2);
    auto pair = MakePair(list.part, item);
    const auto delta =
        static_cast<std::ptrdiff_t>(pair.size()) - static_cast<std::ptrdiff_t>(list.pairSize);
    buffer.Replace(list.pairPosition, list.pairSize, pair);
    list.count += 2;
    list.pairSize = pair.size();
    return delta;
}

}  // namespace

SetResult SetValueAtPath(BlockBuffer& buffer, std::string_view path, const HeaderElement& value) {
    auto parts = SplitPath(path);
    if (parts.empty()) return SetResult::Failed;
    // Everything that can fail to encode is checked before the first change, so a
    // failure never leaves the block half edited.
    if (ValueFault(value)) return SetResult::Failed;
    for (auto part : parts)
        if (LabelFault(part)) return SetResult::Failed;
    std::vector<std::uint8_t> valueItem;
    if (!ItemCodec::EncodeItem(valueItem, value)) return SetResult::Failed;
    auto canRaise = [](const Containing& c) { return c.count + 2 <= ItemCodec::kMaxPayload; };

    std::size_t levelStart = 0;
    std::optional<std::uint32_t> levelPairs;
    std::optional<Containing> containing;

    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        auto r = FindInLevel(buffer.Used(), parts[i], levelStart, levelPairs);
        if (!r) return SetResult::Failed;
        if (r->found) {
            if (!r->value.IsList()) return SetResult::Unchanged;
            if (r->value.count % 2 != 0) return SetResult::Failed;
            containing = Containing{r->pairPosition, r->pairSize, parts[i], r->value.count};
            levelStart = r->value.next;
            levelPairs = r->value.count / 2;
            continue;
        }
        // A missing list on the way: create it, empty, at its ordered place.
        std::size_t pos = r->insertPosition;
        if (containing) {
            if (!canRaise(*containing)) return SetResult::Failed;
            pos = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(pos) +
                                           RaiseCount(buffer, *containing));
        }
        std::vector<std::uint8_t> listItem;
        ItemCodec::EncodeListItem(listItem, 0);
        auto pair = MakePair(parts[i], listItem);
        buffer.Replace(pos, 0, pair);
        containing = Containing{pos, pair.size(), parts[i], 0};
        levelStart = pos + pair.size();
        levelPairs = 0;
    }

    auto r = FindInLevel(buffer.Used(), parts.back(), levelStart, levelPairs);
    if (!r) return SetResult::Failed;
    const bool newIsList = value.GetType() == ToCode(ElementType::List);
    if (!r->found) {
        std::size_t pos = r->insertPosition;
        if (containing) {
            if (!canRaise(*containing)) return SetResult::Failed;
            pos = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(pos) +
                                           RaiseCount(buffer, *containing));
        }
        buffer.Replace(pos, 0, MakePair(parts.back(), valueItem));
        return SetResult::Written;
    }
    const bool storedIsList = r->value.IsList();
    if (storedIsList && !newIsList) return SetResult::Unchanged;
    if (!storedIsList && !newIsList && r->value.type != value.GetType())
        return SetResult::Unchanged;
    buffer.Replace(r->pairPosition, r->pairSize, MakePair(parts.back(), valueItem));
    return SetResult::Written;
}

SetResult RemoveLeafAtPath(BlockBuffer& buffer, std::string_view path) {
    auto parts = SplitPath(path);
    if (parts.empty()) return SetResult::Failed;
    std::size_t levelStart = 0;
    std::optional<std::uint32_t> levelPairs;
    std::vector<Containing> lists;  // outermost first
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        auto r = FindInLevel(buffer.Used(), parts[i], levelStart, levelPairs);
        if (!r) return SetResult::Failed;
        if (!r->found || !r->value.IsList()) return SetResult::Unchanged;
        if (r->value.count % 2 != 0 || r->value.count < 2) return SetResult::Failed;
        lists.push_back({r->pairPosition, r->pairSize, parts[i], r->value.count});
        levelStart = r->value.next;
        levelPairs = r->value.count / 2;
    }
    auto r = FindInLevel(buffer.Used(), parts.back(), levelStart, levelPairs);
    if (!r) return SetResult::Failed;
    if (!r->found || r->value.IsList()) return SetResult::Unchanged;
    for (const Containing& list : lists) {
        auto label = ItemCodec::DecodeItem(buffer.Used(), list.pairPosition);
        if (!label || !label->IsAscii()) return SetResult::Failed;
    }
    // From the inside out, each change lies behind the pairs still to change, so
    // their places stay as found. A list left empty goes too, as the writer never
    // stores an empty list; the first that keeps entries gets its count 2 lower,
    // with its label as stored.
    buffer.Replace(r->pairPosition, r->pairSize, {});
    for (auto it = lists.rbegin(); it != lists.rend(); ++it) {
        if (it->count == 2) {
            buffer.Replace(it->pairPosition, it->pairSize, {});
            continue;
        }
        const auto label = ItemCodec::DecodeItem(buffer.Used(), it->pairPosition);
        std::vector<std::uint8_t> item;
        ItemCodec::EncodeListItem(item, it->count - 2);
        const auto pair = MakePair(std::string(label->Text(buffer.Used())), item);
        buffer.Replace(it->pairPosition, it->pairSize, pair);
        break;
    }
    return SetResult::Written;
}

std::string SpeltAsStored(const BlockBuffer& buffer, std::string_view path) {
    const auto parts = SplitPath(path);
    std::string spelt;
    std::size_t levelStart = 0;
    std::optional<std::uint32_t> levelPairs;
    bool stored = true;  // every part so far names a list the block holds
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::string_view part = parts[i];
        if (stored) {
            const auto r = FindInLevel(buffer.Used(), part, levelStart, levelPairs);
            if (!r) return std::string(path);
            stored = r->found;
            if (stored) {
                const auto label = ItemCodec::DecodeItem(buffer.Used(), r->pairPosition);
                if (!label || !label->IsAscii()) return std::string(path);
                spelt += (i ? "." : "") + std::string(label->Text(buffer.Used()));
                stored = r->value.IsList() && r->value.count % 2 == 0;
                levelStart = r->value.next;
                levelPairs = r->value.count / 2;
                continue;
            }
        }
        spelt += (i ? "." : "") + std::string(part);
    }
    return spelt;
}

}  // namespace BlockPath
