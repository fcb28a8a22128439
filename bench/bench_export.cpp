// Truecolor export of 500 frames of 1028 x 768 against the bare cost of putting the same bytes
// on the same disk with one write per file. Goal: the export within 1.3 x of the raw write.
// Files go to $LUMVANE_BENCH_DIR, or a folder in the current directory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "raster/GrayImage.h"

namespace {
constexpr int kFrames = 500;
constexpr int kWidth = 1028;
constexpr int kHeight = 768;
constexpr std::size_t kFileBytes = 18 + 3 * std::size_t{kWidth} * kHeight;

std::string BenchDir() {
    const char* env = std::getenv("LUMVANE_BENCH_DIR");
    std::string dir = env && *env ? env : "bench_export_files";
    std::filesystem::create_directories(dir);
    return dir;
}

std::string FileName(const std::string& dir, int i) {
    return dir + "/walk" + std::to_string(10000 + i) + ".tga";
}

void RemoveFiles(const std::string& dir) {
    for (int i = 0; i < kFrames; ++i) ::unlink(FileName(dir, i).c_str());
}

void BM_ExportColorTarga500(benchmark::State& state) {
    const std::string dir = BenchDir();
    GrayImage frame;
    frame.Create(kWidth, kHeight);
    for (std::size_t i = 0; i < frame.PixelCount(); ++i)
        frame.GetData()[i] = static_cast<unsigned char>((i * 2654435761u) >> 24);
    for (auto _ : state) {
        for (int i = 0; i < kFrames; ++i)
            if (!frame.WriteColorTarga(FileName(dir, i), {})) state.SkipWithError("write failed");
        state.PauseTiming();
        RemoveFiles(dir);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFrames * kFileBytes);
}

void BM_RawWrite500(benchmark::State& state) {
    const std::string dir = BenchDir();
    std::vector<unsigned char> bytes(kFileBytes, 0x80);
    for (auto _ : state) {
        for (int i = 0; i < kFrames; ++i) {
            const int fd = ::open(FileName(dir, i).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 ||
                ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
                state.SkipWithError("write failed");
            if (fd >= 0) ::close(fd);
        }
        state.PauseTiming();
        RemoveFiles(dir);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFrames * kFileBytes);
}
}  // namespace

BENCHMARK(BM_RawWrite500)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK(BM_ExportColorTarga500)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);

BENCHMARK_MAIN();
