#include "export/FfmpegMovie.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "document/DecodedSound.h"
#include "export/MovieFile.h"
#include "export/MovieSound.h"
#include "export/VideoEncoderPlan.h"
#include "intake/SoundImport.h"
#include "raster/GrayImage.h"

namespace {

constexpr int kIoBufferSize = 1 << 16;
constexpr int kAudioBitRate = 96000;  // per channel

// ---- the output file as FFmpeg's I/O ----

#if LIBAVFORMAT_VERSION_MAJOR >= 61
using WriteBuffer = const std::uint8_t*;
#else
using WriteBuffer = std::uint8_t*;
#endif

int WriteToFile(void* opaque, WriteBuffer buf, int size) {
    auto* file = static_cast<MovieFile*>(opaque);
    if (!file->Write(buf, static_cast<std::size_t>(size))) return AVERROR(file->Errno());
    return size;
}

std::int64_t SeekInFile(void* opaque, std::int64_t offset, int whence) {
    auto* file = static_cast<MovieFile*>(opaque);
    if (whence & AVSEEK_SIZE) return file->Size();
    const std::int64_t at = file->Seek(offset, whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(EIO) : at;
}

// The MP4 muxer reads its own output back to move the index to the front (+faststart).
struct Reader {
    const MovieFile* file;
    std::int64_t pos = 0;
};

int ReadFromFile(void* opaque, std::uint8_t* buf, int size) {
    auto* r = static_cast<Reader*>(opaque);
    const std::int64_t n = r->file->ReadAt(r->pos, buf, static_cast<std::size_t>(size));
    if (n < 0) return AVERROR(EIO);
    if (n == 0) return AVERROR_EOF;
    r->pos += n;
    return static_cast<int>(n);
}

std::int64_t SeekReader(void* opaque, std::int64_t offset, int whence) {
    auto* r = static_cast<Reader*>(opaque);
    if (whence & AVSEEK_SIZE) return r->file->Size();
    switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            r->pos = offset;
            break;
        case SEEK_CUR:
            r->pos += offset;
            break;
        case SEEK_END:
            r->pos = r->file->Size() + offset;
            break;
        default:
            return AVERROR(EINVAL);
    }
    return r->pos;
}

int OpenSecondPass(AVFormatContext* s, AVIOContext** pb, const char*, int flags, AVDictionary**) {
    if ((flags & AVIO_FLAG_WRITE) || !s->opaque) return AVERROR(EPERM);
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    if (!buffer) return AVERROR(ENOMEM);
    auto* reader = new Reader{static_cast<const MovieFile*>(s->opaque)};
    *pb = avio_alloc_context(buffer, kIoBufferSize, 0, reader, ReadFromFile, nullptr, SeekReader);
    if (!*pb) {
        av_free(buffer);
        delete reader;
        return AVERROR(ENOMEM);
    }
    return 0;
}

int CloseSecondPass(AVFormatContext*, AVIOContext* pb) {
    delete static_cast<Reader*>(pb->opaque);
    av_freep(&pb->buffer);
    avio_context_free(&pb);
    return 0;
}

// A rate the codec takes: the track's own, else the next higher one it lists, else its highest.
int CodecRate(const AVCodec* codec, int rate) {
    const int* rates = codec->supported_samplerates;
    if (!rates) return rate;
    int above = 0;
    int highest = 0;
    for (; *rates; ++rates) {
        if (*rates == rate) return rate;
        if (*rates > rate && (above == 0 || *rates < above)) above = *rates;
        highest = std::max(highest, *rates);
    }
    return above ? above : highest;
}

bool Takes(const AVCodec* codec, AVSampleFormat format) {
    if (!codec->sample_fmts) return false;
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == format) return true;
    return false;
}

// Gray 0..255 to the limited range 16..235 of the luma plane, rounded: 16 + (v x 219 + 127) / 255
// with the division done in 16 bits, exact for every v, so that the loop vectorises.
inline unsigned char Luma(unsigned v) {
    const unsigned x = v * 219 + 127;
    return static_cast<unsigned char>(16 + ((x + (x >> 8) + 1) >> 8));
}

class Encoder {
  public:
    Encoder(const MovieSource& source, const MovieSettings& settings)
        : m_source(source), m_settings(settings), m_file(settings.outputPath) {}
    ~Encoder();
    int Run(const MovieProgress& progress, QString* error);

  private:
    int Open();
    int OpenVideo();
    int OpenAudio();
    int SendVideo(int index);
    int SendAudio(bool last);
    int Drain(AVCodecContext* enc, AVStream* st);
    int Failed(int ret, QString* error);

    const MovieSource& m_source;
    const MovieSettings& m_settings;
    MovieFile m_file;
    bool m_webm = false;
    GrayImage m_scratch;  // the frame being sent, when kept encoded
    int m_width = 0;      // the frames' size
    int m_height = 0;
    AVFormatContext* m_fmt = nullptr;
    AVIOContext* m_io = nullptr;
    AVCodecContext* m_video = nullptr;
    AVCodecContext* m_audio = nullptr;
    AVStream* m_videoStream = nullptr;
    AVStream* m_audioStream = nullptr;
    AVFrame* m_picture = nullptr;
    AVFrame* m_samples = nullptr;
    AVPacket* m_packet = nullptr;
    MovieSoundFeed m_sound;
    std::int64_t m_audioPts = 0;
    QString m_missingEncoder;
};

Encoder::~Encoder() {
    avcodec_free_context(&m_video);
    avcodec_free_context(&m_audio);
    av_frame_free(&m_picture);
    av_frame_free(&m_samples);
    av_packet_free(&m_packet);
    avformat_free_context(m_fmt);
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
}

int Encoder::Open() {
    m_webm = m_settings.format == MovieFormat::WebM;
    m_width = m_source.frames.front().GetWidth();
    m_height = m_source.frames.front().GetHeight();
    int ret = avformat_alloc_output_context2(&m_fmt, nullptr, m_webm ? "webm" : "mp4", nullptr);
    if (ret < 0) return ret;
    if (!m_file.Open()) return AVERROR(m_file.Errno());
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    if (!buffer) return AVERROR(ENOMEM);
    m_io = avio_alloc_context(buffer, kIoBufferSize, 1, &m_file, nullptr, WriteToFile, SeekInFile);
    if (!m_io) {
        av_free(buffer);
        return AVERROR(ENOMEM);
    }
    m_fmt->pb = m_io;
    m_fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
    m_fmt->opaque = &m_file;
    m_fmt->io_open = OpenSecondPass;
    m_fmt->io_close2 = CloseSecondPass;
    m_fmt->url = av_strdup(QFile::encodeName(m_settings.outputPath).constData());
    if (!m_fmt->url || !(m_packet = av_packet_alloc())) return AVERROR(ENOMEM);

    if ((ret = OpenVideo()) < 0) return ret;
    if (m_settings.includeSound && m_source.HasSound() && (ret = OpenAudio()) < 0) return ret;

    AVDictionary* options = nullptr;
    if (!m_webm) av_dict_set(&options, "movflags", "+faststart", 0);
    ret = avformat_write_header(m_fmt, &options);
    av_dict_free(&options);
    return ret;
}

int Encoder::OpenVideo() {
    const char* name = m_webm ? "libvpx-vp9" : "libx264";
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) {
        m_missingEncoder = QString::fromLatin1(name);
        return AVERROR_ENCODER_NOT_FOUND;
    }
    if (!(m_video = avcodec_alloc_context3(codec))) return AVERROR(ENOMEM);
    // The encoders want even sizes; the extra column and row are white.
    m_video->width = (m_width + 1) & ~1;
    m_video->height = (m_height + 1) & ~1;
    m_video->pix_fmt = AV_PIX_FMT_YUV420P;
    m_video->time_base = AVRational{1, m_settings.fps};
    m_video->framerate = AVRational{m_settings.fps, 1};
    m_video->sample_aspect_ratio = AVRational{1, 1};
    // Without the tags players guess, and some show the grays too dark or too pale.
    m_video->color_range = AVCOL_RANGE_MPEG;
    m_video->color_primaries = AVCOL_PRI_BT709;
    m_video->color_trc = AVCOL_TRC_BT709;
    m_video->colorspace = AVCOL_SPC_BT709;
    // Threads and held-back frames sized to the frame: the defaults need over 10 GB for the
    // largest frames.
    const VideoEncoderPlan plan = PlanVideoEncoder(m_source, m_settings);
    m_video->thread_count = plan.threads;
    if (m_fmt->oformat->flags & AVFMT_GLOBALHEADER) m_video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    if (m_webm) {
        // Constant quality; speed 4 with row threads keeps a long animation to minutes.
        m_video->bit_rate = 0;
        av_dict_set(&options, "crf", "24", 0);
        av_dict_set(&options, "deadline", "good", 0);
        av_dict_set(&options, "cpu-used", "4", 0);
        av_dict_set(&options, "row-mt", "1", 0);
        av_dict_set_int(&options, "lag-in-frames", plan.lookahead, 0);
        av_dict_set_int(&options, "tile-columns", plan.tileColumnsLog2, 0);
    } else {
        av_dict_set(&options, "preset", "medium", 0);
        av_dict_set(&options, "crf", "18", 0);
        av_dict_set_int(&options, "rc-lookahead", plan.lookahead, 0);
    }
    int ret = avcodec_open2(m_video, codec, &options);
    av_dict_free(&options);
    if (ret < 0) return ret;
    if (!(m_videoStream = avformat_new_stream(m_fmt, nullptr))) return AVERROR(ENOMEM);
    if ((ret = avcodec_parameters_from_context(m_videoStream->codecpar, m_video)) < 0) return ret;
    m_videoStream->time_base = m_video->time_base;
    m_videoStream->avg_frame_rate = m_video->framerate;
    m_videoStream->r_frame_rate = m_video->framerate;

    if (!(m_picture = av_frame_alloc())) return AVERROR(ENOMEM);
    m_picture->format = m_video->pix_fmt;
    m_picture->width = m_video->width;
    m_picture->height = m_video->height;
    m_picture->color_range = m_video->color_range;
    m_picture->color_primaries = m_video->color_primaries;
    m_picture->color_trc = m_video->color_trc;
    m_picture->colorspace = m_video->colorspace;
    return av_frame_get_buffer(m_picture, 0);
}

int Encoder::OpenAudio() {
    const AVCodec* codec = nullptr;
    const char* name = m_webm ? "libopus" : "aac";
    codec = avcodec_find_encoder_by_name(name);
    if (!codec) {
        m_missingEncoder = QString::fromLatin1(name);
        return AVERROR_ENCODER_NOT_FOUND;
    }
    if (!(m_audio = avcodec_alloc_context3(codec))) return AVERROR(ENOMEM);
    // Opus streams are 48000 Hz whatever the encoder takes in.
    m_audio->sample_rate = m_webm ? 48000 : CodecRate(codec, m_source.soundRate);
    m_audio->sample_fmt = Takes(codec, AV_SAMPLE_FMT_FLTP)  ? AV_SAMPLE_FMT_FLTP
                          : Takes(codec, AV_SAMPLE_FMT_FLT) ? AV_SAMPLE_FMT_FLT
                                                            : AV_SAMPLE_FMT_S16;
    // A stereo track stays stereo.
    const int channels = m_source.decoded ? std::clamp(m_source.decoded->channels, 1, 2) : 1;
    av_channel_layout_default(&m_audio->ch_layout, channels);
    m_audio->bit_rate = kAudioBitRate * channels;
    m_audio->time_base = AVRational{1, m_audio->sample_rate};
    if (!m_webm) m_audio->profile = FF_PROFILE_AAC_LOW;
    if (m_fmt->oformat->flags & AVFMT_GLOBALHEADER) m_audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int ret = avcodec_open2(m_audio, codec, nullptr);
    if (ret < 0) return ret;
    if (!(m_audioStream = avformat_new_stream(m_fmt, nullptr))) return AVERROR(ENOMEM);
    if ((ret = avcodec_parameters_from_context(m_audioStream->codecpar, m_audio)) < 0) return ret;
    m_audioStream->time_base = m_audio->time_base;

    if (!(m_samples = av_frame_alloc())) return AVERROR(ENOMEM);
    m_samples->format = m_audio->sample_fmt;
    m_samples->sample_rate = m_audio->sample_rate;
    m_samples->nb_samples = m_audio->frame_size > 0 ? m_audio->frame_size : 1024;
    if ((ret = av_channel_layout_copy(&m_samples->ch_layout, &m_audio->ch_layout)) < 0) return ret;
    if ((ret = av_frame_get_buffer(m_samples, 0)) < 0) return ret;
    return m_sound.Init(m_source, static_cast<int>(m_source.frames.size()), m_settings.fps,
                        m_audio->sample_rate);
}

int Encoder::SendVideo(int index) {
    int ret = av_frame_make_writable(m_picture);
    if (ret < 0) return ret;
    const GrayImage* frame = m_source.frames[static_cast<std::size_t>(index)].Get(m_scratch);
    if (!frame) return AVERROR(ENOMEM);
    const unsigned char* pixels = frame->GetData();
    const unsigned char white = Luma(255);
    for (int y = 0; y < m_picture->height; ++y) {
        unsigned char* dst =
            m_picture->data[0] + static_cast<std::ptrdiff_t>(y) * m_picture->linesize[0];
        if (y >= m_height) {
            std::memset(dst, white, static_cast<std::size_t>(m_picture->width));
            continue;
        }
        // Stored bottom-up: the top row of the picture is the last one.
        const unsigned char* src = pixels + static_cast<std::size_t>(m_height - 1 - y) * m_width;
        for (int x = 0; x < m_width; ++x) dst[x] = Luma(src[x]);
        for (int x = m_width; x < m_picture->width; ++x) dst[x] = white;
    }
    for (int plane = 1; plane < 3; ++plane)
        for (int y = 0; y < m_picture->height / 2; ++y)
            std::memset(m_picture->data[plane] +
                            static_cast<std::ptrdiff_t>(y) * m_picture->linesize[plane],
                        128, static_cast<std::size_t>(m_picture->width / 2));
    m_picture->pts = index;
    if ((ret = avcodec_send_frame(m_video, m_picture)) < 0) return ret;
    return Drain(m_video, m_videoStream);
}

// Encodes every whole codec frame of sound that is ready; with `last` the rest as well.
int Encoder::SendAudio(bool last) {
    const int size = m_samples->nb_samples;
    int ret = 0;
    for (;;) {
        const std::int64_t left = m_sound.Total() - m_audioPts;
        const std::int64_t ready = std::min(m_sound.Available(), left);
        if (ready <= 0 || (ready < size && !last)) break;
        const int count = static_cast<int>(std::min<std::int64_t>(ready, size));
        if ((ret = av_frame_make_writable(m_samples)) < 0) return ret;
        const float* in = m_sound.Take(count);
        const int channels = m_sound.Channels();
        if (m_audio->sample_fmt == AV_SAMPLE_FMT_S16) {
            auto* out = reinterpret_cast<std::int16_t*>(m_samples->data[0]);
            for (int i = 0; i < count * channels; ++i)
                out[i] = static_cast<std::int16_t>(std::clamp(in[i], -1.0f, 1.0f) * 32767.0f);
        } else if (m_audio->sample_fmt == AV_SAMPLE_FMT_FLTP) {
            for (int c = 0; c < channels; ++c) {
                auto* out = reinterpret_cast<float*>(m_samples->data[c]);
                for (int i = 0; i < count; ++i) out[i] = in[i * channels + c];
            }
        } else {
            std::memcpy(m_samples->data[0], in,
                        sizeof(float) * static_cast<std::size_t>(count * channels));
        }
        m_samples->nb_samples = count;
        m_samples->pts = m_audioPts;
        m_audioPts += count;
        ret = avcodec_send_frame(m_audio, m_samples);
        m_samples->nb_samples = size;
        if (ret < 0 || (ret = Drain(m_audio, m_audioStream)) < 0) return ret;
    }
    m_sound.Compact();
    if (last) {
        if ((ret = avcodec_send_frame(m_audio, nullptr)) < 0) return ret;
        return Drain(m_audio, m_audioStream);
    }
    return 0;
}

int Encoder::Drain(AVCodecContext* enc, AVStream* st) {
    for (;;) {
        int ret = avcodec_receive_packet(enc, m_packet);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return 0;
        if (ret < 0) return ret;
        // Every picture lasts one frame, the last one too.
        if (enc == m_video && m_packet->duration == 0) m_packet->duration = 1;
#if LIBAVFORMAT_VERSION_MAJOR < 60
        // Opus packets start before 0 by the pre-skip, which the WebM muxer writes as the codec
        // delay but (before FFmpeg 6) does not add to the block times: without this it shifts
        // every stream, and the pictures start late.
        if (enc == m_audio && m_webm) {
            m_packet->pts += enc->initial_padding;
            m_packet->dts += enc->initial_padding;
        }
#endif
        av_packet_rescale_ts(m_packet, enc->time_base, st->time_base);
        m_packet->stream_index = st->index;
        if ((ret = av_interleaved_write_frame(m_fmt, m_packet)) < 0) return ret;
    }
}

int Encoder::Failed(int ret, QString* error) {
    if (m_file.Errno() || ret == AVERROR(ENOSPC) || ret == AVERROR(EFBIG))
        *error = MovieTextWriteError(m_settings.outputPath);
    else if (ret == AVERROR_ENCODER_NOT_FOUND && !m_missingEncoder.isEmpty())
        *error = MovieTextNoEncoder(m_missingEncoder);
    else
        *error = MovieTextEncodeFailed(AvErrorText(ret));
    return MOVIE_FAILED;
}

int Encoder::Run(const MovieProgress& progress, QString* error) {
    int ret = Open();
    if (ret < 0) return Failed(ret, error);
    const int count = static_cast<int>(m_source.frames.size());
    for (int i = 0; i < count; ++i) {
        if (progress && !progress(i, count)) {
            *error = MovieTextCancelled(m_settings.outputPath);
            return MOVIE_CANCELLED;
        }
        if ((ret = SendVideo(i)) < 0) return Failed(ret, error);
        // A long stretch of track between two frames is converted in pieces, with Cancel
        // asked between them.
        if (m_audio) {
            ret = m_sound.FeedUpTo(i + 1, [&] { return !progress || progress(i, count); });
            if (ret == MovieSoundFeed::kStopped) {
                *error = MovieTextCancelled(m_settings.outputPath);
                return MOVIE_CANCELLED;
            }
            if (ret < 0 || (ret = SendAudio(false)) < 0) return Failed(ret, error);
        }
    }
    if ((ret = avcodec_send_frame(m_video, nullptr)) < 0 ||
        (ret = Drain(m_video, m_videoStream)) < 0)
        return Failed(ret, error);
    if (m_audio && ((ret = m_sound.Finish()) < 0 || (ret = SendAudio(true)) < 0))
        return Failed(ret, error);
    if ((ret = av_write_trailer(m_fmt)) < 0) return Failed(ret, error);
    avio_flush(m_io);
    if (m_io->error < 0) return Failed(m_io->error, error);
    if (!m_file.Commit()) return Failed(AVERROR(m_file.Errno()), error);
    return MOVIE_DONE;
}

}  // namespace

int WriteFfmpegMovie(const MovieSource& source, const MovieSettings& settings,
                     const MovieProgress& progress, QString* error) {
    // The program reports what went wrong itself; FFmpeg's chatter would only clutter a terminal.
    av_log_set_level(AV_LOG_QUIET);
    Encoder encoder(source, settings);
    return encoder.Run(progress, error);
}
