#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "PlayRig.h"
#include "playback/FrameSettingsDlg.h"
#include "support/ScriptedUi.h"

TEST(FrameSettings, Controls) {
    CFrameSettingsDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Frame Settings"));
    const std::pair<int, const char*> texts[] = {
        {1038, "25-PAL"},           {1039, "30-NTSC"}, {1040, "Custom:"}, {1041, ""},
        {1036, "Show Every Frame"}, {1, "OK"},         {2, "Cancel"}};
    for (const auto& [id, text] : texts) {
        ASSERT_NE(dlg.GetDlgItem(id), nullptr) << id;
        EXPECT_EQ(dlg.GetItemText(id), QString::fromLatin1(text)) << id;
    }
    for (int id : {1038, 1039, 1040}) EXPECT_NE(dlg.Item<QRadioButton>(id), nullptr);
    EXPECT_NE(dlg.Item<QLineEdit>(1041), nullptr);
    EXPECT_NE(dlg.Item<QCheckBox>(1036), nullptr);
    EXPECT_TRUE(dlg.Item<QPushButton>(1)->isDefault());
    EXPECT_EQ(dlg.RadioGroup(1038), (std::vector<int>{1038, 1039, 1040}));
}

// What the user does in the dialog, and what the document holds afterwards.
TEST(FrameSettings, ChoicesAndValidation) {
    struct Case {
        const char* name;
        int radio;         // button to click first, 0 for none, -1 to clear the group
        const char* edit;  // null leaves the edit as opened
        bool toggleEvery;
        int button;      // IDOK or IDCANCEL
        int fps, every;  // afterwards (starting from 17 and 0)
        QStringList messages;
        bool hint2;
    } cases[] = {
        {"OK without changes keeps the rate", 0, nullptr, false, IDOK, 17, 0, {}, true},
        {"25-PAL", 1038, nullptr, false, IDOK, 25, 0, {}, true},
        {"30-NTSC", 1039, nullptr, false, IDOK, 30, 0, {}, true},
        {"custom rate", 1040, "77", false, IDOK, 77, 0, {}, true},
        {"custom 1", 0, "1", false, IDOK, 1, 0, {}, true},
        {"custom 100 with blanks", 0, " 100 ", false, IDOK, 100, 0, {}, true},
        {"25-PAL ignores a valid edit", 1038, "60", true, IDOK, 25, 1, {}, true},
        {"no rate chosen keeps the rate but takes the check box",
         -1,
         "60",
         true,
         IDOK,
         17,
         1,
         {},
         true},
        {"Cancel changes nothing", 1039, "50", true, IDCANCEL, 17, 0, {}, false},
        {"0 refused with 25-PAL selected",
         1038,
         "0",
         false,
         IDOK,
         17,
         0,
         {"Please enter an integer between 1 and 100."},
         false},
        {"101 refused with 25-PAL selected",
         1038,
         "101",
         false,
         IDOK,
         17,
         0,
         {"Please enter an integer between 1 and 100."},
         false},
        {"text refused with 25-PAL selected",
         1038,
         "fast",
         false,
         IDOK,
         17,
         0,
         {"Please enter a positive integer."},
         false},
        {"negative refused",
         1039,
         "-5",
         false,
         IDOK,
         17,
         0,
         {"Please enter a positive integer."},
         false},
        {"empty refused",
         1040,
         "",
         false,
         IDOK,
         17,
         0,
         {"Please enter a positive integer."},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlayRig rig;
        rig.doc.m_nFps = 17;
        rig.doc.m_bShowEveryFrame = 0;
        CScriptedUi ui;
        bool stillOpen = false;
        int focus = 0;
        ui.m_dialogScripts.push_back([&](CDialog& d) {
            EXPECT_EQ(d.GetItemText(1041), QStringLiteral("17"));
            EXPECT_TRUE(d.IsChecked(1040));
            EXPECT_FALSE(d.IsChecked(1038) || d.IsChecked(1039) || d.IsChecked(1036));
            if (c.radio > 0) d.ClickButton(c.radio);
            if (c.radio < 0) d.SetCheck(1040, false);
            if (c.edit) d.SetItemText(1041, QString::fromLatin1(c.edit));
            if (c.toggleEvery) d.ClickButton(1036);
            d.ClickButton(c.button);
            stillOpen = !d.IsEnded();
            focus = d.FocusedControl();
        });
        rig.view.hints.clear();
        OnFrameSettings(rig.doc, &rig.frame);
        EXPECT_EQ(ui.m_dialogTitles, QStringList{QStringLiteral("Frame Settings")});
        EXPECT_EQ(ui.Texts(), c.messages);
        EXPECT_EQ(rig.doc.m_nFps, c.fps);
        EXPECT_EQ(rig.doc.m_bShowEveryFrame, c.every);
        EXPECT_EQ(rig.view.hints, c.hint2 ? std::vector<int>{2} : std::vector<int>{});
        if (!c.messages.isEmpty()) {
            EXPECT_TRUE(stillOpen);
            EXPECT_EQ(focus, 1041);
        }
    }
}

TEST(FrameSettings, OpensWithTheDocumentsValuesAndRetriesAfterABadEdit) {
    PlayRig rig;
    rig.doc.m_nFps = 30;
    rig.doc.m_bShowEveryFrame = 1;
    CScriptedUi ui;
    ui.m_dialogScripts.push_back([](CDialog& d) {
        EXPECT_EQ(d.GetItemText(1041), QStringLiteral("30"));
        EXPECT_TRUE(d.IsChecked(1040));
        EXPECT_TRUE(d.IsChecked(1036));
        d.SetItemText(1041, QStringLiteral("500"));
        d.ClickButton(IDOK);
        EXPECT_FALSE(d.IsEnded());
        d.SetItemText(1041, QStringLiteral("12"));
        d.ClickButton(1036);
        d.ClickButton(IDOK);
        EXPECT_TRUE(d.IsEnded());
    });
    OnFrameSettings(rig.doc, &rig.frame);
    EXPECT_EQ(ui.Texts(),
              QStringList{QStringLiteral("Please enter an integer between 1 and 100.")});
    EXPECT_EQ(rig.doc.m_nFps, 12);
    EXPECT_EQ(rig.doc.m_bShowEveryFrame, 0);
}
