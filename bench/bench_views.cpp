#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <memory>
#include <random>

#include "document/LumvaneDoc.h"
#include "support/FrameAccess.h"
#include "support/ScriptedUi.h"
#include "views/LumvaneView.h"

namespace {

// A document of `count` frames of noise, so no pixel value shortcut can help.
std::unique_ptr<CLumvaneDoc> MakeDoc(int width, int height, int count) {
    auto doc = std::make_unique<CLumvaneDoc>();
    doc->CreateAnimation(width, height);
    std::mt19937 rng(7);
    for (int i = 0; i < count; ++i) {
        frames::Edit f(*doc, i);
        for (std::size_t k = 0; k < f->PixelCount(); ++k)
            f->GetData()[k] = static_cast<unsigned char>(rng());
    }
    doc->m_nFrameCount = count;
    doc->m_bViewsReady = 1;
    return doc;
}

// Full composition of a 1028 x 768 frame under 0, 1 or 8 onion frames.
void BM_ComposeFrame(benchmark::State& state) {
    const int onions = static_cast<int>(state.range(0));
    auto doc = MakeDoc(1028, 768, 9);
    CLumvaneView view(doc.get());
    doc->m_bOnionSkin = onions > 0;
    for (int k = 0; k < onions; ++k) doc->m_onionFrames[k] = k + 1;
    doc->m_nOnionCount = onions;
    view.ComposeFrame(0);
    for (auto _ : state) {
        view.ComposeFrame(0);
        benchmark::DoNotOptimize(view.DisplayImage().constBits());
    }
    state.SetItemsProcessed(state.iterations() * 1028 * 768);
}
BENCHMARK(BM_ComposeFrame)->Arg(0)->Arg(1)->Arg(8)->Unit(benchmark::kMicrosecond);

// Shrinking a composed 1920 x 1080 display image to the zoom that fits it into 1280 x 720.
void BM_ShrinkToFit(benchmark::State& state) {
    QImage src(1920, 1080, CLumvaneView::kDisplayFormat);
    std::mt19937 rng(5);
    for (int y = 0; y < 1080; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(src.scanLine(y));
        for (int x = 0; x < 1920; ++x) row[x] = 0xFF000000u | (rng() & 0xFFFFFFu);
    }
    const double zoom = 1280.0 / 1920.0;
    QImage dst(1280, 720, CLumvaneView::kDisplayFormat);
    for (auto _ : state) {
        CLumvaneView::ShrinkInto(src, dst, zoom, 0, 0, 1920, 1080);
        benchmark::DoNotOptimize(dst.constBits());
    }
}
BENCHMARK(BM_ShrinkToFit)->Unit(benchmark::kMillisecond);

// A view of 1000 x 700 on screen (or the offscreen platform) showing frame 0.
void ShowView(CLumvaneView& view) {
    view.resize(1000, 700);
    view.show();
    QElapsedTimer wait;
    wait.start();
    while (!(view.windowHandle() && view.windowHandle()->isExposed()) && wait.elapsed() < 2000)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    view.ComposeFrame(0);
}

// What one stroke segment costs the display: a 60 x 60 refresh and its repaint on screen.
void BM_RefreshRectRepaint(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    auto doc = MakeDoc(width, height, 1);
    CLumvaneView view(doc.get());
    ShowView(view);
    const QPoint s = view.ScrollPosition();
    int x = width / 2 - 200;
    const int y = height / 2 - 30;
    for (auto _ : state) {
        view.RefreshRect(0, x, y, x + 60, y + 60);
        view.viewport()->repaint(
            QRect(x + view.m_nOffsetX - s.x(), y + view.m_nOffsetY - s.y(), 60, 60));
        x = x >= width / 2 + 140 ? width / 2 - 200 : x + 7;
    }
}
BENCHMARK(BM_RefreshRectRepaint)
    ->Args({1028, 768})
    ->Args({4004, 3000})
    ->Unit(benchmark::kMicrosecond);

// The same through the document's door: a stroke segment whose rectangle is 60 x 60 (a 2-pixel
// brush along a 56-pixel diagonal), announced by the document and refreshed by the view.
void BM_StrokeSegmentThroughDoor(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    auto doc = MakeDoc(width, height, 1);
    CLumvaneView view(doc.get());
    QObject::connect(doc.get(), &CLumvaneDoc::FrameRectChanged, &view,
                     &CLumvaneView::OnFrameRectChanged);
    ShowView(view);
    doc->BeginStroke();
    int x = width / 2 - 200;
    const int y = height / 2 - 30;
    for (auto _ : state) {
        doc->StrokeLine(x + 2, y + 2, x + 58, y + 58, 255);
        x = x >= width / 2 + 140 ? width / 2 - 200 : x + 7;
    }
    doc->EndStroke();
}
BENCHMARK(BM_StrokeSegmentThroughDoor)
    ->Args({1028, 768})
    ->Args({4004, 3000})
    ->Unit(benchmark::kMicrosecond);

// The same segment drawn and shown the way the view did it before the door: the line written
// into the frame directly, then the refresh and the repaint. The difference is the door's cost.
void BM_StrokeSegmentDirect(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    auto doc = MakeDoc(width, height, 1);
    CLumvaneView view(doc.get());
    ShowView(view);
    const QPoint s = view.ScrollPosition();
    int x = width / 2 - 200;
    const int y = height / 2 - 30;
    // The decoded frame the pane shows, written behind the document's back as the view once did.
    auto& pixels = const_cast<GrayImage&>(*doc->FramePixels(0));
    for (auto _ : state) {
        pixels.DrawLine(doc->m_brushes[0], x + 2, height - y - 2, x + 58, height - y - 58, 0, 255);
        view.RefreshRect(0, x, y, x + 60, y + 60);
        view.viewport()->repaint(
            QRect(x + view.m_nOffsetX - s.x(), y + view.m_nOffsetY - s.y(), 60, 60));
        x = x >= width / 2 + 140 ? width / 2 - 200 : x + 7;
    }
}
BENCHMARK(BM_StrokeSegmentDirect)
    ->Args({1028, 768})
    ->Args({4004, 3000})
    ->Unit(benchmark::kMicrosecond);

// The paint of one playback frame without its composition: the whole pane, a 1028 x 768 frame
// composed with 0 or 8 onion frames.
void BM_PaintFrame(benchmark::State& state) {
    const int onions = static_cast<int>(state.range(0));
    auto doc = MakeDoc(1028, 768, 9);
    CLumvaneView view(doc.get());
    doc->m_bOnionSkin = onions > 0;
    for (int k = 0; k < onions; ++k) doc->m_onionFrames[k] = k + 1;
    doc->m_nOnionCount = onions;
    ShowView(view);
    for (auto _ : state) view.viewport()->repaint();
    state.SetLabel(QGuiApplication::platformName().toStdString());
}
BENCHMARK(BM_PaintFrame)->Arg(0)->Arg(8)->Unit(benchmark::kMicrosecond);

// Next Frame through 40 frames of noise, more than stay decoded, so each step decodes the frame
// it shows (kept as plain pixels, the dearest case), composes it and repaints the pane.
void BM_NextFrame(benchmark::State& state) {
    auto doc = MakeDoc(1028, 768, 40);
    CLumvaneView view(doc.get());
    ShowView(view);
    for (auto _ : state) {
        if (doc->m_nCurrentFrame == doc->m_nFrameCount - 1)
            doc->OnFirstFrame();
        else
            doc->OnNextFrame();
        view.viewport()->repaint();
    }
    state.counters["decoded_kept"] = doc->Cache().Count();
}
BENCHMARK(BM_NextFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CScriptedUi ui;  // no real message box may stop a run
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
