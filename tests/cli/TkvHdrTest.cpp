// tkvhdr driven as a script drives it (in-process: same code as the binary).

#include <sys/stat.h>

#include "cli/CliSupport.h"

namespace {

class TkvHdrTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(Tool({"example", example}).status, 0); }
    TempDir dir;
    std::string example = dir.File("example.tkv");
};

TEST_F(TkvHdrTest, DumpAndHeaderPrintWhatTheViewsShow) {
    const ToolRun r = Exits(0, {"dump", example});
    EXPECT_TRUE(r.err.empty());
    EXPECT_EQ(r.out.rfind("ANALYSIS\tList\t\n", 0), 0u) << r.out;
    EXPECT_TRUE(Contains(r.out, "\nSAMPLE.OWNER\tUnicode\tDr. Zo\u00eb M\u00fcller\n"));  // UTF-8
    EXPECT_LT(r.out.find("\nRUN.GAIN\t"), r.out.find("\nRUN.LASER\t")) << "siblings in label order";

    // The header's rows as the viewer shows them (which rows, and their forms,
    // are the rows' own test's): 8-bit text is the instrument's Windows-1252,
    // bytes 0x80 to 0x9F included.
    Bytes file = ReadAll(example);
    const std::string name = "J\x92Marsh \x96 \x80";
    std::copy(name.begin(), name.end() + 1, file.end() - StandardHeader::kSize + 24);
    WriteAll(example, file);
    EXPECT_TRUE(
        Contains(Tool({"header", example}).out, "\nOperator\tJ\u2019Marsh \u2013 \u20ac\n"));
}

TEST_F(TkvHdrTest, ResaveChangesNoByteAndFailuresPrintTheMessageAndChangeNothing) {
    const Bytes before = ReadAll(example);
    Exits(0, {"resave", example});
    EXPECT_EQ(ReadAll(example), before);
    // A command that must end with `status`, say `message` and leave `file` as it was.
    auto fails = [](int status, std::vector<std::string> args, const std::string& file,
                    const std::string& message) {
        EXPECT_TRUE(Contains(FailsUnchanged(file, std::move(args), status), message));
    };
    const std::string shortFile = dir.File("short.tkv"), broken = dir.File("broken.tkv");
    WriteAll(shortFile, Bytes(100, 1));
    fails(1, {"resave", shortFile}, shortFile, "File is too short to be an TKV file !\n");
    Bytes bytes = ReadAll(example);
    bytes[bytes.size() - 632 - 956] = 0xFD;  // the first label becomes an invalid End item
    WriteAll(broken, bytes);
    fails(1, {"resave", broken}, broken, "Failed to parse Extended Header info !\n");
    fails(1, {"dump", dir.File("none.tkv")}, example, "none.tkv: " + NoSuchFileText());
    fails(1, {"example", example}, example, "");  // an existing file is never overwritten
    for (std::vector<std::string> usage :         // usage errors
         {std::vector<std::string>{"frobnicate", example}, {"dump"}, {"resave", example, "extra"}})
        fails(2, usage, example, "");
    ::chmod(example.c_str(), 0444);
    fails(1, {"resave", example}, example, "Cannot save to a read-only file !\n");
    Exits(0, {"dump", "--help"});
}

}  // namespace
