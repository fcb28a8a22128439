// Replays the WAV fuzzing corpus: every file whole, cut short and with flipped bytes through
// the RIFF walk, and whole through Audio Load. Nothing may read outside the bytes (the
// sanitizer build checks that), a layout never points past them, and a load gives at most one
// message.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "PlayRig.h"
#include "support/CorpusReplay.h"
#include "support/ScriptedUi.h"

namespace {

// Parses an exact-size heap copy, so that a read past the end is an overflow.
WaveLayout ParseCopy(const QByteArray& bytes) {
    std::vector<unsigned char> copy(bytes.begin(), bytes.end());
    const WaveLayout w = ParseWave(copy.empty() ? nullptr : copy.data(), copy.size());
    const std::size_t size = copy.size();
    if (w.format == WaveCheck::Ok || w.format == WaveCheck::Unsupported) {
        EXPECT_LE(w.fmtOffset, size);
        EXPECT_LE(w.fmtSize, size - std::min(size, w.fmtOffset));
        WaveFormatFields f;
        ReadWaveFormat(copy.data() + w.fmtOffset, w.fmtSize, f);
    }
    if (w.format == WaveCheck::Ok && w.data == WaveCheck::Ok) {
        EXPECT_GT(w.dataSize, 0u);
        EXPECT_LE(w.dataOffset, size);
        EXPECT_LE(w.dataSize, size - std::min(size, w.dataOffset));
    }
    return w;
}

}  // namespace

TEST(WavCorpusReplay, EveryFileWholeTruncatedAndFlipped) {
    const QDir corpus(CorpusDir("wav"));
    const QStringList files = corpus.entryList(QDir::Files);
    ASSERT_FALSE(files.isEmpty()) << corpus.path().toStdString();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("replay.wav"));
    int loaded = 0;
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        QFile f(corpus.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        ParseCopy(bytes);
        ReplayCutsAndFlips(bytes, [](const QByteArray& b) { ParseCopy(b); });

        // The whole load, as the user runs it.
        PlayRig rig(3);
        CScriptedUi ui;
        ASSERT_TRUE(wav::Write(path, wav::Bytes(bytes.begin(), bytes.end())));
        ui.m_fileAnswers.push_back(path);
        OnAudioLoad(rig.doc, rig.sound);
        EXPECT_LE(ui.m_messages.size(), 1u);
        if (rig.doc.m_bSoundLoaded) {
            ++loaded;
            EXPECT_TRUE(ui.m_messages.empty());
            EXPECT_EQ(static_cast<std::size_t>(rig.doc.m_nSoundBytes), ParseCopy(bytes).dataSize);
            rig.Play();  // slices of the track for every frame
        }
    }
    EXPECT_GT(loaded, 0);
}
