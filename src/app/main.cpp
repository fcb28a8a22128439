#include <QApplication>
#include <cstdio>

#include "app/LumvaneApp.h"
#include "app/SingleInstance.h"
#include "export/CommandLine.h"
#include "framework/Process.h"
#include "intake/ImportCommandLine.h"

int main(int argc, char** argv) {
    AfxInitProcess();
    // --import, --export, --info, --help and --version run without a window or display.
    if (const int status = RunImportCommandLine(argc, argv); status >= 0) return status;
    if (const int status = RunCommandLine(argc, argv); status >= 0) return status;
    QApplication qapp(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Lumvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Lumvane"));
    CLumvaneApp app;
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    // A file opened from the desktop goes to the program already running on this display.
    CSingleInstance instance(CSingleInstance::DefaultSocketPath());
    switch (instance.Start(FileToHandOver(arguments))) {
        case CSingleInstance::HandedOver:
            return 0;
        case CSingleInstance::Unanswered:
            std::fputs("lumvane: the running Lumvane is busy; it opens the file when it is free\n",
                       stderr);
            return 1;
        default:
            break;
    }
    instance.Attach(&app);
    if (!app.InitInstance(arguments)) return 0;
    // A cancelled start leaves no main window: the program ends without a message.
    if (!app.GetMainWnd()) return 0;
    return qapp.exec();
}
