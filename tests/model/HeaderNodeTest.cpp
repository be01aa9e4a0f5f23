#include <gtest/gtest.h>

#include "model/HeaderNode.h"
#include "support/Trees.h"

namespace {

std::vector<std::string> WalkPaths(const HeaderNode& root) {
    std::vector<std::string> paths;
    HeaderTree::Walk(root, [&](const HeaderNode&, std::string_view p) { paths.emplace_back(p); });
    return paths;
}

TEST(LabelCompareTest, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(CompareLabels("Gain", "GAIN"), 0);
    EXPECT_LT(CompareLabels("_x", "A"), 0) << "'_' (0x5F) sorts before folded 'a' (0x61)";
    EXPECT_LT(CompareLabels("A", "b"), 0);
    EXPECT_LT(CompareLabels("[", "a"), 0) << "'[' (0x5B) does not fold";
    EXPECT_LT(CompareLabels("ab", "abc"), 0);
    EXPECT_NE(CompareLabels("\xC9", "\xE9"), 0) << "only A-Z fold";
    EXPECT_LT(CompareLabels("z", "\xE9"), 0) << "bytes compare unsigned";
    EXPECT_EQ(UpperCaseLabel("gain_2\xE9"), "GAIN_2\xE9");
}

TEST(HeaderTreeTest, FindIgnoresCaseAndInsertKeepsOneEntryPerLabel) {
    auto root = ExtendedHeader::MakeRoot();
    HeaderNode* gain = AddLeaf(*root, *root, "Gain", LongValue(1));
    EXPECT_EQ(HeaderTree::Find(*root, "GAIN"), gain);
    EXPECT_EQ(HeaderTree::Find(*root, "gai"), nullptr);
    HeaderNode* again = AddLeaf(*root, *root, "gain", LongValue(2));
    ASSERT_EQ(root->children.size(), 1u);
    EXPECT_EQ(root->children.begin()->first, "Gain") << "the existing entry's key stays";
    EXPECT_EQ(HeaderTree::Find(*root, "GAIN"), again);
    EXPECT_EQ(again->value.GetLong(0), 2);
}

// Children keep label order whatever the order of inserting; a walk goes
// depth first in that order.
TEST(HeaderTreeTest, ParentsPathsAndWalkOrder) {
    auto root = ExtendedHeader::MakeRoot();
    AddLeaf(*root, *root, "b", LongValue(1));
    HeaderNode* run = AddList(*root, *root, "Run");
    HeaderNode* inner = AddList(*root, *run, "Inner");
    HeaderNode* leaf = AddLeaf(*root, *inner, "Gain", LongValue(5));
    AddLeaf(*root, *root, "Alpha", LongValue(1));
    EXPECT_EQ(run->parent, nullptr);
    EXPECT_EQ(inner->parent, run);
    EXPECT_EQ(leaf->parent, inner);
    EXPECT_EQ(HeaderTree::PathOf(*leaf), "Run.Inner.Gain");
    EXPECT_EQ(&HeaderTree::ParentList(*root, *run), root.get());
    EXPECT_EQ(WalkPaths(*root),
              (std::vector<std::string>{"Alpha", "b", "Run", "Run.Inner", "Run.Inner.Gain"}));
}

TEST(HeaderTreeTest, DeepCopyIsIndependentAndDropsPendingState) {
    auto root = ExtendedHeader::MakeRoot();
    HeaderNode* outer = AddList(*root, *root, "Outer");
    HeaderNode* inner = AddList(*root, *outer, "Inner");
    HeaderNode* leaf = AddLeaf(*root, *inner, "L", LongValue(7));
    outer->pending = true;
    leaf->pending = true;
    leaf->savedValue = HeaderElement(ElementType::Long, 1);

    auto copy = outer->DeepCopy();
    EXPECT_EQ(copy->parent, nullptr);
    EXPECT_FALSE(copy->pending);
    EXPECT_EQ(copy->savedValue.GetType(), ToCode(ElementType::End));
    HeaderNode* cInner = HeaderTree::Find(*copy, "inner");
    ASSERT_NE(cInner, nullptr);
    EXPECT_EQ(cInner->parent, copy.get());
    HeaderNode* cLeaf = HeaderTree::Find(*cInner, "L");
    ASSERT_NE(cLeaf, nullptr);
    EXPECT_EQ(cLeaf->parent, cInner);
    EXPECT_FALSE(cLeaf->pending);
    EXPECT_EQ(cLeaf->savedValue.GetType(), ToCode(ElementType::End));
    EXPECT_EQ(cLeaf->value.GetLong(0), 7);
    cLeaf->value.SetLong(0, 8);
    EXPECT_EQ(leaf->value.GetLong(0), 7);
}

TEST(HeaderTreeTest, RemoveTakesTheSubtreeAndKeepsSiblings) {
    auto root = ExtendedHeader::MakeRoot();
    AddLeaf(*root, *root, "A", LongValue(1));
    HeaderNode* list = AddList(*root, *root, "B");
    AddLeaf(*root, *list, "X", LongValue(2));
    AddLeaf(*root, *root, "C", LongValue(3));
    HeaderTree::Remove(*root, list);
    EXPECT_EQ(WalkPaths(*root), (std::vector<std::string>{"A", "C"}));
    HeaderTree::Remove(*root, HeaderTree::Find(*root, "a"));
    EXPECT_EQ(WalkPaths(*root), (std::vector<std::string>{"C"}));
}

TEST(HeaderTreeTest, ClearEntryLeavesTheNodeToTheCaller) {
    auto root = ExtendedHeader::MakeRoot();
    HeaderNode* a = AddLeaf(*root, *root, "A", LongValue(1));
    AddLeaf(*root, *root, "B", LongValue(2));
    std::unique_ptr<HeaderNode> owned(a);
    HeaderTree::ClearEntry(*root, "a");
    HeaderTree::ClearEntry(*root, "Z");  // adds an empty entry
    EXPECT_EQ(root->children.size(), 3u);
    EXPECT_EQ(WalkPaths(*root), (std::vector<std::string>{"B"})) << "walks skip empty entries";
    HeaderTree::EraseEmptyEntries(*root);
    EXPECT_EQ(root->children.size(), 1u);
}

TEST(HeaderTreeTest, VeryDeepTreesAreDestroyedWithoutRecursion) {
    auto root = ExtendedHeader::MakeRoot();
    HeaderNode* list = root.get();
    for (int i = 0; i < 200000; ++i) list = AddList(*root, *list, "L");
    auto copy = root->DeepCopy();
    root.reset();
    copy.reset();
    SUCCEED();
}

}  // namespace
