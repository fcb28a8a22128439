#include "playback/QtWaveOut.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <climits>

#include "playback/RiffWave.h"

namespace {

bool ToAudioFormat(const std::vector<unsigned char>& block, QAudioFormat& out) {
    WaveFormatFields f;
    if (!ReadWaveFormat(block.data(), block.size(), f)) return false;
    if (f.formatTag != 1 || f.channels != 1 || f.bitsPerSample != 8) return false;
    if (f.samplesPerSec == 0 || f.samplesPerSec > INT_MAX) return false;
    out.setSampleRate(static_cast<int>(f.samplesPerSec));
    out.setChannelCount(1);
    out.setSampleFormat(QAudioFormat::UInt8);
    return true;
}

// Lives in the device's thread and owns the sink there. The sink runs in push mode: a short
// timer writes no more than the sink has room for, then one buffer of silence so that a slice
// shorter than the sink's pre-buffer still starts and plays to its end.
class CSinkFeeder : public QObject {
  public:
    void Init(const QAudioDevice& device, const QAudioFormat& format) {
        m_sink = new QAudioSink(device, format, this);
        const qsizetype bytes = std::max<qsizetype>(
            64, qsizetype(format.sampleRate()) * CQtWaveOutSystem::kBufferMillis / 1000);
        m_sink->setBufferSize(bytes);
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
        m_nSilence = std::max<qsizetype>(m_sink->bufferSize(), 64);
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
        static const char silence[256] = {
#define S8 char(128), char(128), char(128), char(128), char(128), char(128), char(128), char(128)
#define S64 S8, S8, S8, S8, S8, S8, S8, S8
            S64, S64, S64, S64
#undef S64
#undef S8
        };
        qsizetype room = m_sink->bytesFree();
        while (room > 0 && (m_nLeft > 0 || m_nSilence > 0)) {
            qint64 written;
            if (m_nLeft > 0) {
                written =
                    m_io->write(reinterpret_cast<const char*>(m_pData), std::min(room, m_nLeft));
                if (written <= 0) break;
                m_pData += written;
                m_nLeft -= written;
            } else {
                const qsizetype n = std::min({room, m_nSilence, qsizetype(sizeof silence)});
                written = m_io->write(silence, n);
                if (written <= 0) break;
                m_nSilence -= written;
            }
            room -= written;
        }
        if (m_nLeft == 0 && m_nSilence == 0) m_timer->stop();
    }

    QAudioSink* m_sink = nullptr;
    QTimer* m_timer = nullptr;
    QIODevice* m_io = nullptr;
    const unsigned char* m_pData = nullptr;
    qsizetype m_nLeft = 0;
    qsizetype m_nSilence = 0;
};

class CQtWaveOut : public IWaveOut {
  public:
    CQtWaveOut(const QAudioDevice& device, const QAudioFormat& format) {
        m_thread.setObjectName(QStringLiteral("Lumvane wave output"));
        m_thread.start(QThread::TimeCriticalPriority);
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
