#include <QByteArray>
#include <QFile>
#include <cstring>
#include <new>

#include "document/LumvaneDoc.h"
#include "document/RiffWave.h"
#include "document/WaveFile.h"
#include "framework/Ui.h"
#include "playback/Playback.h"

namespace {
void Report(const QString& text) {
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
}
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

    if (!HasWaveExtension(path)) {
        Report(WaveTextBadExtension());
        return;
    }
    CWaveFileBytes file;
    if (const CWaveFileBytes::Result r = file.Open(path); r != CWaveFileBytes::Ok) {
        Report(WaveReadText(r));
        return;
    }
    const WaveLayout wave = ParseWave(file.Data(), file.Size());
    switch (wave.format) {
        case WaveCheck::NotWave:
            Report(WaveTextNotWave());
            return;
        case WaveCheck::Corrupt:
            Report(WaveTextCorrupt());
            return;
        default:
            break;
    }
    // The format block is replaced even when it turns out unsupported: nothing plays from it
    // while no track is loaded.
    doc.m_pWaveFormat.assign(file.Data() + wave.fmtOffset,
                             file.Data() + wave.fmtOffset + wave.fmtSize);
    if (wave.format != WaveCheck::Ok) {
        Report(WaveTextUnsupported());
        return;
    }
    if (!waveOut.Query(doc.m_pWaveFormat)) {
        Report(WaveTextNoDevice());
        return;
    }
    switch (wave.data) {
        case WaveCheck::Corrupt:
            // A "data" chunk that is missing fails before the old samples are touched; one
            // that runs past the end fails while reading, after they were given up.
            if (!wave.dataFound) {
                Report(WaveTextCorrupt());
                return;
            }
            break;
        case WaveCheck::Empty:
            Report(WaveTextEmpty());
            return;
        case WaveCheck::Unsupported:
            Report(WaveTextUnsupported());
            return;
        default:
            break;
    }

    // The device may still be reading the old samples.
    if (doc.m_hWaveOut) doc.m_hWaveOut->Reset();
    doc.m_waveHeader = WaveHeader();
    doc.m_pSoundData.reset();
    doc.m_nSoundBytes = 0;
    doc.m_pDecodedSound.reset();
    if (wave.data != WaveCheck::Ok) {
        Report(WaveTextCorrupt());
        return;
    }
    doc.m_pSoundData = file.TakeRange(wave.dataOffset, wave.dataSize);
    doc.m_nSoundBytes = static_cast<int>(wave.dataSize);

    doc.m_hWaveOut.reset();
    doc.m_hWaveOut = waveOut.Open(doc.m_pWaveFormat);
    if (!doc.m_hWaveOut) {
        Report(WaveTextDeviceFailed());
        return;
    }
    doc.m_bSoundLoaded = 1;
    doc.UpdateAllViews(nullptr, HINT_VIEWS);
}
