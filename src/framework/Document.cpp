#include "framework/Document.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <new>

#include "framework/Archive.h"
#include "framework/CommandIds.h"
#include "framework/FrameWnd.h"
#include "framework/RegularFile.h"
#include "framework/Ui.h"
#include "framework/View.h"
#include "framework/WinApp.h"

CDocFileType CDocument::s_fileType;

QString AfxTextFileNotFound(const QString& path) {
    return QStringLiteral("%1 was not found.").arg(path);
}
QString AfxTextAccessDenied(const QString& path) {
    return QStringLiteral("Access to %1 was denied.").arg(path);
}
QString AfxTextDiskFull(const QString& path) {
    return QStringLiteral("Disk full while accessing %1.").arg(path);
}

QString AfxTextNoMemory(const QString& path) {
    return QStringLiteral("There is not enough memory to open %1.").arg(path);
}

namespace {
const QString kUnexpectedFormat = QStringLiteral("Unexpected file format.");
const QString kFailedToOpen = QStringLiteral("Failed to open document.");
const QString kFailedToSave = QStringLiteral("Failed to save document.");

// The text for an operating-system error, or the fallback when it has none of its own.
QString FileErrorText(int osError, const QString& path, const QString& fallback) {
    switch (osError) {
        case ENOENT:
        case ENOTDIR:
            return AfxTextFileNotFound(path);
        case EACCES:
        case EPERM:
        case EROFS:
            return AfxTextAccessDenied(path);
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return AfxTextDiskFull(path);
        default:
            return fallback;
    }
}
}  // namespace

CDocument::CDocument() {
    OnCommand(ID_FILE_SAVE, [this] { DoFileSave(); });
    OnCommand(ID_FILE_SAVE_AS, [this] { DoSave(QString()); });
}

CDocument::~CDocument() {
    for (CView* v : m_views) v->m_pDocument = nullptr;
}

bool CDocument::OnCmdMsg(int id, CmdPhase phase, CCmdUI* pCmdUI) {
    return DispatchOwn(id, phase, pCmdUI);
}

void CDocument::SetPathName(const QString& path, bool addToMru) {
    m_strPathName = QFileInfo(path).absoluteFilePath();
    SetTitle(QFileInfo(path).completeBaseName());
    if (addToMru && AfxGetApp()) AfxGetApp()->AddToRecentFileList(m_strPathName);
}

void CDocument::SetTitle(const QString& title) {
    m_strTitle = title;
    if (CFrameWnd* frame = AfxGetMainWnd()) frame->OnUpdateFrameTitle();
}

void CDocument::AddView(CView* view) {
    if (std::find(m_views.begin(), m_views.end(), view) != m_views.end()) return;
    m_views.push_back(view);
    view->m_pDocument = this;
}

void CDocument::RemoveView(CView* view) {
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
    if (view->m_pDocument == this) view->m_pDocument = nullptr;
}

void CDocument::UpdateAllViews(CView* sender, int hint, void* pHint) {
    const std::vector<CView*> views = m_views;  // a view may detach while updating
    for (CView* v : views)
        if (v != sender) v->OnUpdate(sender, hint, pHint);
}

int CDocument::OnNewDocument() {
    DeleteContents();
    m_strPathName.clear();
    SetModifiedFlag(false);
    ChangesSavedOrDropped();
    return 1;
}

int CDocument::OnOpenDocument(const QString& path) {
    QFile file;
    errno = 0;
    switch (AfxOpenRegularFile(file, path)) {
        case RegularFileOpen::Opened:
            break;
        case RegularFileOpen::NotRegular:
            AfxMessageBox(kUnexpectedFormat);
            return 0;
        case RegularFileOpen::Failed: {
            const int err = QFileInfo::exists(path) ? errno : ENOENT;
            AfxMessageBox(FileErrorText(err, path, kFailedToOpen));
            return 0;
        }
    }
    const bool wasModified = IsModified();
    // An empty file holds no animation: treat it as damaged rather than keep the old one
    // under the new name.
    if (file.size() == 0) {
        AfxMessageBox(kUnexpectedFormat);
        return 0;
    }
    DeleteContents();
    SetModifiedFlag(true);
    try {
        CArchive ar(&file, CArchive::load);
        ar.m_pDocument = this;
        Serialize(ar);
    } catch (const CArchiveException& e) {
        SetModifiedFlag(wasModified);
        switch (e.m_cause) {
            case CArchiveException::endOfFile:
            case CArchiveException::badFormat:
                AfxMessageBox(kUnexpectedFormat);
                break;
            case CArchiveException::noMemory:
                AfxMessageBox(AfxTextNoMemory(path));
                break;
            default:
                AfxMessageBox(FileErrorText(e.m_nOsError, path, kFailedToOpen));
                break;
        }
        return 0;
    } catch (const std::bad_alloc&) {
        SetModifiedFlag(wasModified);
        AfxMessageBox(AfxTextNoMemory(path));
        return 0;
    }
    SetModifiedFlag(false);
    ChangesSavedOrDropped();
    return 1;
}

int CDocument::OnSaveDocument(const QString& path) {
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        AfxMessageBox(FileErrorText(errno, path, kFailedToSave));
        return 0;
    }
    try {
        CArchive ar(&file, CArchive::store);
        ar.m_pDocument = this;
        Serialize(ar);
        ar.Flush();
    } catch (const CArchiveException& e) {
        file.cancelWriting();
        AfxMessageBox(FileErrorText(e.m_nOsError, path, kFailedToSave));
        return 0;
    } catch (const std::bad_alloc&) {
        file.cancelWriting();
        AfxMessageBox(kFailedToSave);
        return 0;
    }
    errno = 0;
    if (!file.commit()) {
        AfxMessageBox(FileErrorText(errno, path, kFailedToSave));
        return 0;
    }
    SetModifiedFlag(false);
    ChangesSavedOrDropped();
    return 1;
}

bool CDocument::SaveModified() {
    if (!IsModified()) return true;
    const QString name = m_strTitle.isEmpty() ? DefaultTitle() : m_strTitle;
    switch (AfxMessageBox(QStringLiteral("Save changes to %1?").arg(name),
                          MB_YESNOCANCEL | MB_ICONEXCLAMATION)) {
        case IDYES:
            return DoFileSave();
        case IDNO:
            ChangesSavedOrDropped();
            return true;
        default:
            return false;
    }
}

bool CDocument::DoFileSave() {
    if (m_strPathName.isEmpty() ||
        (QFileInfo::exists(m_strPathName) && !QFileInfo(m_strPathName).isWritable()))
        return DoSave(QString());
    return DoSave(m_strPathName);
}

QString CDocument::OpenFilter() {
    return s_fileType.filterName.isEmpty()
               ? QString()
               : s_fileType.filterName + QStringLiteral(";;All Files (*)");
}

bool CDocument::DoSave(const QString& path, bool replace) {
    QString name = path;
    if (name.isEmpty()) {
        FileDialogRequest req;
        req.open = false;
        req.title = QStringLiteral("Save As");
        req.filter = OpenFilter();
        req.defaultExt = s_fileType.defaultExt;
        QString base = m_strPathName.isEmpty() ? m_strTitle : m_strPathName;
        if (!base.isEmpty() && QFileInfo(base).suffix().isEmpty()) base += s_fileType.defaultExt;
        req.initialPath = base;
        req.mustExist = false;
        name = AfxUi().FileDialog(req);
        if (name.isEmpty()) return false;
        if (QFileInfo(name).suffix().isEmpty() && !s_fileType.defaultExt.isEmpty())
            name += s_fileType.defaultExt;
    }
    if (!OnSaveDocument(name)) return false;
    if (replace) SetPathName(name);
    return true;
}
