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

bool Usable(const CompactImage& image, int width, int height) {
    return !image.Empty() && image.Width() == width && image.Height() == height;
}

// The frames encoded, or none when memory runs out.
std::vector<CompactImage> EncodeAll(const std::vector<GrayImage>& frames) {
    std::vector<CompactImage> encoded;
    for (const GrayImage& f : frames) {
        encoded.push_back(CompactImage::Encode(f));
        if (encoded.back().Empty()) return {};
    }
    return encoded;
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
    const GrayImage* cur = Work(m_nCurrentFrame);
    if (cur && m_undoImage.GetData() && cur->PixelCount() == m_undoImage.PixelCount())
        std::memcpy(m_undoImage.GetData(), cur->GetData(), cur->PixelCount());
    SetModifiedFlag(true);
}

void CLumvaneDoc::CloseUndoStep(const PixelRect& changed) {
    if (!m_history.CanUndo()) return;
    UndoStep& step = m_history.Newest();
    const int index = IndexOfFrame(step.frameId);
    const GrayImage* frame = index >= 0 ? Work(index) : nullptr;
    if (!frame || !m_undoImage.GetData()) return;
    step.before = EncodedRect::Encode(m_undoImage.GetData(), m_nWidth, changed);
    step.after = EncodedRect::Encode(frame->GetData(), m_nWidth, changed);
    m_history.Recount();
}

int CLumvaneDoc::BeginStroke() {
    if (m_nFrameCount <= 0 || !Work(m_nCurrentFrame)) return 0;
    if (m_bStrokeActive) EndStroke();
    SaveUndo();
    m_nStrokeFrameId = m_marks[m_nCurrentFrame].id;
    m_strokeRect = {};
    SetStrokeActive(true);
    return 1;
}

void CLumvaneDoc::StrokeDab(int x, int y, int pressure) {
    if (!m_bStrokeActive) return;
    GrayImage* frame = Work(m_nCurrentFrame);
    if (!frame) return;
    const BrushStamp& stamp = ActiveBrush();
    frame->DrawStamp(stamp, x, m_nHeight - y, m_bEraser, pressure);
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
    GrayImage* frame = Work(m_nCurrentFrame);
    if (!frame) return;
    const BrushStamp& stamp = ActiveBrush();
    frame->DrawLine(stamp, x0, m_nHeight - y0, x1, m_nHeight - y1, m_bEraser, pressure);
    const int s = stamp.GetSize();
    const LRect r = {std::min(x0, x1) - s, std::min(y0, y1) - s, std::max(x0, x1) + s,
                     std::max(y0, y1) + s};
    m_strokeRect = Union(m_strokeRect, StoredRect(r, m_nWidth, m_nHeight));
    emit FrameRectChanged(m_nCurrentFrame, r);
}

void CLumvaneDoc::EndStroke() {
    if (!m_bStrokeActive) return;
    CloseUndoStep(m_strokeRect);
    CommitWork();
    m_strokeRect = {};
    SetStrokeActive(false);
}

void CLumvaneDoc::ChangePixels(const LRect& rect, const std::function<void(GrayImage&)>& write) {
    if (m_bStrokeActive) EndStroke();
    GrayImage* frame = Work(m_nCurrentFrame);
    if (!frame) {
        AfxMessageBox(QStringLiteral("Not enough memory to change the frame."));
        return;
    }
    SaveUndo();
    write(*frame);
    const PixelRect changed = StoredRect(rect, m_nWidth, m_nHeight);
    CloseUndoStep(changed);
    CommitWork();
    emit FrameRectChanged(m_nCurrentFrame, rect);
    UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
}

void CLumvaneDoc::RestorePixels(std::uint64_t frameId, const EncodedRect& pixels) {
    const int index = IndexOfFrame(frameId);
    GrayImage* frame = index >= 0 ? Work(index) : nullptr;
    if (!frame) return;
    FrameWillChange(index);
    pixels.Decode(frame->GetData(), m_nWidth);
    CommitWork();
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
    std::vector<CompactImage> encoded = EncodeAll(frames);
    if (encoded.size() != frames.size() || !InsertFrames(after, encoded)) return 0;
    frames.clear();
    return 1;
}

int CLumvaneDoc::InsertFrames(int after, std::vector<CompactImage>& frames) {
    const int k = static_cast<int>(frames.size());
    if (m_nFrameCount <= 0 || k == 0 || after < -1 || after >= m_nFrameCount ||
        m_nFrameCount + k > kMaxFrames)
        return 0;
    for (const CompactImage& f : frames)
        if (!Usable(f, m_nWidth, m_nHeight)) return 0;
    if (m_bStrokeActive) EndStroke();
    CommitWork();
    const int n = m_nFrameCount;
    // The frames after the insertion point move up by k, top down.
    for (int i = n - 1; i > after; --i) SwapSlots(i, i + k);
    UndoStep step;
    step.kind = UndoStep::Kind::Insert;
    step.afterId = after >= 0 ? FrameId(after) : 0;
    for (int j = 0; j < k; ++j) {
        m_frames[after + 1 + j] = std::move(frames[j]);
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
        step.inserted.push_back(StoredFrame(index));
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
    CommitWork();
    int after = step.afterId ? IndexOfFrame(step.afterId) : -1;
    if (step.afterId && after < 0) after = m_nCurrentFrame;
    const int n = m_nFrameCount;
    for (int i = n - 1; i > after; --i) SwapSlots(i, i + k);
    for (int j = 0; j < k; ++j) {
        m_frames[after + 1 + j] = std::move(step.inserted[j]);
        NewMark(after + 1 + j);
        // Later steps know the frames by their old ids.
        m_marks[after + 1 + j].id = step.insertedIds[j];
    }
    step.inserted.clear();
    m_history.Recount();
    m_nFrameCount = n + k;
    ShowNewFrameList(after + k);
    return true;
}

int CLumvaneDoc::ReplaceWithFrames(std::vector<GrayImage>& frames) {
    std::vector<CompactImage> encoded = EncodeAll(frames);
    if (encoded.size() != frames.size() || !ReplaceWithFrames(encoded)) return 0;
    frames.clear();
    return 1;
}

int CLumvaneDoc::ReplaceWithFrames(std::vector<CompactImage>& frames) {
    const int k = static_cast<int>(frames.size());
    if (k == 0 || k > kMaxFrames) return 0;
    const int width = frames[0].Width();
    const int height = frames[0].Height();
    for (const CompactImage& f : frames)
        if (!Usable(f, width, height)) return 0;
    NewAnimationImages images;
    if (!images.Allocate(width, height)) return 0;
    if (m_bStrokeActive) EndStroke();
    if (!CDocument::OnNewDocument()) return 0;
    SetTitle(DefaultTitle());
    InstallAnimation(images, width, height);
    for (int j = 0; j < k; ++j) {
        m_frames[j] = std::move(frames[j]);
        NewMark(j);
    }
    frames.clear();
    m_nFrameCount = k;
    SetModifiedFlag(true);
    emit FrameListChanged();
    UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
    return 1;
}
