#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QTemporaryDir>
#include <random>

#include "PlayRig.h"
#include "document/WaveFile.h"
#include "playback/QtWaveOut.h"
#include "support/ChildProcess.h"
#include "support/FifoRescue.h"
#include "support/ScriptedUi.h"

namespace {

using Op = CRecordingWaveOutSystem::Op;
using Ev = CRecordingWaveOutSystem::Event;
using wav::Bytes;
using wav::Cat;
using wav::Chunk;
using wav::Fmt;
using wav::Riff;

const QString kUnsupported = QStringLiteral(
    "Unsupported audio file!\n(8bit Mono PCM or Radio Quality in Sound Recorder Supported)");
const QString kCorrupt = QStringLiteral("Corrupt audio file!");
const QString kNotWave = QStringLiteral("Incorrect audio file format!");
const QString kBadExt = QStringLiteral("Invalid Audio File extension");
const QString kNoDevice = QStringLiteral("There are no audio devices to play this sound!");
const QString kEmpty = QStringLiteral("Empty audio file!");
const QString kNoOpen = QStringLiteral("Could not open the audio device!");
const QString kCannotOpen = QStringLiteral("Could not open audio file!");

const Bytes kSamples = wav::Samples(300, 7);
const Bytes kFmt = Chunk("fmt ", Fmt(1, 1, 11025, 8));
const Bytes kData = Chunk("data", kSamples);

struct LoadRig : PlayRig {
    QTemporaryDir dir;
    CScriptedUi ui;
    QString Put(const QString& name, const Bytes& bytes) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(wav::Write(path, bytes));
        return path;
    }
    void Load(const QString& path) {
        ui.m_fileAnswers.push_back(path);
        view.hints.clear();
        OnAudioLoad(doc, sound);
    }
    CCmdUI SoundUi() {
        CCmdUI cmd(ID_AUDIO_SOUND);
        doc.OnCmdMsg(ID_AUDIO_SOUND, CmdPhase::Update, &cmd);
        return cmd;
    }
};

}  // namespace

TEST(AudioLoad, FileDialogAndCancel) {
    LoadRig rig;
    rig.Load(QString());  // Cancel
    ASSERT_EQ(rig.ui.m_fileRequests.size(), 1u);
    const FileDialogRequest& r = rig.ui.m_fileRequests[0];
    EXPECT_TRUE(r.open);
    EXPECT_EQ(r.title, QStringLiteral("Select an audio file"));
    EXPECT_EQ(r.filter, QStringLiteral("Audio Files (*.wav)"));
    EXPECT_EQ(r.defaultExt, QStringLiteral(".wav"));
    EXPECT_TRUE(r.mustExist);
    EXPECT_TRUE(rig.view.hints.empty());
    EXPECT_TRUE(rig.ui.m_messages.empty());
    EXPECT_TRUE(rig.doc.m_szSoundPath.isEmpty());
}

// Every file the loader can meet, with the one message it gives (or none) in the loader's
// order of checks.
TEST(AudioLoad, FilesAndMessages) {
    struct Case {
        const char* name;
        QString file;  // name in the temporary folder
        Bytes bytes;
        QString message;  // empty: loads
        bool failQuery = false;
        bool failOpen = false;
    };
    const Bytes odd = Chunk("LIST", Bytes(5, 'x'));  // odd size, padded
    std::vector<Case> cases = {
        {"8-bit mono at 11025 Hz", "a.wav", Cat({Riff(Cat({kFmt, kData}))}), ""},
        {"any rate: 8000 Hz", "a.wav", wav::Pcm8(8000, kSamples), ""},
        {"any rate: 44100 Hz", "a.wav", wav::Pcm8(44100, kSamples), ""},
        {"any rate: 3 Hz", "a.wav", wav::Pcm8(3, kSamples), ""},
        {"18-byte format block", "a.wav",
         Riff(Cat({Chunk("fmt ", Fmt(1, 1, 11025, 8, 18)), kData})), ""},
        {"chunks around and between, odd sizes padded", "a.wav",
         Riff(Cat({odd, kFmt, odd, Chunk("fact", Bytes(4, 1)), kData, odd})), ""},
        {"an odd number of samples", "a.wav", wav::Pcm8(11025, wav::Samples(301)), ""},
        {"another chunk before the RIFF", "a.wav",
         Cat({Chunk("JUNK", Bytes(6, 0)), Riff(Cat({kFmt, kData}))}), ""},
        {"upper-case extension", "a.WAV", wav::Pcm8(11025, kSamples), kBadExt},
        {"mixed-case extension", "a.Wav", wav::Pcm8(11025, kSamples), kBadExt},
        {"other extension", "a.wave", wav::Pcm8(11025, kSamples), kBadExt},
        {"not a RIFF file", "a.wav", Bytes(64, 'A'), kNotWave},
        {"empty file", "a.wav", {}, kNotWave},
        {"RIFF of another form", "a.wav", Riff(Cat({kFmt, kData}), "AVI "), kNotWave},
        {"big-endian RIFX", "a.wav",
         [] {
             Bytes b = wav::Pcm8(11025, kSamples);
             b[3] = 'X';
             return b;
         }(),
         kNotWave},
        {"header cut inside the form type", "a.wav", Bytes({'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W'}),
         kNotWave},
        {"RIFF size past the end of the file", "a.wav",
         Riff(Cat({kFmt, kData}), "WAVE", 4 + kFmt.size() + kData.size() + 2), kCorrupt},
        {"RIFF too short for its form type", "a.wav", Cat({Riff({}, "WAVE", 2), kFmt, kData}),
         kCorrupt},
        {"no fmt chunk", "a.wav", Riff(Cat({kData})), kCorrupt},
        {"fmt size past the RIFF", "a.wav", Riff(Cat({Chunk("fmt ", Fmt(1, 1, 11025, 8), 40)})),
         kCorrupt},
        {"fmt header cut", "a.wav", Riff(Bytes({'f', 'm', 't', ' ', 16, 0})), kCorrupt},
        {"stereo", "a.wav", Riff(Cat({Chunk("fmt ", Fmt(1, 2, 11025, 8)), kData})), kUnsupported},
        {"16-bit", "a.wav", Riff(Cat({Chunk("fmt ", Fmt(1, 1, 11025, 16)), kData})), kUnsupported},
        {"compressed (IMA ADPCM)", "a.wav",
         Riff(Cat({Chunk("fmt ", Fmt(0x11, 1, 11025, 4, 20)), kData})), kUnsupported},
        {"A-law", "a.wav", Riff(Cat({Chunk("fmt ", Fmt(6, 1, 11025, 8)), kData})), kUnsupported},
        {"extensible", "a.wav", Riff(Cat({Chunk("fmt ", Fmt(0xFFFE, 1, 11025, 8, 40)), kData})),
         kUnsupported},
        {"fmt shorter than 16 bytes", "a.wav",
         Riff(Cat({Chunk("fmt ", Fmt(1, 1, 11025, 8, 14)), kData})), kUnsupported},
        {"unsupported comes before the device question", "a.wav",
         Riff(Cat({Chunk("fmt ", Fmt(1, 2, 11025, 8)), kData})), kUnsupported, true},
        {"no device for the format", "a.wav", wav::Pcm8(11025, kSamples), kNoDevice, true},
        {"the device question comes before the data checks", "a.wav", Riff(Cat({kFmt})), kNoDevice,
         true},
        {"data before fmt is not found", "a.wav", Riff(Cat({kData, kFmt})), kCorrupt},
        {"no data chunk", "a.wav", Riff(Cat({kFmt, odd})), kCorrupt},
        {"empty data chunk", "a.wav", Riff(Cat({kFmt, Chunk("data", {})})), kEmpty},
        {"data cut short", "a.wav", Riff(Cat({kFmt, Chunk("data", kSamples, kSamples.size() + 1)})),
         kCorrupt},
        {"data size near 4 GB", "a.wav", Riff(Cat({kFmt, Chunk("data", kSamples, 0xFFFFFFF0)})),
         kCorrupt},
        {"device cannot be opened", "a.wav", wav::Pcm8(11025, kSamples), kNoOpen, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadRig rig;
        rig.sound.m_bFailQuery = c.failQuery;
        rig.sound.m_bFailOpen = c.failOpen;
        const QString path = rig.Put(c.file, c.bytes);
        rig.Load(path);
        EXPECT_EQ(rig.doc.m_szSoundPath, path);
        if (c.message.isEmpty()) {
            EXPECT_TRUE(rig.ui.m_messages.empty()) << rig.ui.Texts().join('|').toStdString();
            EXPECT_EQ(rig.doc.m_bSoundLoaded, 1);
            EXPECT_EQ(rig.view.hints, (std::vector<int>{2, 2}));
            EXPECT_NE(rig.doc.m_hWaveOut, nullptr);
            const WaveLayout w = ParseWave(c.bytes.data(), c.bytes.size());
            // The format block is an exact copy, and the samples are the data chunk's.
            EXPECT_EQ(rig.doc.m_pWaveFormat,
                      Bytes(c.bytes.begin() + long(w.fmtOffset),
                            c.bytes.begin() + long(w.fmtOffset + w.fmtSize)));
            ASSERT_EQ(rig.doc.m_nSoundBytes, int(w.dataSize));
            EXPECT_TRUE(std::equal(rig.doc.m_pSoundData.get(),
                                   rig.doc.m_pSoundData.get() + w.dataSize,
                                   c.bytes.begin() + long(w.dataOffset)));
            WaveFormatFields f;
            ASSERT_TRUE(
                ReadWaveFormat(rig.doc.m_pWaveFormat.data(), rig.doc.m_pWaveFormat.size(), f));
            EXPECT_EQ(rig.doc.GetSoundSampleRate(), int(f.samplesPerSec));
            EXPECT_EQ(rig.sound.m_formats.back(), rig.doc.m_pWaveFormat);
        } else {
            ASSERT_EQ(rig.ui.m_messages.size(), 1u);
            EXPECT_EQ(rig.ui.m_messages[0].text, c.message);
            EXPECT_EQ(rig.ui.m_messages[0].type & MB_TYPEMASK, unsigned(MB_OK));
            EXPECT_EQ(rig.ui.m_messages[0].caption, QStringLiteral("Lumvane"));
            EXPECT_EQ(rig.doc.m_bSoundLoaded, 0);
            EXPECT_EQ(rig.doc.GetSoundSampleRate(), -1);
            EXPECT_EQ(rig.view.hints, std::vector<int>{2});
        }
    }
}

TEST(AudioLoad, PathsThatCannotBeRead) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link("/dev/zero", dir.filePath("zero.wav")));
    struct Case {
        const char* name;
        QString path;
        QString message;
    } cases[] = {
        {"four characters", ".wav", kBadExt},
        {"three characters", "wav", kBadExt},
        {"missing file", "/nonexistent-folder/x.wav", kCannotOpen},
        // Opened without waiting for a writer, and refused.
        {"a FIFO", fifo, kCannotOpen},
        {"a device", dir.filePath("zero.wav"), kCannotOpen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadRig rig;
        FifoRescue rescue(fifo);
        rig.Load(c.path);
        EXPECT_FALSE(rescue.Stop()) << "the load waited for a writer";
        EXPECT_EQ(rig.ui.Texts(), QStringList{c.message});
        EXPECT_EQ(rig.doc.m_bSoundLoaded, 0);
    }
    LoadRig rig;
    ASSERT_TRUE(QDir(rig.dir.path()).mkdir("folder.wav"));
    rig.Load(rig.dir.filePath("folder.wav"));
    EXPECT_EQ(rig.ui.Texts(), QStringList{kCannotOpen});
}

// A device that promises more bytes than it gives, or fails part-way: what a file that shrinks
// while it loads, or a network file system's read error, looks like to the reader.
class CFlakyDevice : public QIODevice {
  public:
    CFlakyDevice(qint64 size, qint64 goodBytes, bool fail)
        : m_size(size), m_good(goodBytes), m_fail(fail) {
        open(QIODevice::ReadOnly);
    }
    qint64 size() const override { return m_size; }
    bool isSequential() const override { return false; }

  protected:
    qint64 readData(char* data, qint64 max) override {
        const qint64 n = std::min(max, std::min<qint64>(m_good - pos(), 7));
        if (n <= 0) return m_fail ? -1 : 0;
        std::memset(data, 'x', static_cast<std::size_t>(n));
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    qint64 m_size, m_good;
    bool m_fail;
};

TEST(AudioLoad, ReadsThatComeUpShortOrFailAreCorruptFiles) {
    struct Case {
        qint64 size, good;
        bool fail;
        CWaveFileBytes::Result result;
    } cases[] = {{100, 100, false, CWaveFileBytes::Ok},
                 {100, 60, false, CWaveFileBytes::ReadFailed},
                 {100, 60, true, CWaveFileBytes::ReadFailed},
                 {100, 0, true, CWaveFileBytes::ReadFailed},
                 {0, 0, true, CWaveFileBytes::Ok}};
    for (const Case& c : cases) {
        CFlakyDevice device(c.size, c.good, c.fail);
        CWaveFileBytes bytes;
        EXPECT_EQ(bytes.Read(device), c.result) << c.size << " " << c.good << " " << c.fail;
        EXPECT_EQ(bytes.Size(), c.result == CWaveFileBytes::Ok ? std::size_t(c.size) : 0u);
    }
    EXPECT_EQ(WaveReadText(CWaveFileBytes::ReadFailed), kCorrupt);
    EXPECT_EQ(WaveReadText(CWaveFileBytes::CannotOpen), kCannotOpen);
    EXPECT_EQ(WaveReadText(CWaveFileBytes::NoMemory),
              QStringLiteral("Not enough memory to load the sound track."));
}

// A track too large for the memory left: the memory text, not "Corrupt audio file!", and the
// program goes on.
TEST(AudioLoad, TrackThatDoesNotFitInMemory) {
    if (LUMVANE_UNDER_ASAN) GTEST_SKIP() << "address-space limits cannot hold under the sanitizer";
    LoadRig rig;
    const QString path = rig.Put("long.wav", wav::Pcm8(11025, Bytes(64 << 20, 128)));
    const ChildResult r = RunInChild([&] {
        if (!LimitAddressSpace(16 << 20)) return std::string("no limit");
        rig.Load(path);
        return rig.ui.Texts().join('|').toStdString() + " loaded " +
               std::to_string(rig.doc.m_bSoundLoaded);
    });
    ASSERT_TRUE(r.exited && r.code == 0) << r.How();
    EXPECT_EQ(r.report, "Not enough memory to load the sound track. loaded 0");
}

// A new load gives the old track up first; only a complete success loads again.
TEST(AudioLoad, ReplacingATrack) {
    struct Case {
        const char* name;
        Bytes second;
        bool failOpen;
        QString message;
        bool oldSamplesKept;  // else released
    } cases[] = {
        {"success replaces everything", wav::Pcm8(8000, wav::Samples(50, 3)), false, "", false},
        {"unsupported keeps the old samples", Riff(Cat({Chunk("fmt ", Fmt(1, 2, 8000, 8)), kData})),
         false, kUnsupported, true},
        {"empty keeps the old samples", Riff(Cat({kFmt, Chunk("data", {})})), false, kEmpty, true},
        {"cut-short data releases them", Riff(Cat({kFmt, Chunk("data", kSamples, 400)})), false,
         kCorrupt, false},
        {"device failure", wav::Pcm8(8000, wav::Samples(50, 3)), true, kNoOpen, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadRig rig;
        rig.Load(rig.Put("first.wav", wav::Pcm8(11025, kSamples)));
        ASSERT_EQ(rig.doc.m_bSoundLoaded, 1);
        rig.doc.PlaySoundFrames(0, 1);
        rig.doc.m_bSoundOn = 0;
        rig.sound.Clear();
        const unsigned char* old = rig.doc.m_pSoundData.get();
        rig.sound.m_bFailOpen = c.failOpen;
        rig.Load(rig.Put("second.wav", c.second));
        EXPECT_EQ(rig.ui.Texts(), c.message.isEmpty() ? QStringList() : QStringList{c.message});
        EXPECT_EQ(rig.doc.m_bSoundOn, 0);  // loading leaves the switch alone
        // Sound is disabled after any failed load, even with the earlier track still around.
        const CCmdUI ui = rig.SoundUi();
        EXPECT_EQ(ui.m_bEnabled, c.message.isEmpty());
        EXPECT_EQ(rig.doc.m_pSoundData.get() == old, c.oldSamplesKept);
        if (!c.oldSamplesKept) {
            // Output was stopped before the samples it reads were let go.
            ASSERT_FALSE(rig.sound.m_events.empty());
            EXPECT_EQ(rig.sound.m_events[1], (Ev{Op::Reset, 1}));
            EXPECT_EQ(rig.doc.m_waveHeader.pData, nullptr);
            if (!rig.doc.m_pSoundData) {
                EXPECT_EQ(rig.doc.m_nSoundBytes, 0);
            }
        }
        if (c.message.isEmpty()) {
            EXPECT_EQ(
                rig.sound.m_events,
                (std::vector<Ev>{{Op::Query, 0}, {Op::Reset, 1}, {Op::Close, 1}, {Op::Open, 2}}));
            EXPECT_EQ(rig.doc.GetSoundSampleRate(), 8000);
            EXPECT_EQ(rig.doc.m_nSoundBytes, 50);
        }
    }
}

// Frames to bytes, the slice rules and the output messages.
TEST(SoundFrames, Slices) {
    struct Case {
        const char* name;
        std::uint32_t rate;
        int fps, bytes, first, count;
        int soundOn = 1;
        std::vector<Ev> events;
    };
    const std::vector<Case> cases = {
        {"frame 1 at 11025 Hz and 30 fps starts at byte 367",
         11025,
         30,
         11025,
         1,
         1,
         1,
         {{Op::Reset, 1}, {Op::Prepare, 1, 367, 367}, {Op::Play, 1, 367, 367}}},
        {"frame 2 starts at byte 735",
         11025,
         30,
         11025,
         2,
         1,
         1,
         {{Op::Reset, 1}, {Op::Prepare, 1, 735, 367}, {Op::Play, 1, 735, 367}}},
        {"three frames: one product, no accumulated rounding",
         11025,
         30,
         11025,
         0,
         3,
         1,
         {{Op::Reset, 1}, {Op::Prepare, 1, 0, 1102}, {Op::Play, 1, 0, 1102}}},
        {"a slice straddling the end is shortened",
         11025,
         30,
         1000,
         2,
         1,
         1,
         {{Op::Reset, 1}, {Op::Prepare, 1, 735, 265}, {Op::Play, 1, 735, 265}}},
        {"a slice beyond the end plays nothing", 11025, 30, 1000, 3, 1, 1, {{Op::Reset, 1}}},
        {"count 0 keeps the slice playing", 11025, 30, 11025, 0, 0, 1, {}},
        {"negative count", 11025, 30, 11025, 0, -3, 1, {}},
        {"sound off is silent", 11025, 30, 11025, 0, 5, 0, {}},
        {"a negative first frame reads nothing before the samples",
         11025,
         30,
         11025,
         -1,
         2,
         1,
         {{Op::Reset, 1}}},
        {"products past 32 bits",
         200000,
         1,
         5000,
         0,
         20000,
         1,
         {{Op::Reset, 1}, {Op::Prepare, 1, 0, 5000}, {Op::Play, 1, 0, 5000}}},
        {"offsets past 32 bits", 200000, 1, 5000, 12000, 1, 1, {{Op::Reset, 1}}},
        {"a rate of 0 has nothing to play", 0, 25, 100, 0, 5, 1, {{Op::Reset, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlayRig rig;
        rig.LoadTrack(c.rate, c.bytes);
        rig.doc.m_nFps = c.fps;
        rig.doc.m_bSoundOn = c.soundOn;
        CScriptedUi ui;
        rig.doc.PlaySoundFrames(c.first, c.count);
        EXPECT_EQ(rig.sound.m_events, c.events);
        EXPECT_TRUE(ui.m_messages.empty());
        if (!c.events.empty() && c.events.back().op == Op::Play) {
            EXPECT_TRUE(rig.sound.m_bPlaying);
            EXPECT_EQ(rig.doc.m_waveHeader.pData,
                      rig.doc.m_pSoundData.get() + c.events.back().offset);
            EXPECT_EQ(rig.doc.m_waveHeader.nLength, c.events.back().length);
        }
    }
}

TEST(SoundFrames, NoTrackAndDeviceFailures) {
    {
        PlayRig rig;
        rig.doc.PlaySoundFrames(0, 5);
        EXPECT_TRUE(rig.sound.m_events.empty());
    }
    struct Case {
        bool failPrepare, failPlay;
        QStringList messages;
    } cases[] = {
        {true, false, {"Could not prepare wave header"}},
        {false, true, {"Could not write wave header"}},
        {true, true, {"Could not prepare wave header", "Could not write wave header"}},
    };
    for (const Case& c : cases) {
        PlayRig rig;
        rig.LoadTrack(11025, 11025);
        rig.doc.m_nFps = 30;
        rig.sound.m_bFailPrepare = c.failPrepare;
        rig.sound.m_bFailPlay = c.failPlay;
        CScriptedUi ui;
        rig.doc.PlaySoundFrames(1, 1);
        EXPECT_EQ(ui.Texts(), c.messages);
        // The write is tried even after the prepare failed.
        EXPECT_EQ(rig.sound.Slices().size(), 2u);
    }
}

TEST(SoundFrames, SwitchAndItsUpdateRule) {
    LoadRig rig;
    CCmdUI none = rig.SoundUi();
    EXPECT_FALSE(none.m_bEnabled);
    EXPECT_FALSE(none.m_bCheckChanged);  // the check mark is left as it was
    rig.Load(rig.Put("a.wav", wav::Pcm8(11025, kSamples)));
    for (int on : {1, 0, 1}) {
        EXPECT_EQ(rig.doc.m_bSoundOn, on);
        const CCmdUI ui = rig.SoundUi();
        EXPECT_TRUE(ui.m_bEnabled);
        EXPECT_TRUE(ui.m_bCheckChanged);
        EXPECT_EQ(ui.m_nCheck, on);
        rig.doc.OnCmdMsg(ID_AUDIO_SOUND, CmdPhase::Execute, nullptr);
        if (on) {
            EXPECT_FALSE(rig.SoundUi().m_nCheck);
        }
    }
}

TEST(SoundFrames, DocumentStopsAndClosesTheDeviceWhenDestroyed) {
    CRecordingWaveOutSystem sys;
    {
        CLumvaneDoc doc;
        doc.m_pWaveFormat = Fmt(1, 1, 8000, 8);
        doc.m_hWaveOut = sys.Open(doc.m_pWaveFormat);
    }
    EXPECT_EQ(sys.m_events, (std::vector<Ev>{{Op::Open, 1}, {Op::Reset, 1}, {Op::Close, 1}}));
    EXPECT_EQ(sys.m_nOpen, 0);
}

TEST(Commands, PlaybackCommandsAreAlwaysEnabled) {
    LoadRig rig;
    CLumvaneDoc bare;  // no animation, no track
    CRecordingWaveOutSystem sys;
    for (CLumvaneDoc* doc : {&rig.doc, &bare}) {
        RegisterPlaybackCommands(*doc, &rig.frame, sys, rig.clock);
        for (int id : {ID_FRAMES_PLAY, ID_FRAMES_SETTINGS, ID_AUDIO_LOAD}) {
            CCmdUI ui(id);
            EXPECT_TRUE(doc->OnCmdMsg(id, CmdPhase::Update, &ui)) << id;
            EXPECT_TRUE(ui.m_bEnabled) << id;
        }
    }
    rig.doc.OnCmdMsg(ID_FRAMES_SETTINGS, CmdPhase::Execute, nullptr);
    EXPECT_EQ(rig.ui.m_dialogTitles, QStringList{QStringLiteral("Frame Settings")});
    rig.doc.OnCmdMsg(ID_AUDIO_LOAD, CmdPhase::Execute, nullptr);
    EXPECT_EQ(rig.ui.m_fileRequests.size(), 1u);
    rig.doc.OnCmdMsg(ID_FRAMES_PLAY, CmdPhase::Execute, nullptr);
    EXPECT_EQ(rig.status.back(), QStringLiteral("Finished."));
    EXPECT_EQ(rig.view.shown.size(), 1u);
}

// The reader never looks outside the bytes it is given: every prefix of a file and random
// damage to its sizes give a result whose chunks lie inside the buffer.
TEST(RiffWave, CutAndDamagedFilesStayInside) {
    const Bytes whole =
        Riff(Cat({Chunk("LIST", Bytes(7, 1)), kFmt, Chunk("xyz ", Bytes(3, 2)), kData}));
    auto check = [](const Bytes& b) {
        // An exact-size copy, so a sanitizer build catches any read past it.
        std::unique_ptr<unsigned char[]> buf(new unsigned char[b.size() ? b.size() : 1]);
        std::copy(b.begin(), b.end(), buf.get());
        const WaveLayout w = ParseWave(buf.get(), b.size());
        if (w.format == WaveCheck::Ok || w.format == WaveCheck::Unsupported) {
            EXPECT_LE(w.fmtOffset + w.fmtSize, b.size());
        }
        if (w.format == WaveCheck::Ok && w.data == WaveCheck::Ok) {
            EXPECT_LE(w.dataOffset + w.dataSize, b.size());
        }
        return w;
    };
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        const WaveLayout w = check(Bytes(whole.begin(), whole.begin() + long(n)));
        if (n < whole.size()) {
            // A cut file is never accepted: its RIFF size runs past the end.
            EXPECT_NE(w.format == WaveCheck::Ok && w.data == WaveCheck::Ok, true) << n;
        }
    }
    EXPECT_EQ(check(whole).data, WaveCheck::Ok);
    std::mt19937 rng(42);
    const std::size_t sizeFields[] = {4, 16, 32, 56, 68};  // RIFF, LIST, fmt, "xyz ", data
    for (int i = 0; i < 5000; ++i) {
        Bytes b = whole;
        const std::size_t at = sizeFields[rng() % 5] + rng() % 4;
        b[at] = static_cast<unsigned char>(rng());
        check(b);
    }
    EXPECT_EQ(ParseWave(nullptr, 100).format, WaveCheck::NotWave);
}

// The Qt device turns down format blocks it cannot describe before asking the system: it plays
// 8-bit mono (a loaded WAV) and 16-bit mono or stereo (an imported track).
TEST(QtWaveOut, RefusesFormatsItCannotPlay) {
    const Bytes blocks[] = {Fmt(1, 1, 11025, 8, 14),
                            Fmt(1, 2, 11025, 8),
                            Fmt(1, 3, 11025, 16),  // 16 bits is for mono and stereo only
                            Fmt(1, 2, 48000, 24),
                            Fmt(2, 1, 11025, 8),
                            Fmt(1, 1, 0, 8),
                            Fmt(1, 1, 0x80000000u, 8),
                            {}};
    CQtWaveOutSystem sys;
    for (const Bytes& b : blocks) {
        EXPECT_FALSE(sys.Query(b));
        EXPECT_EQ(sys.Open(b), nullptr);
    }
}

// Audio > Load after an imported track: the imported samples go where the old samples go, and
// slices are bytes of the 8-bit track again; a Load that fails before that leaves no track.
TEST(AudioLoad, ReplacesAnImportedTrack) {
    for (const bool fails : {false, true}) {
        SCOPED_TRACE(fails ? "failing load" : "load");
        LoadRig rig;
        auto track = std::make_shared<DecodedSound>();
        track->rate = 48000;
        track->channels = 2;
        track->samples.assign(48000 * 2, 1000);
        const Bytes format = DecodedSoundFormat(48000, 2);
        rig.doc.UseDecodedSound(track, format, rig.sound.Open(format));
        ASSERT_EQ(rig.doc.m_bSoundLoaded, 1);
        rig.Load(rig.Put("a.wav", fails ? Riff(Cat({Chunk("fmt ", Fmt(1, 2, 11025, 8))}))
                                        : wav::Pcm8(11025, wav::Samples(11025))));
        EXPECT_EQ(rig.doc.m_bSoundLoaded, fails ? 0 : 1);
        EXPECT_EQ(rig.doc.m_pDecodedSound == nullptr, !fails);
        if (fails) continue;
        rig.sound.Clear();
        rig.doc.PlaySoundFrames(1, 1);
        using Ev = CRecordingWaveOutSystem::Event;
        using Op = CRecordingWaveOutSystem::Op;
        EXPECT_EQ(rig.sound.Slices(),
                  (std::vector<Ev>{{Op::Prepare, 2, 441, 441}, {Op::Play, 2, 441, 441}}));
    }
}
