#include <QApplication>
#include <memory>

#include "app/ProvisionalFrame.h"
#include "document/LumvaneDoc.h"
#include "export/CommandLine.h"
#include "framework/WinApp.h"
#include "playback/Playback.h"
#include "playback/QtWaveOut.h"

int main(int argc, char** argv) {
    // --export, --info and --help run without a window or display.
    if (const int status = RunCommandLine(argc, argv); status >= 0) return status;
    QApplication qapp(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Lumvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Lumvane"));
    CWinApp app(QStringLiteral("Lumvane"));
    app.AddDocTemplate(std::make_unique<CSingleDocTemplate>(
        QStringLiteral("Lumvane\n\nLumvane\nLumvane Animation Files (*.anm)\n.anm\n"
                       "Lumvane.Document\nLumvane Animation Document"),
        [] { return new CLumvaneDoc(); },
        [](CDocument* doc) { return new CProvisionalFrame(static_cast<CLumvaneDoc*>(doc)); }));
    app.LoadStdProfileSettings(4);
    app.OnFileNew();
    if (!AfxGetMainWnd()) return 0;
    // ---- playback and sound-track commands ----
    if (auto* doc = dynamic_cast<CLumvaneDoc*>(app.GetDocument()))
        RegisterPlaybackCommands(*doc, QtWaveOutSystem());
    // ---- end of playback commands ----
    return qapp.exec();
}
