#include "intake/SoundImport.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <new>

#include "document/MemoryCheck.h"
#include "framework/RegularFile.h"

namespace {

constexpr int kIoBufferSize = 1 << 16;

// Where the bytes come from: a regular file or a block of memory.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual int Read(std::uint8_t* buf, int size) = 0;
    std::int64_t Seek(std::int64_t offset, int whence) {
        std::int64_t at = offset;
        if (whence == SEEK_CUR) at += m_pos;
        if (whence == SEEK_END) at += m_size;
        if (at < 0) return AVERROR(EINVAL);
        m_pos = at;
        return at;
    }
    std::int64_t Size() const { return m_size; }
    std::int64_t Position() const { return m_pos; }

  protected:
    std::int64_t m_size = 0;
    std::int64_t m_pos = 0;
};

class MemorySource : public ByteSource {
  public:
    MemorySource(const unsigned char* data, std::size_t size) : m_data(data) {
        m_size = static_cast<std::int64_t>(size);
    }
    int Read(std::uint8_t* buf, int size) override {
        const std::int64_t n = std::min<std::int64_t>(size, m_size - m_pos);
        if (n <= 0) return AVERROR_EOF;
        std::memcpy(buf, m_data + m_pos, static_cast<std::size_t>(n));
        m_pos += n;
        return static_cast<int>(n);
    }

  private:
    const unsigned char* m_data;
};

class FileSource : public ByteSource {
  public:
    // A FIFO or a device would block or never end: regular files only.
    bool Open(const QString& path) {
        if (AfxOpenRegularFile(m_file, path) != RegularFileOpen::Opened) return false;
        m_size = m_file.size();
        return true;
    }
    int Read(std::uint8_t* buf, int size) override {
        if (!m_file.seek(m_pos)) return AVERROR(EIO);
        const qint64 n = m_file.read(reinterpret_cast<char*>(buf), size);
        if (n < 0) return AVERROR(EIO);
        if (n == 0) return AVERROR_EOF;
        m_pos += n;
        return static_cast<int>(n);
    }

  private:
    QFile m_file;
};

// A playlist or a reference file names other files or addresses; a sound track is read from
// the one file the user chose and nothing else.
int RefuseOtherFiles(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

int ReadSource(void* opaque, std::uint8_t* buf, int size) {
    return static_cast<ByteSource*>(opaque)->Read(buf, size);
}

std::int64_t SeekSource(void* opaque, std::int64_t offset, int whence) {
    auto* source = static_cast<ByteSource*>(opaque);
    if (whence & AVSEEK_SIZE) return source->Size();
    return source->Seek(offset, whence & ~AVSEEK_FORCE);
}

// One decoding run; everything it allocates goes with it.
class Decoder {
  public:
    Decoder(ByteSource& source, const SoundDecodeProgress& progress)
        : m_source(source), m_progress(progress) {}
    ~Decoder() {
        swr_free(&m_swr);
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
        avcodec_free_context(&m_codec);
        if (m_fmt) {
            avformat_close_input(&m_fmt);
        }
        if (m_io) {
            av_freep(&m_io->buffer);
            avio_context_free(&m_io);
        }
    }

    SoundDecode Run(const QByteArray& name, DecodedSound& out);

  private:
    SoundDecode Open(const QByteArray& name);
    // Converts one decoded frame and appends it; false when memory ran out.
    SoundDecode Append(const AVFrame* frame);
    SoundDecode Receive();
    bool Full() const { return m_track.Frames() >= m_maxFrames && m_maxFrames > 0; }
    bool KeepGoing();
    // Room for samples samples, asked of the memory check first: with the kernel's overcommit
    // a reservation that does not fit succeeds and touching it gets the program killed.
    bool Grow(std::size_t samples);

    ByteSource& m_source;
    const SoundDecodeProgress& m_progress;
    AVIOContext* m_io = nullptr;
    AVFormatContext* m_fmt = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    SwrContext* m_swr = nullptr;
    int m_stream = -1;
    double m_duration = 0;  // seconds, when the file says
    // What the converter was set up for.
    AVChannelLayout m_inLayout{};
    int m_inFormat = -1;
    int m_inRate = 0;
    DecodedSound m_track;
    std::int64_t m_maxFrames = 0;
    bool m_bDecodeErrors = false;
    int m_nCalls = 0;
};

SoundDecode Decoder::Open(const QByteArray& name) {
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    if (!buffer) return SoundDecode::NoMemory;
    m_io = avio_alloc_context(buffer, kIoBufferSize, 0, &m_source, ReadSource, nullptr, SeekSource);
    if (!m_io) {
        av_free(buffer);
        return SoundDecode::NoMemory;
    }
    if (!(m_fmt = avformat_alloc_context())) return SoundDecode::NoMemory;
    m_fmt->pb = m_io;
    m_fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
    m_fmt->io_open = RefuseOtherFiles;
    // The name helps guess formats without a signature (raw AAC, MP3 without a tag).
    if (avformat_open_input(&m_fmt, name.constData(), nullptr, nullptr) < 0) {
        m_fmt = nullptr;  // freed by the failed open
        return SoundDecode::Unreadable;
    }
    if (avformat_find_stream_info(m_fmt, nullptr) < 0) return SoundDecode::Unreadable;
    for (unsigned i = 0; i < m_fmt->nb_streams; ++i) {
        AVStream* st = m_fmt->streams[i];
        if (m_stream < 0 && st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            m_stream = static_cast<int>(i);
        else
            st->discard = AVDISCARD_ALL;  // a video's pictures are not even read apart
    }
    if (m_stream < 0) return SoundDecode::NoStream;
    const AVStream* st = m_fmt->streams[m_stream];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return SoundDecode::Unreadable;
    if (!(m_codec = avcodec_alloc_context3(codec))) return SoundDecode::NoMemory;
    if (avcodec_parameters_to_context(m_codec, st->codecpar) < 0) return SoundDecode::Unreadable;
    m_codec->thread_count = 1;
    if (avcodec_open2(m_codec, codec, nullptr) < 0) return SoundDecode::Unreadable;
    if (!(m_packet = av_packet_alloc()) || !(m_frame = av_frame_alloc()))
        return SoundDecode::NoMemory;
    if (m_fmt->duration > 0) m_duration = double(m_fmt->duration) / AV_TIME_BASE;
    return SoundDecode::Ok;
}

bool Decoder::Grow(std::size_t samples) {
    if (samples <= m_track.samples.capacity()) return true;
    // The old block and the new one live together while the samples move.
    const std::uint64_t bytes = (samples + m_track.samples.size()) * sizeof(std::int16_t);
    if (!MemoryFits(bytes)) return false;
    m_track.samples.reserve(samples);
    return true;
}

bool Decoder::KeepGoing() {
    if (!m_progress || (++m_nCalls & 15) != 0) return true;
    double done = 0;
    if (m_duration > 0 && m_track.rate > 0)
        done = double(m_track.Frames()) / m_track.rate / m_duration;
    else if (m_source.Size() > 0)
        done = double(m_source.Position()) / double(m_source.Size());
    if (m_maxFrames > 0) done = std::max(done, double(m_track.Frames()) / double(m_maxFrames));
    return m_progress(std::clamp(done, 0.0, 1.0));
}

SoundDecode Decoder::Append(const AVFrame* frame) {
    const int channels = frame->ch_layout.nb_channels;
    if (frame->sample_rate <= 0 || channels <= 0 || frame->nb_samples <= 0) return SoundDecode::Ok;
    if (m_track.rate == 0) {
        // The track takes the rate and the channels of its first frame.
        m_track.rate = frame->sample_rate;
        m_track.channels = std::min(channels, 2);
        m_maxFrames = std::int64_t(m_track.rate) * kMaxSoundSeconds;
        // Room for the whole track when the file tells its length, so it is not copied while it
        // grows.
        if (m_duration > 0) {
            // What the file says is not trusted beyond the longest 48 kHz track; a longer one
            // grows as it is decoded.
            const std::int64_t expect = std::min<std::int64_t>(
                {std::int64_t(std::min(m_duration, double(kMaxSoundSeconds)) * m_track.rate) + 4096,
                 m_maxFrames, std::int64_t(48000) * kMaxSoundSeconds});
            if (!Grow(static_cast<std::size_t>(expect * m_track.channels)))
                return SoundDecode::NoMemory;
        }
    }
    if (!m_swr || frame->format != m_inFormat || frame->sample_rate != m_inRate ||
        av_channel_layout_compare(&frame->ch_layout, &m_inLayout) != 0) {
        swr_free(&m_swr);
        av_channel_layout_uninit(&m_inLayout);
        if (av_channel_layout_copy(&m_inLayout, &frame->ch_layout) < 0)
            return SoundDecode::NoMemory;
        m_inFormat = frame->format;
        m_inRate = frame->sample_rate;
        AVChannelLayout outLayout;
        if (channels == m_track.channels)
            av_channel_layout_copy(&outLayout, &frame->ch_layout);
        else
            av_channel_layout_default(&outLayout, m_track.channels);
        int ret = swr_alloc_set_opts2(&m_swr, &outLayout, AV_SAMPLE_FMT_S16, m_track.rate,
                                      &m_inLayout, static_cast<AVSampleFormat>(frame->format),
                                      frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&outLayout);
        if (ret >= 0) ret = swr_init(m_swr);
        if (ret < 0) return SoundDecode::Unreadable;
    }
    const std::size_t at = m_track.samples.size();
    // Nothing past the longest track is stored; the converter keeps the rest, which is dropped.
    const int room = static_cast<int>(
        std::min<std::int64_t>(swr_get_out_samples(m_swr, frame->nb_samples),
                               m_maxFrames - static_cast<std::int64_t>(at) / m_track.channels));
    if (room < 0) return SoundDecode::Unreadable;
    const std::size_t need = at + static_cast<std::size_t>(room) * m_track.channels;
    if (need > m_track.samples.capacity() && !Grow(std::max(need, m_track.samples.capacity() * 2)))
        return SoundDecode::NoMemory;
    m_track.samples.resize(need);
    auto* out = reinterpret_cast<std::uint8_t*>(m_track.samples.data() + at);
    const int got =
        swr_convert(m_swr, &out, room, const_cast<const std::uint8_t**>(frame->extended_data),
                    frame->nb_samples);
    if (got < 0) return SoundDecode::Unreadable;
    std::int64_t keep = got;
    // Decoding stops at the longest track an animation can use.
    keep = std::min<std::int64_t>(keep,
                                  m_maxFrames - static_cast<std::int64_t>(at) / m_track.channels);
    m_track.samples.resize(at + static_cast<std::size_t>(keep) * m_track.channels);
    return SoundDecode::Ok;
}

SoundDecode Decoder::Receive() {
    for (;;) {
        const int ret = avcodec_receive_frame(m_codec, m_frame);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return SoundDecode::Ok;
        if (ret == AVERROR(ENOMEM)) return SoundDecode::NoMemory;
        if (ret < 0) {
            m_bDecodeErrors = true;
            return SoundDecode::Ok;
        }
        const SoundDecode r = Append(m_frame);
        av_frame_unref(m_frame);
        if (r != SoundDecode::Ok || Full()) return r;
    }
}

SoundDecode Decoder::Run(const QByteArray& name, DecodedSound& out) {
    try {
        SoundDecode r = Open(name);
        if (r != SoundDecode::Ok) return r;
        while (!Full()) {
            if (!KeepGoing()) return SoundDecode::Cancelled;
            const int ret = av_read_frame(m_fmt, m_packet);
            if (ret == AVERROR_EOF) break;
            if (ret == AVERROR(ENOMEM)) return SoundDecode::NoMemory;
            if (ret < 0) {
                // A damaged end: keep what came before it.
                m_bDecodeErrors = true;
                break;
            }
            if (m_packet->stream_index == m_stream) {
                const int sent = avcodec_send_packet(m_codec, m_packet);
                if (sent == AVERROR(ENOMEM)) {
                    av_packet_unref(m_packet);
                    return SoundDecode::NoMemory;
                }
                if (sent < 0) m_bDecodeErrors = true;
                r = Receive();
            }
            av_packet_unref(m_packet);
            if (r != SoundDecode::Ok) return r;
        }
        if (!Full()) {
            avcodec_send_packet(m_codec, nullptr);
            if ((r = Receive()) != SoundDecode::Ok) return r;
        }
        if (m_swr && !Full()) {
            // The converter's tail.
            const int room = swr_get_out_samples(m_swr, 0);
            if (room > 0) {
                const std::size_t at = m_track.samples.size();
                m_track.samples.resize(at + static_cast<std::size_t>(room) * m_track.channels);
                auto* o = reinterpret_cast<std::uint8_t*>(m_track.samples.data() + at);
                const int got = swr_convert(m_swr, &o, room, nullptr, 0);
                const std::int64_t keep = std::min<std::int64_t>(
                    std::max(got, 0),
                    m_maxFrames - static_cast<std::int64_t>(at) / m_track.channels);
                m_track.samples.resize(at + static_cast<std::size_t>(keep) * m_track.channels);
            }
        }
        if (m_track.samples.empty())
            return m_bDecodeErrors ? SoundDecode::Unreadable : SoundDecode::Empty;
        // Spare room goes back when a copy fits; it is at most what the file said or doubling.
        if (m_track.samples.capacity() - m_track.samples.size() > m_track.samples.size() / 8 &&
            MemoryFits(m_track.samples.size() * sizeof(std::int16_t)))
            m_track.samples.shrink_to_fit();
        out = std::move(m_track);
        return SoundDecode::Ok;
    } catch (const std::bad_alloc&) {
        return SoundDecode::NoMemory;
    } catch (const std::length_error&) {
        return SoundDecode::NoMemory;
    }
}

SoundDecode Decode(ByteSource& source, const QByteArray& name, DecodedSound& out,
                   const SoundDecodeProgress& progress) {
    // Damaged files are reported by the program itself; FFmpeg's chatter would only clutter.
    av_log_set_level(AV_LOG_QUIET);
    Decoder decoder(source, progress);
    return decoder.Run(name, out);
}

}  // namespace

SoundDecode DecodeSoundFile(const QString& path, DecodedSound& out,
                            const SoundDecodeProgress& progress) {
    FileSource source;
    if (!source.Open(path)) return SoundDecode::Unreadable;
    return Decode(source, QFile::encodeName(QFileInfo(path).fileName()), out, progress);
}

SoundDecode DecodeSoundBytes(const unsigned char* data, std::size_t size, DecodedSound& out,
                             const SoundDecodeProgress& progress) {
    MemorySource source(data, size);
    return Decode(source, QByteArray(), out, progress);
}

QString AvErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

QString SoundTextNoStream(const QString& file) {
    return QStringLiteral("%1 has no sound track.").arg(file);
}
QString SoundTextUnreadable(const QString& file) {
    return QStringLiteral("Could not read the sound track of %1.").arg(file);
}
QString SoundTextEmpty(const QString& file) {
    return QStringLiteral("The sound track of %1 is empty.").arg(file);
}
QString SoundTextNoMemory(const QString& file) {
    return QStringLiteral("Not enough memory to load the sound track of %1.").arg(file);
}
QString SoundTextNoDevice(const QString& file) {
    return QStringLiteral("There are no audio devices to play the sound track of %1.").arg(file);
}

QString SoundDecodeText(SoundDecode result, const QString& file) {
    switch (result) {
        case SoundDecode::NoStream:
            return SoundTextNoStream(file);
        case SoundDecode::Unreadable:
            return SoundTextUnreadable(file);
        case SoundDecode::Empty:
            return SoundTextEmpty(file);
        case SoundDecode::NoMemory:
            return SoundTextNoMemory(file);
        case SoundDecode::Ok:
        case SoundDecode::Cancelled:
            break;
    }
    return QString();
}
