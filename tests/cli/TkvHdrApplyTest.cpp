// tkvhdr apply: the editor's folder-wide edit, from a script.

#include <sys/stat.h>

#include "cli/CliSupport.h"

namespace {

namespace fs = std::filesystem;

// A plate of generated files: A01 and A05.pkv plain, A02 storing Gain as a
// Float, A03 with Run as a value, A04 empty.
class TkvHdrApplyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(folder);
        auto plain = ExtendedHeader::MakeRoot(), floatGain = ExtendedHeader::MakeRoot(),
             runLeaf = ExtendedHeader::MakeRoot(), empty = ExtendedHeader::MakeRoot();
        AddAt(*plain, "Run.Gain", LongValue(5));
        AddAt(*plain, "Sample.Well", HeaderElement(std::string_view("A01")));
        AddAt(*floatGain, "Run.Gain", FloatValue(1.5f));
        AddAt(*runLeaf, "Run", LongValue(1));
        std::uint32_t seed = 0;
        for (auto [name, root] : {std::pair{"A01.tkv", plain.get()},
                                  {"A02.tkv", floatGain.get()},
                                  {"A03.tkv", runLeaf.get()},
                                  {"A04.tkv", empty.get()},
                                  {"A05.pkv", plain.get()}})
            WriteAll(File(name), SampleFile(*root, SampleRecord(), 1500, ++seed));
    }
    std::string File(const char* name) const { return (folder / name).string(); }

    TempDir dir;
    fs::path folder = dir.Path() / "plate";
};

TEST_F(TkvHdrApplyTest, DryRunAndBadArgumentsWriteNothingAndAgainFindsNothingToDo) {
    fs::permissions(folder / "A04.tkv", fs::perms(0444));
    const auto before = FolderContents(folder);
    const std::string a01 = File("A01.tkv");
    EXPECT_EQ(Tool({"apply", a01, "RUN.GAIN", "long", "1", "X", "short", "99999"}).err,
              "Can't convert element at index 0 to specified type of number\n");
    EXPECT_EQ(Tool({"apply", a01, "SAMPLE.WELL.X", "long", "1"}).status, 1)
        << "through a value of the named file";
    const ToolRun dry = Exits(0, {"apply", "--dry-run", a01, "RUN.GAIN", "long", "9"});
    EXPECT_EQ(FolderContents(folder), before);
    EXPECT_TRUE(Contains(dry.out, "would update: " + ShownPath(a01)));
    EXPECT_TRUE(Contains(dry.out, "skipped (read-only): " + ShownPath(File("A04.tkv"))));
    // A02 stores Gain as a Float, A03 has Run as a value.
    EXPECT_TRUE(Contains(dry.out, "1 updated, 2 unchanged, 1 skipped, 0 failed (dry run"));

    Exits(0, {"apply", a01, "RUN.GAIN", "long", "9"});
    EXPECT_TRUE(Contains(Tool({"apply", a01, "RUN.GAIN", "long", "9"}).out,
                         "0 updated, 3 unchanged, 1 skipped, 0 failed"));
}

TEST_F(TkvHdrApplyTest, NamesWhatItLeavesOut) {
    TKV_POSIX_ONLY("a FIFO and symbolic links");
#ifndef _WIN32
    fs::create_directory(folder / "B01.tkv");
    ASSERT_EQ(::mkfifo(File("B02.tkv").c_str(), 0600), 0);
    WriteAll(dir.File("outside.tkv"), ReadAll(File("A01.tkv")));
    fs::create_symlink(dir.Path() / "outside.tkv", folder / "B03.tkv");
    fs::create_symlink(folder / "gone", folder / "B04.tkv");
    fs::create_symlink(folder / "A05.pkv", folder / "B05.tkv");
    const Bytes pkv = ReadAll(File("A05.pkv"));
    const ToolRun r = Exits(0, {"apply", File("A01.tkv"), "RUN.OPERATOR", "ascii", "J"});
    for (const char* line : {"left out: B01.tkv (a folder)\n", "left out: B02.tkv (a FIFO)\n",
                             "left out: B03.tkv (a link that leads out of the folder)\n",
                             "left out: B04.tkv (a link to nothing)\n",
                             "left out: B05.tkv (a link to a file with another extension)\n",
                             "3 updated, 1 unchanged, 0 skipped, 0 failed"})
        EXPECT_TRUE(Contains(r.out, line));
    EXPECT_EQ(Tool({"get", dir.File("outside.tkv"), "RUN.OPERATOR"}).status, 1)
        << "the file outside the folder was not touched";
    EXPECT_EQ(ReadAll(File("A05.pkv")), pkv) << "nor the .pkv behind a .tkv link";
#endif
}

TEST(TkvHdrApplyNamesTest, TheFilesTakenAreThoseEndingInTheNamedFilesExtension) {
    // A name that is only an extension has that extension; a name without one
    // is written alone ("*" would take in every file of the folder, and the
    // later apply through ".tkv" would overwrite what a wider one wrote).
    TempDir plate;
    for (const char* name : {".tkv", "A01.tkv", "X.TKV", "NOEXT", "A01.pkv"})
        WriteAll(plate.File(name), SampleFile(*ExtendedHeader::MakeRoot(), SampleRecord(), 64, 1));
    Exits(0, {"apply", plate.File("NOEXT"), "RUN.GAIN", "long", "4"});
    Exits(0, {"apply", plate.File(".tkv"), "RUN.GAIN", "long", "3"});
    std::map<std::string, std::string> gains;
    for (const auto& e : fs::directory_iterator(plate.Path()))
        gains[e.path().filename().string()] = Tool({"get", e.path().string(), "RUN.GAIN"}).out;
    EXPECT_EQ(gains, (std::map<std::string, std::string>{{".tkv", "3\n"},
                                                         {"A01.tkv", "3\n"},
                                                         {"X.TKV", "3\n"},
                                                         {"NOEXT", "4\n"},
                                                         {"A01.pkv", ""}}));
}

}  // namespace
