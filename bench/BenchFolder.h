#pragma once
// A folder of example sample files for the folder benchmarks, flushed to disk so
// that the set-up's writes are nobody's cost.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "format/ExampleFile.h"
#include "format/ExtendedHeaderCodec.h"
#include "platform/FileSystem.h"
#include "platform/UserMessages.h"

using Quiet = SilentMessages;

// `count` files S1000.tkv, S1001.tkv, ... of `fileSize` bytes, each the example
// file's headers behind sample data.
inline std::filesystem::path MakeBenchFolder(const std::string& prefix, int count,
                                             std::size_t fileSize) {
    const auto folder =
        std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    auto tree = ExampleFile::MakeTree();
    const auto block = EncodeExtendedHeaderBlock(*tree);
    StandardHeader record = ExampleFile::MakeRecord();
    record.extendedHeaderLength = static_cast<std::uint32_t>(block.size());
    record.extendedHeaderOffset = static_cast<std::uint32_t>(block.size() + StandardHeader::kSize);
    const auto rec = record.ToBytes();
    std::vector<std::uint8_t> bytes(fileSize - block.size() - rec.size(), 0x5A);
    bytes.insert(bytes.end(), block.begin(), block.end());
    bytes.insert(bytes.end(), rec.begin(), rec.end());
    for (int i = 0; i < count; ++i) {
        const std::string path = (folder / ("S" + std::to_string(1000 + i) + ".tkv")).string();
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            std::abort();
        ::close(fd);
    }
    FileSystem::FlushFileSystem(folder.string());
    return folder;
}
