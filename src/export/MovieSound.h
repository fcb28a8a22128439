#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "export/MovieExport.h"

struct SwrContext;

// A movie's sound track from its start as float samples at the codec's rate, the channels of
// one sample frame next to each other, in pieces as the frames go by: the playback slice of the
// frames so far, then silence to the animation's length. Only the track's own samples go
// through the resampler; the silence after them is made at the codec's rate, so the work
// follows the track's real length whatever rate its file announces.
class MovieSoundFeed {
  public:
    // Returned by FeedUpTo when keepGoing said stop.
    static constexpr int kStopped = -0x53544f50;

    ~MovieSoundFeed();
    // The source must have a track; channels is that of the track (1 or 2). Returns an FFmpeg
    // error code below 0 on failure.
    int Init(const MovieSource& source, int frames, int fps, int outRate);
    int Channels() const { return m_channels; }

    // Converts the sound of the frames before `frame` that is not converted yet, in pieces of
    // bounded size; keepGoing is asked between pieces (never when one piece does).
    int FeedUpTo(int frame, const std::function<bool()>& keepGoing = {});
    // The resampler's tail, then exactly the playback length at the codec's rate.
    int Finish();

    // Sample frames ready and the whole length, at the codec's rate.
    std::int64_t Available() const {
        return static_cast<std::int64_t>(m_queue.size() - m_head) / m_channels;
    }
    std::int64_t Total() const { return m_outTotal; }
    // count sample frames of what is ready.
    const float* Take(int count);
    // Drops what was taken; call before the next Feed.
    void Compact();

    // Sample frames of the track converted so far (what the resampler was given).
    std::int64_t TrackFramesFed() const { return m_inDone; }

    // Sample frames of the track converted at a time.
    static constexpr std::int64_t kPiece = 1 << 15;

  private:
    void PushSilence(std::int64_t frames);
    int Resample(const float* in, int count);
    int Flush();

    const unsigned char* m_track8 = nullptr;
    const std::int16_t* m_track16 = nullptr;
    std::int64_t m_trackFrames = 0;
    int m_channels = 1;
    int m_inRate = 0;
    int m_outRate = 0;
    int m_fps = 1;
    int m_frames = 0;
    std::int64_t m_inDone = 0;
    std::int64_t m_outTotal = 0;
    std::int64_t m_pushed = 0;  // sample frames
    bool m_bFlushed = false;
    SwrContext* m_swr = nullptr;
    std::vector<float> m_in;
    std::vector<float> m_queue;
    std::size_t m_head = 0;
};
