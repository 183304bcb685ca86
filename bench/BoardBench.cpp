// Frames per second of GrabFrame + ReadFrame against the simulated board on a virtual clock, so that the
// sync waits cost only their polls, beside a plain copy of a frame's 262,144 bytes.
#include "framework/testing/FakeClock.h"
#include "image-library/PGraphic.h"
#include "lusidor/SimulatedBoard.h"
#include "lusidor/vs_drv.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

namespace {

constexpr size_t FrameBytes = size_t(FrameSize) * FrameSize;

void Report(benchmark::State& state) {
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(FrameBytes));
}

void BM_PlainFrameCopy(benchmark::State& state) {
    std::vector<uint8_t> source(FrameBytes), target(FrameBytes);
    for (size_t i = 0; i < FrameBytes; ++i)
        source[i] = uint8_t(i * 7);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), FrameBytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    Report(state);
}

void BM_GrabAndReadFrame(benchmark::State& state) {
    FakeClock clock;
    auto owned = std::make_unique<SimulatedBoard>(0x300, [&clock] { return clock.Now; });
    const SimulatedBoard& board = *owned;
    SetBoardPorts(std::move(owned));
    SetUpPortMap("300");
    ConfigureBoard();
    TPixelGraphic video;
    video.SetFormat(VideoWidth, VideoHeight, 2);
    for (auto _ : state) {
        if (!GrabFrame() || !ReadFrame(&video)) {
            state.SkipWithError("the simulated board gave no frame");
            break;
        }
    }
    if (!board.Violations().isEmpty())
        state.SkipWithError(qPrintable(board.Violations().first()));
    Report(state);
    SetBoardPorts(nullptr);
}

} // namespace

BENCHMARK(BM_PlainFrameCopy);
BENCHMARK(BM_GrabAndReadFrame);
