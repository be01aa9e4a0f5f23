#pragma once
// The one rule every change to an entry follows, whoever makes it (the editor's
// commands, tkvhdr set, a sheet): in the folder-edit mode an inserted or edited
// entry is marked pending, an edited leaf keeps the value it had before the edit
// (for Cancel Field), and an edit outside the mode clears the mark. A paste is
// never pending. The document's entry operations (CTKVEditorDoc::InsertEntry
// and the others) add the modified flag and the update hint on top of these.

#include <memory>

#include "model/HeaderElement.h"

class HeaderNode;

class EntryEdit {
  public:
    // Links a new entry into `list` (under `root`), pending in the folder mode.
    static HeaderNode* Insert(HeaderNode& root, HeaderNode& list, std::unique_ptr<HeaderNode> entry,
                              bool folderMode);
    // Links a copy into `list`; pasted entries are never pending.
    static HeaderNode* Paste(HeaderNode& root, HeaderNode& list, std::unique_ptr<HeaderNode> copy);
    // Gives a leaf its new value; in the folder mode the old one is kept.
    static void SetValue(HeaderNode& entry, HeaderElement value, bool folderMode);
};
