#pragma once

// A document with frames, a main window, a simulated clock and a view that records what the
// playback loop shows and when.
#include <QCoreApplication>
#include <QStatusBar>
#include <QStringList>
#include <functional>
#include <ostream>
#include <utility>
#include <vector>

#include "WavBuilder.h"
#include "document/LumvaneDoc.h"
#include "document/RiffWave.h"
#include "framework/FrameWnd.h"
#include "framework/View.h"
#include "playback/Playback.h"
#include "support/FrameAccess.h"
#include "support/RecordingWaveOut.h"

// Readable failure messages for texts.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

struct FakeClock : IPlaybackClock {
    std::int64_t now = 5'000'000'000;  // any origin
    std::int64_t wakeLate = 0;         // how late each wait returns
    int waits = 0;
    std::function<void(std::int64_t deadline)> onWait;
    std::int64_t NowMicros() override { return now; }
    void WaitUntil(std::int64_t deadline) override {
        ++waits;
        if (onWait) onWait(deadline);
        if (now < deadline) now = deadline + wakeLate;
    }
};

struct Shown {
    int frame;
    std::int64_t ms;  // since the run started
    bool operator==(const Shown&) const = default;
};

struct RecordingView : CView, IFrameAheadView {
    FakeClock* clock = nullptr;
    std::int64_t t0 = -1;
    std::int64_t paintMicros = 0;  // the display's cost per frame
    std::vector<Shown> shown;
    std::vector<int> hints;
    // Each announced frame with the number of waits the clock had done by then.
    std::vector<std::pair<int, int>> announced;
    int unannounced = 0;  // frame updates that did not carry their frame's announcement
    const CFrameAhead* ahead = nullptr;
    std::function<void(int shownCount)> onPaint;
    QWidget* GetWidget() override { return nullptr; }
    void PrepareFrame(const CFrameAhead& a) override {
        if (ahead != &a || announced.empty() || announced.back().first != a.frame)
            announced.push_back({a.frame, clock ? clock->waits : 0});
        ahead = &a;
    }
    void OnUpdate(CView*, int hint, void* pHint) override {
        hints.push_back(hint);
        auto* d = static_cast<CLumvaneDoc*>(GetDocument());
        if (hint == 1 && (!ahead || pHint != ahead || ahead->frame != d->m_nCurrentFrame))
            ++unannounced;
        ahead = nullptr;
        if (hint != 1 || !clock) return;
        shown.push_back({d->m_nCurrentFrame, (clock->now - t0) / 1000});
        clock->now += paintMicros;
        if (onPaint) onPaint(static_cast<int>(shown.size()));
    }
};

struct PlayRig {
    // Outlives the document, whose device reports its closing to it.
    CRecordingWaveOutSystem sound{&doc};
    CLumvaneDoc doc;
    CFrameWnd frame;
    FakeClock clock;
    RecordingView view;
    QStringList status;

    explicit PlayRig(int count = 1) {
        doc.CreateAnimation(8, 2);
        for (int i = 1; i < count; ++i) frames::Fill(doc, i, 255);
        doc.m_nFrameCount = count;
        AfxSetMainWnd(&frame);
        QObject::connect(frame.statusBar(), &QStatusBar::messageChanged,
                         [this](const QString& t) { status.append(t); });
        doc.AddView(&view);
        view.clock = &clock;
        view.t0 = clock.now;
    }
    ~PlayRig() {
        doc.RemoveView(&view);
        AfxSetMainWnd(nullptr);
    }
    // A loaded track of the given rate and length, straight into the document's fields.
    void LoadTrack(std::uint32_t rate, std::size_t bytes) {
        const wav::Bytes fmt = wav::Fmt(1, 1, rate, 8);
        doc.m_pWaveFormat = fmt;
        doc.m_pSoundData.reset(new unsigned char[bytes]);
        const wav::Bytes s = wav::Samples(bytes);
        std::copy(s.begin(), s.end(), doc.m_pSoundData.get());
        doc.m_nSoundBytes = static_cast<int>(bytes);
        doc.m_hWaveOut = sound.Open(fmt);
        doc.m_bSoundLoaded = 1;
        sound.Clear();
    }
    CPlayback player{doc, &frame, clock};
    void Play() {
        status.clear();
        player.OnPlay();
    }
};
