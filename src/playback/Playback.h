#pragma once

#include <cstdint>
#include <memory>

class CFrameWnd;
class CLumvaneDoc;
class IWaveOutSystem;
class QWidget;

// The clock of the playback loop and its wait between frames, replaceable so that tests run
// on exact, simulated time.
class IPlaybackClock {
  public:
    virtual ~IPlaybackClock() = default;
    // Monotonic microseconds.
    virtual std::int64_t NowMicros() = 0;
    // Returns once NowMicros() has reached deadline (at once when it already has).
    virtual void WaitUntil(std::int64_t deadlineMicros) = 0;
};

// The steady clock; waits by sleeping until just before the deadline and spinning the rest,
// so a frame is neither early nor more than a fraction of a millisecond late.
IPlaybackClock& SystemPlaybackClock();

// Status-bar texts of playback.
inline constexpr const char* kTextPlaying = "Playing...     Press any key to stop";
inline constexpr const char* kTextStopped = "Stopped.";
inline constexpr const char* kTextFinished = "Finished.";

// Frames > Settings: runs the Frame Settings dialog over parent and applies it.
void OnFrameSettings(CLumvaneDoc& doc, QWidget* parent);

// Frames > Loop Playback, kept in the settings file; off unless it says otherwise.
bool LoopPlaybackSetting();
void SetLoopPlaybackSetting(bool loop);

// Frames > Play for one document in one main window (or none: then no status text, nothing to
// block). It plays the animation once from the current frame (cycle after cycle while the
// loop is on), with its sound track, and returns when the cycle ends or a key stops it. While it
// runs, window events keep being handled between frames but commands are ignored, pointer input
// reaches only menus, scroll bars, the splitter and the views (which change nothing in the document
// meanwhile), and a close request only stops playback (the window is closed again once the loop is
// done).
class CPlayback {
  public:
    CPlayback(CLumvaneDoc& doc, CFrameWnd* frame, IPlaybackClock& clock = SystemPlaybackClock());
    ~CPlayback();
    // Does nothing while a loop of this player already runs.
    void OnPlay();
    bool IsPlaying() const { return m_bPlaying; }
    // With the loop on, Play runs cycle after cycle, each one as the single cycle runs, until
    // a key stops it.
    void SetLoop(bool loop) { m_bLoop = loop; }
    bool IsLooping() const { return m_bLoop; }

  private:
    void SetStatus(const char* text);

    CLumvaneDoc& m_doc;
    CFrameWnd* m_pFrame;
    IPlaybackClock& m_clock;
    bool m_bPlaying = false;
    bool m_bLoop = false;
};

// Audio > Load: asks for a WAV file and makes it the document's sound track.
void OnAudioLoad(CLumvaneDoc& doc, IWaveOutSystem& waveOut);

// Adds Play, Loop Playback, Frame Settings and Audio Load to the document's command table,
// always enabled, playing and asking in that main window; returns the player that Play runs,
// its loop taken from the settings file. The references
// must outlive the document's use of its table.
std::shared_ptr<CPlayback> RegisterPlaybackCommands(CLumvaneDoc& doc, CFrameWnd* frame,
                                                    IWaveOutSystem& waveOut,
                                                    IPlaybackClock& clock = SystemPlaybackClock());
