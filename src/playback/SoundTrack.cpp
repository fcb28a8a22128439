#include <QByteArray>
#include <QFile>
#include <cstring>
#include <new>

#include "document/LumvaneDoc.h"
#include "framework/Ui.h"
#include "playback/Playback.h"
#include "playback/RiffWave.h"

namespace {

const QString kTextBadExtension = QStringLiteral("Invalid Audio File extension");
const QString kTextCannotOpen = QStringLiteral("Could not open audio file!");
const QString kTextNotWave = QStringLiteral("Incorrect audio file format!");
const QString kTextCorrupt = QStringLiteral("Corrupt audio file!");
const QString kTextUnsupported = QStringLiteral(
    "Unsupported audio file!\n(8bit Mono PCM or Radio Quality in Sound Recorder Supported)");
const QString kTextNoDevice = QStringLiteral("There are no audio devices to play this sound!");
const QString kTextEmpty = QStringLiteral("Empty audio file!");
const QString kTextDeviceFailed = QStringLiteral("Could not open the audio device!");

void Report(const QString& text) {
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
}

// The whole file as one byte range: mapped when possible, read otherwise.
class CFileBytes {
  public:
    bool Open(const QString& path) {
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
    const unsigned char* Data() const { return m_pData; }
    std::size_t Size() const { return m_nSize; }

  private:
    QFile m_file;
    QByteArray m_copy;
    const unsigned char* m_pData = nullptr;
    std::size_t m_nSize = 0;
};

}  // namespace

void OnAudioLoad(CLumvaneDoc& doc, IWaveOutSystem& waveOut) {
    FileDialogRequest request;
    request.open = true;
    request.title = QStringLiteral("Select an audio file");
    request.filter = QStringLiteral("Audio Files (*.wav)");
    request.defaultExt = QStringLiteral(".wav");
    request.mustExist = true;
    const QString path = AfxUi().FileDialog(request);
    if (path.isEmpty()) return;

    doc.m_bSoundLoaded = 0;
    doc.UpdateAllViews(nullptr, HINT_VIEWS);
    doc.m_szSoundPath = path;

    if (path.size() < 5 || !path.endsWith(QStringLiteral(".wav"), Qt::CaseSensitive)) {
        Report(kTextBadExtension);
        return;
    }
    CFileBytes file;
    if (!file.Open(path)) {
        Report(kTextCannotOpen);
        return;
    }
    const WaveLayout wave = ParseWave(file.Data(), file.Size());
    switch (wave.format) {
        case WaveCheck::NotWave:
            Report(kTextNotWave);
            return;
        case WaveCheck::Corrupt:
            Report(kTextCorrupt);
            return;
        default:
            break;
    }
    // The format block is replaced even when it turns out unsupported: nothing plays from it
    // while no track is loaded.
    doc.m_pWaveFormat.assign(file.Data() + wave.fmtOffset,
                             file.Data() + wave.fmtOffset + wave.fmtSize);
    if (wave.format != WaveCheck::Ok) {
        Report(kTextUnsupported);
        return;
    }
    if (!waveOut.Query(doc.m_pWaveFormat)) {
        Report(kTextNoDevice);
        return;
    }
    switch (wave.data) {
        case WaveCheck::Corrupt:
            // A "data" chunk that is missing fails before the old samples are touched; one
            // that runs past the end fails while reading, after they were given up.
            if (!wave.dataFound) {
                Report(kTextCorrupt);
                return;
            }
            break;
        case WaveCheck::Empty:
            Report(kTextEmpty);
            return;
        case WaveCheck::Unsupported:
            Report(kTextUnsupported);
            return;
        default:
            break;
    }

    // The device may still be reading the old samples.
    if (doc.m_hWaveOut) doc.m_hWaveOut->Reset();
    doc.m_waveHeader = WaveHeader();
    doc.m_pSoundData.reset();
    doc.m_nSoundBytes = 0;
    if (wave.data != WaveCheck::Ok) {
        Report(kTextCorrupt);
        return;
    }
    std::unique_ptr<unsigned char[]> samples(new (std::nothrow) unsigned char[wave.dataSize]);
    if (!samples) {
        Report(kTextCorrupt);
        return;
    }
    std::memcpy(samples.get(), file.Data() + wave.dataOffset, wave.dataSize);
    doc.m_pSoundData = std::move(samples);
    doc.m_nSoundBytes = static_cast<int>(wave.dataSize);

    doc.m_hWaveOut.reset();
    doc.m_hWaveOut = waveOut.Open(doc.m_pWaveFormat);
    if (!doc.m_hWaveOut) {
        Report(kTextDeviceFailed);
        return;
    }
    doc.m_bSoundLoaded = 1;
    doc.UpdateAllViews(nullptr, HINT_VIEWS);
}
