// 500 frames of 1028 x 768 line art to MP4 (x264 CRF 18, preset medium, yuv420p, BT.709 tags,
// +faststart) through ExportMovie, against the ffmpeg tool encoding the same gray frames from a
// raw file with the same settings. Each iteration runs both, one after the other and taking turns
// at going first, so that load from elsewhere on the machine falls on both alike. Goal: ours
// within 1.15 x the tool's time. GIF and WebM of the same frames are timed too, once each. Files go
// to $LUMVANE_BENCH_DIR, or a folder in the current directory.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QString>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>

#include "export/MovieExport.h"
#include "raster/BrushStamp.h"
#include "raster/GrayImage.h"

namespace {
constexpr int kFrames = 500;
constexpr int kWidth = 1028;
constexpr int kHeight = 768;
constexpr int kFps = 25;

std::string BenchDir() {
    const char* env = std::getenv("LUMVANE_BENCH_DIR");
    std::string dir = env && *env ? env : "bench_movie_files";
    std::filesystem::create_directories(dir);
    return std::filesystem::absolute(dir).string();
}

// A walking stick figure with swinging limbs in front of a few still strokes, drawn with the
// program's own brush: what a line test looks like.
void DrawFrame(GrayImage& image, const BrushStamp& pen, int k) {
    image.Fill(255);
    const auto line = [&](double x0, double y0, double x1, double y1) {
        image.DrawLine(pen, static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1),
                       static_cast<int>(y1), 0, 230);
    };
    // Ground and a house that stay (y is up: rows are stored bottom-up).
    line(20, 120, 1008, 120);
    line(700, 120, 700, 420);
    line(700, 420, 850, 560);
    line(850, 560, 1000, 420);
    line(1000, 420, 1000, 120);
    const double swing = std::sin(2 * std::numbers::pi * k / 24);
    const double x = 80 + (k % 250) * 2.4;
    const double hip = 330, neck = 520;
    // Head: a polygon of short strokes.
    for (int i = 0; i < 16; ++i) {
        const double a0 = 2 * std::numbers::pi * i / 16, a1 = 2 * std::numbers::pi * (i + 1) / 16;
        line(x + 45 * std::cos(a0), neck + 55 + 45 * std::sin(a0), x + 45 * std::cos(a1),
             neck + 55 + 45 * std::sin(a1));
    }
    line(x, neck, x + 6 * swing, hip);
    for (const double side : {1.0, -1.0}) {
        const double s = side * swing;
        line(x + 6 * swing, hip, x + 70 * s, hip - 100);            // thigh
        line(x + 70 * s, hip - 100, x + 40 * s - 20, 122);          // shin
        line(x, neck - 20, x - 60 * s, neck - 120);                 // upper arm
        line(x - 60 * s, neck - 120, x - 40 * s + 30, neck - 210);  // forearm
    }
}

struct Frames {
    std::unique_ptr<GrayImage[]> images{new GrayImage[kFrames]};
    MovieSource source;
};

const Frames& TheFrames() {
    static Frames* frames = [] {
        auto* f = new Frames;
        BrushStamp pen;
        pen.Build(5, 40);
        for (int k = 0; k < kFrames; ++k) {
            f->images[k].Create(kWidth, kHeight);
            DrawFrame(f->images[k], pen, k);
            f->source.frames.push_back(&f->images[k]);
        }
        return f;
    }();
    return *frames;
}

// The same pictures as raw gray for the tool, top row first.
bool WriteRaw(const Frames& frames, const std::string& path) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    bool ok = true;
    for (int k = 0; k < kFrames; ++k)
        for (int y = kHeight - 1; y >= 0; --y)
            ok =
                ok && std::fwrite(frames.images[k].GetData() + static_cast<std::size_t>(y) * kWidth,
                                  1, kWidth, out) == kWidth;
    return std::fclose(out) == 0 && ok;
}

// CPU seconds of this process (all its threads) or of the children waited for.
double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_Mp4AgainstFfmpegTool(benchmark::State& state) {
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) {
        state.SkipWithError("the ffmpeg tool is not installed");
        return;
    }
    const Frames& frames = TheFrames();
    const std::string dir = BenchDir();
    const std::string raw = dir + "/frames.gray";
    if (!WriteRaw(frames, raw)) {
        state.SkipWithError("cannot write the raw frames");
        return;
    }
    MovieSettings settings;
    settings.format = MovieFormat::Mp4;
    settings.fps = kFps;
    settings.outputPath = QString::fromStdString(dir + "/ours.mp4");
    const std::string tool =
        "ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt gray -s " +
        std::to_string(kWidth) + "x" + std::to_string(kHeight) + " -r " + std::to_string(kFps) +
        " -i '" + raw +
        "' -c:v libx264 -crf 18 -preset medium -pix_fmt yuv420p -color_range tv"
        " -colorspace bt709 -color_primaries bt709 -color_trc bt709 -movflags +faststart '" +
        dir + "/tool.mp4'";
    // Wall time is the goal; CPU time tells the two apart when others load the machine.
    double ours = 0, theirs = 0, oursCpu = 0, theirsCpu = 0;
    bool toolFirst = false;
    for (auto _ : state) {
        const auto runOurs = [&] {
            const auto start = std::chrono::steady_clock::now();
            const double cpu = CpuSeconds(RUSAGE_SELF);
            QString error;
            if (ExportMovie(frames.source, settings, {}, &error) != MOVIE_DONE)
                state.SkipWithError(error.toStdString().c_str());
            oursCpu += CpuSeconds(RUSAGE_SELF) - cpu;
            return Seconds(start);
        };
        const auto runTool = [&] {
            const auto start = std::chrono::steady_clock::now();
            const double cpu = CpuSeconds(RUSAGE_CHILDREN);
            if (std::system(tool.c_str()) != 0) state.SkipWithError("the ffmpeg tool failed");
            theirsCpu += CpuSeconds(RUSAGE_CHILDREN) - cpu;
            return Seconds(start);
        };
        // Taking turns at going first, so that neither always follows the other.
        double o, t;
        if (toolFirst) {
            t = runTool();
            o = runOurs();
        } else {
            o = runOurs();
            t = runTool();
        }
        toolFirst = !toolFirst;
        state.SetIterationTime(o);
        ours += o;
        theirs += t;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ours_s"] = ours / n;
    state.counters["tool_s"] = theirs / n;
    state.counters["ratio"] = ours / theirs;
    state.counters["ours_cpu_s"] = oursCpu / n;
    state.counters["tool_cpu_s"] = theirsCpu / n;
    std::filesystem::remove(dir + "/ours.mp4");
    std::filesystem::remove(dir + "/tool.mp4");
    std::filesystem::remove(raw);
}
// The other two movie formats on the same frames, for the record: no goal.
void BM_OtherFormat(benchmark::State& state) {
    const auto format = static_cast<MovieFormat>(state.range(0));
    MovieSettings settings;
    settings.format = format;
    settings.fps = kFps;
    settings.outputPath = QString::fromStdString(BenchDir() + "/ours.") + MovieExtension(format);
    const Frames& frames = TheFrames();
    for (auto _ : state) {
        QString error;
        if (ExportMovie(frames.source, settings, {}, &error) != MOVIE_DONE)
            state.SkipWithError(error.toStdString().c_str());
    }
    std::filesystem::remove(settings.outputPath.toStdString());
}
}  // namespace

BENCHMARK(BM_OtherFormat)
    ->Arg(static_cast<int>(MovieFormat::Gif))
    ->Arg(static_cast<int>(MovieFormat::WebM))
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_Mp4AgainstFfmpegTool)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(4);

BENCHMARK_MAIN();
