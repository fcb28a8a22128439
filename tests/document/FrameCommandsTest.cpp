// Frame commands run as from the menu: the update rule first, then the handler.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "DocTestUtil.h"
#include "support/FakeMemoryInfo.h"
#include "support/ScriptedUi.h"

using namespace doctest;

#if defined(__SANITIZE_ADDRESS__)
// A failed huge allocation must come back as null, as it does without the sanitizer.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif
#endif

namespace {
constexpr int A = 10, B = 20, C = 30, W = 255;
const unsigned kConfirm = MB_YESNO | MB_ICONEXCLAMATION;
const QString kClearText = QStringLiteral("Are you sure you want to clear the frame?");
const QString kDeleteText =
    QStringLiteral("Are you sure you want to delete this frame? (You can't Undo)");
}  // namespace

TEST(FrameCommands, AddFrameInsertsWhiteAfterTheCurrent) {
    struct Case {
        int current;
        std::vector<int> after;
        int newCurrent;
    } cases[] = {
        {2, {A, B, C, W}, 3},
        {0, {A, W, B, C}, 1},
        {1, {A, B, W, C}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.current);
        CScriptedUi ui;
        CommandHarness h;
        MakeAnimation(h.doc, 4, 2, {A, B, C});
        const std::vector<CompactImage> kept(h.doc.m_frames, h.doc.m_frames + 3);
        h.doc.m_nCurrentFrame = c.current;
        h.doc.m_bOnionSkin = 1;
        h.doc.m_nOnionCount = 1;
        h.doc.m_bUndoValid = 1;
        h.view->hints.clear();
        ASSERT_TRUE(h.Exec(ID_FRAMES_ADDFRAME));
        EXPECT_EQ(h.Fills(), c.after);
        EXPECT_EQ(h.doc.m_nCurrentFrame, c.newCurrent);
        EXPECT_EQ(Pixels(h.doc.m_frames[c.newCurrent]), QByteArray(8, '\xff'));
        EXPECT_TRUE(h.doc.m_frames[4].Empty());
        // The frames around move as they are kept, none encoded again.
        for (int i = 0, k = 0; i < 4; ++i)
            if (i != c.newCurrent) {
                EXPECT_TRUE(h.doc.m_frames[i].SameAs(kept[k++])) << i;
            }
        EXPECT_EQ(h.doc.m_bOnionSkin, 0);
        EXPECT_EQ(h.doc.m_nOnionCount, 0);
        EXPECT_EQ(h.doc.m_bUndoValid, 1);
        EXPECT_TRUE(h.doc.IsModified());
        EXPECT_EQ(h.view->hints, std::vector<int>{HINT_CURRENT_FRAME});
        EXPECT_TRUE(ui.m_messages.empty());
    }
}

TEST(FrameCommands, DeletedFramesSlotIsEmptyAndNoChangeReachesAnotherFrame) {
    // Frames made by New and Add Frame, and frames read from a file.
    CLumvaneDoc src;
    MakeAnimation(src, 8, 2, {A, B, C, A});
    const QByteArray file = Store(src);
    for (bool loaded : {false, true}) {
        SCOPED_TRACE(loaded ? "loaded" : "made");
        CScriptedUi ui;
        ui.m_answers = {IDYES};
        CommandHarness h;
        if (loaded)
            Load(h.doc, file);
        else
            MakeAnimation(h.doc, 8, 2, {A, B, C, A});
        const std::vector<CompactImage> kept(h.doc.m_frames, h.doc.m_frames + 4);
        h.doc.m_nCurrentFrame = 1;
        ASSERT_TRUE(h.Exec(ID_FRAMES_DELETEFRAME));
        EXPECT_TRUE(h.doc.m_frames[3].Empty());
        EXPECT_TRUE(h.doc.m_frames[0].SameAs(kept[0]));
        EXPECT_TRUE(h.doc.m_frames[1].SameAs(kept[2]));
        EXPECT_TRUE(h.doc.m_frames[2].SameAs(kept[3]));
        ASSERT_TRUE(h.Exec(ID_FRAMES_ADDFRAME));
        EXPECT_EQ(h.Fills(), (std::vector<int>{A, C, W, A}));
        for (int i = 0; i < 40; ++i) ASSERT_TRUE(h.Exec(ID_FRAMES_ADDFRAME));
        // Ink on one of the white frames reaches none of the others.
        h.doc.m_nCurrentFrame = 20;
        h.doc.ChangePixels({0, 0, 8, 2}, [](GrayImage& f) { f.Fill(0); });
        std::vector<int> expect(44, W);
        expect[0] = expect[43] = A;
        expect[1] = C;
        expect[20] = 0;
        EXPECT_EQ(h.Fills(), expect);
    }
}

TEST(FrameCommands, DeleteFrameAfterConfirmation) {
    struct Case {
        int current;
        int answer;
        std::vector<int> after;
        int newCurrent;
    } cases[] = {
        {1, IDYES, {A, C}, 1},
        {2, IDYES, {A, B}, 1},
        {0, IDYES, {B, C}, 0},
        {1, IDNO, {A, B, C}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.current);
        CScriptedUi ui;
        ui.m_answers.push_back(c.answer);
        CommandHarness h;
        MakeAnimation(h.doc, 4, 2, {A, B, C});
        h.doc.m_nCurrentFrame = c.current;
        h.doc.m_bOnionSkin = 1;
        h.doc.m_nOnionCount = 1;
        h.doc.BeginStroke();  // a step of the frame that goes
        h.doc.EndStroke();
        h.doc.SetModifiedFlag(false);
        h.view->hints.clear();
        ASSERT_TRUE(h.Exec(ID_FRAMES_DELETEFRAME));
        ASSERT_EQ(ui.m_messages.size(), 1u);
        EXPECT_EQ(ui.m_messages[0].text, kDeleteText);
        EXPECT_EQ(ui.m_messages[0].caption, QStringLiteral("Lumvane"));
        EXPECT_EQ(ui.m_messages[0].type, kConfirm);
        EXPECT_EQ(h.Fills(), c.after);
        EXPECT_EQ(h.doc.m_nCurrentFrame, c.newCurrent);
        const bool yes = c.answer == IDYES;
        EXPECT_EQ(h.doc.m_bOnionSkin, yes ? 0 : 1);
        EXPECT_EQ(h.doc.m_nOnionCount, yes ? 0 : 1);
        EXPECT_EQ(h.doc.IsModified(), yes);
        EXPECT_EQ(h.doc.m_bUndoValid, yes ? 0 : 1);  // nothing of a deleted frame comes back
        EXPECT_EQ(h.view->hints, yes ? std::vector<int>{HINT_CURRENT_FRAME} : std::vector<int>{});
        if (yes) {
            EXPECT_TRUE(h.doc.m_frames[2].Empty());
        }
    }
}

TEST(FrameCommands, EnabledRules) {
    struct Case {
        int frames;
        int current;
        bool undo;
        bool first, prev, next, last, add, del, undoOn;
    } cases[] = {
        {1, 0, false, false, false, false, false, true, false, false},
        {2, 0, true, false, false, true, true, true, true, true},
        {2, 1, false, true, true, false, false, true, true, false},
        {3, 1, false, true, true, true, true, true, true, false},
        {498, 0, false, false, false, true, true, true, true, false},
        {499, 498, false, true, true, false, false, false, true, false},
        {500, 250, false, true, true, true, true, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frames);
        CommandHarness h;
        h.doc.CreateAnimation(4, 1);
        while (h.doc.m_nFrameCount < c.frames) h.doc.OnAddFrame();
        h.doc.m_nCurrentFrame = c.current;
        h.doc.m_bUndoValid = c.undo;
        EXPECT_EQ(h.Enabled(ID_FRAMES_FIRSTFRAME), c.first);
        EXPECT_EQ(h.Enabled(ID_FRAMES_PREVFRAME), c.prev);
        EXPECT_EQ(h.Enabled(ID_FRAMES_NEXTFRAME), c.next);
        EXPECT_EQ(h.Enabled(ID_FRAMES_LASTFRAME), c.last);
        EXPECT_EQ(h.Enabled(ID_FRAMES_ADDFRAME), c.add);
        EXPECT_EQ(h.Enabled(ID_FRAMES_DELETEFRAME), c.del);
        EXPECT_EQ(h.Enabled(ID_EDIT_UNDO), c.undoOn);
        EXPECT_TRUE(h.Enabled(ID_EDIT_CLEARFRAME));
        EXPECT_TRUE(h.Enabled(ID_VIEW_ONIONSKIN));
        // A disabled command does nothing, from menu or key alike.
        const int count = h.doc.m_nFrameCount;
        const int current = h.doc.m_nCurrentFrame;
        CScriptedUi ui;
        ui.m_answers = {IDYES};
        for (int id : {ID_FRAMES_FIRSTFRAME, ID_FRAMES_PREVFRAME, ID_FRAMES_NEXTFRAME,
                       ID_FRAMES_LASTFRAME, ID_FRAMES_ADDFRAME, ID_FRAMES_DELETEFRAME})
            if (!h.Enabled(id)) {
                EXPECT_FALSE(h.Exec(id));
            }
        if (!c.add) {
            EXPECT_EQ(h.doc.m_nFrameCount, count);
        }
        if (!c.first && !c.next) {
            EXPECT_EQ(h.doc.m_nCurrentFrame, current);
        }
    }
    // Without an animation nothing that touches frames is enabled.
    CommandHarness empty;
    for (int id : {ID_EDIT_CLEARFRAME, ID_FRAMES_ADDFRAME, ID_FRAMES_NEXTFRAME, ID_VIEW_ONIONSKIN})
        EXPECT_FALSE(empty.Enabled(id));
}

TEST(FrameCommands, MovingEmptiesTheOnionListAndKeepsTheMode) {
    struct Case {
        int id;
        int from;
        int to;
    } cases[] = {
        {ID_FRAMES_FIRSTFRAME, 3, 0},
        {ID_FRAMES_PREVFRAME, 3, 2},
        {ID_FRAMES_NEXTFRAME, 3, 4},
        {ID_FRAMES_LASTFRAME, 1, 5},
    };
    for (const Case& c : cases) {
        CommandHarness h;
        MakeAnimation(h.doc, 4, 1, {1, 2, 3, 4, 5, 6});
        h.doc.m_nCurrentFrame = c.from;
        h.doc.m_bOnionSkin = 1;
        h.doc.m_nOnionCount = 2;
        h.view->hints.clear();
        ASSERT_TRUE(h.Exec(c.id));
        EXPECT_EQ(h.doc.m_nCurrentFrame, c.to);
        EXPECT_EQ(h.doc.m_bOnionSkin, 1);
        EXPECT_EQ(h.doc.m_nOnionCount, 0);
        EXPECT_FALSE(h.doc.IsModified());
        EXPECT_EQ(h.view->hints, std::vector<int>{HINT_CURRENT_FRAME});
    }
}

TEST(FrameCommands, OnionSkinTogglesAndIsChecked) {
    CommandHarness h;
    MakeAnimation(h.doc, 4, 1, {1, 2});
    h.doc.m_nOnionCount = 1;
    EXPECT_EQ(h.Checked(ID_VIEW_ONIONSKIN), 0);
    h.view->hints.clear();
    ASSERT_TRUE(h.Exec(ID_VIEW_ONIONSKIN));
    EXPECT_EQ(h.doc.m_bOnionSkin, 1);
    EXPECT_EQ(h.doc.m_nOnionCount, 0);
    EXPECT_EQ(h.Checked(ID_VIEW_ONIONSKIN), 1);
    h.doc.m_nOnionCount = 1;
    ASSERT_TRUE(h.Exec(ID_VIEW_ONIONSKIN));
    EXPECT_EQ(h.doc.m_bOnionSkin, 0);
    EXPECT_EQ(h.doc.m_nOnionCount, 0);
    EXPECT_EQ(h.Checked(ID_VIEW_ONIONSKIN), 0);
    EXPECT_FALSE(h.doc.IsModified());
    EXPECT_EQ(h.view->hints, (std::vector<int>{HINT_FRAME_CONTENT, HINT_FRAME_CONTENT}));
}

TEST(FrameCommands, ClearFrameAskInkUndo) {
    for (int answer : {IDNO, IDYES}) {
        CScriptedUi ui;
        ui.m_answers.push_back(answer);
        CommandHarness h;
        MakeAnimation(h.doc, 4, 1, {A, B});
        h.doc.m_nCurrentFrame = 1;
        SetPixels(*frames::Edit(h.doc, 1), {0, 50, 100, 150});
        h.view->hints.clear();
        ASSERT_TRUE(h.Exec(ID_EDIT_CLEARFRAME));
        ASSERT_EQ(ui.m_messages.size(), 1u);
        EXPECT_EQ(ui.m_messages[0].text, kClearText);
        EXPECT_EQ(ui.m_messages[0].caption, QStringLiteral("Lumvane"));
        EXPECT_EQ(ui.m_messages[0].type, kConfirm);
        if (answer == IDNO) {
            EXPECT_EQ(Pixels(h.doc.m_frames[1]), QByteArray::fromHex("00326496"));
            EXPECT_EQ(h.doc.m_bUndoValid, 0);
            EXPECT_FALSE(h.doc.IsModified());
            EXPECT_FALSE(h.Enabled(ID_EDIT_UNDO));
            EXPECT_TRUE(h.view->hints.empty());
            continue;
        }
        EXPECT_EQ(Pixels(h.doc.m_frames[1]), QByteArray(4, '\xff'));
        EXPECT_EQ(Pixels(h.doc.m_frames[0]), QByteArray(4, A));
        EXPECT_TRUE(h.doc.IsModified());
        EXPECT_EQ(h.view->hints, std::vector<int>{HINT_FRAME_CONTENT});
        ASSERT_TRUE(h.Enabled(ID_EDIT_UNDO));
        h.doc.SetModifiedFlag(false);
        h.view->hints.clear();
        ASSERT_TRUE(h.Exec(ID_EDIT_UNDO));
        EXPECT_EQ(Pixels(h.doc.m_frames[1]), QByteArray::fromHex("00326496"));
        EXPECT_TRUE(h.doc.IsModified());  // the frame differs from the file again
        EXPECT_EQ(h.view->hints, std::vector<int>{HINT_CURRENT_FRAME});
        EXPECT_FALSE(h.Enabled(ID_EDIT_UNDO));
        EXPECT_FALSE(h.Exec(ID_EDIT_UNDO));
    }
}

// Frames 1..5 hold 1..5; a script of commands, then the fills, the current frame and what
// Undo and Redo allow.
TEST(FrameCommands, UndoAndRedoFollowTheirFrame) {
    auto clear = [](CLumvaneDoc& d, int frame) {
        d.m_nCurrentFrame = frame;
        d.ChangePixels({1, 0, 3, 1}, [](GrayImage& f) { f.GetData()[1] = f.GetData()[2] = 0; });
    };
    struct Case {
        const char* name;
        int depth;
        std::function<void(CommandHarness&)> script;
        std::vector<int> pixel1;  // pixel 1 of every frame
        int current;
        bool undo, redo;
    } cases[] = {
        // Draw on frame 3, go to frame 4, Undo: frame 3 comes back and is shown, frame 4 keeps.
        {"undo goes to its frame",
         1,
         [&](CommandHarness& h) {
             clear(h.doc, 2), h.Exec(ID_FRAMES_NEXTFRAME), h.Exec(ID_EDIT_UNDO);
         },
         {1, 2, 3, 4, 5},
         2,
         false,
         true},
        {"redo",
         1,
         [&](CommandHarness& h) {
             clear(h.doc, 2), h.Exec(ID_EDIT_UNDO), h.Exec(ID_FRAMES_LASTFRAME),
                 h.Exec(ID_EDIT_REDO);
         },
         {1, 2, 0, 4, 5},
         2,
         true,
         false},
        {"one step by default",
         1,
         [&](CommandHarness& h) { clear(h.doc, 0), clear(h.doc, 1), h.Exec(ID_EDIT_UNDO); },
         {0, 2, 3, 4, 5},
         1,
         false,
         true},
        {"three steps, two undone",
         100,
         [&](CommandHarness& h) {
             clear(h.doc, 0), clear(h.doc, 1), clear(h.doc, 4);
             h.Exec(ID_EDIT_UNDO), h.Exec(ID_EDIT_UNDO);
         },
         {0, 2, 3, 4, 5},
         1,
         true,
         true},
        {"a new change drops redo",
         100,
         [&](CommandHarness& h) { clear(h.doc, 0), h.Exec(ID_EDIT_UNDO), clear(h.doc, 3); },
         {1, 2, 3, 0, 5},
         3,
         true,
         false},
        {"add frame keeps the link",
         100,
         [&](CommandHarness& h) {
             clear(h.doc, 3), h.doc.m_nCurrentFrame = 0, h.Exec(ID_FRAMES_ADDFRAME);
             h.Exec(ID_EDIT_UNDO);
         },
         {1, 255, 2, 3, 4, 5},
         4,
         false,
         true},
        {"delete drops only the frame's steps",
         100,
         [&](CommandHarness& h) {
             clear(h.doc, 4), clear(h.doc, 1), h.Exec(ID_FRAMES_DELETEFRAME);
             h.Exec(ID_EDIT_UNDO);
         },
         {1, 3, 4, 5},
         3,
         false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedUi ui;
        ui.m_answers = {IDYES};
        CommandHarness h;
        MakeAnimation(h.doc, 4, 1, {1, 2, 3, 4, 5});
        h.doc.SetUndoDepth(c.depth);
        c.script(h);
        std::vector<int> pixel1;
        for (int i = 0; i < h.doc.m_nFrameCount; ++i)
            pixel1.push_back(frames::Read(h.doc, i)->GetData()[1]);
        EXPECT_EQ(pixel1, c.pixel1);
        EXPECT_EQ(h.doc.m_nCurrentFrame, c.current);
        EXPECT_EQ(h.Enabled(ID_EDIT_UNDO), c.undo);
        EXPECT_EQ(h.Enabled(ID_EDIT_REDO), c.redo);
    }
}

TEST(FrameCommands, AddFrameWithoutMemoryTellsAndChangesNothing) {
    struct Case {
        const char* name;
        int width, height;
        std::uint64_t room;  // 0: the process's real room
    } cases[] = {
        // A frame size whose pixels no system can provide.
        {"beyond any system", 1 << 30, 1 << 30, 0},
        // The allocation would succeed and touching it get the process killed.
        {"one byte beyond what the process may have", 4, 1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedUi ui;
        CommandHarness h;
        MakeAnimation(h.doc, 4, 1, {A, B, C});
        h.doc.m_nCurrentFrame = 1;
        h.doc.m_nWidth = c.width;
        h.doc.m_nHeight = c.height;
        const DocState before = Capture(h.doc);
        std::optional<FakeMemoryInfo> fake;
        if (c.room != 0) fake.emplace().LeaveRoomFor(c.room);
        h.view->hints.clear();
        h.Exec(ID_FRAMES_ADDFRAME);
        EXPECT_EQ(ui.Texts(), QStringList{"Not enough memory to add a frame."});
        EXPECT_TRUE(Capture(h.doc) == before);
        EXPECT_TRUE(h.view->hints.empty());
        if (fake) {
            // Exactly the room: the frame is added.
            fake->LeaveRoomFor(4);
            ui.Clear();
            h.Exec(ID_FRAMES_ADDFRAME);
            EXPECT_TRUE(ui.Texts().isEmpty());
            EXPECT_EQ(h.doc.m_nFrameCount, 4);
        }
    }
}

TEST(FrameCommands, RemoveFrameTakesAShotOutWithItsUndoStep) {
    struct Case {
        const char* name;
        int remove;  // index, after frames B and C were added after A, each as one step
        int result;
        std::vector<int> after;
        int current;
        std::size_t steps;
    } cases[] = {
        {"the last shot", 2, 1, {A, B}, 1, 1},
        {"an earlier shot", 1, 1, {A, C}, 0, 1},
        {"a frame no step holds", 0, 1, {B, C}, 0, 2},
        {"beyond the animation", 3, 0, {A, B, C}, 2, 2},
        {"before it", -1, 0, {A, B, C}, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLumvaneDoc doc;
        MakeAnimation(doc, 8, 4, {A});
        doc.SetUndoDepth(10);
        for (int v : {B, C}) {
            std::vector<GrayImage> one(1);
            one[0].Create(8, 4);
            one[0].Fill(v);
            ASSERT_EQ(doc.InsertFrames(doc.m_nCurrentFrame, one), 1);
        }
        doc.m_bOnionSkin = 1;
        doc.m_nOnionCount = 1;
        doc.SetModifiedFlag(false);
        EXPECT_EQ(doc.RemoveFrame(c.remove), c.result);
        std::vector<int> fills;
        for (int i = 0; i < doc.m_nFrameCount; ++i)
            fills.push_back(frames::Read(doc, i)->GetData()[0]);
        EXPECT_EQ(fills, c.after);
        EXPECT_EQ(doc.m_nCurrentFrame, c.current);
        EXPECT_EQ(doc.History().Size(), c.steps);
        EXPECT_EQ(doc.IsModified(), c.result == 1);
        EXPECT_EQ(doc.m_bOnionSkin, c.result == 1 ? 0 : 1);
    }
    CLumvaneDoc single;
    MakeAnimation(single, 8, 4, {A});
    EXPECT_EQ(single.RemoveFrame(0), 0);
    EXPECT_EQ(single.m_nFrameCount, 1);
}
