#pragma once
// File-system services: attributes, copying, folder listing. What is the
// same everywhere lies in FileSystem.cpp, the system's side in posix/ or
// win32/FileSystem.cpp, chosen by the build.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class FileSystem {
  public:
    struct Attributes {
        bool readOnly = false;
        bool directory = false;
    };
    // The file's attributes; nullopt when it does not exist or cannot be queried.
    // Read-only means the owner's write permission is clear (on Windows: the
    // read-only attribute): the mode bits decide, not access(), for which root
    // may write any file.
    static std::optional<Attributes> GetAttributes(const std::string& path);
    // True when the attributes are unavailable or say read-only.
    static bool IsReadOnly(const std::string& path);
    static bool Exists(const std::string& path);
    // Gives the owner write permission. Throws FileError.
    static void ClearReadOnly(const std::string& path);
    // Copies `from` to `to` unless `to` exists; false when it exists or the copy
    // fails (a partial copy is removed). The copy keeps the source's permissions.
    static bool CopyFileNoOverwrite(const std::string& from, const std::string& to);
    // The file's name without its folder.
    static std::string DisplayName(const std::string& path);
    // The folder part of a path ("." when it has none) and the extension with its
    // dot ("" when it has none).
    static std::string FolderOf(const std::string& path);
    static std::string ExtensionOf(const std::string& path);
    // True when both paths name the same file (or, for a missing file, the same
    // path once made absolute and normal).
    static bool SameFile(const std::string& a, const std::string& b);

    // The whole of a small file (settings, configuration); nothing when it cannot
    // be read, is cut short while read, or holds more than `maxBytes`.
    static std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes);

    // Flushes a folder's entries (new and removed names) to the disk (on Windows
    // the file system keeps them itself: nothing to do).
    static void FlushFolder(const std::string& folder);
    // Flushes everything written to the file system that holds `path`.
    static void FlushFileSystem(const std::string& path);
    // Removes a file; a missing one is no error. Throws FileError.
    static void RemoveFile(const std::string& path);
    // Removes a file without a word, for clean-up after another failure.
    static void RemoveQuietly(const std::string& path) noexcept;
    // Gives `from` the name `to`, replacing a file there. Throws FileError.
    static void Rename(const std::string& from, const std::string& to);
    // Creates one folder, private to the user (mode 0700); an existing one is an
    // error. Throws FileError.
    static void MakeFolder(const std::string& folder);
    // Creates a folder and its missing parents, each private to the user (mode
    // 0700). Throws FileError.
    static void CreateFolders(const std::string& folder);
    // For the user alone: creates `folder` (mode 0700) unless it exists, then
    // checks that it is a folder, not a link, that the user owns and nobody else
    // may enter. False when it is not or cannot be made.
    static bool MakeOwnFolder(const std::string& folder);

    // The user's state folder for this program: $XDG_STATE_HOME/tkv-editor
    // (default $HOME/.local/state/tkv-editor; on Windows %LOCALAPPDATA%\tkv-editor).
    // Nothing when none is set: no shared folder such as /tmp stands in, since
    // another user could make it first.
    static std::optional<std::string> StateFolder();

    // What lies under a name, links not followed (unless asked).
    struct Look {
        enum class Kind { None, File, Folder, Link, Fifo, Socket, Device, Other };
        Kind kind = Kind::None;    // None: nothing could be looked at (`error`)
        int error = 0;             // the errno-style cause when kind is None
        std::uint64_t device = 0;  // the identity, as FileStamp has it
        std::uint64_t inode = 0;
        bool readOnly = false;
        // The user running the program owns it.
        bool mine = false;
        // What this program trusts of the files it keeps for itself (rewrite
        // journals, undo records) and of their folders: the user running it or
        // the system (root; on Windows also SYSTEM and the Administrators) owns
        // it, nobody else may write it (the mode bits, or on Windows the access
        // list), and it is a folder or a plain file with one name.
        bool trusted = false;
    };
    static Look LookAt(const std::string& path, bool followLinks = false);

    // This process's number, and whether process `id` has ended (false when that
    // cannot be told).
    static long ProcessId();
    static bool ProcessGone(long id);
    // How many files this process may hold open, after raising the limit to
    // its maximum where the system allows (0: unknown).
    static std::size_t OpenFileLimit();
    // True when nobody but the user and root can change what `folder` holds: it
    // and every folder above it are trusted, except that a folder others may
    // write with the sticky bit set (such as /tmp) is fine above an entry of the
    // user or root, which the others cannot rename or remove (on Windows: a
    // folder where others may only add entries, as C:\ lets them). A link on the way is
    // fine when the user or root owns it; where it leads is checked the same way.
    static bool IsPrivateFolder(const std::string& folder);
    // The absolute form of a path.
    static std::string Absolute(const std::string& path);
    // The path with every symbolic link resolved (the absolute form when it cannot
    // be resolved).
    static std::string RealPath(const std::string& path);
    // Every name in a folder but "." and "..", in name order. Throws FileError when
    // the folder cannot be read, also when a read fails partway.
    static std::vector<std::string> ListNames(const std::string& folder);
    // Names in a folder that start with `prefix`, in name order (none when it
    // cannot be read).
    static std::vector<std::string> NamesStartingWith(const std::string& folder,
                                                      const std::string& prefix);

    struct FolderEntry {
        std::string path;  // full path
        std::string name;
        bool readOnly = false;
        std::uint64_t device = 0;  // the file's identity: two names of one file share it
        std::uint64_t inode = 0;
        bool link = false;  // the name is a symbolic link
        // The name to open in the folder, never following a link: the entry's own,
        // or for a link the name of the file in the folder it leads to.
        std::string openName = {};
    };
    // A folder held open: a folder-wide edit opens its files relative to it, so a
    // link swapped into the folder's path meanwhile redirects nothing.
    class Folder {
      public:
        // Throws FileError when `path` is no folder that can be opened.
        explicit Folder(const std::string& path);
        ~Folder();
        Folder(const Folder&) = delete;
        Folder& operator=(const Folder&) = delete;
        // For RandomAccessFile::OpenInFolder.
        std::intptr_t Handle() const { return m_handle; }

      private:
        std::intptr_t m_handle = -1;
    };
    // A name with the extension that is no sample file to rewrite, and why.
    struct LeftOut {
        std::string name;
        std::string reason;  // "a folder", "a FIFO", "a link that leads out of the folder", ...
    };
    // The regular files of `folder` whose names end with `extension` without
    // regard to case, in name order. Folders, FIFOs and the like are left out,
    // and so are symbolic links that lead out of the folder; `leftOut` (when
    // given) gets each of them, in name order. Throws FileError when the folder
    // cannot be read.
    static std::vector<FolderEntry> ListFiles(const std::string& folder,
                                              const std::string& extension,
                                              std::vector<LeftOut>* leftOut = nullptr);
};
