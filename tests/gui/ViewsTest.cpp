// The tree and list panes on an open file: shape, texts, images and order, the
// update hints, and the clicks that keep the two selections together.
#include <QAbstractItemModelTester>
#include <QLabel>
#include <QLineEdit>
#include <random>

#include "GuiFixture.h"

namespace {

class ViewsTest : public GuiTest {
  protected:
    void SetUp() override {
        GuiTest::SetUp();
        auto root = SampleTree();
        AddAt(*root, "B-X", LongValue(3));
        ASSERT_TRUE(Start({PutFile("A01.tkv", *root)}));
        // Both models are checked for consistency after every change, as long as they live.
        for (QAbstractItemModel* m : {Tree().model(), List().model()})
            new QAbstractItemModelTester(m, QAbstractItemModelTester::FailureReportingMode::Fatal,
                                         m);
    }
    // Inserts an entry as the commands do: into the document, an item, the hint.
    void Add(const std::string& list, const char* label, bool isList) {
        auto node = std::make_unique<HeaderNode>(label, isList);
        if (!isList) node->value = LongValue(42);
        HeaderNode* parent = At(list);
        HeaderNode* added = HeaderTree::Insert(*parent, std::move(node), Doc().m_pRoot.get());
        Tree().InsertEntryItem(Tree().FindItemOfEntry(parent), added);
        Doc().NotifyEntryInserted(&Tree(), added);
    }
};

TEST_F(ViewsTest, TreeAndListShowTheOpenFileAndFollowInsertionsAndDeletions) {
    EXPECT_EQ(TreeTexts(), (Texts{"Standard Header", "  Extended Header", "    A (Long)",
                                  "    B (List)", "      C (ASCII)", "      FLAGS (Boolean)",
                                  "    B-X (Long)", "    D (Float)"}));
    // Every list that holds entries stands open after the fill, and nothing is selected.
    EXPECT_EQ(TreeRows(), TreeTexts());
    EXPECT_EQ(Tree().GetSelectedItem(), nullptr);
    // The "Standard Header" item carries no entry.
    EXPECT_EQ(Tree().GetEntryOfItem(Tree().StandardHeaderItem()), nullptr);
    // The list: every entry by its path, with its value. '-' sorts before '.', so B-X
    // lies between B and B.C.
    EXPECT_EQ(ListLabels(), (Texts{"A", "B", "B-X", "B.C", "B.FLAGS", "D"}));
    Texts values;
    for (const std::string& label : ListLabels()) values.push_back(ListValue(label));
    EXPECT_EQ(values, (Texts{"7", "", "3", "text", "True,False,True", "2.5"}));
    // Inserted entries get their items and rows at their sorted place, shown.
    Add("B", "A", true);
    Add("B.A", "X", false);
    EXPECT_EQ(ListLabels(), (Texts{"A", "B", "B-X", "B.A", "B.A.X", "B.C", "B.FLAGS", "D"}));
    EXPECT_EQ(ListValue("B.A.X"), "42");
    EXPECT_EQ(TreeRows(),
              (Texts{"Standard Header", "  Extended Header", "    A (Long)", "    B (List)",
                     "      A (List)", "        X (Long)", "      C (ASCII)",
                     "      FLAGS (Boolean)", "    B-X (Long)", "    D (Float)"}));
    // A delete takes its list's rows and no others.
    HeaderNode* x = At("B.A.X");
    Doc().DeleteEntry(At("B"));
    EXPECT_EQ(ListLabels(), (Texts{"A", "B-X", "D"}));
    EXPECT_EQ(TreeRows(), (Texts{"Standard Header", "  Extended Header", "    A (Long)",
                                 "    B-X (Long)", "    D (Float)"}));
    EXPECT_EQ(Tree().FindItemOfEntry(x), nullptr);
}

// Siblings sort as labels compare, an item after its equals inserted before it.
TEST(EntryTreeModelTest, AnItemGoesAfterTheEqualItemsBeforeIt) {
    EntryTreeModel model;
    TreeItem* top = model.Insert(nullptr, "T", 0, nullptr);
    model.SetExpanded(top, true);
    TreeItem* first = model.Insert(top, "B", 0, nullptr);
    TreeItem* a = model.Insert(top, "a", 0, nullptr);
    TreeItem* second = model.Insert(top, "b", 0, nullptr);
    EXPECT_LT(model.IndexOf(a).row(), model.IndexOf(first).row());
    EXPECT_LT(model.IndexOf(first).row(), model.IndexOf(second).row());
}

// Random insertions, removals, expansions and collapses (equal texts among
// them) against the rows worked out afresh from the items after every step.
TEST(EntryTreeModelTest, RowsFollowRandomChangesAsAFreshWalkWouldShowThem) {
    EntryTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::mt19937 random(20261207);
    std::vector<TreeItem*> items;
    auto expected = [&] {
        std::vector<const TreeItem*> out;
        std::function<void(const std::vector<std::unique_ptr<TreeItem>>&)> walk =
            [&](const std::vector<std::unique_ptr<TreeItem>>& children) {
                for (const auto& c : children) {
                    out.push_back(c.get());
                    if (c->expanded) walk(c->children);
                }
            };
        walk(model.TopLevel());
        return out;
    };
    for (int step = 0; step < 3000; ++step) {
        const unsigned op = random() % 10;
        TreeItem* some = items.empty() ? nullptr : items[random() % items.size()];
        if (op < 5 || !some) {
            TreeItem* parent = op == 0 || !some ? nullptr : some;
            items.push_back(
                model.Insert(parent, std::string(1, char('A' + random() % 6)), 0, nullptr));
        } else if (op < 7) {
            model.SetExpanded(some, !some->expanded);
        } else if (op == 7) {
            model.Reveal(some);
        } else if (op == 8) {
            model.ExpandBelow(some);
        } else {
            std::vector<const TreeItem*> gone{some};
            for (std::size_t k = 0; k < gone.size(); ++k)
                for (const auto& c : gone[k]->children) gone.push_back(c.get());
            model.Remove(some);
            std::erase_if(items, [&](TreeItem* t) {
                return std::find(gone.begin(), gone.end(), t) != gone.end();
            });
        }
        const auto rows = expected();
        ASSERT_EQ(model.rowCount(), static_cast<int>(rows.size())) << "step " << step;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            ASSERT_EQ(model.ItemAt(model.index(static_cast<int>(r), 0)), rows[r])
                << "step " << step;
            ASSERT_EQ(model.IndexOf(rows[r]).row(), static_cast<int>(r)) << "step " << step;
        }
    }
}

// A click in either pane selects the same entry in the other: the filter and the
// right-click tests show it both ways, and the root item leaving the list as it was.
TEST_F(ViewsTest, TheStandardHeaderItemAndTheKeyboardMoveOnePaneOnly) {
    ClickList("D");
    ClickTree("Standard Header");
    EXPECT_EQ(ListSelection(), At("D"));
    ClickTree("A");
    QTest::keyClick(Tree().viewport(), Qt::Key_Down);
    QTest::keyClick(&Tree(), Qt::Key_Down);
    EXPECT_NE(TreeSelection(), At("A"));
    EXPECT_EQ(ListSelection(), At("A"));
    ClickList("A");
    QTest::keyClick(&List(), Qt::Key_Down);
    EXPECT_EQ(ListSelection(), At("B"));
    EXPECT_EQ(TreeSelection(), At("A"));
}

TEST_F(ViewsTest, RightClicksSelectAndOfferTheEntryMenu) {
    ClickList("D");
    // Empty space below the last row of either pane: no menu.
    for (QAbstractItemView* pane : std::initializer_list<QAbstractItemView*>{&Tree(), &List()}) {
        auto none = CloseNextPopup();
        QTest::mouseClick(pane->viewport(), Qt::RightButton, {},
                          QPoint(5, pane->viewport()->height() - 3));
        QTest::qWait(50);
        EXPECT_FALSE(none->shown);
    }
    // The root item: selected, the list stays; Insert offered on a list, no accelerators.
    auto root = CloseNextPopup();
    ClickTree("Extended Header", Qt::RightButton);
    ASSERT_TRUE(root->shown);
    EXPECT_EQ(Tree().GetSelectedItem(), Tree().RootItem());
    EXPECT_EQ(ListSelection(), At("D"));
    EXPECT_EQ(root->withShortcut, 0);
    EXPECT_TRUE(root->enabled[0]);
    EXPECT_FALSE(root->checked.at(8)) << "not in folder-edit mode";
    // A leaf: the list follows; Insert is greyed. A list row: the tree follows.
    auto leaf = CloseNextPopup();
    ClickTree("A", Qt::RightButton);
    EXPECT_EQ(ListSelection(), At("A"));
    EXPECT_FALSE(leaf->enabled.at(0));
    CloseNextPopup();
    ClickList("B", Qt::RightButton);
    EXPECT_EQ(TreeSelection(), At("B"));
    // Its items run the commands: All Samples in Folder, then checked.
    CloseNextPopup("&All Samples in Folder");
    ClickList("A", Qt::RightButton);
    QTest::qWait(20);
    EXPECT_TRUE(Doc().m_bFolderEditMode);
    auto checked = CloseNextPopup("C&opy");
    ClickTree("A", Qt::RightButton);
    QTest::qWait(20);
    EXPECT_TRUE(checked->checked.at(8)) << "All Samples in Folder shows its check mark";
    EXPECT_FALSE(checked->enabled.at(9)) << "Cancel Field: A carries no change";
    ASSERT_NE(Doc().GetCopiedEntry(), nullptr);
    EXPECT_EQ(Doc().GetCopiedEntry()->label, "A");
}

TEST_F(ViewsTest, TheFilterNarrowsTheListAndThePanesStayTogether) {
    QLineEdit* box = Frame().FilterEdit();
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(Frame().FilterPane()->isVisibleTo(&Frame()));
    QTest::keyClick(&Frame(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), box) << "Ctrl+F goes to the filter box";
    // Paths and values, without regard to case: "b.c" by its value "text", "B.FLAGS"
    // by its path; "A" (7), "B-X" (3) and "D" (2.5) are not shown.
    QTest::keyClicks(box, "Ex");
    EXPECT_EQ(ListLabels(), (Texts{"B.C"}));
    box->setText("b.");
    EXPECT_EQ(ListLabels(), (Texts{"B.C", "B.FLAGS"}));
    EXPECT_TRUE(Frame().FilterPane()->isVisibleTo(&Frame()));
    EXPECT_EQ(Frame().FilterPane()->text(), "2 of 6 entries");

    // A row shown selects its entry in the tree; a tree entry filtered out leaves
    // no row of the list selected.
    ClickList("B.FLAGS");
    EXPECT_EQ(TreeSelection(), At("B.FLAGS"));
    ClickTree("A");
    EXPECT_EQ(ListSelection(), nullptr);
    ClickTree("B.C");
    EXPECT_EQ(ListSelection(), At("B.C"));

    // Hints while filtered: a new entry shows when it matches, a value that no
    // longer matches takes its row away, a removed list takes its rows.
    Add("B", "ZZ", false);
    EXPECT_EQ(ListLabels(), (Texts{"B.C", "B.FLAGS", "B.ZZ"}));
    EXPECT_EQ(Frame().FilterPane()->text(), "3 of 7 entries");
    box->setText("text");
    EXPECT_EQ(ListLabels(), (Texts{"B.C"}));
    EditValue(Doc(), At("B.C"), HeaderElement(std::string_view("other")));
    EXPECT_TRUE(ListLabels().empty());
    EditValue(Doc(), At("D"), HeaderElement(std::string_view("texts")));  // not a float any more
    EXPECT_EQ(ListLabels(), (Texts{"D"}));
    box->setText("b");
    Doc().DeleteEntry(At("B"));
    EXPECT_EQ(ListLabels(), (Texts{"B-X"}));
    EXPECT_EQ(Frame().FilterPane()->text(), "1 of 3 entries");

    // Esc empties the box and brings every row back.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(box->text().isEmpty());
    EXPECT_EQ(ListLabels(), (Texts{"A", "B-X", "D"}));
    EXPECT_FALSE(Frame().FilterPane()->isVisibleTo(&Frame()));
}

}  // namespace
