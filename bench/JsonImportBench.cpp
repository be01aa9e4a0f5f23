// tkvhdr import and export of one list with many entries: each must stay near
// linear in the entries of a list (reading JSON objects with an ordered map
// made both quadratic). Compare n with 10n.
#include <benchmark/benchmark.h>

#include <string>

#include "cli/HeaderJson.h"
#include "format/ExtendedHeaderCodec.h"

namespace {

std::string FlatJson(int entries) {
    std::string text = "{";
    for (int i = 0; i < entries; ++i) {
        text += (i ? ",\"K" : "\"K") + std::to_string(1000000 + i) +
                "\":{\"type\":\"Long\",\"values\":[" + std::to_string(i) + "]}";
    }
    return text + "}";
}

void BM_ImportFlatList(benchmark::State& state) {
    const std::string text = FlatJson(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto root = HeaderJson::Import(text);
        benchmark::DoNotOptimize(root.get());
    }
    state.counters["entries"] = static_cast<double>(state.range(0));
}

void BM_ExportFlatList(benchmark::State& state) {
    const auto root = HeaderJson::Import(FlatJson(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        std::string out = HeaderJson::Export(*root).dump();
        benchmark::DoNotOptimize(out.data());
    }
}

}  // namespace

BENCHMARK(BM_ImportFlatList)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportFlatList)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
