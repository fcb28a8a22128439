#pragma once

#include <QFile>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The texts Audio > Load reports, kept here so that every reader of a sound track says the same.
QString WaveTextBadExtension();  // "Invalid Audio File extension"
QString WaveTextCannotOpen();    // "Could not open audio file!"
QString WaveTextNotWave();       // "Incorrect audio file format!"
QString WaveTextCorrupt();       // "Corrupt audio file!"
QString WaveTextUnsupported();   // "Unsupported audio file!\n(8bit Mono PCM or ...)"
QString WaveTextNoDevice();      // "There are no audio devices to play this sound!"
QString WaveTextEmpty();         // "Empty audio file!"
QString WaveTextDeviceFailed();  // "Could not open the audio device!"

// Longer than four characters and ending in ".wav", lower case only.
bool HasWaveExtension(const QString& path);

// A whole file as one byte range: mapped when possible, read otherwise.
class CWaveFileBytes {
  public:
    bool Open(const QString& path);
    const unsigned char* Data() const { return m_pData; }
    std::size_t Size() const { return m_nSize; }

  private:
    QFile m_file;
    QByteArray m_copy;
    const unsigned char* m_pData = nullptr;
    std::size_t m_nSize = 0;
};

// An 8-bit mono PCM track read without an output device.
struct WaveTrack {
    std::vector<unsigned char> format;  // the "fmt " chunk body
    std::unique_ptr<unsigned char[]> samples;
    std::int64_t bytes = 0;
    int rate = 0;  // samples per second
};

// Reads a track with the checks of Audio > Load in their order, all but the output device's;
// a rate of 0 or above 2^31 - 1 is refused as unsupported, since nothing could play it. On
// refusal returns false with the text Audio > Load shows.
bool ReadWaveTrack(const QString& path, WaveTrack& track, QString* error);
