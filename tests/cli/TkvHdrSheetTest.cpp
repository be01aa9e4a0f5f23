// Plate sheets: the table format, and tkvhdr sheet export/import over a plate of
// generated files, each file getting its own values.

#include "cli/CliSupport.h"
#include "cli/HeaderJson.h"
#include "format/SheetTable.h"

namespace {

namespace fs = std::filesystem;
using Records = SheetTable::Records;

TEST(SheetTableTest, QuotesSeparatorsAndLineBreaksRoundTrip) {
    const Records records{{"plain", "comma, inside", "say \"hi\""}, {"two\nlines", "", "last"}};
    for (char sep : {',', '\t'}) {
        const std::string text = SheetTable::Write(records, sep);
        EXPECT_EQ(SheetTable::Parse(text, sep), records) << text;
    }
    // This reader keeps a lone CR; a spreadsheet ends a line there.
    EXPECT_EQ(SheetTable::Write({{"a\rb", "c"}}, ','), "\"a\rb\",c\r\n");
    // LF line ends, a final line without one, and a spreadsheet's byte order mark.
    EXPECT_EQ(SheetTable::Parse("\xEF\xBB\xBFx,y\n1,\"2\"", ','),
              (Records{{"x", "y"}, {"1", "2"}}));
    EXPECT_EQ(SheetTable::Parse("x,y\n1,", ','), (Records{{"x", "y"}, {"1", ""}}))
        << "a last line ending in a separator has an empty last field";
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
    // Rows are counted by the line each record begins on.
    EXPECT_EQ(error("a\n\"open\nstill"), "2:1");
    EXPECT_EQ(error("a\n\"two\nlines\",b\"c\n"), "2:2");
}

// The fuzzers' findings (tests/data/sheet-*), each kept as the file that found
// it: the first byte picks the separator; a table that reads writes back to the
// same records.
TEST(SheetTableTest, FuzzFindingsReadAndWriteBack) {
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(TKV_TEST_DATA)) {
        if (entry.path().filename().string().rfind("sheet-", 0) != 0) continue;
        const Bytes bytes = ReadAll(entry.path().string());
        const char separator = bytes.at(0) % 2 ? '\t' : ',';
        const Records records =
            SheetTable::Parse(std::string(bytes.begin() + 1, bytes.end()), separator);
        EXPECT_EQ(SheetTable::Parse(SheetTable::Write(records, separator), separator), records)
            << entry.path();
        ++checked;
    }
    EXPECT_GT(checked, 0);
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
            WriteAll(File(i),
                     SampleFile(*root, SampleRecord(), 700, static_cast<std::uint32_t>(i)));
        }
        WriteAll((plate / "X.pkv").string(), ReadAll(File(0)));  // another extension
    }
    static std::string Well(int i) {
        return std::string(1, static_cast<char>('A' + i / 12)) + (i % 12 < 9 ? "0" : "") +
               std::to_string(i % 12 + 1);
    }
    std::string File(int i) const { return (plate / (Well(i) + ".tkv")).string(); }
    // A sheet file, given as its text or its records.
    std::string Sheet(const std::string& text, const std::string& name = "s.csv") {
        return WriteText(dir.File(name), text);
    }
    std::string Sheet(const Records& records, const std::string& name = "s.csv") {
        return Sheet(SheetTable::Write(records, SheetTable::SeparatorFor(name)), name);
    }
    // Rows that give every file new values of every kind.
    Records NewValues() const {
        // Two paths in another case than the files' (RUN.GAIN) and the editor's
        // capitals for new labels: they name the same entries.
        Records records{{"file", "SAMPLE.OWNER:unicode", "run.Gain:long", "RUN.VOLTS:double",
                         "qc.Flags:boolean", "SAMPLE.NOTE:ascii"}};
        for (int i = 0; i < 96; ++i)
            records.push_back({Well(i) + ".tkv", "Dr. M\u00fcller, " + std::to_string(i),
                               std::to_string(i), std::to_string(i) + ".5,-1",
                               i % 2 ? "True,False" : "False", "note \"" + Well(i) + "\"\nend"});
        return records;
    }

    // The lines of a run's output that name a changed field.
    static std::string FieldLines(const std::string& out) {
        std::string lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);)
            if (std::count(line.begin(), line.end(), '\t') == 3) lines += line + "\n";
        return lines;
    }

    TempDir dir;
    fs::path plate = dir.Path() / "plate";
};

TEST_F(TkvHdrSheetTest, ImportThenExportGivesBackEveryFilesOwnValues) {
    const Records values = NewValues();
    const std::string sheet = Sheet(values);
    const auto before = FolderContents(plate);
    const ToolRun dry = Tool({"sheet", "import", "--dry-run", File(0), sheet});
    EXPECT_EQ(FolderContents(plate), before) << "a dry run writes nothing";
    const ToolRun in = Exits(0, {"sheet", "import", File(0), sheet});
    EXPECT_EQ(FieldLines(dry.out), FieldLines(in.out)) << "the dry run named the fields it changes";
    EXPECT_TRUE(Contains(in.out, "96 updated, 0 unchanged, 0 skipped, 0 failed"));
    EXPECT_TRUE(Contains(in.out, "H12.tkv\trun.Gain\t5\t95\n"));
    EXPECT_TRUE(Contains(Tool({"dump", File(95)}).out, "\nQC.FLAGS\tBoolean\t"));  // capitals
    EXPECT_EQ(in.out.find("X.pkv"), std::string::npos);
    std::vector<std::string> args{"sheet", "export", File(0)};
    for (std::size_t c = 1; c < values[0].size(); ++c)
        args.push_back(values[0][c].substr(0, values[0][c].rfind(':')));
    EXPECT_EQ(SheetTable::Parse(Exits(0, args).out, ','), values)
        << "the header gives the stored types";
    // The same sheet again changes nothing.
    EXPECT_TRUE(Contains(Tool({"sheet", "import", File(0), Sheet(values, "s.tsv")}).out,
                         "0 updated, 0 unchanged"));
}

TEST_F(TkvHdrSheetTest, EverySheetErrorIsNamedAndNothingIsWritten) {
    // These lines are compared with the path as given; a Windows path has
    // backslashes, which output shows doubled.
    TKV_POSIX_ONLY("paths are shown escaped, a backslash as two");
    Records records{{"file", "RUN.GAIN:long", "SAMPLE.WELL:ascii"}};
    for (int i = 0; i < 94; ++i) records.push_back({Well(i) + ".tkv", "1", ""});  // not H11, H12
    // A row is the line its record begins on: A03's takes lines 4 and 5.
    records[3] = {"A03.tkv", "1,x", "two\nlines"};   // row 4: value index 1 fails
    records[5] = {"A05.tkv", "1"};                   // row 7: too few fields
    records.push_back({"Z99.tkv", "1", ""});         // row 97: no such file
    records.push_back({"A01.tkv", "2", ""});         // row 98: a second row
    records.push_back({"H12.tkv", "", "\xC4\x80"});  // row 99: Windows-1252 cannot hold it
    const auto before = FolderContents(plate);
    const ToolRun r = Exits(1, {"sheet", "import", File(0), Sheet(records)});
    const std::string s = ShownPath(dir.File("s.csv"));
    for (const std::string& e :
         {s + ": row 4, column 2: Can't convert element at index 1", s + ": row 7: 2 fields",
          s + ": row 97, column 1: no file 'Z99.tkv'",
          s + ": row 98, column 1: 'A01.tkv' has row 2", s + ": row 99, column 3: The ASCII text",
          s + ": no row for H11.tkv", std::string("nothing was written")})
        EXPECT_TRUE(Contains(r.err, e));
    EXPECT_EQ(FolderContents(plate), before);
    // A bad header, and a table that does not parse.
    std::vector<std::string> wide = {"file"};  // more columns than a sheet may have
    for (int c = 0; c < 20000; ++c) wide.push_back("C" + std::to_string(c) + ":long");
    for (const auto& [header, error] :
         {std::pair<Records, const char*>{{{"name", "RUN.GAIN:long"}}, "row 1, column 1"},
          {{{"file", "RUN.GAIN:quux"}}, "row 1, column 2"},
          {{wide}, "at most 10000 columns"}})
        EXPECT_TRUE(Contains(Tool({"sheet", "import", File(0), Sheet(header)}).err, error));
    // --keep-going writes the good rows.
    // The five rows above, and no row for H11 and for A05 (its row is short).
    EXPECT_TRUE(Contains(Exits(1, {"sheet", "import", "--keep-going", File(0), Sheet(records)}).out,
                         "0 failed; 7 rows or cells of the sheet not taken"));
    EXPECT_EQ(Tool({"get", File(1), "RUN.GAIN"}).out, "1\n");
    EXPECT_EQ(Tool({"get", File(2), "RUN.GAIN"}).out, "5\n") << "its cell failed";
}

TEST_F(TkvHdrSheetTest, ExportedSheetImportsUnchangedAndOneCorrectedCellChangesOneField) {
    // A08 holds every hard kind of value instead, which goes back bit for bit.
    WriteAll(File(7), SampleFile(*HardTree(), SampleRecord(), 700, 7));
    const ToolRun out = Exits(0, {"sheet", "export", File(0), "SAMPLE.WELL", "SAMPLE.OWNER",
                                  "RUN.GAIN", "Real.F", "Real.FBits", "Real.D", "Flags", "Int.L"});
    EXPECT_EQ(out.out.substr(0, out.out.find('\n')),
              "file,SAMPLE.WELL:ascii,SAMPLE.OWNER:unicode,RUN.GAIN:long,Real.F:float,"
              "Real.FBits:float,Real.D:double,Flags:boolean,Int.L:long\r");
    const auto before = FolderContents(plate);
    EXPECT_EQ(FieldLines(Exits(0, {"sheet", "import", File(0), Sheet(out.out)}).out), "");
    EXPECT_EQ(FolderContents(plate), before);
    // One corrected cell changes that one field, in that one file.
    Records records = SheetTable::Parse(out.out, ',');
    records[30][1] = "C07-corrected";
    EXPECT_EQ(FieldLines(Exits(0, {"sheet", "import", File(0), Sheet(records)}).out),
              "C06.tkv\tSAMPLE.WELL\tC06\tC07-corrected\n");
    for (const auto& [name, bytes] : FolderContents(plate))
        EXPECT_EQ(bytes == before.at(name), name != "C06.tkv") << name;
    // Untyped columns take each file's stored type.
    for (auto& column : records[0]) column = column.substr(0, column.find(':'));
    records[30][1] = "C06";
    records[31][3] = "8";
    EXPECT_EQ(FieldLines(Exits(0, {"sheet", "import", File(0), Sheet(records)}).out),
              "C06.tkv\tSAMPLE.WELL\tC07-corrected\tC06\nC07.tkv\tRUN.GAIN\t5\t8\n");
    // Columns that import would refuse are refused.
    EXPECT_TRUE(Contains(Exits(2, {"sheet", "export", File(0), "RUN.GAIN", "run.gain"}).err,
                         "'run.gain' is column 2 already"));
    // Asking for a type: the files that store another say so.
    const ToolRun typed =
        Exits(1, {"sheet", "export", File(0), "RUN.GAIN:long", "SAMPLE.WELL:long"});
    EXPECT_TRUE(Contains(typed.out, "A01.tkv,5,\r\n"));
    EXPECT_TRUE(Contains(typed.err, "A01.tkv: SAMPLE.WELL is stored as ASCII, not Long"));
    // A column whose files disagree on the type stays untyped, says so, and imports as it stands.
    ASSERT_EQ(Tool({"set", File(5), "RUN.GAIN", "ascii", "five"}).status, 0);
    const ToolRun mixed = Exits(0, {"sheet", "export", File(0), "RUN.GAIN"});
    EXPECT_TRUE(Contains(mixed.out, "file,RUN.GAIN\r\nA01.tkv,5\r\n"));
    EXPECT_TRUE(Contains(mixed.out, "A06.tkv,five\r\n"));
    EXPECT_TRUE(Contains(mixed.err, "RUN.GAIN as ASCII (A06.tkv) and Long (A01.tkv and 93 more)"));
    EXPECT_EQ(FieldLines(Exits(0, {"sheet", "import", File(0), Sheet(mixed.out)}).out), "");
}

TEST_F(TkvHdrSheetTest, APlanWithAnyFailingCellWritesNothing) {
    ASSERT_EQ(Tool({"set", File(3), "SAMPLE.NOTE", "long", "1"}).status, 0);
    const auto before = FolderContents(plate);
    const struct {
        std::string header, cell, error, first = "RUN.GAIN:long";
    } cases[] = {
        {"SAMPLE.WELL:long", "1", "row 2, column 3: A01.tkv stores SAMPLE.WELL as ASCII, not Long"},
        {"SAMPLE.WELL.X:long", "3",
         "row 2, column 3: the path runs through a value, or the file stores a list there"},
        {"SAMPLE:long", "3",
         "row 2, column 3: the path runs through a value, or the file stores a list there"},
        {"SAMPLE.NOTE", "n",
         "row 2, column 3: A01.tkv has no entry SAMPLE.NOTE: give the "
         "column a type"},
        {"RUN.gain:long", "3", "row 1, column 3: 'RUN.gain' is column 2 already"},
        // A path and one inside it: new paths, so each alone would be written.
        {"NEW.y:long", "3", "row 1, column 3: 'NEW.y' lies inside column 2 ('new')", "new:long"},
        {"NEW:long", "3", "row 1, column 3: 'NEW' holds column 2 ('new.Y')", "new.Y:long"},
        {"SAMPLE.NOTE:ascii", std::string(ItemCodec::kMaxPayload + 1, 'x'),
         "row 2, column 3: the value is longer than an item can hold"},
    };
    for (const auto& c : cases) {
        Records records{{"file", c.first, c.header}};  // the cell in A01's row, row 2
        for (int i = 0; i < 96; ++i) records.push_back({Well(i) + ".tkv", "9", i ? "" : c.cell});
        SCOPED_TRACE(c.header);
        EXPECT_TRUE(Contains(Exits(1, {"sheet", "import", File(0), Sheet(records)}).err, c.error));
        EXPECT_EQ(FolderContents(plate), before);
    }
}

TEST_F(TkvHdrSheetTest, LinksAreOneFileAndOddNamesAreEscapedAlike) {
    TKV_POSIX_ONLY("symbolic links and control characters in file names");
#ifndef _WIN32
    fs::create_hard_link(File(0), plate / "Z01.tkv");
    fs::create_symlink("A02.tkv", plate / "Z02.tkv");
    WriteAll((plate / "Y\x01\xFF.tkv").string(), ReadAll(File(2)));
    // A backslash is escaped too: these two names are shown apart.
    WriteAll((plate / "k\\nx.tkv").string(), ReadAll(File(3)));
    WriteAll((plate / "k\nx.tkv").string(), ReadAll(File(4)));
    WriteAll((plate / "n\xC2\x85x.tkv").string(), ReadAll(File(5)));  // a C1 control, U+0085
    std::string csv;
    for (const std::string format : {"csv", "tsv", "json"}) {
        SCOPED_TRACE(format);
        const std::string out =
            Exits(0, {"sheet", "export", "--format", format, File(0), "SAMPLE.WELL"}).out;
        EXPECT_TRUE(Contains(
            format == "json" ? HeaderJson::Json::parse(out)[96]["file"].get<std::string>() : out,
            "Y\\x01\\xFF.tkv"));
        EXPECT_EQ(out.find("Z01.tkv"), std::string::npos) << out;
        if (format == "csv") csv = out;
    }
    EXPECT_TRUE(Contains(csv, "\nn\\xC2\\x85x.tkv,A06\r"));
    Records records = SheetTable::Parse(csv, ',');
    for (std::size_t k = 1; k < records.size(); ++k) records[k][1] += "!";
    EXPECT_FALSE(
        Contains(Exits(0, {"sheet", "import", File(0), Sheet(records)}).err, "another program"));
    for (auto [name, well] : {std::pair{"Z01.tkv", "A01!\n"},
                              {"Z02.tkv", "A02!\n"},
                              {"Y\x01\xFF.tkv", "A03!\n"},
                              {"k\\nx.tkv", "A04!\n"},
                              {"k\nx.tkv", "A05!\n"}})
        EXPECT_EQ(Tool({"get", (plate / name).string(), "SAMPLE.WELL"}).out, well);
    // A file that cannot be read needs no row and is left out; names reach the
    // terminal escaped once, as export writes them, without their controls.
    WriteAll((plate / "u\x1B[2J.tkv").string(), Bytes{});
    const ToolRun unreadable = Exits(0, {"sheet", "import", File(0), Sheet(records)});
    EXPECT_TRUE(Contains(unreadable.out, "left out: u\\x1B[2J.tkv (it cannot be read: "));
    std::erase_if(records, [](const auto& record) { return record[0] == "k\\nx.tkv"; });
    const ToolRun noRow = Tool({"sheet", "import", File(0), Sheet(records)});
    EXPECT_TRUE(Contains(noRow.err, "no row for k\\nx.tkv\n"));
    for (const ToolRun* r : {&unreadable, &noRow})
        EXPECT_EQ((r->out + r->err).find('\x1B'), std::string::npos) << r->err;
#endif
}

TEST_F(TkvHdrSheetTest, ADashRemovesTheValueAsDeleteDoes) {
    // Two copies of the plate: one sheet removes A02's owner and A03's gain (a
    // value at the top of a list and one below); the tool's delete does the same
    // on the copy. The files come out byte for byte the same. A06 and A07 store
    // the text "-" (Unicode, ASCII): there the cell means that value, no change.
    ASSERT_EQ(Tool({"set", File(5), "SAMPLE.OWNER", "unicode", "-"}).status, 0);
    ASSERT_EQ(Tool({"set", File(6), "SAMPLE.OWNER", "ascii", "-"}).status, 0);
    const fs::path copy = dir.Path() / "copy";
    fs::copy(plate, copy);
    Records records{{"file", "SAMPLE.OWNER:unicode", "RUN.GAIN:long"}};
    for (int i = 0; i < 96; ++i) records.push_back({Well(i) + ".tkv", "", ""});
    for (auto [row, column] : {std::pair{2, 1}, {3, 2}, {4, 1}, {6, 1}, {7, 1}})
        records[row][column] = "-";
    const ToolRun r = Exits(0, {"sheet", "import", File(0), Sheet(records)});
    EXPECT_TRUE(Contains(r.out, "A02.tkv\tSAMPLE.OWNER\tZo\u00eb\t-\n"));
    EXPECT_TRUE(Contains(r.out, "3 updated, 0 unchanged"));
    for (auto [well, path] :
         {std::pair{"A02", "SAMPLE.OWNER"}, {"A03", "RUN.GAIN"}, {"A04", "SAMPLE.OWNER"}})
        ASSERT_EQ(Tool({"delete", (copy / (std::string(well) + ".tkv")).string(), path}).status, 0);
    EXPECT_EQ(FolderContents(plate), FolderContents(copy));
    // A dash where nothing is stored has nothing to do.
    const ToolRun again = Tool({"sheet", "import", File(0), Sheet(records)});
    EXPECT_TRUE(Contains(again.out, "0 updated, 0 unchanged"));
}

}  // namespace
