// Playback timing and sound onset, measured on the real clock (not under CTest):
//  - BM_PlaybackLateness: a 500-frame 1028 x 768 animation at 100 fps with 8 onion frames (or
//    1920 x 1080 frames fitted into a 1280 x 720 pane);
//    how late each frame's picture is finished after its due time (median, 99th percentile and
//    maximum, ms), how late the loop wakes for it and how long the drawing view takes to compose
//    and repaint it. The label names the window platform (offscreen unless a display is set);
//    load1 is the system's load average at the end of the run, cores the processors it has.
//  - BM_SoundOnset: from PlaySoundFrames to the first non-silent sample at the sound server's
//    sink (needs scripts/sound-server.sh; skipped otherwise), for a loaded 8-bit WAV and for an
//    imported 16-bit stereo track.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "document/LumvaneDoc.h"
#include "framework/View.h"
#include "playback/Playback.h"
#include "playback/QtWaveOut.h"
#include "support/FrameAccess.h"
#include "support/ScriptedUi.h"
#include "views/LumvaneView.h"

extern char** environ;

namespace {

std::int64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Notes the time whenever frame content is announced; one is placed before the drawing view
// in the document's list (the loop's wake-up) and one after it (the picture is on screen).
class CTimeMark : public CView {
  public:
    QWidget* GetWidget() override { return nullptr; }
    void OnUpdate(CView*, int hint, void*) override {
        if (hint == 1) m_times.push_back(NowUs());
    }
    std::vector<std::int64_t> m_times;
};

// The system clock, remembering the start of the run (the loop's first reading).
class CRecordingClock : public IPlaybackClock {
  public:
    std::int64_t NowMicros() override {
        const std::int64_t t = SystemPlaybackClock().NowMicros();
        if (m_t0 < 0) m_t0 = t;
        return t;
    }
    void WaitUntil(std::int64_t d) override { SystemPlaybackClock().WaitUntil(d); }
    std::int64_t m_t0 = -1;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The nearest-rank percentile p (0 < p <= 100).
double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * double(v.size())));
    return v[std::clamp<std::size_t>(rank, 1, v.size()) - 1];
}

// Median, 99th percentile and maximum of v as counters name_median_ms, name_p99_ms and
// name_max_ms.
void Report(benchmark::State& state, const std::string& name, const std::vector<double>& v) {
    state.counters[name + "_median_ms"] = Median(v);
    state.counters[name + "_p99_ms"] = Percentile(v, 99);
    state.counters[name + "_max_ms"] = Percentile(v, 100);
}

double LoadAverage() {
    double load = -1;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = -1;
        std::fclose(f);
    }
    return load;
}

void BM_PlaybackLateness(benchmark::State& state) {
    // Fitted: 1920 x 1080 frames shown whole in a 1280 x 720 pane.
    const bool fit = state.range(2) != 0;
    const int w = fit ? 1920 : 1028;
    const int h = fit ? 1080 : 768;
    CLumvaneDoc doc;
    doc.CreateAnimation(w, h);
    doc.m_nFrameCount = 500;
    // Every pixel differs from the next, so frames are kept as plain pixels: the dearest case
    // for a frame shown that is not kept decoded.
    for (int i = 0; i < 500; ++i) {
        frames::Edit f(doc, i);
        unsigned char* p = f->GetData();
        for (std::size_t j = 0; j < std::size_t(w) * h; ++j)
            p[j] = static_cast<unsigned char>(255 - ((j * 7 + std::size_t(i) * 131) % 64));
    }
    CScriptedUi ui;  // the view's tablet binding may report that there is no tablet
    CTimeMark wakeMark, doneMark;
    doc.AddView(&wakeMark);
    CLumvaneView view(&doc);
    doc.AddView(&doneMark);
    view.resize(fit ? 1280 : 1100, fit ? 720 : 840);
    view.show();
    // The first paint readies the views for the new animation (which resets rate and onion).
    doc.UpdateAllViews(nullptr, 0);
    for (int i = 0; i < 5 && !doc.m_bViewsReady; ++i) QApplication::processEvents();
    doc.m_bOnionSkin = 1;
    doc.m_nOnionCount = 8;
    for (int k = 0; k < 8; ++k) doc.m_onionFrames[k] = 10 + k;
    if (fit) view.OnFitInWindow();
    doc.m_nFps = static_cast<int>(state.range(0));
    doc.m_bShowEveryFrame = static_cast<int>(state.range(1));
    const std::int64_t period = 1000 / doc.m_nFps * 1000;

    std::vector<double> late, wake, paint;
    for (auto _ : state) {
        CRecordingClock clock;
        wakeMark.m_times.clear();
        doneMark.m_times.clear();
        CPlayback(doc, nullptr, clock).OnPlay();
        // In the clock-following mode steps can be skipped; the due time is that of the step
        // whose turn it was when the frame was shown.
        for (std::size_t k = 0; k < doneMark.m_times.size(); ++k) {
            const std::int64_t sinceT0 = wakeMark.m_times[k] - clock.m_t0;
            const std::int64_t step = doc.m_bShowEveryFrame ? std::int64_t(k) : sinceT0 / period;
            const std::int64_t due = clock.m_t0 + step * period;
            late.push_back((doneMark.m_times[k] - due) / 1000.0);
            // The wait's own precision, where the loop did wait for this frame.
            if (k == 0 || doneMark.m_times[k - 1] < due)
                wake.push_back((wakeMark.m_times[k] - due) / 1000.0);
            paint.push_back((doneMark.m_times[k] - wakeMark.m_times[k]) / 1000.0);
        }
        state.SetIterationTime((NowUs() - clock.m_t0) / 1e6);
    }
    doc.RemoveView(&wakeMark);
    doc.RemoveView(&doneMark);
    state.counters["frames"] = double(late.size());
    state.counters["waited"] = double(wake.size());
    Report(state, "late", late);
    Report(state, "wake", wake);
    Report(state, "paint", paint);
    state.counters["early_frames"] =
        double(std::count_if(wake.begin(), wake.end(), [](double v) { return v < 0; }));
    state.counters["load1"] = LoadAverage();
    state.counters["cores"] = double(std::thread::hardware_concurrency());
    state.SetLabel(QGuiApplication::platformName().toStdString());
}
// Arguments: frames per second, Show Every Frame, fitted 1920 x 1080.
BENCHMARK(BM_PlaybackLateness)
    ->Args({100, 1, 0})
    ->Args({100, 0, 0})
    ->Args({25, 1, 0})
    ->Args({100, 1, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Reads the sink's monitor in a thread, stamping each piece with its arrival time.
class CMonitor {
  public:
    bool Start(int rate) {
        m_rate = rate;
        int fds[2];
        if (pipe(fds) != 0) return false;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
        posix_spawn_file_actions_addclose(&fa, fds[0]);
        const std::string r = "--rate=" + std::to_string(rate);
        const char* argv[] = {
            "parec", "--device=ci.monitor", "--format=u8", "--channels=1", r.c_str(),
            "--raw", "--latency-msec=1",    nullptr};
        const int rc =
            posix_spawnp(&m_pid, "parec", &fa, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&fa);
        close(fds[1]);
        if (rc != 0) {
            close(fds[0]);
            return false;
        }
        m_fd = fds[0];
        m_reader = std::thread([this] {
            unsigned char buf[4096];
            for (;;) {
                const ssize_t n = read(m_fd, buf, sizeof buf);
                if (n <= 0) break;
                const std::int64_t t = NowUs();
                std::lock_guard<std::mutex> lock(m_mutex);
                m_bytes.insert(m_bytes.end(), buf, buf + n);
                m_stamps.push_back({t, std::int64_t(m_bytes.size())});
            }
        });
        for (int i = 0; i < 500 && Size() < rate / 5; ++i) QThread::msleep(10);
        return Size() >= rate / 5;
    }
    std::int64_t Size() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::int64_t(m_bytes.size());
    }
    void Stop() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
        if (m_reader.joinable()) m_reader.join();
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
    }
    ~CMonitor() { Stop(); }
    // When the first sound at or after byte 'from' was rendered, by the byte clock anchored
    // on the earliest-arriving piece (so delivery delays do not count).
    std::int64_t OnsetUs(std::int64_t from) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::int64_t first = -1;
        for (std::int64_t j = from; j < std::int64_t(m_bytes.size()); ++j)
            if (m_bytes[j] != 128) {
                first = j;
                break;
            }
        if (first < 0) return -1;
        double anchor = 1e300;
        for (const auto& [t, end] : m_stamps)
            anchor = std::min(anchor, double(t) - double(end) * 1e6 / m_rate);
        return std::int64_t(anchor + double(first) * 1e6 / m_rate);
    }

  private:
    int m_rate = 0;
    pid_t m_pid = -1;
    int m_fd = -1;
    std::thread m_reader;
    std::mutex m_mutex;
    std::vector<unsigned char> m_bytes;
    std::vector<std::pair<std::int64_t, std::int64_t>> m_stamps;
};

int SinkRate() {
    QProcess p;
    p.start(QStringLiteral("pactl"),
            {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sinks")});
    if (!p.waitForFinished(5000) || p.exitCode() != 0) return 0;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() >= 4 && f[1] == "ci" && f[3].startsWith("u8 1ch "))
            return f[3].split(' ').value(2).chopped(2).toInt();
    }
    return 0;
}

// The null sink renders ahead of the clock by its latency; what the monitor shows is the render
// time, so the time a listener would hear it is later by about this much.
double SinkLatencyMs() {
    QProcess p;
    p.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sinks")});
    if (!p.waitForFinished(5000)) return -1;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const QByteArray t = line.trimmed();
        if (t.startsWith("Latency:")) return t.split(' ').value(1).toDouble() / 1000.0;
    }
    return -1;
}

void BM_SoundOnset(benchmark::State& state) {
    const int rate = SinkRate();
    if (rate <= 0) {
        state.SkipWithError("no sound server with sink ci; run scripts/sound-server.sh");
        return;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("onset.wav"));
    {
        std::vector<unsigned char> b;
        auto put32 = [&](std::uint32_t v) {
            for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
        };
        const std::uint32_t n = std::uint32_t(rate) * 2;
        b.insert(b.end(), {'R', 'I', 'F', 'F'});
        put32(4 + 24 + 8 + n);
        b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
        put32(16);
        b.insert(b.end(), {1, 0, 1, 0});
        put32(std::uint32_t(rate));
        put32(std::uint32_t(rate));
        b.insert(b.end(), {1, 0, 8, 0, 'd', 'a', 't', 'a'});
        put32(n);
        for (std::uint32_t i = 0; i < n; ++i) b.push_back(i % 2 ? 40 : 216);  // loud square
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char*>(b.data()), qint64(b.size()));
    }
    CLumvaneDoc doc;
    CScriptedUi ui;
    ui.m_fileAnswers.push_back(path);
    OnAudioLoad(doc, QtWaveOutSystem());
    if (state.range(0) == 1) {
        // An imported track: the same square, 16-bit stereo at the sink's rate.
        auto track = std::make_shared<DecodedSound>();
        track->rate = rate;
        track->channels = 2;
        for (int i = 0; i < rate * 2; ++i)
            track->samples.insert(track->samples.end(), 2, std::int16_t(i % 2 ? -22000 : 22000));
        const auto format = DecodedSoundFormat(rate, 2);
        doc.UseDecodedSound(track, format, QtWaveOutSystem().Open(format));
        if (!doc.m_hWaveOut) doc.m_bSoundLoaded = 0;
    }
    if (!doc.m_bSoundLoaded) {
        state.SkipWithError("the track did not load");
        return;
    }
    doc.m_nFps = 25;
    std::vector<double> onset;
    double sinkLatency = -1;
    for (auto _ : state) {
        CMonitor mon;
        if (!mon.Start(rate)) {
            state.SkipWithError("parec did not start");
            return;
        }
        for (int i = 0; i < 10; ++i) {
            const std::int64_t from = mon.Size();
            const std::int64_t t = NowUs();
            doc.PlaySoundFrames(0, 5);
            if (i == 0) sinkLatency = SinkLatencyMs();
            QThread::msleep(400);
            doc.m_hWaveOut->Reset();
            QThread::msleep(100);
            const std::int64_t heard = mon.OnsetUs(from);
            if (heard >= 0) onset.push_back((heard - t) / 1000.0);
        }
        mon.Stop();
        state.SetIterationTime(0.5 * 10);
    }
    state.counters["rate"] = rate;
    state.counters["sink_latency_ms"] = sinkLatency;
    state.counters["onset_median_ms"] = Median(onset);
    state.counters["onset_max_ms"] =
        onset.empty() ? 0 : *std::max_element(onset.begin(), onset.end());
    state.counters["onset_min_ms"] =
        onset.empty() ? 0 : *std::min_element(onset.begin(), onset.end());
}
// Argument 0: an 8-bit mono WAV from Audio > Load; 1: an imported 16-bit stereo track.
BENCHMARK(BM_SoundOnset)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
