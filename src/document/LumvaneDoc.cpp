#include "document/LumvaneDoc.h"

#include <cstring>
#include <thread>
#include <utility>

#include "document/MemoryCheck.h"
#include "framework/CmdTarget.h"

namespace {
struct BrushDefault {
    int size;
    int hardness;
};
constexpr BrushDefault kBrushDefaults[CLumvaneDoc::kBrushCount] = {
    {2, 20}, {3, 20}, {4, 20}, {5, 20}, {6, 20}, {5, 0}, {10, 0}, {15, 0}, {20, 0}, {25, 0}};
}  // namespace

CLumvaneDoc::CLumvaneDoc() {
    for (int i = 0; i < kBrushCount; ++i)
        m_brushes[i].Build(kBrushDefaults[i].size, kBrushDefaults[i].hardness);
    BuildCommandTable();
}

CLumvaneDoc::~CLumvaneDoc() {
    CloseSound();
    ReleaseAllFrames();
}

void CLumvaneDoc::FrameWillChange(int index) {
    if (index < 0 || index >= kMaxFrames) return;
    FrameMark& mark = m_marks[index];
    mark.version = ++m_nChangeCount;
    if (!mark.lease) return;
    GrayImage& frame = m_frames[index];
    if (mark.lease->InUse() && frame.GetData()) {
        // Copy on write: the copy keeps reading the old buffer, the document goes on in a new
        // one, which the copy's worker has made ready unless strokes came faster than it.
        const int w = frame.GetWidth();
        const int h = frame.GetHeight();
        GrayImage fresh;
        bool ready = m_spares->Take(fresh, w, h);
        if (!ready && MemoryFits(ImageBytes(1, w, h))) {
            const std::shared_ptr<FrameStore> store = FrameStore::For(m_frameStore, w, h);
            ready = store && fresh.Create(w, h, store);
        }
        if (ready) {
            std::memcpy(fresh.GetData(), frame.GetData(), frame.PixelCount());
            mark.lease->orphan.Swap(frame);
            frame.Swap(fresh);
        } else {
            // Out of memory even for one frame: the pixels can only be written once the copy
            // has read them.
            while (mark.lease->InUse()) std::this_thread::yield();
        }
    }
    mark.lease.reset();
}

std::shared_ptr<FrameLease> CLumvaneDoc::LendFrame(int index) {
    FrameMark& mark = m_marks[index];
    if (!mark.lease) mark.lease = std::make_shared<FrameLease>();
    mark.lease->readers.fetch_add(1, std::memory_order_relaxed);
    return mark.lease;
}

std::shared_ptr<SpareFrames> CLumvaneDoc::PrepareSpareFrames() {
    m_spares->Prepare(FrameStore::For(m_frameStore, m_nWidth, m_nHeight), m_nWidth, m_nHeight);
    return m_spares;
}

void CLumvaneDoc::SetStrokeActive(bool active) {
    if (m_bStrokeActive && !active && m_nCurrentFrame >= 0 && m_nCurrentFrame < kMaxFrames)
        m_marks[m_nCurrentFrame].version = ++m_nChangeCount;  // the whole stroke counts
    m_bStrokeActive = active;
}

void CLumvaneDoc::ReleaseFrame(int index) {
    FrameMark& mark = m_marks[index];
    if (mark.lease && mark.lease->InUse()) mark.lease->orphan.Swap(m_frames[index]);
    m_frames[index].Free();
    mark = FrameMark();
    ++m_nChangeCount;
}

void CLumvaneDoc::ReleaseAllFrames() {
    for (int i = 0; i < kMaxFrames; ++i)
        if (m_frames[i].GetData() || m_marks[i].lease) ReleaseFrame(i);
}

void CLumvaneDoc::NewMark(int index) {
    FrameMark& mark = m_marks[index];
    mark.lease.reset();
    mark.id = ++m_nChangeCount;
    mark.version = mark.id;
}

void CLumvaneDoc::SwapSlots(int a, int b) {
    m_frames[a].Swap(m_frames[b]);
    std::swap(m_marks[a], m_marks[b]);
}

int NewAnimationImages::Allocate(int width, int height) {
    if (!MemoryFits(ImageBytes(3, width, height))) return 0;
    store = FrameStore::For(nullptr, width, height);
    if (!store || !frame.Create(width, height, store) || !undo.Create(width, height) ||
        !clip.Create(width, height))
        return 0;
    frame.Fill(255);
    return 1;
}

int CLumvaneDoc::CreateAnimation(int width, int height) {
    // Allocate everything first so that a failure leaves the open animation untouched.
    NewAnimationImages images;
    if (!images.Allocate(width, height)) return 0;
    InstallAnimation(images, width, height);
    UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
    return 1;
}

void CLumvaneDoc::InstallAnimation(NewAnimationImages& images, int width, int height) {
    ReleaseAllFrames();
    m_frames[0].Swap(images.frame);
    NewMark(0);
    m_frameStore = images.store;
    m_undoImage.Swap(images.undo);
    m_clipImage.Swap(images.clip);
    m_nWidth = width;
    m_nHeight = height;
    m_nFrameCount = 1;
    m_nCurrentFrame = 0;
    m_nOnionCount = 0;  // its indices belonged to the old frame list
    m_history.Clear();
    m_bUndoValid = 0;
    m_bClipValid = 0;
    m_bEraser = 0;
    m_bViewsReady = 0;
}

void CLumvaneDoc::BuildCommandTable() {
    // Nothing that touches frames runs before an animation exists.
    auto has = [this] { return m_nFrameCount > 0; };
    auto enableIf = [](CCmdUI* ui, bool on) { ui->Enable(on); };

    OnCommand(ID_EDIT_CLEARFRAME, [this] { OnClearFrame(); });
    OnUpdateCommand(ID_EDIT_CLEARFRAME, [=](CCmdUI* ui) { enableIf(ui, has()); });
    OnCommand(ID_EDIT_UNDO, [this] { OnEditUndo(); });
    OnUpdateCommand(ID_EDIT_UNDO, [=, this](CCmdUI* ui) { enableIf(ui, has() && m_bUndoValid); });
    OnCommand(ID_EDIT_REDO, [this] { OnEditRedo(); });
    OnUpdateCommand(ID_EDIT_REDO,
                    [=, this](CCmdUI* ui) { enableIf(ui, has() && m_history.CanRedo()); });
    OnCommand(ID_EDIT_COPY, [this] { OnCopy(); });
    OnUpdateCommand(ID_EDIT_COPY, [=](CCmdUI* ui) { enableIf(ui, has()); });
    OnCommand(ID_EDIT_PASTE, [this] { OnPaste(); });
    OnUpdateCommand(ID_EDIT_PASTE, [=, this](CCmdUI* ui) { enableIf(ui, has() && m_bClipValid); });
    OnCommand(ID_EDIT_PASTELINES, [this] { OnPasteLines(); });
    OnUpdateCommand(ID_EDIT_PASTELINES,
                    [=, this](CCmdUI* ui) { enableIf(ui, has() && m_bClipValid); });
    OnCommand(ID_EDIT_BOXSELECTION, [this] { OnBoxSelection(); });
    OnUpdateCommand(ID_EDIT_BOXSELECTION, [this](CCmdUI* ui) { ui->SetCheck(m_bBoxSelect); });

    OnCommand(ID_FRAMES_FIRSTFRAME, [this] { OnFirstFrame(); });
    OnUpdateCommand(ID_FRAMES_FIRSTFRAME,
                    [=, this](CCmdUI* ui) { enableIf(ui, has() && m_nCurrentFrame > 0); });
    OnCommand(ID_FRAMES_PREVFRAME, [this] { OnPrevFrame(); });
    OnUpdateCommand(ID_FRAMES_PREVFRAME,
                    [=, this](CCmdUI* ui) { enableIf(ui, has() && m_nCurrentFrame > 0); });
    OnCommand(ID_FRAMES_NEXTFRAME, [this] { OnNextFrame(); });
    OnUpdateCommand(ID_FRAMES_NEXTFRAME, [=, this](CCmdUI* ui) {
        enableIf(ui, has() && m_nCurrentFrame < m_nFrameCount - 1);
    });
    OnCommand(ID_FRAMES_LASTFRAME, [this] { OnLastFrame(); });
    OnUpdateCommand(ID_FRAMES_LASTFRAME, [=, this](CCmdUI* ui) {
        enableIf(ui, has() && m_nCurrentFrame < m_nFrameCount - 1);
    });
    OnCommand(ID_FRAMES_ADDFRAME, [this] { OnAddFrame(); });
    OnUpdateCommand(ID_FRAMES_ADDFRAME,
                    [=, this](CCmdUI* ui) { enableIf(ui, has() && m_nFrameCount < 499); });
    OnCommand(ID_FRAMES_DELETEFRAME, [this] { OnDeleteFrame(); });
    OnUpdateCommand(ID_FRAMES_DELETEFRAME,
                    [=, this](CCmdUI* ui) { enableIf(ui, has() && m_nFrameCount > 1); });

    OnCommand(ID_AUDIO_SOUND, [this] { OnSound(); });
    OnUpdateCommand(ID_AUDIO_SOUND, [this](CCmdUI* ui) {
        // Without a track the check mark is left as it was.
        ui->Enable(m_bSoundLoaded != 0);
        if (m_bSoundLoaded) ui->SetCheck(m_bSoundOn);
    });
    OnCommand(ID_VIEW_ONIONSKIN, [this] { OnOnionSkin(); });
    OnUpdateCommand(ID_VIEW_ONIONSKIN, [=, this](CCmdUI* ui) {
        enableIf(ui, has());
        ui->SetCheck(m_bOnionSkin);
    });
    OnCommand(ID_FILE_REVERTTOSAVED, [this] { OnRevertToSaved(); });
    OnUpdateCommand(ID_FILE_REVERTTOSAVED,
                    [this](CCmdUI* ui) { ui->Enable(!GetPathName().isEmpty()); });
}
