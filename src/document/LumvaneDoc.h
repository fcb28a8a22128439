#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "document/DecodedSound.h"
#include "document/DocCommandIds.h"
#include "document/FrameCache.h"
#include "document/FrameMark.h"
#include "document/UndoHistory.h"
#include "document/UpdateHints.h"
#include "document/WaveOut.h"
#include "framework/Document.h"
#include "raster/BrushStamp.h"
#include "raster/CompactImage.h"
#include "raster/GrayImage.h"

// A rectangle in top-down frame pixels; right and bottom are exclusive.
struct LRect {
    int left;
    int top;
    int right;
    int bottom;
    bool operator==(const LRect&) const = default;
};

// The pixels of a fresh animation, allocated before anything of the open one is given up.
struct NewAnimationImages {
    CompactImage frame;
    GrayImage undo;
    GrayImage clip;
    // Makes the frame white and allocates the other two; returns 0 when memory runs out.
    int Allocate(int width, int height);
};

// The one animation document: frames, brushes, undo snapshot, copy buffer, modes, playback
// rate and sound track. Views and commands read and change its fields directly.
//
// Commands whose handlers live in higher layers (Play, Frame Settings, Audio Load, Export,
// Brush Settings) are added to this document's command table by those layers with
// OnCommand / OnUpdateCommand; until then they are disabled.
class CLumvaneDoc : public QObject, public CDocument {
    Q_OBJECT
  public:
    static constexpr int kMaxFrames = 500;
    static constexpr int kBrushCount = 10;
    static constexpr int kMaxOnionFrames = 8;

    CLumvaneDoc();
    ~CLumvaneDoc() override;

    // ---- fields, in declaration order ----
    QString m_szSoundPath;
    int m_bSoundOn = 1;
    std::vector<unsigned char> m_pWaveFormat;  // the "fmt " chunk body; empty when none
    std::unique_ptr<IWaveOut> m_hWaveOut;
    GrayImage m_undoImage;
    GrayImage m_clipImage;
    int m_nClipWidth = 0;
    int m_nClipHeight = 0;
    int m_bSoundLoaded = 0;
    int m_nSoundBytes = 0;
    std::unique_ptr<unsigned char[]> m_pSoundData;
    WaveHeader m_waveHeader;
    int m_nOnionCount = 0;
    int m_onionFrames[kMaxOnionFrames] = {};
    int m_bViewsReady = 0;
    int m_nDrawBrush = 0;
    int m_nEraseBrush = 9;
    int m_nCurrentFrame = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nFrameCount = 0;
    int m_bUndoValid = 0;
    int m_bClipValid = 0;
    int m_bEraser = 0;
    // Each frame as the file stores it; FramePixels decodes one for the length of an operation.
    CompactImage m_frames[kMaxFrames];
    BrushStamp m_brushes[kBrushCount];
    int m_bOnionSkin = 0;
    int m_bBoxSelect = 0;
    LRect m_rcSelect = {10, 10, 100, 100};
    int m_nFps = 25;
    int m_bShowEveryFrame = 0;
    // A track from Import Sound, played in place of m_pSoundData (which is then empty); null
    // after Audio > Load. Shared so that a movie export can keep reading it.
    std::shared_ptr<const DecodedSound> m_pDecodedSound;

    // ---- the one door for frame pixels ----
    // Every change to a frame's pixels goes through these. Each takes the undo step, marks the
    // frame changed for the recovery copy, sets the modified flag and announces the change, in
    // that order. Positions are top-down frame pixels (x from the left edge, y from the top
    // edge, as shown); frames are stored bottom-up.
    //
    // A stroke on the current frame: begin, then dabs and lines, then end. Returns 0 without an
    // animation.
    int BeginStroke();
    void StrokeDab(int x, int y, int pressure);
    // Draws a line of dabs and announces the rectangle around it (not clipped to the frame).
    void StrokeLine(int x0, int y0, int x1, int y1, int pressure);
    void EndStroke();
    // Any other change of the current frame inside rect (top-down): write makes it, between
    // the undo step and the announcement. Clear Frame and Paste are such changes.
    void ChangePixels(const LRect& rect, const std::function<void(GrayImage&)>& write);
    // Frames of the animation's size go after index after (-1: before the first); the last of
    // them becomes current. One undo step takes them out again. Returns 0, changing nothing,
    // when they do not fit.
    int InsertFrames(int after, std::vector<CompactImage>& frames);
    int InsertFrames(int after, std::vector<GrayImage>& frames);
    // Takes frame index out for good without asking (a frame just shot from the camera), with
    // every undo step that holds it; the frame before it becomes current. Returns 0, changing
    // nothing, for the only frame or an index outside the animation.
    int RemoveFrame(int index);
    // A new animation made of these frames (all of one size), untitled and unsaved.
    int ReplaceWithFrames(std::vector<CompactImage>& frames);
    int ReplaceWithFrames(std::vector<GrayImage>& frames);
    // Steps Undo keeps (1 to 1000); 1 is the single snapshot of old.
    void SetUndoDepth(int steps) { m_history.SetDepth(steps); }
    const CUndoHistory& History() const { return m_history; }

    // The stamp of the active tool: the eraser's when m_bEraser is set.
    int ActiveBrushIndex() const { return m_bEraser ? m_nEraseBrush : m_nDrawBrush; }
    BrushStamp& ActiveBrush() { return m_brushes[ActiveBrushIndex()]; }
    std::shared_ptr<const GrayImage> CurrentFrame() const { return FramePixels(m_nCurrentFrame); }

    // ---- frame pixels ----
    // The pixels of frame index, decoded for the length of one operation (a few frames stay
    // decoded); null outside the animation or without memory. A frame in the middle of a change
    // is served as it is now.
    std::shared_ptr<const GrayImage> FramePixels(int index) const;
    // Frame index as it is kept, a change in progress encoded first (Save, copies, export);
    // empty when that change cannot be encoded for lack of memory.
    const CompactImage& StoredFrame(int index);
    const FrameCache& Cache() const { return m_cache; }

    // Makes a fresh animation of one white frame (steps after the New Animation dialog):
    // returns 0 and changes nothing when the pixels cannot be allocated.
    int CreateAnimation(int width, int height);

    // ---- change marks for the recovery copy ----
    const FrameMark& Mark(int index) const { return m_marks[index]; }
    // Grows with every change to a frame and to the frame list.
    std::uint64_t ChangeCount() const { return m_nChangeCount; }
    // A stroke runs from its beginning to its end; copies are taken between strokes, never in
    // the middle of one.
    bool StrokeActive() const { return m_bStrokeActive; }

    // ---- framework overrides ----
    void Serialize(CArchive& ar) override;
    int OnNewDocument() override;

    // ---- command handlers ----
    void OnClearFrame();
    void OnEditUndo();
    void OnEditRedo();
    void OnAddFrame();
    void OnDeleteFrame();
    void OnFirstFrame();
    void OnPrevFrame();
    void OnNextFrame();
    void OnLastFrame();
    void OnOnionSkin();
    void OnRevertToSaved();
    void OnCopy();
    void OnPaste();
    void OnPasteLines();
    void OnBoxSelection();
    void OnSound();

    // ---- sound track ----
    // Plays the slice of the sound track that belongs to frames first .. first + count - 1.
    void PlaySoundFrames(int first, int count);
    // Samples per second of the loaded track, or -1 without one.
    int GetSoundSampleRate() const;
    // Stops output and closes the device.
    void CloseSound();
    // Makes an imported track the loaded one, played on device (opened for format), as a
    // successful Audio > Load does.
    void UseDecodedSound(std::shared_ptr<const DecodedSound> track,
                         std::vector<unsigned char> format, std::unique_ptr<IWaveOut> device);
    // The samples that play, the sample frames they hold and the bytes of one sample frame:
    // the imported track's when there is one, else the 8-bit mono track's.
    const unsigned char* SoundSamples() const;
    std::int64_t SoundFrames() const;
    int SoundBlockAlign() const;

  signals:
    // The pixels of frame index changed inside rect (top-down, may reach beyond the frame).
    void FrameRectChanged(int index, LRect rect);
    // Frames were added, removed or replaced.
    void FrameListChanged();
    void CurrentFrameChanged(int index);
    void SoundChanged();

  private:
    void BuildCommandTable();
    // Copies the current frame into the snapshot a change is measured against, opens its undo
    // step, marks the frame changed and the document modified.
    void SaveUndo();
    // Closes the step SaveUndo opened with the rectangle that changed (stored rows).
    void CloseUndoStep(const PixelRect& changed);
    // Marks frame index changed for the recovery copy.
    void FrameWillChange(int index);
    // The decoded pixels of frame index, to be written; the frame is encoded again by
    // CommitWork. Null without memory.
    GrayImage* Work(int index);
    // Encodes the frame being changed and keeps its pixels with the decoded frames; false
    // (the frame still open) without memory.
    bool CommitWork();
    void SetStrokeActive(bool active);
    std::uint64_t FrameId(int index);
    // Slot of the frame with that id, or -1.
    int IndexOfFrame(std::uint64_t id) const;
    // Makes index current; leaving a frame empties the onion list, as moving does.
    void MakeCurrent(int index);
    // Writes the pixels of an undo step back into their frame and shows it.
    void RestorePixels(std::uint64_t frameId, const EncodedRect& pixels);
    // After frames were added or removed: current is shown, onion skin is off.
    void ShowNewFrameList(int current);
    void UndoInsert(UndoStep& step);
    bool RedoInsert(UndoStep& step);
    void SyncUndoFlag() { m_bUndoValid = m_history.CanUndo() ? 1 : 0; }
    // Replaces the animation with one white frame of the given images (cannot fail); the
    // caller announces it.
    void InstallAnimation(NewAnimationImages& images, int width, int height);
    // Empties slot index and clears its mark.
    void ReleaseFrame(int index);
    void ReleaseAllFrames();
    // Slot index holds a frame the recovery copy has not seen.
    void NewMark(int index);
    // Exchanges the frames of two slots together with their marks.
    void SwapSlots(int a, int b);

    FrameMark m_marks[kMaxFrames];
    mutable FrameCache m_cache;
    // The decoded frame being changed (by id) while its encoding in m_frames is behind it.
    std::shared_ptr<GrayImage> m_work;
    std::uint64_t m_nWorkId = 0;
    std::uint64_t m_nChangeCount = 0;
    bool m_bStrokeActive = false;
    CUndoHistory m_history;
    // The open stroke: its frame and what it changed so far (stored rows).
    std::uint64_t m_nStrokeFrameId = 0;
    PixelRect m_strokeRect;
};
