#pragma once
// The bytes of an Extended Header block as a rewrite writes them: the block's own
// bytes (item headers, labels, small values) and, between them, the payloads of
// large values borrowed from the tree that was encoded instead of copied. A
// rewrite so holds a file's values once, in the document, not twice.
//
// Borrowed pieces point into the tree's elements: the tree must not change or go
// while the block is in use. Copies are safe (own bytes are referred to by offset).

#include <cstdint>
#include <span>
#include <vector>

class EncodedBlock {
  public:
    EncodedBlock() = default;
    // A block held in one buffer of its own.
    EncodedBlock(std::vector<std::uint8_t> bytes);  // NOLINT: a block is its bytes

    // Appends bytes of its own (copied).
    void Append(std::span<const std::uint8_t> bytes);
    // Appends bytes that stay where they are and must outlive the block.
    void Borrow(std::span<const std::uint8_t> bytes);

    std::uint64_t size() const { return m_nSize; }
    bool empty() const { return m_nSize == 0; }
    // The pieces in order (none empty).
    std::vector<std::span<const std::uint8_t>> Pieces() const;
    // The whole block in one buffer.
    std::vector<std::uint8_t> ToVector() const;

  private:
    struct Piece {
        const std::uint8_t* borrowed;  // null: m_own from `offset`
        std::size_t offset;
        std::size_t size;
    };
    std::vector<std::uint8_t> m_own;
    std::vector<Piece> m_pieces;
    std::uint64_t m_nSize = 0;
};
