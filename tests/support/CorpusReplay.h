#pragma once

// Shared by the tests that replay a fuzzing corpus.
#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>

// fuzz/corpus/<name> of the source tree; the tests run with LUMVANE_TEST_DATA=<source>/tests/data.
inline QString CorpusDir(const char* name) {
    const QByteArray data = qgetenv("LUMVANE_TEST_DATA");
    const QString root = data.isEmpty() ? QFileInfo(QStringLiteral(__FILE__)).absolutePath() +
                                              QStringLiteral("/../..")
                                        : QString::fromLocal8Bit(data) + QStringLiteral("/../..");
    return QDir::cleanPath(root + QStringLiteral("/fuzz/corpus/") + QLatin1String(name));
}

// Runs check on every prefix of bytes shorter than the whole, then on every copy with one byte's
// top bit flipped.
template <class Check>
void ReplayCutsAndFlips(const QByteArray& bytes, Check&& check) {
    for (qsizetype cut = 0; cut < bytes.size(); ++cut) check(bytes.left(cut));
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        QByteArray flipped = bytes;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x80);
        check(flipped);
    }
}
