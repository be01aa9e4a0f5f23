// Speed with safety: the crash-safe folder-wide edit against a bare tail rewrite
// (open, read the tail, write it back, truncate, close; no flush), side by side
// on the same folder of 1,000 sample files of 1 MB.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "document/FolderEdit.h"
#include "format/ExampleFile.h"
#include "format/ExtendedHeaderCodec.h"
#include "format/HeaderFile.h"
#include "platform/FileSystem.h"
#include "platform/UserMessages.h"
#include "BenchFolder.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFiles = 1000;
constexpr std::size_t kFileSize = 1 << 20;

fs::path MakeFolder() { return MakeBenchFolder("tkvbench-folder-", kFiles, kFileSize); }

// The baseline: every file's last 4 KiB read and written back in place.
double BareRewrite(const fs::path& folder) {
    std::vector<char> tail(4096);
    const auto start = std::chrono::steady_clock::now();
    for (const auto& e : fs::directory_iterator(folder)) {
        int fd = ::open(e.path().c_str(), O_RDWR);
        const off_t size = ::lseek(fd, 0, SEEK_END);
        const off_t at = size - static_cast<off_t>(tail.size());
        if (::pread(fd, tail.data(), tail.size(), at) < 0 ||
            ::pwrite(fd, tail.data(), tail.size(), at) < 0 || ::ftruncate(fd, size) != 0)
            std::abort();
        ::close(fd);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The folder-wide edit with its journal; each run sets a new value, so every file
// is rewritten.
double SafeFolderEdit(const fs::path& folder, int run) {
    auto root = ExtendedHeader::MakeRoot();
    auto list = std::make_unique<HeaderNode>("RUN", true);
    auto leaf = std::make_unique<HeaderNode>("GAIN", false);
    leaf->value = HeaderElement(ElementType::Long, 1);
    leaf->value.SetLong(0, 100 + run);
    leaf->pending = true;
    HeaderTree::Insert(*HeaderTree::Insert(*root, std::move(list), root.get()), std::move(leaf),
                       root.get());
    Quiet quiet;
    const auto start = std::chrono::steady_clock::now();
    const auto report = FolderEdit::ApplyToFolder(*root, (folder / "S1000.tkv").string(), quiet);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::size_t updated = 0;
    for (const auto& f : report.files) updated += f.outcome == FolderEdit::Outcome::Updated;
    if (updated != kFiles) std::abort();
    return seconds;
}

void BM_SafeFolderEditVsBareRewrite(benchmark::State& state) {
    const fs::path folder = MakeFolder();
    double bare = 0, safe = 0;
    int run = 0;
    for (auto _ : state) {
        const double b = BareRewrite(folder);
        // What the bare rewrite left unwritten is flushed outside both timings, so
        // that the safe edit's one flush pays only for its own writes.
        FileSystem::FlushFileSystem(folder.string());
        const double s = SafeFolderEdit(folder, run++);
        bare += b;
        safe += s;
        state.SetIterationTime(s);
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["bare_files_per_s"] = kFiles * runs / bare;
    state.counters["journaled_files_per_s"] = kFiles * runs / safe;
    state.counters["ratio"] = bare / safe;
    fs::remove_all(folder);
}

}  // namespace

BENCHMARK(BM_SafeFolderEditVsBareRewrite)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
