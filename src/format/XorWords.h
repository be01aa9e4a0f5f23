#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

// The XOR of the bytes taken as consecutive little-endian 32-bit words; a
// trailing part of 1 to 3 bytes is ignored; no bytes give 0.
std::uint32_t XorWords(std::span<const std::uint8_t> bytes);

class EncodedBlock;
// The same over a block held in pieces (the words run on across pieces).
std::uint32_t XorWordsOf(const EncodedBlock& block);
