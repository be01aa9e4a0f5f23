// The document's entry operations and the folder-wide edit's bookkeeping: every
// change to an entry follows EntryEdit's rule here, then the views are told and
// the document is marked modified, once for all callers.

#include <vector>

#include "document/EntryEdit.h"
#include "document/TKVEditorDoc.h"
#include "platform/UserMessages.h"

HeaderNode* CTKVEditorDoc::InsertEntry(CView* sender, HeaderNode& list,
                                       std::unique_ptr<HeaderNode> entry) {
    HeaderNode* added = EntryEdit::Insert(*m_pRoot, list, std::move(entry), m_bFolderEditMode);
    NotifyEntryInserted(sender, added);
    SetModified(true);
    return added;
}

HeaderNode* CTKVEditorDoc::PasteEntry(CView* sender, HeaderNode& list,
                                      std::unique_ptr<HeaderNode> copy) {
    HeaderNode* added = EntryEdit::Paste(*m_pRoot, list, std::move(copy));
    NotifyEntryInserted(sender, added);
    SetModified(true);
    return added;
}

void CTKVEditorDoc::SetEntryValue(CView* sender, HeaderNode& entry, HeaderElement value) {
    EntryEdit::SetValue(entry, std::move(value), m_bFolderEditMode);
    NotifyEntryChanged(sender, &entry);
    SetModified(true);
}

void CTKVEditorDoc::SetCopiedEntry(const HeaderNode& entry) {
    m_pCopiedEntry = entry.DeepCopy();
}

void CTKVEditorDoc::DeleteEntry(HeaderNode* entry) {
    HeaderNode& holder = HeaderTree::ParentList(*m_pRoot, *entry);
    NotifyEntryRemoving(nullptr, entry);
    auto it = holder.children.find(entry->label);
    if (it != holder.children.end() && it->second.get() == entry) holder.children.erase(it);
    SetModified(true);
}

// ------------------------------------------------------------ folder-wide edit

void CTKVEditorDoc::SetFolderEditMode(bool on) {
    if (on == m_bFolderEditMode) return;
    m_bFolderEditMode = on;
    UpdateAllViews(nullptr, HINT_FOLDER_MODE_CHANGED, nullptr);
    if (on) {
        m_bSavedModified = IsModified();
        SetModifiedFlag(false);
    } else {
        SetModified(m_bSavedModified);
    }
}

bool CTKVEditorDoc::HasPendingChanges(const HeaderNode& entry) {
    std::vector<const HeaderNode*> work{&entry};
    while (!work.empty()) {
        const HeaderNode* n = work.back();
        work.pop_back();
        if (n->pending) return true;
        for (const auto& [key, child] : n->children)
            if (child) work.push_back(child.get());
    }
    return false;
}

bool CTKVEditorDoc::IsPendingInsertion(const HeaderNode& entry) {
    return entry.pending &&
           (entry.isList || entry.savedValue.GetType() == ToCode(ElementType::End));
}

void CTKVEditorDoc::ClearPending(HeaderNode& entry) {
    // Pre-order, children in label order, without recursion.
    std::vector<HeaderNode*> work{&entry};
    while (!work.empty()) {
        HeaderNode* n = work.back();
        work.pop_back();
        if (n->pending) {
            n->pending = false;
            UpdateAllViews(nullptr, HINT_ENTRY_CHANGED, n);
        }
        for (auto it = n->children.rbegin(); it != n->children.rend(); ++it)
            if (it->second) work.push_back(it->second.get());
    }
}

void CTKVEditorDoc::CancelField(HeaderNode* entry) {
    CancelWalk(entry, false);
}

void CTKVEditorDoc::CancelWalk(HeaderNode* entry, bool insideList) {
    if (entry->pending) {
        if (!entry->isList && entry->savedValue.GetType() != ToCode(ElementType::End)) {
            entry->value = entry->savedValue;
            entry->pending = false;
            UpdateAllViews(nullptr, HINT_ENTRY_CHANGED, entry);
            SetModified(true);
            return;
        }
        if (!insideList) {
            DeleteEntry(entry);
        } else {
            // Inside a list's walk the place stays, empty, for the list to remove.
            UpdateAllViews(nullptr, HINT_ENTRY_REMOVING, entry);
            HeaderNode& holder = HeaderTree::ParentList(*m_pRoot, *entry);
            auto it = holder.children.find(entry->label);
            if (it != holder.children.end() && it->second.get() == entry) it->second.reset();
        }
        SetModified(true);
        return;
    }
    if (!entry->isList) return;
    for (auto& [key, child] : entry->children)
        if (child) CancelWalk(child.get(), true);
    HeaderTree::EraseEmptyEntries(*entry);
}

void CTKVEditorDoc::ApplyPending(const std::string& path) {
    ApplyToFolder(path);  // its result is not used: failures were left out quietly
    ClearPending(*m_pRoot);
    SetModified(false);
}

void CTKVEditorDoc::ToggleFolderEditMode() {
    if (m_bFolderEditMode && HasPendingChanges(*m_pRoot)) {
        switch (Messages().Ask(kApplyPending, MessageButtons::YesNoCancel)) {
            case MessageAnswer::Yes:
                ApplyPending(GetPathName());
                SetFolderEditMode(false);
                return;
            case MessageAnswer::No:
                CancelField(m_pRoot.get());
                SetFolderEditMode(false);
                return;
            default:
                return;  // the mode stays on
        }
    }
    SetFolderEditMode(!m_bFolderEditMode);
}

void CTKVEditorDoc::TakeBackField(HeaderNode* entry) {
    if (!entry) return;
    // A pending insertion goes from the tree: only when the user agrees.
    if (IsPendingInsertion(*entry) &&
        Messages().Ask(kFieldDeleted, MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    CancelField(entry);
    if (!HasPendingChanges(*m_pRoot)) SetModified(false);
}
