#include "support/ReferenceCodec.h"

#include "format/ExtendedHeaderCodec.h"

namespace {

// Every label item of the block's structure, for the reader's label rule.
bool AllLabelsStorable(std::span<const std::uint8_t> block) {
    std::size_t pos = 0;
    std::vector<std::uint32_t> open;  // pairs left per nested level
    for (;;) {
        while (!open.empty() && open.back() == 0) open.pop_back();
        auto label = ItemCodec::DecodeItem(block, pos);
        if (!label) return false;
        if (open.empty() && label->IsEnd()) return true;
        if (!open.empty()) --open.back();
        if (!label->IsAscii() || !IsStorableLabel(label->Text(block))) return false;
        auto value = ItemCodec::DecodeItem(block, label->next);
        if (!value) return false;
        pos = value->next;
        if (value->IsList()) {
            if (open.size() >= kMaxListDepth) return false;
            open.push_back(value->count / 2);
        }
    }
}

std::string Join(const std::string& path, const std::string& label) {
    return path.empty() ? label : path + "." + label;
}

bool DecodeLevel(std::span<const std::uint8_t> block, HeaderNode& root, HeaderNode& list,
                 const std::string& path) {
    auto labels = BlockPath::EnumerateLevel(block, path);
    if (!labels) return false;
    for (const auto& label : labels->leaves) {
        auto r = BlockPath::FindPath(block, Join(path, label));
        if (!r || !r->found) return false;
        auto node = std::make_unique<HeaderNode>(label, false);
        node->value.Assign(r->value.type, r->value.count, r->value.Payload(block));
        HeaderTree::Insert(list, std::move(node), &root);
    }
    for (const auto& label : labels->lists) {
        HeaderNode* node =
            HeaderTree::Insert(list, std::make_unique<HeaderNode>(label, true), &root);
        if (!DecodeLevel(block, root, *node, Join(path, label))) return false;
    }
    return true;
}

}  // namespace

bool ReferenceDecodeExtendedHeader(std::span<const std::uint8_t> block, HeaderNode& root) {
    if (!BlockPath::EnumerateLevel(block, "")) return false;
    if (!AllLabelsStorable(block)) return false;
    return DecodeLevel(block, root, root, "");
}

namespace {
bool SameSubtree(const HeaderNode& a, const HeaderNode& b, bool isRoot, std::string* why) {
    auto fail = [&](const std::string& w) {
        if (why) *why = w;
        return false;
    };
    if (a.label != b.label) return fail("label " + a.label + " vs " + b.label);
    if (a.isList != b.isList) return fail("kind of " + a.label);
    if (!a.isList && !(a.value == b.value)) return fail("value of " + a.label);
    if (a.children.size() != b.children.size()) return fail("child count of " + a.label);
    auto ib = b.children.begin();
    for (auto ia = a.children.begin(); ia != a.children.end(); ++ia, ++ib) {
        if (ia->first != ib->first) return fail("key " + ia->first + " vs " + ib->first);
        if (!ia->second || !ib->second) return fail("empty entry " + ia->first);
        if (ia->second->parent != (isRoot ? nullptr : &a) ||
            ib->second->parent != (isRoot ? nullptr : &b))
            return fail("parent of " + ia->first);
        if (!SameSubtree(*ia->second, *ib->second, false, why)) return false;
    }
    return true;
}
}  // namespace

bool SameTree(const HeaderNode& a, const HeaderNode& b, std::string* why) {
    return SameSubtree(a, b, true, why);
}
