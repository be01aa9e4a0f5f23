// tkvhdr driven as a script drives it (in-process: same code as the binary).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "cli/CliSupport.h"
#include "format/StandardHeader.h"

namespace {

class TkvHdrTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(Tool({"example", example}).status, 0); }
    TempDir dir;
    std::string example = dir.File("example.tkv");
};

TEST_F(TkvHdrTest, DumpListsEveryEntryInWalkOrder) {
    const ToolRun r = Exits(0, {"dump", example});
    EXPECT_TRUE(r.err.empty());
    EXPECT_EQ(r.out.rfind("ANALYSIS\tList\t\n", 0), 0u) << r.out;
    EXPECT_TRUE(Contains(r.out, "\nRUN.GAIN\tLong\t5\n"));
    EXPECT_TRUE(Contains(r.out, "\nSAMPLE.OWNER\tUnicode\tDr. Zo\u00eb M\u00fcller\n"));  // UTF-8
    EXPECT_LT(r.out.find("\nRUN.GAIN\t"), r.out.find("\nRUN.LASER\t")) << "siblings in label order";
}

TEST_F(TkvHdrTest, HeaderPrintsTheViewerRows) {
    ToolRun r = Exits(0, {"header", example});
    // Row by row as the viewer shows them (which rows, and their forms, are the
    // rows' own test's).
    EXPECT_EQ(r.out.rfind("Sample Name\tA01_HBB_exon1_F\n", 0), 0u);
    EXPECT_TRUE(Contains(r.out, "\nRun Start Time\tSun Nov  1 08:00:00 2026 UTC\n"));

    // 8-bit text is the instrument's Windows-1252, bytes 0x80 to 0x9F included.
    Bytes file = ReadAll(example);
    const std::string name = "J\x92Marsh \x96 \x80";
    std::copy(name.begin(), name.end() + 1, file.end() - StandardHeader::kSize + 24);
    WriteAll(example, file);
    EXPECT_TRUE(
        Contains(Tool({"header", example}).out, "\nOperator\tJ\u2019Marsh \u2013 \u20ac\n"));
}

TEST_F(TkvHdrTest, ResaveOfAFileItWroteChangesNoByte) {
    const Bytes before = ReadAll(example);
    ASSERT_EQ(Tool({"resave", example}).status, 0);
    EXPECT_EQ(ReadAll(example), before);
}

TEST_F(TkvHdrTest, FailuresPrintTheMessageAndChangeNothing) {
    // Runs a command that must fail with `message` and leave `file` as it was.
    auto fails = [](std::vector<std::string> args, const std::string& file,
                    const std::string& message) {
        SCOPED_TRACE(args[0] + " " + file);
        const Bytes before = ReadAll(file);
        const ToolRun r = Exits(1, std::move(args));
        EXPECT_TRUE(Contains(r.err, message));
        EXPECT_EQ(ReadAll(file), before);
    };
    const std::string shortFile = dir.File("short.tkv"), broken = dir.File("broken.tkv");
    WriteAll(shortFile, Bytes(100, 1));
    fails({"resave", shortFile}, shortFile, "File is too short to be an TKV file !\n");
    Bytes bytes = ReadAll(example);
    bytes[bytes.size() - 632 - 956] = 0xFD;  // the first label becomes an invalid End item
    WriteAll(broken, bytes);
    fails({"dump", broken}, broken, "Failed to parse Extended Header info !\n");
    fails({"resave", broken}, broken, "Failed to parse Extended Header info !\n");
    fails({"dump", dir.File("none.tkv")}, example, "none.tkv: " + NoSuchFileText());
    fails({"example", example}, example, "");  // an existing file is never overwritten
    ::chmod(example.c_str(), 0444);
    fails({"resave", example}, example, "Cannot save to a read-only file !\n");
}

TEST_F(TkvHdrTest, BadArgumentsAreUsageErrors) {
    for (std::vector<std::string> args :
         {std::vector<std::string>{"frobnicate", example}, {"dump"}, {"dump", example, "extra"}})
        EXPECT_EQ(Tool(args).status, 2) << args[0];
    EXPECT_EQ(Tool({"dump", "--help"}).status, 0);
}

}  // namespace
