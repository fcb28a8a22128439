#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "framework/WinApp.h"
#include "input/TabletInput.h"

class CAutosave;
class CLumvaneDoc;
class CMainFrame;
class IWaveOutSystem;
class QPrinter;

// What the command line asks for, by the framework's usual rules.
struct CCommandLineInfo {
    enum ShellCommand { FileNew, FileOpen, FilePrint, FilePrintTo, FileNothing };
    ShellCommand m_nShellCommand = FileNew;
    QString m_strFileName;
    QString m_strPrinterName;
};
// Flags are "-x" or a known "/x" (p, pt, dde, embedding, automation, unregister); the first
// other argument is the file. A print flag turns the file's open into a print request.
void ParseCommandLine(const QStringList& arguments, CCommandLineInfo& info);

// The application: disclaimer, profile, the one document template, file type registration,
// the command line and the start dialog; it also owns the About box and the printer set-up.
class CLumvaneApp : public CWinApp {
  public:
    static QString DocString();
    // Undo/Steps of the settings: how many changes Undo keeps, 1 (the default) to 1000.
    static int UndoStepsSetting();

    CLumvaneApp();
    ~CLumvaneApp() override;

    // arguments without the program name. Returns 1 to run the message loop, 0 to end.
    int InitInstance(const QStringList& arguments);

    void OnAppAbout();
    void OnFilePrintSetup();
    QPrinter& GetPrinter();

    // Where the file type is registered; empty means the user's data directory. Tests point
    // it elsewhere or switch registration off.
    QString m_strDataDir;
    bool m_bRegisterFileType = true;
    bool m_bRunDesktopTools = true;
    // Runs the page set-up dialog on the printer; returns QDialog's result. Replaceable so
    // tests need no window.
    std::function<int(QPrinter&)> m_runPageSetup;
    int m_nNumPreviewPages = 0;
    // The sound device system of new documents; null means the system's own.
    IWaveOutSystem* m_pWaveOut = nullptr;
    // The program's one tablet binding, shared by the drawing views it creates.
    CTabletInput m_tablet;
    // Where recovery copies are kept; empty means the user's application data.
    QString m_strRecoveryDir;
    // Recovery copies of unsaved work; exists once the disclaimer is accepted.
    CAutosave* Autosave() const { return m_pAutosave.get(); }

  private:
    // Adds the commands of the layers above the document to its table, run in that window.
    void RegisterDocumentCommands(CLumvaneDoc& doc, CMainFrame& frame);

    std::unique_ptr<QPrinter> m_pPrinter;
    std::unique_ptr<CAutosave> m_pAutosave;
};
