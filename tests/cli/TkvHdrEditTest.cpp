// tkvhdr's verbs that read and change single entries, and export/import.

#include "cli/CliSupport.h"
#include "cli/HeaderJson.h"

namespace {

class TkvHdrEditTest : public ::testing::Test {
  protected:
    void SetUp() override { Exits(0, {"example", file}); }
    // Every front end that writes: each gets `path` (with its TYPE and VALUE)
    // its own way.
    std::vector<std::pair<std::string, std::vector<std::string>>> FrontEnds(
        const std::string& path, const std::string& type, const std::string& value) {
        std::vector<std::string> labels;
        std::istringstream in(path);
        for (std::string label; std::getline(in, label, '.');) labels.push_back(label);
        HeaderJson::Json json = {{labels.back(), {{"type", "ASCII"}, {"value", value}}}};
        for (std::size_t k = labels.size() - 1; k-- > 0;)
            json = {{labels[k], {{"type", "List"}, {"entries", json}}}};
        const std::string jsonText =
            json.dump(-1, ' ', false, HeaderJson::Json::error_handler_t::ignore);
        return {{"set", {"set", file, path, type, value}},
                {"apply", {"apply", file, path, type, value}},
                {"import", {"import", file, WriteText(dir.File("in.json"), jsonText)}},
                {"sheet import",
                 {"sheet", "import", file,
                  WriteText(dir.File("in.csv"),
                            "file," + path + ":" + type + "\na.tkv," + value + "\n")}}};
    }
    TempDir dir;
    std::string file = dir.File("a.tkv");
};

TEST_F(TkvHdrEditTest, GetShowsValuesAsTheListDoesAndSetAndDeleteChangeThemAsTheEditorDoes) {
    // (A plain get, and labels matched without regard to case, are the script test's.)
    EXPECT_EQ(Tool({"get", "--hex", file, "ANALYSIS.PEAKS.QUALITY"}).out,
              "0x3f,0x3c,0x3e,0x2a,0x3f,0x3d,0x31,0x3f\n");
    EXPECT_EQ(Tool({"get", file, "RUN.RAMP_VOLTAGES", "--hex"}).out, "1.2,2.4,4.8,8.5,13.2\n");
    EXPECT_EQ(Tool({"get", file, "RUN"}).out, "\n");
    EXPECT_TRUE(
        Contains(FailsUnchanged(file, {"get", file, "RUN.NOPE"}, 1), "No entry 'RUN.NOPE'"));
    EXPECT_EQ(Tool({"get", "--bogus", file, "RUN"}).status, 2);

    // Set inserts and replaces as the editor does.
    ASSERT_EQ(Tool({"set", file, "run.new.depth", "long", " 0x10 , -3"}).status, 0);
    ASSERT_EQ(Tool({"set", file, "Run.Gain", "SHORT", "7"}).status, 0)
        << "replacing may change the type";
    const std::string dump = Tool({"dump", file}).out;
    EXPECT_TRUE(Contains(dump, "RUN.NEW.DEPTH\tLong\t16,-3\n"));  // new labels in upper case
    EXPECT_TRUE(Contains(dump, "RUN.GAIN\tShort\t7\n"));
    // What goes in comes back out; ASCII holds what Windows-1252 holds.
    for (auto [label, type, value, shown] :
         {std::tuple{"NOTE", "unicode", "\u00c5 \U0001F9EC", "\u00c5 \U0001F9EC"},
          {"LATIN", "ascii", "caf\u00e9 \u20ac \u2019", "caf\u00e9 \u20ac \u2019"},
          {"FLAGS", "boolean", "True,false,TRUE", "True,False,True"}}) {
        ASSERT_EQ(Tool({"set", file, label, type, value}).status, 0) << label;
        EXPECT_EQ(Tool({"get", file, label}).out, std::string(shown) + "\n");
    }
    // Delete removes a whole list.
    Exits(0, {"delete", file, "analysis.peaks"});
    EXPECT_TRUE(Contains(Tool({"dump", file}).out, "ANALYSIS.BASECALLER"));
    EXPECT_TRUE(Contains(FailsUnchanged(file, {"delete", file, "ANALYSIS.PEAKS"}, 1), "No entry"));
}

TEST_F(TkvHdrEditTest, SetRefusesBadInputAndChangesNothing) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {{"RUN.GAIN", "frob", "1"}, 2, "unknown type 'frob'"},
        {{"RUN.GAIN", "byte", "1,256"}, 1, "Can't convert element at index 1 to specified type"},
        // A leading zero (octal as the dialogs read it) is refused, not read as 8.
        {{"RUN.GAIN", "long", "0x10,0, -010"}, 1, "Can't convert element at index 2"},
        {{"RUN.GAIN.X", "long", "1"}, 1, "'RUN.GAIN' is a value, not a list"},
        {{"RUN", "long", "1"}, 1, "'RUN' is a list"},
        {{"RUN..X", "long", "1"}, 2, "Label must not be empty !"},
        {{"RUN.GAIN", "long"}, 2, "Usage: tkvhdr set FILE PATH TYPE VALUES\n"},
        // Text the code page cannot hold is refused, not stored as '?'.
        {{"LATIN", "ascii", "\u03a9 ohm"}, 1, "has characters that Windows-1252 cannot hold"},
        {{"\u03a9", "long", "1"}, 1, ""},  // nor as a label
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"set", file};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_TRUE(Contains(FailsUnchanged(file, args, c.status), c.message));
    }
}

TEST_F(TkvHdrEditTest, LabelsAndTextTheReaderRefusesAreRefusedByEveryFrontEnd) {
    // A NUL ends a stored label early: written, these made files that no longer
    // open, or hidden duplicate entries. Text is stored exactly or refused.
    const struct {
        std::string path, type, value, message;
    } cases[] = {
        {std::string("L\0", 2), "ascii", "v", "NUL"},
        {std::string("SAMPLE.WELL\0.X", 14), "ascii", "v", "NUL"},
        {std::string("RUN\0X.GAIN", 10), "ascii", "v", "NUL"},
        {"SAMPLE.NOTE", "ascii", std::string("a\0b", 3), "NUL"},
        {"SAMPLE.NOTE", "unicode", std::string("a\0b", 3), "NUL"},
        {"SAMPLE.NOTE", "unicode", "caf\xC3(", "not valid UTF-8"},
        {"SAMPLE.NOTE", "ascii", "\xFF", "not valid UTF-8"},
    };
    for (const auto& c : cases)
        for (const auto& [name, args] : FrontEnds(c.path, c.type, c.value)) {
            const bool text = c.path == "SAMPLE.NOTE";
            if (name == "import" && text)
                continue;  // JSON has its own escapes; its parser refuses bad UTF-8
            SCOPED_TRACE(name + " " + c.value);
            const std::string err = FailsUnchanged(file, args, 1);
            EXPECT_TRUE(Contains(err, c.message));
            EXPECT_TRUE(Contains(err, name == "sheet import" && text ? "row 2, column 2" : ""));
        }
}

// Export, change the file, import: the same bytes come back (the example file's
// round trip is the script test's).
TEST_F(TkvHdrEditTest, ExportImportRoundTripsEveryKindOfValue) {
    const std::string hard = dir.File("hard.tkv");
    WriteAll(hard, SampleFile(*HardTree(), SampleRecord(), 100, 5));
    ASSERT_EQ(Tool({"resave", hard}).status, 0);
    const Bytes stored = ReadAll(hard);
    const ToolRun json = Exits(0, {"export", hard});
    for (const char* part : {"\"NaN:0x7fa00001\"", "\"-Infinity\"",
                             "0.1,",        // floats in their shortest form
                             "\"units\""})  // unpaired surrogates as code units
        EXPECT_TRUE(Contains(json.out, part));
    auto changeThenImport = [&](const std::string& text) {
        Exits(0, {"set", hard, "Int.L", "long", "0"});
        Exits(0, {"delete", hard, "Real"});
        Exits(0, {"import", hard, WriteText(dir.File("hard.json"), text)});
        EXPECT_EQ(ReadAll(hard), stored);
    };
    changeThenImport(json.out);

    // Export writes an entry's type before its values; any order of keys reads
    // the same.
    using Json = nlohmann::ordered_json;
    std::function<Json(const Json&)> reversed = [&](const Json& j) {
        if (!j.is_object()) return j;
        Json r = Json::object();
        const auto& members = j.get_ref<const Json::object_t&>();  // in their order
        for (auto it = members.rbegin(); it != members.rend(); ++it)
            r[it->first] = reversed(it->second);
        return r;
    };
    const std::string valuesFirst = reversed(Json::parse(json.out)).dump();
    ASSERT_LT(valuesFirst.find("\"values\""), valuesFirst.find("\"type\""));
    changeThenImport(valuesFirst);
}

TEST_F(TkvHdrEditTest, ImportRefusesInvalidJsonAndChangesNothing) {
    auto refuse = [&](const std::string& json, const std::string& expect) {
        SCOPED_TRACE(json.substr(0, 200));
        EXPECT_TRUE(Contains(FailsUnchanged(file, {"import", file, "-"}, 1, json), expect));
    };
    refuse("{", "JSON: ");
    refuse("[]", "entries must be a JSON object");
    refuse(R"({"A.B": {"type": "Long", "values": [1]}})", "the label holds a period");
    refuse(R"({"L": {"type": "List", "entries": {"A": {"type": "Long", "values": [1]},
                                                  "A": {"type": "Long", "values": [2]}}}})",
           "'L.entries': duplicate key 'A'");
    refuse(R"({"": {"type": "Long", "values": [1]}})", "the label is empty");
    refuse(R"({"A": {"type": "Long", "values": [2147483648]}})", "outside");
    refuse(R"({"A": {"type": "Byte", "values": [-1]}})", "outside");
    refuse(R"({"A": {"type": "Float", "values": [1e39]}})", "too large for a Float");
    refuse(R"({"A": {"type": "Double", "values": ["NaN:0x1"]}})", "values must be numbers");
    refuse(R"({"A": {"type": "Sparkly", "values": []}})", "unknown type 'Sparkly'");
    refuse(R"({"A": {"type": "Long", "value": [1]}})", "unexpected key 'value'");
    // Values read before or after the entry's type meet the same checks.
    for (const char* values : {R"("values": [1, [2]])", R"("values": [1, {"x": 2}])"}) {
        refuse(std::string(R"({"A": {"type": "Long", )") + values + "}}",
               "values must be integers");
        refuse(std::string(R"({"A": {)") + values + R"(, "type": "Long"}})",
               "values must be integers");
    }
    refuse(R"({"A": {"units": [65, 0], "type": "Unicode"}})", "outside 1 to 65535");
    refuse(R"({"A": {"type": "Unicode", "units": [65, 65536]}})", "outside 1 to 65535");
    // Containers no entry takes are named by their entry's check, in any order of keys.
    refuse(R"({"A": {"values": [1], "type": "ASCII"}})", "unexpected key 'values'");
    refuse(R"({"A": {"zzz": [{}, [1]], "type": "Long"}})", "unexpected key 'zzz'");
    refuse(R"({"A": {"values": [1, 2]}})", "an entry must be an object with a \"type\"");
    refuse(R"({"A": {"value": {"x": [1]}, "type": "ASCII"}})", "'value' must be a string");
    refuse(R"({"L": {"type": "List", "entries": {"X": {"type": "ASCII", "value": "\u03a9"}}}})",
           "'L.X': has characters that Windows-1252 cannot hold");
    // Hostile text is quoted cut short in every message: a path of 100,000
    // labels, and keys of 100,000 characters.
    std::string path = "A";
    for (int k = 0; k < 100000; ++k) path += ".A";
    EXPECT_LT(FailsUnchanged(file, {"set", file, path, "long", "1"}, 1).size(), 1000u);
    const std::string key(100000, 'K'), lower(100000, 'k');
    for (const std::string& json : {"{\"" + key + "\": {\"type\": \"Long\", \"values\": [1]}, \"" +
                                        lower + "\": {\"type\": \"Long\", \"values\": [1]}}",
                                    "{\"A\": {\"type\": \"Long\", \"" + key + "\": 1}}"})
        EXPECT_LT(FailsUnchanged(file, {"import", file, "-"}, 1, json).size(), 1000u);
    std::string deep;  // nesting no header can have, refused before it costs memory
    for (int k = 0; k < 100000; ++k) deep += "{\"a\":";
    refuse(deep, "nests deeper than a header can");
    refuse(std::string(100000, '['), "nests deeper than a header can");
    // One list more than the deepest a header holds (100 lists and a leaf), by
    // path and by JSON.
    std::string path101 = "L", json101 = R"({"V": {"type": "Long", "values": [1]}})";
    for (int k = 0; k < 101; ++k) {
        path101 += ".L";
        json101 = R"({"L": {"type": "List", "entries": )" + json101 + "}}";
    }
    EXPECT_TRUE(Contains(FailsUnchanged(file, {"set", file, path101, "long", "1"}, 1),
                         "nests lists more than 100 deep"));
    refuse(json101, "lists nest more than 100 deep");
    ASSERT_EQ(Tool({"set", file, path101.substr(2), "long", "1"}).status, 0) << "100 lists hold";
    EXPECT_EQ(Tool({"import", file, dir.File("missing.json")}).status, 1);
}

}  // namespace
