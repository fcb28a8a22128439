#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <algorithm>
#include <random>
#include <vector>

#include "document/LumvaneDoc.h"
#include "intake/CameraCapture.h"
#include "shell/CaptureMode.h"
#include "shell/MainFrame.h"
#include "support/FrameAccess.h"
#include "support/ScriptedUi.h"
#include "views/LumvaneView.h"

namespace {

constexpr int kW = 1024, kH = 768;

// Hands the window a fresh cleaned picture at every notification, as the camera's thread
// does; the pictures are ready, so only the window's share is measured.
class ReadySource : public ICaptureSource {
  public:
    ReadySource(std::function<void()> notify) : m_notify(std::move(notify)) {
        std::mt19937 rng(3);
        m_ready.Create(kW, kH);
        for (std::size_t i = 0; i < m_ready.PixelCount(); ++i)
            m_ready.GetData()[i] = static_cast<unsigned char>(rng());
    }
    bool Start(QString&) override { return true; }
    void Stop() override {}
    QString Name() const override { return QStringLiteral("bench"); }
    bool TakeLatest(GrayImage& frame, std::uint64_t& seq, std::int64_t& number) override {
        if (seq == m_seq) return false;
        if (frame.GetWidth() != kW) frame.Create(kW, kH);
        frame.Swap(m_ready);
        seq = m_seq;
        number = static_cast<std::int64_t>(m_seq);
        return true;
    }
    bool Failed(QString&) const override { return false; }
    void Next() {
        ++m_seq;
        m_notify();
    }

  private:
    std::function<void()> m_notify;
    GrayImage m_ready;
    std::uint64_t m_seq = 0;
};

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p / 100.0 * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

// The window thread's work for one camera picture: taking it from the slot, composing it over
// 4 onion frames into the display image and painting the pane.
void BM_CaptureWindowThreadPerPicture(benchmark::State& state) {
    auto doc = std::make_unique<CLumvaneDoc>();
    doc->CreateAnimation(kW, kH);
    std::mt19937 rng(7);
    for (int i = 1; i < 5; ++i) {
        frames::Edit f(*doc, i);
        for (std::size_t k = 0; k < f->PixelCount(); ++k)
            f->GetData()[k] = static_cast<unsigned char>(rng());
    }
    doc->m_nFrameCount = 5;
    doc->m_nCurrentFrame = 4;
    CMainFrame frame(doc.get());
    frame.resize(1280, 1000);
    frame.show();
    QElapsedTimer wait;
    wait.start();
    while (!(frame.windowHandle() && frame.windowHandle()->isExposed()) && wait.elapsed() < 2000)
        QCoreApplication::processEvents();
    doc->m_bViewsReady = 1;
    doc->m_bOnionSkin = 1;
    for (int k = 0; k < 4; ++k) doc->m_onionFrames[k] = k;
    doc->m_nOnionCount = 4;
    CCaptureMode mode(*doc, &frame, [] { return false; });
    ReadySource* source = nullptr;
    mode.SetSourceFactory([&](const CaptureSettings&, const QSize&, std::function<void()> notify) {
        auto s = std::make_unique<ReadySource>(std::move(notify));
        source = s.get();
        return s;
    });
    mode.OnCapture();
    QCoreApplication::processEvents();
    std::vector<double> ms;
    for (auto _ : state) {
        source->Next();
        QElapsedTimer t;
        t.start();
        QCoreApplication::processEvents();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    state.counters["shown"] = static_cast<double>(mode.ShownNumber());
    state.counters["capturing"] = mode.IsCapturing();
    mode.End();
    state.counters["median_ms"] = Percentile(ms, 50);
    state.counters["p99_ms"] = Percentile(ms, 99);
    state.SetLabel(QGuiApplication::platformName().toStdString());
}
BENCHMARK(BM_CaptureWindowThreadPerPicture)->Iterations(600)->Unit(benchmark::kMillisecond);

// The capture thread's work for one 1280 x 720 picture: levels and the fit into 1024 x 768.
void BM_CaptureCleanPerPicture(benchmark::State& state) {
    GrayPlane picture;
    picture.Create(1280, 720);
    std::mt19937 rng(5);
    for (auto& p : picture.pixels) p = static_cast<unsigned char>(200 + rng() % 40);
    CaptureSettings settings;
    GrayImage frame;
    frame.Create(kW, kH);
    for (auto _ : state) benchmark::DoNotOptimize(CleanCameraPicture(picture, settings, frame));
}
BENCHMARK(BM_CaptureCleanPerPicture)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CScriptedUi ui;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
