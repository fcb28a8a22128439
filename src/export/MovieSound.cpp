#include "export/MovieSound.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

#include <algorithm>

#include "document/DecodedSound.h"
#include "document/SoundSlice.h"

MovieSoundFeed::~MovieSoundFeed() {
    swr_free(&m_swr);
}

int MovieSoundFeed::Init(const MovieSource& source, int frames, int fps, int outRate) {
    if (source.decoded) {
        m_track16 = source.decoded->samples.data();
        m_trackFrames = source.decoded->Frames();
        m_channels = std::clamp(source.decoded->channels, 1, 2);
    } else {
        m_track8 = source.sound;
        m_trackFrames = m_track8 ? source.soundBytes : 0;
        m_channels = 1;
    }
    m_inRate = source.soundRate;
    m_outRate = outRate;
    m_fps = fps;
    m_frames = frames;
    m_outTotal = SoundBytesOfFrames(frames, outRate, fps);
    if (m_inRate == m_outRate) return 0;
    AVChannelLayout layout;
    av_channel_layout_default(&layout, m_channels);
    int ret = swr_alloc_set_opts2(&m_swr, &layout, AV_SAMPLE_FMT_FLT, m_outRate, &layout,
                                  AV_SAMPLE_FMT_FLT, m_inRate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    if (ret >= 0) ret = swr_init(m_swr);
    return ret;
}

int MovieSoundFeed::FeedUpTo(int frame, const std::function<bool()>& keepGoing) {
    frame = std::min(frame, m_frames);
    const std::int64_t due = SoundBytesOfFrames(frame, m_inRate, m_fps);
    const std::int64_t end = std::min(due, m_trackFrames);
    // Asked only from the second piece on: a frame's worth of an ordinary track is one piece.
    for (bool first = true; m_inDone < end; first = false) {
        if (!first && keepGoing && !keepGoing()) return kStopped;
        const std::int64_t piece = std::min<std::int64_t>(end - m_inDone, kPiece);
        const std::size_t n = static_cast<std::size_t>(piece * m_channels);
        m_in.resize(n);
        if (m_track16) {
            const std::int16_t* s = m_track16 + m_inDone * m_channels;
            for (std::size_t i = 0; i < n; ++i) m_in[i] = s[i] / 32768.0f;
        } else {
            const unsigned char* s = m_track8 + m_inDone;
            for (std::size_t i = 0; i < n; ++i) m_in[i] = (static_cast<int>(s[i]) - 128) / 128.0f;
        }
        m_inDone += piece;
        if (!m_swr) {
            m_queue.insert(m_queue.end(), m_in.begin(), m_in.end());
            m_pushed += piece;
        } else if (const int ret = Resample(m_in.data(), static_cast<int>(piece)); ret < 0) {
            return ret;
        }
    }
    // Past the end of the track: its tail, then silence made at the codec's rate.
    if (due > m_trackFrames) {
        if (const int ret = Flush(); ret < 0) return ret;
        const std::int64_t target = SoundBytesOfFrames(frame, m_outRate, m_fps);
        if (m_pushed < target) PushSilence(target - m_pushed);
    }
    return 0;
}

int MovieSoundFeed::Finish() {
    int ret = FeedUpTo(m_frames);
    if (ret >= 0) ret = Flush();
    if (ret < 0) return ret;
    if (m_pushed < m_outTotal) PushSilence(m_outTotal - m_pushed);
    if (m_pushed > m_outTotal) {
        const std::int64_t extra = std::min<std::int64_t>(m_pushed - m_outTotal, Available());
        m_queue.resize(m_queue.size() - static_cast<std::size_t>(extra * m_channels));
        m_pushed -= extra;
    }
    return 0;
}

const float* MovieSoundFeed::Take(int count) {
    const float* p = m_queue.data() + m_head;
    m_head += static_cast<std::size_t>(count) * m_channels;
    return p;
}

void MovieSoundFeed::Compact() {
    m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(m_head));
    m_head = 0;
}

void MovieSoundFeed::PushSilence(std::int64_t frames) {
    m_queue.insert(m_queue.end(), static_cast<std::size_t>(frames * m_channels), 0.0f);
    m_pushed += frames;
}

int MovieSoundFeed::Flush() {
    if (!m_swr || m_bFlushed) return 0;
    m_bFlushed = true;
    return Resample(nullptr, 0);
}

int MovieSoundFeed::Resample(const float* in, int count) {
    const int room = swr_get_out_samples(m_swr, count);
    if (room < 0) return room;
    const std::size_t at = m_queue.size();
    m_queue.resize(at + (static_cast<std::size_t>(room) + 1) * m_channels);
    auto* o = reinterpret_cast<std::uint8_t*>(m_queue.data() + at);
    const auto* i = reinterpret_cast<const std::uint8_t*>(in);
    const int got = swr_convert(m_swr, &o, room + 1, in ? &i : nullptr, count);
    if (got < 0) {
        m_queue.resize(at);
        return got;
    }
    m_queue.resize(at + static_cast<std::size_t>(got) * m_channels);
    m_pushed += got;
    return 0;
}
