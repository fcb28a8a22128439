#include "shell/PreferencesDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>
#include <algorithm>

#include "document/DocCommandIds.h"
#include "document/LumvaneDoc.h"
#include "framework/FrameWnd.h"
#include "framework/Ui.h"
#include "input/TabletInput.h"

namespace {
const QString kAutosaveEnabled = QStringLiteral("Autosave/Enabled");
const QString kAutosaveInterval = QStringLiteral("Autosave/IntervalSeconds");
const QString kUndoSteps = QStringLiteral("Undo/Steps");
const QString kTabletAcceptAny = QStringLiteral("Tablet/AcceptAny");
const QString kTabletQuietStart = QStringLiteral("Tablet/QuietStart");

// A number of the settings file as the program reads it: out of range is clamped, nonsense
// gives the default.
int SettingInt(const QString& key, int fallback, int maxValue) {
    bool ok = false;
    const int v = QSettings().value(key, fallback).toInt(&ok);
    return ok ? std::clamp(v, 1, maxValue) : fallback;
}

bool LoopChecked(CFrameWnd& frame) {
    CCmdUI ui(ID_FRAMES_LOOPPLAYBACK);
    frame.UpdateCmdUI(ui);
    return ui.m_nCheck != 0;
}
}  // namespace

CPreferencesDlg::CPreferencesDlg(QWidget* parent) : CDialog(QStringLiteral("Preferences"), parent) {
    auto* layout = new QVBoxLayout(this);

    auto check = [&](int id, const char* text, const char* tip) {
        auto* box = new QCheckBox(QString::fromUtf8(text), this);
        box->setToolTip(QString::fromUtf8(tip));
        RegisterButton(id, box);
        return box;
    };
    auto edit = [&](int id, const char* tip) {
        auto* e = new QLineEdit(this);
        e->setToolTip(QString::fromUtf8(tip));
        e->setFixedWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
        RegisterControl(id, e);
        return e;
    };

    auto* recovery = new QGroupBox(QStringLiteral("Recovery copy"), this);
    auto* recoveryForm = new QFormLayout(recovery);
    recoveryForm->addRow(check(IDC_AUTOSAVE, "&Keep a recovery copy of unsaved work",
                               "Autosave: whether a copy of unsaved changes is written in the "
                               "background, to be offered after a crash"));
    recoveryForm->addRow(
        QStringLiteral("&Interval (1-3600 seconds):"),
        edit(IDC_AUTOSAVE_INTERVAL, "How many seconds pass between recovery copies (1 to 3600)"));
    layout->addWidget(recovery);

    auto* editing = new QGroupBox(QStringLiteral("Editing and playback"), this);
    auto* editingForm = new QFormLayout(editing);
    editingForm->addRow(QStringLiteral("&Undo steps (1-1000):"),
                        edit(IDC_UNDO_STEPS,
                             "How many changes to frames Undo can take back "
                             "(1 to 1000); fewer steps free memory at once"));
    editingForm->addRow(check(IDC_LOOP_PLAYBACK, "&Loop playback",
                              "Frames > Loop Playback: Play repeats the animation until a key "
                              "is pressed"));
    layout->addWidget(editing);

    auto* tablet = new QGroupBox(QStringLiteral("Pen tablet"), this);
    auto* tabletForm = new QVBoxLayout(tablet);
    tabletForm->addWidget(check(IDC_TABLET_ACCEPT_ANY, "&Accept any pen tablet",
                                "Pen pressure from a tablet of any maker, not only WACOM"));
    tabletForm->addWidget(
        check(IDC_TABLET_QUIET_START, "&Don't report a missing tablet at start",
              "No tablet messages at start; pressure is still read when a pen appears later"));
    layout->addWidget(tablet);

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    RegisterButton(IDOK, ok);
    auto* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setAutoDefault(false);
    RegisterButton(IDCANCEL, cancel);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CPreferencesDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Check(pDX, IDC_AUTOSAVE, m_bAutosave);
    DDX_Text(pDX, IDC_AUTOSAVE_INTERVAL, m_nIntervalSeconds);
    DDV_MinMaxInt(pDX, m_nIntervalSeconds, 1, kMaxIntervalSeconds);
    DDX_Text(pDX, IDC_UNDO_STEPS, m_nUndoSteps);
    DDV_MinMaxInt(pDX, m_nUndoSteps, 1, kMaxUndoSteps);
    DDX_Check(pDX, IDC_LOOP_PLAYBACK, m_bLoopPlayback);
    DDX_Check(pDX, IDC_TABLET_ACCEPT_ANY, m_bAcceptAnyTablet);
    DDX_Check(pDX, IDC_TABLET_QUIET_START, m_bQuietTabletStart);
}

void OnPreferences(const CPreferencesTargets& t) {
    CPreferencesDlg dlg(t.frame);
    QSettings settings;
    dlg.m_bAutosave = settings.value(kAutosaveEnabled, true).toBool();
    dlg.m_nIntervalSeconds =
        SettingInt(kAutosaveInterval, 60, CPreferencesDlg::kMaxIntervalSeconds);
    dlg.m_nUndoSteps = SettingInt(kUndoSteps, 1, CPreferencesDlg::kMaxUndoSteps);
    dlg.m_bLoopPlayback = t.frame && LoopChecked(*t.frame);
    dlg.m_bAcceptAnyTablet = t.tablet ? t.tablet->AcceptAny() : CTabletInput::AcceptAnySetting();
    dlg.m_bQuietTabletStart = t.tablet ? t.tablet->QuietStart() : CTabletInput::QuietStartSetting();
    if (dlg.DoModal() != IDOK) return;

    settings.setValue(kAutosaveEnabled, dlg.m_bAutosave != 0);
    settings.setValue(kAutosaveInterval, dlg.m_nIntervalSeconds);
    settings.setValue(kUndoSteps, dlg.m_nUndoSteps);
    settings.setValue(kTabletAcceptAny, dlg.m_bAcceptAnyTablet != 0);
    settings.setValue(kTabletQuietStart, dlg.m_bQuietTabletStart != 0);
    settings.sync();
    if (t.autosaveChanged) t.autosaveChanged();
    if (t.doc) t.doc->SetUndoDepth(dlg.m_nUndoSteps);
    // The command keeps its own setting.
    if (t.frame && LoopChecked(*t.frame) != (dlg.m_bLoopPlayback != 0))
        t.frame->ExecuteCommand(ID_FRAMES_LOOPPLAYBACK);
    if (t.tablet) {
        t.tablet->SetAcceptAny(dlg.m_bAcceptAnyTablet != 0);
        t.tablet->SetQuietStart(dlg.m_bQuietTabletStart != 0);
    }
}

void RegisterPreferencesCommand(const CPreferencesTargets& targets) {
    if (!targets.frame) return;
    CPreferencesTargets t = targets;
    CFrameWnd* frame = t.frame;
    frame->OnCommand(ID_EDIT_PREFERENCES, [t] { OnPreferences(t); });
    frame->OnUpdateCommand(ID_EDIT_PREFERENCES, [](CCmdUI* ui) { ui->Enable(true); });
}
