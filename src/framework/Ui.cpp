#include "framework/Ui.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "framework/Dialog.h"

namespace {
CQtUiService g_qtUi;
CUiService* g_ui = nullptr;
QString g_appName;

QWidget* DialogParent() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
    if (QWidget* w = QApplication::activeModalWidget()) return w;
    return QApplication::activeWindow();
}
}  // namespace

CUiService& AfxUi() {
    return g_ui ? *g_ui : g_qtUi;
}
void AfxSetUi(CUiService* service) {
    g_ui = service;
}
void AfxSetAppName(const QString& name) {
    g_appName = name;
}
QString AfxGetAppName() {
    return g_appName;
}

int AfxMessageBox(const QString& text, unsigned type) {
    // Like the classic framework: a box without an icon gets the one that suits its buttons.
    if ((type & MB_ICONMASK) == 0) {
        const unsigned buttons = type & MB_TYPEMASK;
        type |= (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) ? MB_ICONQUESTION
                                                                   : MB_ICONEXCLAMATION;
    }
    return AfxUi().MessageBox(text, AfxGetAppName(), type);
}

int CQtUiService::MessageBox(const QString& text, const QString& caption, unsigned type) {
    QMessageBox box(DialogParent());
    box.setWindowTitle(caption);
    box.setText(text);
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND:
            box.setIcon(QMessageBox::Critical);
            break;
        case MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case MB_ICONEXCLAMATION:
            box.setIcon(QMessageBox::Warning);
            break;
        case MB_ICONINFORMATION:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
    }
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MB_YESNOCANCEL:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Yes);
            break;
        case MB_YESNO:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Ok:
            return IDOK;
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        default:
            return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL;
    }
}

int CQtUiService::DoModal(CDialog& dialog) {
    if (!dialog.InitModal()) return IDCANCEL;
    return dialog.exec();
}

QString CQtUiService::FileDialog(const FileDialogRequest& request) {
    QFileDialog dlg(DialogParent(), request.title, request.initialPath, request.filter);
    dlg.setAcceptMode(request.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dlg.setFileMode(request.open && request.mustExist ? QFileDialog::ExistingFile
                                                      : QFileDialog::AnyFile);
    QString ext = request.defaultExt;
    if (ext.startsWith('.')) ext.remove(0, 1);
    if (!ext.isEmpty()) dlg.setDefaultSuffix(ext);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return QString();
    return dlg.selectedFiles().first();
}

QString CQtUiService::DirectoryDialog(const QString& title, const QString& startDir) {
    return QFileDialog::getExistingDirectory(DialogParent(), title, startDir);
}
