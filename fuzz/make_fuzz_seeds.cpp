// Writes seed corpora for the fuzzers from generated files:
//   make_fuzz_seeds DIR  ->  DIR/{decode_block,open_file,parse,merge,journal,sheet,json_import}/...
#include <filesystem>
#include <fstream>
#include <string>

#include "format/ExampleFile.h"
#include "format/ExtendedHeaderCodec.h"
#include "format/HeaderFile.h"
#include "platform/RewriteJournal.h"

namespace fs = std::filesystem;

static void Put(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const fs::path dir = argv[1];
    for (const char* sub :
         {"decode_block", "open_file", "parse", "merge", "journal", "sheet", "json_import"})
        fs::create_directories(dir / sub);
    const auto tree = ExampleFile::MakeTree();
    const auto block = EncodeExtendedHeaderBlock(*tree);
    Put(dir / "decode_block" / "example", block);
    std::vector<std::uint8_t> merge{0x1B};
    merge.insert(merge.end(), block.begin(), block.end());
    Put(dir / "merge" / "example", merge);
    Put(dir / "merge" / "empty", {0x00, 0xFC, 0, 0, 0});
    // A small whole file: 64 bytes of data, the block, the record.
    StandardHeader record = ExampleFile::MakeRecord();
    record.extendedHeaderLength = static_cast<std::uint32_t>(block.size());
    record.extendedHeaderOffset = static_cast<std::uint32_t>(block.size() + StandardHeader::kSize);
    std::vector<std::uint8_t> file(64, 0x11);
    file.insert(file.end(), block.begin(), block.end());
    const auto rec = record.ToBytes();
    file.insert(file.end(), rec.begin(), rec.end());
    Put(dir / "open_file" / "example", file);
    // Journals of one and of two files, without their closing hash (the target
    // adds it).
    {
        RewriteJournal::Entry e;
        e.name = "A01.tkv";
        e.device = 2049;
        e.inode = 1234;
        e.tailStart = 64;
        e.oldLength = file.size();
        const std::vector<std::uint8_t> newTail(block.begin(), block.end());
        RewriteJournal::HashNewTail(
            e, {{std::span<const std::uint8_t>(newTail), std::span<const std::uint8_t>(rec)}});
        std::vector<std::uint8_t> oldTail(file.begin() + 64, file.end());
        auto one = RewriteJournal::Encode({2049, 99, "/data/plate7"}, {e}, {oldTail});
        one.resize(one.size() - 16);
        Put(dir / "journal" / "one", one);
        RewriteJournal::Entry f = e;
        f.name = "A02.tkv";
        f.tailStart = 1000;  // an old tail shorter than the new one: the file grows
        f.oldLength = 1200;
        RewriteJournal::HashNewTail(f, {{std::span<const std::uint8_t>(newTail)}});
        auto two = RewriteJournal::Encode({2049, 99, "/data/plate7"}, {e, f},
                                          {oldTail, std::vector<std::uint8_t>(200, 7)});
        two.resize(two.size() - 16);
        Put(dir / "journal" / "two", two);
    }
    int n = 0;
    for (std::uint8_t type = 0; type < 8; ++type)
        for (const char* text :
             {"1,2,3", " 0x1F ,010", "3.14159,-1e-5", "True,False", "-32768", "caf\xc3\xa9"}) {
            std::vector<std::uint8_t> seed{type};
            for (const char* c = text; *c; ++c) {
                seed.push_back(static_cast<std::uint8_t>(*c));
                seed.push_back(0);
            }
            Put(dir / "parse" / std::to_string(n++), seed);
        }
    // Sheets (the first byte picks the separator) and JSON as tkvhdr writes them.
    const std::string sheet =
        ",file,SAMPLE.WELL:ascii,SAMPLE.OWNER,RUN.GAIN:long\r\nA01.tkv,A01,\"Dr. Z\xc3\xb6, "
        "lab\n2\",5\r\nA02.tkv,-,,\"6\"\r\n";
    Put(dir / "sheet" / "csv", std::vector<std::uint8_t>(sheet.begin(), sheet.end()));
    const std::string json =
        R"({"RUN": {"type": "List", "entries": {"GAIN": {"type": "Long", "values": [5, -1]},)"
        R"( "F": {"type": "Boolean", "values": [true, 7]}}}, "N": {"type": "Unicode", "value":)"
        R"( "Zo\u00eb"}, "U": {"type": "Unknown", "code": 5, "bytes": [1]}})";
    Put(dir / "json_import" / "tree", std::vector<std::uint8_t>(json.begin(), json.end()));
    return 0;
}
