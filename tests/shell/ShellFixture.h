#pragma once

#include <gtest/gtest.h>

#include <QSettings>
#include <memory>

#include "document/LumvaneDoc.h"
#include "support/ScriptedUi.h"
#include "framework/WinApp.h"
#include "support/ScriptedTabletDriver.h"
#include "input/TabletInput.h"
#include "shell/MainFrame.h"

// A main frame over a small animation, with scripted dialogs and an empty profile.
struct ShellFixture : ::testing::Test {
    CScriptedUi ui;
    std::unique_ptr<CWinApp> app;
    std::unique_ptr<CLumvaneDoc> doc;
    std::unique_ptr<CMainFrame> frame;

    void SetUp() override {
        QSettings().clear();
        TabletInput::SetDriver(std::make_unique<CScriptedTabletDriver>());
        app = std::make_unique<CWinApp>(QStringLiteral("Lumvane"));
        app->LoadStdProfileSettings(4);
        doc = std::make_unique<CLumvaneDoc>();
        ASSERT_EQ(doc->CreateAnimation(8, 4), 1);
        frame = std::make_unique<CMainFrame>(doc.get());
        AfxSetMainWnd(frame.get());
    }
    void TearDown() override {
        AfxSetMainWnd(nullptr);
        frame.reset();
        doc.reset();
        app.reset();
        TabletInput::SetDriver(nullptr);
        QSettings().clear();
    }
};
