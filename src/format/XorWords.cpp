#include "format/XorWords.h"

std::uint32_t XorWords(std::span<const std::uint8_t> bytes) {
    std::uint32_t x = 0;
    const std::size_t words = bytes.size() / 4;
    const std::uint8_t* p = bytes.data();
    for (std::size_t i = 0; i < words; ++i, p += 4)
        x ^= static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
             static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    return x;
}
