#pragma once
// A running editor for GUI tests: the application object started on a file (or
// none) with scripted messages, and helpers to read both panes.

#include <QApplication>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include "app/MainFrame.h"
#include "app/TKVEditorApp.h"
#include "support/DocumentFixture.h"
#include "views/RightView.h"
#include "views/TKVEditorView.h"

using Texts = std::vector<std::string>;

class GuiTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the editor with these arguments; false when start-up ended it.
    bool Start(const Texts& args);
    // A sample file with the given tree in the test folder.
    std::string PutFile(const std::string& name, const HeaderNode& root);
    // The default tree of the tests: A, B with C, a Boolean, a string.
    static std::unique_ptr<HeaderNode> SampleTree();

    CMainFrame& Frame() { return *app->MainFrame(); }
    CTKVEditorDoc& Doc() { return *app->Document(); }
    CTKVEditorView& Tree() { return *Frame().TreeView(); }
    CRightView& List() { return *Frame().ListView(); }
    HeaderNode* At(const std::string& path) { return FindAt(*Doc().m_pRoot, path); }
    // A file's value at a path, read back as the editor reads it ("(none)" when absent).
    std::string Stored(const std::string& name, const std::string& path);

    // Texts of the tree's items in display order, indented by two blanks a level.
    Texts TreeTexts();
    // The rows the tree shows (its open items), indented the same way.
    Texts TreeRows();
    Texts ListLabels();
    std::string ListValue(const std::string& label) {
        return ListIndexOf(label).siblingAtColumn(1).data().toString().toStdString();
    }
    int ListImage(const std::string& label) {
        return List().Model().RowAt(ListIndexOf(label).row()).image;
    }
    HeaderNode* TreeSelection() { return Tree().GetEntryOfItem(Tree().GetSelectedItem()); }
    HeaderNode* ListSelection() { return List().GetSelectedEntry(); }
    // The row of a shown item ("Standard Header", "Extended Header" or an entry's
    // path; invalid for one not shown).
    QModelIndex TreeIndexOf(const std::string& path);
    QModelIndex ListIndexOf(const std::string& label);
    // Clicks at the middle of an item's text.
    void ClickTree(const std::string& path, Qt::MouseButton button = Qt::LeftButton);
    void ClickList(const std::string& label, Qt::MouseButton button = Qt::LeftButton);
    // Closes the next popup menu as soon as it shows, noting its items, or
    // chooses the item with the text `choose`.
    struct Popup {
        bool shown = false;
        std::vector<bool> enabled;
        std::vector<bool> checked;
        int withShortcut = 0;  // items (and items of submenus) that show an accelerator
    };
    std::shared_ptr<Popup> CloseNextPopup(const std::string& choose = {});
    bool Enabled(int id) { return Frame().Commands().Query(id).IsEnabled(); }
    bool Checked(int id) { return Frame().Commands().Query(id).IsChecked(); }

    static QSettings UserSettings() {
        return QSettings(QSettings::UserScope, "Corvandel", "TKV Extended Header Editor");
    }
    static QSettings SystemSettings() {
        return QSettings(QSettings::SystemScope, "Corvandel", "Tessarin");
    }

    TempDir dir;
    RecordingMessages messages;
    std::unique_ptr<CTKVEditorApp> app;
    QPointer<QTimer> popupWatch;
};
