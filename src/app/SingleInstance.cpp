#include "app/SingleInstance.h"

#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>
#include <QThread>

#include "app/LumvaneApp.h"
#include "framework/FrameWnd.h"
#include "framework/WinApp.h"

namespace {
const QByteArray kReply = QByteArrayLiteral("ok\n");

// In a shared temporary folder someone else could have put a socket of that name there.
bool SafeToUse(const QString& path) {
    const QFileInfo info(path);
    return !info.exists() || info.ownerId() == ::getuid();
}

CFrameWnd* MainFrame(CWinApp* app) {
    return app && app->GetDocTemplate() ? app->GetDocTemplate()->GetFrame() : nullptr;
}
}  // namespace

QString FileToHandOver(const QStringList& arguments) {
    CCommandLineInfo info;
    ParseCommandLine(arguments, info);
    if (info.m_nShellCommand != CCommandLineInfo::FileOpen) return QString();
    return QFileInfo(info.m_strFileName).absoluteFilePath();
}

QString CSingleInstance::DefaultSocketPath() {
    const QString platform = QGuiApplication::platformName();
    QString display;
    if (platform == QLatin1String("xcb")) {
        // ":0" and ":0.0" are the same X server.
        display = qEnvironmentVariable("DISPLAY");
        display.remove(QRegularExpression(QStringLiteral("\\.\\d+$")));
    } else if (platform.startsWith(QLatin1String("wayland"))) {
        display = qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0"));
    }
    QString name = display.isEmpty() ? platform : platform + '-' + display;
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(QStringLiteral("lumvane-%1.socket").arg(name));
    return QDir(QDir::tempPath())
        .filePath(QStringLiteral("lumvane-%1-%2.socket").arg(::getuid()).arg(name));
}

CSingleInstance::CSingleInstance(const QString& socketPath, QObject* parent)
    : QObject(parent), m_strSocketPath(socketPath) {
    // While files wait, look again now and then: a dialog closing or playback ending sends
    // no signal of its own.
    m_retry.setInterval(100);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        DeliverPending();
        if (m_pending.isEmpty()) m_retry.stop();
    });
}

CSingleInstance::~CSingleInstance() {
    if (m_pServer) m_pServer->close();
}

bool CSingleInstance::HandOver(const QString& socketPath, const QString& file, int timeoutMs) {
    if (file.isEmpty() || !SafeToUse(socketPath)) return false;
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(timeoutMs)) return false;
    QByteArray message = file.toUtf8();
    message.append('\0');
    socket.write(message);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(int(deadline.remainingTime()))) return false;
    QByteArray reply;
    while (reply.size() < kReply.size()) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime()))) return false;
        reply += socket.readAll();
    }
    return reply.startsWith(kReply);
}

CSingleInstance::Role CSingleInstance::Start(const QString& file, int timeoutMs) {
    // Without the lock (a folder we cannot write) the decision is made all the same.
    QLockFile lock(m_strSocketPath + QStringLiteral(".lock"));
    lock.tryLock(timeoutMs);
    if (SafeToUse(m_strSocketPath)) {
        QLocalSocket probe;
        probe.connectToServer(m_strSocketPath);
        if (probe.waitForConnected(timeoutMs)) {
            probe.abort();
            if (file.isEmpty()) return Secondary;
            // A second window on the same file is what this is here to prevent, so a program
            // that is slow to confirm still gets the file.
            return HandOver(m_strSocketPath, file, timeoutMs) ? HandedOver : Unanswered;
        }
    }
    Listen();
    return Primary;
}

bool CSingleInstance::IsListening() const {
    return m_pServer && m_pServer->isListening();
}

bool CSingleInstance::Listen() {
    if (!SafeToUse(m_strSocketPath)) return false;
    auto* server = new QLocalServer(this);
    // Nobody answered at the socket, so a file there was left by a program that died.
    if (!server->listen(m_strSocketPath) &&
        !(QLocalServer::removeServer(m_strSocketPath) && server->listen(m_strSocketPath))) {
        delete server;
        return false;
    }
    QFile::setPermissions(m_strSocketPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    m_pServer = server;
    connect(m_pServer, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
    return true;
}

void CSingleInstance::OnNewConnection() {
    while (QLocalSocket* socket = m_pServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        if (socket->bytesAvailable() > 0) OnReadyRead(socket);
    }
}

void CSingleInstance::OnReadyRead(QLocalSocket* socket) {
    QByteArray buffer = socket->property("received").toByteArray() + socket->readAll();
    const qsizetype end = buffer.indexOf('\0');
    if (end < 0) {
        if (buffer.size() > kMaxMessage) {
            socket->abort();
            return;
        }
        socket->setProperty("received", buffer);
        return;
    }
    socket->setProperty("received", QVariant());
    const QString path = QString::fromUtf8(buffer.left(end));
    // Only absolute paths come from a start of ours, and only one per connection.
    if (end > kMaxMessage || path.toUtf8() != buffer.left(end) || !QDir::isAbsolutePath(path)) {
        socket->abort();
        return;
    }
    m_pending.append(path);
    socket->write(kReply);
    socket->flush();
    socket->disconnectFromServer();
    QTimer::singleShot(0, this, [this] { DeliverPending(); });
    m_retry.start();
}

void CSingleInstance::Attach(CWinApp* app) {
    m_pApp = app;
}

bool CSingleInstance::AppBusy() const {
    CFrameWnd* frame = MainFrame(m_pApp);
    // Before the main window exists the start-up dialogs are still running.
    if (!frame || !frame->isVisible() || frame->CommandsBlocked()) return true;
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) return true;
    // A stroke or a drag in progress.
    if (QGuiApplication::mouseButtons() != Qt::NoButton) return true;
    // Inside any nested event loop some command is still running.
    return QThread::currentThread()->loopLevel() > 1;
}

void CSingleInstance::OpenInApp(const QString& path) {
    if (CFrameWnd* frame = MainFrame(m_pApp)) {
        frame->setWindowState((frame->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        frame->raise();
        frame->activateWindow();
    }
    if (m_pApp) m_pApp->OpenDocumentFile(path);
    if (CFrameWnd* frame = MainFrame(m_pApp)) frame->UpdateCommandActions();
}

bool CSingleInstance::DeliverPending() {
    if (m_pending.isEmpty() || m_bDelivering) return false;
    if (m_isBusy ? m_isBusy() : AppBusy()) return false;
    m_bDelivering = true;
    const QString path = m_pending.takeFirst();
    if (m_open)
        m_open(path);
    else
        OpenInApp(path);
    m_bDelivering = false;
    return true;
}
