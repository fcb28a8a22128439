#include "playback/FrameSettingsDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "document/LumvaneDoc.h"
#include "framework/FrameWnd.h"
#include "framework/Ui.h"
#include "playback/Playback.h"

CFrameSettingsDlg::CFrameSettingsDlg(QWidget* parent)
    : CDialog(QStringLiteral("Frame Settings"), parent) {
    auto* pal = new QRadioButton(QStringLiteral("25-PAL"), this);
    auto* ntsc = new QRadioButton(QStringLiteral("30-NTSC"), this);
    auto* custom = new QRadioButton(QStringLiteral("Custom:"), this);
    auto* fps = new QLineEdit(this);
    auto* every = new QCheckBox(QStringLiteral("Show Every Frame"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);
    fps->setMaximumWidth(60);

    auto* rates = new QGridLayout;
    rates->addWidget(pal, 0, 0);
    rates->addWidget(ntsc, 1, 0);
    rates->addWidget(custom, 2, 0);
    rates->addWidget(fps, 2, 1);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(ok, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancel, QDialogButtonBox::RejectRole);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rates);
    layout->addWidget(every);
    layout->addWidget(buttons);

    RegisterButton(IDC_RATE_PAL, pal);
    RegisterButton(IDC_RATE_NTSC, ntsc);
    RegisterButton(IDC_RATE_CUSTOM, custom);
    RegisterRadioGroup(IDC_RATE_PAL, {IDC_RATE_PAL, IDC_RATE_NTSC, IDC_RATE_CUSTOM});
    RegisterControl(IDC_CUSTOM_FPS, fps);
    RegisterButton(IDC_SHOWEVERYFRAME, every);
    RegisterButton(IDOK, ok);
    RegisterButton(IDCANCEL, cancel);
}

void CFrameSettingsDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Text(pDX, IDC_CUSTOM_FPS, m_nCustomFps);
    // Checked whichever rate is chosen, so a bad edit blocks OK even with 25-PAL selected.
    DDV_MinMaxUInt(pDX, m_nCustomFps, 1, 100);
    DDX_Radio(pDX, IDC_RATE_PAL, m_nRateChoice);
    DDX_Check(pDX, IDC_SHOWEVERYFRAME, m_bShowEveryFrame);
}

void OnFrameSettings(CLumvaneDoc& doc, QWidget* parent) {
    CFrameSettingsDlg dlg(parent);
    dlg.m_nCustomFps = static_cast<unsigned>(doc.m_nFps);
    dlg.m_nRateChoice = 2;
    dlg.m_bShowEveryFrame = doc.m_bShowEveryFrame;
    if (dlg.DoModal() != IDOK) return;
    switch (dlg.m_nRateChoice) {
        case 0:
            doc.m_nFps = 25;
            break;
        case 1:
            doc.m_nFps = 30;
            break;
        case 2:
            doc.m_nFps = static_cast<int>(dlg.m_nCustomFps);
            break;
        default:
            break;
    }
    doc.m_bShowEveryFrame = dlg.m_bShowEveryFrame;
    doc.UpdateAllViews(nullptr, HINT_VIEWS);
}
