#include "framework/WinApp.h"

#include <QFileInfo>
#include <QScreen>
#include <QSettings>

#include "framework/CommandIds.h"
#include "framework/Document.h"
#include "framework/FrameWnd.h"
#include "framework/Ui.h"
#include "framework/View.h"

namespace {
CWinApp* g_app = nullptr;
const QString kRecentSection = QStringLiteral("Recent File List");
}  // namespace

CWinApp* AfxGetApp() {
    return g_app;
}

CSingleDocTemplate::CSingleDocTemplate(const QString& docString, DocFactory makeDoc,
                                       FrameFactory makeFrame)
    : m_docStrings(docString.split('\n')),
      m_makeDoc(std::move(makeDoc)),
      m_makeFrame(std::move(makeFrame)) {
    while (m_docStrings.size() < 7) m_docStrings.append(QString());
    CDocument::SetFileType({m_docStrings[filterName], m_docStrings[filterExt]});
}

CSingleDocTemplate::~CSingleDocTemplate() {
    DestroyFrame();
    m_pDocument.reset();
}

QString CSingleDocTemplate::GetDocString(DocStringIndex index) const {
    return m_docStrings[index];
}

bool CSingleDocTemplate::EnsureFrame(bool& created) {
    created = false;
    if (m_pFrame) return true;
    m_pFrame = m_makeFrame(m_pDocument.get());
    if (!m_pFrame) return false;
    created = true;
    AfxSetMainWnd(m_pFrame);
    return true;
}

void CSingleDocTemplate::DestroyFrame() {
    if (!m_pFrame) return;
    CFrameWnd* f = m_pFrame;
    m_pFrame = nullptr;
    if (AfxGetMainWnd() == f) AfxSetMainWnd(nullptr);
    delete f;
}

CDocument* CSingleDocTemplate::OpenDocumentFile(const QString& path, bool addToMru) {
    if (m_pDocument) {
        if (!m_pDocument->SaveModified()) return nullptr;
    } else {
        m_pDocument.reset(m_makeDoc());
    }
    bool createdFrame = false;
    if (!EnsureFrame(createdFrame)) return nullptr;
    CDocument* doc = m_pDocument.get();
    if (path.isEmpty()) {
        if (!doc->OnNewDocument()) {
            if (createdFrame) DestroyFrame();
            return nullptr;
        }
        doc->SetTitle(m_docStrings[docName].isEmpty() ? CDocument::DefaultTitle()
                                                      : m_docStrings[docName]);
    } else {
        if (!doc->OnOpenDocument(path)) {
            if (createdFrame) DestroyFrame();
            return nullptr;
        }
        doc->SetPathName(path, addToMru);
    }
    if (createdFrame) {
        for (CView* v : doc->GetViews()) v->OnInitialUpdate();
        m_pFrame->OnUpdateFrameTitle();
        // Without a window manager "maximised" means nothing, so start at the screen's size.
        if (QScreen* screen = m_pFrame->screen())
            m_pFrame->setGeometry(screen->availableGeometry());
        m_pFrame->showMaximized();
    }
    return doc;
}

CWinApp::CWinApp(const QString& appTitle) : m_strAppTitle(appTitle) {
    g_app = this;
    AfxSetAppName(appTitle);
    OnCommand(ID_FILE_NEW, [this] { OnFileNew(); });
    OnCommand(ID_FILE_OPEN, [this] { OnFileOpen(); });
    OnCommandRange(ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE4, [this](int id) {
        const int i = id - ID_FILE_MRU_FILE1;
        if (i >= m_recentFiles.size()) return;
        const QString path = m_recentFiles[i];
        if (!OpenDocumentFile(path) && !QFileInfo::exists(path)) RemoveFromRecentFileList(path);
    });
    OnUpdateCommand(ID_FILE_MRU_FILE1,
                    [this](CCmdUI* ui) { ui->Enable(!m_recentFiles.isEmpty()); });
    OnCommand(ID_APP_EXIT, [this] {
        if (CFrameWnd* f = GetMainWnd()) f->close();
    });
}

CWinApp::~CWinApp() {
    DestroyDocTemplate();
    if (g_app == this) g_app = nullptr;
}

void CWinApp::AddDocTemplate(std::unique_ptr<CSingleDocTemplate> tmpl) {
    m_pTemplate = std::move(tmpl);
}

CDocument* CWinApp::GetDocument() const {
    return m_pTemplate ? m_pTemplate->GetDocument() : nullptr;
}

void CWinApp::OnFileNew() {
    if (m_pTemplate) m_pTemplate->OpenDocumentFile(QString());
}

void CWinApp::OnFileOpen() {
    if (!m_pTemplate) return;
    FileDialogRequest req;
    req.open = true;
    req.title = QStringLiteral("Open");
    req.filter = CDocument::OpenFilter();
    req.defaultExt = CDocument::FileType().defaultExt;
    const QString path = AfxUi().FileDialog(req);
    if (!path.isEmpty()) OpenDocumentFile(path);
}

CDocument* CWinApp::OpenDocumentFile(const QString& path) {
    return m_pTemplate ? m_pTemplate->OpenDocumentFile(path) : nullptr;
}

QString CWinApp::GetProfileString(const QString& section, const QString& entry,
                                  const QString& defaultValue) const {
    QSettings s;
    return s.value(section + '/' + entry, defaultValue).toString();
}

void CWinApp::WriteProfileString(const QString& section, const QString& entry,
                                 const QString& value) {
    QSettings s;
    s.setValue(section + '/' + entry, value);
}

int CWinApp::GetProfileInt(const QString& section, const QString& entry, int defaultValue) const {
    QSettings s;
    bool ok = false;
    const int v = s.value(section + '/' + entry, defaultValue).toInt(&ok);
    return ok ? v : defaultValue;
}

void CWinApp::WriteProfileInt(const QString& section, const QString& entry, int value) {
    QSettings s;
    s.setValue(section + '/' + entry, value);
}

void CWinApp::LoadStdProfileSettings(int maxMru) {
    m_nMaxMru = maxMru;
    m_recentFiles.clear();
    for (int i = 1; i <= maxMru; ++i) {
        const QString f = GetProfileString(kRecentSection, QStringLiteral("File%1").arg(i));
        if (!f.isEmpty()) m_recentFiles.append(f);
    }
}

void CWinApp::AddToRecentFileList(const QString& path) {
    if (m_nMaxMru <= 0) return;
    const QString abs = QFileInfo(path).absoluteFilePath();
    m_recentFiles.removeAll(abs);
    m_recentFiles.prepend(abs);
    while (m_recentFiles.size() > m_nMaxMru) m_recentFiles.removeLast();
    SaveRecentFiles();
}

void CWinApp::RemoveFromRecentFileList(const QString& path) {
    m_recentFiles.removeAll(path);
    SaveRecentFiles();
}

void CWinApp::SaveRecentFiles() {
    for (int i = 1; i <= m_nMaxMru; ++i)
        WriteProfileString(kRecentSection, QStringLiteral("File%1").arg(i),
                           i <= m_recentFiles.size() ? m_recentFiles[i - 1] : QString());
    if (m_onRecentFilesChanged) m_onRecentFilesChanged();
}
