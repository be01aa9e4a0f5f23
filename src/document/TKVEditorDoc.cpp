#include "document/TKVEditorDoc.h"

#include <vector>

#include "document/FolderEdit.h"
#include "document/FolderSheet.h"
#include "format/ExtendedHeaderCodec.h"
#include "format/HeaderError.h"
#include "format/HeaderFile.h"
#include "platform/AlreadyReported.h"
#include "platform/FileError.h"
#include "platform/FileStamp.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/RewriteJournal.h"
#include "platform/UserMessages.h"

// The document starts with an empty tree rather than none, so that no caller can
// meet a missing root; no view is attached yet to hear of it.
CTKVEditorDoc::CTKVEditorDoc(UserMessages& messages, const EditPermission& permission)
    : CDocument(messages), m_pRoot(ExtendedHeader::MakeRoot()), m_permission(permission) {}

CTKVEditorDoc::~CTKVEditorDoc() = default;

void CTKVEditorDoc::DeleteContents() {
    auto root = ExtendedHeader::MakeRoot();
    m_pRoot = std::move(root);  // the old tree goes with everything below it
    UpdateAllViews(nullptr, HINT_REFRESH_ALL, nullptr);
    CDocument::DeleteContents();
}

bool CTKVEditorDoc::OnNewDocument() {
    UpdateAllViews(nullptr, HINT_NEW_DOCUMENT, nullptr);
    return CDocument::OnNewDocument();
}

void CTKVEditorDoc::RecoverFolderOf(const std::string& path) {
    ShowNotices(RewriteJournal::Recover(FileSystem::FolderOf(FileSystem::RealPath(path))));
}

void CTKVEditorDoc::ShowNotices(const std::vector<std::string>& notices) {
    if (notices.empty()) return;
    std::string text;
    for (const auto& n : notices) text += (text.empty() ? "" : "\n") + n;
    Messages().Show(text);
}

RewriteOptions CTKVEditorDoc::SaveOptions() {
    RewriteOptions options;
    options.makerReadsOldBlock = false;  // Save writes the whole tree
    options.writeWithoutJournal = [this](const NoJournalPlace& e) {
        if (m_writeWithoutJournal) return m_writeWithoutJournal(e);
        return Messages().Ask(FormatMessage(kSaveWithoutJournal, e.Cause()),
                              MessageButtons::YesNo) == MessageAnswer::Yes;
    };
    return options;
}

bool CTKVEditorDoc::OnOpenDocument(const std::string& path) {
    return ReadDocument(path, false);
}

bool CTKVEditorDoc::ReadDocument(const std::string& path, bool keepOnFailure) {
    RecoverFolderOf(path);  // a rewrite cut short is undone first
    RandomAccessFile file;
    try {
        file.Open(path, RandomAccessFile::Mode::Read);
    } catch (...) {
        ReportOpenFailure(path, std::current_exception());
        return false;
    }
    // An open lets the old tree go first (two large files are never held at
    // once); a reload keeps it until the new one is complete.
    std::unique_ptr<HeaderNode> fresh;
    if (keepOnFailure) {
        fresh = ExtendedHeader::MakeRoot();
    } else {
        DeleteContents();
        SetModifiedFlag(true);
    }
    HeaderNode& into = fresh ? *fresh : *m_pRoot;
    try {
        CWaitCursor wait(Messages());
        const FileStamp stamp = file.Stamp();
        StandardHeader record = m_standardHeader;
        ReadHeaders(file, into, record, Messages());
        file.Close();
        m_standardHeader = record;
        m_fileStamp = stamp;
    } catch (...) {
        file.Abort();
        if (!fresh) DeleteContents();
        ReportOpenFailure(path, std::current_exception());
        return false;
    }
    if (fresh) {
        DeleteContents();
        m_pRoot = std::move(fresh);
        UpdateAllViews(nullptr, HINT_REFRESH_ALL, nullptr);  // as the frame does after an open
    }
    UpdateAllViews(nullptr, HINT_NEW_DOCUMENT, nullptr);
    SetModifiedFlag(false);
    return true;
}

bool CTKVEditorDoc::OnSaveDocument(const std::string& path) {
    if (path.empty()) return false;
    if (m_bFolderEditMode) {
        if (!HasPendingChanges(*m_pRoot)) return true;
        // Field by field what the Save will change, shown with the question.
        MessageTable preview;
        try {
            preview = FolderSheet::PreviewTable(FolderSheet::PreviewPending(*m_pRoot, path));
        } catch (const FileError&) {
            // The folder cannot be read: the Save itself reports it.
        }
        switch (Messages().AskWithTable(kConfirmFolderSave, MessageButtons::YesNoCancel, preview)) {
            case MessageAnswer::Yes: {
                // This file's stamp follows the edit only when nobody else had
                // written the file before it: else the next Save still warns.
                const bool current = m_fileStamp && FileStamp::Of(path) == m_fileStamp;
                ApplyPending(path);
                if (current) m_fileStamp = FileStamp::Of(path);
                return true;
            }
            case MessageAnswer::No:
                break;  // save this document only
            default:
                return false;
        }
    }
    return SaveThisFile(path);
}

bool CTKVEditorDoc::SaveEdit(const std::function<void(HeaderNode& root)>& edit) {
    if (GetPathName().empty()) return false;
    return SaveThisFile(GetPathName(), &edit);
}

bool CTKVEditorDoc::SaveThisFile(const std::string& path,
                                 const std::function<void(HeaderNode& root)>* edit) {
    RecoverFolderOf(path);
    bool targetMissing = !FileSystem::GetAttributes(path).has_value();
    // A Save As to another name starts from a copy of the open file, so that its
    // sample data and Standard Header come along. (Paths compare as files here:
    // this file system tells letter case apart.)
    if (!GetPathName().empty() && !FileSystem::SameFile(GetPathName(), path) &&
        FileSystem::CopyFileNoOverwrite(GetPathName(), path)) {
        targetMissing = false;
        try {
            FileSystem::ClearReadOnly(path);
        } catch (const FileError&) {
            // The read-only check below refuses the copy then.
        }
    }
    // A file gone since it was read is written afresh from the tree (which holds
    // the edit already): there is nothing another writer left to keep.
    if (targetMissing) edit = nullptr;
    if (auto a = FileSystem::GetAttributes(path); a && a->readOnly) {
        Messages().Show(kReadOnlyTarget);
        return false;
    }
    RandomAccessFile file;
    try {
        file.Open(path, targetMissing ? RandomAccessFile::Mode::Create
                                      : RandomAccessFile::Mode::ReadWrite);
    } catch (...) {
        ReportInvalidFileName(path, std::current_exception());
        return false;
    }
    // Under the lock now: a file another program wrote since it was read here
    // (the same file, or another in its place) is not overwritten unasked.
    // (An edit made again to what the file holds now overwrites nothing.)
    const bool sameFile = !GetPathName().empty() && FileSystem::SameFile(GetPathName(), path);
    if (!edit && sameFile && m_fileStamp && !targetMissing) {
        FileStamp now;
        try {
            now = file.Stamp();
        } catch (...) {
            file.Abort();
            ReportSaveFailure(path, std::current_exception());
            return false;
        }
        if (now != *m_fileStamp) {
            switch (Messages().Ask(FormatMessage(kChangedSinceOpened, path),
                                   MessageButtons::ReloadSaveAnywayCancel)) {
                case MessageAnswer::SaveAnyway:
                    break;
                case MessageAnswer::Reload:
                    file.Abort();
                    ReadDocument(path, true);
                    return false;
                default:
                    file.Abort();
                    return false;
            }
        }
    }
    FileStamp written;
    std::unique_ptr<HeaderNode> replanned;  // with `edit`: the tree as written
    try {
        CWaitCursor wait(Messages());
        RewriteOptions options = SaveOptions();
        BlockMaker maker = EncodeExtendedHeader(*m_pRoot);
        if (edit) {
            // Planned from the block the file holds under the lock.
            options.makerReadsOldBlock = true;
            maker = [&](std::span<const std::uint8_t> old, const StandardHeader& record) {
                replanned = ExtendedHeader::MakeRoot();
                if (!old.empty() && !DecodeExtendedHeader(old, *replanned))
                    throw HeaderError(HeaderMessages::kCannotParse);
                (*edit)(*replanned);
                return EncodeExtendedHeader(*replanned)(old, record);
            };
        }
        // The rewrite flushes the file itself (before its journal goes).
        m_standardHeader = WriteHeaders(file, targetMissing, false, maker, Messages(), options);
        written = file.Stamp();
    } catch (const std::bad_alloc&) {
        file.Abort();
        Messages().Show(kUnknownWriteError);
        return false;
    } catch (...) {
        file.Abort();
        ReportSaveFailure(path, std::current_exception());
        return false;
    }
    m_fileStamp = written;
    if (replanned) {
        DeleteContents();
        m_pRoot = std::move(replanned);
        UpdateAllViews(nullptr, HINT_REFRESH_ALL, nullptr);
    }
    try {
        file.Close();
    } catch (const FileError& e) {
        // The new bytes were flushed before the journal went: the file holds them.
        Messages().Show(path + " was saved, but closing it reported an error: " + e.Cause());
    }
    SetModifiedFlag(false);
    return true;
}

bool CTKVEditorDoc::IsReadOnly() {
    if (!GetPathName().empty()) {
        std::string title = IsModified() ? "*" : "";
        title += FileSystem::DisplayName(GetPathName());
        if (FileSystem::IsReadOnly(GetPathName())) {
            SetTitle(title + kReadOnlyMark);
            return true;
        }
        SetTitle(title);
    }
    return !m_permission.IsEditAllowed();
}

void CTKVEditorDoc::SetModified(bool modified) {
    std::string title = GetTitle();
    const bool marked = !title.empty() && title.front() == '*';
    if (modified && !marked) title.insert(title.begin(), '*');
    if (!modified && marked) title.erase(title.begin());
    SetTitle(title);
    SetModifiedFlag(modified);
}

bool CTKVEditorDoc::ApplyToFolder(const std::string& path) {
    RewriteOptions options;
    options.undoWhat = "Folder-wide Save from " + FileSystem::DisplayName(path);
    const FolderEdit::Report report =
        FolderEdit::ApplyToFolder(*m_pRoot, path, Messages(), false, m_folderProgress, options);
    ShowNotices(report.notices);
    // The document keeps the record of the file it was saved to (not that of the
    // last file processed), so the Standard Header viewer shows its own file.
    for (const auto& f : report.files)
        if (f.record && FileSystem::SameFile(f.path, path)) m_standardHeader = *f.record;
    if (report.AnySkipped()) Messages().Show(kReadOnlySkipped);
    if (m_onFolderApplied) m_onFolderApplied(report);
    return report.AllSucceeded();
}

bool CTKVEditorDoc::ApplyToFile(const std::string& path) {
    return FolderEdit::ApplyToFile(*m_pRoot, path, Messages()).outcome !=
           FolderEdit::Outcome::Failed;
}

bool CTKVEditorDoc::UndoLastFolderSave() {
    const std::string path = GetPathName();
    if (path.empty()) return false;
    const std::string folder = FileSystem::FolderOf(FileSystem::RealPath(path));
    std::vector<std::string> notices;  // records not trusted, named
    FolderUndo::Report report;
    try {
        const auto records = FolderUndo::List(folder, &notices);
        if (records.empty()) {
            ShowNotices(notices);
            Messages().Show(FormatMessage(kNoFolderSaveToUndo, folder));
            return false;
        }
        if (Messages().Ask(
                FormatMessage(kConfirmUndoFolderSave, FolderUndo::Describe(records.front())),
                MessageButtons::YesNo) != MessageAnswer::Yes)
            return false;
        CWaitCursor wait(Messages());
        // A record that lacks files puts back the others only when the user says so.
        report = FolderUndo::UndoLast(folder, m_folderProgress, [this](const auto& record) {
            const std::string question =
                record.Kept() ? "Put back the other " + std::to_string(record.Kept()) + " files?"
                              : "Nothing of this save can be put back. Let its record go?";
            return Messages().Ask(FolderUndo::DescribeLacking(record, 20) + "\n\n" + question,
                                  MessageButtons::YesNo) == MessageAnswer::Yes;
        });
    } catch (const FileError& e) {
        Messages().Show(e.what());
        return false;
    }
    ShowNotices(report.notices);
    if (m_onFolderUndone) m_onFolderUndone(report);
    if (!report.record) {  // another program's undo came first
        Messages().Show(FormatMessage(kNoFolderSaveToUndo, folder));
        return false;
    }
    if (report.declined) return false;
    Messages().Show(FolderUndo::Summary(report));
    Reload();  // this file may be one of those put back: the document shows it as it is now
    return report.Count(FolderUndo::Outcome::Restored) > 0;
}
