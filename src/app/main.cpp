#include <QApplication>

#include "app/LumvaneApp.h"
#include "export/CommandLine.h"

int main(int argc, char** argv) {
    // --export, --info and --help run without a window or display.
    if (const int status = RunCommandLine(argc, argv); status >= 0) return status;
    QApplication qapp(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Lumvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Lumvane"));
    CLumvaneApp app;
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    if (!app.InitInstance(arguments)) return 0;
    // A cancelled start leaves no main window: the program ends without a message.
    if (!app.GetMainWnd()) return 0;
    return qapp.exec();
}
