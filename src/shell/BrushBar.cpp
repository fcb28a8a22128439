#include "shell/BrushBar.h"

#include <QButtonGroup>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>

#include "document/LumvaneDoc.h"
#include "framework/FrameWnd.h"

namespace {
// The bar is laid out in the dialog units of an 8-point dialog font (6 x 13 pixel base units),
// so that its controls keep their proportions to one another.
int DluX(int x) {
    return static_cast<int>(std::lround(x * 6.0 / 4.0));
}
int DluY(int y) {
    return static_cast<int>(std::lround(y * 13.0 / 8.0));
}
QRect DluRect(int x, int y, int w, int h) {
    return QRect(DluX(x), DluY(y), DluX(w), DluY(h));
}
constexpr int kBrushRowY[5] = {12, 41, 70, 99, 128};
}  // namespace

CBrushBar::CBrushBar(CFrameWnd* frame, QWidget* parent)
    : QWidget(parent), m_pFrame(frame), m_pBrushGroup(new QButtonGroup(this)) {
    setObjectName(QStringLiteral("BrushBar"));
    setFixedSize(DluX(72), DluY(383));

    m_hNumberFont.setPixelSize(45);
    m_hNumberFont.setWeight(QFont::Black);
    m_hNumberFont.setItalic(false);
    m_hNumberFont.setUnderline(false);
    m_hNumberFont.setStrikeOut(false);
    // 20 pixels average character width: narrow the face's own proportions to that.
    if (const int avg = QFontMetrics(m_hNumberFont).averageCharWidth(); avg > 0)
        m_hNumberFont.setStretch(qBound(50, 20 * 100 / avg, 200));

    // The icon covers most of a brush button, so a pressed one is marked by a clear frame.
    setStyleSheet(QStringLiteral(
        "QPushButton { border: 1px solid #9a9a9a; border-radius: 3px; background: #f6f6f6;"
        " padding: 2px; }"
        "QPushButton:hover { border-color: #5a7fb0; }"
        "QPushButton:pressed, QPushButton:checked { border: 3px solid #2f64b4;"
        " background: #cddcf2; padding: 0px; }"));
    m_pBrushGroup->setExclusive(true);
    for (int i = 0; i < kBrushCount; ++i) {
        auto* b = new QPushButton(this);
        b->setCheckable(true);
        b->setFocusPolicy(Qt::NoFocus);  // keys belong to the views' accelerators
        b->setIconSize(QSize(kImageSize, kImageSize));
        b->setGeometry(DluRect(i < 5 ? 4 : 37, kBrushRowY[i % 5], 31, 28));
        b->setAccessibleName(QStringLiteral("Brush %1").arg(i + 1));
        m_pBrushGroup->addButton(b, IDC_BRUSH_FIRST + i);
        m_pBrushes[i] = b;
        const int id = IDC_BRUSH_FIRST + i;
        connect(b, &QPushButton::clicked, this, [this, id] { SendCommand(id); });
        OnCommand(id, [this, i] {
            CLumvaneDoc* doc = Doc();
            if (!doc) return;
            (doc->m_bEraser ? doc->m_nEraseBrush : doc->m_nDrawBrush) = i;
        });
    }

    m_pRubber = new QPushButton(QStringLiteral("RUBBER"), this);
    m_pRubber->setCheckable(true);
    m_pRubber->setFocusPolicy(Qt::NoFocus);
    m_pRubber->setGeometry(DluRect(18, 162, 36, 25));
    connect(m_pRubber, &QPushButton::clicked, this, [this] { SendCommand(IDC_RUBBER); });
    OnCommand(IDC_RUBBER, [this] {
        CLumvaneDoc* doc = Doc();
        if (!doc) return;
        doc->m_bEraser = 1 - doc->m_bEraser;
        UpdateBrushChecks(doc->m_bEraser ? doc->m_nEraseBrush : doc->m_nDrawBrush);
    });

    m_pNumber = new QLineEdit(this);
    m_pNumber->setReadOnly(true);
    m_pNumber->setAlignment(Qt::AlignCenter);
    m_pNumber->setFocusPolicy(Qt::NoFocus);
    m_pNumber->setGeometry(DluRect(7, 201, 58, 31));
    m_pNumber->setFont(m_hNumberFont);
    m_pNumber->setTextMargins(0, 0, 0, 0);
    m_pNumber->setAccessibleName(QStringLiteral("Frame number"));
}

CBrushBar::~CBrushBar() = default;

CLumvaneDoc* CBrushBar::Doc() const {
    return m_pFrame ? static_cast<CLumvaneDoc*>(m_pFrame->GetActiveDocument()) : nullptr;
}

QAbstractButton* CBrushBar::Button(int id) const {
    if (id >= IDC_BRUSH_FIRST && id <= IDC_BRUSH_LAST) return m_pBrushes[id - IDC_BRUSH_FIRST];
    if (id == IDC_RUBBER) return m_pRubber;
    return nullptr;
}

bool CBrushBar::SendCommand(int id) {
    return DispatchOwn(id, CmdPhase::Execute, nullptr);
}

QImage CBrushBar::MakeBrushImage(const unsigned char* mask, int size) {
    QImage img(kImageSize, kImageSize, QImage::Format_Grayscale8);
    img.fill(255);
    if (!mask || size <= 0) return img;
    // A stamp is at most 40 wide; anything larger is cut to the preview rather than overrun it.
    const int o = (kImageSize - size) / 2;
    for (int r = 0; r < size; ++r) {
        const int row = o + r;
        if (row < 0 || row >= kImageSize) continue;
        // Stored bottom-up: image row 0 is the bottom line of the picture.
        uchar* line = img.scanLine(kImageSize - 1 - row);
        for (int c = 0; c < size; ++c) {
            const int col = o + c;
            if (col >= 0 && col < kImageSize) line[col] = mask[r * size + c];
        }
    }
    return img;
}

int CBrushBar::RebuildBrushImages() {
    CLumvaneDoc* doc = Doc();
    for (int i = 0; i < kBrushCount; ++i) {
        const BrushStamp* stamp = doc ? &doc->m_brushes[i] : nullptr;
        m_images[i] =
            stamp ? MakeBrushImage(stamp->GetMask(), stamp->GetSize()) : MakeBrushImage(nullptr, 0);
        m_pBrushes[i]->setIcon(QIcon(QPixmap::fromImage(m_images[i])));
    }
    return 1;
}

int CBrushBar::UpdateBrushChecks(int index) {
    CLumvaneDoc* doc = Doc();
    m_pRubber->setChecked(doc && doc->m_bEraser == 1);
    // An exclusive group cannot show no button pressed, which an index out of range needs.
    m_pBrushGroup->setExclusive(false);
    for (int i = 0; i < kBrushCount; ++i) m_pBrushes[i]->setChecked(i == index);
    // The icon covers most of a brush button, so a pressed one is marked by a clear frame.
    setStyleSheet(QStringLiteral(
        "QPushButton { border: 1px solid #9a9a9a; border-radius: 3px; background: #f6f6f6;"
        " padding: 2px; }"
        "QPushButton:hover { border-color: #5a7fb0; }"
        "QPushButton:pressed, QPushButton:checked { border: 3px solid #2f64b4;"
        " background: #cddcf2; padding: 0px; }"));
    m_pBrushGroup->setExclusive(true);
    return 1;
}

void CBrushBar::ShowFrameNumber(int frameIndex) {
    m_pNumber->setText(QString::asprintf("%d", frameIndex + 1));
}
