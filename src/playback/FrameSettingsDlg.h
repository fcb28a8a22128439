#pragma once

#include "framework/Dialog.h"

// Control ids of the Frame Settings dialog.
enum : int {
    IDC_SHOWEVERYFRAME = 1036,
    IDC_RATE_PAL = 1038,
    IDC_RATE_NTSC = 1039,
    IDC_RATE_CUSTOM = 1040,
    IDC_CUSTOM_FPS = 1041
};

// "Frame Settings": the playback rate (25, 30 or a custom 1..100) and Show Every Frame.
class CFrameSettingsDlg : public CDialog {
    Q_OBJECT
  public:
    explicit CFrameSettingsDlg(QWidget* parent = nullptr);

    unsigned m_nCustomFps = 0;
    int m_nRateChoice = -1;
    int m_bShowEveryFrame = 0;

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
};
