#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QSettings>
#include <QWidget>
#include <QtTest/QTest>

#include "PlayRig.h"
#include "support/FrameAccess.h"

namespace {

using Op = CRecordingWaveOutSystem::Op;
using Ev = CRecordingWaveOutSystem::Event;

const QString kPlaying = QStringLiteral("Playing...     Press any key to stop");
const QString kStopped = QStringLiteral("Stopped.");
const QString kFinished = QStringLiteral("Finished.");

// Counts the keys and clicks that reach it.
struct InputCatcher : QWidget {
    int keys = 0;
    int clicks = 0;
    void keyPressEvent(QKeyEvent*) override { ++keys; }
    void mousePressEvent(QMouseEvent*) override { ++clicks; }
};
struct MenuCatcher : QMenu {
    int clicks = 0;
    void mousePressEvent(QMouseEvent* e) override {
        ++clicks;
        e->accept();
    }
};

void PostKey(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyPress, key, mods));
}
void PostClick(QWidget* w) {
    const QPointF p(2, 2);
    QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonPress, p, w->mapToGlobal(p),
                                                   Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
}

}  // namespace

// Frame times, the clock-following and show-every-frame modes, the wrap and the return to the
// start frame, the announcement of each frame ahead of its time, and the closing status text.
TEST(Play, TimingAndFrameOrder) {
    struct Case {
        const char* name;
        int frames, start, fps, every;
        std::int64_t paintMs, wakeLateUs;
        std::vector<Shown> shown;
        bool restoreHint;  // a hint 3 brings the start frame back
    } cases[] = {
        {"one frame", 1, 0, 25, 0, 0, 0, {{0, 0}}, false},
        {"start on the last frame wraps at once",
         4,
         3,
         25,
         1,
         0,
         0,
         {{0, 0}, {1, 40}, {2, 80}, {3, 120}},
         false},
        {"25 fps", 3, 1, 25, 0, 0, 0, {{2, 0}, {0, 40}, {1, 80}}, false},
        {"100 fps", 3, 0, 100, 0, 0, 0, {{1, 0}, {2, 10}, {0, 20}}, false},
        {"7 fps has a 142 ms period", 3, 0, 7, 1, 0, 0, {{1, 0}, {2, 142}, {0, 284}}, false},
        {"late wake-ups do not skip frames",
         5,
         1,
         10,
         0,
         0,
         3000,
         {{2, 0}, {3, 103}, {4, 203}, {0, 303}, {1, 403}},
         false},
        {"slow display, clock-following: ends on time, early",
         10,
         2,
         25,
         0,
         100,
         0,
         {{3, 0}, {4, 100}, {5, 200}, {6, 300}, {7, 400}},
         true},
        {"slow display, every frame: stretched",
         5,
         0,
         25,
         1,
         100,
         0,
         {{1, 0}, {2, 100}, {3, 200}, {4, 300}, {0, 400}},
         false},
        {"display just within the period",
         4,
         0,
         25,
         0,
         39,
         0,
         {{1, 0}, {2, 40}, {3, 80}, {0, 120}},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlayRig rig(c.frames);
        rig.doc.m_nCurrentFrame = c.start;
        rig.doc.m_nFps = c.fps;
        rig.doc.m_bShowEveryFrame = c.every;
        rig.view.paintMicros = c.paintMs * 1000;
        rig.clock.wakeLate = c.wakeLateUs;
        rig.Play();
        EXPECT_EQ(rig.view.shown, c.shown);
        EXPECT_EQ(rig.doc.m_nCurrentFrame, c.start);
        std::vector<int> hints(c.shown.size(), 1);
        if (c.restoreHint) hints.push_back(3);
        EXPECT_EQ(rig.view.hints, hints);
        // Each frame is announced before the wait for its time, and its update carries that;
        // the end of the run is announced too.
        std::vector<std::pair<int, int>> announced;
        for (std::size_t k = 0; k < c.shown.size(); ++k)
            announced.push_back({c.shown[k].frame, static_cast<int>(k)});
        announced.push_back({CFrameAhead::kNone, static_cast<int>(c.shown.size())});
        EXPECT_EQ(rig.view.announced, announced);
        EXPECT_EQ(rig.view.unannounced, 0);
        EXPECT_EQ(rig.status, QStringList({kPlaying, kFinished}));
        EXPECT_FALSE(rig.frame.CommandsBlocked());
        EXPECT_FALSE(rig.player.IsPlaying());
    }
}

TEST(Play, ThirtyFramesAtThirtyFpsTake990Ms) {
    PlayRig rig(30);
    rig.doc.m_nFps = 30;
    rig.doc.m_bShowEveryFrame = 1;
    rig.Play();
    ASSERT_EQ(rig.view.shown.size(), 30u);
    for (int k = 0; k < 30; ++k) EXPECT_EQ(rig.view.shown[k], (Shown{(k + 1) % 30, 33 * k}));
    // The 31st step would be due at 990 ms: that is where the cycle ends.
    EXPECT_EQ(rig.view.shown.back().ms + 33, 990);
}

// A key stops after the frame being shown, whether it came during the paint or the wait.
TEST(Play, KeyStopsAndIsConsumed) {
    struct Case {
        const char* name;
        bool duringWait;  // else during the third paint
        Qt::KeyboardModifiers mods;
        bool soundOn;
        bool stops;
    } cases[] = {
        {"key during a paint", false, Qt::NoModifier, true, true},
        {"key while waiting is seen after the next frame", true, Qt::NoModifier, true, true},
        {"shifted key", false, Qt::ShiftModifier, true, true},
        {"sound off: nothing to reset", false, Qt::NoModifier, false, true},
        {"Alt-key is a system key and does not stop", false, Qt::AltModifier, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlayRig rig(10);
        rig.LoadTrack(1000, 400);
        rig.doc.m_bSoundOn = c.soundOn;
        rig.doc.m_nCurrentFrame = 4;
        InputCatcher target;
        target.show();
        if (c.duringWait) {
            // The wait before step 2 (due at 80 ms).
            rig.clock.onWait = [&](std::int64_t deadline) {
                if (deadline - rig.view.t0 == 80000) PostKey(&target, Qt::Key_X, c.mods);
            };
        } else {
            rig.view.onPaint = [&](int n) {
                if (n == 2) PostKey(&target, Qt::Key_X, c.mods);
            };
        }
        rig.Play();
        QCoreApplication::processEvents();
        if (c.stops) {
            const std::vector<Shown> expect = c.duringWait
                                                  ? std::vector<Shown>{{5, 0}, {6, 40}, {7, 80}}
                                                  : std::vector<Shown>{{5, 0}, {6, 40}};
            EXPECT_EQ(rig.view.shown, expect);
            EXPECT_EQ(rig.status, QStringList({kPlaying, kStopped}));
            EXPECT_EQ(rig.view.hints.back(), 3);
            EXPECT_EQ(target.keys, 0);
            std::vector<Ev> events = rig.sound.m_events;
            // Frames 4..9 at 1000 Hz and 25 fps: 40 bytes each.
            std::vector<Ev> expectEvents;
            if (c.soundOn)
                expectEvents = {{Op::Reset, 1},
                                {Op::Prepare, 1, 160, 240},
                                {Op::Play, 1, 160, 240},
                                {Op::Reset, 1}};
            EXPECT_EQ(events, expectEvents);
        } else {
            EXPECT_EQ(rig.view.shown.size(), 10u);
            EXPECT_EQ(rig.status, QStringList({kPlaying, kFinished}));
            EXPECT_EQ(target.keys, 1);
        }
        EXPECT_EQ(rig.doc.m_nCurrentFrame, 4);
    }
}

// The sound starts at the start frame's place, and restarts from frame 0 at the wrap for the
// frames before the start.
TEST(Play, SoundSlices) {
    struct Case {
        const char* name;
        int frames, start;
        std::vector<Ev> events;
    } cases[] = {
        // 1000 Hz at 25 fps: 40 bytes per frame.
        {"from frame 0: the wrap's count of 0 leaves the slice playing",
         5,
         0,
         {{Op::Reset, 1}, {Op::Prepare, 1, 0, 200}, {Op::Play, 1, 0, 200}}},
        {"from the middle",
         5,
         3,
         {{Op::Reset, 1},
          {Op::Prepare, 1, 120, 80},
          {Op::Play, 1, 120, 80},
          {Op::Reset, 1},
          {Op::Prepare, 1, 0, 120},
          {Op::Play, 1, 0, 120}}},
        {"from the last frame",
         5,
         4,
         {{Op::Reset, 1},
          {Op::Prepare, 1, 160, 40},
          {Op::Play, 1, 160, 40},
          {Op::Reset, 1},
          {Op::Prepare, 1, 0, 160},
          {Op::Play, 1, 0, 160}}},
        {"one frame", 1, 0, {{Op::Reset, 1}, {Op::Prepare, 1, 0, 40}, {Op::Play, 1, 0, 40}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlayRig rig(c.frames);
        rig.LoadTrack(1000, 1000);
        rig.doc.m_nCurrentFrame = c.start;
        // The wrap restarts the sound just before frame 0 is painted.
        std::vector<size_t> eventsAtPaint;
        rig.view.onPaint = [&](int) { eventsAtPaint.push_back(rig.sound.m_events.size()); };
        rig.Play();
        EXPECT_EQ(rig.sound.m_events, c.events);
        const int wrapAt = c.frames - 1 - c.start;  // index of the frame-0 paint
        EXPECT_EQ(eventsAtPaint[wrapAt], c.events.size());
        if (wrapAt > 0) {
            EXPECT_EQ(eventsAtPaint[wrapAt - 1], 3u);
        }
    }
}

TEST(Play, SoundOffOrNoTrackIsSilent) {
    for (int loaded : {0, 1}) {
        PlayRig rig(3);
        if (loaded) {
            rig.LoadTrack(1000, 1000);
            rig.doc.m_bSoundOn = 0;
        }
        rig.doc.m_nCurrentFrame = 1;
        rig.Play();
        EXPECT_TRUE(rig.sound.m_events.empty());
        EXPECT_EQ(rig.view.shown.size(), 3u);
    }
}

// While the loop runs, commands are ignored, pointer input reaches only menus, and a close
// request stops playback and is carried out afterwards.
TEST(Play, NothingReentersDuringTheRun) {
    PlayRig rig(6);
    int commandRuns = 0;
    rig.frame.OnCommand(40000, [&] { ++commandRuns; });
    rig.frame.show();
    InputCatcher pane;
    pane.show();
    MenuCatcher menu;
    menu.addAction(QStringLiteral("x"));
    menu.show();
    bool ran = true, blocked = false, playing = false;
    rig.view.onPaint = [&](int n) {
        if (n != 1) return;
        ran = rig.frame.ExecuteCommand(40000);
        blocked = rig.frame.CommandsBlocked();
        playing = rig.player.IsPlaying();
        rig.player.OnPlay();  // a nested Play does nothing
        PostClick(&pane);
        PostClick(&menu);
    };
    rig.Play();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(blocked);
    EXPECT_TRUE(playing);
    EXPECT_EQ(commandRuns, 0);
    EXPECT_EQ(pane.clicks, 0);
    EXPECT_EQ(menu.clicks, 1);
    EXPECT_EQ(rig.view.shown.size(), 6u);
    EXPECT_TRUE(rig.frame.ExecuteCommand(40000));
    EXPECT_EQ(commandRuns, 1);

    // Closing the window mid-run.
    rig.view.onPaint = [&](int n) {
        if (n == 2) rig.frame.close();
    };
    rig.view.shown.clear();
    rig.Play();
    EXPECT_EQ(rig.view.shown.size(), 2u);
    EXPECT_EQ(rig.status, QStringList({kPlaying, kStopped}));
    EXPECT_TRUE(rig.frame.isVisible());  // not while the command is still running
    QCoreApplication::processEvents();
    EXPECT_FALSE(rig.frame.isVisible());
    EXPECT_FALSE(rig.frame.CloseRequested());
}

TEST(Play, WithoutAnimationOrMainWindow) {
    CLumvaneDoc doc;  // no frames yet
    FakeClock clock;
    CPlayback player(doc, nullptr, clock);  // no main window
    player.OnPlay();
    EXPECT_EQ(clock.waits, 0);

    doc.CreateAnimation(4, 1);
    frames::Fill(doc, 1, 255);
    doc.m_nFrameCount = 2;
    player.OnPlay();  // no main window: no status, still plays
    EXPECT_EQ(doc.m_nCurrentFrame, 0);
    EXPECT_EQ(clock.waits, 2);
}

// The real clock: never early; on an idle machine not more than a few ms late.
TEST(Play, SystemClockWaitsUntilTheDeadline) {
    IPlaybackClock& c = SystemPlaybackClock();
    for (int us : {0, 300, 2000, 7000}) {
        const std::int64_t deadline = c.NowMicros() + us;
        c.WaitUntil(deadline);
        EXPECT_GE(c.NowMicros(), deadline);
    }
}

// A key that is also a command's shortcut (P for Play, say) stops playback instead of
// triggering its command.
TEST(Play, ShortcutKeyStopsInsteadOfTriggering) {
    PlayRig rig(8);
    int runs = 0;
    rig.frame.OnCommand(40001, [&] { ++runs; });
    rig.frame.AddCommand(40001, QStringLiteral("x"), {QKeySequence(Qt::Key_P)});
    auto* pane = new InputCatcher;
    pane->setFocusPolicy(Qt::StrongFocus);
    rig.frame.setCentralWidget(pane);
    rig.frame.show();
    rig.frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.frame));
    pane->setFocus();
    QTest::keyClick(pane, Qt::Key_P);  // outside playback the shortcut works
    ASSERT_EQ(runs, 1);
    rig.view.onPaint = [&](int n) {
        if (n == 3) QTest::keyClick(pane, Qt::Key_P);
    };
    rig.Play();
    EXPECT_EQ(rig.view.shown.size(), 3u);
    EXPECT_EQ(rig.status, QStringList({kPlaying, kStopped}));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(pane->keys, 0);
}

// With the loop on, Play runs cycle after cycle on the single cycle's timing, restarting the
// sound each cycle as the single cycle starts it and as the wrap restarts it, until a key
// stops it with the single cycle's texts and sound reset.
TEST(Play, LoopRunsCycleAfterCycleUntilAKey) {
    // 1000 Hz at 25 fps: 40 bytes per frame; 4 frames: a cycle of 160 ms.
    const std::vector<Ev> fromStart1 = {{Op::Reset, 1},          {Op::Prepare, 1, 40, 120},
                                        {Op::Play, 1, 40, 120},  {Op::Reset, 1},
                                        {Op::Prepare, 1, 0, 40}, {Op::Play, 1, 0, 40}};
    const std::vector<Ev> fromStart0 = {
        {Op::Reset, 1}, {Op::Prepare, 1, 0, 160}, {Op::Play, 1, 0, 160}};
    struct Case {
        const char* name;
        int frames, start, every;
        std::int64_t paintMs;
        int stopAtPaint;
        std::vector<Shown> shown;
        int cycles;
        std::vector<Ev> cycleSound;  // what each cycle asks of the sound
    } cases[] = {
        {"three cycles from frame 1",
         4,
         1,
         0,
         0,
         12,
         {{2, 0},
          {3, 40},
          {0, 80},
          {1, 120},
          {2, 160},
          {3, 200},
          {0, 240},
          {1, 280},
          {2, 320},
          {3, 360},
          {0, 400},
          {1, 440}},
         3,
         fromStart1},
        {"three cycles from frame 0: each cycle restarts the whole track",
         4,
         0,
         1,
         0,
         12,
         {{1, 0},
          {2, 40},
          {3, 80},
          {0, 120},
          {1, 160},
          {2, 200},
          {3, 240},
          {0, 280},
          {1, 320},
          {2, 360},
          {3, 400},
          {0, 440}},
         3,
         fromStart0},
        {"stopped in the second cycle",
         4,
         1,
         0,
         0,
         7,
         {{2, 0}, {3, 40}, {0, 80}, {1, 120}, {2, 160}, {3, 200}, {0, 240}},
         2,
         fromStart1},
        // A slow display ends each cycle on time, early, as the single cycle does; the next
        // one starts from the start frame, and its sound with it.
        {"slow display, clock-following",
         4,
         1,
         0,
         100,
         5,
         {{2, 0}, {3, 100}, {0, 200}, {2, 300}, {2, 400}},
         1,
         fromStart1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlayRig rig(c.frames);
        rig.LoadTrack(1000, 1000);
        rig.doc.m_nCurrentFrame = c.start;
        rig.doc.m_bShowEveryFrame = c.every;
        rig.view.paintMicros = c.paintMs * 1000;
        rig.player.SetLoop(true);
        InputCatcher target;
        target.show();
        std::vector<std::size_t> soundAtPaint;
        rig.view.onPaint = [&](int n) {
            soundAtPaint.push_back(rig.sound.m_events.size());
            if (n == c.stopAtPaint) PostKey(&target, Qt::Key_X);
        };
        rig.Play();
        QCoreApplication::processEvents();
        EXPECT_EQ(rig.view.shown, c.shown);
        EXPECT_EQ(rig.status, QStringList({kPlaying, kStopped}));
        EXPECT_EQ(target.keys, 0);
        EXPECT_EQ(rig.doc.m_nCurrentFrame, c.start);
        std::vector<Ev> sound;
        for (int k = 0; k < c.cycles; ++k)
            sound.insert(sound.end(), c.cycleSound.begin(), c.cycleSound.end());
        if (c.paintMs) {  // the two cycles cut short never reach the wrap
            const std::vector<Ev> head(c.cycleSound.begin(), c.cycleSound.begin() + 3);
            for (int k = 0; k < 2; ++k) sound.insert(sound.end(), head.begin(), head.end());
        }
        sound.push_back({Op::Reset, 1});  // the key's stop
        EXPECT_EQ(rig.sound.m_events, sound);
        // Each cycle's sound starts together with its first picture.
        if (!c.paintMs) {
            for (int k = 1; k < c.cycles; ++k)
                EXPECT_EQ(soundAtPaint[k * c.frames], k * c.cycleSound.size() + 3) << k;
        }
        EXPECT_FALSE(rig.player.IsPlaying());
        EXPECT_FALSE(rig.frame.CommandsBlocked());
    }
}

// Loop Playback is a checked command kept in the settings file; off by default.
TEST(Commands, LoopPlaybackTogglesAndIsKept) {
    QSettings().remove(QStringLiteral("Playback/Loop"));
    PlayRig rig(2);
    CRecordingWaveOutSystem sys;
    auto check = [&] {
        CCmdUI ui(ID_FRAMES_LOOPPLAYBACK);
        EXPECT_TRUE(rig.doc.OnCmdMsg(ID_FRAMES_LOOPPLAYBACK, CmdPhase::Update, &ui));
        EXPECT_TRUE(ui.m_bEnabled);
        EXPECT_TRUE(ui.m_bCheckChanged);
        return ui.m_nCheck;
    };
    auto player = RegisterPlaybackCommands(rig.doc, &rig.frame, sys, rig.clock);
    EXPECT_FALSE(player->IsLooping());
    EXPECT_EQ(check(), 0);
    EXPECT_TRUE(rig.doc.OnCmdMsg(ID_FRAMES_LOOPPLAYBACK, CmdPhase::Execute, nullptr));
    EXPECT_TRUE(player->IsLooping());
    EXPECT_EQ(check(), 1);
    EXPECT_EQ(QSettings().value(QStringLiteral("Playback/Loop")).toBool(), true);
    // A new window's player starts from the setting.
    CLumvaneDoc other;
    EXPECT_TRUE(RegisterPlaybackCommands(other, &rig.frame, sys, rig.clock)->IsLooping());
    EXPECT_TRUE(rig.doc.OnCmdMsg(ID_FRAMES_LOOPPLAYBACK, CmdPhase::Execute, nullptr));
    EXPECT_FALSE(player->IsLooping());
    EXPECT_EQ(QSettings().value(QStringLiteral("Playback/Loop")).toBool(), false);
    QSettings().remove(QStringLiteral("Playback/Loop"));
}
