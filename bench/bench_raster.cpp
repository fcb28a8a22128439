#include <benchmark/benchmark.h>

#include "raster/BrushStamp.h"
#include "raster/GrayImage.h"

namespace {

// One dab per iteration, walking the centre around the image; the pixel values do not change
// the work done, so the image is never refilled.
void BM_DrawStamp(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    BrushStamp stamp;
    stamp.Build(size, 0);
    GrayImage image;
    image.Create(1028, 768);
    image.Fill(255);
    int x = 100;
    int y = 100;
    for (auto _ : state) {
        image.DrawStamp(stamp, x, y, 0, 255);
        benchmark::ClobberMemory();
        x += 7;
        if (x > 900) {
            x = 100;
            y = y > 600 ? 100 : y + 5;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DrawStamp)->Arg(2)->Arg(25)->Arg(40);

// Erase and reduced pressure take the other arithmetic paths.
void BM_DrawStampErasePressure(benchmark::State& state) {
    BrushStamp stamp;
    stamp.Build(40, 0);
    GrayImage image;
    image.Create(1028, 768);
    image.Fill(0);
    const int pressure = static_cast<int>(state.range(0));
    for (auto _ : state) {
        image.DrawStamp(stamp, 500, 400, 1, pressure);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DrawStampErasePressure)->Arg(255)->Arg(128);

// A 1000-pixel diagonal stroke; items are dabs.
void BM_DrawLine(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    BrushStamp stamp;
    stamp.Build(size, 20);
    GrayImage image;
    image.Create(1028, 768);
    image.Fill(255);
    const int step = size / 4 + 1;
    const int dabs = (1000 + step - 1) / step;
    for (auto _ : state) {
        image.DrawLine(stamp, 10, 20, 1010, 700, 0, 255);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * dabs);
}
BENCHMARK(BM_DrawLine)->Arg(2)->Arg(25);

}  // namespace

BENCHMARK_MAIN();
