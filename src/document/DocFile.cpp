// Reading and writing .anm files, New and Revert To Saved.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "document/AnmFormat.h"
#include "document/LumvaneDoc.h"
#include "document/MemoryCheck.h"
#include "document/NewAnimationDlg.h"
#include "framework/Archive.h"
#include "framework/Ui.h"

namespace {

void BadFormatUnless(bool ok) {
    if (!ok) throw CArchiveException(CArchiveException::badFormat);
}

// Everything a file holds, read completely before any of it reaches the document.
struct LoadedAnimation {
    std::int32_t frameCount = 0;
    std::int32_t currentFrame = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t eraser = 0;
    std::int32_t drawBrush = 0;
    std::int32_t eraseBrush = 0;
    std::vector<CompactImage> frames;
    GrayImage undo;
    GrayImage clip;
    anm::BrushRecord brushes[CLumvaneDoc::kBrushCount];

    void Read(CArchive& ar) {
        std::int32_t firstEraser = 0;  // the copy at offset 20 is the one that counts
        ar >> frameCount >> currentFrame >> firstEraser >> width >> height >> eraser >> drawBrush >>
            eraseBrush;
        BadFormatUnless(frameCount >= 1 && frameCount <= anm::kMaxFrameCount);
        BadFormatUnless(currentFrame >= 0 && currentFrame < frameCount);
        BadFormatUnless(eraser == 0 || eraser == 1);
        BadFormatUnless(drawBrush >= 0 && drawBrush < CLumvaneDoc::kBrushCount);
        BadFormatUnless(eraseBrush >= 0 && eraseBrush < CLumvaneDoc::kBrushCount);
        BadFormatUnless(width >= 1 && width <= anm::kMaxWidth);
        BadFormatUnless(height >= 1 && height <= anm::kMaxHeight);

        // A file too short for what its header announces is damaged, however much memory
        // there is; nothing is allocated for it.
        const std::int64_t left = ar.BytesLeft();
        BadFormatUnless(left < 0 || static_cast<std::uint64_t>(left) >=
                                        anm::LeastBytesForFrames(frameCount, width, height));
        // The frames as the file holds them (at most its size, at most their pixels), the
        // decoded frames kept besides them and the undo and copy images, checked against what
        // the process can really have: the allocation itself would succeed anyway and the first
        // touch get it killed.
        const std::uint64_t pixels =
            ImageBytes(static_cast<std::uint64_t>(frameCount), width, height);
        const std::uint64_t stored =
            left < 0 ? pixels : std::min(pixels, static_cast<std::uint64_t>(left));
        const int decoded = std::min(frameCount, FrameCache::CapacityFor(width, height));
        const std::uint64_t need =
            stored + ImageBytes(static_cast<std::uint64_t>(decoded) + 2, width, height);
        const std::uint64_t limit = anm::LoadMemoryLimit();
        if ((limit != 0 && need > limit) || !MemoryFits(need))
            throw CArchiveException(CArchiveException::noMemory);

        try {
            frames.resize(static_cast<std::size_t>(frameCount));
        } catch (const std::bad_alloc&) {
            throw CArchiveException(CArchiveException::noMemory);
        }
        anm::LoadFrameRecords(ar, frames.data(), frameCount, width, height);
        for (anm::BrushRecord& b : brushes) b = anm::LoadBrushRecord(ar);
        if (!undo.Create(width, height) || !clip.Create(width, height))
            throw CArchiveException(CArchiveException::noMemory);
    }
};

}  // namespace

void CLumvaneDoc::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        anm::StoreHeader(ar, {m_nFrameCount, m_nCurrentFrame, m_bEraser, m_nWidth, m_nHeight,
                              m_nDrawBrush, m_nEraseBrush});
        // A frame whose latest change cannot be encoded must not be saved as it was before.
        if (!CommitWork()) throw CArchiveException(CArchiveException::noMemory);
        anm::StoreFrameRecords(ar, m_frames, m_nFrameCount);
        for (const BrushStamp& b : m_brushes) anm::StoreBrushRecord(ar, anm::BrushRecordOf(b));
        UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
        return;
    }

    LoadedAnimation file;
    file.Read(ar);

    // The whole file is read and checked: from here on nothing can fail.
    ReleaseAllFrames();
    m_cache.SetFrameSize(file.width, file.height);
    for (int i = 0; i < file.frameCount; ++i) {
        m_frames[i] = std::move(file.frames[i]);
        NewMark(i);
    }
    m_undoImage.Swap(file.undo);
    m_clipImage.Swap(file.clip);
    m_nFrameCount = file.frameCount;
    m_nCurrentFrame = file.currentFrame;
    m_nWidth = file.width;
    m_nHeight = file.height;
    m_bEraser = file.eraser;
    m_nDrawBrush = file.drawBrush;
    m_nEraseBrush = file.eraseBrush;
    for (int i = 0; i < kBrushCount; ++i)
        m_brushes[i].Build(file.brushes[i].size, file.brushes[i].hardness);
    m_nOnionCount = 0;  // its indices belonged to the old frame list
    m_bViewsReady = 0;
    m_bClipValid = 0;
    m_history.Clear();
    m_bUndoValid = 0;
    emit FrameListChanged();
    UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
}

int CLumvaneDoc::OnNewDocument() {
    CNewAnimationDlg dlg;
    if (dlg.DoModal() == IDCANCEL) return 0;
    const int x = dlg.m_nXDimension;
    const int width = x - x % 4 + 4;
    const int height = dlg.m_nYDimension;

    // Allocate before the framework's step clears the path, so a failure changes nothing.
    NewAnimationImages images;
    if (!images.Allocate(width, height)) {
        AfxMessageBox(QStringLiteral("Not enough memory to create the animation."));
        return 0;
    }
    if (!CDocument::OnNewDocument()) return 0;
    InstallAnimation(images, width, height);
    UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
    return 1;
}

void CLumvaneDoc::OnRevertToSaved() {
    if (AfxMessageBox(QStringLiteral("Are you sure? You will lose changes since last save!"),
                      MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
        return;
    // A file that cannot be read leaves everything, the modified flag included, as it was.
    OnOpenDocument(GetPathName());
}
