#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "document/DecodedSound.h"
#include "document/DocCommandIds.h"
#include "document/FrameMark.h"
#include "document/FrameStore.h"
#include "document/UpdateHints.h"
#include "document/WaveOut.h"
#include "framework/Document.h"
#include "raster/BrushStamp.h"
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
    std::shared_ptr<FrameStore> store;  // where the frame comes from, and later frames too
    GrayImage frame;
    GrayImage undo;
    GrayImage clip;
    // Allocates all three and makes the frame white; returns 0 when memory runs out.
    int Allocate(int width, int height);
};

// The one animation document: frames, brushes, undo snapshot, copy buffer, modes, playback
// rate and sound track. Views and commands read and change its fields directly.
//
// Commands whose handlers live in higher layers (Play, Frame Settings, Audio Load, Export,
// Brush Settings) are added to this document's command table by those layers with
// OnCommand / OnUpdateCommand; until then they are disabled.
class CLumvaneDoc : public CDocument {
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
    GrayImage m_frames[kMaxFrames];
    BrushStamp m_brushes[kBrushCount];
    int m_bOnionSkin = 0;
    int m_bBoxSelect = 0;
    LRect m_rcSelect = {10, 10, 100, 100};
    int m_nFps = 25;
    int m_bShowEveryFrame = 0;
    // A track from Import Sound, played in place of m_pSoundData (which is then empty); null
    // after Audio > Load. Shared so that a movie export can keep reading it.
    std::shared_ptr<const DecodedSound> m_pDecodedSound;

    // ---- operations ----
    // Copies the current frame into the undo snapshot, enables Undo, marks the document
    // modified. Returns 1.
    int SaveUndo();
    // The stamp of the active tool: the eraser's when m_bEraser is set.
    int ActiveBrushIndex() const { return m_bEraser ? m_nEraseBrush : m_nDrawBrush; }
    BrushStamp& ActiveBrush() { return m_brushes[ActiveBrushIndex()]; }
    GrayImage& CurrentFrame() { return m_frames[m_nCurrentFrame]; }

    // Makes a fresh animation of one white frame (steps after the New Animation dialog):
    // returns 0 and changes nothing when the pixels cannot be allocated.
    int CreateAnimation(int width, int height);

    // ---- change marks for the recovery copy ----
    // Marks frame index changed and makes its pixels the document's own before they are
    // written: pixels a recovery copy still reads stay with the copy. SaveUndo and Undo call it.
    void FrameWillChange(int index);
    const FrameMark& Mark(int index) const { return m_marks[index]; }
    // Grows with every change to a frame and to the frame list.
    std::uint64_t ChangeCount() const { return m_nChangeCount; }
    // Lends the pixels of frame index to a recovery copy, which calls Done on the lease when it
    // has read them.
    std::shared_ptr<FrameLease> LendFrame(int index);
    // Buffers for copy on write, ready for frames of the present size; the copy's worker
    // fills them while it reads.
    std::shared_ptr<SpareFrames> PrepareSpareFrames();
    // A stroke runs from the press to the release of the button; copies are taken between
    // strokes, never in the middle of one.
    void SetStrokeActive(bool active);
    bool StrokeActive() const { return m_bStrokeActive; }

    // ---- framework overrides ----
    void Serialize(CArchive& ar) override;
    int OnNewDocument() override;

    // ---- command handlers ----
    void OnClearFrame();
    void OnEditUndo();
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

  private:
    void BuildCommandTable();
    // Where Add Frame takes new frames from; frames hold the store they came from.
    std::shared_ptr<FrameStore> m_frameStore;
    // Replaces the animation with one white frame of the given images (cannot fail).
    void InstallAnimation(NewAnimationImages& images, int width, int height);
    // Frees the pixels of slot index, or leaves them to a copy that still reads them; the
    // slot's mark is cleared.
    void ReleaseFrame(int index);
    void ReleaseAllFrames();
    // Slot index holds a frame the recovery copy has not seen.
    void NewMark(int index);
    // Exchanges the frames of two slots together with their marks.
    void SwapSlots(int a, int b);

    FrameMark m_marks[kMaxFrames];
    std::shared_ptr<SpareFrames> m_spares = std::make_shared<SpareFrames>();
    std::uint64_t m_nChangeCount = 0;
    bool m_bStrokeActive = false;
};
