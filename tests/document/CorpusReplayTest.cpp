// Replays the fuzzing corpus through the loader, whole and damaged: every file either loads
// or is refused with an archive exception, and nothing reads or writes out of bounds (the
// sanitizer build checks that).
#include <gtest/gtest.h>

#include <QDir>

#include "DocTestUtil.h"
#include "document/AnmFormat.h"

using namespace doctest;

namespace {
// Returns 1 when loaded, 0 when refused.
int TryLoad(const QByteArray& bytes) {
    CLumvaneDoc doc;
    try {
        Load(doc, bytes);
    } catch (const CArchiveException&) {
        return 0;
    }
    // A loaded document keeps its invariants.
    EXPECT_GE(doc.m_nFrameCount, 1);
    EXPECT_LE(doc.m_nFrameCount, 500);
    EXPECT_LT(doc.m_nCurrentFrame, doc.m_nFrameCount);
    for (int i = 0; i < doc.m_nFrameCount; ++i)
        EXPECT_EQ(doc.m_frames[i].PixelCount(),
                  static_cast<std::size_t>(doc.m_nWidth) * static_cast<std::size_t>(doc.m_nHeight));
    return 1;
}
}  // namespace

TEST(CorpusReplay, EveryFileWholeTruncatedAndFlipped) {
    anm::SetLoadMemoryLimit(256u << 20);
    const QDir corpus(QStringLiteral(LUMVANE_ANM_CORPUS));
    const QStringList files = corpus.entryList(QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    int loaded = 0;
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray bytes = ReadAll(corpus.filePath(name));
        loaded += TryLoad(bytes);
        // The writer's seeds end with the last brush record, so any cut damages them.
        if (name.startsWith(QStringLiteral("seed_"))) {
            for (qsizetype cut = 0; cut < bytes.size(); cut += 1 + bytes.size() / 64)
                EXPECT_EQ(TryLoad(bytes.left(cut)), 0) << cut;
        }
        for (qsizetype at = 0; at < bytes.size(); at += 1 + bytes.size() / 97) {
            QByteArray flipped = bytes;
            flipped[at] = static_cast<char>(flipped[at] ^ 0x80);
            TryLoad(flipped);
        }
    }
    anm::SetLoadMemoryLimit(0);
    EXPECT_GT(loaded, 0);
}
