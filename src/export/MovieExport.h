#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "raster/CompactImage.h"

class CLumvaneDoc;
struct DecodedSound;
class GrayImage;

// The movie formats in the order a chooser lists them.
enum class MovieFormat : int { Mp4 = 0, WebM = 1, Gif = 2, Png = 3 };

// What one movie export needs, whether it comes from a dialog or from the command line.
struct MovieSettings {
    MovieFormat format = MovieFormat::Mp4;
    int fps = 25;              // 1..100
    QString outputPath;        // the movie file; for PNG images the folder
    QString sequenceName;      // PNG images: letters only, may be empty
    unsigned startNumber = 1;  // PNG images: number of the first file
    bool includeSound = true;  // MP4 and WebM, when the source has a track
};

constexpr int kMinMovieFps = 1;
constexpr int kMaxMovieFps = 100;

// One picture of a movie: pixels held elsewhere, or a frame as the document keeps it, decoded
// when its turn comes so that a movie never holds more than one frame decoded.
struct MovieFrame {
    MovieFrame(const GrayImage* image) : pixels(image) {}  // NOLINT: a picture is a frame
    MovieFrame(CompactImage image) : stored(std::move(image)) {}
    const GrayImage* pixels = nullptr;
    CompactImage stored;
    int GetWidth() const;
    int GetHeight() const;
    bool Usable() const;
    // The pixels, decoded into scratch when kept encoded; null without memory.
    const GrayImage* Get(GrayImage& scratch) const;
};

// The pictures and the sound track of one movie, borrowed for the length of the export.
struct MovieSource {
    std::vector<MovieFrame> frames;        // one size, stored bottom-up
    const unsigned char* sound = nullptr;  // 8-bit unsigned mono PCM; null without a track
    std::int64_t soundBytes = 0;
    int soundRate = -1;  // samples per second
    // An imported track, used in place of sound: 16-bit, mono or stereo, at soundRate.
    std::shared_ptr<const DecodedSound> decoded;
    bool HasSound() const { return (sound || decoded) && soundRate > 0; }
};
// The document's frames and its loaded sound track.
MovieSource MovieSourceOf(const CLumvaneDoc& doc);

// Runs before frame `frame` (0-based) of `count` is written; false cancels the export.
using MovieProgress = std::function<bool(int frame, int count)>;

enum MovieResult : int { MOVIE_FAILED = 0, MOVIE_DONE = 1, MOVIE_CANCELLED = -1 };

// Writes the movie. A failed or cancelled movie file leaves nothing behind (an older file of the
// same name stays as it was); PNG files written before a failure or Cancel stay. On failure and
// Cancel *error receives the text to show.
int ExportMovie(const MovieSource& source, const MovieSettings& settings,
                const MovieProgress& progress, QString* error);
int ExportMovie(const CLumvaneDoc& doc, const MovieSettings& settings,
                const MovieProgress& progress, QString* error);

// Shows why a movie export failed: its text, then, when the disk failed, the export's own word
// on the disk, as Export does.
void ReportMovieFailure(const QString& error);

// The file extension of a format, without the dot: "mp4", "webm", "gif", "png".
QString MovieExtension(MovieFormat format);
// walk0001.png, ..., walk10000.png: the numbering of the Targa export.
QString MovieImageFileName(const QString& folder, const QString& name, unsigned number);

// The failure texts.
QString MovieTextWriteError(const QString& file);  // "Error writing file %1!: Disk Full or ..."
// Whether a failure text is MovieTextWriteError's: the disk, not the encoder, failed.
bool MovieIsWriteError(const QString& error);
QString MovieTextCancelled(const QString& file);  // "Export cancelled. %1 was not written."
QString MovieTextImagesCancelled(int written, int count);  // "Export cancelled after ..."
QString MovieTextNoFrames();                               // "There are no frames to export."
QString MovieTextFramesDiffer();  // "The frames of the animation differ in size."
QString MovieTextBadFps();        // "The frame rate must be between 1 and 100."
QString MovieTextNoEncoder(const QString& encoder);    // "The %1 encoder is not available."
QString MovieTextEncodeFailed(const QString& reason);  // "Could not encode the movie: %1"
// Its reason when the encoder would need more than the process may have: "not enough memory
// for frames of %1 x %2 pixels (about %3 MB needed, %4 MB available)".
QString MovieTextNoMemory(int width, int height, std::uint64_t need, std::uint64_t available);
