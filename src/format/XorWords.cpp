#include "format/XorWords.h"

#include <bit>

#include "format/EncodedBlock.h"

std::uint32_t XorWords(std::span<const std::uint8_t> bytes) {
    std::uint32_t x = 0;
    const std::size_t words = bytes.size() / 4;
    const std::uint8_t* p = bytes.data();
    for (std::size_t i = 0; i < words; ++i, p += 4)
        x ^= static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
             static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    return x;
}

std::uint32_t XorWordsOf(const EncodedBlock& block) {
    // A piece that starts `phase` bytes into a word contributes its own words
    // rotated by that many bytes; its last 1 to 3 bytes go in one at a time.
    const std::uint64_t end = block.size() / 4 * 4;
    std::uint32_t x = 0;
    std::uint64_t base = 0;
    for (auto piece : block.Pieces()) {
        if (base >= end) break;
        if (piece.size() > end - base) piece = piece.first(static_cast<std::size_t>(end - base));
        const unsigned phase = static_cast<unsigned>(base % 4);
        x ^= std::rotl(XorWords(piece), static_cast<int>(8 * phase));
        for (std::size_t i = piece.size() / 4 * 4; i < piece.size(); ++i)
            x ^= static_cast<std::uint32_t>(piece[i]) << (8 * ((base + i) % 4));
        base += piece.size();
    }
    return x;
}
