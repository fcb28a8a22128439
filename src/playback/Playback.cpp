#include "playback/Playback.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScrollBar>
#include <QSettings>
#include <QSplitterHandle>
#include <chrono>
#include <thread>
#include <vector>

#include "document/LumvaneDoc.h"
#include "framework/FrameWnd.h"
#include "framework/View.h"

namespace {

const char* const kLoopKey = "Playback/Loop";

class CSteadyClock : public IPlaybackClock {
  public:
    std::int64_t NowMicros() override {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void WaitUntil(std::int64_t deadline) override {
        // Sleeping all the way risks the scheduler's wake-up lateness; spinning all the way
        // burns a core. Sleep to just short of the deadline, then yield until it passes.
        constexpr std::int64_t kSpinMicros = 500;
        for (std::int64_t left = deadline - NowMicros(); left > 0; left = deadline - NowMicros()) {
            if (left > kSpinMicros)
                std::this_thread::sleep_for(std::chrono::microseconds(left - kSpinMicros));
            else
                std::this_thread::yield();
        }
    }
};

// Keeps the window alive but the document untouched while the loop runs: the first ordinary
// key press stops playback and is swallowed, commands are ignored, and a close request is
// recorded as a stop. Pointer input reaches menus, scroll bars, the splitter and the views
// (and a modal box, should one appear): the views change nothing in the document while
// commands are blocked, and a button release still ends their drags.
class CPlaybackGuard : public QObject {
  public:
    explicit CPlaybackGuard(CFrameWnd* frame) : m_frame(frame) {
        if (m_frame) {
            m_bWasBlocked = m_frame->CommandsBlocked();
            m_frame->SetCommandsBlocked(true);
        }
        if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);
    }
    ~CPlaybackGuard() override {
        if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
        if (m_frame) {
            m_frame->SetCommandsBlocked(m_bWasBlocked);
            if (m_frame->CloseRequested()) {
                m_frame->ClearCloseRequest();
                // Closed from the event loop, after the Play command has returned.
                QMetaObject::invokeMethod(m_frame, "close", Qt::QueuedConnection);
            }
        }
    }

    // Handles the window events that are waiting; true when playback must stop.
    bool Pump() {
        if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
        return m_bKeyStop || (m_frame && m_frame->CloseRequested());
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        switch (e->type()) {
            case QEvent::ShortcutOverride:
                // Claim the key so that no shortcut swallows it before the key press arrives.
                if (InModal(watched) || IsSystemKey(static_cast<QKeyEvent*>(e))) return false;
                e->accept();
                return true;
            case QEvent::KeyPress:
                if (InModal(watched) || IsSystemKey(static_cast<QKeyEvent*>(e))) return false;
                m_bKeyStop = true;
                return true;
            case QEvent::Shortcut:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove:
            case QEvent::Wheel:
            case QEvent::TabletPress:
            case QEvent::TabletMove:
            case QEvent::TabletRelease:
            case QEvent::ContextMenu:
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
                return !PassesPointer(watched);
            default:
                return false;
        }
    }

  private:
    static bool IsSystemKey(const QKeyEvent* k) {
        return (k->modifiers() & Qt::AltModifier) || k->key() == Qt::Key_Alt ||
               k->key() == Qt::Key_AltGr;
    }
    static bool InModal(QObject* o) {
        QWidget* modal = QApplication::activeModalWidget();
        auto* w = qobject_cast<QWidget*>(o);
        return modal && w && (w == modal || modal->isAncestorOf(w));
    }
    // Window-level events are routed on to a widget, where they are judged.
    static bool PassesPointer(QObject* o) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w) return true;
        if (InModal(o)) return true;
        if (qobject_cast<QScrollBar*>(w) || qobject_cast<QSplitterHandle*>(w)) return true;
        for (QWidget* p = w; p; p = p->parentWidget())
            if (qobject_cast<QMenu*>(p) || qobject_cast<QMenuBar*>(p) || dynamic_cast<CView*>(p))
                return true;
        return false;
    }

    QPointer<CFrameWnd> m_frame;
    bool m_bWasBlocked = false;
    bool m_bKeyStop = false;
};

// The frame the next step shows.
int FrameAfter(const CLumvaneDoc& doc) {
    return doc.m_nCurrentFrame + 1 < doc.m_nFrameCount ? doc.m_nCurrentFrame + 1 : 0;
}

// Lets the views compose that frame while the loop waits for its time, so that at the time
// only the painting is left.
void AnnounceFrame(CLumvaneDoc& doc, const CFrameAhead& ahead) {
    const std::vector<CView*> views = doc.GetViews();
    for (CView* view : views)
        if (auto* v = dynamic_cast<IFrameAheadView*>(view)) v->PrepareFrame(ahead);
}

}  // namespace

bool LoopPlaybackSetting() {
    return QSettings().value(QLatin1String(kLoopKey), false).toBool();
}

void SetLoopPlaybackSetting(bool loop) {
    QSettings().setValue(QLatin1String(kLoopKey), loop);
}

IPlaybackClock& SystemPlaybackClock() {
    static CSteadyClock clock;
    return clock;
}

CPlayback::CPlayback(CLumvaneDoc& doc, CFrameWnd* frame, IPlaybackClock& clock)
    : m_doc(doc), m_pFrame(frame), m_clock(clock) {}

CPlayback::~CPlayback() = default;

void CPlayback::SetStatus(const char* text) {
    if (m_pFrame) m_pFrame->SetMessageText(QString::fromLatin1(text));
}

void CPlayback::OnPlay() {
    CLumvaneDoc& doc = m_doc;
    IPlaybackClock& clock = m_clock;
    if (m_bPlaying || doc.m_nFrameCount <= 0 || doc.m_nFps <= 0) return;
    m_bPlaying = true;
    CPlaybackGuard guard(m_pFrame);

    const std::int64_t period = 1000 / doc.m_nFps;
    const int start = doc.m_nCurrentFrame;
    SetStatus(kTextPlaying);
    CFrameAhead ahead{FrameAfter(doc)};
    AnnounceFrame(doc, ahead);  // the first picture is ready when sound and clock start
    if (doc.m_bSoundLoaded) doc.PlaySoundFrames(start, doc.m_nFrameCount - start);

    std::int64_t t0 = clock.NowMicros();
    std::int64_t step = 0;
    bool stopped = false;
    bool cycleStart = false;  // a following cycle's first step, which restarts the sound
    for (;;) {
        if (step >= doc.m_nFrameCount) {
            if (!m_bLoop) break;
            // The next cycle starts where this one was due to end, from the start frame again
            // even when a slow display ended this one early.
            t0 += period * doc.m_nFrameCount * 1000;
            step = 0;
            doc.m_nCurrentFrame = start;
            cycleStart = true;
        }
        ahead.frame = FrameAfter(doc);
        AnnounceFrame(doc, ahead);
        clock.WaitUntil(t0 + period * step * 1000);
        // Whole milliseconds, as the frame times are defined in them.
        const std::int64_t elapsed = (clock.NowMicros() - t0) / 1000;
        if (elapsed < period * step) continue;

        if (cycleStart) {
            if (doc.m_bSoundLoaded) doc.PlaySoundFrames(start, doc.m_nFrameCount - start);
            cycleStart = false;
        }

        int next = doc.m_nCurrentFrame + 1;
        if (next >= doc.m_nFrameCount) {
            if (doc.m_bSoundLoaded) doc.PlaySoundFrames(0, start);
            next = 0;
        }
        doc.m_nCurrentFrame = next;
        doc.UpdateAllViews(nullptr, HINT_FRAME_CONTENT, &ahead);

        if (guard.Pump()) {
            if (doc.m_bSoundLoaded && doc.m_bSoundOn && doc.m_hWaveOut) doc.m_hWaveOut->Reset();
            SetStatus(kTextStopped);
            stopped = true;
            break;
        }
        if (!doc.m_bShowEveryFrame) step = period > 0 ? elapsed / period : step;
        ++step;
    }
    ahead.frame = CFrameAhead::kNone;  // the views may let go of what they kept for the run
    AnnounceFrame(doc, ahead);

    if (doc.m_nCurrentFrame != start) {
        doc.m_nCurrentFrame = start;
        doc.UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
    }
    if (!stopped) SetStatus(kTextFinished);
    m_bPlaying = false;
}
