// A save killed at any moment leaves either the old file or the complete new one.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <random>

#include "DocTestUtil.h"
#include "support/ScriptedUi.h"

using namespace doctest;

namespace {
const QStringList kArgs = {"12", "1028", "768", "12345"};

bool WaitForLine(QProcess& p, const QByteArray& prefix, QByteArray* line = nullptr) {
    while (true) {
        while (p.canReadLine()) {
            const QByteArray l = p.readLine().trimmed();
            if (l.startsWith(prefix)) {
                if (line) *line = l;
                return true;
            }
        }
        if (!p.waitForReadyRead(30000)) return false;
    }
}
}  // namespace

TEST(KillDuringSave, OldFileIsIntactOrTheNewOneComplete) {
    QTemporaryDir dir;
    const QString target = dir.filePath("walk.anm");
    const QString reference = dir.filePath("reference.anm");

    CLumvaneDoc old;
    MakeAnimation(old, 8, 2, {1, 2, 3});
    const QByteArray oldBytes = Store(old);

    // One complete run gives the new file and how long its save takes.
    QProcess full;
    full.start(QStringLiteral(LUMVANE_SAVE_HELPER), QStringList{reference} + kArgs);
    QByteArray saved;
    ASSERT_TRUE(WaitForLine(full, "saved", &saved));
    ASSERT_TRUE(full.waitForFinished(60000));
    ASSERT_EQ(full.exitCode(), 0);
    const QByteArray newBytes = ReadAll(reference);
    ASSERT_GT(newBytes.size(), 40 * 1000 * 1000);  // noise: about 5 bytes a pixel
    const int saveMs = std::max(1, saved.mid(6).toInt());

    std::mt19937 rng(20240601);
    std::uniform_int_distribution<int> delay(0, saveMs * 6 / 5);
    int oldSeen = 0;
    int newSeen = 0;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(WriteAll(target, oldBytes));
        QProcess p;
        p.start(QStringLiteral(LUMVANE_SAVE_HELPER), QStringList{target} + kArgs);
        ASSERT_TRUE(WaitForLine(p, "saving"));
        QThread::msleep(static_cast<unsigned long>(delay(rng)));
        p.kill();  // SIGKILL
        ASSERT_TRUE(p.waitForFinished(60000));
        const QByteArray now = ReadAll(target);
        if (now == oldBytes) {
            ++oldSeen;
        } else {
            ASSERT_EQ(now.size(), newBytes.size());
            ASSERT_TRUE(now == newBytes);
            ++newSeen;
        }
        CScriptedUi ui;
        CLumvaneDoc check;
        EXPECT_EQ(check.OnOpenDocument(target), 1);
        EXPECT_TRUE(ui.Texts().isEmpty());
    }
    RecordProperty("old_file_kept", oldSeen);
    RecordProperty("new_file_complete", newSeen);
    EXPECT_GT(oldSeen, 0);  // some kills must land inside the save
}
