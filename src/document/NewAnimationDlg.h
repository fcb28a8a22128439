#pragma once

#include "framework/Dialog.h"

// "New Animation": the size of a new animation, typed in or taken from one of six presets.
class CNewAnimationDlg : public CDialog {
    Q_OBJECT
  public:
    enum {
        IDC_XDIMENSION = 1000,
        IDC_YDIMENSION = 1001,
        IDC_720X576 = 1002,
        IDC_640X480 = 1003,
        IDC_1024X768 = 1004,
        IDC_320X240 = 1005,
        IDC_800X600 = 1006,
        IDC_360X288 = 1007
    };

    explicit CNewAnimationDlg(QWidget* parent = nullptr);

    int m_nXDimension = 250;
    int m_nYDimension = 250;

    void DoDataExchange(CDataExchange* pDX) override;

  private:
    // Takes the preset's size without reading the edits and closes with the button's id,
    // which is neither IDOK nor IDCANCEL.
    void OnPreset(int id, int x, int y);
};
