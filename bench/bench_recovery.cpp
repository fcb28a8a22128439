// What a recovery copy costs the window thread, on 500 frames of 1028 x 768 line art: the
// snapshot with one frame changed and with all frames changed (the worker writes the copy in
// the background, timed as worker_ms), and the start of a stroke on a frame the worker is
// still reading, which copies that one frame first. The figure that matters is the longest
// pause: max_ms in wall time, max_cpu_ms in the window thread's own CPU time (the wall time
// also counts whatever else had the core on a shared machine); the mean is the benchmark's.
#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "document/LumvaneDoc.h"
#include "document/RecoveryCopy.h"
#include "support/FrameAccess.h"

namespace {

constexpr int kFrames = 500;
constexpr int kWidth = 1028;
constexpr int kHeight = 768;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// CPU time of the calling thread: on a shared machine the wall time also holds the time other
// programs had the core.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Line art of about 3 % ink, as in bench_document: 25 drawings, repeated.
CLumvaneDoc& Doc() {
    static std::unique_ptr<CLumvaneDoc> doc;
    if (doc) return *doc;
    doc = std::make_unique<CLumvaneDoc>();
    doc->CreateAnimation(kWidth, kHeight);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> x(0, kWidth - 1), y(0, kHeight - 1), brush(1, 3);
    GrayImage img;
    img.Create(kWidth, kHeight);
    for (int f = 0; f < kFrames; ++f) {
        if (f > 0) doc->OnAddFrame();
        if (f >= 25) {
            doc->m_frames[f] = doc->m_frames[f % 25];
            continue;
        }
        img.Fill(255);
        const std::size_t target = img.PixelCount() * 3 / 100;
        for (std::size_t ink = 0; ink < target;) {
            for (int s = 0; s < 10; ++s)
                img.DrawLine(doc->m_brushes[brush(rng)], x(rng), y(rng), x(rng), y(rng), 0, 255);
            ink = static_cast<std::size_t>(std::count_if(img.GetData(),
                                                         img.GetData() + img.PixelCount(),
                                                         [](unsigned char v) { return v != 255; }));
        }
        frames::Set(*doc, f, img);
    }
    return *doc;
}

// Changes frames first .. first + count - 1 as a stroke would.
void Change(CLumvaneDoc& doc, int first, int count, int value) {
    for (int i = first; i < first + count; ++i) {
        doc.m_nCurrentFrame = i % kFrames;
        doc.m_nDrawBrush = 5;
        doc.BeginStroke();
        doc.StrokeDab(100 + value % 800, doc.m_nHeight - 100, 255);
        doc.EndStroke();
    }
}

void BM_CopySnapshot(benchmark::State& state) {
    const int changed = static_cast<int>(state.range(0));
    CLumvaneDoc& doc = Doc();
    QTemporaryDir dir;
    CRecoveryWriter writer(dir.path());
    writer.Copy(doc);  // the first copy holds every frame
    writer.WaitUntilIdle();
    double longest = 0;
    double longestCpu = 0;
    double worker = 0;
    int round = 0;
    for (auto _ : state) {
        Change(doc, round * 7, changed, round);
        ++round;
        const double c0 = ThreadCpuMs();
        const Clock::time_point t0 = Clock::now();
        if (writer.Copy(doc) != CRecoveryWriter::Result::Started)
            state.SkipWithError("no copy started");
        const Clock::time_point t1 = Clock::now();
        longestCpu = std::max(longestCpu, ThreadCpuMs() - c0);
        writer.WaitUntilIdle();
        const double ms = Ms(t1 - t0);
        state.SetIterationTime(ms / 1000);
        longest = std::max(longest, ms);
        worker += Ms(Clock::now() - t1);
    }
    state.counters["max_ms"] = longest;
    state.counters["max_cpu_ms"] = longestCpu;
    state.counters["worker_ms"] = worker / std::max(1, round);
    state.counters["copy_MB"] = static_cast<double>(QFileInfo(writer.CopyPath()).size()) / 1e6;
    state.SetLabel(changed == 1 ? "one frame changed" : "all frames changed");
}

// Strokes begin, 40 a second (faster than any hand) on frame after frame, for as long as the
// worker writes a copy of all frames (argument 1): each that lands on a frame not yet read
// copies it first. Argument 0 times the same strokes without a copy, as the baseline.
void BM_StrokeStartDuringCopy(benchmark::State& state) {
    const bool copying = state.range(0) != 0;
    CLumvaneDoc& doc = Doc();
    QTemporaryDir dir;
    CRecoveryWriter writer(dir.path());
    std::vector<double> wall;
    double longestCpu = 0;
    int round = 0;
    for (auto _ : state) {
        Change(doc, 0, kFrames, round++);
        if (copying) writer.Copy(doc);
        const std::size_t first = wall.size();
        for (int i = 0; copying ? writer.Busy() : i < 20; ++i) {
            doc.m_nCurrentFrame = (i * 37) % kFrames;
            const double c0 = ThreadCpuMs();
            const Clock::time_point t0 = Clock::now();
            doc.BeginStroke();
            wall.push_back(Ms(Clock::now() - t0));
            longestCpu = std::max(longestCpu, ThreadCpuMs() - c0);
            doc.StrokeDab(10, doc.m_nHeight - 10, 255);
            doc.EndStroke();
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        writer.WaitUntilIdle();
        double total = 0;
        for (std::size_t k = first; k < wall.size(); ++k) total += wall[k];
        state.SetIterationTime(total / 1000);
    }
    std::sort(wall.begin(), wall.end());
    const auto at = [&](double q) {
        return wall.empty() ? 0 : wall[static_cast<std::size_t>(q * (wall.size() - 1))];
    };
    state.counters["median_ms"] = at(0.5);
    state.counters["p99_ms"] = at(0.99);
    state.counters["max_ms"] = at(1);
    state.counters["max_cpu_ms"] = longestCpu;
    state.counters["strokes"] = static_cast<double>(wall.size());
    state.SetLabel(copying ? "while a copy is written" : "no copy");
}

}  // namespace

BENCHMARK(BM_CopySnapshot)
    ->Arg(1)
    ->Arg(kFrames)
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StrokeStartDuringCopy)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(30)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
