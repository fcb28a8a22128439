#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "DocTestUtil.h"
#include "document/LumvaneDoc.h"
#include "framework/FrameWnd.h"
#include "framework/View.h"
#include "framework/WinApp.h"
#include "support/HintRecorder.h"

using doctest::Pixels;
using doctest::SetPixels;

namespace {

bool Enabled(CLumvaneDoc& doc, int id, int* check = nullptr) {
    CCmdUI ui(id);
    if (!doc.OnCmdMsg(id, CmdPhase::Update, &ui))
        ui.Enable(doc.OnCmdMsg(id, CmdPhase::Query, nullptr));
    if (check) *check = ui.m_bCheckChanged ? ui.m_nCheck : -1;
    return ui.m_bEnabled;
}
}  // namespace

TEST(DocumentCore, ConstructedValues) {
    CLumvaneDoc doc;
    EXPECT_EQ(doc.m_nDrawBrush, 0);
    EXPECT_EQ(doc.m_nEraseBrush, 9);
    EXPECT_EQ(doc.m_nFps, 25);
    EXPECT_EQ(doc.m_bSoundOn, 1);
    EXPECT_EQ(doc.m_bShowEveryFrame, 0);
    EXPECT_EQ(doc.m_rcSelect, (LRect{10, 10, 100, 100}));
    EXPECT_EQ(doc.m_nFrameCount, 0);
    EXPECT_EQ(doc.m_bViewsReady, 0);
    EXPECT_EQ(doc.m_bSoundLoaded, 0);
    EXPECT_EQ(doc.GetSoundSampleRate(), -1);
    const int sizes[10] = {2, 3, 4, 5, 6, 5, 10, 15, 20, 25};
    const int cores[10] = {0, 0, 0, 1, 1, 0, 0, 0, 0, 0};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(doc.m_brushes[i].GetSize(), sizes[i]) << i;
        EXPECT_EQ(doc.m_brushes[i].GetCore(), cores[i]) << i;
    }
    EXPECT_EQ(doc.m_brushes[9].GetHardness(), 0);
    EXPECT_EQ(doc.m_brushes[4].GetHardness(), 16);
    for (const CompactImage& f : doc.m_frames) EXPECT_TRUE(f.Empty());
}

TEST(DocumentCore, CreateAnimationSetsUpOneWhiteFrame) {
    CLumvaneDoc doc;
    CHintRecorder view(&doc);
    doc.m_bUndoValid = doc.m_bClipValid = doc.m_bEraser = doc.m_bViewsReady = 1;
    ASSERT_EQ(doc.CreateAnimation(724, 576), 1);
    EXPECT_EQ(doc.m_nWidth, 724);
    EXPECT_EQ(doc.m_nHeight, 576);
    EXPECT_EQ(doc.m_nFrameCount, 1);
    EXPECT_EQ(doc.m_nCurrentFrame, 0);
    EXPECT_EQ(doc.m_bUndoValid + doc.m_bClipValid + doc.m_bEraser + doc.m_bViewsReady, 0);
    EXPECT_EQ(doc.m_undoImage.PixelCount(), 724u * 576u);
    EXPECT_EQ(doc.m_clipImage.PixelCount(), 724u * 576u);
    EXPECT_EQ(Pixels(doc.m_frames[0]), QByteArray(724 * 576, '\xff'));
    EXPECT_EQ(view.hints, std::vector<int>{1});
}

TEST(DocumentCore, CreateAnimationThatCannotAllocateChangesNothing) {
    CLumvaneDoc doc;
    ASSERT_EQ(doc.CreateAnimation(8, 4), 1);
    frames::Edit(doc, 0)->GetData()[5] = 7;
    doc.SetModifiedFlag(true);
    EXPECT_EQ(doc.CreateAnimation(2000000000, 2000000000), 0);
    EXPECT_EQ(doc.CreateAnimation(-4, 10), 0);
    EXPECT_EQ(doc.m_nWidth, 8);
    EXPECT_EQ(doc.m_nFrameCount, 1);
    EXPECT_EQ(frames::Read(doc, 0)->GetData()[5], 7);
    EXPECT_TRUE(doc.IsModified());
}

TEST(DocumentCore, AStrokeBeginsWithASnapshotAndMarksModified) {
    CLumvaneDoc doc;
    ASSERT_EQ(doc.CreateAnimation(4, 2), 1);
    SetPixels(*frames::Edit(doc, 0), {0, 10, 20, 30, 40, 50, 60, 70});
    EXPECT_EQ(doc.BeginStroke(), 1);
    EXPECT_EQ(doc.m_bUndoValid, 1);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(Pixels(doc.m_undoImage), QByteArray::fromHex("000a141e28323c46"));
}

// The enabled and checked rules of the command table.
TEST(DocumentCore, CommandRules) {
    CLumvaneDoc doc;
    // Before an animation exists nothing that touches frames is available.
    for (int id : {int(ID_EDIT_CLEARFRAME), int(ID_FRAMES_ADDFRAME), int(ID_EDIT_COPY),
                   int(ID_VIEW_ONIONSKIN)})
        EXPECT_FALSE(Enabled(doc, id)) << id;
    ASSERT_EQ(doc.CreateAnimation(4, 1), 1);

    struct Case {
        const char* what;
        std::function<void(CLumvaneDoc&)> setup;
        int id;
        bool enabled;
        int check;  // -1: not set
    } cases[] = {
        {"clear", [](CLumvaneDoc&) {}, ID_EDIT_CLEARFRAME, true, -1},
        {"undo off", [](CLumvaneDoc& d) { d.m_bUndoValid = 0; }, ID_EDIT_UNDO, false, -1},
        {"undo on", [](CLumvaneDoc& d) { d.m_bUndoValid = 1; }, ID_EDIT_UNDO, true, -1},
        {"copy", [](CLumvaneDoc&) {}, ID_EDIT_COPY, true, -1},
        {"paste off", [](CLumvaneDoc& d) { d.m_bClipValid = 0; }, ID_EDIT_PASTE, false, -1},
        {"paste on", [](CLumvaneDoc& d) { d.m_bClipValid = 1; }, ID_EDIT_PASTE, true, -1},
        {"lines off", [](CLumvaneDoc& d) { d.m_bClipValid = 0; }, ID_EDIT_PASTELINES, false, -1},
        {"lines on", [](CLumvaneDoc& d) { d.m_bClipValid = 1; }, ID_EDIT_PASTELINES, true, -1},
        {"box off", [](CLumvaneDoc& d) { d.m_bBoxSelect = 0; }, ID_EDIT_BOXSELECTION, true, 0},
        {"box on", [](CLumvaneDoc& d) { d.m_bBoxSelect = 1; }, ID_EDIT_BOXSELECTION, true, 1},
        {"cut", [](CLumvaneDoc&) {}, ID_EDIT_CUT, false, -1},
        {"first at 0", [](CLumvaneDoc& d) { d.m_nFrameCount = 3, d.m_nCurrentFrame = 0; },
         ID_FRAMES_FIRSTFRAME, false, -1},
        {"first at 1", [](CLumvaneDoc& d) { d.m_nCurrentFrame = 1; }, ID_FRAMES_FIRSTFRAME, true,
         -1},
        {"prev at 0", [](CLumvaneDoc& d) { d.m_nCurrentFrame = 0; }, ID_FRAMES_PREVFRAME, false,
         -1},
        {"prev at 2", [](CLumvaneDoc& d) { d.m_nCurrentFrame = 2; }, ID_FRAMES_PREVFRAME, true, -1},
        {"next at last", [](CLumvaneDoc& d) { d.m_nCurrentFrame = 2; }, ID_FRAMES_NEXTFRAME, false,
         -1},
        {"next at 1", [](CLumvaneDoc& d) { d.m_nCurrentFrame = 1; }, ID_FRAMES_NEXTFRAME, true, -1},
        {"last at last", [](CLumvaneDoc& d) { d.m_nCurrentFrame = 2; }, ID_FRAMES_LASTFRAME, false,
         -1},
        {"last at 0", [](CLumvaneDoc& d) { d.m_nCurrentFrame = 0; }, ID_FRAMES_LASTFRAME, true, -1},
        {"add at 498", [](CLumvaneDoc& d) { d.m_nFrameCount = 498; }, ID_FRAMES_ADDFRAME, true, -1},
        {"add at 499", [](CLumvaneDoc& d) { d.m_nFrameCount = 499; }, ID_FRAMES_ADDFRAME, false,
         -1},
        {"delete at 2", [](CLumvaneDoc& d) { d.m_nFrameCount = 2; }, ID_FRAMES_DELETEFRAME, true,
         -1},
        {"delete at 1", [](CLumvaneDoc& d) { d.m_nFrameCount = 1, d.m_nCurrentFrame = 0; },
         ID_FRAMES_DELETEFRAME, false, -1},
        {"onion off", [](CLumvaneDoc& d) { d.m_bOnionSkin = 0; }, ID_VIEW_ONIONSKIN, true, 0},
        {"onion on", [](CLumvaneDoc& d) { d.m_bOnionSkin = 1; }, ID_VIEW_ONIONSKIN, true, 1},
        {"sound none", [](CLumvaneDoc& d) { d.m_bSoundLoaded = 0; }, ID_AUDIO_SOUND, false, -1},
        {"sound loaded on", [](CLumvaneDoc& d) { d.m_bSoundLoaded = 1, d.m_bSoundOn = 1; },
         ID_AUDIO_SOUND, true, 1},
        {"sound loaded off", [](CLumvaneDoc& d) { d.m_bSoundLoaded = 1, d.m_bSoundOn = 0; },
         ID_AUDIO_SOUND, true, 0},
        {"revert unsaved", [](CLumvaneDoc&) {}, ID_FILE_REVERTTOSAVED, false, -1},
        {"save", [](CLumvaneDoc&) {}, ID_FILE_SAVE, true, -1},
        {"save as", [](CLumvaneDoc&) {}, ID_FILE_SAVE_AS, true, -1},
    };
    for (const Case& c : cases) {
        c.setup(doc);
        int check = -2;
        EXPECT_EQ(Enabled(doc, c.id, &check), c.enabled) << c.what;
        EXPECT_EQ(check, c.check) << c.what;
    }
    doc.m_bSoundLoaded = 0;
}

TEST(DocumentCore, SoundSampleRateComesFromTheFormatBlock) {
    CLumvaneDoc doc;
    doc.m_pWaveFormat = {1, 0, 1, 0, 0x11, 0x2B, 0, 0, 0x11, 0x2B, 0, 0, 1, 0, 8, 0};
    EXPECT_EQ(doc.GetSoundSampleRate(), -1);  // not loaded
    doc.m_bSoundLoaded = 1;
    EXPECT_EQ(doc.GetSoundSampleRate(), 11025);
    doc.m_bSoundLoaded = 0;
}
