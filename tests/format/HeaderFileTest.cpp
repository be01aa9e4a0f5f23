// Reading the headers of a file and rewriting them in place.
#include <gtest/gtest.h>

#include "format/ExtendedHeaderCodec.h"
#include "format/HeaderError.h"
#include "format/HeaderFile.h"
#include "format/XorWords.h"
#include "platform/AlreadyReported.h"
#include "platform/FileError.h"
#include "platform/RandomAccessFile.h"
#include "support/RecordingMessages.h"
#include "support/TestFiles.h"
#include "support/TestSystem.h"

namespace {

const Bytes kGainBlock = Hex("05 05 47 61 69 6E 00 B1 04 05 00 00 00 FC 00 00");

std::uint32_t RecordXor(const StandardHeader& h) {
    auto b = h.ToBytes();
    return XorWords(std::span(b).first(628));
}

class HeaderFileTest : public ::testing::Test {
  protected:
    // Opens and reads; returns the messages shown; `ok` tells whether it read.
    std::vector<std::string> Read(const Bytes& content, bool& ok,
                                  std::unique_ptr<HeaderNode>* tree = nullptr) {
        const std::string path = dir.File("s.tkv");
        WriteAll(path, content);
        RecordingMessages messages;
        RandomAccessFile file(path, RandomAccessFile::Mode::Read);
        auto root = ExtendedHeader::MakeRoot();
        StandardHeader record;
        record.sampleName[0] = 'K';  // must survive a failed read
        ok = true;
        try {
            ReadHeaders(file, *root, record, messages);
        } catch (const AlreadyReported& e) {
            ok = false;
            EXPECT_EQ(messages.shown.size(), 1u);
            if (!messages.shown.empty()) {
                EXPECT_EQ(e.Message(), messages.shown.back());
            }
            EXPECT_EQ(record.sampleName[0], 'K') << "a failed read leaves the record alone";
        }
        if (tree) *tree = std::move(root);
        return messages.shown;
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

TEST_F(HeaderFileTest, OpensAnEmptyAndAFullFile) {
    bool ok = false;
    StandardHeader h = SampleRecord();
    h.version = 1.1f;
    std::unique_ptr<HeaderNode> tree;
    EXPECT_TRUE(Read(MakeFileBytes({}, {}, h), ok, &tree).empty());
    EXPECT_TRUE(ok);
    EXPECT_TRUE(tree->children.empty());

    Read(MakeFileBytes(PatternBytes(1000, 1), kGainBlock, SampleRecord(), 12), ok, &tree);
    ASSERT_TRUE(ok);
    HeaderNode* gain = HeaderTree::Find(*tree, "gain");
    ASSERT_NE(gain, nullptr);
    EXPECT_EQ(gain->value.GetLong(0), 5);
}

TEST_F(HeaderFileTest, RecordChecksAndTheirMessages) {
    bool ok = true;
    EXPECT_EQ(Read(Bytes(631, 0), ok),
              std::vector<std::string>{"File is too short to be an TKV file !"});
    EXPECT_FALSE(ok);

    StandardHeader old = SampleRecord();
    old.version = 1.0f;
    EXPECT_EQ(Read(MakeFileBytes({}, {}, old), ok),
              std::vector<std::string>{"This TKV file is version 1 (minimum is 1.1)"});
    EXPECT_FALSE(ok);

    StandardHeader nan = SampleRecord();
    nan.version = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(Read(MakeFileBytes({}, {}, nan), ok).empty())
        << "a Version that is not a number passes";
    EXPECT_TRUE(ok);

    StandardHeader badMagic = SampleRecord();
    badMagic.magicNumber = {'X', 'Y', 'Z', '!'};
    Read(MakeFileBytes({}, kGainBlock, badMagic), ok);
    EXPECT_TRUE(ok) << "the Magic Number is not checked on opening";

    // Length 8 needs Offset >= 640.
    StandardHeader bounds = SampleRecord();
    Bytes content = MakeFileBytes(PatternBytes(20, 2), Hex("05 02 41 00 B1 04 05 00"), bounds);
    bounds = RecordOf(content);
    bounds.extendedHeaderOffset = 639;
    auto rec = bounds.ToBytes();
    std::copy(rec.begin(), rec.end(), content.end() - 632);
    EXPECT_EQ(Read(content, ok), std::vector<std::string>{"TKV file is corrupt !"});
    bounds.extendedHeaderOffset = 640;
    rec = bounds.ToBytes();
    std::copy(rec.begin(), rec.end(), content.end() - 632);
    EXPECT_EQ(Read(content, ok), std::vector<std::string>{"Failed to parse Extended Header info !"})
        << "accepted by the bounds check; the 8 bytes hold no End item";
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

TEST_F(HeaderFileTest, RewriteKeepsSampleDataAndUnnamedBytesAndCarriesTheDataWord) {
    const Bytes data = PatternBytes(5001, 3);
    StandardHeader h = SampleRecord();
    Bytes content = MakeFileBytes(data, kGainBlock, h, 20);  // with a gap behind the block
    const StandardHeader before = RecordOf(content);
    const std::uint32_t dataWord = before.checksum ^ RecordXor(before) ^ XorWords(kGainBlock);

    auto root = ExtendedHeader::MakeRoot();
    ASSERT_TRUE(DecodeExtendedHeader(kGainBlock, *root));
    auto name = std::make_unique<HeaderNode>("Name", false);
    name->value = HeaderElement(std::string_view(std::string(100, 'n')));
    HeaderTree::Insert(*root, std::move(name), root.get());
    const Bytes block = EncodeExtendedHeaderBlock(*root);

    const Bytes out = Rewrite(content, *root);
    ASSERT_EQ(out.size(), data.size() + block.size() + 632) << "the gap is dropped, the file grows";
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin())) << "sample data untouched";
    EXPECT_TRUE(std::equal(block.begin(), block.end(),
                           out.begin() + static_cast<std::ptrdiff_t>(data.size())));
    const StandardHeader after = RecordOf(out);
    EXPECT_EQ(after.extendedHeaderLength, block.size());
    EXPECT_EQ(after.extendedHeaderOffset, block.size() + 632);
    EXPECT_EQ(after.checksum, RecordXor(after) ^ XorWords(block) ^ dataWord);
    EXPECT_EQ(after.unnamed470, before.unnamed470);
    EXPECT_EQ(after.unnamed520, before.unnamed520);
    EXPECT_EQ(after.unnamed627, before.unnamed627);
    EXPECT_EQ(StandardHeader::Text(after.sampleName), "B07_test");

    // Shrinking: nothing of the old block or record stays behind the new record.
    auto empty = ExtendedHeader::MakeRoot();
    const Bytes shrunk = Rewrite(out, *empty);
    ASSERT_EQ(shrunk.size(), data.size() + 632);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), shrunk.begin()));
    const StandardHeader last = RecordOf(shrunk);
    EXPECT_EQ(last.extendedHeaderLength, 0u);
    EXPECT_EQ(last.extendedHeaderOffset, 632u);
    EXPECT_EQ(last.checksum, RecordXor(last) ^ dataWord) << "the data word survives every rewrite";
}

TEST_F(HeaderFileTest, RewriteRepairsVersionAndMagicAndCountsThemIntoTheDataWord) {
    StandardHeader h = SampleRecord();
    h.version = 1.0f;
    h.magicNumber = {'a', 'b', 'c', 'd'};
    Bytes content = MakeFileBytes(PatternBytes(64, 4), {}, h);
    const StandardHeader stored = RecordOf(content);
    StandardHeader repaired = stored;
    repaired.version = 1.1f;
    repaired.magicNumber = StandardHeader::kMagic;
    const std::uint32_t dataWord = stored.checksum ^ RecordXor(repaired);

    auto root = ExtendedHeader::MakeRoot();
    RecordingMessages messages;
    const Bytes out = Rewrite(content, *root, false, &messages);
    EXPECT_TRUE(messages.shown.empty()) << "the repair is silent";
    const StandardHeader after = RecordOf(out);
    EXPECT_EQ(after.version, 1.1f);
    EXPECT_TRUE(after.HasMagic());
    EXPECT_EQ(after.checksum, RecordXor(after) ^ dataWord);
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
    bool ok = false;
    std::unique_ptr<HeaderNode> back;
    Read(out, ok, &back);
    EXPECT_TRUE(ok);
}

}  // namespace
