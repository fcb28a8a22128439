// Saving and loading 500 frames of 1028 x 768: blank, line art of about 3 % ink, and
// alternating pixels (the worst case, one run per pixel). Throughput is in bytes of pixels per
// second of wall time. Frames are kept as their runs, so a load reads and checks runs without
// decoding them; the run decoder alone into memory in use shows what decoding every frame
// would cost, and a frame's encoding and decoding what a stroke's end and a frame shown cost.
//
//   bench_document [benchmark flags]     the benchmarks, then resident memory after an open
//   bench_document --measure-rss FILE    (internal) opens FILE and prints VmHWM and VmRSS
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "document/LumvaneDoc.h"
#include "framework/Archive.h"
#include "raster/CompactImage.h"
#include "raster/RunLength.h"
#include "support/ScriptedUi.h"

namespace {

constexpr int kFrames = 500;
constexpr int kWidth = 1028;
constexpr int kHeight = 768;
constexpr std::int64_t kPixels = std::int64_t{kFrames} * kWidth * kHeight;

enum Kind { Blank = 0, LineArt = 1, Alternating = 2 };
const char* const kKindNames[] = {"blank", "lineart", "alternating"};

// Line art: strokes of the small brushes until about 3 % of the pixels carry ink.
void DrawLineArt(CLumvaneDoc& doc, GrayImage& img, std::mt19937& rng) {
    img.Fill(255);
    std::uniform_int_distribution<int> x(0, kWidth - 1), y(0, kHeight - 1), brush(1, 3);
    const std::size_t target = img.PixelCount() * 3 / 100;
    std::size_t ink = 0;
    while (ink < target) {
        for (int s = 0; s < 10; ++s)
            img.DrawLine(doc.m_brushes[brush(rng)], x(rng), y(rng), x(rng), y(rng), 0, 255);
        ink = 0;
        const unsigned char* p = img.GetData();
        for (std::size_t i = 0; i < img.PixelCount(); ++i) ink += p[i] != 255;
    }
}

std::unique_ptr<CLumvaneDoc> MakeDoc(Kind kind) {
    auto doc = std::make_unique<CLumvaneDoc>();
    doc->CreateAnimation(kWidth, kHeight);
    std::mt19937 rng(7);
    constexpr int kDistinct = 25;  // line-art frames drawn, then repeated
    GrayImage img;
    img.Create(kWidth, kHeight);
    for (int f = 0; f < kFrames; ++f) {
        if (f > 0) doc->OnAddFrame();
        img.Fill(255);
        switch (kind) {
            case Blank:
                break;
            case LineArt:
                if (f >= kDistinct) {
                    doc->m_frames[f] = doc->m_frames[f % kDistinct];
                    continue;
                }
                DrawLineArt(*doc, img, rng);
                break;
            case Alternating:
                for (std::size_t i = 0; i < img.PixelCount(); ++i)
                    img.GetData()[i] = (i + static_cast<std::size_t>(f)) % 2 ? 0 : 255;
                break;
        }
        doc->m_frames[f] = CompactImage::Encode(img);
    }
    return doc;
}

// One animation at a time is kept, since each holds 395 MB of pixels.
CLumvaneDoc& Doc(Kind kind) {
    static std::unique_ptr<CLumvaneDoc> doc;
    static int which = -1;
    if (which != kind) {
        doc.reset();
        doc = MakeDoc(kind);
        which = kind;
    }
    return *doc;
}

std::string FilePath(Kind kind) {
    return std::string("/tmp/lumvane_bench_") + kKindNames[kind] + ".anm";
}

// Takes whatever is written, to time the encoder without a device.
class NullDevice : public QIODevice {
  public:
    qint64 written = 0;
    NullDevice() { open(QIODevice::WriteOnly); }

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 len) override {
        written += len;
        return len;
    }
};

void BM_SaveFile(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    CLumvaneDoc& doc = Doc(kind);
    CScriptedUi ui;
    const QString path = QString::fromStdString(FilePath(kind));
    for (auto _ : state)
        if (!doc.OnSaveDocument(path)) state.SkipWithError("save failed");
    state.SetBytesProcessed(state.iterations() * kPixels);
    state.counters["file_MB"] = static_cast<double>(QFile(path).size()) / 1e6;
    state.SetLabel(kKindNames[kind]);
}

void BM_LoadFile(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    const QString path = QString::fromStdString(FilePath(kind));
    if (!QFile::exists(path)) {
        CScriptedUi ui;
        Doc(kind).OnSaveDocument(path);
    }
    CScriptedUi ui;
    CLumvaneDoc doc;
    for (auto _ : state)
        if (!doc.OnOpenDocument(path)) state.SkipWithError("open failed");
    state.SetBytesProcessed(state.iterations() * kPixels);
    state.SetLabel(kKindNames[kind]);
}

void BM_EncodeMemory(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    CLumvaneDoc& doc = Doc(kind);
    for (auto _ : state) {
        NullDevice sink;
        CArchive ar(&sink, CArchive::store);
        doc.Serialize(ar);
        ar.Flush();
        benchmark::DoNotOptimize(sink.written);
    }
    state.SetBytesProcessed(state.iterations() * kPixels);
    state.SetLabel(kKindNames[kind]);
}

void BM_DecodeMemory(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    QByteArray bytes;
    {
        QBuffer buf(&bytes);
        buf.open(QIODevice::WriteOnly);
        CArchive ar(&buf, CArchive::store);
        Doc(kind).Serialize(ar);
        ar.Flush();
    }
    CLumvaneDoc doc;
    for (auto _ : state) {
        QBuffer buf(&bytes);
        buf.open(QIODevice::ReadOnly);
        CArchive ar(&buf, CArchive::load);
        doc.Serialize(ar);
    }
    state.SetBytesProcessed(state.iterations() * kPixels);
    state.SetLabel(kKindNames[kind]);
}

// A 1920 x 1080 line-art frame encoded, as at the end of every stroke, and decoded, as when a
// frame not kept decoded is shown.
void BM_FrameEncode(benchmark::State& state) {
    CLumvaneDoc doc;
    GrayImage img;
    img.Create(1920, 1080);
    img.Fill(255);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> x(0, 1919), y(0, 1079);
    // about 3 % ink, as DrawLineArt makes it
    while (true) {
        for (int s = 0; s < 10; ++s)
            img.DrawLine(doc.m_brushes[2], x(rng), y(rng), x(rng), y(rng), 0, 255);
        std::size_t ink = 0;
        for (std::size_t i = 0; i < img.PixelCount(); ++i) ink += img.GetData()[i] != 255;
        if (ink > img.PixelCount() * 3 / 100) break;
    }
    const bool decode = state.range(0) != 0;
    const CompactImage encoded = CompactImage::Encode(img);
    for (auto _ : state) {
        if (decode) {
            encoded.Decode(img.GetData());
            benchmark::ClobberMemory();
        } else {
            benchmark::DoNotOptimize(CompactImage::Encode(img));
        }
    }
    state.counters["runs_KB"] = static_cast<double>(encoded.Bytes()) / 1024;
    state.SetLabel(decode ? "decode" : "encode");
}

// The run decoder alone, into frames already in memory.
void BM_DecodeWarm(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    QByteArray bytes;
    {
        QBuffer buf(&bytes);
        buf.open(QIODevice::WriteOnly);
        CArchive ar(&buf, CArchive::store);
        Doc(kind).Serialize(ar);
        ar.Flush();
    }
    const std::size_t frameBytes = std::size_t{kWidth} * kHeight;
    std::vector<std::unique_ptr<unsigned char[]>> frames;
    for (int f = 0; f < kFrames; ++f) {
        frames.emplace_back(new unsigned char[frameBytes]);
        std::memset(frames.back().get(), 1, frameBytes);
    }
    for (auto _ : state) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData()) + 32;
        const auto* end = reinterpret_cast<const unsigned char*>(bytes.constData()) + bytes.size();
        for (int f = 0; f < kFrames; ++f) {
            raster::RunDecoder dec(frames[f].get(), frameBytes);
            p += 8;
            p += dec.Feed(p, static_cast<std::size_t>(end - p));
            if (!dec.Done()) state.SkipWithError("decode failed");
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kPixels);
    state.SetLabel(kKindNames[kind]);
}

// Kinds in the order that keeps one animation in memory at a time.
// 100 ordinary strokes (a 4-pixel brush, 200 pixels long) on a 1920 x 1080 line-art frame
// kept by the undo history, then Undo and Redo of one of them. The history's size is reported.
void BM_UndoRedoStroke(benchmark::State& state) {
    CLumvaneDoc doc;
    doc.CreateAnimation(1920, 1080);
    doc.SetUndoDepth(100);
    doc.m_nDrawBrush = 2;
    std::mt19937 rng(11);
    for (int i = 0; i < 100; ++i) {
        const int x = static_cast<int>(rng() % 1600);
        const int y = static_cast<int>(rng() % 900);
        doc.BeginStroke();
        doc.StrokeDab(x, y, 255);
        for (int k = 1; k <= 10; ++k)
            doc.StrokeLine(x + 20 * (k - 1), y + (k % 3), x + 20 * k, y + ((k + 1) % 3), 255);
        doc.EndStroke();
    }
    state.counters["history_MB"] = static_cast<double>(doc.History().Bytes()) / (1 << 20);
    for (auto _ : state) {
        doc.OnEditUndo();
        doc.OnEditRedo();
    }
}
BENCHMARK(BM_UndoRedoStroke)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_FrameEncode)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncodeMemory)->Arg(Blank)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeWarm)->Arg(Blank)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeMemory)->Arg(Blank)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveFile)->Arg(Blank)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFile)->Arg(Blank)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncodeMemory)->Arg(LineArt)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeWarm)->Arg(LineArt)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeMemory)->Arg(LineArt)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveFile)->Arg(LineArt)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFile)->Arg(LineArt)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncodeMemory)->Arg(Alternating)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeWarm)->Arg(Alternating)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveFile)->Arg(Alternating)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFile)->Arg(Alternating)->Unit(benchmark::kMillisecond)->UseRealTime();

long StatusKb(const char* key) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kb = -1;
    const std::size_t n = std::strlen(key);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, key, n) == 0) kb = std::strtol(line + n + 1, nullptr, 10);
    std::fclose(f);
    return kb;
}

// In a fresh process: resident memory before and after opening the file, and how long the
// open took with memory that no earlier load of this process had touched.
int MeasureRss(const char* path) {
    CScriptedUi ui;
    CLumvaneDoc doc;
    doc.CreateAnimation(644, 480);  // as after start-up's New
    const long before = StatusKb("VmRSS:");
    const auto start = std::chrono::steady_clock::now();
    if (!doc.OnOpenDocument(QString::fromLocal8Bit(path))) return 1;
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::printf("rss_before_kB=%ld peak_kB=%ld steady_kB=%ld frames_kB=%lld first_open_ms=%.0f\n",
                before, StatusKb("VmHWM:"), StatusKb("VmRSS:"),
                static_cast<long long>(kPixels / 1024), took.count());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--measure-rss") == 0) return MeasureRss(argv[2]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Memory once a 500-frame line-art file is open.
    const std::string path = FilePath(LineArt);
    if (!QFile::exists(QString::fromStdString(path))) {
        CScriptedUi ui;
        Doc(LineArt).OnSaveDocument(QString::fromStdString(path));
    }
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
    const std::string cmd = std::string(self) + " --measure-rss " + path;
    std::fflush(stdout);
    if (std::system(cmd.c_str()) != 0) std::printf("memory measurement failed\n");
    return 0;
}
