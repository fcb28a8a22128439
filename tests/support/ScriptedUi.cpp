#include "support/ScriptedUi.h"

#include "framework/Dialog.h"

static CUiService* g_current = nullptr;

CScriptedUi::CScriptedUi() : m_pPrevious(g_current) {
    g_current = this;
    AfxSetUi(this);
}

CScriptedUi::~CScriptedUi() {
    g_current = m_pPrevious;
    AfxSetUi(m_pPrevious);
}

int CScriptedUi::MessageBox(const QString& text, const QString& caption, unsigned type) {
    m_messages.push_back({text, caption, type});
    if (!m_answers.empty()) {
        const int a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    switch (type & MB_TYPEMASK) {
        case MB_OK:
            return IDOK;
        case MB_YESNO:
            ++m_nUnscripted;
            return IDNO;
        default:
            ++m_nUnscripted;
            return IDCANCEL;
    }
}

int CScriptedUi::DoModal(CDialog& dialog) {
    m_dialogTitles.append(dialog.windowTitle());
    if (!dialog.InitModal()) return IDCANCEL;
    if (m_dialogScripts.empty()) {
        ++m_nUnscripted;
    } else {
        DialogScript script = std::move(m_dialogScripts.front());
        m_dialogScripts.pop_front();
        script(dialog);
    }
    if (!dialog.IsEnded()) dialog.EndDialog(IDCANCEL);
    return dialog.GetResult();
}

QString CScriptedUi::FileDialog(const FileDialogRequest& request) {
    m_fileRequests.push_back(request);
    if (m_fileAnswers.empty()) {
        ++m_nUnscripted;
        return QString();
    }
    QString a = m_fileAnswers.front();
    m_fileAnswers.pop_front();
    return a;
}

QString CScriptedUi::DirectoryDialog(const QString& title, const QString& startDir) {
    FileDialogRequest r;
    r.title = title;
    r.initialPath = startDir;
    return FileDialog(r);
}

QStringList CScriptedUi::Texts() const {
    QStringList t;
    for (const auto& m : m_messages) t.append(m.text);
    return t;
}

void CScriptedUi::Clear() {
    m_messages.clear();
    m_dialogTitles.clear();
    m_fileRequests.clear();
    m_nUnscripted = 0;
}
