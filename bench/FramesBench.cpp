// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/FrameSender.h"
#include "link/Frames.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace tr640 {
namespace {

// A transport that only counts: the benchmark measures frame building and
// scrambling, not a device.
class CountingTransport : public ReportTransport {
public:
    std::size_t written = 0;
    bool IsDeviceSelected() const override { return true; }
    std::size_t OutputReportLength() const override { return kFrameBufferSize; }
    void WriteReport(std::span<const std::uint8_t> report) override { written += report.size(); }
    void Log(const std::string&) override {}
};

void BM_BuildCommandFrame(benchmark::State& state) {
    std::int32_t value = 0;
    for (auto _ : state) {
        FrameBuffer f = BuildCommandFrame(proto::kCmdWrite, 0x010E, value++);
        benchmark::DoNotOptimize(f);
    }
}
BENCHMARK(BM_BuildCommandFrame);

void BM_SendScrambledCommand(benchmark::State& state) {
    CountingTransport transport;
    FrameSender sender(transport, [] { return TimeOfDay{12, 34, 56, 789}; });
    sender.MakeLinkKey();
    std::int32_t value = 0;
    for (auto _ : state) sender.SendCommand(proto::kCmdWrite, 0x010E, value++ & 0xFF);
    benchmark::DoNotOptimize(transport.written);
}
BENCHMARK(BM_SendScrambledCommand);

void BM_SendBlock(benchmark::State& state) {
    CountingTransport transport;
    FrameSender sender(transport, [] { return TimeOfDay{12, 34, 56, 789}; });
    sender.MakeLinkKey();
    std::vector<std::uint8_t> block(proto::kBlockDataSize + 1, 0x5A);
    for (auto _ : state) sender.SendBlock(proto::kCmdWrite, proto::kAddrBlockWrite, proto::kBlockPayload, block);
    benchmark::DoNotOptimize(transport.written);
}
BENCHMARK(BM_SendBlock);

}  // namespace
}  // namespace tr640
