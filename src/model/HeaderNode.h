#pragma once
// One labelled entry of the Extended Header: a list that holds further entries, or
// a leaf that holds one HeaderElement. The document owns the root; each list owns
// its children. Fields are public: the document, views and codec use them directly.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/HeaderElement.h"
#include "model/LabelCompare.h"

class HeaderNode {
  public:
    // Children in label order; an entry may refer to no node only during the
    // folder-wide cancel's walk (see ClearEntry).
    using ChildMap = std::map<std::string, std::unique_ptr<HeaderNode>, LabelLess>;

    HeaderNode() = default;
    HeaderNode(std::string label, bool list) : label(std::move(label)), isList(list) {}
    ~HeaderNode();
    HeaderNode(const HeaderNode&) = delete;
    HeaderNode& operator=(const HeaderNode&) = delete;

    // A deep copy without pending state: the copy and all its descendants have
    // pending false and savedValue End; the copy's parent is null.
    std::unique_ptr<HeaderNode> DeepCopy() const;

    std::string label;
    bool isList = false;
    HeaderElement value;
    ChildMap children;
    bool pending = false;
    HeaderElement savedValue;
    HeaderNode* parent = nullptr;  // null for children of the root, and for the root
};

// The tree of one file: a root list labelled "Extended Header".
class ExtendedHeader {
  public:
    static constexpr std::string_view kRootLabel = "Extended Header";
    static std::unique_ptr<HeaderNode> MakeRoot();
};

// Tree operations on one parent list.
namespace HeaderTree {
// Adds `node` under its label; when the label is already present the existing
// entry (and its key) stays and refers to the new node, and the node it referred
// to is destroyed. Sets the node's parent (null under the root). Returns the node.
HeaderNode* Insert(HeaderNode& parent, std::unique_ptr<HeaderNode> node, const HeaderNode* root);
// The child with the same label (without regard to case), or null.
HeaderNode* Find(const HeaderNode& parent, std::string_view label);
// Erases the node from its parent list (`root` when its parent is null) and
// destroys it with its subtree.
void Remove(HeaderNode& root, HeaderNode* node);
// Makes the entry for `label` refer to no node, without destroying anything.
void ClearEntry(HeaderNode& parent, std::string_view label);
// Erases the entries that refer to no node.
void EraseEmptyEntries(HeaderNode& parent);
// The list that holds `node`: its parent, or the root.
HeaderNode& ParentList(HeaderNode& root, const HeaderNode& node);
// The dotted label path of `node` (the root's label is not part of it).
std::string PathOf(const HeaderNode& node);
// The entry that a walk of `node` and everything below it visits last: `node`
// itself when it holds no entries. The views scroll to it after adding a subtree.
const HeaderNode& LastInWalk(const HeaderNode& node);
// Visits every entry below `list` in walk order (a list before its entries,
// siblings in label order) with its path. Iterative, so depth costs no stack.
template <class F>
void Walk(const HeaderNode& list, F&& visit);
}  // namespace HeaderTree

template <class F>
void HeaderTree::Walk(const HeaderNode& list, F&& visit) {
    struct Frame {
        HeaderNode::ChildMap::const_iterator it, end;
        std::size_t prefixLength;
    };
    std::string path;
    std::vector<Frame> stack{{list.children.begin(), list.children.end(), 0}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.it == f.end) {
            stack.pop_back();
            continue;
        }
        const HeaderNode* node = (f.it++)->second.get();
        if (!node) continue;
        path.resize(f.prefixLength);
        if (!path.empty()) path += '.';
        path += node->label;
        visit(*node, std::string_view(path));
        if (node->isList)
            stack.push_back({node->children.begin(), node->children.end(), path.size()});
    }
}
