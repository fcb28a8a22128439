#include "document/LumvaneDoc.h"

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
    m_marks[index].version = ++m_nChangeCount;
}

std::shared_ptr<const GrayImage> CLumvaneDoc::FramePixels(int index) const {
    if (index < 0 || index >= m_nFrameCount || index >= kMaxFrames) return nullptr;
    if (m_work && m_nWorkId != 0 && m_marks[index].id == m_nWorkId) return m_work;
    return m_cache.Get(m_frames[index]);
}

const CompactImage& CLumvaneDoc::StoredFrame(int index) {
    static const CompactImage kNone;
    if (m_work && m_nWorkId != 0 && m_marks[index].id == m_nWorkId && !CommitWork())
        return kNone;  // its encoding is behind its pixels
    return m_frames[index];
}

GrayImage* CLumvaneDoc::Work(int index) {
    if (index < 0 || index >= m_nFrameCount) return nullptr;
    const std::uint64_t id = FrameId(index);
    if (m_work && m_nWorkId == id) return m_work.get();
    CommitWork();
    m_work = m_cache.Take(m_frames[index]);
    if (!m_work) return nullptr;
    m_nWorkId = id;
    return m_work.get();
}

bool CLumvaneDoc::CommitWork() {
    if (!m_work) return true;
    const int index = IndexOfFrame(m_nWorkId);
    if (index >= 0) {
        CompactImage encoded = CompactImage::Encode(*m_work);
        // Without memory even for the runs the frame stays open and is encoded later.
        if (encoded.Empty()) return false;
        m_frames[index] = std::move(encoded);
        m_cache.Put(m_frames[index], std::move(m_work));
    }
    m_work.reset();
    m_nWorkId = 0;
    return true;
}

void CLumvaneDoc::SetStrokeActive(bool active) {
    if (m_bStrokeActive && !active && m_nCurrentFrame >= 0 && m_nCurrentFrame < kMaxFrames)
        m_marks[m_nCurrentFrame].version = ++m_nChangeCount;  // the whole stroke counts
    m_bStrokeActive = active;
}

void CLumvaneDoc::ReleaseFrame(int index) {
    if (m_work && m_marks[index].id == m_nWorkId) {
        m_work.reset();
        m_nWorkId = 0;
    }
    m_frames[index] = CompactImage();
    m_marks[index] = FrameMark();
    ++m_nChangeCount;
}

void CLumvaneDoc::ReleaseAllFrames() {
    for (int i = 0; i < kMaxFrames; ++i)
        if (!m_frames[i].Empty() || m_marks[i].id) ReleaseFrame(i);
    m_work.reset();
    m_nWorkId = 0;
}

void CLumvaneDoc::NewMark(int index) {
    FrameMark& mark = m_marks[index];
    mark.id = ++m_nChangeCount;
    mark.version = mark.id;
}

void CLumvaneDoc::SwapSlots(int a, int b) {
    std::swap(m_frames[a], m_frames[b]);
    std::swap(m_marks[a], m_marks[b]);
}

int NewAnimationImages::Allocate(int width, int height) {
    // The frame is decoded once shown, beside the undo and copy images.
    if (!MemoryFits(ImageBytes(3, width, height))) return 0;
    frame = CompactImage::Filled(width, height, 255);
    if (frame.Empty() || !undo.Create(width, height) || !clip.Create(width, height)) return 0;
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
    m_cache.SetFrameSize(width, height);
    m_frames[0] = std::move(images.frame);
    NewMark(0);
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
