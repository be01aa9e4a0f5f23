#pragma once
// Taking back a saved folder-wide batch (the folder-wide edit's Save, tkvhdr
// apply, a plate sheet's import).
//
// Each such save keeps an undo record in the user's state folder: a copy of every
// batch's rewrite journal, taken after the journal is complete and before any
// file changes. A journal holds exactly what an undo needs: each file's old tail
// and the hashes of what the batch wrote. The last kKept records are kept.
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

class RewriteJournal;

class FolderUndo {
  public:
    // How many records (folder saves) are kept, of every folder together.
    static constexpr std::size_t kKept = 10;

    struct Record {
        std::string id;      // its folder's name in Place(): ordered by time
        std::string folder;  // the files' folder at the save, links resolved
        std::uint64_t device = 0;  // that folder's identity
        std::uint64_t inode = 0;
        std::int64_t time = 0;  // of the save, seconds since 1970 (UTC)
        std::string what;       // what made the save, for the user
        std::size_t files = 0;  // how many files it wrote
    };

    // Keeps the record of one save, batch by batch. The record is made with the
    // first batch, so a save that writes nothing leaves none.
    class Recorder {
      public:
        Recorder(std::string folder, std::string what);
        // Adds a batch whose journal is committed and whose files have not
        // changed yet. Throws FileError.
        void Keep(RewriteJournal& journal);

      private:
        void WriteInfo();
        std::string m_strFolder;
        Record m_record;
        std::string m_strPath;  // the record's folder, once made
        std::size_t m_nBatches = 0;
    };

    enum class Outcome {
        Restored,      // put back as it was before the save
        AsBefore,      // holds what it held before the save already
        ChangedSince,  // holds something else than the save wrote: left alone
        Missing,       // no longer in the folder
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
        std::vector<std::string> notices;  // from the recovery of an interrupted rewrite
        bool recordKept = false;           // a file failed: the undo may be run again
        std::size_t Count(Outcome outcome) const;
    };
    using Progress = std::function<void(std::size_t done, std::size_t total)>;

    // $XDG_STATE_HOME/tkv-editor/undo (default ~/.local/state/...).
    static std::string Place();
    // The records of `folder`, newest first: matched by its real path and its
    // identity, since a removed folder's identity may be given to a new one
    // elsewhere. (A folder made anew under the same name may still match an old
    // record; its undo puts back only files holding exactly what that save wrote.)
    static std::vector<Record> List(const std::string& folder);
    // Undoes the newest save of `folder`; the record goes unless a file failed.
    static Report UndoLast(const std::string& folder, const Progress& progress = {});

    // "2026-12-07 09:30 (tkvhdr apply RUN.GAIN, 96 files)", in local time.
    static std::string Describe(const Record& record);
    // What an undo did, in a few lines for a message box: how many files were put
    // back, then each file left alone or failed, by name and why.
    static std::string Summary(const Report& report);
};
