#include "model/HeaderNode.h"

#include <vector>

HeaderNode::~HeaderNode() {
    // Tear the subtree down iteratively: a file may nest lists very deeply.
    std::vector<std::unique_ptr<HeaderNode>> pending;
    for (auto& [key, child] : children)
        if (child) pending.push_back(std::move(child));
    children.clear();
    while (!pending.empty()) {
        std::unique_ptr<HeaderNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& [key, child] : node->children)
            if (child) pending.push_back(std::move(child));
        node->children.clear();
    }
}

std::unique_ptr<HeaderNode> HeaderNode::DeepCopy() const {
    auto copy = std::make_unique<HeaderNode>(label, isList);
    if (!isList) copy->value = value;
    // Breadth of work proportional to the subtree, without recursion.
    std::vector<std::pair<const HeaderNode*, HeaderNode*>> work{{this, copy.get()}};
    while (!work.empty()) {
        auto [src, dst] = work.back();
        work.pop_back();
        for (const auto& [key, child] : src->children) {
            if (!child) continue;
            auto c = std::make_unique<HeaderNode>(child->label, child->isList);
            if (!child->isList) c->value = child->value;
            c->parent = dst;
            HeaderNode* raw = c.get();
            dst->children.emplace_hint(dst->children.end(), key, std::move(c));
            if (child->isList) work.emplace_back(child.get(), raw);
        }
    }
    return copy;
}

std::unique_ptr<HeaderNode> ExtendedHeader::MakeRoot() {
    return std::make_unique<HeaderNode>(std::string(kRootLabel), true);
}

HeaderNode* HeaderTree::Insert(HeaderNode& parent, std::unique_ptr<HeaderNode> node,
                               const HeaderNode* root) {
    node->parent = (&parent == root) ? nullptr : &parent;
    HeaderNode* raw = node.get();
    auto& children = parent.children;
    // Files store labels in order, so most inserts append: no search needed.
    if (children.empty() || CompareLabels(children.rbegin()->first, node->label) < 0) {
        children.emplace_hint(children.end(), node->label, std::move(node));
        return raw;
    }
    auto it = children.lower_bound(node->label);
    if (it != children.end() && LabelsEqual(it->first, node->label)) {
        it->second = std::move(node);
    } else {
        children.emplace_hint(it, node->label, std::move(node));
    }
    return raw;
}

HeaderNode* HeaderTree::Find(const HeaderNode& parent, std::string_view label) {
    auto it = parent.children.find(label);
    return it == parent.children.end() ? nullptr : it->second.get();
}

HeaderNode& HeaderTree::ParentList(HeaderNode& root, const HeaderNode& node) {
    return node.parent ? *node.parent : root;
}

void HeaderTree::Remove(HeaderNode& root, HeaderNode* node) {
    HeaderNode& parent = ParentList(root, *node);
    auto it = parent.children.find(node->label);
    if (it != parent.children.end()) parent.children.erase(it);
}

void HeaderTree::ClearEntry(HeaderNode& parent, std::string_view label) {
    auto it = parent.children.find(label);
    if (it == parent.children.end()) {
        parent.children.emplace(std::string(label), nullptr);
    } else {
        (void)it->second.release();  // the caller destroys the node itself
    }
}

void HeaderTree::EraseEmptyEntries(HeaderNode& parent) {
    std::erase_if(parent.children, [](const auto& entry) { return entry.second == nullptr; });
}

std::string HeaderTree::PathOf(const HeaderNode& node) {
    std::vector<const HeaderNode*> chain;
    for (const HeaderNode* n = &node; n; n = n->parent) chain.push_back(n);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty()) path += '.';
        path += (*it)->label;
    }
    return path;
}

const HeaderNode& HeaderTree::LastInWalk(const HeaderNode& node) {
    const HeaderNode* last = &node;
    while (last->isList && !last->children.empty() && last->children.rbegin()->second)
        last = last->children.rbegin()->second.get();
    return *last;
}
