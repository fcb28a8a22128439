#include "app/Autosave.h"

#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <algorithm>

#include "document/LumvaneDoc.h"
#include "framework/Ui.h"
#include "framework/WinApp.h"

namespace {
const QString kEnabledKey = QStringLiteral("Autosave/Enabled");
const QString kIntervalKey = QStringLiteral("Autosave/IntervalSeconds");
const QString kUnexpectedFormat = QStringLiteral("Unexpected file format.");
}  // namespace

CAutosave::CAutosave(const QString& folder, std::function<void(const QString&)> notice,
                     QObject* parent)
    : QObject(parent), m_writer(folder), m_notice(std::move(notice)) {
    // The worker reports from its own thread; the notice belongs to the window thread.
    m_writer.m_onWritten = [this](int error) {
        QMetaObject::invokeMethod(
            this, [this, error] { OnWritten(error); }, Qt::QueuedConnection);
    };
    connect(&m_timer, &QTimer::timeout, this, &CAutosave::Tick);
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &CAutosave::Tick);
    // Read once: the window thread does no file work for a copy.
    m_bEnabled = Enabled();
    m_timer.start(IntervalSeconds() * 1000);
}

CAutosave::~CAutosave() {
    if (m_pDoc) m_pDoc->m_onChangesSavedOrDropped = nullptr;
}

void CAutosave::Reload() {
    m_bEnabled = Enabled();
    m_timer.start(IntervalSeconds() * 1000);
}

bool CAutosave::Enabled() {
    return QSettings().value(kEnabledKey, true).toBool();
}

int CAutosave::IntervalSeconds() {
    bool ok = false;
    const int v = QSettings().value(kIntervalKey, kDefaultIntervalSeconds).toInt(&ok);
    return ok ? std::clamp(v, 1, kMaxIntervalSeconds) : kDefaultIntervalSeconds;
}

QString CAutosave::NoticeText(const QString& folder) {
    return QStringLiteral(
               "Could not write the recovery copy to %1: the folder is read-only or full.")
        .arg(folder);
}

void CAutosave::Attach(CLumvaneDoc* doc) {
    m_pDoc = doc;
    doc->m_onChangesSavedOrDropped = [this] { m_writer.Discard(); };
}

void CAutosave::Tick() {
    if (!m_bEnabled || !m_pDoc || !m_pDoc->IsModified()) return;
    switch (m_writer.Copy(*m_pDoc)) {
        case CRecoveryWriter::Result::Busy:
        case CRecoveryWriter::Result::InStroke:
            m_retry.start();
            break;
        default:
            break;
    }
}

void CAutosave::OnWritten(int error) {
    if (error == 0) {
        m_bNoticeShown = false;  // a later failure is news again
        return;
    }
    if (m_bNoticeShown) return;
    m_bNoticeShown = true;
    if (m_notice) m_notice(NoticeText(m_writer.Folder()));
}

bool OfferRecoveredCopies(CWinApp& app, CRecoveryWriter& writer, const QString& folder) {
    CSingleDocTemplate* tmpl = app.GetDocTemplate();
    if (!tmpl) return false;
    std::vector<CRecoveredCopy> copies = FindAbandonedCopies(folder);
    for (CRecoveredCopy& c : copies) {
        if (!c.readable) {
            AfxMessageBox(kUnexpectedFormat);
            c.SetAside();
            continue;
        }
        const QString title = c.title.isEmpty() ? CDocument::DefaultTitle() : c.title;
        const QString when = QLocale().toString(c.time.toLocalTime(), QLocale::ShortFormat);
        const int answer = AfxMessageBox(QStringLiteral("Lumvane was closed before the changes to "
                                                        "%1 were saved. Recover the version of %2?")
                                             .arg(title, when),
                                         MB_YESNO | MB_ICONQUESTION);
        if (answer == IDYES) {
            if (!QFileInfo(c.copyPath).isFile()) {
                AfxMessageBox(kUnexpectedFormat);
                c.SetAside();
                continue;
            }
            // The copy's own name never reaches the recent files or the title.
            CDocument* doc = tmpl->OpenDocumentFile(c.copyPath, false);
            if (!doc) {
                c.SetAside();  // reported by the open
                continue;
            }
            if (c.originalPath.isEmpty())
                doc->ClearPathName();
            else
                doc->SetPathName(c.originalPath, false);
            doc->SetTitle(title);
            doc->SetModifiedFlag(true);
            // Kept until this program's own copy replaces it or the changes are saved.
            writer.Adopt(c);
            return true;
        }
        if (AfxMessageBox(QStringLiteral("Discard the recovered changes to %1?").arg(title),
                          MB_YESNO | MB_ICONQUESTION) == IDYES)
            c.Delete();
        // Otherwise its lock goes with it and the next start asks again.
    }
    return false;
}
