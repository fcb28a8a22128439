#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class QIODevice;

// The texts Audio > Load reports, kept here so that every reader of a sound track says the same.
QString WaveTextBadExtension();  // "Invalid Audio File extension"
QString WaveTextCannotOpen();    // "Could not open audio file!"
QString WaveTextNotWave();       // "Incorrect audio file format!"
QString WaveTextCorrupt();       // "Corrupt audio file!"
QString WaveTextUnsupported();   // "Unsupported audio file!\n(8bit Mono PCM or ...)"
QString WaveTextNoDevice();      // "There are no audio devices to play this sound!"
QString WaveTextEmpty();         // "Empty audio file!"
QString WaveTextDeviceFailed();  // "Could not open the audio device!"
QString WaveTextNoMemory();      // "Not enough memory to load the sound track."

// Longer than four characters and ending in ".wav", lower case only.
bool HasWaveExtension(const QString& path);

// A whole file as one byte range, read with ordinary reads: a mapped file that shrinks while it
// is read, or a read error on a network file system, would raise SIGBUS instead of an error.
class CWaveFileBytes {
  public:
    enum Result { Ok, CannotOpen, ReadFailed, NoMemory };
    Result Open(const QString& path);
    // Reads device.size() bytes from an open device; fewer is ReadFailed.
    Result Read(QIODevice& device);
    const unsigned char* Data() const { return m_pData.get(); }
    std::size_t Size() const { return m_nSize; }
    // The bytes [offset, offset + count) in a buffer of their own, at its start; the file's
    // buffer is handed over rather than copied, so a track costs no second allocation.
    std::unique_ptr<unsigned char[]> TakeRange(std::size_t offset, std::size_t count);

  private:
    std::unique_ptr<unsigned char[]> m_pData;
    std::size_t m_nSize = 0;
};
// The text Audio > Load reports for a failure of Open or Read (empty for Ok).
QString WaveReadText(CWaveFileBytes::Result result);

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
