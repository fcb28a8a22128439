// Importing 500 scans of 1920 x 1080 JPEG into a 1024 x 768 animation with auto levels, on all
// cores, against the ffmpeg tool decoding the same files (`ffmpeg -threads 2 -i scan%04d.jpg -f
// null -`) in the same run; and the same import registered by peg holes. Goals: the import within
// 1.3 x of the decode, registration adding at most 20 %.
// The scans go to $LUMVANE_BENCH_DIR/scans, or bench_import_files/scans, and are kept.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <cstdlib>
#include <string>
#include <vector>

#include "intake/ImageImport.h"
#include "raster/CompactImage.h"
#include "support/ScanMaker.h"

namespace {
constexpr int kScans = 500;
constexpr int kPoses = 12;  // distinct drawings; the files repeat them

QString ScanDir() {
    const char* env = std::getenv("LUMVANE_BENCH_DIR");
    const QString base =
        env && *env ? QString::fromLocal8Bit(env) : QStringLiteral("bench_import_files");
    const QString dir = base + QStringLiteral("/scans");
    QDir().mkpath(dir);
    return dir;
}

QString ScanName(const QString& dir, int i) {
    return QStringLiteral("%1/scan%2.jpg").arg(dir).arg(i, 4, 10, QLatin1Char('0'));
}

// Writes the scans once: the drawings of a bouncing ball on punched paper, each laid on the
// glass a little shifted and turned.
QStringList Scans() {
    static QStringList files;
    if (!files.isEmpty()) return files;
    const QString dir = ScanDir();
    std::vector<QByteArray> poses;
    for (int i = 1; i <= kScans; ++i) {
        const QString name = ScanName(dir, i);
        files << name;
        if (QFile::exists(name)) continue;
        if (poses.empty()) {
            for (int p = 0; p < kPoses; ++p) {
                scanmaker::ScanRecipe recipe;
                recipe.width = 1920;
                recipe.height = 1080;
                recipe.dpi = 150;
                recipe.pose = p;
                recipe.seed = static_cast<std::uint32_t>(p + 1);
                recipe.shadow = 25;
                recipe.shiftX = (p % 5 - 2) * 20.0;
                recipe.shiftY = (p % 3 - 1) * 8.0;
                recipe.angleDeg = (p % 7 - 3) * 0.5;
                const scanmaker::Scan scan = scanmaker::MakeScan(recipe);
                QImage image(scan.rgb.data(), scan.width, scan.height, scan.width * 3,
                             QImage::Format_RGB888);
                image.save(name, "JPEG", 90);
                QFile f(name);
                f.open(QIODevice::ReadOnly);
                poses.push_back(f.readAll());
            }
        }
        QFile f(name);
        f.open(QIODevice::WriteOnly);
        f.write(poses[static_cast<std::size_t>((i - 1) % kPoses)]);
    }
    return files;
}

void Import(benchmark::State& state, bool pegs) {
    const QStringList files = Scans();
    ImportOptions options;
    options.autoLevels = true;
    options.registerPegs = pegs;
    for (auto _ : state) {
        FramePlan plan;
        QString error;
        if (!PlanFrames(files, false, kScans, plan, error)) state.SkipWithError("plan failed");
        std::vector<CompactImage> frames;
        const ImportOutcome out = BuildFrames(plan, options, QSize(1024, 768), frames, {});
        if (out.result != IMPORT_DONE) state.SkipWithError("import failed");
        if (pegs && !out.unregistered.isEmpty()) state.SkipWithError("holes not found");
        benchmark::DoNotOptimize(frames.data());
    }
    state.counters["files"] = kScans;
}

void BM_ImportAutoLevels(benchmark::State& state) {
    Import(state, false);
}

void BM_ImportAutoLevelsPegs(benchmark::State& state) {
    Import(state, true);
}

void BM_FfmpegDecode(benchmark::State& state) {
    const QStringList files = Scans();
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) {
        state.SkipWithError("the ffmpeg tool is not installed");
        return;
    }
    const std::string tool = "ffmpeg -hide_banner -loglevel error -threads 2 -i '" +
                             ScanDir().toStdString() + "/scan%04d.jpg' -f null -";
    for (auto _ : state)
        if (std::system(tool.c_str()) != 0) state.SkipWithError("the ffmpeg tool failed");
}

}  // namespace

// The three in turns, so that a change of the machine's load touches all of them alike.
BENCHMARK(BM_FfmpegDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_ImportAutoLevels)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_ImportAutoLevelsPegs)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

int main(int argc, char** argv) {
    // Qt's image readers find their plugins through the application.
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
