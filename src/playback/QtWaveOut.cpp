#include "playback/QtWaveOut.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QByteArray>
#include <QElapsedTimer>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <climits>

#include "document/RiffWave.h"

namespace {

bool ToAudioFormat(const std::vector<unsigned char>& block, QAudioFormat& out) {
    WaveFormatFields f;
    if (!ReadWaveFormat(block.data(), block.size(), f)) return false;
    if (f.formatTag != 1 || f.samplesPerSec == 0 || f.samplesPerSec > INT_MAX) return false;
    // The designed 8-bit mono track, or an imported one: 16-bit mono or stereo.
    if (f.channels == 1 && f.bitsPerSample == 8)
        out.setSampleFormat(QAudioFormat::UInt8);
    else if ((f.channels == 1 || f.channels == 2) && f.bitsPerSample == 16)
        out.setSampleFormat(QAudioFormat::Int16);
    else
        return false;
    out.setSampleRate(static_cast<int>(f.samplesPerSec));
    out.setChannelCount(f.channels);
    return true;
}

// Lives in the device's thread and owns the sink there. The sink runs in push mode with a
// small buffer so that a slice is heard promptly; a short timer keeps it fed. The sink's own
// room (bytesFree) only grows when the sound server's requests reach the client, which on a
// busy machine can take longer than the buffer lasts, so each tick also keeps the server up to
// kLeadMillis ahead of the time played; a reset drops all of it with the stream. After the
// slice comes one buffer of silence, so a slice shorter than the pre-buffer still starts and
// plays to its end.
class CSinkFeeder : public QObject {
  public:
    static constexpr int kLeadMillis = 250;

    void Init(const QAudioDevice& device, const QAudioFormat& format) {
        m_nAlign = format.bytesPerFrame();
        m_nRate = format.sampleRate() * m_nAlign;
        m_silence = QByteArray(256 * m_nAlign,
                               format.sampleFormat() == QAudioFormat::UInt8 ? char(128) : char(0));
        m_sink = new QAudioSink(device, format, this);
        m_sink->setBufferSize(Whole(
            std::max<qsizetype>(64, qsizetype(m_nRate) * CQtWaveOutSystem::kBufferMillis / 1000)));
        m_timer = new QTimer(this);
        m_timer->setTimerType(Qt::PreciseTimer);
        m_timer->setInterval(3);
        connect(m_timer, &QTimer::timeout, this, [this] { Feed(); });
    }
    bool TryOpen() {
        QIODevice* io = m_sink->start();
        const bool ok = io && m_sink->error() == QAudio::NoError;
        m_sink->stop();
        return ok;
    }
    bool Play(const unsigned char* data, qsizetype bytes) {
        Stop();
        m_io = m_sink->start();
        if (!m_io || m_sink->error() != QAudio::NoError) {
            Stop();
            return false;
        }
        m_pData = data;
        m_nLeft = bytes;
        m_nSilence = Whole(std::max<qsizetype>(m_sink->bufferSize(), 64));
        m_nWritten = 0;
        m_started.start();
        Feed();
        if (m_nLeft > 0 || m_nSilence > 0) m_timer->start();
        return true;
    }
    void Stop() {
        m_timer->stop();
        m_pData = nullptr;
        m_nLeft = 0;
        m_nSilence = 0;
        if (m_io) {
            m_io = nullptr;
            m_sink->stop();
        }
    }
    void Shutdown() {
        Stop();
        delete m_sink;
        m_sink = nullptr;
        delete m_timer;
        m_timer = nullptr;
    }

  private:
    void Feed() {
        if (!m_io) return;
        const QByteArray& silence = m_silence;
        const qint64 played = m_started.elapsed() * m_nRate / 1000;
        const qint64 lead = qint64(m_nRate) * kLeadMillis / 1000 - (m_nWritten - played);
        // Whole sample frames only: a stream of 16-bit stereo takes nothing else.
        qint64 room = Whole(std::max<qint64>(m_sink->bytesFree(), lead));
        while (room > 0 && (m_nLeft > 0 || m_nSilence > 0)) {
            qint64 written;
            if (m_nLeft > 0) {
                written =
                    m_io->write(reinterpret_cast<const char*>(m_pData), std::min(room, m_nLeft));
                if (written <= 0) break;
                m_pData += written;
                m_nLeft -= written;
            } else {
                written = m_io->write(silence.constData(),
                                      std::min<qint64>({room, m_nSilence, silence.size()}));
                if (written <= 0) break;
                m_nSilence -= written;
            }
            m_nWritten += written;
            room -= written;
        }
        if (m_nLeft == 0 && m_nSilence == 0) m_timer->stop();
    }

    qint64 Whole(qint64 bytes) const { return bytes - bytes % m_nAlign; }

    QAudioSink* m_sink = nullptr;
    QTimer* m_timer = nullptr;
    QByteArray m_silence;
    int m_nAlign = 1;  // bytes of one sample frame
    QIODevice* m_io = nullptr;
    QElapsedTimer m_started;
    int m_nRate = 0;  // bytes per second
    const unsigned char* m_pData = nullptr;
    qint64 m_nLeft = 0;
    qint64 m_nSilence = 0;
    qint64 m_nWritten = 0;
};

class CQtWaveOut : public IWaveOut {
  public:
    CQtWaveOut(const QAudioDevice& device, const QAudioFormat& format) {
        m_thread.setObjectName(QStringLiteral("Lumvane wave output"));
        m_thread.start();
        m_feeder.moveToThread(&m_thread);
        Call([&] { m_feeder.Init(device, format); });
    }
    ~CQtWaveOut() override {
        Call([this] { m_feeder.Shutdown(); });
        m_thread.quit();
        m_thread.wait();
    }
    bool TryOpen() {
        bool ok = false;
        Call([&] { ok = m_feeder.TryOpen(); });
        return ok;
    }
    bool Prepare(const unsigned char* data, std::size_t bytes) override {
        return data && bytes > 0 && bytes <= std::size_t(INT_MAX);
    }
    bool Play(const unsigned char* data, std::size_t bytes) override {
        if (!Prepare(data, bytes)) return false;
        bool ok = false;
        Call([&] { ok = m_feeder.Play(data, qsizetype(bytes)); });
        return ok;
    }
    void Reset() override {
        Call([this] { m_feeder.Stop(); });
    }

  private:
    // Runs f in the device's thread and waits for it: afterwards the feeder no longer holds
    // anything the caller is about to free.
    template <class F>
    void Call(F&& f) {
        QMetaObject::invokeMethod(&m_feeder, std::forward<F>(f), Qt::BlockingQueuedConnection);
    }

    QThread m_thread;
    CSinkFeeder m_feeder;
};

}  // namespace

bool CQtWaveOutSystem::Query(const std::vector<unsigned char>& block) {
    QAudioFormat format;
    if (!ToAudioFormat(block, format)) return false;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    return !device.isNull() && device.isFormatSupported(format);
}

std::unique_ptr<IWaveOut> CQtWaveOutSystem::Open(const std::vector<unsigned char>& block) {
    QAudioFormat format;
    if (!ToAudioFormat(block, format)) return nullptr;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || !device.isFormatSupported(format)) return nullptr;
    auto out = std::make_unique<CQtWaveOut>(device, format);
    if (!out->TryOpen()) return nullptr;
    return out;
}

IWaveOutSystem& QtWaveOutSystem() {
    static CQtWaveOutSystem system;
    return system;
}
