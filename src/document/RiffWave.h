#pragma once

#include <cstddef>
#include <cstdint>

// Outcome of one stage of reading a WAV file, in the order the sound-track loader reports them.
enum class WaveCheck {
    Ok,
    NotWave,      // no RIFF chunk of form "WAVE"
    Corrupt,      // a chunk is missing, or a size runs past its container or the file
    Unsupported,  // not 8-bit mono PCM (or a format block too short to say)
    Empty         // the "data" chunk holds no bytes
};

// Where the two chunks of a WAV file lie inside its bytes. Pure: reads only bytes[0, size).
struct WaveLayout {
    // Finding "WAVE", then "fmt " inside it, and checking the format block.
    WaveCheck format = WaveCheck::NotWave;
    std::size_t fmtOffset = 0;  // body of "fmt "
    std::size_t fmtSize = 0;
    // Finding "data" after "fmt " (only meaningful when format is Ok).
    WaveCheck data = WaveCheck::Corrupt;
    bool dataFound = false;      // a "data" header was found (Corrupt then means it is cut short)
    std::size_t dataOffset = 0;  // body of "data"
    std::size_t dataSize = 0;
};

// The fields of a format block that matter here (little-endian, standard WAVE layout).
struct WaveFormatFields {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint16_t bitsPerSample = 0;
};

// Reads the format fields; false when the block is shorter than the 16 bytes that hold them.
bool ReadWaveFormat(const unsigned char* fmt, std::size_t size, WaveFormatFields& out);

// Walks the RIFF structure the way buffered RIFF reading does: the first top-level RIFF chunk
// of form "WAVE"; inside it the first "fmt " chunk; after that chunk the first "data" chunk.
// Chunks are padded to even sizes. Data larger than a signed 32-bit count is Unsupported.
WaveLayout ParseWave(const unsigned char* bytes, std::size_t size);
