#include "export/MovieProbe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

struct Decoder {
    AVCodecContext* ctx = nullptr;
    ~Decoder() { avcodec_free_context(&ctx); }
};

bool OpenDecoder(AVStream* st, Decoder& d, ProbedStream& s, std::string& error) {
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (codec && (d.ctx = avcodec_alloc_context3(codec)) &&
        avcodec_parameters_to_context(d.ctx, st->codecpar) >= 0) {
        // As players do: the decoder moves the start past the encoder's priming samples.
        d.ctx->pkt_timebase = st->time_base;
        if (avcodec_open2(d.ctx, codec, nullptr) < 0) codec = nullptr;
    }
    if (!codec || !d.ctx) {
        error = "no decoder for stream " + std::to_string(st->index);
        return false;
    }
    const AVCodecParameters* p = st->codecpar;
    s.present = true;
    s.codec = avcodec_get_name(p->codec_id);
    s.timeBaseNum = st->time_base.num;
    s.timeBaseDen = st->time_base.den;
    s.rateNum = st->avg_frame_rate.num;
    s.rateDen = st->avg_frame_rate.den;
    s.width = p->width;
    s.height = p->height;
    s.range = p->color_range;
    s.primaries = p->color_primaries;
    s.transfer = p->color_trc;
    s.matrix = p->color_space;
    const char* pf = av_get_pix_fmt_name(static_cast<AVPixelFormat>(p->format));
    s.pixelFormat = p->codec_type == AVMEDIA_TYPE_VIDEO && pf ? pf : "";
    s.sampleRate = p->sample_rate;
    s.channels = p->ch_layout.nb_channels;
    s.frameSize = p->frame_size;
    s.profile = p->profile;
    s.firstPts = AV_NOPTS_VALUE;
    return true;
}

// Gray values of a decoded picture, top row first.
bool PictureToGray(const AVFrame* f, std::vector<unsigned char>& out) {
    out.resize(static_cast<std::size_t>(f->width) * f->height);
    for (int y = 0; y < f->height; ++y) {
        const unsigned char* row = f->data[0] + static_cast<std::ptrdiff_t>(y) * f->linesize[0];
        unsigned char* dst = out.data() + static_cast<std::size_t>(y) * f->width;
        for (int x = 0; x < f->width; ++x) {
            switch (f->format) {
                case AV_PIX_FMT_YUV420P: {
                    // Limited range back to 0..255.
                    const int v = ((row[x] - 16) * 255 + 109) / 219;
                    dst[x] = static_cast<unsigned char>(std::clamp(v, 0, 255));
                    break;
                }
                case AV_PIX_FMT_GRAY8:
                    dst[x] = row[x];
                    break;
                case AV_PIX_FMT_PAL8: {
                    std::uint32_t argb;
                    std::memcpy(&argb, f->data[1] + 4 * row[x], 4);
                    dst[x] = static_cast<unsigned char>(argb & 0xFF);
                    break;
                }
                case AV_PIX_FMT_BGRA:
                case AV_PIX_FMT_RGBA:
                    dst[x] = row[4 * x + 1];  // green: all three are equal for grays
                    break;
                default:
                    return false;
            }
        }
    }
    return true;
}

bool AppendSamples(const AVFrame* f, std::vector<float>& out) {
    for (int i = 0; i < f->nb_samples; ++i) {
        switch (f->format) {
            case AV_SAMPLE_FMT_FLT:
            case AV_SAMPLE_FMT_FLTP:
                out.push_back(reinterpret_cast<const float*>(f->data[0])[i]);
                break;
            case AV_SAMPLE_FMT_S16:
            case AV_SAMPLE_FMT_S16P:
                out.push_back(reinterpret_cast<const std::int16_t*>(f->data[0])[i] / 32768.0f);
                break;
            default:
                return false;
        }
    }
    return true;
}

}  // namespace

ProbedMovie ProbeMovie(const std::string& path) {
    av_log_set_level(AV_LOG_QUIET);
    ProbedMovie m;
    AVFormatContext* fmt = nullptr;
    AVDictionary* options = nullptr;
    // Short GIF delays as they are written, not as browsers stretch them.
    av_dict_set(&options, "min_delay", "0", 0);
    const int opened = avformat_open_input(&fmt, path.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        m.error = "cannot open " + path;
        return m;
    }
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> hold(
        fmt, [](AVFormatContext* f) { avformat_close_input(&f); });
    if (avformat_find_stream_info(fmt, nullptr) < 0) {
        m.error = "no stream info";
        return m;
    }
    Decoder video, audio;
    int videoIndex = -1, audioIndex = -1;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        AVStream* st = fmt->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && videoIndex < 0) {
            if (!OpenDecoder(st, video, m.video, m.error)) return m;
            videoIndex = static_cast<int>(i);
        } else if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && audioIndex < 0) {
            if (!OpenDecoder(st, audio, m.audio, m.error)) return m;
            audioIndex = static_cast<int>(i);
        }
    }
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto receive = [&](Decoder& d, ProbedStream& s, bool isVideo) {
        while (avcodec_receive_frame(d.ctx, frame) >= 0) {
            if (s.firstPts == AV_NOPTS_VALUE) s.firstPts = frame->best_effort_timestamp;
            if (isVideo) {
                m.frames.emplace_back();
                if (!PictureToGray(frame, m.frames.back()))
                    m.error = std::string("picture format ") +
                              av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format));
            } else if (!AppendSamples(frame, m.samples)) {
                m.error = "sample format " + std::to_string(frame->format);
            }
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        const bool isVideo = pkt->stream_index == videoIndex;
        if (isVideo || pkt->stream_index == audioIndex) {
            ProbedStream& s = isVideo ? m.video : m.audio;
            Decoder& d = isVideo ? video : audio;
            s.durations.push_back(pkt->duration);
            if (pkt->pts != AV_NOPTS_VALUE) s.end = std::max(s.end, pkt->pts + pkt->duration);
            if (avcodec_send_packet(d.ctx, pkt) < 0) m.error = "decoding failed";
            receive(d, s, isVideo);
        }
        av_packet_unref(pkt);
    }
    if (videoIndex >= 0) {
        avcodec_send_packet(video.ctx, nullptr);
        receive(video, m.video, true);
    }
    if (audioIndex >= 0) {
        avcodec_send_packet(audio.ctx, nullptr);
        receive(audio, m.audio, false);
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    return m;
}
