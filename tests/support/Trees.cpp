#include "support/Trees.h"

#include "format/BlockPath.h"

HeaderElement LongValue(std::int32_t v) {
    HeaderElement e(ElementType::Long, 1);
    e.SetLong(0, v);
    return e;
}

HeaderElement FloatValue(float v) {
    HeaderElement e(ElementType::Float, 1);
    e.SetFloat(0, v);
    return e;
}

HeaderNode* FindAt(const HeaderNode& root, const std::string& path) {
    const HeaderNode* n = &root;
    for (auto part : BlockPath::SplitPath(path)) {
        n = HeaderTree::Find(*n, part);
        if (!n) return nullptr;
    }
    return const_cast<HeaderNode*>(n);
}

HeaderNode& HolderOf(HeaderNode& root, const std::string& path) {
    auto parts = BlockPath::SplitPath(path);
    HeaderNode* list = &root;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        HeaderNode* next = HeaderTree::Find(*list, parts[i]);
        if (!next)
            next = HeaderTree::Insert(
                *list, std::make_unique<HeaderNode>(std::string(parts[i]), true), &root);
        list = next;
    }
    return *list;
}

HeaderNode* AddAt(HeaderNode& root, const std::string& path, std::optional<HeaderElement> value) {
    const auto parts = BlockPath::SplitPath(path);
    auto node = std::make_unique<HeaderNode>(std::string(parts.back()), !value.has_value());
    if (value) node->value = *value;
    return HeaderTree::Insert(HolderOf(root, path), std::move(node), &root);
}

HeaderNode* AddLeaf(HeaderNode& root, HeaderNode& list, const std::string& label,
                    HeaderElement value) {
    auto n = std::make_unique<HeaderNode>(label, false);
    n->value = std::move(value);
    return HeaderTree::Insert(list, std::move(n), &root);
}

HeaderNode* AddList(HeaderNode& root, HeaderNode& list, const std::string& label) {
    return HeaderTree::Insert(list, std::make_unique<HeaderNode>(label, true), &root);
}
