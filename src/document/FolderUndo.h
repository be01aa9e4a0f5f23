#pragma once
// Taking back a saved folder-wide batch (the folder-wide edit's Save, tkvhdr
// apply, a plate sheet's import).
//
// Each such save keeps an undo record in the user's private state folder: a copy
// of every batch's rewrite journal, taken after the journal is complete and
// before any file changes. A journal holds exactly what an undo needs: each
// file's old tail and the hashes of what the batch wrote. The last kKept records
// are kept. A record is trusted as a rewrite journal is: the user (or root) owns
// it, nobody else may write it or the folders it lies in, and it is complete and
// well formed; any other is named and left alone, never undone. Without a
// private state folder no record is kept (the save goes ahead and says so).
//
// A batch whose copy failed is named in the record with its files: such a record
// puts back the other files only when the user confirms.
//
// An undo puts a file back only when it still holds exactly what the batch wrote
// there; a file changed since (by this program or another), replaced, cut or
// gone is left alone and named. The undo itself runs as a rewrite: each batch's
// copy becomes the folder's journal again while the files are put back, so an
// undo cut short is completed by the next open (a torn file goes back to its
// old bytes) and may simply be run again.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileError.h"

class RewriteJournal;

class FolderUndo {
  public:
    // How many records (folder saves) are kept, of every folder together.
    static constexpr std::size_t kKept = 10;

    struct Batch {
        std::size_t files = 0;  // how many files it wrote
        bool kept = false;      // its copy of the journal is in the record
        // Its files' names, recorded before its copy is taken and dropped once the
        // copy holds them: what an undo names when the copy is missing.
        std::vector<std::string> names;
    };
    struct Record {
        std::string id;            // its folder's name in Place()
        std::string folder;        // the files' folder at the save, links resolved
        std::uint64_t device = 0;  // that folder's identity
        std::uint64_t inode = 0;
        std::int64_t time = 0;    // of the save, seconds since 1970 (UTC)...
        std::uint32_t nanos = 0;  // ...and nanoseconds: records rank by these
        std::string what;         // what made the save, for the user
        std::size_t files = 0;    // how many files it wrote
        std::vector<Batch> batches;

        // The files it cannot put back (their batch's copy is missing), by name,
        // or as "N files of batch K" where the names were not recorded.
        std::vector<std::string> Lacking() const;
        // How many files it can put back.
        std::size_t Kept() const;
    };

    // Keeps the record of one save, batch by batch. The record is made with the
    // first batch, so a save that writes nothing leaves none.
    class Recorder {
      public:
        Recorder(std::string folder, std::string what);
        // Adds a batch whose journal is committed and whose files have not
        // changed yet: the record first names the batch's files, then takes a
        // copy of its journal. Throws FileError. When only the copy failed, the
        // record still names the batch's files, and its other batches can be
        // undone; when the record could not even name them, it is given up
        // whole (the save cannot be undone) and every later batch fails alike.
        void Keep(RewriteJournal& journal);

      private:
        void Start();
        void WriteInfo();
        void GiveUp() noexcept;
        std::string m_strFolder;
        Record m_record;
        std::string m_strPath;               // the record's folder, once made
        std::optional<FileError> m_failure;  // why the record was given up
    };

    enum class Outcome {
        Restored,      // put back as it was before the save
        AsBefore,      // holds what it held before the save already
        ChangedSince,  // holds something else than the save wrote: left alone
        Missing,       // no longer in the folder
        NotRecorded,   // the record lacks what it held before the save: left alone
        Failed,        // could not be put back now (reason): the record stays
    };
    struct FileResult {
        std::string name;
        Outcome outcome = Outcome::Failed;
        std::string reason;
    };
    struct Report {
        std::optional<Record> record;  // the save undone; none: there was none
        std::vector<FileResult> files;
        // From the recovery of an interrupted rewrite, and the records not trusted.
        std::vector<std::string> notices;
        bool recordKept = false;  // a file failed: the undo may be run again
        bool declined = false;    // the record lacks files and the rest was not to go back
        std::size_t Count(Outcome outcome) const;
        // Every file of the save was put back (or held its old bytes already).
        bool Complete() const;
    };
    using Progress = std::function<void(std::size_t done, std::size_t total)>;
    // Asked before a record that lacks files puts back the others (Lacking()).
    using ConfirmPartial = std::function<bool(const Record& record)>;

    // $XDG_STATE_HOME/tkv-editor/undo (default ~/.local/state/...); empty when
    // there is no state folder.
    static std::string Place();
    // The trusted records of `folder`, newest first by the time they hold: matched
    // by its real path and its identity, since a removed folder's identity may be
    // given to a new one elsewhere. (A folder made anew under the same name may
    // still match an old record; its undo puts back only files holding exactly
    // what that save wrote.) Every record not trusted, of any folder, is named in
    // `notices`. Throws FileError when the records cannot be listed.
    static std::vector<Record> List(const std::string& folder,
                                    std::vector<std::string>* notices = nullptr);
    // Undoes the newest save of `folder`; the record goes once each of its files
    // was put back or named. A record that lacks files puts back the others only
    // when `confirmPartial` says so (otherwise nothing changes: declined). Throws
    // FileError when the records cannot be listed.
    static Report UndoLast(const std::string& folder, const Progress& progress = {},
                           const ConfirmPartial& confirmPartial = {});

    // "2026-12-07 09:30 (tkvhdr apply RUN.GAIN, 96 files)", in local time; "16 of
    // 20 files" for a record that lacks files.
    static std::string Describe(const Record& record);
    // What a record lacks, for a refusal or a question: the files it cannot put
    // back, at most `named` of them by name.
    static std::string DescribeLacking(const Record& record, std::size_t named);
    // What an undo did, in a few lines for a message box: how many files were put
    // back, then each file left alone or failed, by name and why.
    static std::string Summary(const Report& report);
};
