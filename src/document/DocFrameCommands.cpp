// Commands on whole frames: clear, undo, add, delete, move, onion skin.
#include <utility>

#include "document/LumvaneDoc.h"
#include "document/MemoryCheck.h"
#include "framework/Ui.h"

namespace {
bool Confirm(const char* question) {
    return AfxMessageBox(QString::fromLatin1(question), MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}
}  // namespace

// The update rules keep these commands within bounds; the guards only keep a direct call
// from reaching outside the frame array.

void CLumvaneDoc::OnClearFrame() {
    if (m_nFrameCount <= 0) return;
    if (!Confirm("Are you sure you want to clear the frame?")) return;
    ChangePixels({0, 0, m_nWidth, m_nHeight}, [](GrayImage& frame) { frame.Fill(255); });
}

void CLumvaneDoc::OnAddFrame() {
    if (m_nFrameCount <= 0 || m_nFrameCount >= kMaxFrames) return;
    // The new frame's pixels come first: without them nothing may move.
    // The new frame is kept as runs, but it is decoded as soon as it is shown.
    CompactImage fresh;
    if (MemoryFits(ImageBytes(1, m_nWidth, m_nHeight)))
        fresh = CompactImage::Filled(m_nWidth, m_nHeight, 255);
    if (fresh.Empty()) {
        AfxMessageBox(QStringLiteral("Not enough memory to add a frame."));
        return;
    }
    const int c = m_nCurrentFrame;
    const int n = m_nFrameCount;
    // Top down, each entry takes the buffer of the one below; entry c + 1 ends up empty.
    for (int i = n; i > c + 1; --i) SwapSlots(i, i - 1);
    m_frames[c + 1] = std::move(fresh);
    NewMark(c + 1);
    m_nFrameCount = n + 1;
    SetModifiedFlag(true);
    ShowNewFrameList(c + 1);
    UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
}

void CLumvaneDoc::OnDeleteFrame() {
    if (m_nFrameCount <= 1) return;
    if (!Confirm("Are you sure you want to delete this frame? (You can't Undo)")) return;
    if (m_bStrokeActive) EndStroke();
    const int c = m_nCurrentFrame;
    const int n = m_nFrameCount;
    // A deleted frame cannot come back, nor can its changes.
    m_history.DropFrame(m_marks[c].id);
    SyncUndoFlag();
    ReleaseFrame(c);
    // The emptied entry travels up to n - 1, where no frame is in use any more.
    for (int i = c; i < n - 1; ++i) SwapSlots(i, i + 1);
    m_nFrameCount = n - 1;
    SetModifiedFlag(true);
    ShowNewFrameList(c == n - 1 ? c - 1 : c);
    UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
}

void CLumvaneDoc::OnFirstFrame() {
    if (m_nFrameCount <= 0) return;
    m_nCurrentFrame = 0;
    m_nOnionCount = 0;
    emit CurrentFrameChanged(m_nCurrentFrame);
    UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
}

void CLumvaneDoc::OnPrevFrame() {
    if (m_nCurrentFrame <= 0) return;
    --m_nCurrentFrame;
    m_nOnionCount = 0;
    emit CurrentFrameChanged(m_nCurrentFrame);
    UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
}

void CLumvaneDoc::OnNextFrame() {
    if (m_nCurrentFrame >= m_nFrameCount - 1) return;
    ++m_nCurrentFrame;
    m_nOnionCount = 0;
    emit CurrentFrameChanged(m_nCurrentFrame);
    UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
}

void CLumvaneDoc::OnLastFrame() {
    if (m_nFrameCount <= 0) return;
    m_nCurrentFrame = m_nFrameCount - 1;
    m_nOnionCount = 0;
    emit CurrentFrameChanged(m_nCurrentFrame);
    UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
}

void CLumvaneDoc::OnOnionSkin() {
    m_bOnionSkin = 1 - m_bOnionSkin;
    m_nOnionCount = 0;
    UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
}
