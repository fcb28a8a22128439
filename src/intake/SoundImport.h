#pragma once

#include <QString>
#include <cstddef>
#include <functional>

#include "document/DecodedSound.h"

// Tracks are kept up to the longest animation there is: 500 frames at 1 frame a second.
inline constexpr int kMaxSoundSeconds = 500;

enum class SoundDecode { Ok, NoStream, Unreadable, Empty, NoMemory, Cancelled };

// Told how far decoding has come (0 to 1) now and then, from the decoding thread; false stops.
using SoundDecodeProgress = std::function<bool(double done)>;

// Decodes the first sound stream of any sound or video file FFmpeg's libraries read into
// 16-bit samples at the stream's own rate, mono or stereo (more channels are mixed to
// stereo), cut at kMaxSoundSeconds. Only regular files are opened. out is changed only on Ok.
SoundDecode DecodeSoundFile(const QString& path, DecodedSound& out,
                            const SoundDecodeProgress& progress = {});
// The same from bytes in memory.
SoundDecode DecodeSoundBytes(const unsigned char* data, std::size_t size, DecodedSound& out,
                             const SoundDecodeProgress& progress = {});

// FFmpeg's own words for one of its error codes.
QString AvErrorText(int code);

// The message for a failure of file (empty for Ok and Cancelled).
QString SoundDecodeText(SoundDecode result, const QString& file);
QString SoundTextNoStream(const QString& file);    // "%1 has no sound track."
QString SoundTextUnreadable(const QString& file);  // "Could not read the sound track of %1."
QString SoundTextEmpty(const QString& file);       // "The sound track of %1 is empty."
QString SoundTextNoMemory(const QString& file);    // "Not enough memory to load the sound..."
QString SoundTextNoDevice(const QString& file);    // "There are no audio devices to play ..."
