// Edit > Preferences over a main frame: what each control shows and says, OK storing and
// applying every choice at once, Cancel changing nothing, and the standard texts for bad
// numbers.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSettings>

#include "ShellFixture.h"
#include "document/DocCommandIds.h"
#include "playback/Playback.h"
#include "shell/PreferencesDlg.h"
#include "support/RecordingWaveOut.h"

namespace {
using D = CPreferencesDlg;

struct PreferencesTest : ShellFixture {
    CRecordingWaveOutSystem sound;
    std::shared_ptr<CPlayback> player;
    int autosaveChanges = 0;

    void SetUp() override {
        ShellFixture::SetUp();
        player = RegisterPlaybackCommands(*doc, frame.get(), sound);
        RegisterPreferencesCommand(
            {frame.get(), doc.get(), &tablet, [this] { ++autosaveChanges; }});
    }
    // Runs the command; script fills the dialog and presses its buttons.
    void Run(std::function<void(CDialog&)> script) {
        ui.m_dialogScripts.push_back(std::move(script));
        ASSERT_TRUE(frame->ExecuteCommand(ID_EDIT_PREFERENCES));
    }
    QVariant Setting(const char* key) { return QSettings().value(QString::fromLatin1(key)); }
};

struct Values {
    bool autosave;
    QString interval, undo;
    bool loop, acceptAny, quietStart;
    bool operator==(const Values&) const = default;
};
void PrintTo(const Values& v, std::ostream* os) {
    *os << v.autosave << " " << v.interval.toStdString() << " " << v.undo.toStdString() << " "
        << v.loop << v.acceptAny << v.quietStart;
}
Values Read(CDialog& d) {
    return {d.IsChecked(D::IDC_AUTOSAVE),          d.GetItemText(D::IDC_AUTOSAVE_INTERVAL),
            d.GetItemText(D::IDC_UNDO_STEPS),      d.IsChecked(D::IDC_LOOP_PLAYBACK),
            d.IsChecked(D::IDC_TABLET_ACCEPT_ANY), d.IsChecked(D::IDC_TABLET_QUIET_START)};
}
void Fill(CDialog& d, const Values& v) {
    d.SetCheck(D::IDC_AUTOSAVE, v.autosave);
    d.SetItemText(D::IDC_AUTOSAVE_INTERVAL, v.interval);
    d.SetItemText(D::IDC_UNDO_STEPS, v.undo);
    d.SetCheck(D::IDC_LOOP_PLAYBACK, v.loop);
    d.SetCheck(D::IDC_TABLET_ACCEPT_ANY, v.acceptAny);
    d.SetCheck(D::IDC_TABLET_QUIET_START, v.quietStart);
}
const Values kDefaults{true, "60", "1", false, false, false};
const Values kChanged{false, "3600", "1000", true, true, true};
}  // namespace

TEST_F(PreferencesTest, ControlsSayWhatTheyChange) {
    Run([](CDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Preferences"));
        const struct {
            int id;
            const char* text;  // of a check box
            const char* tip;
        } controls[] = {
            {D::IDC_AUTOSAVE, "&Keep a recovery copy of unsaved work",
             "Autosave: whether a copy of unsaved changes is written in the background, to be "
             "offered after a crash"},
            {D::IDC_AUTOSAVE_INTERVAL, nullptr,
             "How many seconds pass between recovery copies (1 to 3600)"},
            {D::IDC_UNDO_STEPS, nullptr,
             "How many changes to frames Undo can take back (1 to 1000); fewer steps free "
             "memory at once"},
            {D::IDC_LOOP_PLAYBACK, "&Loop playback",
             "Frames > Loop Playback: Play repeats the animation until a key is pressed"},
            {D::IDC_TABLET_ACCEPT_ANY, "&Accept any pen tablet",
             "Pen pressure from a tablet of any maker, not only WACOM"},
            {D::IDC_TABLET_QUIET_START, "&Don't report a missing tablet at start",
             "No tablet messages at start; pressure is still read when a pen appears later"},
        };
        for (const auto& c : controls) {
            QWidget* w = d.GetDlgItem(c.id);
            ASSERT_NE(w, nullptr) << c.id;
            EXPECT_EQ(w->toolTip(), QString::fromUtf8(c.tip)) << c.id;
            if (c.text) {
                ASSERT_NE(d.Item<QCheckBox>(c.id), nullptr) << c.id;
                EXPECT_EQ(d.Item<QCheckBox>(c.id)->text(), QString::fromUtf8(c.text));
            } else {
                EXPECT_NE(d.Item<QLineEdit>(c.id), nullptr) << c.id;
            }
        }
        EXPECT_EQ(Read(d), kDefaults);
        d.ClickButton(IDCANCEL);
    });
}

TEST_F(PreferencesTest, OkStoresAndAppliesEveryChoiceAtOnce) {
    Run([](CDialog& d) {
        Fill(d, kChanged);
        d.ClickButton(IDOK);
        EXPECT_TRUE(d.IsEnded());
    });
    EXPECT_EQ(Setting("Autosave/Enabled").toBool(), false);
    EXPECT_EQ(Setting("Autosave/IntervalSeconds").toInt(), 3600);
    EXPECT_EQ(Setting("Undo/Steps").toInt(), 1000);
    EXPECT_EQ(Setting("Playback/Loop").toBool(), true);
    EXPECT_EQ(Setting("Tablet/AcceptAny").toBool(), true);
    EXPECT_EQ(Setting("Tablet/QuietStart").toBool(), true);
    EXPECT_EQ(autosaveChanges, 1);
    EXPECT_EQ(doc->History().Depth(), 1000);
    EXPECT_TRUE(player->IsLooping());
    EXPECT_TRUE(tablet.AcceptAny());
    EXPECT_TRUE(tablet.QuietStart());
    EXPECT_TRUE(ui.m_messages.empty());
    // The dialog opens with what is in effect; the other ends of the ranges are taken too.
    Run([](CDialog& d) {
        EXPECT_EQ(Read(d), kChanged);
        Fill(d, {true, " 1 ", "1", false, false, false});
        d.ClickButton(IDOK);
    });
    EXPECT_EQ(Setting("Autosave/Enabled").toBool(), true);
    EXPECT_EQ(Setting("Autosave/IntervalSeconds").toInt(), 1);
    EXPECT_EQ(Setting("Playback/Loop").toBool(), false);
    EXPECT_EQ(doc->History().Depth(), 1);
    EXPECT_FALSE(player->IsLooping());
    EXPECT_FALSE(tablet.AcceptAny());
    EXPECT_FALSE(tablet.QuietStart());
    EXPECT_EQ(autosaveChanges, 2);
    // Loop Playback from the menu shows in the dialog.
    ASSERT_TRUE(frame->ExecuteCommand(ID_FRAMES_LOOPPLAYBACK));
    Run([](CDialog& d) {
        EXPECT_TRUE(d.IsChecked(D::IDC_LOOP_PLAYBACK));
        d.ClickButton(IDOK);
    });
    EXPECT_TRUE(player->IsLooping());
}

TEST_F(PreferencesTest, CancelChangesNothing) {
    for (bool escape : {false, true}) {
        Run([escape](CDialog& d) {
            Fill(d, kChanged);
            if (escape)
                d.reject();
            else
                d.ClickButton(IDCANCEL);
        });
        EXPECT_TRUE(QSettings()
                        .allKeys()
                        .filter(QRegularExpression("^(Autosave|Undo|Playback|"
                                                   "Tablet)/"))
                        .isEmpty())
            << QSettings().allKeys().join(' ').toStdString();
        EXPECT_EQ(autosaveChanges, 0);
        EXPECT_EQ(doc->History().Depth(), 1);
        EXPECT_FALSE(player->IsLooping());
        EXPECT_FALSE(tablet.AcceptAny());
        EXPECT_FALSE(tablet.QuietStart());
    }
}

TEST_F(PreferencesTest, BadNumbersGetTheStandardTexts) {
    const QString notInt = QStringLiteral("Please enter an integer.");
    const QString interval = QStringLiteral("Please enter an integer between 1 and 3600.");
    const QString undo = QStringLiteral("Please enter an integer between 1 and 1000.");
    const struct {
        QString interval, undo, message;
        int focus;
    } cases[] = {
        {"0", "1", interval, D::IDC_AUTOSAVE_INTERVAL},
        {"3601", "1", interval, D::IDC_AUTOSAVE_INTERVAL},
        {"-5", "1", interval, D::IDC_AUTOSAVE_INTERVAL},
        {"", "1", notInt, D::IDC_AUTOSAVE_INTERVAL},
        {"ten", "1", notInt, D::IDC_AUTOSAVE_INTERVAL},
        {"1.5", "1", notInt, D::IDC_AUTOSAVE_INTERVAL},
        {"99999999999", "1", notInt, D::IDC_AUTOSAVE_INTERVAL},
        {"60", "0", undo, D::IDC_UNDO_STEPS},
        {"60", "1001", undo, D::IDC_UNDO_STEPS},
        {"60", "", notInt, D::IDC_UNDO_STEPS},
        {"60", "x", notInt, D::IDC_UNDO_STEPS},
        {"0", "0", interval, D::IDC_AUTOSAVE_INTERVAL},  // the first failure only
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.interval + " / " + c.undo).toStdString());
        ui.Clear();
        Run([&](CDialog& d) {
            Fill(d, {false, c.interval, c.undo, true, true, true});
            d.ClickButton(IDOK);
            EXPECT_FALSE(d.IsEnded());
            EXPECT_EQ(d.FocusedControl(), c.focus);
            d.ClickButton(IDCANCEL);
        });
        EXPECT_EQ(ui.Texts(), QStringList{c.message});
        EXPECT_TRUE(
            QSettings().allKeys().filter(QRegularExpression("^(Autosave|Undo|Tablet)/")).isEmpty());
        EXPECT_EQ(autosaveChanges, 0);
        EXPECT_FALSE(player->IsLooping());
    }
}
