// The undo history on its own: what a step holds, in which order steps go, and what they cost.
#include <gtest/gtest.h>

#include <vector>

#include "document/UndoHistory.h"

namespace {

UndoStep StepOf(std::uint64_t frame, std::size_t bytes) {
    std::vector<unsigned char> pixels(bytes);
    for (std::size_t i = 0; i < bytes; ++i) pixels[i] = static_cast<unsigned char>(i);
    UndoStep s;
    s.frameId = frame;
    // Alternating pixels cost one 5-byte run each.
    s.before = EncodedRect::Encode(pixels.data(), static_cast<int>(bytes),
                                   {0, 0, static_cast<int>(bytes), 1});
    return s;
}

std::vector<std::uint64_t> Frames(CUndoHistory& h) {
    std::vector<std::uint64_t> ids;
    while (h.CanUndo()) ids.push_back(h.StepBack().frameId);
    while (h.CanRedo()) h.StepForward();
    return ids;
}

}  // namespace

TEST(UndoHistory, RectanglesComeBackExactlyAndCostTheirRuns) {
    // A 6 x 3 frame, stored bottom-up; the rectangle is columns 1..4 of rows 1..2.
    std::vector<unsigned char> frame = {
        9, 9, 9, 9, 9, 9,  // row 0
        9, 1, 1, 2, 2, 9,  // row 1
        9, 2, 2, 2, 3, 9,  // row 2
    };
    const EncodedRect e = EncodedRect::Encode(frame.data(), 6, {1, 1, 4, 2});
    // Runs 1x2, 2x5 (running on into the next row), 3x1.
    EXPECT_EQ(e.Bytes(), 15u);
    std::vector<unsigned char> blank(18, 0);
    ASSERT_TRUE(e.Decode(blank.data(), 6));
    const std::vector<unsigned char> expected = {0, 0, 0, 0, 0, 0, 0, 1, 1,
                                                 2, 2, 0, 0, 2, 2, 2, 3, 0};
    EXPECT_EQ(blank, expected);
}

TEST(UndoHistory, DepthBudgetAndDeletedFramesDropSteps) {
    struct Case {
        const char* name;
        int depth;
        std::size_t budget;
        std::vector<std::uint64_t> pushed;  // frame ids, one step each of 1000 pixels (5000 bytes)
        std::uint64_t dropped;              // a frame deleted afterwards, 0 for none
        std::vector<std::uint64_t> left;    // newest first
    } cases[] = {
        {"one step by default", 1, CUndoHistory::kDefaultBudget, {1, 2, 3}, 0, {3}},
        {"depth", 2, CUndoHistory::kDefaultBudget, {1, 2, 3}, 0, {3, 2}},
        {"budget drops the oldest", 100, 12000, {1, 2, 3, 4}, 0, {4, 3}},
        {"the newest stays over budget", 100, 10, {1, 2}, 0, {2}},
        {"deleted frame", 100, CUndoHistory::kDefaultBudget, {1, 2, 1, 3}, 1, {3, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CUndoHistory h;
        h.SetDepth(c.depth);
        h.SetBudget(c.budget);
        for (std::uint64_t id : c.pushed) h.Push(StepOf(id, 1000));
        if (c.dropped) h.DropFrame(c.dropped);
        EXPECT_EQ(Frames(h), c.left);
        EXPECT_LE(h.Size(), static_cast<std::size_t>(c.depth));
    }
}

TEST(UndoHistory, ANewStepAfterUndoDropsWhatCouldBeRedone) {
    CUndoHistory h;
    h.SetDepth(10);
    for (std::uint64_t id : {1, 2, 3}) h.Push(StepOf(id, 10));
    EXPECT_EQ(h.StepBack().frameId, 3u);
    EXPECT_EQ(h.StepBack().frameId, 2u);
    ASSERT_TRUE(h.CanRedo());
    h.Push(StepOf(4, 10));
    EXPECT_FALSE(h.CanRedo());
    EXPECT_EQ(Frames(h), (std::vector<std::uint64_t>{4, 1}));
    const std::size_t bytes = h.Bytes();
    h.DropFrame(4);
    EXPECT_LT(h.Bytes(), bytes);
    h.Clear();
    EXPECT_FALSE(h.CanUndo() || h.CanRedo());
    EXPECT_EQ(h.Bytes(), 0u);
}
