#pragma once

#include <QString>

class CDialog;

enum { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_TYPEMASK = 0xF,
    MB_ICONHAND = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_ICONMASK = 0xF0
};

// One request for a standard file dialog.
struct FileDialogRequest {
    bool open = true;       // open dialog, else save dialog
    QString title;          // empty: the standard title
    QString filter;         // Qt filter text, e.g. "Lumvane Animation Files (*.anm)"
    QString defaultExt;     // e.g. ".anm", appended to a typed name without extension
    QString initialPath;    // directory or file name to start from
    bool mustExist = true;  // open: the file must exist
};

// Message boxes, modal dialogs and file choosers go through one replaceable service, so that
// every user-visible text can be checked and every answer scripted.
class CUiService {
  public:
    virtual ~CUiService() = default;
    virtual int MessageBox(const QString& text, const QString& caption, unsigned type) = 0;
    // Runs the dialog modally and returns its result (IDOK, IDCANCEL or its own code).
    virtual int DoModal(CDialog& dialog) = 0;
    // Returns the chosen path, or an empty string when cancelled.
    virtual QString FileDialog(const FileDialogRequest& request) = 0;
    // Returns the chosen directory, or an empty string when cancelled.
    virtual QString DirectoryDialog(const QString& title, const QString& startDir) = 0;
};

// The Qt implementation: QMessageBox, QDialog::exec, QFileDialog.
class CQtUiService : public CUiService {
  public:
    int MessageBox(const QString& text, const QString& caption, unsigned type) override;
    int DoModal(CDialog& dialog) override;
    QString FileDialog(const FileDialogRequest& request) override;
    QString DirectoryDialog(const QString& title, const QString& startDir) override;
};

CUiService& AfxUi();
// Installs a service (not owned); nullptr restores the Qt service.
void AfxSetUi(CUiService* service);

// The application's title captions every message box.
void AfxSetAppName(const QString& name);
QString AfxGetAppName();

int AfxMessageBox(const QString& text, unsigned type = MB_OK | MB_ICONEXCLAMATION);
