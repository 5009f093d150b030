// SPDX-License-Identifier: GPL-3.0-or-later
// The preset round trip: what a click on save and a click on load cost,
// without the file dialogs and the disk.

#include "presets/FileSystem.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace {

// Values of every width, so the decimal forms are as long as they get.
tr640::ParamStore FilledStore() {
    tr640::ParamStore store;
    std::int32_t value = 1;
    for (int page = 0; page <= tr640::kLastPage; ++page) {
        for (int index = 0; index <= tr640::kPageCount[page]; ++index) {
            store.SetShown(page, index, value);
            value = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) * 2654435761u);
        }
    }
    return store;
}

void BM_PresetWrite(benchmark::State& state) {
    const tr640::ParamStore store = FilledStore();
    for (auto _ : state) {
        std::string bytes = tr640::JoinPresetLines(tr640::WritePresetLines(store));
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PresetWrite);

void BM_PresetRead(benchmark::State& state) {
    const std::string bytes = tr640::JoinPresetLines(tr640::WritePresetLines(FilledStore()));
    tr640::ParamStore store;
    for (auto _ : state) {
        const tr640::PresetReadResult result = tr640::ReadPresetLines(tr640::SplitPresetLines(bytes), store);
        if (result.outcome != tr640::PresetOutcome::Accepted) state.SkipWithError("preset not accepted");
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_PresetRead);

}  // namespace
