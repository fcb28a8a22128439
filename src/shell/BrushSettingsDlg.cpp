#include "shell/BrushSettingsDlg.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <algorithm>

#include "document/DocCommandIds.h"
#include "document/LumvaneDoc.h"
#include "framework/FrameWnd.h"
#include "framework/Ui.h"
#include "views/ViewContext.h"

namespace {
// Dialog units scale with the dialog's font: 4 x units per average character width and
// 8 y units per line height.
struct DialogUnits {
    int baseX;
    int baseY;
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics fm(font);
        const int alphabet = fm.horizontalAdvance(
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        baseX = (alphabet / 26 + 1) / 2;
        baseY = fm.height();
    }
    QRect Rect(int x, int y, int w, int h) const {
        return QRect(x * baseX / 4, y * baseY / 8, w * baseX / 4, h * baseY / 8);
    }
};
}  // namespace

CBrushSettingsDlg::CBrushSettingsDlg(QWidget* parent)
    : CDialog(QStringLiteral("Brush Settings"), parent) {
    const DialogUnits du(font());
    auto place = [&](QWidget* w, int x, int y, int cx, int cy) {
        w->setGeometry(du.Rect(x, y, cx, cy));
    };

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    place(ok, 129, 5, 50, 14);
    RegisterButton(IDOK, ok);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setAutoDefault(false);
    place(cancel, 129, 23, 50, 14);
    RegisterButton(IDCANCEL, cancel);

    auto label = [&](const QString& text, int x, int y, int cx, int cy) {
        place(new QLabel(text, this), x, y, cx, cy);
    };
    label(QStringLiteral("Size:"), 3, 8, 24, 8);
    auto* size = new QLineEdit(this);
    place(size, 31, 6, 42, 12);
    RegisterControl(IDC_BRUSH_SIZE, size);
    label(QStringLiteral("(1-40)"), 77, 8, 33, 12);
    label(QStringLiteral("Hardness:"), 5, 29, 33, 8);
    label(QStringLiteral("Soft"), 19, 41, 18, 10);
    label(QStringLiteral("Hard"), 150, 42, 18, 10);

    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setTickPosition(QSlider::NoTicks);
    slider->setRange(1, 100);
    place(slider, 4, 51, 176, 16);
    RegisterControl(IDC_HARDNESS, slider);

    // The labels' places are tight; give texts of wider fonts room rather than clip them.
    for (QLabel* l : findChildren<QLabel*>()) {
        l->setMinimumWidth(l->sizeHint().width());
        l->resize(std::max(l->width(), l->sizeHint().width()),
                  std::max(l->height(), l->sizeHint().height()));
    }
    setFixedSize(du.Rect(0, 0, 186, 76).size());
    size->setFocus();
}

bool CBrushSettingsDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // The slider holds its position within 1 .. 100: a hardness of 0 shows as 1.
    auto* slider = Item<QSlider>(IDC_HARDNESS);
    slider->setRange(1, 100);
    slider->setValue(m_nHardness);
    FocusControl(IDC_BRUSH_SIZE);
    return true;
}

void CBrushSettingsDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Text(pDX, IDC_BRUSH_SIZE, m_nBrushSize);
    DDV_MinMaxUInt(pDX, m_nBrushSize, 2, 40);
    if (pDX->m_bSaveAndValidate) DDX_Slider(pDX, IDC_HARDNESS, m_nHardness);
}

void OnBrushSettings(CLumvaneDoc& doc, QWidget* parent, IShellRelay* relay) {
    const int index = doc.ActiveBrushIndex();
    if (index < 0 || index >= CLumvaneDoc::kBrushCount) return;
    BrushStamp& stamp = doc.m_brushes[index];

    CBrushSettingsDlg dlg(parent);
    dlg.m_nBrushSize = static_cast<unsigned>(stamp.GetSize());
    dlg.m_nHardness = stamp.GetHardness();
    if (dlg.DoModal() != IDOK) return;

    stamp.Build(static_cast<int>(dlg.m_nBrushSize), dlg.m_nHardness);
    if (relay) relay->RebuildBrushBar();
    doc.SetModifiedFlag(true);
}

void RegisterBrushSettingsCommand(CLumvaneDoc& doc, QWidget* parent, IShellRelay* relay) {
    doc.OnCommand(ID_EDIT_BRUSHSETTINGS,
                  [&doc, p = QPointer<QWidget>(parent), relay] { OnBrushSettings(doc, p, relay); });
    doc.OnUpdateCommand(ID_EDIT_BRUSHSETTINGS, [](CCmdUI* ui) { ui->Enable(true); });
}
