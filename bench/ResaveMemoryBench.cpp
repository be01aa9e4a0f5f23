// Memory of a resave: the heap's peak while a file whose tail (Extended Header
// block, gap and record) is 128 MiB is opened and saved back, against the tail.
// Two kinds of tail: 128 MiB of values in the block, and a small block with a
// 128 MiB gap behind it. Every allocation of this program is counted, so the
// figures are its own, not the allocator's or the page cache's.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <vector>

#include "document/EditPermission.h"
#include "document/TKVEditorDoc.h"
#include "format/ExampleFile.h"
#include "format/ExtendedHeaderCodec.h"
#include "model/HeaderNode.h"
#include "platform/UserMessages.h"

namespace {
std::atomic<std::size_t> g_current{0};
std::atomic<std::size_t> g_peak{0};

void* Counted(std::size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    const std::size_t now = g_current += malloc_usable_size(p);
    std::size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    return p;
}
void Uncounted(void* p) {
    if (!p) return;
    g_current -= malloc_usable_size(p);
    std::free(p);
}
}  // namespace

void* operator new(std::size_t n) {
    return Counted(n);
}
void* operator new[](std::size_t n) {
    return Counted(n);
}
void operator delete(void* p) noexcept {
    Uncounted(p);
}
void operator delete[](void* p) noexcept {
    Uncounted(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Uncounted(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Uncounted(p);
}

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kTail = 128u << 20;

using Quiet = SilentMessages;

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& block, std::size_t gap) {
    StandardHeader record = ExampleFile::MakeRecord();
    record.extendedHeaderLength = static_cast<std::uint32_t>(block.size());
    record.extendedHeaderOffset =
        static_cast<std::uint32_t>(block.size() + gap + StandardHeader::kSize);
    const auto rec = record.ToBytes();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::uint8_t> data(1 << 20, 0x5A);
    bool ok = fd >= 0 &&
              ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size()) &&
              ::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size());
    if (ok && gap)
        ok = ::ftruncate(fd, static_cast<off_t>(data.size() + block.size() + gap)) == 0 &&
             ::lseek(fd, 0, SEEK_END) >= 0;
    ok = ok && ::write(fd, rec.data(), rec.size()) == static_cast<ssize_t>(rec.size());
    if (!ok) std::abort();
    ::close(fd);
}

// Opens and saves the file as `tkvhdr resave` does (with one value changed, so
// that the save writes), and reports the peaks against the tail.
void Resave(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        Quiet quiet;
        AllowEditing allow;
        g_peak = g_current.load();
        const std::size_t start = g_current;
        CTKVEditorDoc doc(quiet, allow);
        if (!doc.OpenDocumentFile(path)) std::abort();
        const std::size_t loaded = g_current;
        const std::size_t openPeak = g_peak;
        g_peak = g_current.load();
        HeaderNode* gain = HeaderTree::Find(*doc.m_pRoot, "RUN");
        if (gain) gain = HeaderTree::Find(*gain, "GAIN");
        if (!gain) std::abort();
        gain->value = HeaderElement(ElementType::Long, 1);
        doc.SetModified(true);
        if (!doc.DoSave(doc.GetPathName())) std::abort();
        const double tail = static_cast<double>(kTail);
        state.counters["document_MiB"] = static_cast<double>(loaded - start) / (1 << 20);
        state.counters["open_peak_per_tail"] = static_cast<double>(openPeak - start) / tail;
        state.counters["save_peak_over_document_per_tail"] =
            static_cast<double>(g_peak - loaded) / tail;
        state.counters["resave_peak_per_tail"] =
            static_cast<double>(std::max(openPeak, g_peak.load()) - start) / tail;
    }
}

void BM_ResaveOfAFileWith128MiBOfValues(benchmark::State& state) {
    const std::string path =
        (fs::temp_directory_path() / ("tkvbench-value-" + std::to_string(::getpid()) + ".tkv"))
            .string();
    {
        auto tree = ExampleFile::MakeTree();
        // One item holds at most 16 MiB - 1, so eight values of a little under
        // 16 MiB each make the 128 MiB (block and record) between them.
        auto raw = std::make_unique<HeaderNode>("RAWTRACE", true);
        HeaderNode* list = HeaderTree::Insert(*tree, std::move(raw), tree.get());
        for (char lane = '1'; lane <= '8'; ++lane) {
            auto value = std::make_unique<HeaderNode>(std::string("LANE") + lane, false);
            value->value = HeaderElement(ElementType::Byte, (kTail - (1 << 16)) / 8);
            HeaderTree::Insert(*list, std::move(value), tree.get());
        }
        WriteFile(path, EncodeExtendedHeaderBlock(*tree), 0);
    }
    Resave(state, path);
    fs::remove(path);
}
BENCHMARK(BM_ResaveOfAFileWith128MiBOfValues)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ResaveOfAFileWithA128MiBGap(benchmark::State& state) {
    const std::string path =
        (fs::temp_directory_path() / ("tkvbench-gap-" + std::to_string(::getpid()) + ".tkv"))
            .string();
    {
        auto tree = ExampleFile::MakeTree();
        const auto block = EncodeExtendedHeaderBlock(*tree);
        WriteFile(path, block, kTail - block.size() - StandardHeader::kSize);
    }
    Resave(state, path);
    fs::remove(path);
}
BENCHMARK(BM_ResaveOfAFileWithA128MiBGap)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
