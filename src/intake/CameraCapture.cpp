#include "intake/CameraCapture.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "framework/WinApp.h"
#include "intake/ImageImport.h"
#include "intake/SoundImport.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

QString CaptureTextNoCamera() {
    return QStringLiteral(
        "No camera was found. Connect one, or choose a video file in Frames > Capture "
        "Settings.");
}
QString CaptureTextBusy(const QString& name) {
    return QStringLiteral("%1 is in use by another program.").arg(name);
}
QString CaptureTextCannotOpen(const QString& name, const QString& why) {
    return QStringLiteral("%1 could not be opened: %2.").arg(name, why);
}
QString CaptureTextNoGray(const QString& name) {
    return QStringLiteral("%1 offers no picture format that can be made gray.").arg(name);
}
QString CaptureTextStopped(const QString& name, const QString& why) {
    return QStringLiteral("%1 stopped sending pictures: %2. The frames shot so far are kept.")
        .arg(name, why);
}
QString CaptureTextCapturing(const QString& name) {
    return QStringLiteral("Capturing from %1: Space shoots, Escape ends").arg(name);
}
QString CaptureTextFull() {
    return QStringLiteral("An animation holds at most 500 frames: no more can be shot.");
}

namespace {
const QString kSection = QStringLiteral("Capture");

QString Get(const char* key, const QString& fallback = QString()) {
    CWinApp* app = AfxGetApp();
    return app ? app->GetProfileString(kSection, QString::fromLatin1(key), fallback) : fallback;
}
int GetInt(const char* key, int fallback) {
    CWinApp* app = AfxGetApp();
    return app ? app->GetProfileInt(kSection, QString::fromLatin1(key), fallback) : fallback;
}
void Put(const char* key, const QString& value) {
    if (CWinApp* app = AfxGetApp())
        app->WriteProfileString(kSection, QString::fromLatin1(key), value);
}
void PutInt(const char* key, int value) {
    if (CWinApp* app = AfxGetApp()) app->WriteProfileInt(kSection, QString::fromLatin1(key), value);
}

int Xioctl(int fd, unsigned long request, void* arg) {
    int r;
    do r = ioctl(fd, request, arg);
    while (r < 0 && errno == EINTR);
    return r;
}
}  // namespace

CaptureSettings LoadCaptureSettings() {
    CaptureSettings s;
    s.device = Get("Device");
    s.source = Get("Source");
    s.size = QSize(GetInt("Width", 0), GetInt("Height", 0));
    if (s.size.width() <= 0 || s.size.height() <= 0) s.size = QSize();
    s.fps = std::clamp(GetInt("Rate", 0), 0, 1000);
    const int r = GetInt("Rotate", 0);
    s.rotate = (r == 90 || r == 180 || r == 270) ? r : 0;
    s.mirror = GetInt("Mirror", 0) != 0;
    s.autoLevels = GetInt("Levels", 1) != 0;
    s.dropColour = GetInt("DropColour", 0) != 0;
    const int fit = GetInt("Fit", 0);
    s.fit = fit == 1 ? FitMode::Cover : fit == 2 ? FitMode::None : FitMode::Inside;
    const QStringList crop = Get("Crop").split(QLatin1Char(','));
    if (crop.size() == 4) {
        int v[4];
        bool ok = true;
        for (int i = 0; i < 4 && ok; ++i) v[i] = crop[i].trimmed().toInt(&ok);
        if (ok && v[2] > 0 && v[3] > 0 && v[0] >= 0 && v[1] >= 0)
            s.crop = QRect(v[0], v[1], v[2], v[3]);
    }
    return s;
}

void SaveCaptureSettings(const CaptureSettings& s) {
    Put("Device", s.device);
    Put("Source", s.source);
    PutInt("Width", s.size.isValid() ? s.size.width() : 0);
    PutInt("Height", s.size.isValid() ? s.size.height() : 0);
    PutInt("Rate", s.fps);
    PutInt("Rotate", s.rotate);
    PutInt("Mirror", s.mirror ? 1 : 0);
    PutInt("Levels", s.autoLevels ? 1 : 0);
    PutInt("DropColour", s.dropColour ? 1 : 0);
    PutInt("Fit", s.fit == FitMode::Cover ? 1 : s.fit == FitMode::None ? 2 : 0);
    Put("Crop", s.crop.isEmpty() ? QString()
                                 : QStringLiteral("%1,%2,%3,%4")
                                       .arg(s.crop.x())
                                       .arg(s.crop.y())
                                       .arg(s.crop.width())
                                       .arg(s.crop.height()));
}

std::vector<CameraDevice> ListCameras(const QString& root) {
    std::vector<CameraDevice> found;
    QDir dir(root);
    QStringList names = dir.entryList({QStringLiteral("video*")},
                                      QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(), NaturalLess);
    for (const QString& n : names) {
        const QString path = dir.filePath(n);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK);
        if (fd < 0) continue;
        v4l2_capability cap{};
        const bool ok = Xioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
        ::close(fd);
        if (!ok) continue;
        const std::uint32_t caps =
            (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        // Metadata nodes of the same camera come as devices too; only pictures count.
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE)) continue;
        found.push_back({path, QString::fromUtf8(reinterpret_cast<const char*>(cap.card))});
    }
    return found;
}

std::vector<CameraMode> CameraModes(const QString& path) {
    std::vector<CameraMode> modes;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK);
    if (fd < 0) return modes;
    v4l2_fmtdesc fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (fmt.index = 0; Xioctl(fd, VIDIOC_ENUM_FMT, &fmt) == 0; ++fmt.index) {
        v4l2_frmsizeenum size{};
        size.pixel_format = fmt.pixelformat;
        for (size.index = 0; Xioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
            if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE) break;
            const QSize s(static_cast<int>(size.discrete.width),
                          static_cast<int>(size.discrete.height));
            auto it = std::find_if(modes.begin(), modes.end(),
                                   [&](const CameraMode& m) { return m.size == s; });
            if (it == modes.end()) it = modes.insert(modes.end(), CameraMode{s, {}});
            v4l2_frmivalenum ival{};
            ival.pixel_format = fmt.pixelformat;
            ival.width = size.discrete.width;
            ival.height = size.discrete.height;
            for (ival.index = 0; Xioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &ival) == 0; ++ival.index) {
                if (ival.type != V4L2_FRMIVAL_TYPE_DISCRETE || ival.discrete.numerator == 0) break;
                const int fps =
                    static_cast<int>(ival.discrete.denominator / ival.discrete.numerator);
                if (fps > 0 && std::find(it->fps.begin(), it->fps.end(), fps) == it->fps.end())
                    it->fps.push_back(fps);
            }
            std::sort(it->fps.rbegin(), it->fps.rend());
        }
    }
    ::close(fd);
    std::sort(modes.begin(), modes.end(), [](const CameraMode& a, const CameraMode& b) {
        return std::int64_t{a.size.width()} * a.size.height() >
               std::int64_t{b.size.width()} * b.size.height();
    });
    return modes;
}

bool TurnPicture(const GrayPlane& in, int rotate, bool mirror, const QRect& crop, GrayPlane& out) {
    const bool quarter = rotate == 90 || rotate == 270;
    const int tw = quarter ? in.height : in.width;
    const int th = quarter ? in.width : in.height;
    QRect area(0, 0, tw, th);
    if (!crop.isEmpty()) area &= crop;
    if (area.isEmpty()) area = QRect(0, 0, tw, th);
    if (!out.Create(area.width(), area.height())) return false;
    const int W = in.width, H = in.height;
    for (int y = 0; y < area.height(); ++y) {
        unsigned char* dst = out.Row(y);
        const int ty = area.y() + y;
        for (int x = 0; x < area.width(); ++x) {
            int tx = area.x() + x;
            if (mirror) tx = tw - 1 - tx;
            int sx, sy;
            switch (rotate) {
                case 90:  // the picture's left edge becomes its top
                    sx = ty;
                    sy = H - 1 - tx;
                    break;
                case 180:
                    sx = W - 1 - tx;
                    sy = H - 1 - ty;
                    break;
                case 270:
                    sx = W - 1 - ty;
                    sy = tx;
                    break;
                default:
                    sx = tx;
                    sy = ty;
            }
            dst[x] = in.Row(sy)[sx];
        }
    }
    return true;
}

bool CleanCameraPicture(const GrayPlane& picture, const CaptureSettings& settings,
                        GrayImage& frame) {
    GrayPlane turned;
    const GrayPlane* use = &picture;
    if (settings.rotate != 0 || settings.mirror || !settings.crop.isEmpty()) {
        if (!TurnPicture(picture, settings.rotate, settings.mirror, settings.crop, turned))
            return false;
        use = &turned;
    }
    // Exactly the clean-up and fit of Import Drawings.
    ImportOptions options;
    options.fit = settings.fit;
    options.autoLevels = settings.autoLevels;
    options.dropColour = settings.dropColour;
    return CleanIntoFrame(*use, options, frame) != 0;
}

// The FFmpeg side of a source: demuxer, decoder and converter of one open camera or file.
struct CCameraSource::Reader {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* sws = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    bool file = false;
    ~Reader() {
        sws_freeContext(sws);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
};

CCameraSource::CCameraSource(const CaptureSettings& settings, const QSize& frameSize,
                             std::function<void()> notify, const QString& deviceRoot)
    : m_settings(settings),
      m_frameSize(frameSize),
      m_notify(std::move(notify)),
      m_deviceRoot(deviceRoot) {}

CCameraSource::~CCameraSource() {
    Stop();
}

bool CCameraSource::Start(QString& error) {
    Stop();
    m_stop = false;
    m_error.clear();
    auto r = std::make_unique<Reader>();
    r->file = !m_settings.source.isEmpty();
    QString path = m_settings.source;
    const AVInputFormat* input = nullptr;
    AVDictionary* options = nullptr;
    if (r->file) {
        m_name = QFileInfo(path).fileName();
    } else {
        const std::vector<CameraDevice> cameras = ListCameras(m_deviceRoot);
        auto it = std::find_if(cameras.begin(), cameras.end(),
                               [&](const CameraDevice& c) { return c.path == m_settings.device; });
        if (cameras.empty()) {
            error = CaptureTextNoCamera();
            return false;
        }
        if (it == cameras.end()) it = cameras.begin();
        path = it->path;
        m_name = it->name.isEmpty() ? path : it->name;
        static std::once_flag registered;
        std::call_once(registered, [] { avdevice_register_all(); });
        input = av_find_input_format("video4linux2");
        if (m_settings.size.isValid())
            av_dict_set(&options, "video_size",
                        QStringLiteral("%1x%2")
                            .arg(m_settings.size.width())
                            .arg(m_settings.size.height())
                            .toLatin1()
                            .constData(),
                        0);
        if (m_settings.fps > 0)
            av_dict_set(&options, "framerate", QByteArray::number(m_settings.fps).constData(), 0);
    }
    const int opened =
        avformat_open_input(&r->format, QFile::encodeName(path).constData(), input, &options);
    av_dict_free(&options);
    if (opened < 0) {
        error = opened == AVERROR(EBUSY) ? CaptureTextBusy(m_name)
                                         : CaptureTextCannotOpen(m_name, AvErrorText(opened));
        return false;
    }
    if (avformat_find_stream_info(r->format, nullptr) < 0 ||
        (r->stream = av_find_best_stream(r->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)) < 0) {
        error = CaptureTextCannotOpen(m_name, QStringLiteral("it holds no pictures"));
        return false;
    }
    const AVCodecParameters* par = r->format->streams[r->stream]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    if (!decoder || !(r->codec = avcodec_alloc_context3(decoder)) ||
        avcodec_parameters_to_context(r->codec, par) < 0 ||
        avcodec_open2(r->codec, decoder, nullptr) < 0) {
        error = CaptureTextNoGray(m_name);
        return false;
    }
    const auto pix = static_cast<AVPixelFormat>(par->format);
    if (pix != AV_PIX_FMT_NONE && !sws_isSupportedInput(pix)) {
        error = CaptureTextNoGray(m_name);
        return false;
    }
    r->packet = av_packet_alloc();
    r->frame = av_frame_alloc();
    if (!r->packet || !r->frame) {
        error = ImportTextNoMemory(1, m_frameSize.width(), m_frameSize.height());
        return false;
    }
    m_reader = std::move(r);
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CCameraSource::Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    m_reader.reset();
}

bool CCameraSource::TakeLatest(GrayImage& frame, std::uint64_t& seq, std::int64_t& number) {
    std::lock_guard lock(m_mutex);
    if (m_seq == seq || !m_latest.GetData()) return false;
    frame.Swap(m_latest);
    seq = m_seq;
    number = m_number;
    return true;
}

bool CCameraSource::Failed(QString& error) const {
    std::lock_guard lock(m_mutex);
    error = m_error;
    return !m_error.isEmpty();
}

void CCameraSource::Publish(GrayImage& picture, std::int64_t number) {
    {
        std::lock_guard lock(m_mutex);
        m_latest.Swap(picture);
        ++m_seq;
        m_number = number;
    }
    if (m_notify) m_notify();
}

void CCameraSource::Fail(const QString& error) {
    {
        std::lock_guard lock(m_mutex);
        m_error = error;
    }
    if (m_notify) m_notify();
}

void CCameraSource::Run() {
    Reader& r = *m_reader;
    const AVRational base = r.format->streams[r.stream]->time_base;
    using Clock = std::chrono::steady_clock;
    Clock::time_point start{};
    bool started = false;
    std::int64_t number = 0;
    GrayPlane gray;
    std::vector<unsigned char> rgba;
    GrayImage work;
    // Waits until the picture's time in the file has come; false when stopped meanwhile.
    auto pace = [&](std::int64_t pts) {
        if (!r.file || pts == AV_NOPTS_VALUE) return !m_stop;
        const auto at = std::chrono::microseconds(av_rescale_q(pts, base, AVRational{1, 1000000}));
        if (!started) {
            start = Clock::now() - at;
            started = true;
        }
        const Clock::time_point due = start + at;
        while (!m_stop && Clock::now() < due)
            std::this_thread::sleep_for(
                std::min<Clock::duration>(due - Clock::now(), std::chrono::milliseconds(5)));
        return !m_stop;
    };
    auto handle = [&](AVFrame* f) -> bool {
        if (!pace(f->best_effort_timestamp)) return false;
        const int w = f->width, h = f->height;
        const auto pix = static_cast<AVPixelFormat>(f->format);
        if (w <= 0 || h <= 0) return true;
        if (!sws_isSupportedInput(pix)) {
            Fail(CaptureTextNoGray(m_name));
            return false;
        }
        const AVPixelFormat to = m_settings.dropColour ? AV_PIX_FMT_RGBA : AV_PIX_FMT_GRAY8;
        r.sws =
            sws_getCachedContext(r.sws, w, h, pix, w, h, to, SWS_POINT, nullptr, nullptr, nullptr);
        if (!r.sws || !gray.Create(w, h) ||
            (!work.GetData() && !work.Create(m_frameSize.width(), m_frameSize.height()))) {
            Fail(CaptureTextStopped(m_name, QStringLiteral("out of memory")));
            return false;
        }
        if (m_settings.dropColour) {
            rgba.resize(static_cast<std::size_t>(w) * h * 4);
            std::uint8_t* dst[4] = {rgba.data(), nullptr, nullptr, nullptr};
            int stride[4] = {w * 4, 0, 0, 0};
            sws_scale(r.sws, f->data, f->linesize, 0, h, dst, stride);
            RgbaView view;
            view.data = rgba.data();
            view.width = w;
            view.height = h;
            view.stride = static_cast<std::size_t>(w) * 4;
            GrayFromRgba(view, true, EstimatePaperColour(view), gray);
        } else {
            std::uint8_t* dst[4] = {gray.pixels.data(), nullptr, nullptr, nullptr};
            int stride[4] = {w, 0, 0, 0};
            sws_scale(r.sws, f->data, f->linesize, 0, h, dst, stride);
        }
        if (!CleanCameraPicture(gray, m_settings, work)) {
            Fail(CaptureTextStopped(m_name, QStringLiteral("out of memory")));
            return false;
        }
        Publish(work, number++);
        return !m_stop;
    };
    while (!m_stop) {
        const int read = av_read_frame(r.format, r.packet);
        if (read == AVERROR(EAGAIN)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        if (read == AVERROR_EOF && r.file) {
            // A file stands in for a camera that goes on: it plays again from its start.
            avcodec_send_packet(r.codec, nullptr);
            while (avcodec_receive_frame(r.codec, r.frame) == 0) {
                const bool go = handle(r.frame);
                av_frame_unref(r.frame);
                if (!go) return;
            }
            avcodec_flush_buffers(r.codec);
            if (av_seek_frame(r.format, r.stream, 0, AVSEEK_FLAG_BACKWARD) < 0) {
                Fail(CaptureTextStopped(m_name, QStringLiteral("the file cannot be read again")));
                return;
            }
            started = false;
            number = 0;
            continue;
        }
        if (read < 0) {
            Fail(CaptureTextStopped(m_name, AvErrorText(read)));
            return;
        }
        if (r.packet->stream_index != r.stream) {
            av_packet_unref(r.packet);
            continue;
        }
        const int sent = avcodec_send_packet(r.codec, r.packet);
        av_packet_unref(r.packet);
        if (sent < 0 && sent != AVERROR(EAGAIN)) continue;  // a damaged picture is skipped
        while (avcodec_receive_frame(r.codec, r.frame) == 0) {
            const bool go = handle(r.frame);
            av_frame_unref(r.frame);
            if (!go) return;
        }
    }
}
