#pragma once

#include <cstdint>

class CLumvaneDoc;
class IWaveOutSystem;

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

// Frames > Settings: runs the Frame Settings dialog and applies it.
void OnFrameSettings(CLumvaneDoc& doc);

// Frames > Play: plays the animation once from the current frame, with its sound track, and
// returns when the cycle ends or a key stops it. While it runs, window events keep being
// handled between frames but commands are ignored, mouse input outside menus is dropped and a
// close request only stops playback (the window is closed again once the loop is done).
void OnPlay(CLumvaneDoc& doc, IPlaybackClock& clock = SystemPlaybackClock());
// Whether a playback loop is running.
bool IsPlaying();

// Audio > Load: asks for a WAV file and makes it the document's sound track.
void OnAudioLoad(CLumvaneDoc& doc, IWaveOutSystem& waveOut);

// Adds Play, Frame Settings and Audio Load to the document's command table, always enabled.
// The references must outlive the document's use of its table.
void RegisterPlaybackCommands(CLumvaneDoc& doc, IWaveOutSystem& waveOut,
                              IPlaybackClock& clock = SystemPlaybackClock());
