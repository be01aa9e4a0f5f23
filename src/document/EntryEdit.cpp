#include "document/EntryEdit.h"

#include "model/HeaderNode.h"

HeaderNode* EntryEdit::Insert(HeaderNode& root, HeaderNode& list, std::unique_ptr<HeaderNode> entry,
                              bool folderMode) {
    // A new entry has no value from before: its saved value stays End, which
    // makes it a pending insertion in the mode.
    entry->pending = folderMode;
    return HeaderTree::Insert(list, std::move(entry), &root);
}

HeaderNode* EntryEdit::Paste(HeaderNode& root, HeaderNode& list, std::unique_ptr<HeaderNode> copy) {
    copy->pending = false;
    return HeaderTree::Insert(list, std::move(copy), &root);
}

void EntryEdit::SetValue(HeaderNode& entry, HeaderElement value, bool folderMode) {
    // Each edit in the mode keeps the value before it: a second edit keeps what
    // the first one made.
    if (folderMode) entry.savedValue = entry.value;
    entry.pending = folderMode;
    entry.value = std::move(value);
}
