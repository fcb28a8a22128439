#pragma once

#include <functional>

#include "framework/Dialog.h"

class CFrameWnd;
class CLumvaneDoc;
class CTabletInput;

// Edit > Preferences: the settings-file choices, in one dialog.
class CPreferencesDlg : public CDialog {
    Q_OBJECT
  public:
    enum {
        IDC_AUTOSAVE = 1101,
        IDC_AUTOSAVE_INTERVAL = 1102,
        IDC_UNDO_STEPS = 1103,
        IDC_LOOP_PLAYBACK = 1104,
        IDC_TABLET_ACCEPT_ANY = 1105,
        IDC_TABLET_QUIET_START = 1106,
    };
    static constexpr int kMaxIntervalSeconds = 3600;
    static constexpr int kMaxUndoSteps = 1000;

    explicit CPreferencesDlg(QWidget* parent = nullptr);
    void DoDataExchange(CDataExchange* pDX) override;

    int m_bAutosave = 1;
    int m_nIntervalSeconds = 60;
    int m_nUndoSteps = 1;
    int m_bLoopPlayback = 0;
    int m_bAcceptAnyTablet = 0;
    int m_bQuietTabletStart = 0;
};

// What the preferences change besides the settings file.
struct CPreferencesTargets {
    CFrameWnd* frame = nullptr;             // runs Loop Playback, owns the dialog
    CLumvaneDoc* doc = nullptr;             // takes the undo steps
    CTabletInput* tablet = nullptr;         // takes the tablet choices
    std::function<void()> autosaveChanged;  // the new [Autosave] values are in the file
};

// Runs the dialog with the values in effect; on OK stores them and applies them at once.
void OnPreferences(const CPreferencesTargets& targets);
// Adds the always-available Preferences command to the frame's table.
void RegisterPreferencesCommand(const CPreferencesTargets& targets);
