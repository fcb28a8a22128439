#pragma once

#include "framework/Dialog.h"

class CLumvaneDoc;
class IShellRelay;

// The Brush Settings dialog: the size (2 .. 40) and hardness (1 .. 100) of one brush stamp.
class CBrushSettingsDlg : public CDialog {
    Q_OBJECT
  public:
    enum { IDC_BRUSH_SIZE = 1021, IDC_HARDNESS = 1023 };

    explicit CBrushSettingsDlg(QWidget* parent = nullptr);

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

    unsigned m_nBrushSize = 0;
    int m_nHardness = 0;
};

// Edits the active tool's stamp through the dialog over parent; on OK rebuilds it, refreshes
// the brush bar through the relay (when there is one) and marks the document modified.
void OnBrushSettings(CLumvaneDoc& doc, QWidget* parent, IShellRelay* relay);
// Adds the always-available Brush Settings command (32791) to the document's table. The
// relay must outlive the document's use of its table.
void RegisterBrushSettingsCommand(CLumvaneDoc& doc, QWidget* parent, IShellRelay* relay);
