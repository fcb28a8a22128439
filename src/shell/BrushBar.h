#pragma once

#include <QFont>
#include <QImage>
#include <QWidget>

#include "framework/CmdTarget.h"

class CFrameWnd;
class CLumvaneDoc;
class QAbstractButton;
class QButtonGroup;
class QLineEdit;
class QPushButton;

// Control ids of the brush bar.
enum : int {
    IDC_BRUSH_FIRST = 1008,  // brush i is 1008 + i
    IDC_BRUSH_LAST = 1017,
    IDC_RUBBER = 1018,
    IDC_FRAME_NUMBER = 1003
};

// The fixed bar down the left edge: ten brush buttons, the eraser toggle and the frame number.
// Its buttons are handled here before anything else sees them.
class CBrushBar : public QWidget, public CCmdTarget {
    Q_OBJECT
  public:
    static constexpr int kBrushCount = 10;
    static constexpr int kImageSize = 40;

    // The document is taken from the frame's active document each time it is needed.
    explicit CBrushBar(CFrameWnd* frame, QWidget* parent = nullptr);
    ~CBrushBar() override;

    int RebuildBrushImages();
    int UpdateBrushChecks(int index);
    void ShowFrameNumber(int frameIndex);

    // The preview of brush i as shown (top row first), for tests and for the buttons.
    const QImage& BrushImage(int i) const { return m_images[i]; }
    // The mask of a brush placed into a 40 x 40 preview, rows stored bottom row first.
    static QImage MakeBrushImage(const unsigned char* mask, int size);

    QAbstractButton* Button(int id) const;
    QLineEdit* NumberBox() const { return m_pNumber; }
    // Runs a button's command as a click would (the button's own state is set by the click).
    bool SendCommand(int id);

    QFont m_hNumberFont;

  private:
    CLumvaneDoc* Doc() const;

    CFrameWnd* m_pFrame;
    QButtonGroup* m_pBrushGroup;
    QPushButton* m_pBrushes[kBrushCount];
    QPushButton* m_pRubber;
    QLineEdit* m_pNumber;
    QImage m_images[kBrushCount];
};
