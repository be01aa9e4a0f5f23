#pragma once
// A random-access binary file: the one place that reads and writes files. The
// system's side lies in posix/ or win32/RandomAccessFile.cpp, chosen by the build. Every failure
// throws FileError naming the file and the cause. The I/O operations are virtual so that tests can
// wrap them (fault injection).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/FileStamp.h"

class RandomAccessFile {
  public:
    // The writing modes take an exclusive lock on the whole file, so that two
    // editors or scripts never rewrite one file at once. A file another writer
    // holds is waited for a short, bounded time (LockWait), then fails to open.
    enum class Mode {
        Read,       // existing file, reading only; others may read and write
        ReadWrite,  // existing file, reading and writing, not truncated; no sharing
        Create,     // new empty file (an existing one is emptied), reading and writing; no sharing
        CreateNew,  // new file that must not exist yet, reading and writing; no sharing
    };

    // Tests only: called before every write, truncation, flush, removal and folder
    // listing, so a
    // test can make the n-th one fail (by throwing) or stop the process there. A
    // write can also be torn: TornWriteLength says how many of its bytes reach the
    // file, then AfterTornWrite fails or stops, as a full disk or a power cut in
    // the middle of a write would.
    class FaultInjector {
      public:
        enum class Op { Write, SetLength, Flush, Remove, Create, Close, OpenForWriting, List };
        virtual ~FaultInjector() = default;
        virtual void Before(Op op, const std::string& path) = 0;
        // `position`: where the write starts in the file.
        virtual std::size_t TornWriteLength(std::uint64_t position, std::size_t n) {
            (void)position;
            return n;
        }
        virtual void AfterTornWrite(const std::string&) {}
    };
    static void SetFaultInjector(FaultInjector* injector) { s_pFaults = injector; }
    static void InjectFault(FaultInjector::Op op, const std::string& path) {
        if (s_pFaults) s_pFaults->Before(op, path);
    }

    struct Options {
        bool followLinks = true;  // false: a symbolic link fails to open
        bool waitForLock = true;  // false: a file another writer holds fails at once
    };

    // How long a writing open waits for another writer's lock (default 3000 ms),
    // and who is told once when a wait begins (the path; nobody by default).
    static void SetLockWait(int milliseconds) { s_nLockWaitMs = milliseconds; }
    static int LockWait() { return s_nLockWaitMs; }
    static void SetLockWaitNotice(std::function<void(const std::string&)> notice) {
        s_lockWaitNotice = std::move(notice);
    }

    static constexpr const char* kBusyCause = "The file is being written by another program.";

    // An open file or folder of the system: a descriptor, or a Windows handle
    // (kNoHandle: none).
    using NativeHandle = std::intptr_t;
    static constexpr NativeHandle kNoHandle = -1;

    RandomAccessFile() = default;
    RandomAccessFile(const std::string& path, Mode mode) { Open(path, mode); }
    virtual ~RandomAccessFile();
    RandomAccessFile(const RandomAccessFile&) = delete;
    RandomAccessFile& operator=(const RandomAccessFile&) = delete;

    // Opens `path`; only regular files are accepted. A writing open takes the lock
    // first and only then the file's length, so whatever the caller reads and plans
    // is what the last writer left.
    void Open(const std::string& path, Mode mode) { Open(path, mode, Options{}); }
    void Open(const std::string& path, Mode mode, const Options& options) {
        OpenInFolder(kNoHandle, path, path, mode, options);
    }
    // Opens `name` relative to the open folder `folder` (FileSystem::Folder;
    // kNoHandle: `name` is a path); `path` names the file in messages.
    void OpenInFolder(NativeHandle folder, const std::string& name, const std::string& path,
                      Mode mode, const Options& options);
    // Closes the file; a failure to close (lost write-back) throws.
    void Close();
    // Closes without throwing, for clean-up after another failure.
    void Abort() noexcept;
    bool IsOpen() const { return m_handle != kNoHandle; }
    // Where a file opened by OpenInFolder lies: its name there and the folder's
    // device and inode (nothing for a file opened by a path).
    struct InFolder {
        std::string name;
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
    };
    const std::optional<InFolder>& OpenedInFolder() const { return m_inFolder; }
    const std::string& Path() const { return m_strPath; }
    // The open file's identity and last change, asked of the system now.
    FileStamp Stamp() const;

    // The file's length as this object knows it: taken when the file is opened (a
    // writer's under its lock) and kept up to date by its own writes, byte for byte
    // as they land (also those of a write that fails halfway), and truncations. (A
    // file that another program changes meanwhile shows up as a short read, which
    // throws.)
    virtual std::uint64_t Length();
    std::uint64_t Position() const { return m_nPosition; }
    void Seek(std::uint64_t position) { m_nPosition = position; }
    // Positions the file `distance` bytes before its end; a position before the
    // start of the file throws.
    void SeekFromEnd(std::uint64_t distance);
    // Reads up to n bytes at the current position; returns the count read (short
    // only at the end of the file).
    virtual std::size_t Read(void* buffer, std::size_t n);
    // Reads exactly n bytes or throws.
    void ReadExact(void* buffer, std::size_t n);
    virtual void Write(const void* buffer, std::size_t n);
    virtual void SetLength(std::uint64_t length);
    // Forces written data to the disk.
    virtual void Flush();

  private:
    void CheckOpen() const;
    // Closes what this object holds and makes it a fresh object for `path`:
    // the first step of every open, on either system.
    void StartOpen(const std::string& path);
    // The system's side: reads at `position` (0: the end), writes at `position`
    // (at least one byte, or throws), sets the length, flushes, closes.
    std::size_t ReadAt(std::uint64_t position, void* buffer, std::size_t n);
    std::size_t WriteAt(std::uint64_t position, const void* buffer, std::size_t n);
    void ResizeTo(std::uint64_t length);
    void SyncToDisk();
    // Before a file is closed: whatever the system needs (false: it failed).
    bool SyncBeforeClose();
    // Closes the handle; false (and the system's error kept) when that fails.
    static bool Release(NativeHandle handle);
    [[noreturn]] void ThrowLastError() const;

    static inline FaultInjector* s_pFaults = nullptr;
    static inline int s_nLockWaitMs = 3000;
    static inline std::function<void(const std::string&)> s_lockWaitNotice;

    NativeHandle m_handle = kNoHandle;
    std::optional<InFolder> m_inFolder;
    std::string m_strPath;
    std::uint64_t m_nPosition = 0;
    std::uint64_t m_nLength = 0;
    bool m_bWritten = false;  // since the last flush
};
