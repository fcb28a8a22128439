#include "document/WaveFile.h"

#include <climits>
#include <cstring>
#include <new>

#include "document/RiffWave.h"

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

bool HasWaveExtension(const QString& path) {
    return path.size() >= 5 && path.endsWith(QStringLiteral(".wav"), Qt::CaseSensitive);
}

bool CWaveFileBytes::Open(const QString& path) {
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) return false;
    const qint64 size = m_file.size();
    if (size <= 0) return true;
    if (uchar* p = m_file.map(0, size)) {
        m_pData = p;
        m_nSize = static_cast<std::size_t>(size);
        return true;
    }
    m_copy = m_file.readAll();
    if (m_copy.size() != size) return false;
    m_pData = reinterpret_cast<const unsigned char*>(m_copy.constData());
    m_nSize = static_cast<std::size_t>(m_copy.size());
    return true;
}

bool ReadWaveTrack(const QString& path, WaveTrack& track, QString* error) {
    QString ignored;
    QString& text = error ? *error : ignored;
    if (!HasWaveExtension(path)) {
        text = WaveTextBadExtension();
        return false;
    }
    CWaveFileBytes file;
    if (!file.Open(path)) {
        text = WaveTextCannotOpen();
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
    std::unique_ptr<unsigned char[]> samples(new (std::nothrow) unsigned char[wave.dataSize]);
    if (!samples) {
        text = WaveTextCorrupt();
        return false;
    }
    std::memcpy(samples.get(), file.Data() + wave.dataOffset, wave.dataSize);
    track.format.assign(file.Data() + wave.fmtOffset, file.Data() + wave.fmtOffset + wave.fmtSize);
    track.samples = std::move(samples);
    track.bytes = static_cast<std::int64_t>(wave.dataSize);
    track.rate = static_cast<int>(f.samplesPerSec);
    text.clear();
    return true;
}
