// SPDX-License-Identifier: GPL-3.0-or-later
#include "eqgraph/FrequencyResponse.h"
#include "model/ParamStore.h"
#include "model/ValueKinds.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace tr640 {
namespace {

// A microphone as a user leaves it: a high pass, two shelves, a narrow cut
// and a peak, so every family and both guards are on the path.
ParamStore BusyMicrophone() {
    ParamStore store;
    const int bands[kBandsPerMic][kSlotsPerBand] = {
        {kFilterHighPass, 80, 150, 49, 19},
        {kFilterLowShelf, 200, 180, 49, 25},
        {kFilterParametric, 1000, 60, 109, 25},
        {kFilterParametric, 3500, 170, 40, 25},
        {kFilterHighShelf, 9000, 135, 49, 30},
    };
    for (int b = 0; b < kBandsPerMic; ++b)
        for (int slot = 0; slot < kSlotsPerBand; ++slot)
            store.SetShown(BandAddress(0, b, slot), bands[b][slot]);
    return store;
}

// One redraw's numbers: load the five bands from the shown image, design
// them, evaluate 5 x 513 bins, place them and sum them. The gain moves each
// round the way a dragged handle moves it.
void BM_EvaluateMicrophone(benchmark::State& state) {
    ParamStore store = BusyMicrophone();
    auto out = std::make_unique<EqResponse>();
    int gain = 0;
    for (auto _ : state) {
        store.SetShown(BandAddress(0, 3, kSlotGain), gain);
        gain = (gain + 1) % 211;
        EvaluateEq(store, 0, *out);
        benchmark::DoNotOptimize(out->combined.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EvaluateMicrophone)->Unit(benchmark::kMicrosecond);

// One band's bins alone: the logarithms dominate.
void BM_EvaluateBins(benchmark::State& state) {
    const BandSection section = DesignBand(kFilterParametric, -12.0f, 4.0f);
    for (auto _ : state) {
        BinLevels bins = EvaluateBins(section);
        benchmark::DoNotOptimize(bins.data());
    }
}
BENCHMARK(BM_EvaluateBins)->Unit(benchmark::kMicrosecond);

// The designs of all five bands, without the evaluation.
void BM_DesignFiveBands(benchmark::State& state) {
    const EqBands bands = LoadEqBands(BusyMicrophone(), 0);
    for (auto _ : state) {
        for (const EqBand& band : bands) {
            BandSection section = DesignBand(band.type, band.gain, band.q);
            benchmark::DoNotOptimize(section);
        }
    }
}
BENCHMARK(BM_DesignFiveBands)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tr640
