#include "app/LumvaneApp.h"

#include <QApplication>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>

#include "app/Autosave.h"
#include "app/FileTypeRegistration.h"
#include "app/StartupDialogs.h"
#include "document/LumvaneDoc.h"
#include "export/ExportDlg.h"
#include "export/MovieExportDlg.h"
#include "framework/FrameWnd.h"
#include "framework/Ui.h"
#include "intake/ImportDrawingsDlg.h"
#include "intake/SoundImportCommand.h"
#include "playback/Playback.h"
#include "playback/QtWaveOut.h"
#include "shell/BrushSettingsDlg.h"
#include "shell/CaptureMode.h"
#include "shell/MainFrame.h"
#include "shell/PreferencesDlg.h"

void ParseCommandLine(const QStringList& arguments, CCommandLineInfo& info) {
    info = CCommandLineInfo();
    bool print = false;
    bool printTo = false;
    int printerArgs = 0;
    for (const QString& arg : arguments) {
        const QString lower = arg.toLower();
        const bool known = lower == "/p" || lower == "/pt" || lower == "/dde" ||
                           lower == "/embedding" || lower == "/automation" ||
                           lower == "/unregister" || lower == "/unregserver";
        // On this system a path begins with "/", so only the known words count as flags.
        const bool flag =
            (arg.startsWith('-') && arg.size() > 1) || (known && !QFileInfo::exists(arg));
        if (flag) {
            const QString name = lower.mid(1);
            if (name == "p") {
                print = true;
            } else if (name == "pt") {
                printTo = true;
                printerArgs = 3;  // file, printer, driver, port follow; the file comes first
            } else if (name == "dde" || name == "embedding" || name == "automation" ||
                       name == "unregister" || name == "unregserver") {
                info.m_nShellCommand = CCommandLineInfo::FileNothing;
            }
            continue;
        }
        if (info.m_strFileName.isEmpty()) {
            info.m_strFileName = arg;
        } else if (printTo && printerArgs > 0) {
            if (info.m_strPrinterName.isEmpty()) info.m_strPrinterName = arg;
            --printerArgs;
        }
    }
    if (info.m_nShellCommand == CCommandLineInfo::FileNothing) return;
    if (printTo && !info.m_strFileName.isEmpty())
        info.m_nShellCommand = CCommandLineInfo::FilePrintTo;
    else if (print && !info.m_strFileName.isEmpty())
        info.m_nShellCommand = CCommandLineInfo::FilePrint;
    else if (!info.m_strFileName.isEmpty())
        info.m_nShellCommand = CCommandLineInfo::FileOpen;
}

QString CLumvaneApp::DocString() {
    return QStringLiteral(
        "Lumvane\n\nLumvane\nLumvane Animation Files (*.anm)\n.anm\nLumvane.Document\n"
        "Lumvane Animation Document");
}

CLumvaneApp::CLumvaneApp() : CWinApp(QStringLiteral("Lumvane")) {
    OnCommand(ID_APP_ABOUT, [this] { OnAppAbout(); });
    OnCommand(ID_FILE_PRINT_SETUP, [this] { OnFilePrintSetup(); });
}

CLumvaneApp::~CLumvaneApp() {
    // A normal end: the recovery copy goes, before the document it was taken from.
    m_pAutosave.reset();
    // The drawing view releases the tablet binding when it goes.
    DestroyDocTemplate();
}

void CLumvaneApp::RegisterDocumentCommands(CLumvaneDoc& doc, CMainFrame& frame) {
    const std::shared_ptr<CPlayback> player =
        RegisterPlaybackCommands(doc, &frame, m_pWaveOut ? *m_pWaveOut : QtWaveOutSystem());
    RegisterSoundImportCommand(doc, &frame, m_pWaveOut ? *m_pWaveOut : QtWaveOutSystem());
    RegisterExportCommands(doc, &frame);
    RegisterMovieExportCommands(doc, &frame);
    RegisterImportCommands(doc, &frame);
    RegisterBrushSettingsCommand(doc, &frame, &frame);
    RegisterPreferencesCommand({&frame, &doc, &m_tablet, [this] {
                                    if (m_pAutosave) m_pAutosave->Reload();
                                }});
    RegisterCaptureCommands(doc, &frame, [player] { return player->IsPlaying(); });
}

int CLumvaneApp::InitInstance(const QStringList& arguments) {
    LumvaneInitResources();
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QIcon icon;
        for (int size : {16, 32, 48, 128})
            icon.addFile(QStringLiteral(":/lumvane/lumvane-%1.png").arg(size));
        QApplication::setWindowIcon(icon);
    }

    CDisclaimerDlg disclaimer;
    if (disclaimer.DoModal() == IDCANCEL) return 0;

    const QString recoveryDir =
        m_strRecoveryDir.isEmpty() ? recovery::DefaultFolder() : m_strRecoveryDir;
    m_pAutosave = std::make_unique<CAutosave>(recoveryDir, [this](const QString& text) {
        if (CFrameWnd* frame = GetMainWnd()) frame->SetMessageText(text);
    });

    // The tablet choices count from the first view on.
    m_tablet.SetAcceptAny(CTabletInput::AcceptAnySetting());
    m_tablet.SetQuietStart(CTabletInput::QuietStartSetting());

    LoadStdProfileSettings(4);
    m_nNumPreviewPages =
        GetProfileInt(QStringLiteral("Settings"), QStringLiteral("PreviewPages"), 0);

    AddDocTemplate(std::make_unique<CSingleDocTemplate>(
        DocString(),
        [this] {
            auto* doc = new CLumvaneDoc();
            doc->SetUndoDepth(UndoStepsSetting());
            m_pAutosave->Attach(doc);
            return doc;
        },
        [this](CDocument* d) {
            auto* doc = static_cast<CLumvaneDoc*>(d);
            auto* frame = new CMainFrame(doc, &m_tablet, &GetPrinter());
            RegisterDocumentCommands(*doc, *frame);
            return frame;
        }));

    if (m_bRegisterFileType) {
        const QString dir =
            m_strDataDir.isEmpty()
                ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                : m_strDataDir;
        if (!dir.isEmpty())
            CFileTypeRegistration::Register(dir, QCoreApplication::applicationFilePath(),
                                            m_bRunDesktopTools);
    }

    CCommandLineInfo cmdInfo;
    ParseCommandLine(arguments, cmdInfo);

    // Unsaved work of a run that ended unexpectedly comes first; once recovered, it is the
    // document, and neither the file named on the command line nor the start dialog follows.
    if (OfferRecoveredCopies(*this, m_pAutosave->Writer(), recoveryDir)) return 1;

    // The template shows the main window maximised when it creates it.
    if (cmdInfo.m_nShellCommand == CCommandLineInfo::FileOpen)
        return OpenDocumentFile(cmdInfo.m_strFileName) ? 1 : 0;

    CStartDlg start;
    if (start.DoModal() != IDCANCEL) {
        if (start.m_bOpenExisting) OnFileOpen();
        if (start.m_bCreateNew) OnFileNew();
    }
    return 1;
}

void CLumvaneApp::OnAppAbout() {
    CAboutDlg about(GetMainWnd());
    about.DoModal();
}

int CLumvaneApp::UndoStepsSetting() {
    bool ok = false;
    const int v = QSettings().value(QStringLiteral("Undo/Steps"), 1).toInt(&ok);
    return ok ? std::clamp(v, 1, CUndoHistory::kMaxDepth) : 1;
}

QPrinter& CLumvaneApp::GetPrinter() {
    // Printing draws one frame pixel per screen pixel.
    if (!m_pPrinter) m_pPrinter = std::make_unique<QPrinter>(QPrinter::ScreenResolution);
    return *m_pPrinter;
}

void CLumvaneApp::OnFilePrintSetup() {
    QPrinter& printer = GetPrinter();
    if (m_runPageSetup) {
        m_runPageSetup(printer);
        return;
    }
    QPageSetupDialog dlg(&printer, GetMainWnd());
    dlg.exec();
}
