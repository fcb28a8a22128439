// Sound tracks of any format: decoded exactly where the format is lossless, closely where it is
// not, refused with a message naming the file, and played in slices of whole sample frames.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

#include "document/LumvaneDoc.h"
#include "document/SoundSlice.h"
#include "intake/SoundImport.h"
#include "intake/SoundImportCommand.h"
#include "playback/WavBuilder.h"
#include "support/FakeMemoryInfo.h"
#include "support/RecordingWaveOut.h"
#include "support/ScriptedUi.h"

namespace {

constexpr int kRate = 48000;
constexpr int kFrames = 72000;  // 1.5 s

// Two tones a channel, different on the left and the right, so a swap shows.
std::vector<std::int16_t> Tones(int frames, int rate, int channels) {
    std::vector<std::int16_t> s(static_cast<std::size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const double t = double(i) / rate;
            const double v = 0.45 * std::sin(2 * M_PI * (440 + 220 * c) * t) +
                             0.2 * std::sin(2 * M_PI * (1234 + 300 * c) * t);
            s[static_cast<std::size_t>(i) * channels + c] = static_cast<std::int16_t>(v * 32767);
        }
    return s;
}

// A WAV of the samples as 16-bit, 24-bit or 32-bit float PCM.
wav::Bytes WavOf(const std::vector<std::int16_t>& s, int rate, int channels, int bits) {
    wav::Bytes data;
    for (const std::int16_t v : s) {
        if (bits == 16) {
            wav::Put16(data, static_cast<std::uint16_t>(v));
        } else if (bits == 24) {
            const std::uint32_t x = static_cast<std::uint32_t>(std::int32_t(v) * 256 + 0x55);
            data.push_back(static_cast<unsigned char>(x));
            data.push_back(static_cast<unsigned char>(x >> 8));
            data.push_back(static_cast<unsigned char>(x >> 16));
        } else {
            const float f = v / 32768.0f;
            std::uint32_t x;
            std::memcpy(&x, &f, 4);
            wav::Put32(data, x);
        }
    }
    return wav::Riff(wav::Cat(
        {wav::Chunk("fmt ",
                    wav::Fmt(bits == 32 ? 3 : 1, static_cast<std::uint16_t>(channels),
                             static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(bits))),
         wav::Chunk("data", data)}));
}

// Runs the ffmpeg tool to make an input; the program itself never runs it.
bool Tool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The best normalised correlation of b against a over lags up to maxLag sample frames, on the
// first channel, and the lag where it is found.
double Correlation(const std::vector<std::int16_t>& a, int ca, const std::vector<std::int16_t>& b,
                   int cb, int channel, int maxLag, int* lagOut = nullptr) {
    const long long na = static_cast<long long>(a.size()) / ca;
    const long long nb = static_cast<long long>(b.size()) / cb;
    double best = -2;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double sab = 0, saa = 0, sbb = 0;
        for (long long i = 0; i < na; ++i) {
            const long long j = i + lag;
            if (j < 0 || j >= nb) continue;
            const double x = a[static_cast<std::size_t>(i * ca + channel)];
            const double y = b[static_cast<std::size_t>(j * cb + channel)];
            sab += x * y;
            saa += x * x;
            sbb += y * y;
        }
        const double r = saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0;
        if (r > best) {
            best = r;
            if (lagOut) *lagOut = lag;
        }
    }
    return best;
}

class SoundImportTest : public ::testing::Test {
  public:
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QString Source() {
        const QString p = Path("source.wav");
        if (!QFile::exists(p)) {
            EXPECT_TRUE(wav::Write(p, WavOf(tones, kRate, 2, 16)));
        }
        return p;
    }
    QTemporaryDir dir;
    std::vector<std::int16_t> tones = Tones(kFrames, kRate, 2);
};

TEST_F(SoundImportTest, DecodesEveryKindOfTrack) {
    enum Match { Exact, NearlyExact, Close };
    struct Case {
        const char* name;
        std::function<bool(SoundImportTest&, const QString&)> make;
        int rate, channels;
        Match match;
        int framesSlack;  // coded formats may add a little at the end
    } cases[] = {
        {"s16.wav",
         [](auto& t, const QString& p) { return wav::Write(p, WavOf(t.tones, kRate, 2, 16)); },
         kRate, 2, Exact, 0},
        {"s24.wav",
         [](auto& t, const QString& p) { return wav::Write(p, WavOf(t.tones, kRate, 2, 24)); },
         kRate, 2, Exact, 0},
        {"f32.wav",
         [](auto& t, const QString& p) { return wav::Write(p, WavOf(t.tones, kRate, 2, 32)); },
         kRate, 2, NearlyExact, 0},
        {"mono.wav",
         [](auto&, const QString& p) {
             return wav::Write(p, WavOf(Tones(kFrames, 22050, 1), 22050, 1, 16));
         },
         22050, 1, Exact, 0},
        {"track.flac",
         [](auto& t, const QString& p) {
             return Tool({"-i", t.Source(), p});
         },
         kRate, 2, Exact, 0},
        {"track.mp3",
         [](auto& t, const QString& p) {
             return Tool({"-i", t.Source(), "-b:a", "192k", p});
         },
         kRate, 2, Close, 1200},
        {"track.ogg",
         [](auto& t, const QString& p) {
             return Tool({"-i", t.Source(), p});
         },
         kRate, 2, Close, 1200},
        {"movie.mp4",
         [](auto& t, const QString& p) {
             return Tool({"-f", "lavfi", "-i", "color=c=gray:s=64x48:r=25:d=1.5", "-i", t.Source(),
                          "-c:v", "mpeg4", "-c:a", "aac", "-b:a", "192k", "-shortest", p});
         },
         kRate, 2, Close, 2048},
        {"surround.wav",
         [](auto& t, const QString& p) {
             return Tool({"-i", t.Source(), "-af", "pan=5.1|FL=c0|FR=c1", "-c:a", "pcm_s16le", p});
         },
         kRate, 2, Close, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path(c.name);
        ASSERT_TRUE(c.make(*this, path));
        DecodedSound track;
        ASSERT_EQ(DecodeSoundFile(path, track), SoundDecode::Ok);
        EXPECT_EQ(track.rate, c.rate);
        EXPECT_EQ(track.channels, c.channels);
        const std::vector<std::int16_t> want = c.channels == 1 ? Tones(kFrames, c.rate, 1) : tones;
        EXPECT_GE(track.Frames(), kFrames);
        EXPECT_LE(track.Frames(), kFrames + c.framesSlack);
        if (c.match == Exact) {
            EXPECT_TRUE(track.samples == want);
        } else if (c.match == NearlyExact) {
            int worst = 0;
            for (std::size_t i = 0; i < want.size(); ++i)
                worst = std::max(worst, std::abs(track.samples[i] - want[i]));
            EXPECT_LE(worst, 1);
        } else {
            for (int ch = 0; ch < c.channels; ++ch) {
                int lag = 99;
                const double r = Correlation(want, 2, track.samples, 2, ch, 64, &lag);
                EXPECT_GT(r, 0.98);
                EXPECT_EQ(lag, 0) << "channel " << ch;
                std::printf("%s channel %d: %lld sample frames, correlation %.5f at offset %d\n",
                            c.name, ch, static_cast<long long>(track.Frames()), r, lag);
            }
        }
    }
}

TEST_F(SoundImportTest, RefusesWhatHoldsNoTrackWithTheFileNamed) {
    struct Case {
        const char* name;
        std::function<bool(SoundImportTest&, const QString&)> make;
        SoundDecode result;
        const char* text;
    } cases[] = {
        {"picture.mp4",
         [](auto&, const QString& p) {
             return Tool(
                 {"-f", "lavfi", "-i", "color=c=gray:s=64x48:r=25:d=1", "-c:v", "mpeg4", p});
         },
         SoundDecode::NoStream, "picture.mp4 has no sound track."},
        {"noise.mp3", [](auto&, const QString& p) { return wav::Write(p, wav::Samples(5000, 7)); },
         SoundDecode::Unreadable, "Could not read the sound track of noise.mp3."},
        {"cut.wav",
         [](auto& t, const QString& p) {
             wav::Bytes b = WavOf(t.tones, kRate, 2, 16);
             b.resize(30);
             return wav::Write(p, b);
         },
         SoundDecode::Unreadable, "Could not read the sound track of cut.wav."},
        {"nothing.wav", [](auto&, const QString& p) { return wav::Write(p, {}); },
         SoundDecode::Unreadable, "Could not read the sound track of nothing.wav."},
        {"silent.wav",
         [](auto&, const QString& p) { return wav::Write(p, WavOf({}, kRate, 2, 16)); },
         SoundDecode::Empty, "The sound track of silent.wav is empty."},
        // Lists that name another file: only the chosen file is read.
        {"list.m3u8",
         [](auto& t, const QString& p) {
             const QString ts = t.Path("segment.ts");
             if (!Tool({"-i", t.Source(), "-c:a", "mp2", ts})) return false;
             const QByteArray text = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:1.5,\n" +
                                     QFile::encodeName(ts) + "\n#EXT-X-ENDLIST\n";
             return wav::Write(p, wav::Bytes(text.begin(), text.end()));
         },
         SoundDecode::Unreadable, "Could not read the sound track of list.m3u8."},
        {"list.ffconcat",
         [](auto& t, const QString& p) {
             const QByteArray text = "ffconcat version 1.0\nfile source.wav\n";
             t.Source();
             return wav::Write(p, wav::Bytes(text.begin(), text.end()));
         },
         SoundDecode::Unreadable, "Could not read the sound track of list.ffconcat."},
        {"missing.wav", [](auto&, const QString&) { return true; }, SoundDecode::Unreadable,
         "Could not read the sound track of missing.wav."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path(c.name);
        ASSERT_TRUE(c.make(*this, path));
        DecodedSound track;
        track.rate = 7;
        EXPECT_EQ(DecodeSoundFile(path, track), c.result);
        EXPECT_EQ(track.rate, 7) << "the output is left alone";
        EXPECT_EQ(SoundDecodeText(c.result, QString::fromLatin1(c.name)),
                  QString::fromUtf8(c.text));
    }
    EXPECT_EQ(SoundTextNoMemory(QStringLiteral("a.mp3")),
              QStringLiteral("Not enough memory to load the sound track of a.mp3."));
    EXPECT_EQ(SoundTextNoDevice(QStringLiteral("a.mp3")),
              QStringLiteral("There are no audio devices to play the sound track of a.mp3."));
}

TEST_F(SoundImportTest, ALongTrackIsCutAtTheLongestAnimationAndCancelStops) {
    // 501 s at 1000 Hz: decoding stops at 500 s.
    const int rate = 1000;
    std::vector<std::int16_t> s(std::size_t(rate) * 501);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::int16_t>(i % 2000 + 1);
    const QString path = Path("long.wav");
    ASSERT_TRUE(wav::Write(path, WavOf(s, rate, 1, 16)));
    DecodedSound track;
    ASSERT_EQ(DecodeSoundFile(path, track), SoundDecode::Ok);
    ASSERT_EQ(track.Frames(), std::int64_t(rate) * kMaxSoundSeconds);
    EXPECT_TRUE(std::equal(track.samples.begin(), track.samples.end(), s.begin()));

    // Memory is asked before the samples are stored: too little gives the memory text.
    for (const std::uint64_t room : {std::uint64_t{500000}, std::uint64_t{4000000}}) {
        FakeMemoryInfo memory;
        memory.LeaveRoomFor(room);
        DecodedSound small;
        EXPECT_EQ(DecodeSoundFile(path, small),
                  room < 1000000 ? SoundDecode::NoMemory : SoundDecode::Ok)
            << room;
        EXPECT_EQ(small.Frames(), room < 1000000 ? 0 : track.Frames());
    }

    int asked = 0;
    double last = -1;
    bool rising = true;
    EXPECT_EQ(DecodeSoundFile(path, track,
                              [&](double done) {
                                  rising = rising && done >= last;
                                  last = done;
                                  return ++asked < 3;
                              }),
              SoundDecode::Cancelled);
    EXPECT_EQ(asked, 3);
    EXPECT_TRUE(rising);
    EXPECT_EQ(track.Frames(), std::int64_t(rate) * kMaxSoundSeconds) << "kept";
}

TEST(SoundSliceTest, FramesStartAtWholeSampleFramesWithoutDrift) {
    struct Case {
        int first, count, rate, fps;
        std::int64_t frames, offset, length;
    } cases[] = {
        {1, 1, 48000, 25, 1000000, 1920, 1920},
        {7, 3, 44100, 30, 1000000, 10290, 4410},
        {1, 1, 11025, 30, 1000000, 367, 367},
        {2, 1, 11025, 30, 1000000, 735, 367},
        {499, 1, 48000, 1, 48000 * 500, 48000LL * 499, 48000},
        {499, 5, 48000, 1, 48000 * 500, 48000LL * 499, 48000},  // cut at the end
        {3, 1, 22050, 24, 2756, 2756, 0},                       // starts at the end: nothing
        {1, 2, 2000000000, 100, 4000000000LL, 20000000, 40000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << "+" << c.count << " @" << c.rate);
        const SoundSlice s = SoundSliceOfFrames(c.first, c.count, c.rate, c.fps, c.frames);
        EXPECT_EQ(s.offset, c.length ? c.offset : 0);
        EXPECT_EQ(s.length, c.length);
    }
}

// Import Sound through the document: the track replaces the loaded one, plays in slices of
// whole stereo frames, and a failure keeps the one before.
TEST_F(SoundImportTest, ImportReplacesTheTrackOrKeepsTheOldOne) {
    CScriptedUi ui;
    CLumvaneDoc doc;
    doc.m_nFps = 25;
    CRecordingWaveOutSystem out(&doc);
    ui.m_fileAnswers.push_back(Source());
    OnImportSound(doc, out, nullptr);
    ASSERT_EQ(ui.Texts(), QStringList());
    ASSERT_EQ(doc.m_bSoundLoaded, 1);
    ASSERT_TRUE(doc.m_pDecodedSound);
    EXPECT_TRUE(doc.m_pDecodedSound->samples == tones);
    EXPECT_EQ(doc.m_pWaveFormat, (wav::Fmt(1, 2, kRate, 16)));
    EXPECT_EQ(doc.GetSoundSampleRate(), kRate);
    EXPECT_EQ(doc.m_szSoundPath, Source());
    out.Clear();
    doc.PlaySoundFrames(5, 4);
    using Ev = CRecordingWaveOutSystem::Event;
    using Op = CRecordingWaveOutSystem::Op;
    EXPECT_EQ(out.Slices(), (std::vector<Ev>{{Op::Prepare, 1, 5 * 1920 * 4, 4 * 1920 * 4},
                                             {Op::Play, 1, 5 * 1920 * 4, 4 * 1920 * 4}}));

    struct Case {
        const char* file;
        bool failDevice;
        const char* text;
    } failures[] = {
        {"silent.wav", false, "The sound track of silent.wav is empty."},
        {"source.wav", true, "There are no audio devices to play the sound track of source.wav."},
    };
    ASSERT_TRUE(wav::Write(Path("silent.wav"), WavOf({}, kRate, 2, 16)));
    for (const Case& c : failures) {
        SCOPED_TRACE(c.file);
        ui.m_messages.clear();
        out.m_bFailQuery = c.failDevice;
        const auto before = doc.m_pDecodedSound;
        ui.m_fileAnswers.push_back(Path(c.file));
        OnImportSound(doc, out, nullptr);
        EXPECT_EQ(ui.Texts(), QStringList{QString::fromUtf8(c.text)});
        EXPECT_EQ(doc.m_bSoundLoaded, 1);
        EXPECT_EQ(doc.m_pDecodedSound, before);
        EXPECT_EQ(out.m_nOpen, 1);
        out.m_bFailQuery = false;
    }
    // Cancel in the file chooser changes nothing.
    ui.m_messages.clear();
    ui.m_fileAnswers.push_back(QString());
    OnImportSound(doc, out, nullptr);
    EXPECT_EQ(ui.Texts(), QStringList());
    EXPECT_TRUE(doc.m_pDecodedSound);
    doc.CloseSound();  // the device goes before the system that recorded it
}

}  // namespace
