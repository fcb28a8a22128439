#include "document/RecoveryCopy.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>
#include <vector>

#include "document/AnmFormat.h"
#include "document/LumvaneDoc.h"
#include "framework/Archive.h"

namespace {

constexpr mode_t kPrivateFile = S_IRUSR | S_IWUSR;
const QString kCopySuffix = QStringLiteral(".anm");
const QString kInfoSuffix = QStringLiteral(".recovery");
const QString kLockSuffix = QStringLiteral(".lock");
const QString kDamagedSuffix = QStringLiteral(".damaged");

// Where a frame's record lies in the copy written last, so the next copy can take it as is.
struct WrittenRecord {
    std::uint64_t version = 0;
    qint64 offset = 0;
    qint64 length = 0;
};

using Brushes = std::array<anm::BrushRecord, CLumvaneDoc::kBrushCount>;

struct Snapshot {
    struct Frame {
        std::uint64_t id = 0;
        std::uint64_t version = 0;
        // Empty: the record of the previous copy. The document never changes an encoding it
        // has handed out, so the copy reads it while drawing goes on.
        CompactImage image;
        WrittenRecord previous;
    };
    anm::FileHeader header;
    Brushes brushes;
    std::vector<Frame> frames;
    QString path;
    QString title;
};

struct Cancelled {};

// A lock that is taken over only from a program that is gone, however old its file is.
std::unique_ptr<QLockFile> MakeLock(const QString& path) {
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    return lock;
}

int ErrorOr(int fallback) {
    return errno != 0 ? errno : fallback;
}

bool SameExceptCurrentFrame(anm::FileHeader a, anm::FileHeader b) {
    // Moving through the frames alone is not worth a new copy.
    a.currentFrame = b.currentFrame;
    return a == b;
}

// The name to set a damaged file aside under: base.damaged, or base.damaged2 ... when taken.
QString FreeName(const QString& base) {
    QString name = base + kDamagedSuffix;
    for (int n = 2; QFileInfo::exists(name); ++n) name = base + kDamagedSuffix + QString::number(n);
    return name;
}

}  // namespace

namespace recovery {
QString DefaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/recovery");
}
}  // namespace recovery

// ---- copies left by earlier runs ----

CRecoveredCopy::CRecoveredCopy() = default;
CRecoveredCopy::CRecoveredCopy(CRecoveredCopy&&) noexcept = default;
CRecoveredCopy& CRecoveredCopy::operator=(CRecoveredCopy&&) noexcept = default;
CRecoveredCopy::~CRecoveredCopy() = default;

void CRecoveredCopy::Delete() {
    QFile::remove(copyPath);
    QFile::remove(infoPath);
    lock.reset();
}

void CRecoveredCopy::SetAside() {
    if (QFileInfo::exists(copyPath)) QFile::rename(copyPath, FreeName(copyPath));
    if (QFileInfo::exists(infoPath)) QFile::rename(infoPath, FreeName(infoPath));
    lock.reset();
}

std::vector<CRecoveredCopy> FindAbandonedCopies(const QString& folder) {
    std::vector<CRecoveredCopy> copies;
    const QDir dir(folder);
    for (const QFileInfo& info :
         dir.entryInfoList({QStringLiteral("*") + kInfoSuffix}, QDir::Files)) {
        CRecoveredCopy c;
        c.id = info.fileName().chopped(kInfoSuffix.size());
        c.lock = MakeLock(dir.filePath(c.id + kLockSuffix));
        // Held: the program that writes it is running.
        if (!c.lock->tryLock(0)) continue;
        c.copyPath = dir.filePath(c.id + kCopySuffix);
        c.infoPath = info.absoluteFilePath();
        if (!QFileInfo::exists(c.copyPath)) {
            // Its program ended before the first copy was written: nothing to offer.
            c.Delete();
            continue;
        }
        c.time = info.lastModified().toUTC();
        QFile file(c.infoPath);
        if (file.open(QIODevice::ReadOnly)) {
            const QJsonObject o = QJsonDocument::fromJson(file.read(64 * 1024)).object();
            const QDateTime time = QDateTime::fromString(o.value(QStringLiteral("time")).toString(),
                                                         Qt::ISODateWithMs);
            if (o.value(QStringLiteral("title")).isString() && time.isValid()) {
                c.readable = true;
                c.originalPath = o.value(QStringLiteral("path")).toString();
                c.title = o.value(QStringLiteral("title")).toString();
                c.time = time.toUTC();
                c.pid = o.value(QStringLiteral("pid")).toInteger();
            }
        }
        copies.push_back(std::move(c));
    }
    std::stable_sort(
        copies.begin(), copies.end(),
        [](const CRecoveredCopy& a, const CRecoveredCopy& b) { return a.time > b.time; });
    return copies;
}

// ---- the writer ----

struct CRecoveryWriter::Impl {
    explicit Impl(CRecoveryWriter& owner, const QString& folder) : owner(owner), folder(folder) {
        static std::atomic<int> serial{0};
        ownId = QStringLiteral("%1-%2-%3")
                    .arg(QCoreApplication::applicationPid())
                    .arg(QDateTime::currentMSecsSinceEpoch())
                    .arg(serial.fetch_add(1));
        id = ownId;
    }

    CRecoveryWriter& owner;
    const QString folder;
    QString ownId;
    // Owned by the worker while a copy is written, by the window thread otherwise.
    QString id;
    std::unique_ptr<QLockFile> lock;
    std::unordered_map<std::uint64_t, WrittenRecord> written;  // the records of the last copy
    bool hasCopy = false;

    // What the last snapshot saw (window thread only).
    bool haveLast = false;
    std::uint64_t lastChange = 0;
    anm::FileHeader lastHeader;
    Brushes lastBrushes;
    QString lastPath;
    QString lastTitle;

    std::mutex mutex;
    std::condition_variable changed;
    std::unique_ptr<Snapshot> job;
    bool busy = false;
    bool stop = false;
    std::atomic<bool> cancel{false};
    std::atomic<bool> failed{false};
    std::thread thread;

    QString CopyPath() const { return QDir(folder).filePath(id + kCopySuffix); }
    QString InfoPath() const { return QDir(folder).filePath(id + kInfoSuffix); }

    void Run() {
        // Below the window thread: a copy woken up must not push drawing aside.
        sched_param param{};
        pthread_setschedparam(pthread_self(), SCHED_BATCH, &param);
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
        std::unique_lock<std::mutex> guard(mutex);
        for (;;) {
            changed.wait(guard, [this] { return stop || job; });
            if (stop) return;
            std::unique_ptr<Snapshot> s = std::move(job);
            guard.unlock();
            const int error = Write(*s);
            s.reset();
            if (error > 0) failed = true;
            if (error >= 0 && owner.m_onWritten) owner.m_onWritten(error);
            guard.lock();
            busy = false;
            changed.notify_all();
        }
    }

    // 0 when written, -1 when cancelled, otherwise an error number.
    int Write(Snapshot& s) {
        errno = 0;
        if (!QDir().mkpath(folder)) return ErrorOr(EACCES);
        // Drawings are private: the folder is the user's alone, whoever made it and when.
        ::chmod(QFile::encodeName(folder).constData(), S_IRWXU);
        if (!lock) {
            const QString lockPath = QDir(folder).filePath(id + kLockSuffix);
            lock = MakeLock(lockPath);
            errno = 0;
            if (!lock->tryLock(0)) {
                const int error =
                    lock->error() == QLockFile::PermissionError ? EACCES : ErrorOr(EIO);
                lock.reset();
                return error;
            }
            ::chmod(QFile::encodeName(lockPath).constData(), kPrivateFile);
        }
        // The side file comes first, so that a copy on disk always has its name.
        if (!hasCopy)
            if (const int error = WriteInfo(s)) return error;
        if (const int error = WriteCopy(s)) return error;
        hasCopy = true;
        return WriteInfo(s);
    }

    int WriteCopy(Snapshot& s) {
        QSaveFile out(CopyPath());
        out.setDirectWriteFallback(false);
        errno = 0;
        if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return ErrorOr(EIO);
        ::fchmod(out.handle(), kPrivateFile);
        std::unordered_map<std::uint64_t, WrittenRecord> table;
        try {
            QFile previous(CopyPath());
            std::vector<char> chunk;
            CArchive ar(&out, CArchive::store);
            anm::StoreHeader(ar, s.header);
            for (Snapshot::Frame& f : s.frames) {
                if (cancel) throw Cancelled();
                const auto at = static_cast<qint64>(ar.Position());
                if (!f.image.Empty()) {
                    anm::StoreFrameRecord(ar, f.image);
                    f.image = CompactImage();
                } else {
                    CopyRecord(previous, f.previous, ar, chunk);
                }
                table[f.id] = {f.version, at, static_cast<qint64>(ar.Position()) - at};
            }
            for (const anm::BrushRecord& b : s.brushes) anm::StoreBrushRecord(ar, b);
            ar.Flush();
        } catch (const Cancelled&) {
            out.cancelWriting();
            return -1;
        } catch (const CArchiveException& e) {
            out.cancelWriting();
            if (e.m_cause == CArchiveException::readFailed) written.clear();
            return e.m_nOsError != 0 ? e.m_nOsError : EIO;
        } catch (const std::bad_alloc&) {
            out.cancelWriting();
            return ENOMEM;
        }
        errno = 0;
        if (!out.commit()) return ErrorOr(EIO);
        written = std::move(table);
        return 0;
    }

    // Copies a frame record of the previous copy into the new one.
    void CopyRecord(QFile& previous, const WrittenRecord& r, CArchive& ar,
                    std::vector<char>& chunk) {
        constexpr qint64 kChunk = qint64{1} << 20;
        errno = 0;
        if ((!previous.isOpen() && !previous.open(QIODevice::ReadOnly)) || !previous.seek(r.offset))
            throw CArchiveException(CArchiveException::readFailed, ErrorOr(EIO));
        chunk.resize(static_cast<std::size_t>(std::min(kChunk, r.length)));
        for (qint64 left = r.length; left > 0;) {
            if (cancel) throw Cancelled();
            const qint64 n = previous.read(chunk.data(), std::min(kChunk, left));
            if (n <= 0) throw CArchiveException(CArchiveException::readFailed, ErrorOr(EIO));
            ar.Write(chunk.data(), static_cast<std::size_t>(n));
            left -= n;
        }
    }

    int WriteInfo(const Snapshot& s) {
        const QJsonObject o{
            {QStringLiteral("path"), s.path},
            {QStringLiteral("title"), s.title},
            {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
            {QStringLiteral("pid"), QCoreApplication::applicationPid()}};
        const QByteArray bytes = QJsonDocument(o).toJson();
        QSaveFile out(InfoPath());
        out.setDirectWriteFallback(false);
        errno = 0;
        if (!out.open(QIODevice::WriteOnly)) return ErrorOr(EIO);
        ::fchmod(out.handle(), kPrivateFile);
        if (out.write(bytes) != bytes.size()) {
            const int error = ErrorOr(EIO);
            out.cancelWriting();
            return error;
        }
        errno = 0;
        return out.commit() ? 0 : ErrorOr(EIO);
    }
};

CRecoveryWriter::CRecoveryWriter(const QString& folder) : d(std::make_unique<Impl>(*this, folder)) {
    d->thread = std::thread([this] { d->Run(); });
}

CRecoveryWriter::~CRecoveryWriter() {
    Discard();
    {
        std::lock_guard<std::mutex> guard(d->mutex);
        d->stop = true;
    }
    d->changed.notify_all();
    d->thread.join();
}

bool CRecoveryWriter::Busy() const {
    std::lock_guard<std::mutex> guard(d->mutex);
    return d->busy;
}

void CRecoveryWriter::WaitUntilIdle() {
    std::unique_lock<std::mutex> guard(d->mutex);
    d->changed.wait(guard, [this] { return !d->busy; });
}

QString CRecoveryWriter::Folder() const {
    return d->folder;
}

QString CRecoveryWriter::CopyPath() const {
    std::lock_guard<std::mutex> guard(d->mutex);
    return d->hasCopy ? d->CopyPath() : QString();
}

QString CRecoveryWriter::InfoPath() const {
    std::lock_guard<std::mutex> guard(d->mutex);
    return d->hasCopy ? d->InfoPath() : QString();
}

CRecoveryWriter::Result CRecoveryWriter::Copy(CLumvaneDoc& doc) {
    if (Busy()) return Result::Busy;
    if (doc.StrokeActive()) return Result::InStroke;
    const int count = doc.m_nFrameCount;
    if (count <= 0 || count > CLumvaneDoc::kMaxFrames) return Result::Unchanged;

    const anm::FileHeader header{count,         doc.m_nCurrentFrame, doc.m_bEraser,    doc.m_nWidth,
                                 doc.m_nHeight, doc.m_nDrawBrush,    doc.m_nEraseBrush};
    Brushes brushes;
    for (int i = 0; i < CLumvaneDoc::kBrushCount; ++i)
        brushes[static_cast<std::size_t>(i)] = anm::BrushRecordOf(doc.m_brushes[i]);
    if (d->haveLast && !d->failed && d->lastChange == doc.ChangeCount() &&
        SameExceptCurrentFrame(header, d->lastHeader) && brushes == d->lastBrushes &&
        doc.GetPathName() == d->lastPath && doc.GetTitle() == d->lastTitle)
        return Result::Unchanged;

    auto s = std::make_unique<Snapshot>();
    s->header = header;
    s->brushes = brushes;
    s->path = doc.GetPathName();
    s->title = doc.GetTitle();
    s->frames.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const FrameMark& mark = doc.Mark(i);
        Snapshot::Frame& f = s->frames[static_cast<std::size_t>(i)];
        f.id = mark.id;
        f.version = mark.version;
        const auto it = d->written.find(mark.id);
        if (mark.id != 0 && it != d->written.end() && it->second.version == mark.version) {
            f.previous = it->second;
            continue;
        }
        f.image = doc.StoredFrame(i);
        if (f.image.Empty()) return Result::InStroke;  // a change not yet encoded: later
    }
    d->haveLast = true;
    d->lastChange = doc.ChangeCount();
    d->lastHeader = header;
    d->lastBrushes = brushes;
    d->lastPath = s->path;
    d->lastTitle = s->title;
    d->failed = false;
    {
        std::lock_guard<std::mutex> guard(d->mutex);
        d->job = std::move(s);
        d->busy = true;
    }
    d->changed.notify_all();
    return Result::Started;
}

void CRecoveryWriter::Discard() {
    d->cancel = true;
    WaitUntilIdle();
    d->cancel = false;
    if (d->hasCopy || d->lock) {
        QFile::remove(d->CopyPath());
        QFile::remove(d->InfoPath());
    }
    d->lock.reset();
    d->hasCopy = false;
    d->written.clear();
    d->haveLast = false;
    d->id = d->ownId;
}

void CRecoveryWriter::Adopt(CRecoveredCopy& copy) {
    Discard();
    d->id = copy.id;
    d->lock = std::move(copy.lock);
    d->hasCopy = true;
}
