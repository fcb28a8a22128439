// Replays the command-line fuzzing corpus: each file is an argument list separated by NUL
// bytes, parsed whole, cut short and with flipped bytes. An error always has a text, and a
// mode keeps the parser's promises about its values.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "export/CommandLine.h"
#include "export/ExportSequence.h"
#include "support/CorpusReplay.h"

namespace {

// The arguments as the fuzz target splits them.
QStringList Split(const QByteArray& bytes) {
    QStringList args;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size() || bytes[i] == '\0') {
            if (i < bytes.size() || i > start)
                args.append(QString::fromLocal8Bit(bytes.constData() + start, i - start));
            start = i + 1;
        }
    }
    return args;
}

// Returns the mode, or -1 for an error.
int Check(const QByteArray& bytes) {
    const QStringList args = Split(bytes);
    const CommandLineParse r = ParseBatchCommandLine(args);
    if (!r.ok) {
        EXPECT_FALSE(r.error.isEmpty());
        return -1;
    }
    const CommandLineOptions& o = r.options;
    if (o.mode == CommandLineOptions::Info || o.mode == CommandLineOptions::Export ||
        o.mode == CommandLineOptions::Movie) {
        EXPECT_TRUE(args.contains(o.file));
    }
    if (o.mode == CommandLineOptions::Movie) {
        const bool images = o.movieFormat == MovieFormat::Png;
        EXPECT_FALSE(o.outDir.isEmpty());
        EXPECT_GE(o.fps, kMinMovieFps);
        EXPECT_LE(o.fps, kMaxMovieFps);
        if (o.movieFormat != MovieFormat::Mp4 && o.movieFormat != MovieFormat::WebM) {
            EXPECT_TRUE(o.soundFile.isEmpty());
        }
        if (images) {
            EXPECT_LE(o.startNumber, kMaxStartNumber);
            EXPECT_TRUE(IsSequenceNameValid(o.sequenceName));
        }
    }
    if (o.mode == CommandLineOptions::Export) {
        EXPECT_FALSE(o.outDir.isEmpty());
        EXPECT_GE(o.format, EXPORT_DRAWING);
        EXPECT_LE(o.format, EXPORT_COLOR_TARGA);
        EXPECT_LE(o.startNumber, kMaxStartNumber);
        EXPECT_LE(o.sequenceName.size(), kMaxSequenceName);
        EXPECT_TRUE(IsSequenceNameValid(o.sequenceName));
    }
    return o.mode;
}

}  // namespace

TEST(CmdlineCorpusReplay, EveryFileWholeTruncatedAndFlipped) {
    const QDir corpus(CorpusDir("cmdline"));
    const QStringList files = corpus.entryList(QDir::Files);
    ASSERT_FALSE(files.isEmpty()) << corpus.path().toStdString();
    int exports = 0, movies = 0;
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        QFile f(corpus.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const int mode = Check(bytes);
        exports += mode == CommandLineOptions::Export;
        movies += mode == CommandLineOptions::Movie;
        ReplayCutsAndFlips(bytes, [](const QByteArray& b) { Check(b); });
    }
    EXPECT_GT(exports, 0);
    EXPECT_GT(movies, 0);
}
