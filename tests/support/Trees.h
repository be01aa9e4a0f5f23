#pragma once
// The tests' one tree builder: values, entries added by dotted path (lists made
// on the way) or under a given list (for labels a path cannot spell), and look-up.

#include <optional>

#include "model/HeaderNode.h"

HeaderElement LongValue(std::int32_t v);
HeaderElement FloatValue(float v);
// Adds a leaf (or, without a value, a list) at a dotted path, creating lists on the way.
HeaderNode* AddAt(HeaderNode& root, const std::string& path, std::optional<HeaderElement> value);
// The list that holds the last label of `path`, lists made on the way.
HeaderNode& HolderOf(HeaderNode& root, const std::string& path);
HeaderNode* FindAt(const HeaderNode& root, const std::string& path);
HeaderNode* AddLeaf(HeaderNode& root, HeaderNode& list, const std::string& label,
                    HeaderElement value);
HeaderNode* AddList(HeaderNode& root, HeaderNode& list, const std::string& label);
