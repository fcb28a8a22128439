#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "raster/CompactImage.h"

// A rectangle of stored frame rows (row 0 at the bottom): columns x .. x + w - 1, rows
// y .. y + h - 1.
struct PixelRect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    bool Empty() const { return w <= 0 || h <= 0; }
    bool operator==(const PixelRect&) const = default;
};

// The pixels of a rectangle, run-length encoded as frames are in the file: rows bottom first,
// runs running on from one row into the next.
class EncodedRect {
  public:
    // Encodes the rectangle r of a frame of the given width.
    static EncodedRect Encode(const unsigned char* frame, int width, const PixelRect& r);
    // Writes the pixels back where they came from; false (nothing written) when the runs do
    // not cover the rectangle exactly.
    bool Decode(unsigned char* frame, int width) const;
    const PixelRect& Rect() const { return m_rect; }
    std::size_t Bytes() const { return m_runs.size(); }

  private:
    PixelRect m_rect;
    std::vector<unsigned char> m_runs;
};

// One change that Undo takes back and Redo makes again. A change of pixels holds its frame
// (by id, so it follows the frame through Add and Delete Frame) with the old and new pixels
// of the changed rectangle; a change of the frame list holds the frames it added.
struct UndoStep {
    enum class Kind { Pixels, Insert };
    Kind kind = Kind::Pixels;
    std::uint64_t frameId = 0;  // Pixels: the frame changed
    EncodedRect before;
    EncodedRect after;
    // Insert: the frames added, in order, after the frame afterId (0: at the start).
    std::uint64_t afterId = 0;
    std::vector<std::uint64_t> insertedIds;
    std::vector<CompactImage> inserted;  // the frames, held while Undo has taken them out
    std::size_t Bytes() const;
    bool Holds(std::uint64_t id) const;
};

// Steps in the order they were made; those before the cursor can be undone, those after it
// redone. Holds at most Depth() steps and about Budget() bytes, dropping the oldest first.
class CUndoHistory {
  public:
    static constexpr int kMaxDepth = 1000;
    static constexpr std::size_t kDefaultBudget = std::size_t{256} << 20;

    void SetDepth(int steps);
    int Depth() const { return m_nDepth; }
    void SetBudget(std::size_t bytes) { m_nBudget = bytes; }
    std::size_t Budget() const { return m_nBudget; }

    // Adds a step after the cursor; the steps that could have been redone go.
    void Push(UndoStep step);
    bool CanUndo() const { return m_nCursor > 0; }
    bool CanRedo() const { return m_nCursor < m_steps.size(); }
    // The step to take back (cursor moves back) or to make again (cursor moves on).
    UndoStep& StepBack() { return m_steps[--m_nCursor]; }
    UndoStep& StepForward() { return m_steps[m_nCursor++]; }
    // The step Undo would take back next (CanUndo() must hold).
    UndoStep& Newest() { return m_steps[m_nCursor - 1]; }
    // A step was changed in place (its pixels encoded, frames kept for Redo): recounts the
    // bytes and drops the oldest steps beyond the budget.
    void Recount();
    // A frame is gone for good: every step that holds it goes.
    void DropFrame(std::uint64_t id);
    void Clear();
    std::size_t Size() const { return m_steps.size(); }
    std::size_t Bytes() const { return m_nBytes; }

  private:
    void Trim();
    void DropFront();

    std::deque<UndoStep> m_steps;
    std::size_t m_nCursor = 0;
    std::size_t m_nBytes = 0;
    int m_nDepth = 1;
    std::size_t m_nBudget = kDefaultBudget;
};
