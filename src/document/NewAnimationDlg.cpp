#include "document/NewAnimationDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "framework/Ui.h"

CNewAnimationDlg::CNewAnimationDlg(QWidget* parent)
    : CDialog(QStringLiteral("New Animation"), parent) {
    auto* grid = new QGridLayout(this);
    auto* xEdit = new QLineEdit(this);
    auto* yEdit = new QLineEdit(this);
    RegisterControl(IDC_XDIMENSION, xEdit);
    RegisterControl(IDC_YDIMENSION, yEdit);
    grid->addWidget(new QLabel(QStringLiteral("Xdimension:"), this), 0, 0);
    grid->addWidget(xEdit, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Ydimension:"), this), 1, 0);
    grid->addWidget(yEdit, 1, 1);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    RegisterButton(IDOK, ok);
    RegisterButton(IDCANCEL, cancel);
    grid->addWidget(ok, 0, 2);
    grid->addWidget(cancel, 1, 2);

    struct Preset {
        int id;
        const char* text;
        int x;
        int y;
        int row;
        int column;
    };
    static const Preset presets[] = {
        {IDC_640X480, "640x480", 640, 480, 2, 0}, {IDC_1024X768, "1024x768", 1024, 768, 2, 1},
        {IDC_320X240, "320x240", 320, 240, 2, 2}, {IDC_720X576, "720x576", 720, 576, 3, 0},
        {IDC_800X600, "800x600", 800, 600, 3, 1}, {IDC_360X288, "360x288", 360, 288, 3, 2},
    };
    for (const Preset& p : presets) {
        auto* b = new QPushButton(QString::fromLatin1(p.text), this);
        b->setAutoDefault(false);
        RegisterButton(p.id, b);
        OnCommand(p.id, [this, p] { OnPreset(p.id, p.x, p.y); });
        grid->addWidget(b, p.row, p.column);
    }
    xEdit->setFocus();
}

void CNewAnimationDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Text(pDX, IDC_XDIMENSION, m_nXDimension);
    DDV_MinMaxInt(pDX, m_nXDimension, 1, 10000);
    DDX_Text(pDX, IDC_YDIMENSION, m_nYDimension);
    DDV_MinMaxInt(pDX, m_nYDimension, 1, 10000);
}

void CNewAnimationDlg::OnPreset(int id, int x, int y) {
    m_nXDimension = x;
    m_nYDimension = y;
    EndDialog(id);
}
