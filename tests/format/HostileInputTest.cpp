// Files that are not what they claim: each gives a clear failure, no crash, no
// hang, and no allocation beyond what the file holds.
#include <gtest/gtest.h>

#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>

#include "document/FolderEdit.h"
#include "format/HeaderFile.h"
#include "platform/FileError.h"
#include "platform/RandomAccessFile.h"
#include "support/DocumentFixture.h"

namespace {

namespace fs = std::filesystem;

// A file that another program cuts short right after the first read.
class ShrinkingFile : public RandomAccessFile {
  public:
    using RandomAccessFile::RandomAccessFile;
    std::size_t Read(void* buffer, std::size_t n) override {
        std::size_t r = RandomAccessFile::Read(buffer, n);
        if (!m_bShrunk) {
            m_bShrunk = true;
            std::filesystem::resize_file(Path(), 100);  // below the Extended Header
        }
        return r;
    }

  private:
    bool m_bShrunk = false;
};

std::string OpenFailure(const std::string& path) {
    try {
        RandomAccessFile f(path, RandomAccessFile::Mode::Read);
        RecordingMessages m;
        auto root = ExtendedHeader::MakeRoot();
        StandardHeader record;
        ReadHeaders(f, *root, record, m);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "opened";
}

TEST(HostileInputTest, ThingsThatAreNotSampleFiles) {
    TKV_POSIX_ONLY("FIFOs and symbolic link loops");
#ifndef _WIN32
    TempDir dir;
    const std::string fifo = dir.File("pipe.tkv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_NE(OpenFailure(fifo).find("It is not a regular file."), std::string::npos)
        << "and no wait for a writer";
    fs::create_directory(dir.File("folder.tkv"));
    EXPECT_NE(OpenFailure(dir.File("folder.tkv")).find("It is a folder, not a file."),
              std::string::npos);
    fs::create_symlink(dir.File("loop.tkv"), dir.File("loop.tkv"));
    EXPECT_NE(OpenFailure(dir.File("loop.tkv")).find("Too many levels of symbolic links"),
              std::string::npos);
#endif
}

TEST(HostileInputTest, AFileThatShrinksWhileItIsRead) {
    TempDir dir;
    const std::string path = dir.File("a.tkv");
    auto root = ExtendedHeader::MakeRoot();
    AddAt(*root, "Run.Gain", LongValue(5));
    WriteAll(path, SampleFile(*root, SampleRecord(), 5000, 1));
    ShrinkingFile file(path, RandomAccessFile::Mode::Read);
    RecordingMessages m;
    auto tree = ExtendedHeader::MakeRoot();
    StandardHeader record;
    try {
        ReadHeaders(file, *tree, record, m);
        FAIL() << "read a file that lost its headers";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("a.tkv"), std::string::npos) << e.what();
    }
}

TEST(HostileInputTest, LengthFieldsThatLieAllocateNothingBeyondTheFile) {
    TempDir dir;
    StandardHeader h = SampleRecord();
    Bytes content = MakeFileBytes({}, {}, h);
    auto put = [&](std::uint32_t offset, std::uint32_t length) {
        h.extendedHeaderOffset = offset;
        h.extendedHeaderLength = length;
        auto rec = h.ToBytes();
        std::copy(rec.begin(), rec.end(), content.end() - 632);
        WriteAll(dir.File("x.tkv"), content);
        return OpenFailure(dir.File("x.tkv"));
    };
    EXPECT_NE(put(0xFFFFFFFF, 0xFFFFF000).find("The Extended Header lies outside the file"),
              std::string::npos);
    EXPECT_EQ(put(0xFFFFFFFF, 0xFFFFFFFF), "TKV file is corrupt !") << "Length + 632 does not wrap";
    EXPECT_EQ(put(632, 0), "opened");
    // Item lengths and list counts far beyond the block: the decoder fails cleanly.
    const Bytes lying = Hex("05 02 41 00 03 FF FF FF FC");  // a list claiming 16 million items
    auto tree = ExtendedHeader::MakeRoot();
    EXPECT_FALSE(DecodeExtendedHeader(lying, *tree));
}

}  // namespace
