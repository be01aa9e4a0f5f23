#pragma once
// The whole-tree decoder written literally as the path procedures describe it:
// enumerate each level, then look every entry up again from the top. Quadratic,
// and kept only to check the fast decoder against.

#include "model/HeaderNode.h"

bool ReferenceDecodeExtendedHeader(std::span<const std::uint8_t> block, HeaderNode& root);

// Deep equality of two trees: labels (as stored), map keys, kinds, values, parents.
bool SameTree(const HeaderNode& a, const HeaderNode& b, std::string* why = nullptr);
