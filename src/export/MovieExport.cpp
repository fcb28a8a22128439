#include "export/MovieExport.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <cstring>

#include "document/LumvaneDoc.h"
#include "document/MemoryCheck.h"
#include "document/SoundSlice.h"
#include "export/ExportSequence.h"
#include "export/FfmpegMovie.h"
#include "export/GifWriter.h"
#include "export/MovieFile.h"
#include "export/VideoEncoderPlan.h"
#include "framework/Ui.h"
#include "raster/GrayImage.h"

QString MovieTextWriteError(const QString& file) {
    return QStringLiteral("Error writing file %1!: Disk Full or Write Protected").arg(file);
}
bool MovieIsWriteError(const QString& error) {
    const QChar mark(0x1);
    const QString text = MovieTextWriteError(mark);
    const qsizetype at = text.indexOf(mark);
    return error.size() > text.size() - 1 && error.startsWith(text.left(at)) &&
           error.endsWith(text.mid(at + 1));
}
QString MovieTextCancelled(const QString& file) {
    return QStringLiteral("Export cancelled. %1 was not written.").arg(file);
}
QString MovieTextImagesCancelled(int written, int count) {
    return QStringLiteral("Export cancelled after %1 of %2 images.").arg(written).arg(count);
}
QString MovieTextNoFrames() {
    return QStringLiteral("There are no frames to export.");
}
QString MovieTextFramesDiffer() {
    return QStringLiteral("The frames of the animation differ in size.");
}
QString MovieTextBadFps() {
    return QStringLiteral("The frame rate must be between %1 and %2.")
        .arg(kMinMovieFps)
        .arg(kMaxMovieFps);
}
QString MovieTextNoEncoder(const QString& encoder) {
    return QStringLiteral("The %1 encoder is not available.").arg(encoder);
}
QString MovieTextEncodeFailed(const QString& reason) {
    return QStringLiteral("Could not encode the movie: %1").arg(reason);
}
QString MovieTextNoMemory(int width, int height, std::uint64_t need, std::uint64_t available) {
    constexpr std::uint64_t kMB = std::uint64_t{1} << 20;
    return QStringLiteral(
               "not enough memory for frames of %1 x %2 pixels (about %3 MB needed, "
               "%4 MB available)")
        .arg(width)
        .arg(height)
        .arg((need + kMB - 1) / kMB)
        .arg(available / kMB);
}

void ReportMovieFailure(const QString& error) {
    AfxMessageBox(error);
    if (MovieIsWriteError(error)) AfxMessageBox(ExportTextDiskProblem());
}

QString MovieExtension(MovieFormat format) {
    switch (format) {
        case MovieFormat::Mp4:
            return QStringLiteral("mp4");
        case MovieFormat::WebM:
            return QStringLiteral("webm");
        case MovieFormat::Gif:
            return QStringLiteral("gif");
        case MovieFormat::Png:
            break;
    }
    return QStringLiteral("png");
}

QString MovieImageFileName(const QString& folder, const QString& name, unsigned number) {
    QString file = ExportFileName(WithTrailingSeparator(folder), name, number, EXPORT_GRAY_TARGA);
    file.chop(4);  // ".tga"
    return file + QStringLiteral(".png");
}

int MovieFrame::GetWidth() const {
    return pixels ? pixels->GetWidth() : stored.Width();
}

int MovieFrame::GetHeight() const {
    return pixels ? pixels->GetHeight() : stored.Height();
}

bool MovieFrame::Usable() const {
    return pixels ? pixels->GetData() != nullptr : !stored.Empty();
}

const GrayImage* MovieFrame::Get(GrayImage& scratch) const {
    if (pixels) return pixels;
    return stored.Decode(scratch) ? &scratch : nullptr;
}

MovieSource MovieSourceOf(const CLumvaneDoc& doc) {
    MovieSource s;
    const int count = std::min(doc.m_nFrameCount, CLumvaneDoc::kMaxFrames);
    for (int i = 0; i < count; ++i) s.frames.emplace_back(doc.m_frames[i]);
    const int rate = doc.GetSoundSampleRate();
    if (doc.m_bSoundLoaded && doc.m_pDecodedSound && rate > 0) {
        s.decoded = doc.m_pDecodedSound;
        s.soundRate = rate;
    } else if (doc.m_bSoundLoaded && doc.m_pSoundData && rate > 0) {
        s.sound = doc.m_pSoundData.get();
        s.soundBytes = std::max(doc.m_nSoundBytes, 0);
        s.soundRate = rate;
    }
    return s;
}

namespace {

int WriteGif(const MovieSource& source, const MovieSettings& settings,
             const MovieProgress& progress, QString* error) {
    const int width = source.frames.front().GetWidth();
    const int height = source.frames.front().GetHeight();
    if (width > 65535 || height > 65535) {
        *error = MovieTextEncodeFailed(QStringLiteral("GIF pictures are at most 65535 pixels"));
        return MOVIE_FAILED;
    }
    MovieFile file(settings.outputPath);
    GifWriter gif(file);
    if (!file.Open() || !gif.Begin(width, height)) {
        *error = MovieTextWriteError(settings.outputPath);
        return MOVIE_FAILED;
    }
    const int count = static_cast<int>(source.frames.size());
    GrayImage scratch;  // the frame being written, when kept encoded
    for (int i = 0; i < count; ++i) {
        if (progress && !progress(i, count)) {
            *error = MovieTextCancelled(settings.outputPath);
            return MOVIE_CANCELLED;
        }
        const GrayImage* frame = source.frames[static_cast<std::size_t>(i)].Get(scratch);
        if (!frame || !gif.AddFrame(*frame, GifFrameDelay(i, settings.fps))) {
            *error = MovieTextWriteError(settings.outputPath);
            return MOVIE_FAILED;
        }
    }
    if (!gif.End() || !file.Commit()) {
        *error = MovieTextWriteError(settings.outputPath);
        return MOVIE_FAILED;
    }
    return MOVIE_DONE;
}

// One PNG; a file that could not be written whole is removed.
bool WritePng(const GrayImage& frame, const QString& name, QString* error) {
    const int width = frame.GetWidth();
    const int height = frame.GetHeight();
    QImage image(width, height, QImage::Format_Grayscale8);
    if (image.isNull()) {
        *error = MovieTextEncodeFailed(QStringLiteral("out of memory"));
        return false;
    }
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y),
                    frame.GetData() + static_cast<std::size_t>(height - 1 - y) * width,
                    static_cast<std::size_t>(width));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) {
        *error = MovieTextEncodeFailed(writer.errorString());
        return false;
    }
    // Not through QImageWriter on the file: it does not report a failed flush.
    QFile file(name);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    if (ok) {
        ok = file.write(bytes) == bytes.size();
        file.close();
        if (!ok) file.remove();
    }
    if (!ok) *error = MovieTextWriteError(name);
    return ok;
}

int WriteImages(const MovieSource& source, const MovieSettings& settings,
                const MovieProgress& progress, QString* error) {
    if (!IsSequenceNameValid(settings.sequenceName)) {
        *error = ExportTextOnlyLetters();
        return MOVIE_FAILED;
    }
    const int count = static_cast<int>(source.frames.size());
    GrayImage scratch;
    for (int i = 0; i < count; ++i) {
        if (progress && !progress(i, count)) {
            *error = MovieTextImagesCancelled(i, count);
            return MOVIE_CANCELLED;
        }
        const QString name = MovieImageFileName(settings.outputPath, settings.sequenceName,
                                                settings.startNumber + static_cast<unsigned>(i));
        const GrayImage* frame = source.frames[static_cast<std::size_t>(i)].Get(scratch);
        if (!frame) {
            *error = MovieTextWriteError(name);
            return MOVIE_FAILED;
        }
        if (!WritePng(*frame, name, error)) return MOVIE_FAILED;
    }
    return MOVIE_DONE;
}

}  // namespace

int ExportMovie(const MovieSource& source, const MovieSettings& settings,
                const MovieProgress& progress, QString* error) {
    QString ignored;
    QString* text = error ? error : &ignored;
    text->clear();
    if (settings.fps < kMinMovieFps || settings.fps > kMaxMovieFps) {
        *text = MovieTextBadFps();
        return MOVIE_FAILED;
    }
    if (source.frames.empty()) {
        *text = MovieTextNoFrames();
        return MOVIE_FAILED;
    }
    // Every frame is read whole: all must have pixels of the first one's size.
    const MovieFrame& first = source.frames.front();
    for (const MovieFrame& f : source.frames) {
        if (!f.Usable() || !first.Usable() || f.GetWidth() != first.GetWidth() ||
            f.GetHeight() != first.GetHeight() || f.GetWidth() <= 0 || f.GetHeight() <= 0) {
            *text = MovieTextFramesDiffer();
            return MOVIE_FAILED;
        }
    }
    switch (settings.format) {
        case MovieFormat::Png:
            return WriteImages(source, settings, progress, text);
        case MovieFormat::Gif:
            return WriteGif(source, settings, progress, text);
        case MovieFormat::Mp4:
        case MovieFormat::WebM:
            break;
    }
    // The encoder's pages are touched as it goes: beyond what the process may have it would be
    // killed part-way, so it is not started.
    const VideoEncoderPlan plan = PlanVideoEncoder(source, settings);
    if (!MemoryFits(plan.bytes)) {
        *text = MovieTextEncodeFailed(
            MovieTextNoMemory(first.GetWidth(), first.GetHeight(), plan.bytes, AvailableMemory()));
        return MOVIE_FAILED;
    }
    return WriteFfmpegMovie(source, settings, progress, text);
}

int ExportMovie(const CLumvaneDoc& doc, const MovieSettings& settings,
                const MovieProgress& progress, QString* error) {
    return ExportMovie(MovieSourceOf(doc), settings, progress, error);
}
