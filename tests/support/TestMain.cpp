// Shared main of the widget-level test binaries: a QApplication on the offscreen platform,
// the application's name on every message box, and settings kept away from the user's.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

#include "framework/Ui.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("LumvaneTests"));
    QCoreApplication::setApplicationName(QStringLiteral("LumvaneTests"));
    QStandardPaths::setTestModeEnabled(true);
    AfxSetAppName(QStringLiteral("Lumvane"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
