// Plate sheets: the table format, and tkvhdr sheet export/import over a plate of
// generated files, each file getting its own values.
#include <gtest/gtest.h>

#include <filesystem>

#include "format/SheetTable.h"
#include "support/DocumentFixture.h"
#include "support/ToolRunner.h"

namespace {

namespace fs = std::filesystem;
using Records = SheetTable::Records;

TEST(SheetTableTest, QuotesSeparatorsAndLineBreaksRoundTrip) {
    const Records records{{"file", "A:ascii"},
                          {"A01.tkv", "plain"},
                          {"A02.tkv", "comma, inside"},
                          {"A03.tkv", "say \"hi\""},
                          {"A04.tkv", "two\nlines"},
                          {"A05.tkv", ""}};
    for (char sep : {',', '\t'}) {
        const std::string text = SheetTable::Write(records, sep);
        EXPECT_EQ(SheetTable::Parse(text, sep), records) << text;
    }
    EXPECT_EQ(SheetTable::Write({{"a,b", "c"}}, ','), "\"a,b\",c\r\n");
    // LF line ends, a final line without one, and a spreadsheet's byte order mark.
    EXPECT_EQ(SheetTable::Parse("\xEF\xBB\xBFx,y\n1,\"2\"", ','), (Records{{"x", "y"}, {"1", "2"}}));
    EXPECT_EQ(SheetTable::SeparatorFor("plate.TSV"), '\t');
    EXPECT_EQ(SheetTable::SeparatorFor("plate.csv"), ',');
    auto error = [](std::string_view text) {
        try {
            SheetTable::Parse(text, ',');
        } catch (const SheetTable::ParseError& e) {
            return std::to_string(e.Row()) + ":" + std::to_string(e.Column());
        }
        return std::string("parsed");
    };
    EXPECT_EQ(error("a,b\nc,d\"e\n"), "2:2");
    EXPECT_EQ(error("a,\"b\"c\n"), "1:2");
    EXPECT_EQ(error("a\n\"open\nstill"), "3:1") << "the row where the text ends";
}

class TkvHdrSheetTest : public ::testing::Test {
  protected:
    // A plate of 96 files, A01 to H12, each with its own well and owner.
    void SetUp() override {
        fs::create_directory(plate);
        for (int i = 0; i < 96; ++i) {
            auto root = ExtendedHeader::MakeRoot();
            AddAt(*root, "RUN.GAIN", LongValue(5));
            AddAt(*root, "SAMPLE.WELL", HeaderElement(std::string_view(Well(i))));
            AddAt(*root, "SAMPLE.OWNER", HeaderElement(std::u16string(u"Zo\u00eb")));
            WriteAll(File(i), SampleFile(*root, SampleRecord(), 700, static_cast<std::uint32_t>(i)));
        }
        WriteAll((plate / "X.pkv").string(), ReadAll(File(0)));  // another extension
    }
    static std::string Well(int i) {
        return std::string(1, static_cast<char>('A' + i / 12)) + (i % 12 < 9 ? "0" : "") +
               std::to_string(i % 12 + 1);
    }
    std::string File(int i) const { return (plate / (Well(i) + ".tkv")).string(); }
    std::string Sheet(const Records& records, const std::string& name = "s.csv") {
        const std::string path = dir.File(name);
        const std::string text = SheetTable::Write(records, SheetTable::SeparatorFor(name));
        WriteAll(path, Bytes(text.begin(), text.end()));
        return path;
    }
    // Rows that give every file new values of every kind.
    Records NewValues() const {
        Records records{{"file", "SAMPLE.OWNER:unicode", "RUN.GAIN:long", "RUN.VOLTS:double",
                         "QC.FLAGS:boolean", "SAMPLE.NOTE:ascii"}};
        for (int i = 0; i < 96; ++i)
            records.push_back({Well(i) + ".tkv", "Dr. M\u00fcller, " + std::to_string(i),
                               std::to_string(i), std::to_string(i) + ".5,-1",
                               i % 2 ? "True,False" : "False", "note \"" + Well(i) + "\"\nend"});
        return records;
    }

    TempDir dir;
    fs::path plate = dir.Path() / "plate";
};

TEST_F(TkvHdrSheetTest, ImportThenExportGivesBackEveryFilesOwnValues) {
    const Records values = NewValues();
    const ToolRun in = Tool({"sheet", "import", File(0), Sheet(values)});
    ASSERT_EQ(in.status, 0) << in.err << in.out;
    EXPECT_NE(in.out.find("96 updated, 0 unchanged, 0 skipped, 0 failed"), std::string::npos);
    EXPECT_NE(in.out.find("H12.tkv\tRUN.GAIN\t5\t95\n"), std::string::npos) << in.out;
    EXPECT_EQ(in.out.find("X.pkv"), std::string::npos);
    std::vector<std::string> args{"sheet", "export", File(0)};
    for (std::size_t c = 1; c < values[0].size(); ++c)
        args.push_back(values[0][c].substr(0, values[0][c].rfind(':')));
    const ToolRun out = Tool(args);
    ASSERT_EQ(out.status, 0) << out.err;
    Records expected = values;
    for (std::size_t c = 1; c < expected[0].size(); ++c) expected[0][c] = args[c + 2];
    EXPECT_EQ(SheetTable::Parse(out.out, ','), expected);
    // The files still hold what the sheet left alone, and read as the editor reads them.
    EXPECT_EQ(Tool({"get", File(40), "SAMPLE.WELL"}).out, Well(40) + "\n");
    EXPECT_EQ(Tool({"get", File(40), "QC.FLAGS"}).out, "False\n");
    // The same sheet again changes nothing.
    const ToolRun again = Tool({"sheet", "import", File(0), Sheet(values, "s.tsv")});
    EXPECT_NE(again.out.find("0 updated, 0 unchanged"), std::string::npos) << again.out;
}

TEST_F(TkvHdrSheetTest, EverySheetErrorIsNamedAndNothingIsWritten) {
    Records records{{"file", "RUN.GAIN:long", "SAMPLE.WELL:ascii"}};
    for (int i = 0; i < 94; ++i) records.push_back({Well(i) + ".tkv", "1", ""});  // not H11, H12
    records[3] = {"A03.tkv", "1,x", ""};             // row 4: value index 1 fails
    records[5] = {"A05.tkv", "1"};                   // row 6: too few fields
    records.push_back({"Z99.tkv", "1", ""});         // row 96: no such file
    records.push_back({"A01.tkv", "2", ""});         // row 97: a second row
    records.push_back({"H12.tkv", "", "\xC4\x80"});  // row 98: Windows-1252 cannot hold it
    const auto before = FolderContents(plate);
    const ToolRun r = Tool({"sheet", "import", File(0), Sheet(records)});
    EXPECT_EQ(r.status, 1);
    const std::string s = dir.File("s.csv");
    for (const std::string& e :
         {s + ": row 4, column 2: Can't convert element at index 1", s + ": row 6: 2 fields",
          s + ": row 96, column 1: no file 'Z99.tkv'", s + ": row 97, column 1: 'A01.tkv' has row 2",
          s + ": row 98, column 3: The ASCII text", s + ": no row for H11.tkv",
          std::string("nothing was written")})
        EXPECT_NE(r.err.find(e), std::string::npos) << e << "\n" << r.err;
    EXPECT_EQ(FolderContents(plate), before);
    // A bad header, and a table that does not parse.
    EXPECT_NE(Tool({"sheet", "import", File(0), Sheet({{"name", "RUN.GAIN:long"}})}).err.find(
                  "row 1, column 1"),
              std::string::npos);
    EXPECT_NE(Tool({"sheet", "import", File(0), Sheet({{"file", "RUN.GAIN:quux"}})}).err.find(
                  "row 1, column 2"),
              std::string::npos);
    // --keep-going writes the good rows.
    const ToolRun kept = Tool({"sheet", "import", "--keep-going", File(0), Sheet(records)});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(Tool({"get", File(1), "RUN.GAIN"}).out, "1\n");
    EXPECT_EQ(Tool({"get", File(2), "RUN.GAIN"}).out, "5\n") << "its cell failed";
}

TEST_F(TkvHdrSheetTest, DryRunNamesTheFieldsARealRunChangesAndAFailedCellFailsAlone) {
    Records records = NewValues();
    records[0].push_back("SAMPLE.WELL.X:long");  // through a value: fails in every file
    for (std::size_t r = 1; r < records.size(); ++r) records[r].push_back(r == 7 ? "3" : "");
    const std::string sheet = Sheet(records);
    const auto before = FolderContents(plate);
    const ToolRun dry = Tool({"sheet", "import", "--dry-run", File(0), sheet});
    EXPECT_EQ(FolderContents(plate), before) << "a dry run writes nothing";
    const ToolRun real = Tool({"sheet", "import", File(0), sheet});
    EXPECT_EQ(real.status, 1) << "one cell failed";
    auto fieldLines = [](const std::string& out) {
        std::string lines;
        std::size_t pos = 0;
        while (pos < out.size()) {
            const std::size_t end = out.find('\n', pos);
            const std::string line = out.substr(pos, end - pos + 1);
            if (std::count(line.begin(), line.end(), '\t') == 3) lines += line;
            pos = end + 1;
        }
        return lines;
    };
    EXPECT_FALSE(fieldLines(dry.out).empty());
    EXPECT_EQ(fieldLines(dry.out), fieldLines(real.out));
    EXPECT_NE(real.out.find("failed: A07.tkv\tSAMPLE.WELL.X: the path runs through a value"),
              std::string::npos)
        << real.out;
    // A07's other cells were written.
    EXPECT_EQ(Tool({"get", File(6), "RUN.GAIN"}).out, "6\n");
    EXPECT_EQ(Tool({"get", File(6), "SAMPLE.WELL"}).out, "A07\n");
}

TEST_F(TkvHdrSheetTest, ADashRemovesTheValueAsDeleteDoes) {
    // Two copies of the plate: one sheet removes A02's owner and A03's gain (a
    // value at the top of a list and one below); the tool's delete does the same
    // on the copy. The files come out byte for byte the same.
    const fs::path copy = dir.Path() / "copy";
    fs::copy(plate, copy);
    Records records{{"file", "SAMPLE.OWNER:unicode", "RUN.GAIN:long"}};
    for (int i = 0; i < 96; ++i) records.push_back({Well(i) + ".tkv", "", ""});
    records[2][1] = "-";
    records[3][2] = "-";
    records[4][1] = "-";
    const ToolRun r = Tool({"sheet", "import", File(0), Sheet(records)});
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_NE(r.out.find("A02.tkv\tSAMPLE.OWNER\tZo\u00eb\t-\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("3 updated, 0 unchanged"), std::string::npos) << r.out;
    for (auto [well, path] : {std::pair{"A02", "SAMPLE.OWNER"}, {"A03", "RUN.GAIN"},
                              {"A04", "SAMPLE.OWNER"}})
        ASSERT_EQ(Tool({"delete", (copy / (std::string(well) + ".tkv")).string(), path}).status, 0);
    EXPECT_EQ(FolderContents(plate), FolderContents(copy));
    EXPECT_EQ(Tool({"get", File(1), "SAMPLE.OWNER"}).status, 1) << "gone";
    EXPECT_EQ(Tool({"get", File(1), "SAMPLE.WELL"}).out, "A02\n") << "the rest stays";
    // A dash where nothing is stored has nothing to do.
    const ToolRun again = Tool({"sheet", "import", File(0), Sheet(records)});
    EXPECT_NE(again.out.find("0 updated, 0 unchanged"), std::string::npos) << again.out;
}

}  // namespace
