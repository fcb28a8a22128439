#pragma once

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <memory>

#include "app/LumvaneApp.h"
#include "app/StartupDialogs.h"
#include "document/LumvaneDoc.h"
#include "framework/Dialog.h"
#include "framework/FrameWnd.h"
#include "input/TabletInput.h"
#include "support/RecordingWaveOut.h"
#include "support/ScriptedTabletDriver.h"
#include "support/ScriptedUi.h"

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

// The application object with scripted dialogs, an empty profile and no desktop changes.
struct AppFixture : ::testing::Test {
    CScriptedUi ui;
    std::unique_ptr<CLumvaneApp> app;
    QTemporaryDir dir;
    int pageSetups = 0;
    CRecordingWaveOutSystem waveOut;

    static CScriptedUi::DialogScript Press(int id) {
        return [id](CDialog& d) { d.ClickButton(id); };
    }
    static CScriptedUi::DialogScript Escape() {
        return [](CDialog& d) { d.reject(); };
    }

    void SetUp() override {
        QSettings().clear();
        // A tablet that binds quietly, so that the only messages are the program's own.
        app = std::make_unique<CLumvaneApp>();
        app->m_tablet.SetDriver(std::make_unique<CScriptedTabletDriver>());
        app->m_pWaveOut = &waveOut;
        app->m_bRegisterFileType = false;
        app->m_strRecoveryDir = dir.filePath(QStringLiteral("recovery"));
        app->m_runPageSetup = [this](QPrinter&) {
            ++pageSetups;
            return 0;
        };
    }
    void TearDown() override {
        app.reset();
        QSettings().clear();
    }

    // A small saved animation.
    QString MakeAnimation(const QString& name) {
        const QString path = dir.filePath(name);
        CLumvaneDoc d;
        d.CreateAnimation(8, 2);
        EXPECT_EQ(d.OnSaveDocument(path), 1);
        return path;
    }
    // Accepts the disclaimer and creates a new animation from the start dialog.
    CFrameWnd* StartNew() {
        ui.m_dialogScripts.push_back(Press(IDOK));
        ui.m_dialogScripts.push_back(Press(IDC_CREATE_NEW));
        ui.m_dialogScripts.push_back(Press(IDOK));  // New Animation with its 250 x 250
        EXPECT_EQ(app->InitInstance({}), 1);
        return app->GetMainWnd();
    }
};
