#pragma once
// Temporary folders and sample files built byte by byte for tests.

#include <filesystem>
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "format/StandardHeader.h"

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return (m_path / name).string(); }
    const std::filesystem::path& Path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};

using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const std::string& path);
void WriteAll(const std::string& path, const Bytes& bytes);
Bytes Hex(const std::string& text);  // "05 05 47 61" -> bytes

// A record with a valid magic number and version 3.0 and some named fields set.
StandardHeader SampleRecord();
// sample data + block + gap + record, with the record's Offset and Length set to
// describe the block (Offset counts the gap too) and the checksum left as given.
Bytes MakeFileBytes(const Bytes& sampleData, const Bytes& block, StandardHeader record,
                    std::size_t gap = 0);
// The regular files of a folder by name, with their bytes.
std::map<std::string, Bytes> FolderContents(const std::filesystem::path& folder);
// The Standard Header record of a file's bytes (its last 632 bytes).
StandardHeader RecordOf(const Bytes& file);
// Deterministic pseudo-random bytes.
Bytes PatternBytes(std::size_t n, std::uint32_t seed);
// Whether `text` holds `part`; on failure the message shows both, so a check
// reads EXPECT_TRUE(Contains(run.out, "...")) with no text of its own.
inline ::testing::AssertionResult Contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << part << "\" is not in:\n"
                                         << text.substr(0, 4000);
}
