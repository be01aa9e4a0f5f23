// Reading the headers of a file and rewriting them in place; files that are not
// what they claim give a clear failure, no crash, no hang, and no allocation
// beyond what the file holds.

#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <utility>

#include "format/HeaderError.h"
#include "format/HeaderFile.h"
#include "format/XorWords.h"
#include "platform/AlreadyReported.h"
#include "platform/RandomAccessFile.h"
#include "support/DocumentFixture.h"

namespace {

const Bytes kGainBlock = Hex("05 05 47 61 69 6E 00 B1 04 05 00 00 00 FC 00 00");

std::uint32_t RecordXor(const StandardHeader& h) {
    auto b = h.ToBytes();
    return XorWords(std::span(b).first(628));
}

class HeaderFileTest : public ::testing::Test {
  protected:
    // Opens and reads `content`: "" when it reads, else the one message shown or
    // the file error's text. A failed read leaves the caller's record alone.
    std::string Open(const Bytes& content, std::unique_ptr<HeaderNode>* tree = nullptr) {
        const std::string path = dir.File("s.tkv");
        WriteAll(path, content);
        return OpenPath(path, tree);
    }
    static std::string OpenPath(const std::string& path,
                                std::unique_ptr<HeaderNode>* tree = nullptr) {
        RecordingMessages messages;
        auto root = ExtendedHeader::MakeRoot();
        StandardHeader record;
        record.sampleName[0] = 'K';
        std::string failure;
        try {
            RandomAccessFile file(path, RandomAccessFile::Mode::Read);
            ReadHeaders(file, *root, record, messages);
        } catch (const AlreadyReported& e) {
            EXPECT_EQ(messages.shown, std::vector<std::string>{e.Message()});
            failure = e.Message();
        } catch (const FileError& e) {
            failure = e.what();
        }
        EXPECT_EQ(failure.empty(), messages.shown.empty() && record.sampleName[0] != 'K');
        if (tree) *tree = std::move(root);
        return failure;
    }
    // `content` with its record's Offset and Length set as given.
    static Bytes WithBlockAt(Bytes content, std::uint32_t offset, std::uint32_t length) {
        StandardHeader r = RecordOf(content);
        r.extendedHeaderOffset = offset;
        r.extendedHeaderLength = length;
        const auto rec = r.ToBytes();
        std::copy(rec.begin(), rec.end(), content.end() - 632);
        return content;
    }

    // Rewrites the file with the tree's block; returns the new bytes.
    Bytes Rewrite(const Bytes& content, const HeaderNode& root, bool quiet = false,
                  RecordingMessages* messages = nullptr) {
        const std::string path = dir.File("w.tkv");
        WriteAll(path, content);
        RecordingMessages local;
        RandomAccessFile file(path, RandomAccessFile::Mode::ReadWrite);
        StandardHeader written = WriteHeaders(file, false, quiet, EncodeExtendedHeader(root),
                                              messages ? *messages : local);
        file.Close();
        Bytes out = ReadAll(path);
        EXPECT_EQ(written, RecordOf(out)) << "the returned record is the one written";
        return out;
    }

    TempDir dir;
};

TEST_F(HeaderFileTest, OpeningChecksTheRecordAndTheBlocksBounds) {
    auto record = [](float version, std::array<char, 4> magic = StandardHeader::kMagic) {
        StandardHeader h = SampleRecord();
        h.version = version;
        h.magicNumber = magic;
        return MakeFileBytes({}, {}, h);
    };
    const Bytes eight =
        MakeFileBytes(PatternBytes(20, 2), Hex("05 02 41 00 B1 04 05 00"), SampleRecord());
    const struct {
        const char* what;
        Bytes content;
        std::string message;  // "" when the file opens
    } cases[] = {
        {"631 bytes", Bytes(631, 0), "File is too short to be an TKV file !"},
        {"version 1.0", record(1.0f), "This TKV file is version 1 (minimum is 1.1)"},
        {"version 1.1, no block", record(1.1f), ""},
        {"a Version that is not a number", record(std::numeric_limits<float>::quiet_NaN()), ""},
        {"the Magic Number is not checked", record(3.0f, {'X', 'Y', 'Z', '!'}), ""},
        {"Length 8 needs Offset >= 640", WithBlockAt(eight, 639, 8), "TKV file is corrupt !"},
        {"in bounds, but no End item", WithBlockAt(eight, 640, 8),
         "Failed to parse Extended Header info !"},
        {"Length + 632 does not wrap", WithBlockAt(record(3), 0xFFFFFFFF, 0xFFFFFFFF),
         "TKV file is corrupt !"},
        {"before the file's start", WithBlockAt(record(3), 0xFFFFFFFF, 0xFFFFF000),
         "The Extended Header lies outside the file"},
        {"Offset and Length 0", WithBlockAt(record(3), 632, 0), ""},
    };
    for (const auto& c : cases) {
        const std::string failure = Open(c.content);
        EXPECT_TRUE(c.message.empty() ? failure.empty() : Contains(failure, c.message))
            << c.what << ": " << failure;
    }
    std::unique_ptr<HeaderNode> tree;
    EXPECT_EQ(Open(MakeFileBytes(PatternBytes(1000, 1), kGainBlock, SampleRecord(), 12), &tree),
              "");
    ASSERT_NE(HeaderTree::Find(*tree, "gain"), nullptr);
    EXPECT_EQ(HeaderTree::Find(*tree, "gain")->value.GetLong(0), 5);
    // Item lengths and list counts far beyond the block: the decoder fails cleanly.
    EXPECT_FALSE(DecodeExtendedHeader(Hex("05 02 41 00 03 FF FF FF FC"), *tree));
}

TEST_F(HeaderFileTest, ThingsThatAreNotSampleFiles) {
    TKV_POSIX_ONLY("FIFOs and symbolic link loops");
#ifndef _WIN32
    const std::string fifo = dir.File("pipe.tkv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_TRUE(Contains(OpenPath(fifo), "It is not a regular file."))
        << "and no wait for a writer";
    std::filesystem::create_directory(dir.File("folder.tkv"));
    EXPECT_TRUE(Contains(OpenPath(dir.File("folder.tkv")), "It is a folder, not a file."));
    std::filesystem::create_symlink(dir.File("loop.tkv"), dir.File("loop.tkv"));
    EXPECT_TRUE(Contains(OpenPath(dir.File("loop.tkv")), "Too many levels of symbolic links"));
#endif
}

// A file that another program cuts short right after the first read.
class ShrinkingFile : public RandomAccessFile {
  public:
    using RandomAccessFile::RandomAccessFile;
    std::size_t Read(void* buffer, std::size_t n) override {
        const std::size_t r = RandomAccessFile::Read(buffer, n);
        if (!std::exchange(m_bShrunk, true)) std::filesystem::resize_file(Path(), 100);
        return r;
    }

  private:
    bool m_bShrunk = false;
};

TEST_F(HeaderFileTest, AFileThatShrinksWhileItIsRead) {
    auto root = ExtendedHeader::MakeRoot();
    AddAt(*root, "Run.Gain", LongValue(5));
    WriteAll(dir.File("a.tkv"), SampleFile(*root, SampleRecord(), 5000, 1));
    ShrinkingFile file(dir.File("a.tkv"), RandomAccessFile::Mode::Read);
    RecordingMessages m;
    StandardHeader record;
    try {
        ReadHeaders(file, *root, record, m);
        FAIL() << "read a file that lost its headers";
    } catch (const FileError& e) {
        EXPECT_TRUE(Contains(e.what(), "a.tkv"));
    }
}

TEST_F(HeaderFileTest, OversizedLengthsNeverAllocateBeyondTheFile) {
    StandardHeader h = SampleRecord();
    Bytes content = MakeFileBytes({}, {}, h);
    h = RecordOf(content);
    // Rewriting repairs without the bounds check; the stored block cannot be read.
    h.extendedHeaderLength = 0xFFFFF000;
    h.extendedHeaderOffset = 632;
    auto rec = h.ToBytes();
    std::copy(rec.begin(), rec.end(), content.end() - 632);
    RecordingMessages rm;
    auto empty = ExtendedHeader::MakeRoot();
    EXPECT_THROW(Rewrite(content, *empty, false, &rm), AlreadyReported);
    EXPECT_EQ(rm.shown, std::vector<std::string>{"Couldn't read in TKV Extended Header !"});
    EXPECT_EQ(ReadAll(dir.File("w.tkv")), content) << "the file is unchanged";
    RecordingMessages quiet;
    EXPECT_THROW(Rewrite(content, *empty, true, &quiet), AlreadyReported);
    EXPECT_TRUE(quiet.shown.empty()) << "the quiet flag silences the reader";
}

// A rewrite keeps the sample data and every record byte it has no reason to
// change; it repairs Version and Magic Number silently, counting the repair
// into the data word that the checksum carries from rewrite to rewrite.
TEST_F(HeaderFileTest, RewriteKeepsSampleDataAndTheRecordAndCarriesTheDataWord) {
    const Bytes data = PatternBytes(5001, 3);
    StandardHeader h = SampleRecord();
    h.version = 1.0f;
    h.magicNumber = {'a', 'b', 'c', 'd'};
    const Bytes content = MakeFileBytes(data, kGainBlock, h, 20);  // with a gap behind the block
    StandardHeader expected = RecordOf(content);
    const std::uint32_t stored = expected.checksum;
    expected.version = 1.1f;
    expected.magicNumber = StandardHeader::kMagic;
    const std::uint32_t dataWord = stored ^ RecordXor(expected) ^ XorWords(kGainBlock);

    auto root = ExtendedHeader::MakeRoot();
    ASSERT_TRUE(DecodeExtendedHeader(kGainBlock, *root));
    AddAt(*root, "Name", HeaderElement(std::string_view(std::string(100, 'n'))));
    const Bytes block = EncodeExtendedHeaderBlock(*root);
    RecordingMessages messages;
    const Bytes out = Rewrite(content, *root, false, &messages);
    EXPECT_TRUE(messages.shown.empty()) << "the repair is silent";
    // The gap is dropped; nothing of the old block or record stays behind.
    Bytes expectedFile = data;
    expectedFile.insert(expectedFile.end(), block.begin(), block.end());
    expected.extendedHeaderLength = static_cast<std::uint32_t>(block.size());
    expected.extendedHeaderOffset = static_cast<std::uint32_t>(block.size() + 632);
    expected.checksum = RecordXor(expected) ^ XorWords(block) ^ dataWord;
    const auto record = expected.ToBytes();
    expectedFile.insert(expectedFile.end(), record.begin(), record.end());
    EXPECT_EQ(out, expectedFile);

    // Shrinking to no block at all: the data word survives every rewrite.
    auto empty = ExtendedHeader::MakeRoot();
    const Bytes shrunk = Rewrite(out, *empty);
    ASSERT_EQ(shrunk.size(), data.size() + 632);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), shrunk.begin()));
    const StandardHeader last = RecordOf(shrunk);
    EXPECT_EQ(last.extendedHeaderLength, 0u);
    EXPECT_EQ(last.extendedHeaderOffset, 632u);
    EXPECT_EQ(last.checksum, RecordXor(last) ^ dataWord);
}

TEST_F(HeaderFileTest, OffsetZeroAppendsBehindTheOldRecord) {
    StandardHeader h = SampleRecord();
    Bytes content = MakeFileBytes(PatternBytes(100, 5), {}, h);
    StandardHeader r = RecordOf(content);
    r.extendedHeaderOffset = 0;
    auto rec = r.ToBytes();
    std::copy(rec.begin(), rec.end(), content.end() - 632);
    auto root = ExtendedHeader::MakeRoot();
    ASSERT_TRUE(DecodeExtendedHeader(kGainBlock, *root));
    const Bytes out = Rewrite(content, *root);
    ASSERT_EQ(out.size(), content.size() + kGainBlock.size() + 632);
    EXPECT_TRUE(std::equal(content.begin(), content.end(), out.begin()));
}

TEST_F(HeaderFileTest, NewFileGetsAFreshRecord) {
    const std::string path = dir.File("new.tkv");
    RecordingMessages messages;
    RandomAccessFile file(path, RandomAccessFile::Mode::Create);
    auto root = ExtendedHeader::MakeRoot();
    ASSERT_TRUE(DecodeExtendedHeader(kGainBlock, *root));
    StandardHeader written = WriteHeaders(file, true, false, EncodeExtendedHeader(*root), messages);
    file.Close();
    const Bytes out = ReadAll(path);
    ASSERT_EQ(out.size(), kGainBlock.size() + 632);
    EXPECT_EQ(written.version, 1.1f);
    EXPECT_EQ(written.checksum, RecordXor(written) ^ XorWords(kGainBlock))
        << "a new file has data word 0";
    EXPECT_EQ(Open(out), "");
}

}  // namespace
