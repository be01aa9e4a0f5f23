#pragma once
// The entry actions both panes share: the entries' context menu, and the
// commands either pane runs alike on the document (View Standard Header, All
// Samples in Folder, Cancel Field, the context menu's Cancel) with their rules.

#include <memory>

class CCmdUI;
class CommandSet;
class CTKVEditorDoc;
class HeaderNode;
class MainFrameInterface;
class QMenu;

namespace EntryActions {

// The context menu of the entries (it is built on the shared commands).
std::unique_ptr<QMenu> CreateEntryPopup(CommandSet& commands, bool insertEnabled);
// Runs one of the shared commands on `entry` (the pane's selection); `frame`
// shows the viewer (none during in-place activation). False for other commands.
bool RunDocumentCommand(CTKVEditorDoc& doc, MainFrameInterface* frame, int id, HeaderNode* entry);
// The enable rules of the shared commands; false for other commands.
bool UpdateDocumentCommand(CTKVEditorDoc& doc, CCmdUI& ui);

}  // namespace EntryActions
