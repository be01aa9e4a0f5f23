// A plate sheet against the folder-wide edit on the same 384-file plate: three
// columns of per-file values (the sheet read, then applied) against three entries
// set in every file. Each run writes new values, so every file is rewritten.
#include <benchmark/benchmark.h>

#include <chrono>

#include "BenchFolder.h"
#include "document/FolderEdit.h"
#include "document/FolderSheet.h"
#include "model/HeaderNode.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFiles = 384;
// Long values: one stored in every file, two that the first run inserts.
const char* const kPaths[] = {"RUN.GAIN", "SAMPLE.PLATE_POS", "QC.BATCH"};

HeaderElement Long(std::int32_t v) {
    HeaderElement e(ElementType::Long, 1);
    e.SetLong(0, v);
    return e;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double FolderEditRun(const fs::path& folder, int run) {
    auto root = ExtendedHeader::MakeRoot();
    for (const char* path : kPaths) {
        const std::string p = path;
        auto list = std::make_unique<HeaderNode>(p.substr(0, p.find('.')), true);
        HeaderNode* parent = HeaderTree::Find(*root, list->label);
        if (!parent) parent = HeaderTree::Insert(*root, std::move(list), root.get());
        auto leaf = std::make_unique<HeaderNode>(p.substr(p.find('.') + 1), false);
        leaf->value = Long(1000 + run);
        leaf->pending = true;
        HeaderTree::Insert(*parent, std::move(leaf), root.get());
    }
    Quiet quiet;
    const auto start = std::chrono::steady_clock::now();
    RewriteOptions options;
    options.undoWhat = "tkvhdr apply";  // as the tool does: each save keeps its undo record
    const auto report = FolderEdit::ApplyToFolder(*root, (folder / "S1000.tkv").string(), quiet,
                                                  false, {}, options);
    const double s = Seconds(start);
    if (report.Count(FolderEdit::Outcome::Updated) != kFiles) std::abort();
    return s;
}

double SheetRun(const fs::path& folder, int run) {
    Quiet quiet;
    const auto start = std::chrono::steady_clock::now();
    const FolderSheet sheet = FolderSheet::Read((folder / "S1000.tkv").string(),
                                                {std::begin(kPaths), std::end(kPaths)});
    std::vector<FolderSheet::Change> changes;
    for (std::size_t r = 0; r < sheet.Rows().size(); ++r)
        for (std::size_t c = 0; c < 3; ++c)
            changes.push_back({r, c, Long(static_cast<std::int32_t>(2000 + run * 1000 + r + c))});
    RewriteOptions options;
    options.undoWhat = "tkvhdr sheet import";
    const auto result = sheet.Apply(changes, quiet, false, {}, options);
    const double s = Seconds(start);
    if (result.report.Count(FolderEdit::Outcome::Updated) != kFiles) std::abort();
    return s;
}

void BM_PlateSheetVsFolderEdit(benchmark::State& state) {
    const fs::path folder = MakeBenchFolder("tkvbench-plate-", kFiles, 256 << 10);
    // The undo records go beside the plate, not into the home of whoever runs this.
    ::setenv("XDG_STATE_HOME", (folder.string() + "-state").c_str(), 1);
    double edit = 0, sheet = 0;
    int run = 0;
    for (auto _ : state) {
        edit += FolderEditRun(folder, run);
        const double s = SheetRun(folder, run++);
        sheet += s;
        state.SetIterationTime(s);
    }
    state.counters["apply_ms"] = 1000 * edit / static_cast<double>(state.iterations());
    state.counters["sheet_ms"] = 1000 * sheet / static_cast<double>(state.iterations());
    state.counters["sheet_over_apply"] = sheet / edit;
    fs::remove_all(folder);
    fs::remove_all(folder.string() + "-state");
}

}  // namespace

BENCHMARK(BM_PlateSheetVsFolderEdit)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
