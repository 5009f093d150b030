// SPDX-License-Identifier: GPL-3.0-or-later
// The EQ graph's redraw in the main window, as the refresh timer runs it
// while a handle is dragged: ground, grid, labels, handles, readout and the
// curve on the 829 x 212 bitmap, and its parts on their own.
//   tr640_bench_eqgraph [benchmark options]
// Runs on Qt's offscreen platform; no display is needed.

#include "ui/EqGraph.h"
#include "eqgraph/EqRender.h"
#include "model/ParamAddress.h"
#include "model/ValueKinds.h"
#include "ui/Controls.h"
#include "ui/Program.h"
#include "virtualdevice/VirtualTransport.h"
#include "virtualdevice/VirtualTr640.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainterPath>
#include <QTimer>

#include <memory>

namespace tr640 {
namespace {

// A microphone as a user leaves it: a high pass, two shelves, a narrow cut
// and a peak.
void ShapeBands(ParamStore& store) {
    const int bands[kBandsPerMic][kSlotsPerBand] = {
        {kFilterHighPass, 80, 150, 49, 19},
        {kFilterLowShelf, 200, 180, 49, 25},
        {kFilterParametric, 1000, 60, 109, 25},
        {kFilterParametric, 3500, 170, 40, 25},
        {kFilterHighShelf, 9000, 135, 49, 30},
    };
    for (int b = 0; b < kBandsPerMic; ++b)
        for (int slot = 0; slot < kSlotsPerBand; ++slot) store.SetShown(BandAddress(0, b, slot), bands[b][slot]);
}

// The program with its main window shown (offscreen) and nothing ticking.
struct Rig {
    VirtualTr640 device;
    VirtualTransport transport{device};
    Program program{transport};
    Rig() {
        program.Start();
        program.mainWindow().Timer1->stop();
        ShapeBands(program.store());
    }
};

// Made in main, after the application object and gone before it.
Rig* theRig = nullptr;
Rig& TheRig() { return *theRig; }

// The whole redraw with the dragged band's readout; the gain moves every
// round as a vertical drag moves it.
void BM_DrawEq(benchmark::State& state) {
    Rig& rig = TheRig();
    int gain = 0;
    for (auto _ : state) {
        rig.program.store().SetShown(BandAddress(0, 3, kSlotGain), gain);
        gain = (gain + 7) % 211;
        rig.program.eqGraph().DrawEq(3, 0);
        benchmark::DoNotOptimize(rig.program.mainWindow().Image1->Bitmap().constBits());
    }
}
BENCHMARK(BM_DrawEq)->Unit(benchmark::kMicrosecond);

// The graph's set-up alone: ground, grid and label placement.
void BM_SetUpGraph(benchmark::State& state) {
    Rig& rig = TheRig();
    for (auto _ : state) rig.program.eqGraph().SetUpGraph(false);
}
BENCHMARK(BM_SetUpGraph)->Unit(benchmark::kMicrosecond);

// Painting only, on a bare bitmap: ground and grid.
void BM_PaintGround(benchmark::State& state) {
    QImage image(kGraphWidth, kGraphHeight, QImage::Format_RGB32);
    GraphScale scale;
    scale.SetUp(kGraphWidth, kGraphHeight);
    for (auto _ : state) {
        PaintGround(image, MakeGridLines(scale));
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PaintGround)->Unit(benchmark::kMicrosecond);

// The curve's 512 segments stroked antialiased.
void BM_PaintCurve(benchmark::State& state) {
    Rig& rig = TheRig();
    rig.program.eqGraph().DrawEq(3, 0);
    const CurvePoints points = rig.program.eqGraph().Points();
    QImage image(kGraphWidth, kGraphHeight, QImage::Format_RGB32);
    image.fill(Qt::black);
    for (auto _ : state) {
        PaintCurve(image, points);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PaintCurve)->Unit(benchmark::kMicrosecond);

// Building the path: the spline's control points.
void BM_CurvePath(benchmark::State& state) {
    Rig& rig = TheRig();
    rig.program.eqGraph().DrawEq(3, 0);
    const CurvePoints points = rig.program.eqGraph().Points();
    for (auto _ : state) {
        QPainterPath path = CurvePath(points);
        benchmark::DoNotOptimize(path.elementCount());
    }
}
BENCHMARK(BM_CurvePath)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tr640

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    auto rig = std::make_unique<tr640::Rig>();
    tr640::theRig = rig.get();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
