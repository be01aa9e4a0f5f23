// tkvhdr driven as a script drives it (in-process: same code as the binary).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sstream>

#include "format/ExampleFile.h"
#include "format/StandardHeader.h"
#include "support/TestFiles.h"
#include "support/TestSystem.h"
#include "support/ToolRunner.h"

namespace {

class TkvHdrTest : public ::testing::Test {
  protected:
    void SetUp() override {
        example = dir.File("example.tkv");
        ASSERT_EQ(Tool({"example", example}).status, 0);
    }
    TempDir dir;
    std::string example;
};

TEST_F(TkvHdrTest, DumpListsEveryEntryInWalkOrder) {
    ToolRun r = Tool({"dump", example});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty());
    std::istringstream lines(r.out);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line)) all.push_back(line);
    ASSERT_GE(all.size(), 30u);
    EXPECT_EQ(all.front(), "ANALYSIS\tList\t");
    EXPECT_NE(r.out.find("RUN.GAIN\tLong\t5\n"), std::string::npos);
    EXPECT_NE(r.out.find("RUN.LASER.ENABLED\tBoolean\tTrue,False\n"), std::string::npos);
    EXPECT_NE(r.out.find("SAMPLE.OWNER\tUnicode\tDr. Zo\u00eb M\u00fcller\n"), std::string::npos)
        << "UTF-8 out";
    EXPECT_NE(r.out.find("ANALYSIS.PEAKS.QUALITY\tByte\t63,60,62,42,63,61,49,63\n"),
              std::string::npos);
    for (std::size_t i = 1; i < all.size(); ++i) {
        // Siblings in label order: compare paths as the walk gives them.
        EXPECT_NE(all[i - 1], all[i]);
    }
}

TEST_F(TkvHdrTest, HeaderPrintsTheViewerRows) {
    ToolRun r = Tool({"header", example});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Sample Name\tA01_HBB_exon1_F\n", 0), 0u);
    EXPECT_NE(r.out.find("\nVersion\t3.00\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nRun Start Time\tSun Nov  1 08:00:00 2026 UTC\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nFlush Time\t30\n"), std::string::npos)
        << "a type 2 instrument, version 3";

    // 8-bit text is the instrument's Windows-1252, bytes 0x80 to 0x9F included.
    Bytes file = ReadAll(example);
    const std::string name = "J\x92Marsh \x96 \x80";
    std::copy(name.begin(), name.end() + 1, file.end() - StandardHeader::kSize + 24);
    WriteAll(example, file);
    r = Tool({"header", example});
    EXPECT_NE(r.out.find("\nOperator\tJ\u2019Marsh \u2013 \u20ac\n"), std::string::npos) << r.out;
}

TEST_F(TkvHdrTest, ResaveOfAFileItWroteChangesNoByte) {
    const Bytes before = ReadAll(example);
    ToolRun r = Tool({"resave", example});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAll(example), before);
}

TEST_F(TkvHdrTest, FailuresPrintTheMessageAndChangeNothing) {
    const std::string shortFile = dir.File("short.tkv");
    WriteAll(shortFile, Bytes(100, 1));
    ToolRun r = Tool({"resave", shortFile});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "File is too short to be an TKV file !\n");
    EXPECT_EQ(ReadAll(shortFile), Bytes(100, 1));

    Bytes broken = ReadAll(example);
    const std::size_t blockStart = broken.size() - 632 - 956;
    broken[blockStart] = 0xFD;  // the first label becomes an invalid End item
    const std::string brokenFile = dir.File("broken.tkv");
    WriteAll(brokenFile, broken);
    r = Tool({"dump", brokenFile});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Failed to parse Extended Header info !\n");
    r = Tool({"resave", brokenFile});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadAll(brokenFile), broken);

    r = Tool({"dump", dir.File("none.tkv")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("none.tkv: " + NoSuchFileText()), std::string::npos) << r.err;

    ::chmod(example.c_str(), 0444);
    const Bytes before = ReadAll(example);
    r = Tool({"resave", example});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot save to a read-only file !\n");
    EXPECT_EQ(ReadAll(example), before);

    r = Tool({"example", example});
    EXPECT_EQ(r.status, 1) << "an existing file is never overwritten";
    EXPECT_EQ(ReadAll(example), before);
}

TEST_F(TkvHdrTest, ArgumentsHelpAndVersion) {
    EXPECT_EQ(Tool({}).status, 2);
    EXPECT_EQ(Tool({"frobnicate", example}).status, 2);
    EXPECT_EQ(Tool({"dump"}).status, 2);
    EXPECT_EQ(Tool({"dump", example, "extra"}).status, 2);
    ToolRun v = Tool({"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "3.1\n");
    ToolRun h = Tool({"--help"});
    EXPECT_EQ(h.status, 0);
    for (const char* verb : {"dump", "header", "resave", "example"})
        EXPECT_NE(h.out.find(verb), std::string::npos) << verb;
    EXPECT_EQ(Tool({"dump", "--help"}).status, 0);
}

}  // namespace
