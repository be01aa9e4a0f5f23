#pragma once
// Whole-tree conversions between an Extended Header block and the entry tree.
//
// Decoding and encoding are the hot path of Open and Save, so neither rescans the
// block from the top for each entry: decoding parses the block once and looks
// labels up per level in logarithmic time; encoding writes the tree in one walk.
// Their results are those of the path procedures in BlockPath (looking each entry
// up from the top, setting each leaf at its path), failures and duplicate labels
// included.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "format/BlockPath.h"
#include "format/EncodedBlock.h"
#include "model/HeaderNode.h"

struct StandardHeader;

// How deeply lists may nest (a top-level list is depth 1). Deeper blocks do not
// decode and deeper trees do not encode, so that no reader's work or stack grows
// with what a hostile file claims.
constexpr std::size_t kMaxListDepth = 100;

// A label as the reader accepts it (BlockPath::LabelFault finds none). The
// writer never produces others; a file that holds one does not open.
bool IsStorableLabel(std::string_view label);

// Fills the empty root list with the entries of `block`; false when the block
// does not decode. The tree may then be partly filled.
bool DecodeExtendedHeader(std::span<const std::uint8_t> block, HeaderNode& root);

// Sets every leaf of the tree (with `pendingOnly`, every pending leaf) into the
// block at its path, in walk order. False when a value cannot be set (a path with
// no parts, an item that does not decode or does not fit).
bool EncodeEntries(const HeaderNode& root, BlockPath::BlockBuffer& buffer, bool pendingOnly);

// The block for the whole tree, zero-padded to a multiple of 4; empty when the root
// has no children. Throws HeaderError when the tree cannot be encoded.
std::vector<std::uint8_t> EncodeExtendedHeaderBlock(const HeaderNode& root);
// The same block with the payloads of large values borrowed from the tree, which
// must stay unchanged while the block is used.
EncodedBlock EncodeBlockBorrowing(const HeaderNode& root);

// Fills the empty root list from a block held in `owner`: as DecodeExtendedHeader,
// except that large array values share the block's buffer instead of copying it.
// `why` (when given) gets a reason the user can act on where there is one (lists
// nested deeper than kMaxListDepth); it stays empty for a plainly malformed block.
bool DecodeExtendedHeaderSharing(const std::shared_ptr<const std::vector<std::uint8_t>>& owner,
                                 HeaderNode& root, std::string* why = nullptr);

// Why the tree cannot be encoded, naming the first entry at fault: whatever the
// reader would refuse (a label or value LabelFault or ValueFault names, two
// labels of a list the same without regard to case, lists nested more than 100
// deep, more entries or bytes than an item holds); empty when it can. The
// encoder refuses such a tree before writing anything.
std::string ExplainUnencodable(const HeaderNode& root);

// Makes the new block for a rewrite, given the file's stored block (Extended
// Header Length bytes) and its record as read and repaired. Returns the block (a
// multiple of 4 bytes, empty for none). Throws HeaderError when it cannot.
using BlockMaker = std::function<EncodedBlock(std::span<const std::uint8_t> oldBlock,
                                              const StandardHeader& oldRecord)>;

// The block maker of Save: the block for the whole tree under `root`, which must
// outlive the maker and stay unchanged until the rewrite is done (the block
// borrows its large values).
BlockMaker EncodeExtendedHeader(const HeaderNode& root);
