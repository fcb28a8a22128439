#pragma once

#include "document/WaveOut.h"

// Wave output on the system's default audio device through Qt Multimedia: unsigned 8-bit mono
// (a loaded WAV) or signed 16-bit mono or stereo (an imported track), at the track's rate. Each
// device feeds its sink from a thread of its own, so sound keeps flowing while the user-interface
// thread paints or waits between frames.
class CQtWaveOutSystem : public IWaveOutSystem {
  public:
    // Audio the sink holds ahead of what is heard: small, so a slice is heard promptly after
    // Play and stops promptly after Reset.
    static constexpr int kBufferMillis = 15;

    bool Query(const std::vector<unsigned char>& format) override;
    std::unique_ptr<IWaveOut> Open(const std::vector<unsigned char>& format) override;
};

// The program's one instance.
IWaveOutSystem& QtWaveOutSystem();
