#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <cstring>
#include <vector>

#include "document/LumvaneDoc.h"
#include "shell/BrushSettingsDlg.h"
#include "support/ScriptedUi.h"
#include "views/ViewContext.h"

namespace {

class FakeRelay : public IShellRelay {
  public:
    int RebuildBrushBar() override { return ++rebuilds, 1; }
    int UpdateBrushBar(int) override { return ++other, 1; }
    void ShowFrameNumber(int) override { ++other; }
    void RelayFrameKey(int) override { ++other; }
    int rebuilds = 0;
    int other = 0;
};

std::vector<unsigned char> Mask(const BrushStamp& s) {
    const auto n = static_cast<std::size_t>(s.GetSize()) * s.GetSize();
    return std::vector<unsigned char>(s.GetMask(), s.GetMask() + n);
}

// What the dialog showed when it opened.
struct Shown {
    QString size;
    int slider = -1;
};

// Runs the command with a script that records the opening state, types the size, moves the
// slider and presses a button; returns whether the dialog was still open after the button.
bool RunDialog(CLumvaneDoc& doc, CScriptedUi& ui, const QString& size, int slider, int button,
               Shown* shown = nullptr) {
    bool stillOpen = false;
    ui.m_dialogScripts.push_back([&](CDialog& d) {
        if (shown) {
            shown->size = d.GetItemText(1021);
            shown->slider = d.Item<QSlider>(1023)->value();
        }
        if (!size.isNull()) d.SetItemText(1021, size);
        if (slider > 0) d.Item<QSlider>(1023)->setValue(slider);
        d.ClickButton(button);
        stillOpen = !d.IsEnded();
    });
    doc.OnCmdMsg(ID_EDIT_BRUSHSETTINGS, CmdPhase::Execute, nullptr);
    return stillOpen;
}

}  // namespace

TEST(BrushSettings, DialogControls) {
    CBrushSettingsDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Brush Settings");
    auto* ok = dlg.Item<QPushButton>(1);
    auto* cancel = dlg.Item<QPushButton>(2);
    ASSERT_TRUE(ok && cancel);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(cancel->text(), "Cancel");
    EXPECT_FALSE(cancel->isDefault());
    EXPECT_NE(dlg.Item<QLineEdit>(1021), nullptr);
    auto* slider = dlg.Item<QSlider>(1023);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->orientation(), Qt::Horizontal);
    EXPECT_EQ(slider->tickPosition(), QSlider::NoTicks);
    EXPECT_EQ(slider->minimum(), 1);
    EXPECT_EQ(slider->maximum(), 100);
    QStringList labels;
    for (QLabel* l : dlg.findChildren<QLabel*>()) labels << l->text();
    labels.sort();
    EXPECT_EQ(labels, (QStringList{"(1-40)", "Hard", "Hardness:", "Size:", "Soft"}));
    // "Soft" sits at the slider's low end, "Hard" at its high end.
    QLabel* soft = nullptr;
    QLabel* hard = nullptr;
    for (QLabel* l : dlg.findChildren<QLabel*>()) {
        if (l->text() == "Soft") soft = l;
        if (l->text() == "Hard") hard = l;
    }
    EXPECT_LT(soft->x(), hard->x());
    EXPECT_GT(dlg.width(), dlg.height());
}

TEST(BrushSettings, RefusedSizesKeepTheDialogOpenAndChangeNothing) {
    struct Case {
        QString text;
        QString message;
    } cases[] = {
        {"1", "Please enter an integer between 2 and 40."},
        {"41", "Please enter an integer between 2 and 40."},
        {"0", "Please enter an integer between 2 and 40."},
        {"4294967295", "Please enter an integer between 2 and 40."},
        {"abc", "Please enter a positive integer."},
        {"", "Please enter a positive integer."},
        {"-3", "Please enter a positive integer."},
        {"2.5", "Please enter a positive integer."},
        {"4294967296", "Please enter a positive integer."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        CScriptedUi ui;
        FakeRelay relay;
        CLumvaneDoc doc;
        RegisterBrushSettingsCommand(doc, nullptr, &relay);
        const std::vector<unsigned char> before = Mask(doc.m_brushes[0]);
        EXPECT_TRUE(RunDialog(doc, ui, c.text, 50, IDOK));
        EXPECT_EQ(ui.Texts(), QStringList{c.message});
        EXPECT_EQ(ui.m_messages[0].caption, "Lumvane");
        EXPECT_EQ(doc.m_brushes[0].GetSize(), 2);
        EXPECT_EQ(Mask(doc.m_brushes[0]), before);
        EXPECT_FALSE(doc.IsModified());
        EXPECT_EQ(relay.rebuilds, 0);
    }
}

TEST(BrushSettings, AcceptedSettingsRebuildTheActiveStamp) {
    struct Case {
        const char* what;
        int eraser;
        QString size;  // null: leave what the dialog shows
        int slider;    // 0: leave the slider
        int edited;    // index of the stamp that changes
        QString shownSize;
        int shownSlider;
        int size_, core;
    } cases[] = {
        // Default drawing stamp 2 / 20 reads back as hardness 0, shown as 1; OK keeps core 0.
        {"default stamp", 0, QString(), 0, 0, "2", 1, 2, 0},
        {"size 40 fully hard", 0, "40", 100, 0, "2", 1, 40, 40},
        {"size 2 accepted", 0, " 2 ", 100, 0, "2", 1, 2, 2},
        {"eraser stamp", 1, "12", 50, 9, "25", 1, 12, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CScriptedUi ui;
        FakeRelay relay;
        CLumvaneDoc doc;
        RegisterBrushSettingsCommand(doc, nullptr, &relay);
        doc.m_bEraser = c.eraser;
        const int other = c.edited == 0 ? 9 : 0;
        const std::vector<unsigned char> otherBefore = Mask(doc.m_brushes[other]);
        const std::vector<unsigned char> editedBefore = Mask(doc.m_brushes[c.edited]);
        Shown shown;
        EXPECT_FALSE(RunDialog(doc, ui, c.size, c.slider, IDOK, &shown));
        EXPECT_EQ(ui.m_dialogTitles, QStringList{"Brush Settings"});
        EXPECT_TRUE(ui.Texts().isEmpty());
        EXPECT_EQ(shown.size, c.shownSize);
        EXPECT_EQ(shown.slider, c.shownSlider);
        const BrushStamp& s = doc.m_brushes[c.edited];
        EXPECT_EQ(s.GetSize(), c.size_);
        EXPECT_EQ(s.GetCore(), c.core);
        if (c.size.isNull()) {
            EXPECT_EQ(Mask(s), editedBefore);
        }
        EXPECT_EQ(Mask(doc.m_brushes[other]), otherBefore);
        EXPECT_TRUE(doc.IsModified());
        EXPECT_EQ(relay.rebuilds, 1);
        EXPECT_EQ(relay.other, 0);
    }
}

TEST(BrushSettings, FullyHardStampIsSolidInsideTheCircle) {
    CScriptedUi ui;
    CLumvaneDoc doc;
    RegisterBrushSettingsCommand(doc, nullptr, nullptr);
    RunDialog(doc, ui, "40", 100, IDOK);
    const BrushStamp& s = doc.m_brushes[0];
    ASSERT_EQ(s.GetSize(), 40);
    for (int v = 0; v < 40; ++v)
        for (int u = 0; u < 40; ++u) {
            const double du = u - 20.0, dv = v - 20.0;
            const unsigned char m = s.GetMask()[v * 40 + u];
            if (du * du + dv * dv < 19.0 * 19.0) {
                ASSERT_EQ(m, 0) << u << "," << v;
            }
            if (du * du + dv * dv >= 20.0 * 20.0) {
                ASSERT_EQ(m, 255) << u << "," << v;
            }
        }
}

TEST(BrushSettings, CancelChangesNothing) {
    struct Case {
        const char* what;
        QString size;
        int slider;
        int modifiedBefore;
    } cases[] = {
        {"after typing a valid size", "30", 80, 0},
        {"after a refused size", "abc", 80, 0},
        {"modified document stays modified", "30", 80, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CScriptedUi ui;
        FakeRelay relay;
        CLumvaneDoc doc;
        RegisterBrushSettingsCommand(doc, nullptr, &relay);
        doc.SetModifiedFlag(c.modifiedBefore != 0);
        const std::vector<unsigned char> before = Mask(doc.m_brushes[0]);
        if (c.size == "abc") {
            ui.m_dialogScripts.push_back([](CDialog& d) {
                d.SetItemText(1021, "abc");
                d.ClickButton(IDOK);
                d.ClickButton(IDCANCEL);
            });
            doc.OnCmdMsg(ID_EDIT_BRUSHSETTINGS, CmdPhase::Execute, nullptr);
        } else {
            EXPECT_FALSE(RunDialog(doc, ui, c.size, c.slider, IDCANCEL));
        }
        EXPECT_EQ(Mask(doc.m_brushes[0]), before);
        EXPECT_EQ(doc.m_brushes[0].GetSize(), 2);
        EXPECT_EQ(doc.IsModified(), c.modifiedBefore != 0);
        EXPECT_EQ(relay.rebuilds, 0);
    }
}

TEST(BrushSettings, CommandIsAlwaysAvailableAndWorksWithoutABrushBar) {
    CScriptedUi ui;
    CLumvaneDoc doc;  // no animation yet
    EXPECT_FALSE(doc.OnCmdMsg(ID_EDIT_BRUSHSETTINGS, CmdPhase::Query, nullptr));
    RegisterBrushSettingsCommand(doc, nullptr, nullptr);
    CCmdUI cmd(ID_EDIT_BRUSHSETTINGS);
    cmd.Enable(false);
    EXPECT_TRUE(doc.OnCmdMsg(ID_EDIT_BRUSHSETTINGS, CmdPhase::Update, &cmd));
    EXPECT_TRUE(cmd.m_bEnabled);
    RunDialog(doc, ui, "7", 60, IDOK);
    EXPECT_EQ(doc.m_brushes[0].GetSize(), 7);
    EXPECT_EQ(doc.m_brushes[0].GetHardness(), 57);  // core 7 * 60 / 100 = 4
    EXPECT_TRUE(doc.IsModified());
}
