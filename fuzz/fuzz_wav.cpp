// libFuzzer target for the WAV reader: the RIFF walk and the format block over any bytes, then
// the whole Audio Load path over the same bytes as a file, then slices of a loaded track, and
// the reader of the command line, which must agree with Audio Load. The sanitizers catch every
// read or write outside a buffer.
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "document/LumvaneDoc.h"
#include "document/RiffWave.h"
#include "document/WaveFile.h"
#include "playback/Playback.h"
#include "support/RecordingWaveOut.h"
#include "support/ScriptedUi.h"

namespace {
QString g_path;

// A layout that claims a chunk must lie inside the bytes.
void CheckLayout(const WaveLayout& w, std::size_t size) {
    if (w.format == WaveCheck::Ok || w.format == WaveCheck::Unsupported) {
        if (w.fmtOffset > size || w.fmtSize > size - w.fmtOffset) __builtin_trap();
    }
    if (w.format == WaveCheck::Ok && w.data == WaveCheck::Ok) {
        if (w.dataOffset > size || w.dataSize > size - w.dataOffset || w.dataSize == 0)
            __builtin_trap();
    }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Memory-backed when available: one file is written per input.
    const QDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                             : QDir::tempPath());
    g_path = dir.filePath(QStringLiteral("lumvane_fuzz_wav_%1.wav").arg(::getpid()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The parser alone, on an exact-size copy so that any overread is caught.
    const WaveLayout layout = ParseWave(data, size);
    CheckLayout(layout, size);
    WaveFormatFields fields;
    ReadWaveFormat(data, size, fields);
    if (layout.format == WaveCheck::Ok || layout.format == WaveCheck::Unsupported)
        ReadWaveFormat(data + layout.fmtOffset, layout.fmtSize, fields);

    // Audio Load, as the user runs it, over the same bytes.
    {
        QFile f(g_path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    CScriptedUi ui;
    CLumvaneDoc doc;
    CRecordingWaveOutSystem sound(&doc);
    doc.CreateAnimation(4, 2);
    ui.m_fileAnswers.push_back(g_path);
    OnAudioLoad(doc, sound);
    if (ui.m_messages.size() > 1) __builtin_trap();  // one message at most

    // Without a device: a track Audio Load took (at a rate a movie can have) with the same
    // bytes, or a refusal with the text Audio Load gave.
    WaveTrack track;
    QString refusal;
    const bool read = ReadWaveTrack(g_path, track, &refusal);
    const int rate = doc.GetSoundSampleRate();
    if (read != (doc.m_bSoundLoaded && rate > 0)) __builtin_trap();
    if (read && (track.bytes != doc.m_nSoundBytes || track.rate != rate ||
                 std::memcmp(track.samples.get(), doc.m_pSoundData.get(),
                             static_cast<std::size_t>(track.bytes)) != 0))
        __builtin_trap();
    if (!read && !ui.m_messages.empty() && ui.m_messages[0].text != refusal &&
        refusal != WaveTextUnsupported())
        __builtin_trap();
    if (doc.m_bSoundLoaded) {
        if (ui.m_messages.size() != 0 || !doc.m_pSoundData || doc.m_nSoundBytes <= 0 ||
            static_cast<std::size_t>(doc.m_nSoundBytes) != layout.dataSize)
            __builtin_trap();
        // Slices for frames around both ends, at the rate the file claims.
        doc.m_nFrameCount = 500;
        for (int fps : {1, 25, 1000})
            for (int first : {-1, 0, 1, 250, 499, 500}) {
                doc.m_nFps = fps;
                doc.PlaySoundFrames(first, 500 - first);
                if (doc.m_waveHeader.pData && (doc.m_waveHeader.pData < doc.m_pSoundData.get() ||
                                               doc.m_waveHeader.pData + doc.m_waveHeader.nLength >
                                                   doc.m_pSoundData.get() + doc.m_nSoundBytes))
                    __builtin_trap();
            }
        doc.m_nFrameCount = 1;
    }
    doc.CloseSound();
    return 0;
}
