#pragma once
// The document: the one open sample data file. It owns the file's Standard Header
// record, its Extended Header tree, a one-entry copy buffer and the state of the
// folder-wide edit, opens and saves the file, keeps the title in step with the
// modified and read-only states, and tells the views of every change through
// update hints.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "document/EditPermission.h"
#include "document/FolderEdit.h"
#include "document/FolderUndo.h"
#include "document/UpdateHint.h"
#include "format/StandardHeader.h"
#include "model/HeaderNode.h"
#include "platform/Document.h"
#include "platform/FileStamp.h"

class CTKVEditorDoc : public CDocument {
  public:
    static constexpr const char* kConfirmFolderSave =
        "All files in this folder will be modified.  Is this OK ?";
    static constexpr const char* kReadOnlyTarget = "Cannot save to a read-only file !";
    static constexpr const char* kUnknownWriteError = "Unknown error writing file !";
    static constexpr const char* kReadOnlySkipped =
        "Some files in this folder were read-only and were not modified.";
    static constexpr const char* kReadOnlyMark = " [read-only]";
    static constexpr const char* kChangedSinceOpened =
        "%s was changed by another program since it was opened.";
    static constexpr const char* kNoFolderSaveToUndo = "There is no folder save to undo in %s.";
    static constexpr const char* kConfirmUndoFolderSave =
        "Undo the folder save of %s?\n\nOnly files that still hold what that save wrote are "
        "put back; any other file is left alone.";
    static constexpr const char* kApplyPending =
        "Changes to all samples in folder have not been applied.\nDo you  want to save changes to "
        "all "
        "samples in folder ?";
    static constexpr const char* kFieldDeleted = "This field will be deleted.  Is this OK ?";
    static constexpr const char* kSaveWithoutJournal =
        "%s\n\nSave without crash protection? An interruption while saving could then "
        "damage the file.";

    CTKVEditorDoc(UserMessages& messages, const EditPermission& permission);
    ~CTKVEditorDoc() override;

    // Framework overrides.
    void DeleteContents() override;
    bool OnNewDocument() override;
    bool OnOpenDocument(const std::string& path) override;
    bool OnSaveDocument(const std::string& path) override;

    // True when the file is read-only (or gone) or editing is not allowed;
    // rebuilds the title.
    bool IsReadOnly();
    // Sets the modified flag and the title's leading "*".
    void SetModified(bool modified);

    HeaderNode* GetCopiedEntry() const { return m_pCopiedEntry.get(); }
    // Puts a deep copy of `entry` into the copy buffer.
    void SetCopiedEntry(const HeaderNode& entry);

    // The changes the editing commands make, after their dialogs: each follows
    // the folder-mode rule of EntryEdit, tells every view but `sender` and marks
    // the document modified.
    HeaderNode* InsertEntry(CView* sender, HeaderNode& list, std::unique_ptr<HeaderNode> entry);
    HeaderNode* PasteEntry(CView* sender, HeaderNode& list, std::unique_ptr<HeaderNode> copy);
    void SetEntryValue(CView* sender, HeaderNode& entry, HeaderElement value);
    // Removes the entry with everything below it.
    void DeleteEntry(HeaderNode* entry);

    // Hint senders: each updates every view but the sender with its fixed hint.
    void NotifyEntryInserted(CView* sender, HeaderNode* entry) {
        Send(sender, HINT_ENTRY_INSERTED, entry);
    }
    void NotifyShowEntry(CView* sender, HeaderNode* entry) { Send(sender, HINT_SHOW_ENTRY, entry); }
    void NotifyEditEntry(CView* sender, HeaderNode* entry) { Send(sender, HINT_EDIT_ENTRY, entry); }
    void NotifyEntryChanged(CView* sender, HeaderNode* entry) {
        Send(sender, HINT_ENTRY_CHANGED, entry);
    }
    void NotifyEntryRemoving(CView* sender, HeaderNode* entry) {
        Send(sender, HINT_ENTRY_REMOVING, entry);
    }
    void NotifyCopyEntry(CView* sender, HeaderNode* entry) { Send(sender, HINT_COPY_ENTRY, entry); }
    void NotifyDeleteEntry(CView* sender, HeaderNode* entry) {
        Send(sender, HINT_DELETE_ENTRY, entry);
    }
    void NotifyPasteEntry(CView* sender, HeaderNode* list) { Send(sender, HINT_PASTE_ENTRY, list); }
    void NotifyInsertBoolean(CView* sender, HeaderNode* list) {
        Send(sender, HINT_INSERT_BOOLEAN, list);
    }
    void NotifyInsertNumber(CView* sender, HeaderNode* list) {
        Send(sender, HINT_INSERT_NUMBER, list);
    }
    void NotifyInsertString(CView* sender, HeaderNode* list) {
        Send(sender, HINT_INSERT_STRING, list);
    }
    void NotifyInsertList(CView* sender, HeaderNode* list) { Send(sender, HINT_INSERT_LIST, list); }

    // The folder-wide edit.
    void SetFolderEditMode(bool on);
    static bool HasPendingChanges(const HeaderNode& entry);
    static bool IsPendingInsertion(const HeaderNode& entry);
    void ClearPending(HeaderNode& entry);
    void CancelField(HeaderNode* entry);
    // The two commands of the folder-wide edit, which both panes run. Turning
    // the mode off with pending changes asks whether to apply them (or drop
    // them); Cancel Field asks before a pending insertion goes, and the document
    // is no longer modified once nothing is pending.
    void ToggleFolderEditMode();
    void TakeBackField(HeaderNode* entry);
    // Writes the pending leaf entries into every sample file of the folder of
    // `path` with its extension; true when every file tried succeeded.
    bool ApplyToFolder(const std::string& path);
    bool ApplyToFile(const std::string& path);
    // Edit, Undo Last Folder Save: asks, then puts the files of this document's
    // folder back as they were before the newest folder-wide save there (see
    // FolderUndo), tells what it did and reads this file again. False when
    // nothing was undone.
    bool UndoLastFolderSave();
    // Reads this document's file again after other code wrote it (the plate
    // sheet, an undo); a file that does not open leaves the document as it was.
    bool Reload() { return !GetPathName().empty() && ReadDocument(GetPathName(), true); }
    // Saves this document's file with `edit` made again, under the file's lock, to
    // the Extended Header the file holds then, so that a writer that changed the
    // file since it was read here keeps its entries and this edit lands on top of
    // them (tkvhdr set and delete: edits of named entries). `edit` must have been
    // made to the document's tree already (a file gone meanwhile is written from
    // it). The document then holds the tree as written.
    bool SaveEdit(const std::function<void(HeaderNode& root)>& edit);

    // Told of the folder-wide edit's progress and, when it ends, of its outcome
    // (the window shows both; unset, nothing is told).
    FolderEdit::Progress m_folderProgress;
    std::function<void(const FolderEdit::Report&)> m_onFolderApplied;
    std::function<void(const FolderUndo::Report&)> m_onFolderUndone;

    std::unique_ptr<HeaderNode> m_pRoot;
    std::unique_ptr<HeaderNode> m_pCopiedEntry;
    StandardHeader m_standardHeader;
    bool m_bFolderEditMode = false;
    bool m_bSavedModified = false;
    // Decides, where no rewrite journal can be kept, whether to save without one
    // (unset: the user is asked). The command-line tool answers from --no-journal.
    std::function<bool(const NoJournalPlace&)> m_writeWithoutJournal;

  private:
    // Writes the pending changes into the folder of `path` and clears them.
    void ApplyPending(const std::string& path);
    void Send(CView* sender, UpdateHint hint, HeaderNode* entry) {
        UpdateAllViews(sender, hint, entry);
    }
    void CancelWalk(HeaderNode* entry, bool insideList);
    // Saves the tree to `path`; with `edit`, as SaveEdit does.
    bool SaveThisFile(const std::string& path,
                      const std::function<void(HeaderNode& root)>* edit = nullptr);
    // Opens `path` as OnOpenDocument does. With `keepOnFailure` the file is read
    // in full before the document lets its tree go, so a file that does not open
    // leaves the document as it was, and the views are filled as by a new open.
    bool ReadDocument(const std::string& path, bool keepOnFailure);
    // Shows what the recovery of an interrupted rewrite in the folder of `path` did.
    void RecoverFolderOf(const std::string& path);
    // Shows notices (of a recovery, of a folder save) in one message.
    void ShowNotices(const std::vector<std::string>& notices);
    RewriteOptions SaveOptions();

    // The file as it was when it was read or last written here: a Save finds out
    // from it whether another program wrote the file in between.
    std::optional<FileStamp> m_fileStamp;

    const EditPermission& m_permission;
};
