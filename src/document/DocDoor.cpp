// The one door for frame pixels: strokes, changes of a rectangle, frames added from outside,
// and Undo and Redo of them.
#include <algorithm>
#include <cstring>

#include "document/LumvaneDoc.h"
#include "framework/Ui.h"

namespace {

// The stored rows of a top-down rectangle, clipped to a width x height frame.
PixelRect StoredRect(const LRect& r, int width, int height) {
    const int left = std::clamp(r.left, 0, width);
    const int right = std::clamp(r.right, 0, width);
    const int top = std::clamp(r.top, 0, height);
    const int bottom = std::clamp(r.bottom, 0, height);
    if (right <= left || bottom <= top) return {};
    return {left, height - bottom, right - left, bottom - top};
}

PixelRect Union(const PixelRect& a, const PixelRect& b) {
    if (a.Empty()) return b;
    if (b.Empty()) return a;
    const int x0 = std::min(a.x, b.x);
    const int y0 = std::min(a.y, b.y);
    const int x1 = std::max(a.x + a.w, b.x + b.w);
    const int y1 = std::max(a.y + a.h, b.y + b.h);
    return {x0, y0, x1 - x0, y1 - y0};
}

// The top-down rectangle of stored rows r in a frame of the given height.
LRect TopDown(const PixelRect& r, int height) {
    return {r.x, height - r.y - r.h, r.x + r.w, height - r.y};
}

bool Usable(const GrayImage& image, int width, int height) {
    return image.GetData() && image.GetWidth() == width && image.GetHeight() == height;
}

}  // namespace

int CLumvaneDoc::IndexOfFrame(std::uint64_t id) const {
    for (int i = 0; i < m_nFrameCount; ++i)
        if (m_marks[i].id == id) return i;
    return -1;
}

void CLumvaneDoc::MakeCurrent(int index) {
    if (index == m_nCurrentFrame) return;
    m_nCurrentFrame = index;
    m_nOnionCount = 0;
    emit CurrentFrameChanged(index);
}

std::uint64_t CLumvaneDoc::FrameId(int index) {
    // Frames put in place without a mark (by hand, in tests) get one the first time they change.
    if (m_marks[index].id == 0) NewMark(index);
    return m_marks[index].id;
}

void CLumvaneDoc::SaveUndo() {
    UndoStep step;
    step.frameId = FrameId(m_nCurrentFrame);
    m_history.Push(std::move(step));
    SyncUndoFlag();
    FrameWillChange(m_nCurrentFrame);
    const GrayImage& cur = m_frames[m_nCurrentFrame];
    if (cur.GetData() && m_undoImage.GetData() && cur.PixelCount() == m_undoImage.PixelCount())
        std::memcpy(m_undoImage.GetData(), cur.GetData(), cur.PixelCount());
    SetModifiedFlag(true);
}

void CLumvaneDoc::CloseUndoStep(const PixelRect& changed) {
    if (!m_history.CanUndo()) return;
    UndoStep& step = m_history.Newest();
    const int index = IndexOfFrame(step.frameId);
    if (index < 0 || !m_undoImage.GetData()) return;
    step.before = EncodedRect::Encode(m_undoImage.GetData(), m_nWidth, changed);
    step.after = EncodedRect::Encode(m_frames[index].GetData(), m_nWidth, changed);
    m_history.Recount();
}

int CLumvaneDoc::BeginStroke() {
    if (m_nFrameCount <= 0 || !CurrentFrame().GetData()) return 0;
    if (m_bStrokeActive) EndStroke();
    SaveUndo();
    m_nStrokeFrameId = m_marks[m_nCurrentFrame].id;
    m_strokeRect = {};
    SetStrokeActive(true);
    return 1;
}

void CLumvaneDoc::StrokeDab(int x, int y, int pressure) {
    if (!m_bStrokeActive) return;
    const BrushStamp& stamp = ActiveBrush();
    CurrentFrame().DrawStamp(stamp, x, m_nHeight - y, m_bEraser, pressure);
    const int s = stamp.GetSize();
    m_strokeRect =
        Union(m_strokeRect, StoredRect({x - s, y - s, x + s, y + s}, m_nWidth, m_nHeight));
}

void CLumvaneDoc::StrokeLine(int x0, int y0, int x1, int y1, int pressure) {
    if (!m_bStrokeActive || m_nFrameCount <= 0) return;
    // A key may have moved to another frame mid-stroke: the rest is a stroke of that frame.
    if (m_marks[m_nCurrentFrame].id != m_nStrokeFrameId) {
        EndStroke();
        if (!BeginStroke()) return;
    }
    const BrushStamp& stamp = ActiveBrush();
    CurrentFrame().DrawLine(stamp, x0, m_nHeight - y0, x1, m_nHeight - y1, m_bEraser, pressure);
    const int s = stamp.GetSize();
    const LRect r = {std::min(x0, x1) - s, std::min(y0, y1) - s, std::max(x0, x1) + s,
                     std::max(y0, y1) + s};
    m_strokeRect = Union(m_strokeRect, StoredRect(r, m_nWidth, m_nHeight));
    emit FrameRectChanged(m_nCurrentFrame, r);
}

void CLumvaneDoc::EndStroke() {
    if (!m_bStrokeActive) return;
    CloseUndoStep(m_strokeRect);
    m_strokeRect = {};
    SetStrokeActive(false);
}

void CLumvaneDoc::ChangePixels(const LRect& rect, const std::function<void(GrayImage&)>& write) {
    if (m_bStrokeActive) EndStroke();
    SaveUndo();
    write(CurrentFrame());
    const PixelRect changed = StoredRect(rect, m_nWidth, m_nHeight);
    CloseUndoStep(changed);
    emit FrameRectChanged(m_nCurrentFrame, rect);
    UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
}

void CLumvaneDoc::RestorePixels(std::uint64_t frameId, const EncodedRect& pixels) {
    const int index = IndexOfFrame(frameId);
    if (index < 0) return;
    FrameWillChange(index);
    pixels.Decode(m_frames[index].GetData(), m_nWidth);
    MakeCurrent(index);
    emit FrameRectChanged(index, TopDown(pixels.Rect(), m_nHeight));
}

void CLumvaneDoc::ShowNewFrameList(int current) {
    m_nCurrentFrame = current;
    m_bOnionSkin = 0;
    m_nOnionCount = 0;
    emit FrameListChanged();
    emit CurrentFrameChanged(current);
}

void CLumvaneDoc::OnEditUndo() {
    if (m_nFrameCount <= 0) return;
    if (m_bStrokeActive) EndStroke();
    if (!m_history.CanUndo()) {
        SyncUndoFlag();
        return;
    }
    UndoStep& step = m_history.StepBack();
    if (step.kind == UndoStep::Kind::Insert) {
        UndoInsert(step);
    } else {
        RestorePixels(step.frameId, step.before);
    }
    SyncUndoFlag();
    SetModifiedFlag(true);
    UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
}

void CLumvaneDoc::OnEditRedo() {
    if (m_nFrameCount <= 0 || !m_history.CanRedo()) return;
    if (m_bStrokeActive) EndStroke();
    UndoStep& step = m_history.StepForward();
    if (step.kind == UndoStep::Kind::Insert) {
        if (!RedoInsert(step)) {
            m_history.StepBack();
            return;
        }
    } else {
        RestorePixels(step.frameId, step.after);
    }
    SyncUndoFlag();
    SetModifiedFlag(true);
    UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
}

int CLumvaneDoc::InsertFrames(int after, std::vector<GrayImage>& frames) {
    const int k = static_cast<int>(frames.size());
    if (m_nFrameCount <= 0 || k == 0 || after < -1 || after >= m_nFrameCount ||
        m_nFrameCount + k > kMaxFrames)
        return 0;
    for (const GrayImage& f : frames)
        if (!Usable(f, m_nWidth, m_nHeight)) return 0;
    if (m_bStrokeActive) EndStroke();
    const int n = m_nFrameCount;
    // The frames after the insertion point move up by k, top down.
    for (int i = n - 1; i > after; --i) SwapSlots(i, i + k);
    UndoStep step;
    step.kind = UndoStep::Kind::Insert;
    step.afterId = after >= 0 ? FrameId(after) : 0;
    for (int j = 0; j < k; ++j) {
        m_frames[after + 1 + j].Swap(frames[j]);
        NewMark(after + 1 + j);
        step.insertedIds.push_back(m_marks[after + 1 + j].id);
    }
    frames.clear();
    m_history.Push(std::move(step));
    SyncUndoFlag();
    m_nFrameCount = n + k;
    SetModifiedFlag(true);
    ShowNewFrameList(after + k);
    UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
    return 1;
}

int CLumvaneDoc::RemoveFrame(int index) {
    if (m_nFrameCount <= 1 || index < 0 || index >= m_nFrameCount) return 0;
    if (m_bStrokeActive) EndStroke();
    const int n = m_nFrameCount;
    m_history.DropFrame(FrameId(index));
    SyncUndoFlag();
    ReleaseFrame(index);
    for (int i = index; i < n - 1; ++i) SwapSlots(i, i + 1);
    m_nFrameCount = n - 1;
    m_nCurrentFrame = std::max(0, index - 1);
    m_bOnionSkin = 0;
    m_nOnionCount = 0;
    SetModifiedFlag(true);
    emit FrameListChanged();
    emit CurrentFrameChanged(m_nCurrentFrame);
    UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
    return 1;
}

void CLumvaneDoc::UndoInsert(UndoStep& step) {
    step.inserted.clear();
    for (std::uint64_t id : step.insertedIds) {
        const int index = IndexOfFrame(id);
        if (index < 0) continue;
        step.inserted.push_back(
            EncodedRect::Encode(m_frames[index].GetData(), m_nWidth, {0, 0, m_nWidth, m_nHeight}));
        ReleaseFrame(index);
        for (int i = index; i < m_nFrameCount - 1; ++i) SwapSlots(i, i + 1);
        --m_nFrameCount;
    }
    m_history.Recount();
    const int before = step.afterId ? IndexOfFrame(step.afterId) : -1;
    ShowNewFrameList(std::clamp(before, 0, m_nFrameCount - 1));
}

bool CLumvaneDoc::RedoInsert(UndoStep& step) {
    const int k = static_cast<int>(step.inserted.size());
    if (k == 0 || m_nFrameCount + k > kMaxFrames) return false;
    std::vector<GrayImage> frames(static_cast<std::size_t>(k));
    const std::shared_ptr<FrameStore> store = FrameStore::For(m_frameStore, m_nWidth, m_nHeight);
    for (int j = 0; j < k; ++j) {
        if (!store || !frames[j].Create(m_nWidth, m_nHeight, store)) {
            AfxMessageBox(QStringLiteral("Not enough memory to add a frame."));
            return false;
        }
        step.inserted[j].Decode(frames[j].GetData(), m_nWidth);
    }
    int after = step.afterId ? IndexOfFrame(step.afterId) : -1;
    if (step.afterId && after < 0) after = m_nCurrentFrame;
    const int n = m_nFrameCount;
    for (int i = n - 1; i > after; --i) SwapSlots(i, i + k);
    for (int j = 0; j < k; ++j) {
        m_frames[after + 1 + j].Swap(frames[j]);
        NewMark(after + 1 + j);
        // Later steps know the frames by their old ids.
        m_marks[after + 1 + j].id = step.insertedIds[j];
    }
    step.inserted.clear();
    m_history.Recount();
    m_frameStore = store;
    m_nFrameCount = n + k;
    ShowNewFrameList(after + k);
    return true;
}

int CLumvaneDoc::ReplaceWithFrames(std::vector<GrayImage>& frames) {
    const int k = static_cast<int>(frames.size());
    if (k == 0 || k > kMaxFrames) return 0;
    const int width = frames[0].GetWidth();
    const int height = frames[0].GetHeight();
    for (const GrayImage& f : frames)
        if (!Usable(f, width, height)) return 0;
    NewAnimationImages images;
    if (!images.Allocate(width, height)) return 0;
    if (m_bStrokeActive) EndStroke();
    if (!CDocument::OnNewDocument()) return 0;
    SetTitle(DefaultTitle());
    InstallAnimation(images, width, height);
    for (int j = 0; j < k; ++j) {
        m_frames[j].Swap(frames[j]);
        NewMark(j);
    }
    frames.clear();
    m_nFrameCount = k;
    SetModifiedFlag(true);
    emit FrameListChanged();
    UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
    return 1;
}
