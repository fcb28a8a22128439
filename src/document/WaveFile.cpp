#include "document/WaveFile.h"

#include <QFile>
#include <climits>
#include <cstring>
#include <limits>
#include <new>

#include "document/RiffWave.h"
#include "framework/RegularFile.h"

QString WaveTextBadExtension() {
    return QStringLiteral("Invalid Audio File extension");
}
QString WaveTextCannotOpen() {
    return QStringLiteral("Could not open audio file!");
}
QString WaveTextNotWave() {
    return QStringLiteral("Incorrect audio file format!");
}
QString WaveTextCorrupt() {
    return QStringLiteral("Corrupt audio file!");
}
QString WaveTextUnsupported() {
    return QStringLiteral(
        "Unsupported audio file!\n(8bit Mono PCM or Radio Quality in Sound Recorder Supported)");
}
QString WaveTextNoDevice() {
    return QStringLiteral("There are no audio devices to play this sound!");
}
QString WaveTextEmpty() {
    return QStringLiteral("Empty audio file!");
}
QString WaveTextDeviceFailed() {
    return QStringLiteral("Could not open the audio device!");
}
QString WaveTextNoMemory() {
    return QStringLiteral("Not enough memory to load the sound track.");
}

bool HasWaveExtension(const QString& path) {
    return path.size() >= 5 && path.endsWith(QStringLiteral(".wav"), Qt::CaseSensitive);
}

CWaveFileBytes::Result CWaveFileBytes::Open(const QString& path) {
    // A FIFO or a device is no sound file, and opening one must not wait for a writer.
    QFile file;
    if (AfxOpenRegularFile(file, path) != RegularFileOpen::Opened) return CannotOpen;
    return Read(file);
}

CWaveFileBytes::Result CWaveFileBytes::Read(QIODevice& device) {
    m_pData.reset();
    m_nSize = 0;
    const qint64 size = device.size();
    if (size <= 0) return Ok;
    if (static_cast<quint64>(size) > std::numeric_limits<std::size_t>::max()) return NoMemory;
    const auto n = static_cast<std::size_t>(size);
    std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[n]);
    if (!data) return NoMemory;
    std::size_t done = 0;
    while (done < n) {
        const qint64 got =
            device.read(reinterpret_cast<char*>(data.get() + done), static_cast<qint64>(n - done));
        if (got <= 0) return ReadFailed;  // an error, or the file ended early (it shrank)
        done += static_cast<std::size_t>(got);
    }
    m_pData = std::move(data);
    m_nSize = n;
    return Ok;
}

std::unique_ptr<unsigned char[]> CWaveFileBytes::TakeRange(std::size_t offset, std::size_t count) {
    if (offset > m_nSize || count > m_nSize - offset) return nullptr;
    if (offset > 0 && count > 0) std::memmove(m_pData.get(), m_pData.get() + offset, count);
    m_nSize = 0;
    return std::move(m_pData);
}

QString WaveReadText(CWaveFileBytes::Result result) {
    switch (result) {
        case CWaveFileBytes::CannotOpen:
            return WaveTextCannotOpen();
        case CWaveFileBytes::ReadFailed:
            return WaveTextCorrupt();
        case CWaveFileBytes::NoMemory:
            return WaveTextNoMemory();
        default:
            return QString();
    }
}

bool ReadWaveTrack(const QString& path, WaveTrack& track, QString* error) {
    QString ignored;
    QString& text = error ? *error : ignored;
    if (!HasWaveExtension(path)) {
        text = WaveTextBadExtension();
        return false;
    }
    CWaveFileBytes file;
    if (const CWaveFileBytes::Result r = file.Open(path); r != CWaveFileBytes::Ok) {
        text = WaveReadText(r);
        return false;
    }
    const WaveLayout wave = ParseWave(file.Data(), file.Size());
    WaveFormatFields f;
    switch (wave.format) {
        case WaveCheck::Ok:
            ReadWaveFormat(file.Data() + wave.fmtOffset, wave.fmtSize, f);
            if (f.samplesPerSec == 0 || f.samplesPerSec > INT_MAX) {
                text = WaveTextUnsupported();
                return false;
            }
            break;
        case WaveCheck::NotWave:
            text = WaveTextNotWave();
            return false;
        case WaveCheck::Unsupported:
            text = WaveTextUnsupported();
            return false;
        default:
            text = WaveTextCorrupt();
            return false;
    }
    switch (wave.data) {
        case WaveCheck::Ok:
            break;
        case WaveCheck::Empty:
            text = WaveTextEmpty();
            return false;
        case WaveCheck::Unsupported:
            text = WaveTextUnsupported();
            return false;
        default:
            text = WaveTextCorrupt();
            return false;
    }
    track.format.assign(file.Data() + wave.fmtOffset, file.Data() + wave.fmtOffset + wave.fmtSize);
    track.samples = file.TakeRange(wave.dataOffset, wave.dataSize);
    track.bytes = static_cast<std::int64_t>(wave.dataSize);
    track.rate = static_cast<int>(f.samplesPerSec);
    text.clear();
    return true;
}
