#pragma once

#include <gtest/gtest.h>

#include <QSettings>
#include <memory>

#include "document/LumvaneDoc.h"
#include "framework/WinApp.h"
#include "input/TabletInput.h"
#include "shell/MainFrame.h"
#include "support/FrameAccess.h"
#include "support/ScriptedTabletDriver.h"
#include "support/ScriptedUi.h"

// A main frame over a small animation, with scripted dialogs and an empty profile.
struct ShellFixture : ::testing::Test {
    CScriptedUi ui;
    // A tablet that binds quietly, so that the only messages are the program's own.
    CTabletInput tablet{std::make_unique<CScriptedTabletDriver>()};
    std::unique_ptr<CWinApp> app;
    std::unique_ptr<CLumvaneDoc> doc;
    std::unique_ptr<CMainFrame> frame;

    void SetUp() override {
        QSettings().clear();
        app = std::make_unique<CWinApp>(QStringLiteral("Lumvane"));
        app->LoadStdProfileSettings(4);
        doc = std::make_unique<CLumvaneDoc>();
        ASSERT_EQ(doc->CreateAnimation(8, 4), 1);
        frame = std::make_unique<CMainFrame>(doc.get(), &tablet);
        AfxSetMainWnd(frame.get());
    }
    void TearDown() override {
        AfxSetMainWnd(nullptr);
        frame.reset();
        doc.reset();
        app.reset();
        QSettings().clear();
    }
};
