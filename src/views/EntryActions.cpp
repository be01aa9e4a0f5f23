#include "views/EntryActions.h"

#include <QMenu>

#include "document/TKVEditorDoc.h"
#include "platform/qt/CommandSet.h"
#include "res/Resource.h"
#include "views/MainFrameInterface.h"

namespace EntryActions {

std::unique_ptr<QMenu> CreateEntryPopup(CommandSet& commands, bool insertEnabled) {
    // The entries' context menu has texts of its own ("C&opy", "Ca&ncel Field")
    // and shows no accelerators; its items run the shared commands.
    auto menu = std::make_unique<QMenu>();
    QMenu* insert = menu->addMenu(QObject::tr("&Insert"));
    commands.AddItem(insert, ID_INSERT_STRING, QStringLiteral("&String"));
    commands.AddItem(insert, ID_INSERT_BOOLEAN, QStringLiteral("&Boolean"));
    commands.AddItem(insert, ID_INSERT_NUMBER, QStringLiteral("&Number"));
    commands.AddItem(insert, ID_INSERT_LIST, QStringLiteral("&List"));
    // The submenu follows its first command's rule when it is enabled at all.
    insert->menuAction()->setEnabled(insertEnabled && commands.Query(ID_INSERT_STRING).IsEnabled());
    menu->addSeparator();
    commands.AddItem(menu.get(), ID_EDIT_CUT, QStringLiteral("Dele&te"));
    commands.AddItem(menu.get(), ID_EDIT_COPY, QStringLiteral("C&opy"));
    commands.AddItem(menu.get(), ID_EDIT_PASTE, QStringLiteral("&Paste"));
    menu->addSeparator();
    commands.AddItem(menu.get(), ID_EDIT_ENTRY, QStringLiteral("&Edit"));
    menu->addSeparator();
    commands.AddItem(menu.get(), ID_EDIT_ALL_SAMPLES, QStringLiteral("&All Samples in Folder"));
    commands.AddItem(menu.get(), ID_CANCEL_FIELD, QStringLiteral("Ca&ncel Field"));
    menu->addSeparator();
    commands.AddItem(menu.get(), ID_POPUP_CANCEL, QStringLiteral("&Cancel"));
    commands.Watch(menu.get());
    commands.Watch(insert);
    return menu;
}

bool RunDocumentCommand(CTKVEditorDoc& doc, MainFrameInterface* frame, int id, HeaderNode* entry) {
    switch (id) {
        case ID_VIEW_STANDARD_HEADER:
            if (frame) frame->ShowStandardHeader(true);
            return true;
        case ID_EDIT_ALL_SAMPLES:
            doc.ToggleFolderEditMode();
            return true;
        case ID_CANCEL_FIELD:
            doc.TakeBackField(entry);
            return true;
        default:
            return false;
    }
}

bool UpdateDocumentCommand(CTKVEditorDoc& doc, CCmdUI& ui) {
    switch (ui.ID()) {
        case ID_VIEW_STANDARD_HEADER:
            ui.Enable(!doc.GetPathName().empty());
            return true;
        case ID_EDIT_ALL_SAMPLES: {
            const bool enabled = !doc.IsReadOnly() && !doc.GetPathName().empty();
            ui.Enable(enabled);
            ui.SetCheck(enabled && doc.m_bFolderEditMode);
            return true;
        }
        case ID_POPUP_CANCEL:
            ui.Enable(true);
            return true;
        default:
            return false;
    }
}

}  // namespace EntryActions
