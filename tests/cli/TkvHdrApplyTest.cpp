// tkvhdr apply: the editor's folder-wide edit, from a script.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "support/DocumentFixture.h"
#include "support/ToolRunner.h"

namespace {

// The same folder of generated files, twice.
class TkvHdrApplyTest : public ::testing::Test {
  protected:
    void Fill(const std::filesystem::path& folder) {
        std::filesystem::create_directory(folder);
        auto plain = ExtendedHeader::MakeRoot();
        AddAt(*plain, "Run.Gain", LongValue(5));
        AddAt(*plain, "Sample.Well", HeaderElement(std::string_view("A01")));
        auto floatGain = ExtendedHeader::MakeRoot();
        AddAt(*floatGain, "Run.Gain", FloatValue(1.5f));
        auto runLeaf = ExtendedHeader::MakeRoot();
        AddAt(*runLeaf, "Run", LongValue(1));
        auto empty = ExtendedHeader::MakeRoot();
        auto put = [&](const char* name, const HeaderNode& root, std::uint32_t seed) {
            WriteAll((folder / name).string(), SampleFile(root, SampleRecord(), 1500, seed));
        };
        put("A01.tkv", *plain, 1);
        put("A02.tkv", *floatGain, 2);
        put("A03.tkv", *runLeaf, 3);
        put("A04.tkv", *empty, 4);
        put("A05.pkv", *plain, 5);
        WriteAll((folder / "A06.tkv").string(), Bytes(300, 9));  // too short to be a sample file
    }

    TempDir dir;
};

TEST_F(TkvHdrApplyTest, DryRunWritesNothingAndAgainFindsNothingToDo) {
    const auto folder = dir.Path() / "plate";
    Fill(folder);
    std::filesystem::remove(folder / "A06.tkv");
    std::filesystem::permissions(folder / "A04.tkv", std::filesystem::perms(0444));
    const auto before = FolderContents(folder);
    const std::string a01 = (folder / "A01.tkv").string();

    ToolRun dry = Tool({"apply", "--dry-run", a01, "RUN.GAIN", "long", "9"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(FolderContents(folder), before);
    EXPECT_NE(dry.out.find("would update: " + ShownPath(a01)), std::string::npos);
    EXPECT_NE(dry.out.find("skipped (read-only): " + ShownPath((folder / "A04.tkv").string())),
              std::string::npos);
    EXPECT_NE(dry.out.find("1 updated, 2 unchanged, 1 skipped, 0 failed (dry run"),
              std::string::npos)
        << "A02 stores Gain as a Float, A03 has Run as a value" << dry.out;

    ASSERT_EQ(Tool({"apply", a01, "RUN.GAIN", "long", "9"}).status, 0);
    EXPECT_NE(FolderContents(folder), before);
    ToolRun again = Tool({"apply", a01, "RUN.GAIN", "long", "9"});
    EXPECT_NE(again.out.find("0 updated, 3 unchanged, 1 skipped, 0 failed"), std::string::npos)
        << again.out;
}

TEST_F(TkvHdrApplyTest, BadArgumentsWriteNothing) {
    const auto folder = dir.Path() / "plate";
    Fill(folder);
    const auto before = FolderContents(folder);
    const std::string a01 = (folder / "A01.tkv").string();
    EXPECT_EQ(Tool({"apply", a01, "RUN.GAIN", "long"}).status, 2);
    EXPECT_EQ(Tool({"apply", a01, "RUN.GAIN", "quux", "1"}).status, 2);
    ToolRun bad = Tool({"apply", a01, "RUN.GAIN", "long", "1", "X", "short", "99999"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "Can't convert element at index 0 to specified type of number\n");
    EXPECT_EQ(Tool({"apply", a01, "SAMPLE.WELL.X", "long", "1"}).status, 1)
        << "through a value of the named file";
    EXPECT_EQ(FolderContents(folder), before);
}

TEST_F(TkvHdrApplyTest, NamesWhatItLeavesOutAndEscapesControlCharacters) {
    TKV_POSIX_ONLY("a FIFO, symbolic links and control characters in file names");
#ifndef _WIN32
    namespace fs = std::filesystem;
    const auto folder = dir.Path() / "plate";
    Fill(folder);
    fs::remove(folder / "A06.tkv");
    fs::create_directory(folder / "B01.tkv");
    ASSERT_EQ(::mkfifo((folder / "B02.tkv").c_str(), 0600), 0);
    WriteAll((dir.Path() / "outside.tkv").string(), ReadAll((folder / "A01.tkv").string()));
    fs::create_symlink(dir.Path() / "outside.tkv", folder / "B03.tkv");
    fs::create_symlink(folder / "gone", folder / "B04.tkv");
    fs::create_symlink(folder / "A05.pkv", folder / "B05.tkv");
    const Bytes pkv = ReadAll((folder / "A05.pkv").string());
    fs::copy_file(folder / "A01.tkv", folder / "C\nD\x1b.tkv");
    const ToolRun r = Tool({"apply", (folder / "A01.tkv").string(), "RUN.OPERATOR", "ascii", "J"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    for (const char* line : {"left out: B01.tkv (a folder)\n", "left out: B02.tkv (a FIFO)\n",
                             "left out: B03.tkv (a link that leads out of the folder)\n",
                             "left out: B04.tkv (a link to nothing)\n",
                             "left out: B05.tkv (a link to a file with another extension)\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
    EXPECT_NE(r.out.find("C\\nD\\x1B.tkv"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << "no raw control character";
    EXPECT_NE(r.out.find("4 updated, 1 unchanged, 0 skipped, 0 failed"), std::string::npos)
        << r.out;
    EXPECT_EQ(Tool({"get", (dir.Path() / "outside.tkv").string(), "RUN.OPERATOR"}).status, 1)
        << "the file outside the folder was not touched";
    EXPECT_EQ(ReadAll((folder / "A05.pkv").string()), pkv) << "nor the .pkv behind a .tkv link";
#endif
}

TEST_F(TkvHdrApplyTest, TheFilesTakenAreThoseEndingInTheNamedFilesExtension) {
    namespace fs = std::filesystem;
    // A name that is only an extension has that extension; a name without one
    // is written alone ("*" would take in every file of the folder).
    struct Case {
        const char* named;
        std::vector<std::string> updated;
    };
    for (const Case& c : {Case{".tkv", {".tkv", "A01.tkv", "X.TKV"}}, Case{"NOEXT", {"NOEXT"}}}) {
        TempDir plate;
        for (const char* name : {".tkv", "A01.tkv", "X.TKV", "NOEXT", "A01.pkv"})
            WriteAll(plate.File(name),
                     SampleFile(*ExtendedHeader::MakeRoot(), SampleRecord(), 64, 1));
        const ToolRun r = Tool({"apply", plate.File(c.named), "RUN.GAIN", "long", "3"});
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        std::vector<std::string> updated;
        for (const auto& e : fs::directory_iterator(plate.Path()))
            if (Tool({"get", e.path().string(), "RUN.GAIN"}).status == 0)
                updated.push_back(e.path().filename().string());
        std::sort(updated.begin(), updated.end());
        EXPECT_EQ(updated, c.updated) << c.named;
    }
}

}  // namespace
