#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

class CWinApp;
class QLocalServer;
class QLocalSocket;

// The file a start hands to a program already running: the file to open, made absolute, or
// empty when the arguments ask for no file (nothing, a print request, the shell's flags).
QString FileToHandOver(const QStringList& arguments);

// One program per user and display. A later start with a file hands the file to the running
// program over a local socket and ends; the running program opens it as File > Open would,
// as soon as it has a main window and nothing else is going on. A local socket needs no
// session bus, so this works in a bare X session too.
class CSingleInstance : public QObject {
    Q_OBJECT
  public:
    enum Role {
        Primary,     // no program was running: this one listens (if it could) and goes on
        HandedOver,  // the running program took the file: this start ends
        Secondary,   // a program runs and this start, without a file, has its own window
        Unanswered   // the file went to a program that did not confirm in time; it opens
                     // the file when it gets to it, so this start ends all the same
    };

    // Under XDG_RUNTIME_DIR (the temporary folder with the user id when it is not set), named
    // for the display so that each display has a program of its own. Needs the GUI
    // application for the platform's name.
    static QString DefaultSocketPath();

    explicit CSingleInstance(const QString& socketPath, QObject* parent = nullptr);
    ~CSingleInstance() override;

    // Asks the program at the socket to open file; true once it confirmed.
    static bool HandOver(const QString& socketPath, const QString& file, int timeoutMs);

    // Decides the role under a lock, so that two starts at once cannot both listen or both
    // hand over to nobody. A socket left behind by a program that died is replaced.
    Role Start(const QString& file, int timeoutMs = 5000);
    bool IsListening() const;

    // The files go to this application; until then (and while it is busy) they wait.
    void Attach(CWinApp* app);
    QStringList Pending() const { return m_pending; }
    // Opens the first waiting file when the application is free; true when it did.
    bool DeliverPending();

    // Replaceable for tests; by default the application's own state decides and the file is
    // opened through the application.
    std::function<bool()> m_isBusy;
    std::function<void(const QString&)> m_open;

    // Longest path accepted from the socket, in bytes.
    static constexpr int kMaxMessage = 64 * 1024;

  private:
    bool Listen();
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket);
    bool AppBusy() const;
    void OpenInApp(const QString& path);

    QString m_strSocketPath;
    QLocalServer* m_pServer = nullptr;
    CWinApp* m_pApp = nullptr;
    QStringList m_pending;
    QTimer m_retry;
    bool m_bDelivering = false;
};
