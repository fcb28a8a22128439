// Plays slices of a WAV track through Qt Multimedia into the private sound server's null sink
// (scripts/sound-server.sh) and records the sink's monitor: what was heard must be exactly the
// slice of the frames asked for.
#include <gtest/gtest.h>

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMediaDevices>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>

#include "PlayRig.h"
#include "playback/QtWaveOut.h"
#include "support/FrameAccess.h"
#include "support/ScriptedUi.h"

namespace {

void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
}

// The rate of the server's "ci" sink, or 0 with the reason in why.
int SinkRate(QString& why) {
    QProcess p;
    p.start(QStringLiteral("pactl"),
            {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sinks")});
    if (!p.waitForFinished(5000) || p.exitCode() != 0) {
        why = QStringLiteral("no sound server answers pactl (PULSE_SERVER=%1): %2")
                  .arg(qEnvironmentVariable("PULSE_SERVER"),
                       QString::fromLocal8Bit(p.readAllStandardError()).trimmed());
        return 0;
    }
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() < 4 || f[1] != "ci") continue;
        const QList<QByteArray> sample = f[3].split(' ');
        if (sample.size() == 3 && sample[0] == "u8" && sample[1] == "1ch" &&
            sample[2].endsWith("Hz"))
            return sample[2].chopped(2).toInt();
        why = QStringLiteral("sink ci is not unsigned 8-bit mono: ") + QString::fromLatin1(f[3]);
        return 0;
    }
    why = QStringLiteral("the sound server has no sink named ci");
    return 0;
}

// Records the monitor of sink ci while it lives.
class Recorder {
  public:
    explicit Recorder(int rate) : m_rate(rate) {
        m_proc.start(QStringLiteral("parec"),
                     {QStringLiteral("--device=ci.monitor"), QStringLiteral("--format=u8"),
                      QStringLiteral("--channels=1"), QStringLiteral("--rate=%1").arg(rate),
                      QStringLiteral("--raw"), QStringLiteral("--latency-msec=10")});
    }
    // Waits until silence is flowing, so nothing played afterwards can be missed.
    bool Started() {
        if (!m_proc.waitForStarted(5000)) return false;
        QElapsedTimer t;
        t.start();
        while (m_bytes.size() < m_rate / 10 && t.elapsed() < 5000) {
            m_proc.waitForReadyRead(100);
            m_bytes += m_proc.readAllStandardOutput();
        }
        return m_bytes.size() >= m_rate / 10;
    }
    QByteArray Stop() {
        m_bytes += m_proc.readAllStandardOutput();
        m_proc.terminate();
        m_proc.waitForFinished(5000);
        m_bytes += m_proc.readAllStandardOutput();
        return m_bytes;
    }

  private:
    int m_rate;
    QProcess m_proc;
    QByteArray m_bytes;
};

// The non-silent stretches of a recording (the track holds no sample of value 128).
std::vector<wav::Bytes> Sounds(const QByteArray& rec) {
    std::vector<wav::Bytes> runs;
    bool in = false;
    for (char ch : rec) {
        const unsigned char v = static_cast<unsigned char>(ch);
        if (v == 128) {
            in = false;
            continue;
        }
        if (!in) runs.emplace_back();
        in = true;
        runs.back().push_back(v);
    }
    return runs;
}

wav::Bytes Slice(const wav::Bytes& s, long long offset, long long length) {
    return wav::Bytes(s.begin() + offset, s.begin() + offset + length);
}

class SoundEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        QString why;
        rate = SinkRate(why);
        if (rate > 0 && QMediaDevices::defaultAudioOutput().id() != "ci")
            why = QStringLiteral("the default audio output is not sink ci but ") +
                  QString::fromUtf8(QMediaDevices::defaultAudioOutput().id());
        if (!why.isEmpty() || rate <= 0) {
            rate = 0;
            if (!qEnvironmentVariableIsEmpty("CI"))
                FAIL() << "sound server unavailable in CI: " << why.toStdString()
                       << " (scripts/test.sh starts one)";
            GTEST_SKIP() << "no sound server: " << why.toStdString()
                         << "; scripts/test.sh starts a private one";
        }
        samples = wav::Samples(std::size_t(rate) * 2, 99);  // 50 frames at 25 fps
        ASSERT_TRUE(wav::Write(dir.filePath("track.wav"), wav::Pcm8(rate, samples)));
        ui.m_fileAnswers.push_back(dir.filePath("track.wav"));
        OnAudioLoad(rig.doc, QtWaveOutSystem());
        ASSERT_EQ(ui.Texts(), QStringList());
        ASSERT_EQ(rig.doc.m_bSoundLoaded, 1);
        rig.doc.m_nFps = 25;
    }
    long long Bytes(int frames) const { return static_cast<long long>(frames) * rate / 25; }

    int rate = 0;
    wav::Bytes samples;
    QTemporaryDir dir;
    CScriptedUi ui;
    PlayRig rig;
};

}  // namespace

TEST_F(SoundEndToEnd, HearsExactlyTheSliceOfTheFrames) {
    struct Case {
        int first, count;
    } cases[] = {{5, 4}, {0, 1}, {49, 1}, {47, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "frames " << c.first << " + " << c.count);
        Recorder rec(rate);
        ASSERT_TRUE(rec.Started());
        rig.doc.PlaySoundFrames(c.first, c.count);
        const long long length = std::min(Bytes(c.count), Bytes(50) - Bytes(c.first));
        Pump(int(length * 1000 / rate) + 400);
        const std::vector<wav::Bytes> heard = Sounds(rec.Stop());
        std::string sizes;
        wav::Bytes all;
        for (const auto& h : heard) {
            sizes += std::to_string(h.size()) + " ";
            all.insert(all.end(), h.begin(), h.end());
        }
        EXPECT_EQ(all, Slice(samples, Bytes(c.first), length)) << "concatenation";
        ASSERT_EQ(heard.size(), 1u) << "stretches heard: " << sizes;
        EXPECT_EQ(heard[0], Slice(samples, Bytes(c.first), length));
        EXPECT_TRUE(ui.m_messages.empty());
    }
}

TEST_F(SoundEndToEnd, ResetCutsOffAndANewSliceReplacesTheOld) {
    // Reset (the key stop of playback) 200 ms into a 1.6 s slice.
    {
        Recorder rec(rate);
        ASSERT_TRUE(rec.Started());
        rig.doc.PlaySoundFrames(0, 40);
        Pump(200);
        rig.doc.m_hWaveOut->Reset();
        Pump(400);
        const std::vector<wav::Bytes> heard = Sounds(rec.Stop());
        ASSERT_EQ(heard.size(), 1u);
        const long long n = static_cast<long long>(heard[0].size());
        EXPECT_EQ(heard[0], Slice(samples, 0, n));
        // What is heard after the reset is at most what the device had queued.
        EXPECT_GT(n, rate * 100 / 1000);
        EXPECT_LT(n, rate * 300 / 1000);
    }
    // A new slice (a scrub step, the wrap) cuts the one playing.
    {
        Recorder rec(rate);
        ASSERT_TRUE(rec.Started());
        rig.doc.PlaySoundFrames(10, 30);
        Pump(200);
        rig.doc.PlaySoundFrames(2, 3);
        Pump(600);
        const std::vector<wav::Bytes> heard = Sounds(rec.Stop());
        wav::Bytes all;
        for (const auto& h : heard) all.insert(all.end(), h.begin(), h.end());
        const wav::Bytes second = Slice(samples, Bytes(2), Bytes(3));
        ASSERT_GT(all.size(), second.size());
        const long long firstPart = static_cast<long long>(all.size() - second.size());
        EXPECT_EQ(wav::Bytes(all.begin() + firstPart, all.end()), second);
        EXPECT_EQ(wav::Bytes(all.begin(), all.begin() + firstPart),
                  Slice(samples, Bytes(10), firstPart));
        EXPECT_LT(firstPart, Bytes(30));
    }
}

// Loop playback heard: three cycles of ten frames, each restarting the track at the start
// frame as the single cycle starts it, until a key stops the fourth at its second frame (by
// then its start has reached the sink however the stop falls). Each cycle is heard from the
// track's start, cut where the next cycle's restart replaces it.
TEST_F(SoundEndToEnd, LoopRestartsTheTrackEachCycle) {
    rig.doc.m_nFrameCount = 10;
    rig.doc.m_nCurrentFrame = 0;
    for (int i = 1; i < 10; ++i) {
        frames::Fill(rig.doc, i, 255);
    }
    CPlayback player(rig.doc, &rig.frame);  // the real clock
    player.SetLoop(true);
    QWidget target;
    target.show();
    rig.view.clock = nullptr;
    int paints = 0;
    rig.view.onPaint = nullptr;
    struct Counter : CView {
        int* n;
        QWidget* target;
        QWidget* GetWidget() override { return nullptr; }
        void OnUpdate(CView*, int hint, void*) override {
            if (hint == 1 && ++*n == 32)
                QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, {}));
        }
    } counter;
    counter.n = &paints;
    counter.target = &target;
    rig.doc.AddView(&counter);
    Recorder rec(rate);
    ASSERT_TRUE(rec.Started());
    player.OnPlay();
    Pump(400);
    rig.doc.RemoveView(&counter);
    const std::vector<wav::Bytes> heard = Sounds(rec.Stop());
    wav::Bytes all;
    for (const auto& h : heard) all.insert(all.end(), h.begin(), h.end());
    EXPECT_EQ(paints, 32);
    const wav::Bytes cycle = Slice(samples, 0, Bytes(10));
    // Where the track's first 64 samples begin: each cycle's start.
    std::vector<std::size_t> starts;
    const auto head = cycle.begin() + 64;
    for (auto it = all.begin(); (it = std::search(it, all.end(), cycle.begin(), head)) != all.end();
         ++it)
        starts.push_back(static_cast<std::size_t>(it - all.begin()));
    ASSERT_GE(starts.size(), 4u) << "cycles heard";
    EXPECT_EQ(starts[0], 0u);
    starts.push_back(all.size());
    std::string lengths;
    for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
        const std::size_t n = starts[k + 1] - starts[k];
        lengths += std::to_string(n) + " ";
        ASSERT_LE(n, cycle.size()) << k;
        EXPECT_TRUE(std::equal(all.begin() + starts[k], all.begin() + starts[k + 1], cycle.begin()))
            << "cycle " << k << " is the track from its start";
        // The first three are whole cycles but for what the device held when the next began.
        if (k < 3) {
            EXPECT_GT(n, cycle.size() - std::size_t(Bytes(3))) << k;
        }
    }
    std::cout << "cycle lengths heard (bytes at " << rate << " Hz, a cycle is " << cycle.size()
              << "): " << lengths << std::endl;
    EXPECT_EQ(rig.status.back(), QStringLiteral("Stopped."));
}

namespace {

bool Pactl(const QStringList& args, QByteArray* out = nullptr) {
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    if (!p.waitForFinished(5000) || p.exitCode() != 0) return false;
    if (out) *out = p.readAllStandardOutput();
    return true;
}

// A second null sink of 16-bit stereo at 48 kHz on the private server, the default output while
// it lives; the designed sink is the default again afterwards. Qt reads the default when it
// first connects, so the track is played by a second run of this program.
class StereoSink {
  public:
    bool Start() {
        QByteArray id;
        if (!Pactl({"load-module", "module-null-sink", "sink_name=ci48", "rate=48000",
                    "format=s16le", "channels=2", "norewinds=1"},
                   &id))
            return false;
        m_module = QString::fromLatin1(id.trimmed());
        return Pactl({"set-default-sink", "ci48"});
    }
    ~StereoSink() {
        Pactl({"set-default-sink", "ci"});
        if (!m_module.isEmpty()) Pactl({"unload-module", m_module});
    }

  private:
    QString m_module;
};

}  // namespace

// An imported 16-bit stereo 48 kHz track played from the first frame: the sink hears it as
// recorded, both channels, sample for sample.
TEST_F(SoundEndToEnd, AStereoTrackIsHeardAsRecorded) {
    StereoSink sink;
    ASSERT_TRUE(sink.Start()) << "could not add a 16-bit stereo sink to the private server";
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests",
                 "--gtest_filter=SoundEndToEndStereo.DISABLED_PlaysThroughTheDefaultSink"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray out = child.readAll();
    std::printf("%s", out.constData());
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test."));
}

// Run by the test above with sink ci48 as the default output.
TEST(SoundEndToEndStereo, DISABLED_PlaysThroughTheDefaultSink) {
    ASSERT_EQ(QMediaDevices::defaultAudioOutput().id(), "ci48");
    CScriptedUi ui;
    PlayRig rig;
    rig.doc.m_nFps = 25;
    auto track = std::make_shared<DecodedSound>();
    track->rate = 48000;
    track->channels = 2;
    const int frames = 48000 * 2;  // 50 frames at 25 fps
    std::uint32_t x = 99;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < 2; ++c) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            // Never silent, and the right channel apart from the left.
            const int v = int(8000 * std::sin(2 * M_PI * (300 + 200 * c) * i / 48000.0)) +
                          int(x % 4001) - 2000;
            track->samples.push_back(static_cast<std::int16_t>(v == 0 ? 1 : v));
        }
    const auto format = DecodedSoundFormat(48000, 2);
    auto device = QtWaveOutSystem().Open(format);
    ASSERT_TRUE(device);
    rig.doc.UseDecodedSound(track, format, std::move(device));

    QProcess rec;
    rec.start("parec", {"--device=ci48.monitor", "--format=s16le", "--channels=2", "--rate=48000",
                        "--raw", "--latency-msec=10"});
    ASSERT_TRUE(rec.waitForStarted(5000));
    QByteArray bytes;
    QElapsedTimer t;
    t.start();
    while (bytes.size() < 48000 * 4 / 10 && t.elapsed() < 5000) {
        rec.waitForReadyRead(100);
        bytes += rec.readAllStandardOutput();
    }
    rig.doc.PlaySoundFrames(0, 25);
    Pump(1000 + 500);
    bytes += rec.readAllStandardOutput();
    rec.terminate();
    rec.waitForFinished(5000);
    bytes += rec.readAllStandardOutput();

    // Where the slice starts in the recording: the first sample that is not silence.
    const auto* heard = reinterpret_cast<const std::int16_t*>(bytes.constData());
    const long long n = bytes.size() / 4;
    long long start = 0;
    while (start < n && heard[2 * start] == 0 && heard[2 * start + 1] == 0) ++start;
    ASSERT_LT(start, n);
    const long long want = 48000;  // 25 frames at 25 fps
    const long long got = std::min(want, n - start);
    double sab = 0, saa = 0, sbb = 0;
    long long equal = 0;
    for (long long i = 0; i < got * 2; ++i) {
        const double a = track->samples[static_cast<std::size_t>(i)];
        const double b = heard[2 * start + i];
        sab += a * b;
        saa += a * a;
        sbb += b * b;
        equal += a == b;
    }
    const double r = sab / std::sqrt(saa * sbb);
    std::printf(
        "stereo 48 kHz capture: %lld of %lld sample frames heard, correlation %.6f, "
        "%lld of %lld samples equal (offset 0 against the source), the slice beginning %lld "
        "sample frames into the recording\n",
        got, want, r, equal, got * 2, start);
    EXPECT_EQ(got, want);
    EXPECT_GT(r, 0.9999);
    EXPECT_EQ(equal, got * 2);
    // After the slice only silence.
    long long after = 0;
    for (long long i = start + want; i < n; ++i)
        after += heard[2 * i] != 0 || heard[2 * i + 1] != 0;
    EXPECT_EQ(after, 0);
    rig.doc.CloseSound();
}
