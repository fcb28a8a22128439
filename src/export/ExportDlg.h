#pragma once

#include <QString>

#include "framework/Dialog.h"

class CFrameWnd;
class CLumvaneDoc;
class QLineEdit;
class QProgressBar;
class CTypingLimit;

// Control ids of the Export Settings and Progress dialogs.
enum : int {
    IDC_SEQUENCE_NAME = 1024,
    IDC_START_NUMBER = 1025,
    IDC_FORMAT_TESSEL = 1026,
    IDC_FORMAT_GRAY = 1027,
    IDC_SELECT_OUTPUT_PATH = 1028,
    IDC_OUTPUT_PATH = 1029,
    IDC_FORMAT_COLOR = 1030,
    IDC_EXPORT_PROGRESS = 1031,
    IDC_EXPORT_STATUS = 1032
};

// "Export Settings": sequence name, start number, format and output directory.
class CExportDlg : public CDialog {
    Q_OBJECT
  public:
    explicit CExportDlg(QWidget* parent = nullptr);

    int m_bPathChosen = 0;
    QString m_strSequenceName;
    unsigned m_nStartNumber = 1;
    int m_nFormat = 0;
    QString m_strOutputPath;

    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnSelectOutputPath();

  private:
    CTypingLimit* m_pNameLimit;
};

// "Progress...": a modeless window without buttons or close box; Enter and Escape do nothing.
class CProgressDlg : public CDialog {
    Q_OBJECT
  public:
    explicit CProgressDlg(QWidget* parent = nullptr);

    QProgressBar* m_progress;
    QString m_strStatus;

    // Shows the window with the bar's range 0..100.
    bool Create();
    // Shows the text and the position, then lets pending events (repaints above all) run.
    void SetProgress(const QString& status, int position);
    void OnOK() override {}
    void OnCancel() override {}

  protected:
    void closeEvent(QCloseEvent* e) override;

  private:
    QLineEdit* m_pStatus;
};

// File > Export: the settings dialog over the main window (may be null), then every frame
// written with a progress window while that window takes no input.
void OnExport(CLumvaneDoc& doc, CFrameWnd* frame);
// Adds Export (always enabled) to the document's command table, run in that main window.
void RegisterExportCommands(CLumvaneDoc& doc, CFrameWnd* frame);
