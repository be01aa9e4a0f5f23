// tkvhdr's verbs that read and change single entries, and export/import.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <functional>
#include <sstream>

#include "cli/HeaderJson.h"
#include "format/ExtendedHeaderCodec.h"
#include "support/DocumentFixture.h"
#include "support/ToolRunner.h"

namespace {

class TkvHdrEditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        file = dir.File("a.tkv");
        ASSERT_EQ(Tool({"example", file}).status, 0);
    }
    // Runs a command that must fail with `status` and leave the file as it was.
    std::string FailsUnchanged(std::vector<std::string> args, int status) {
        const Bytes before = ReadAll(file);
        ToolRun r = Tool(std::move(args));
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_EQ(ReadAll(file), before) << "a failed command changes nothing";
        return r.err;
    }
    TempDir dir;
    std::string file;
};

TEST_F(TkvHdrEditTest, GetShowsValuesAsTheListDoes) {
    EXPECT_EQ(Tool({"get", file, "RUN.GAIN"}).out, "5\n");
    EXPECT_EQ(Tool({"get", file, "run.gain"}).out, "5\n") << "labels match without regard to case";
    EXPECT_EQ(Tool({"get", "--hex", file, "ANALYSIS.PEAKS.QUALITY"}).out,
              "0x3f,0x3c,0x3e,0x2a,0x3f,0x3d,0x31,0x3f\n");
    EXPECT_EQ(Tool({"get", file, "RUN.RAMP_VOLTAGES", "--hex"}).out, "1.2,2.4,4.8,8.5,13.2\n");
    EXPECT_EQ(Tool({"get", file, "SAMPLE.OWNER"}).out, "Dr. Zo\u00eb M\u00fcller\n");
    EXPECT_EQ(Tool({"get", file, "RUN"}).out, "\n");
    ToolRun missing = Tool({"get", file, "RUN.NOPE"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("No entry 'RUN.NOPE'"), std::string::npos);
    EXPECT_EQ(Tool({"get", file}).status, 2);
    EXPECT_EQ(Tool({"get", "--bogus", file, "RUN"}).status, 2);
}

TEST_F(TkvHdrEditTest, SetInsertsAndReplacesAsTheEditorDoes) {
    ASSERT_EQ(Tool({"set", file, "run.new.depth", "long", " 0x10 , -3"}).status, 0);
    ToolRun dump = Tool({"dump", file});
    EXPECT_NE(dump.out.find("RUN.NEW\tList\t\n"), std::string::npos) << "new labels in upper case";
    EXPECT_NE(dump.out.find("RUN.NEW.DEPTH\tLong\t16,-3\n"), std::string::npos);
    ASSERT_EQ(Tool({"set", file, "Run.Gain", "SHORT", "7"}).status, 0)
        << "replacing may change the type";
    EXPECT_NE(Tool({"dump", file}).out.find("RUN.GAIN\tShort\t7\n"), std::string::npos);
    ASSERT_EQ(Tool({"set", file, "NOTE", "unicode", "\u00c5 \U0001F9EC"}).status, 0);
    EXPECT_EQ(Tool({"get", file, "NOTE"}).out, "\u00c5 \U0001F9EC\n");
    ASSERT_EQ(Tool({"set", file, "LATIN", "ascii", "caf\u00e9 \u20ac \u2019"}).status, 0);
    EXPECT_EQ(Tool({"get", file, "LATIN"}).out, "caf\u00e9 \u20ac \u2019\n")
        << "ASCII holds what Windows-1252 holds";
    // Text the code page cannot hold is refused, not stored as '?'.
    const Bytes before = ReadAll(file);
    ToolRun omega = Tool({"set", file, "LATIN", "ascii", "\u03a9 ohm"});
    EXPECT_EQ(omega.status, 1);
    EXPECT_NE(omega.err.find("has characters that Windows-1252 cannot hold"), std::string::npos)
        << omega.err;
    EXPECT_EQ(Tool({"set", file, "\u03a9", "long", "1"}).status, 1) << "nor as a label";
    EXPECT_EQ(ReadAll(file), before);
    ASSERT_EQ(Tool({"set", file, "FLAGS", "boolean", "True,false,TRUE"}).status, 0);
    EXPECT_EQ(Tool({"get", file, "FLAGS"}).out, "True,False,True\n");
}

TEST_F(TkvHdrEditTest, SetRefusesBadInputAndChangesNothing) {
    EXPECT_NE(FailsUnchanged({"set", file, "RUN.GAIN", "frob", "1"}, 2).find("unknown type 'frob'"),
              std::string::npos);
    EXPECT_EQ(FailsUnchanged({"set", file, "RUN.GAIN", "byte", "1,256"}, 1),
              "Can't convert element at index 1 to specified type of number\n");
    EXPECT_EQ(FailsUnchanged({"set", file, "X", "float", "1,,2"}, 1),
              "Can't convert element at index 1 to specified type of number\n");
    // A leading zero (octal as the dialogs read it) is refused, not read as 8.
    EXPECT_EQ(FailsUnchanged({"set", file, "RUN.GAIN", "long", "0x10,0, -010"}, 1),
              "Can't convert element at index 2 to specified type of number\n");
    EXPECT_NE(FailsUnchanged({"set", file, "RUN.GAIN.X", "long", "1"}, 1)
                  .find("'RUN.GAIN' is a value, not a list"),
              std::string::npos);
    EXPECT_NE(FailsUnchanged({"set", file, "RUN", "long", "1"}, 1).find("'RUN' is a list"),
              std::string::npos);
    EXPECT_NE(
        FailsUnchanged({"set", file, "RUN..X", "long", "1"}, 2).find("Label must not be empty !"),
        std::string::npos);
    EXPECT_EQ(FailsUnchanged({"set", file, "RUN.GAIN", "long"}, 2),
              "Usage: tkvhdr set FILE PATH TYPE VALUES\n");
    ::chmod(file.c_str(), 0444);
    EXPECT_EQ(FailsUnchanged({"set", file, "RUN.GAIN", "long", "6"}, 1),
              "Cannot save to a read-only file !\n");
    EXPECT_EQ(FailsUnchanged({"delete", file, "RUN.GAIN"}, 1),
              "Cannot save to a read-only file !\n");
    ToolRun none = Tool({"set", dir.File("none.tkv"), "A", "long", "1"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("none.tkv: " + NoSuchFileText()), std::string::npos);
}

// Every front end that writes: each gets `path` (with its TYPE and VALUE) its own way.
std::vector<std::pair<std::string, std::vector<std::string>>> FrontEnds(TempDir& dir,
                                                                        const std::string& file,
                                                                        const std::string& path,
                                                                        const std::string& type,
                                                                        const std::string& value) {
    std::vector<std::string> labels{""};
    for (char c : path) {
        if (c == '.')
            labels.emplace_back();
        else
            labels.back().push_back(c);
    }
    HeaderJson::Json json = {{labels.back(), {{"type", "ASCII"}, {"value", value}}}};
    for (std::size_t k = labels.size() - 1; k-- > 0;)
        json = {{labels[k], {{"type", "List"}, {"entries", json}}}};
    const std::string jsonFile = dir.File("in.json"), sheet = dir.File("in.csv");
    const std::string jsonText =
                          json.dump(-1, ' ', false, HeaderJson::Json::error_handler_t::ignore),
                      sheetText = "file," + path + ":" + type + "\r\n" + "a.tkv," + value + "\r\n";
    WriteAll(jsonFile, Bytes(jsonText.begin(), jsonText.end()));
    WriteAll(sheet, Bytes(sheetText.begin(), sheetText.end()));
    return {{"set", {"set", file, path, type, value}},
            {"apply", {"apply", file, path, type, value}},
            {"import", {"import", file, jsonFile}},
            {"sheet import", {"sheet", "import", file, sheet}}};
}

TEST_F(TkvHdrEditTest, LabelsTheReaderRefusesAreRefusedByEveryFrontEnd) {
    // A NUL ends a stored label early: written, these made files that no longer
    // open, or hidden duplicate entries.
    const std::string paths[] = {std::string("L\0", 2), std::string("SAMPLE.WELL\0.X", 14),
                                 std::string("RUN\0X.GAIN", 10)};
    for (const std::string& path : paths)
        for (const auto& [name, args] : FrontEnds(dir, file, path, "ascii", "v")) {
            const std::string err = FailsUnchanged(args, 1);
            EXPECT_NE(err.find("NUL"), std::string::npos) << name << ": " << err;
        }
    EXPECT_EQ(Tool({"dump", file}).status, 0);
}

TEST_F(TkvHdrEditTest, TextIsStoredExactlyOrRefused) {
    const struct {
        std::string type, value, message;
    } cases[] = {
        {"ascii", std::string("a\0b", 3), "NUL"},
        {"unicode", std::string("a\0b", 3), "NUL"},
        {"unicode", "caf\xC3(", "not valid UTF-8"},
        {"ascii", "\xFF", "not valid UTF-8"},
    };
    for (const auto& c : cases)
        for (const auto& [name, args] : FrontEnds(dir, file, "SAMPLE.NOTE", c.type, c.value)) {
            if (name == "import")
                continue;  // JSON has its own escapes; its parser refuses bad UTF-8
            const std::string err = FailsUnchanged(args, 1);
            EXPECT_NE(err.find(c.message), std::string::npos) << name << ": " << err;
            if (name == "sheet import") {
                EXPECT_NE(err.find("row 2, column 2"), std::string::npos) << err;
            }
        }
}

TEST_F(TkvHdrEditTest, DeleteRemovesAWholeList) {
    ASSERT_EQ(Tool({"delete", file, "analysis.peaks"}).status, 0);
    const std::string out = Tool({"dump", file}).out;
    EXPECT_EQ(out.find("ANALYSIS.PEAKS"), std::string::npos);
    EXPECT_NE(out.find("ANALYSIS.BASECALLER"), std::string::npos);
    EXPECT_NE(FailsUnchanged({"delete", file, "ANALYSIS.PEAKS"}, 1).find("No entry"),
              std::string::npos);
}

// A tree with every hard case of the JSON form.
std::unique_ptr<HeaderNode> HardTree() {
    auto root = ExtendedHeader::MakeRoot();
    AddAt(*root, "Deep.Er.Est.S", HeaderElement(std::string_view("")));
    AddAt(*root, "Deep.U", HeaderElement(std::u16string_view(u"")));
    AddAt(*root, "Text.Latin", HeaderElement(std::string_view("\xE9\xFF\x01\x7F end")));
    AddAt(*root, "Text.Astral", HeaderElement(std::u16string_view(u"\U0001F9EC DNA \u00e9")));
    AddAt(*root, "Text.Lone", HeaderElement(std::u16string_view(u"a\xD800z\xDC00")));
    HeaderElement f(ElementType::Float, 7);
    const float fv[] = {INFINITY, -INFINITY, NAN, -0.0f, 0.1f, 3.4028235e38f, 1.4e-45f};
    for (std::uint32_t i = 0; i < 7; ++i) f.SetFloat(i, fv[i]);
    AddAt(*root, "Real.F", f);
    f.SetUInt32(2, 0x7FA00001);  // a signalling NaN with a payload
    f.SetUInt32(3, 0xFFC00000);  // a negative quiet NaN
    AddAt(*root, "Real.FBits", f);
    HeaderElement d(ElementType::Double, 5);
    d.SetDouble(0, INFINITY);
    d.SetDouble(1, NAN);
    d.SetDouble(2, 4.9406564584124654e-324);
    d.SetDouble(3, 0.1);
    d.SetDouble(4, -1.7976931348623157e308);
    AddAt(*root, "Real.D", d);
    HeaderElement l(ElementType::Long, 2);
    l.SetLong(0, INT32_MIN);
    l.SetLong(1, INT32_MAX);
    AddAt(*root, "Int.L", l);
    HeaderElement s(ElementType::Short, 2);
    s.SetShort(0, -32768);
    s.SetShort(1, 32767);
    AddAt(*root, "Int.S", s);
    HeaderElement b(ElementType::Byte, 2);
    b.SetByte(1, 255);
    AddAt(*root, "Int.B", b);
    HeaderElement bools(ElementType::Boolean, 3);
    bools.SetByte(0, 1);
    bools.SetByte(2, 7);
    AddAt(*root, "Flags", bools);
    AddAt(*root, "Empty", HeaderElement(ElementType::Long, 0));
    AddAt(*root, "Nothing", HeaderElement());
    HeaderElement unknown(9u, 3u);
    unknown.SetByte(0, 0xAB);
    AddAt(*root, "Odd", unknown);
    AddAt(*root, "\xC5ngstr\xF6m", LongValue(1));
    return root;
}

TEST_F(TkvHdrEditTest, ExportImportRoundTripsEveryKindOfValue) {
    // The example file, through files and through standard input.
    const Bytes example = ReadAll(file);
    ToolRun exported = Tool({"export", file});
    ASSERT_EQ(exported.status, 0);
    WriteAll(dir.File("a.json"), Bytes(exported.out.begin(), exported.out.end()));
    ASSERT_EQ(Tool({"import", file, dir.File("a.json")}).status, 0);
    EXPECT_EQ(ReadAll(file), example);
    ASSERT_EQ(Tool({"import", file, "-"}, exported.out).status, 0);
    EXPECT_EQ(ReadAll(file), example);

    // A generated file with every hard case.
    auto tree = HardTree();
    const std::string hard = dir.File("hard.tkv");
    WriteAll(hard, SampleFile(*tree, SampleRecord(), 100, 5));
    ASSERT_EQ(Tool({"resave", hard}).status, 0);
    const Bytes stored = ReadAll(hard);
    ToolRun json = Tool({"export", hard});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"NaN:0x7fa00001\""), std::string::npos);
    EXPECT_NE(json.out.find("\"-Infinity\""), std::string::npos);
    EXPECT_NE(json.out.find("0.1,"), std::string::npos) << "floats in their shortest form";
    EXPECT_NE(json.out.find("\"units\""), std::string::npos) << "unpaired surrogates as code units";
    // Start from a different Extended Header, then import: the same file comes back.
    ASSERT_EQ(Tool({"set", hard, "Int.L", "long", "0"}).status, 0);
    ASSERT_EQ(Tool({"delete", hard, "Real"}).status, 0);
    ToolRun imported = Tool({"import", hard, "-"}, json.out);
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(ReadAll(hard), stored);

    auto back = HeaderJson::Import(json.out);
    // Export writes an entry's type before its values; any order of keys reads
    // the same.
    std::function<nlohmann::ordered_json(const nlohmann::ordered_json&)> reversed =
        [&](const nlohmann::ordered_json& j) {
            if (!j.is_object()) return j;
            nlohmann::ordered_json r = nlohmann::ordered_json::object();
            std::vector<std::pair<std::string, nlohmann::ordered_json>> members;
            for (const auto& [key, value] : j.items()) members.emplace_back(key, reversed(value));
            for (auto it = members.rbegin(); it != members.rend(); ++it) r[it->first] = it->second;
            return r;
        };
    const std::string valuesFirst = reversed(nlohmann::ordered_json::parse(json.out)).dump();
    ASSERT_LT(valuesFirst.find("\"values\""), valuesFirst.find("\"type\""));
    EXPECT_EQ(EncodeExtendedHeaderBlock(*HeaderJson::Import(valuesFirst)),
              EncodeExtendedHeaderBlock(*back));
    RecordingMessages messages;
    AllowEditing allow;
    CTKVEditorDoc doc(messages, allow);
    ASSERT_TRUE(doc.OpenDocumentFile(hard));
    EXPECT_EQ(EncodeExtendedHeaderBlock(*back), EncodeExtendedHeaderBlock(*doc.m_pRoot));
}

TEST_F(TkvHdrEditTest, ImportRefusesInvalidJsonAndChangesNothing) {
    auto refuse = [&](const std::string& json, const std::string& expect) {
        const Bytes before = ReadAll(file);
        ToolRun r = Tool({"import", file, "-"}, json);
        EXPECT_EQ(r.status, 1) << json;
        EXPECT_NE(r.err.find(expect), std::string::npos) << r.err;
        EXPECT_EQ(ReadAll(file), before);
    };
    refuse("{", "JSON: ");
    refuse("[]", "entries must be a JSON object");
    refuse(R"({"A": {"type": "Long", "values": [1]}, "a": {"type": "Long", "values": [2]}})",
           "Label a already exists in parent list !");
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
    refuse(R"({"A": {"type": "Double", "values": [1, "x"]}})", "values must be numbers");
    refuse(R"({"A": {"type": "Byte", "values": [1], "units": [1]}})", "unexpected key 'units'");
    // Containers no entry takes are named by their entry's check, in any order of keys.
    refuse(R"({"A": {"values": [1], "type": "ASCII"}})", "unexpected key 'values'");
    refuse(R"({"A": {"zzz": [{}, [1]], "type": "Long"}})", "unexpected key 'zzz'");
    refuse(R"({"A": {"values": [1, 2]}})", "an entry must be an object with a \"type\"");
    refuse(R"({"A": {"value": {"x": [1]}, "type": "ASCII"}})", "'value' must be a string");
    refuse(R"({"L": {"type": "List", "entries": {"X": {"type": "ASCII", "value": "\u03a9"}}}})",
           "'L.X': has characters that Windows-1252 cannot hold");
    std::string path = "A";  // a path of 100,000 labels: refused, and shown cut short
    for (int k = 0; k < 100000; ++k) path += ".A";
    const ToolRun longPath = Tool({"set", file, path, "long", "1"});
    EXPECT_EQ(longPath.status, 1);
    EXPECT_NE(longPath.err.find("nests lists more than"), std::string::npos) << longPath.err;
    EXPECT_LT(longPath.err.size(), 1000u);
    // Hostile text is quoted cut short in every message.
    const std::string key(100000, 'K'), lower(100000, 'k');
    for (const std::string& json : {"{\"" + key + "\": {\"type\": \"Long\", \"values\": [1]}, \"" +
                                        lower + "\": {\"type\": \"Long\", \"values\": [1]}}",
                                    "{\"A\": {\"type\": \"Long\", \"" + key + "\": 1}}"}) {
        const ToolRun r = Tool({"import", file, "-"}, json);
        EXPECT_EQ(r.status, 1);
        EXPECT_LT(r.err.size(), 1000u) << r.err.substr(0, 300);
    }
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
    EXPECT_NE(FailsUnchanged({"set", file, path101, "long", "1"}, 1)
                  .find("nests lists more than 100 deep"),
              std::string::npos);
    refuse(json101, "lists nest more than 100 deep");
    ASSERT_EQ(Tool({"set", file, path101.substr(2), "long", "1"}).status, 0) << "100 lists hold";
    EXPECT_EQ(Tool({"import", file, dir.File("missing.json")}).status, 1);
}

}  // namespace
