#pragma once
// Path operations on an Extended Header block: entries are addressed by dotted
// label paths (Run.Gain is the entry Gain inside the top-level list Run). The
// folder-wide edit sets pending entries into each file's block with these; the
// whole-tree codec gives the same results by a faster route.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "format/ItemCodec.h"
#include "model/HeaderElement.h"

namespace BlockPath {

// Why the reader refuses `label` as a stored label, or null when it takes it: an
// empty label, one with the path separator '.', one with a NUL (a stored label
// ends at its first NUL, so the rest would vanish or make a second entry of the
// same name), or one longer than an item holds. The one label rule: the writer
// stores no label the reader refuses.
const char* LabelFault(std::string_view label);
// Why the reader refuses `value` as a leaf's stored value, or null when it takes
// it: a type code beyond the item's 6 bits, a List as a value, a Boolean whose
// first value is neither 0 nor 1, or a value longer than an item holds.
const char* ValueFault(const HeaderElement& value);

// The parts of a path; empty parts (two periods in a row, a period at either
// end) are skipped.
std::vector<std::string_view> SplitPath(std::string_view path);

struct Lookup {
    bool found = false;
    // Found: the pair's label item, its value item and the pair's size (label item
    // plus value item, without a list's content).
    std::size_t pairPosition = 0;
    ItemCodec::DecodedItem value;
    std::size_t pairSize = 0;
    // Not found: where the pair would be inserted to keep the order.
    std::size_t insertPosition = 0;
};

// Looks `path` up from the level starting at `start`, which holds `pairs` pairs,
// or (nullopt) runs until the End item as the top level does. nullopt on failure.
std::optional<Lookup> FindPath(std::span<const std::uint8_t> block, std::string_view path,
                               std::size_t start = 0,
                               std::optional<std::uint32_t> pairs = std::nullopt);

// One level only: the token is a single label.
std::optional<Lookup> FindInLevel(std::span<const std::uint8_t> block, std::string_view token,
                                  std::size_t start, std::optional<std::uint32_t> pairs);

// Skips `itemCount` content items of a list starting at `pos`; returns the
// position behind them, or nullopt when they do not decode.
std::optional<std::size_t> SkipListContent(std::span<const std::uint8_t> block, std::size_t pos,
                                           std::uint32_t itemCount);

struct LevelLabels {
    std::vector<std::string> leaves;  // block order
    std::vector<std::string> lists;   // block order
};
// The labels of the leaf entries and of the list entries of the list at `path`
// (empty: the top level).
std::optional<LevelLabels> EnumerateLevel(std::span<const std::uint8_t> block,
                                          std::string_view path);

// The position of the top-level End item, or nullopt when the block does not
// decode up to it.
std::optional<std::size_t> FindEnd(std::span<const std::uint8_t> block);

// A block being edited: its used part always ends with the top-level End item.
class BlockBuffer {
  public:
    // An empty block: the End item alone.
    BlockBuffer() : m_bytes{ItemCodec::kEndItem} {}
    // The used part of a stored block (up to its top-level End item); nullopt when
    // the block has none.
    static std::optional<BlockBuffer> FromBlock(std::span<const std::uint8_t> block);

    std::span<const std::uint8_t> Used() const { return m_bytes; }
    std::size_t EndPosition() const { return m_bytes.size() - 1; }
    // The block as stored: the used part, zero-padded to a multiple of 4.
    std::vector<std::uint8_t> ToBlock() const;

    // Replaces `length` bytes at `pos` by `bytes`.
    void Replace(std::size_t pos, std::size_t length, std::span<const std::uint8_t> bytes);

  private:
    std::vector<std::uint8_t> m_bytes;
};

enum class SetResult { Written, Unchanged, Failed };

// Sets `value` at `path`, creating missing lists at their ordered places and
// keeping the order. A path through a leaf, or a stored entry of another type,
// leaves the block unchanged. A label or value the reader refuses (LabelFault,
// ValueFault) fails before the block is changed.
SetResult SetValueAtPath(BlockBuffer& buffer, std::string_view path, const HeaderElement& value);

// Removes the leaf at `path`, lowering its list's count (a list left empty goes
// too, as the writer never stores one); every other byte stays.
// Written when it was removed; Unchanged when there is no leaf there (nothing, a
// list, or a path through a value); Failed when the block does not decode.
SetResult RemoveLeafAtPath(BlockBuffer& buffer, std::string_view path);

// `path` with the labels of the entries the block holds on its way spelt as
// stored (labels compare without regard to case); the parts from the first the
// block does not hold on stay as given. So a change made through it renames
// nothing. The path's parts joined by periods; `path` itself when the block
// does not decode on its way.
std::string SpeltAsStored(const BlockBuffer& buffer, std::string_view path);

}  // namespace BlockPath
