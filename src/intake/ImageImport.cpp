#include "intake/ImageImport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "document/AnmFormat.h"
#include "document/FrameCache.h"
#include "document/MemoryCheck.h"
#include "framework/Document.h"
#include "raster/GrayImage.h"
#include "raster/PegRegister.h"

QString ImportTextNotFound(const QString& file) {
    return AfxTextFileNotFound(file);
}
QString ImportTextNoImages(const QString& folder) {
    return QStringLiteral("%1 holds no images.").arg(folder);
}
QString ImportTextUnreadable(const QString& file) {
    return QStringLiteral("%1 is not an image that can be read.").arg(file);
}
QString ImportTextDamaged(const QString& file) {
    return QStringLiteral("%1 is damaged or incomplete.").arg(file);
}
QString ImportTextEmpty(const QString& file) {
    return QStringLiteral("%1 holds an image without pixels.").arg(file);
}
QString ImportTextTooLarge(const QString& file, int width, int height) {
    return QStringLiteral(
               "%1 is %2 x %3 pixels; images of up to %4 pixels a side and %5 million "
               "pixels can be imported.")
        .arg(file)
        .arg(width)
        .arg(height)
        .arg(kMaxImageSide)
        .arg(kMaxImagePixels / 1'000'000);
}
QString ImportTextNoNumber(const QString& file) {
    return QStringLiteral("%1 has no number in its name.").arg(file);
}
QString ImportTextSameNumber(const QString& first, const QString& second, qint64 number) {
    return QStringLiteral("%1 and %2 both have the number %3.").arg(first, second).arg(number);
}
QString ImportTextTooMany(int frames, int room) {
    return QStringLiteral(
               "The drawings make %1 frames, but an animation holds at most 500 "
               "frames: %2 more fit.")
        .arg(frames)
        .arg(room);
}
QString ImportTextNoMemory(int frames, int width, int height) {
    return QStringLiteral("There is not enough memory to import %1 frames of %2 x %3.")
        .arg(frames)
        .arg(width)
        .arg(height);
}
QString ImportTextNoPegs(const QStringList& files) {
    return QStringLiteral(
               "The peg holes were not found in these drawings, which were imported "
               "unmoved:\n%1")
        .arg(files.join(QLatin1Char('\n')));
}
QString ImportTextProgress(int image, int count) {
    return QStringLiteral("Importing drawing %1 of %2").arg(image).arg(count);
}
QString ImportTextCancelled() {
    return QStringLiteral("The import was cancelled; the animation is as it was.");
}

bool NaturalLess(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            // Numbers by value: skip leading zeros, then the longer run is larger.
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit()) ++ei;
            while (ej < b.size() && b[ej].isDigit()) ++ej;
            qsizetype si = i, sj = j;
            while (si + 1 < ei && a[si] == QLatin1Char('0')) ++si;
            while (sj + 1 < ej && b[sj] == QLatin1Char('0')) ++sj;
            if (ei - si != ej - sj) return ei - si < ej - sj;
            for (; si < ei; ++si, ++sj)
                if (a[si] != b[sj]) return a[si] < b[sj];
            i = ei;
            j = ej;
            continue;
        }
        const QChar ca = a[i].toCaseFolded(), cb = b[j].toCaseFolded();
        if (ca != cb) return ca < cb;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;  // names equal but for case or zeros: a stable order all the same
}

QStringList ImageNameFilters() {
    QStringList filters;
    for (const QByteArray& suffix : QImageReader::supportedImageFormats())
        filters << QStringLiteral("*.") + QString::fromLatin1(suffix);
    return filters;
}

bool CollectImageFiles(const QStringList& paths, QStringList& files, QString& error) {
    files.clear();
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            error = ImportTextNotFound(path);
            return false;
        }
        if (!info.isDir()) {
            files << path;
            continue;
        }
        QDir dir(path);
        QStringList names =
            dir.entryList(ImageNameFilters(), QDir::Files | QDir::Readable, QDir::NoSort);
        if (names.isEmpty()) {
            error = ImportTextNoImages(path);
            return false;
        }
        std::sort(names.begin(), names.end(), NaturalLess);
        for (const QString& n : names) files << dir.filePath(n);
    }
    return true;
}

namespace {

// The last run of digits in a file's name (without its ending), or -1.
qint64 NumberOf(const QString& file) {
    const QString name = QFileInfo(file).completeBaseName();
    qsizetype end = name.size();
    while (end > 0 && !name[end - 1].isDigit()) --end;
    if (end == 0) return -1;
    qsizetype start = end;
    while (start > 0 && name[start - 1].isDigit()) --start;
    // More digits than a frame number can have are still a number; keep the value bounded.
    bool ok = false;
    const qint64 n = name.mid(start, std::min<qsizetype>(end - start, 15)).toLongLong(&ok);
    return ok ? n : -1;
}

// A JPEG that ends before its end marker decodes without complaint into gray; refuse it.
bool JpegComplete(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const qint64 size = f.size();
    if (size < 4) return false;
    f.seek(std::max<qint64>(0, size - 4096));
    const QByteArray tail = f.read(4096);
    return tail.contains(QByteArray("\xFF\xD9", 2));
}

bool ReadHeader(const QString& file, QSize& size, QString& error) {
    const QFileInfo info(file);
    if (!info.exists()) {
        error = ImportTextNotFound(file);
        return false;
    }
    QImageReader reader(file);
    reader.setAutoTransform(true);
    if (info.isDir() || !reader.canRead()) {
        error = info.size() == 0 ? ImportTextEmpty(file) : ImportTextUnreadable(file);
        return false;
    }
    size = reader.size();
    if (!size.isValid() && reader.error() != QImageReader::UnknownError) {
        error = ImportTextDamaged(file);
        return false;
    }
    if (size.isValid() && (size.width() <= 0 || size.height() <= 0)) {
        error = ImportTextEmpty(file);
        return false;
    }
    if (size.isValid() &&
        (size.width() > kMaxImageSide || size.height() > kMaxImageSide ||
         static_cast<std::int64_t>(size.width()) * size.height() > kMaxImagePixels)) {
        error = ImportTextTooLarge(file, size.width(), size.height());
        return false;
    }
    // Shown turned a quarter, the picture's sides change places.
    if (size.isValid() && reader.transformation().testFlag(QImageIOHandler::TransformationRotate90))
        size.transpose();
    return true;
}

}  // namespace

bool PlanFrames(const QStringList& files, bool byNumber, int room, FramePlan& plan,
                QString& error) {
    plan = FramePlan();
    if (files.isEmpty()) {
        error = ImportTextNoImages(QDir::currentPath());
        return false;
    }
    if (!byNumber) {
        plan.files = files;
        std::stable_sort(plan.files.begin(), plan.files.end(),
                         [](const QString& a, const QString& b) {
                             return NaturalLess(QFileInfo(a).fileName(), QFileInfo(b).fileName());
                         });
        for (int i = 0; i < plan.files.size(); ++i) plan.source.push_back(i);
    } else {
        std::map<qint64, QString> byNum;
        for (const QString& f : files) {
            const qint64 n = NumberOf(f);
            if (n < 0) {
                error = ImportTextNoNumber(f);
                return false;
            }
            auto [it, fresh] = byNum.emplace(n, f);
            if (!fresh) {
                error = ImportTextSameNumber(it->second, f, n);
                return false;
            }
        }
        const qint64 lowest = byNum.begin()->first;
        const qint64 span = byNum.rbegin()->first - lowest + 1;
        if (span > room) {
            error =
                ImportTextTooMany(static_cast<int>(std::min<qint64>(span, 1'000'000'000)), room);
            return false;
        }
        int index = -1;
        for (qint64 n = lowest; n < lowest + span; ++n) {
            if (auto it = byNum.find(n); it != byNum.end()) {
                plan.files << it->second;
                ++index;
            }
            plan.source.push_back(index);
        }
    }
    if (static_cast<int>(plan.source.size()) > room) {
        error = ImportTextTooMany(static_cast<int>(plan.source.size()), room);
        plan = FramePlan();
        return false;
    }
    for (const QString& f : plan.files) {
        QSize size;
        if (!ReadHeader(f, size, error)) {
            plan = FramePlan();
            return false;
        }
        plan.sizes.push_back(size);
    }
    return true;
}

QSize DefaultFrameSize(const QSize& first) {
    return QSize((first.width() + 3) / 4 * 4, first.height());
}

bool ReadDrawing(const QString& file, bool dropColour, GrayPlane& gray, QString& error) {
    QSize size;
    if (!ReadHeader(file, size, error)) return false;
    // The header was checked against our own limit; Qt's own limit must not refuse less.
    static std::once_flag limitSet;
    std::call_once(limitSet, [] {
        QImageReader::setAllocationLimit(static_cast<int>((8 * kMaxImagePixels) >> 20) + 1);
    });
    QImageReader reader(file);
    reader.setAutoTransform(true);
    const QByteArray format = reader.format();
    QImage image = reader.read();
    if (image.isNull()) {
        error = ImportTextDamaged(file);
        return false;
    }
    if (format == "jpeg" && !JpegComplete(file)) {
        error = ImportTextDamaged(file);
        return false;
    }
    if (image.width() <= 0 || image.height() <= 0) {
        error = ImportTextEmpty(file);
        return false;
    }
    if (!gray.Create(image.width(), image.height())) {
        error = ImportTextNoMemory(1, image.width(), image.height());
        return false;
    }
    if (image.format() == QImage::Format_Grayscale16)
        image = image.convertToFormat(QImage::Format_Grayscale8);
    if (image.format() == QImage::Format_Grayscale8) {
        for (int y = 0; y < image.height(); ++y)
            std::memcpy(gray.Row(y), image.constScanLine(y),
                        static_cast<std::size_t>(image.width()));
        return true;
    }
    RgbaView view;
    const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    if (little &&
        (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32)) {
        view.bgra = true;
    } else if (image.format() != QImage::Format_RGBA8888) {
        image = image.convertToFormat(QImage::Format_RGBA8888);
        if (image.isNull()) {
            error = ImportTextNoMemory(1, gray.width, gray.height);
            return false;
        }
    }
    view.data = image.constBits();
    view.width = image.width();
    view.height = image.height();
    view.stride = static_cast<std::size_t>(image.bytesPerLine());
    const PaperColour paper = dropColour ? EstimatePaperColour(view) : PaperColour{};
    GrayFromRgba(view, dropColour, paper, gray);
    return true;
}

bool ImportMemoryFits(int frames, const QSize& frameSize) {
    // Frames are kept encoded as each is cleaned, so what must fit up front is a frame being
    // cleaned per core and the frames the document keeps decoded; the encodings are counted as
    // they are made.
    const int decoded =
        std::min(frames, FrameCache::CapacityFor(frameSize.width(), frameSize.height()));
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    const std::uint64_t need =
        ImageBytes(static_cast<std::uint64_t>(std::min(frames, cores) + decoded), frameSize.width(),
                   frameSize.height()) +
        static_cast<std::uint64_t>(kImportWorkBytes);
    // An explicit cap (tests, fuzzing) and what the process can really have, as Open checks.
    const std::uint64_t limit = anm::LoadMemoryLimit();
    return (limit == 0 || need <= limit) && MemoryFits(need);
}

int CleanIntoFrame(const GrayPlane& gray, const ImportOptions& options, GrayImage& frame) {
    if (!options.autoLevels) return FitToFrame(gray, options.fit, frame);
    // Levels at the frame's scale: the same paper and lines, a fraction of the pixels.
    GrayPlane shown;
    int left = 0, top = 0;
    if (!ScaleForFrame(gray, options.fit, frame.GetWidth(), frame.GetHeight(), shown, left, top))
        return 0;
    AutoLevels(shown);
    return PlaceInFrame(shown, left, top, frame);
}

namespace {

// The tone most of a drawing's paper has.
int PaperTone(const GrayPlane& gray) {
    unsigned hist[256] = {};
    std::uint64_t n = 0;
    for (std::size_t i = 0; i < gray.pixels.size(); i += 7, ++n) ++hist[gray.pixels[i]];
    std::uint64_t seen = 0;
    for (int v = 0; v < 256; ++v)
        if ((seen += hist[v]) * 2 > n) return v;
    return 255;
}

// Moves the drawing at its own size (what the move brings in is paper), then cleans it.
bool MoveAndClean(const GrayPlane& gray, const RigidMove& move, const QSize& canvas,
                  const ImportOptions& options, GrayImage& frame) {
    GrayPlane moved;
    if (!ApplyMove(gray, move, canvas.width(), canvas.height(), moved, PaperTone(gray)))
        return false;
    return CleanIntoFrame(moved, options, frame) != 0;
}

// The same for a drawing the size of the first, placed whole: scaled to the frame first and
// moved there, a fraction of the pixels for the same result.
bool MoveAtFrameScale(const GrayPlane& gray, const RigidMove& move, const ImportOptions& options,
                      GrayImage& frame) {
    GrayPlane shown;
    int left = 0, top = 0;
    if (!ScaleForFrame(gray, FitMode::Inside, frame.GetWidth(), frame.GetHeight(), shown, left,
                       top))
        return false;
    // A picture point p shows at s p + c in the scaled part (pixel centres on both sides).
    const double scale = (static_cast<double>(shown.width) / gray.width +
                          static_cast<double>(shown.height) / gray.height) /
                         2;
    const double cx = 0.5 * scale - 0.5, cy = 0.5 * scale - 0.5;
    RigidMove m = move;
    m.tx = scale * move.tx + cx - (move.c * cx - move.s * cy);
    m.ty = scale * move.ty + cy - (move.s * cx + move.c * cy);
    GrayPlane moved;
    if (!ApplyMove(shown, m, shown.width, shown.height, moved, PaperTone(shown))) return false;
    if (options.autoLevels) AutoLevels(moved);
    return PlaceInFrame(moved, left, top, frame) != 0;
}

// Working memory handed out to the images being read: an image that needs more than the
// whole allowance waits until it can have all of it.
class WorkAllowance {
  public:
    explicit WorkAllowance(std::int64_t bytes) : m_left(bytes), m_total(bytes) {}
    std::int64_t Take(std::int64_t bytes, const std::atomic<bool>& stop) {
        bytes = std::min(bytes, m_total);
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [&] { return m_left >= bytes || stop; });
        if (stop) return 0;
        m_left -= bytes;
        return bytes;
    }
    void Give(std::int64_t bytes) {
        {
            std::lock_guard lock(m_mutex);
            m_left += bytes;
        }
        m_cv.notify_all();
    }
    void WakeAll() { m_cv.notify_all(); }

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::int64_t m_left;
    std::int64_t m_total;
};

// Bytes one image needs while it is read and cleaned: the decoded picture, a converted copy,
// its gray, the levels' work and a moved copy.
std::int64_t WorkBytes(const QSize& size) {
    return static_cast<std::int64_t>(size.width()) * size.height() * 12;
}

}  // namespace

ImportOutcome BuildFrames(const FramePlan& plan, const ImportOptions& options,
                          const QSize& frameSize, std::vector<CompactImage>& frames,
                          const ImportProgress& progress) {
    ImportOutcome outcome;
    const int count = static_cast<int>(plan.source.size());
    const int images = static_cast<int>(plan.files.size());
    {
        std::vector<CompactImage> fresh(static_cast<std::size_t>(count));
        frames.swap(fresh);
    }
    // The first frame of each drawing; later frames that hold it share its encoding.
    std::vector<int> firstFrame(images, -1);
    for (int f = 0; f < count; ++f)
        if (firstFrame[plan.source[f]] < 0) firstFrame[plan.source[f]] = f;

    std::atomic<bool> stop{false};
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::mutex mutex;
    std::condition_variable changed;
    QString failure;
    int failedImage = images;
    std::vector<char> unmoved(images, 0);
    // Registration: every drawing goes where the first drawing's holes are.
    PegHoles reference;           // read by the others only once referenceKnown is set
    bool referenceKnown = false;  // the first drawing has been searched
    bool referenceFound = false;
    QSize referenceSize = images > 0 ? plan.sizes[0] : QSize();
    WorkAllowance allowance(kImportWorkBytes);

    auto fail = [&](int image, const QString& text) {
        std::lock_guard lock(mutex);
        // The earliest drawing's failure is the one reported, whatever order cores finish in.
        if (image < failedImage) {
            failedImage = image;
            failure = text;
        }
        stop = true;
        changed.notify_all();
        allowance.WakeAll();
    };

    // Each core cleans into its own frame, which is then encoded and kept.
    auto keep = [&](int image, const GrayImage& frame) {
        CompactImage encoded = CompactImage::Encode(frame);
        // Room for the next frame's encoding and more: otherwise the import stops here,
        // before the system would have to refuse a page.
        if (encoded.Empty() || !MemoryFits(encoded.Bytes() + (std::uint64_t{16} << 20))) {
            fail(image, ImportTextNoMemory(count, frameSize.width(), frameSize.height()));
            return false;
        }
        frames[firstFrame[image]] = std::move(encoded);
        return true;
    };

    auto work = [&] {
        GrayImage frame;
        if (!frame.Create(frameSize.width(), frameSize.height())) {
            fail(0, ImportTextNoMemory(count, frameSize.width(), frameSize.height()));
            return;
        }
        for (;;) {
            const int i = next++;
            if (i >= images || stop) return;
            const std::int64_t taken = allowance.Take(WorkBytes(plan.sizes[i]), stop);
            if (stop) return;
            GrayPlane gray;
            QString error;
            const bool read = ReadDrawing(plan.files[i], options.dropColour, gray, error);
            if (!read) {
                allowance.Give(taken);
                fail(i, error);
                return;
            }
            bool cleaned = false;
            if (options.registerPegs) {
                PegHoles holes;
                bool found = false;
                if (i == 0) {
                    found = FindPegHoles(gray, holes);
                    std::lock_guard lock(mutex);
                    reference = holes;
                    referenceFound = found;
                    referenceKnown = true;
                    referenceSize = QSize(gray.width, gray.height);
                    changed.notify_all();
                } else {
                    {
                        std::unique_lock lock(mutex);
                        changed.wait(lock, [&] { return referenceKnown || stop; });
                    }
                    // The first drawing's edge is where the holes are on all of them.
                    if (!stop)
                        found = FindPegHoles(gray, holes,
                                             reference.top ? PegEdge::Top : PegEdge::Bottom);
                }
                if (stop) {
                    allowance.Give(taken);
                    return;
                }
                if (!found || !referenceFound) {
                    unmoved[i] = 1;
                } else if (i > 0) {
                    const RigidMove move = MoveOnto(holes, reference);
                    const bool sameSize = referenceSize == QSize(gray.width, gray.height);
                    cleaned = sameSize && options.fit == FitMode::Inside
                                  ? MoveAtFrameScale(gray, move, options, frame)
                                  : MoveAndClean(gray, move, referenceSize, options, frame);
                    if (!cleaned) {
                        allowance.Give(taken);
                        fail(i, ImportTextNoMemory(count, frameSize.width(), frameSize.height()));
                        return;
                    }
                }
            }
            if (!cleaned && !CleanIntoFrame(gray, options, frame)) {
                allowance.Give(taken);
                fail(i, ImportTextNoMemory(count, frameSize.width(), frameSize.height()));
                return;
            }
            allowance.Give(taken);
            if (!keep(i, frame)) return;
            ++done;
            changed.notify_all();
        }
    };

    const int cores =
        std::max(1, std::min(images, static_cast<int>(std::thread::hardware_concurrency())));
    std::vector<std::thread> workers;
    for (int t = 0; t < cores; ++t) workers.emplace_back(work);
    bool cancelled = false;
    for (;;) {
        const int now = done;
        if (progress && !progress(now, images) && !cancelled) {
            cancelled = true;
            std::lock_guard lock(mutex);
            stop = true;
            changed.notify_all();
            allowance.WakeAll();
        }
        if (now >= images || stop) break;
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::milliseconds(50));
    }
    for (std::thread& t : workers) t.join();

    if (cancelled || !failure.isEmpty()) {
        std::vector<CompactImage>().swap(frames);
        outcome.result = cancelled ? IMPORT_CANCELLED : IMPORT_FAILED;
        outcome.error = cancelled ? ImportTextCancelled() : failure;
        return outcome;
    }
    if (progress) progress(images, images);
    for (int f = 0; f < count; ++f) {
        const int first = firstFrame[plan.source[f]];
        if (first != f) frames[f] = frames[first];
    }
    for (int i = 0; i < images; ++i)
        if (unmoved[i]) outcome.unregistered << plan.files[i];
    return outcome;
}
