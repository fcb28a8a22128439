// One program per user and display: the hand-over over the local socket, the queue of files
// that wait while the program is busy, and the real program started twice.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QTest>
#include <chrono>
#include <cstring>
#include <future>

#include "AppFixture.h"
#include "app/SingleInstance.h"

namespace {
using namespace std::chrono_literals;

// The other start runs in a thread of its own: its blocking hand-over needs this thread's
// event loop to answer.
bool HandOverWhileServing(const QString& socket, const QString& file) {
    auto done = std::async(std::launch::async,
                           [=] { return CSingleInstance::HandOver(socket, file, 10000); });
    while (done.wait_for(1ms) != std::future_status::ready) QCoreApplication::processEvents();
    QCoreApplication::processEvents();  // the delivery posted on arrival
    return done.get();
}

// Raw bytes from a client that is not a start of ours.
void SendRaw(const QString& socket, const QByteArray& bytes) {
    QLocalSocket s;
    s.connectToServer(socket);
    ASSERT_TRUE(s.waitForConnected(1000));
    s.write(bytes);
    s.waitForBytesWritten(1000);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
}

// A socket file nobody listens on, as a killed program leaves it.
void LeaveStaleSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, QFile::encodeName(path).constData(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
}

struct SingleInstanceTest : AppFixture {
    QString socket = dir.filePath(QStringLiteral("lumvane.socket"));
};
}  // namespace

TEST(SingleInstance, OnlyAFileToOpenIsHandedOver) {
    const QString here = QDir::currentPath();
    const std::pair<QStringList, QString> cases[] = {
        {{}, ""},
        {{"walk.anm"}, here + "/walk.anm"},
        {{"/anim/walk.anm"}, "/anim/walk.anm"},
        {{"-x", "a.anm", "b.anm"}, here + "/a.anm"},
        {{"/p", "walk.anm"}, ""},
        {{"/dde"}, ""},
    };
    for (const auto& [args, file] : cases)
        EXPECT_EQ(FileToHandOver(args), file) << args.join(' ').toStdString();
}

TEST_F(SingleInstanceTest, TheFirstListensAndLaterStartsHandOverOrKeepTheirOwn) {
    LeaveStaleSocket(socket);
    CSingleInstance first(socket);
    EXPECT_EQ(first.Start(QStringLiteral("/anim/a.anm"), 500), CSingleInstance::Primary);
    ASSERT_TRUE(first.IsListening());
    QStringList opened;
    first.m_isBusy = [] { return false; };
    first.m_open = [&opened](const QString& f) { opened << f; };

    CSingleInstance alone(socket);
    EXPECT_EQ(alone.Start(QString(), 500), CSingleInstance::Secondary);
    EXPECT_FALSE(alone.IsListening());
    // Nobody answers while this thread waits; the file is delivered all the same.
    CSingleInstance unanswered(socket);
    EXPECT_EQ(unanswered.Start(QStringLiteral("/anim/b.anm"), 300), CSingleInstance::Unanswered);
    EXPECT_FALSE(unanswered.IsListening());

    EXPECT_TRUE(HandOverWhileServing(socket, QStringLiteral("/anim/c d.anm")));
    // Damaged requests are dropped and the server goes on.
    SendRaw(socket, QByteArrayLiteral("relative.anm") + '\0');
    SendRaw(socket, QByteArray("/bad\xff.anm", 9) + '\0');
    SendRaw(socket, QByteArray(CSingleInstance::kMaxMessage + 10, '/'));
    EXPECT_TRUE(HandOverWhileServing(socket, QStringLiteral("/anim/\u00e9t\u00e9.anm")));
    EXPECT_EQ(opened, (QStringList{"/anim/b.anm", "/anim/c d.anm", "/anim/\u00e9t\u00e9.anm"}));
    EXPECT_TRUE(first.Pending().isEmpty());
}

TEST_F(SingleInstanceTest, FilesWaitUntilTheProgramIsFreeAndOpenAsFileOpenDoes) {
    const QString a = MakeAnimation(QStringLiteral("a.anm"));
    const QString b = MakeAnimation(QStringLiteral("b.anm"));
    CSingleInstance instance(socket);
    ASSERT_EQ(instance.Start(QString()), CSingleInstance::Primary);
    instance.Attach(app.get());
    // At the disclaimer and the start dialog there is no main window yet.
    ASSERT_TRUE(HandOverWhileServing(socket, a));
    EXPECT_FALSE(instance.DeliverPending());

    CFrameWnd* frame = StartNew();
    ASSERT_NE(frame, nullptr);
    app->GetDocument()->SetModifiedFlag();
    // Playback and export block the commands; the files wait, in order.
    frame->SetCommandsBlocked(true);
    ASSERT_TRUE(HandOverWhileServing(socket, b));
    QTest::qWait(250);
    EXPECT_EQ(instance.Pending(), (QStringList{a, b}));
    frame->SetCommandsBlocked(false);

    ui.Clear();
    ui.m_answers = {IDCANCEL, IDNO};
    QTest::qWait(250);
    EXPECT_TRUE(instance.Pending().isEmpty());
    // Cancel kept the modified Untitled animation; No let b open after a.
    EXPECT_EQ(ui.Texts(), (QStringList{"Save changes to Untitled?", "Save changes to Untitled?"}));
    EXPECT_EQ(app->GetDocument()->GetPathName(), QFileInfo(b).absoluteFilePath());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("b - Lumvane"));
}

#ifdef LUMVANE_EXE
TEST(SingleInstanceProgram, ASecondStartHandsOverAndAKilledProgramBlocksNothing) {
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    const QString socket = home.filePath(QStringLiteral("lumvane-offscreen.socket"));
    auto start = [&env](QProcess& p, const QStringList& args) {
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(LUMVANE_EXE), args);
        return p.waitForStarted(10000);
    };
    auto answers = [&socket] {
        for (int i = 0; i < 1000; ++i) {
            QLocalSocket s;
            s.connectToServer(socket);
            if (s.waitForConnected(100)) return true;
            QTest::qWait(20);
        }
        return false;
    };
    auto handsOver = [&start](const QString& file) {
        QProcess p;
        return start(p, {file}) && p.waitForFinished(10000) &&
               p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    };

    // Both wait at the disclaimer, where nobody answers them.
    QProcess first;
    ASSERT_TRUE(start(first, {}));
    ASSERT_TRUE(answers());
    EXPECT_TRUE(handsOver(QStringLiteral("other.anm")));
    first.kill();
    first.waitForFinished(10000);
    ASSERT_TRUE(QFileInfo::exists(socket));

    QProcess next;
    ASSERT_TRUE(start(next, {QStringLiteral("other.anm")}));
    ASSERT_TRUE(answers());
    EXPECT_TRUE(handsOver(QStringLiteral("third.anm")));
    EXPECT_EQ(next.state(), QProcess::Running);
    next.kill();
    next.waitForFinished(10000);
}
#endif
