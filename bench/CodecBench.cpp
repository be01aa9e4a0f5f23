// Open and Save costs: decoding and encoding Extended Headers of 1,000 to
// 100,000 entries, flat and nested, and a whole open + resave of a sample file.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>

#include "format/ExtendedHeaderCodec.h"
#include "format/HeaderFile.h"
#include "format/StandardHeader.h"
#include "platform/RandomAccessFile.h"
#include "platform/UserMessages.h"

namespace {

std::string Name(const char* prefix, int n) {
    std::string s(prefix);
    s += std::to_string(n);
    return s;
}

// A tree of `entries` leaves of mixed types; nested: lists of 10, three deep.
std::unique_ptr<HeaderNode> MakeTree(int entries, bool nested) {
    auto root = ExtendedHeader::MakeRoot();
    HeaderNode* lists[3] = {root.get(), root.get(), root.get()};
    for (int i = 0; i < entries; ++i) {
        HeaderNode* parent = root.get();
        if (nested) {
            if (i % 1000 == 0)
                lists[0] = HeaderTree::Insert(
                    *root, std::make_unique<HeaderNode>(Name("L", i / 1000), true), root.get());
            if (i % 100 == 0)
                lists[1] = HeaderTree::Insert(
                    *lists[0], std::make_unique<HeaderNode>(Name("M", i / 100), true), root.get());
            if (i % 10 == 0)
                lists[2] = HeaderTree::Insert(
                    *lists[1], std::make_unique<HeaderNode>(Name("N", i / 10), true), root.get());
            parent = lists[2];
        }
        auto node = std::make_unique<HeaderNode>(Name("ENTRY_", i), false);
        switch (i % 4) {
            case 0:
                node->value = HeaderElement(ElementType::Long, 4);
                break;
            case 1:
                node->value = HeaderElement(std::string_view("sample text value"));
                break;
            case 2:
                node->value = HeaderElement(ElementType::Double, 2);
                break;
            default:
                node->value = HeaderElement(ElementType::Short, 8);
                break;
        }
        HeaderTree::Insert(*parent, std::move(node), root.get());
    }
    return root;
}

// What Save encodes: a tree as Open decoded it (nodes allocated in file order).
std::unique_ptr<HeaderNode> DecodedTree(int entries, bool nested) {
    const auto block = EncodeExtendedHeaderBlock(*MakeTree(entries, nested));
    auto root = ExtendedHeader::MakeRoot();
    DecodeExtendedHeader(block, *root);
    return root;
}

void BM_Encode(benchmark::State& state) {
    auto root = DecodedTree(static_cast<int>(state.range(0)), state.range(1) != 0);
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto block = EncodeExtendedHeaderBlock(*root);
        bytes = block.size();
        benchmark::DoNotOptimize(block.data());
    }
    state.counters["block_bytes"] = static_cast<double>(bytes);
}

// A tree built in code in an order unlike the label order (worst for memory).
void BM_EncodeScattered(benchmark::State& state) {
    auto root = MakeTree(static_cast<int>(state.range(0)), false);
    for (auto _ : state) benchmark::DoNotOptimize(EncodeExtendedHeaderBlock(*root).data());
}

void BM_Decode(benchmark::State& state) {
    auto source = MakeTree(static_cast<int>(state.range(0)), state.range(1) != 0);
    const auto block = EncodeExtendedHeaderBlock(*source);
    for (auto _ : state) {
        auto root = ExtendedHeader::MakeRoot();
        if (!DecodeExtendedHeader(block, *root)) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(root.get());
        state.PauseTiming();
        root.reset();  // tearing the tree down is not part of decoding
        state.ResumeTiming();
    }
}

class NoMessages : public UserMessages {
  public:
    void Show(const std::string&) override {}
    MessageAnswer Ask(const std::string&, MessageButtons) override { return MessageAnswer::Cancel; }
};

// Open (read and decode) and Save (encode and rewrite in place) of a file with
// 1 MB of sample data and an Extended Header of the given size.
void BM_OpenAndResave(benchmark::State& state) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("tkvbench-" + std::to_string(::getpid()) + ".tkv"))
                                 .string();
    {
        std::vector<std::uint8_t> data(1 << 20, 0x5A);
        StandardHeader h;
        h.InitNew();
        h.version = 3.0f;
        h.extendedHeaderOffset = 632;
        auto rec = h.ToBytes();
        RandomAccessFile f(path, RandomAccessFile::Mode::Create);
        f.Write(data.data(), data.size());
        f.Write(rec.data(), rec.size());
        auto root = MakeTree(static_cast<int>(state.range(0)), true);
        NoMessages m;
        WriteHeaders(f, false, true, EncodeExtendedHeader(*root), m);
        f.Close();
    }
    NoMessages messages;
    for (auto _ : state) {
        auto root = ExtendedHeader::MakeRoot();
        StandardHeader record;
        RandomAccessFile in(path, RandomAccessFile::Mode::Read);
        ReadHeaders(in, *root, record, messages);
        in.Close();
        RandomAccessFile out(path, RandomAccessFile::Mode::ReadWrite);
        WriteHeaders(out, false, false, EncodeExtendedHeader(*root), messages);
        out.Close();
    }
    std::remove(path.c_str());
}

}  // namespace

BENCHMARK(BM_Encode)
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}})
    ->ArgNames({"entries", "nested"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeScattered)->Arg(100000)->ArgName("entries")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}})
    ->ArgNames({"entries", "nested"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndResave)
    ->Arg(1000)
    ->Arg(100000)
    ->ArgName("entries")
    ->Unit(benchmark::kMillisecond);
