#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

#include "document/RecoveryCopy.h"

class CLumvaneDoc;
class CWinApp;

// Keeps a recovery copy of the document's unsaved changes: every Autosave/IntervalSeconds
// seconds (1 to 3600, default 60) while Autosave/Enabled (default true) holds, between strokes.
// The copy goes when the changes are saved or given up, and at a normal end.
class CAutosave : public QObject {
    Q_OBJECT
  public:
    static constexpr int kDefaultIntervalSeconds = 60;
    static constexpr int kMaxIntervalSeconds = 3600;
    // How soon a copy put off by a stroke or by the previous copy is tried again.
    static constexpr int kRetryMs = 250;

    // folder: where the copies live. notice: shows a text in the status bar. The settings
    // are read here and again by Reload.
    CAutosave(const QString& folder, std::function<void(const QString&)> notice,
              QObject* parent = nullptr);
    ~CAutosave() override;

    static bool Enabled();
    static int IntervalSeconds();
    int TimerIntervalMs() const { return m_timer.interval(); }
    bool IsEnabled() const { return m_bEnabled; }
    // Takes the settings anew, as Preferences left them; the next copy follows the new interval.
    void Reload();
    // The status-bar text when a copy cannot be written.
    static QString NoticeText(const QString& folder);

    // The document to copy; its clean-up hook removes the copy.
    void Attach(CLumvaneDoc* doc);
    // One round of the timer: a copy when the document has unsaved changes.
    void Tick();
    CRecoveryWriter& Writer() { return m_writer; }

  private:
    void OnWritten(int error);

    CLumvaneDoc* m_pDoc = nullptr;
    CRecoveryWriter m_writer;
    std::function<void(const QString&)> m_notice;
    QTimer m_timer;
    QTimer m_retry;
    bool m_bNoticeShown = false;
    bool m_bEnabled = true;
};

// At start-up: asks about each copy that a program no longer running left in folder, newest
// first. Yes opens the copy as the document under its original path and title, modified, and
// writer takes it over; true then, and the remaining copies wait for the next start. No asks
// whether to discard it. A damaged copy is reported and set aside.
bool OfferRecoveredCopies(CWinApp& app, CRecoveryWriter& writer, const QString& folder);
