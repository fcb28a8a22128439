#pragma once

#include <cstddef>
#include <vector>

#include "document/WaveOut.h"

class CLumvaneDoc;

// Test double of the wave output: records every call in order, with each slice as its offset
// into the document's samples and its length, and can be told to fail any step.
class CRecordingWaveOutSystem : public IWaveOutSystem {
  public:
    enum class Op { Query, Open, Close, Reset, Prepare, Play };
    struct Event {
        Op op;
        int device;            // 1, 2, ... in order of opening; 0 for Query
        long long offset = 0;  // Prepare / Play: data - doc.SoundSamples() (or the raw address)
        std::size_t length = 0;
        bool operator==(const Event&) const = default;
    };

    // Offsets are taken against this document's samples at the time of each call.
    explicit CRecordingWaveOutSystem(const CLumvaneDoc* doc = nullptr) : m_pDoc(doc) {}

    bool Query(const std::vector<unsigned char>& format) override;
    std::unique_ptr<IWaveOut> Open(const std::vector<unsigned char>& format) override;

    bool m_bFailQuery = false;
    bool m_bFailOpen = false;
    bool m_bFailPrepare = false;
    bool m_bFailPlay = false;

    std::vector<Event> m_events;
    std::vector<std::vector<unsigned char>> m_formats;  // each format queried or opened
    int m_nOpen = 0;                                    // devices open now
    // The slice a device is playing: what was last played and not reset since.
    bool m_bPlaying = false;
    long long m_nPlayingOffset = 0;
    std::size_t m_nPlayingLength = 0;

    // Only the Prepare and Play events, for tests about slices.
    std::vector<Event> Slices() const;
    void Clear() { m_events.clear(); }

  private:
    friend class CRecordingWaveOut;
    long long OffsetOf(const unsigned char* data) const;
    const CLumvaneDoc* m_pDoc;
    int m_nDevices = 0;
};
