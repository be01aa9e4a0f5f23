#pragma once
// What identifies a file and its last change: the device and inode it lives in
// (on Windows the volume serial number and the file index),
// its size and its modification and change times. Two equal stamps of one path
// mean nobody wrote the file in between (as far as the file system can tell).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;

    bool SameFileAs(const FileStamp& other) const {
        return device == other.device && inode == other.inode;
    }
    friend bool operator==(const FileStamp&, const FileStamp&) = default;

    // The stamp of `path` (links followed); nothing when it cannot be had.
    static std::optional<FileStamp> Of(const std::string& path);
    // The stamp of an open file (RandomAccessFile::NativeHandle).
    static std::optional<FileStamp> OfHandle(std::intptr_t handle);
};
