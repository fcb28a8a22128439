#include "document/AnmFormat.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "framework/Archive.h"
#include "raster/BrushStamp.h"
#include "raster/GrayImage.h"
#include "raster/RunLength.h"

namespace anm {

namespace {
std::atomic<std::uint64_t> g_loadLimit{0};

// Fresh memory costs a page fault per page on first touch; asking for all pages of a range at
// once is cheaper. Only a hint: without kernel support the faults happen as usual.
void Prefault(unsigned char* data, std::size_t bytes) {
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif
    static const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(page - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

// Decodes pieces of frames on worker threads while the reading thread parses the next
// records. Each piece is whole runs that cover a known stretch of one frame, so pieces can be
// decoded in any order. The runs are copied into a few recycled buffers, which bounds the
// memory in flight however large the file.
class ParallelDecoder {
  public:
    static constexpr std::size_t kPieceBytes = std::size_t{256} << 10;

    explicit ParallelDecoder(unsigned threads) : m_buffers(2 * threads + 2) {
        for (unsigned i = 0; i < threads; ++i) {
            try {
                m_threads.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                break;  // fewer threads, or none: the reading thread decodes
            }
        }
    }

    ~ParallelDecoder() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
            m_jobs.clear();
        }
        m_jobReady.notify_all();
        for (std::thread& t : m_threads) t.join();
    }

    // A buffer of kPieceBytes for the runs of the next piece; decodes queued pieces on this
    // thread while none is free.
    unsigned char* TakeBuffer() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            for (Buffer& b : m_buffers)
                if (!b.busy) {
                    if (!b.data) {
                        lock.unlock();
                        auto data = std::make_unique_for_overwrite<unsigned char[]>(kPieceBytes);
                        lock.lock();
                        b.data = std::move(data);
                    }
                    b.busy = true;
                    return b.data.get();
                }
            if (!m_jobs.empty()) {
                RunOne(lock);
            } else {
                m_done.wait(lock);
            }
        }
    }

    // Queues the runs in buffer (from TakeBuffer) for pixels[0 .. count - 1].
    void Submit(unsigned char* buffer, std::size_t bytes, unsigned char* pixels,
                std::size_t count) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_jobs.push_back(Job{buffer, bytes, pixels, count});
        if (m_threads.empty()) {
            RunOne(lock);
            return;
        }
        lock.unlock();
        m_jobReady.notify_one();
    }

    // Helps with what is queued, waits for the rest; false when a piece was damaged.
    bool Finish() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_jobs.empty()) RunOne(lock);
        m_done.wait(lock, [this] { return m_running == 0; });
        return !m_failed;
    }

  private:
    struct Job {
        unsigned char* runs;
        std::size_t bytes;
        unsigned char* pixels;
        std::size_t count;
    };
    struct Buffer {
        std::unique_ptr<unsigned char[]> data;
        bool busy = false;
    };

    // Takes the first queued job and decodes it with the lock released.
    void RunOne(std::unique_lock<std::mutex>& lock) {
        const Job job = m_jobs.front();
        m_jobs.pop_front();
        ++m_running;
        lock.unlock();
        const bool ok = Decode(job);
        lock.lock();
        if (!ok) m_failed = true;
        for (Buffer& b : m_buffers)
            if (b.data.get() == job.runs) b.busy = false;
        --m_running;
        m_done.notify_all();
    }

    // The reader has checked the runs; should they disagree with the stretch, the load fails.
    static bool Decode(const Job& job) {
        Prefault(job.pixels, job.count);
        std::size_t pos = 0;
        for (std::size_t at = 0; at + raster::kRunBytes <= job.bytes; at += raster::kRunBytes) {
            const std::uint32_t len = raster::GetRunLength(job.runs + at);
            if (len > job.count - pos) return false;
            raster::FillRun(job.pixels + pos, job.runs[at], len);
            pos += len;
        }
        return pos == job.count && job.bytes % raster::kRunBytes == 0;
    }

    void Work() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_jobReady.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_stop) return;
            RunOne(lock);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::condition_variable m_done;  // a job finished: a buffer is free
    std::deque<Job> m_jobs;
    std::vector<Buffer> m_buffers;
    std::vector<std::thread> m_threads;
    int m_running = 0;
    bool m_stop = false;
    bool m_failed = false;
};

// Below this many pixels a file decodes faster than threads start.
constexpr std::uint64_t kParallelPixels = std::uint64_t{256} << 10;

}  // namespace

void SetLoadMemoryLimit(std::uint64_t bytes) {
    g_loadLimit = bytes;
}

std::uint64_t LoadMemoryLimit() {
    return g_loadLimit;
}

std::uint64_t LeastBytesForFrames(int count, int width, int height) {
    if (count <= 0 || width <= 0 || height <= 0) return kBrushRecordBytes * 10;
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    const std::uint64_t runs = (pixels + raster::kMaxRunLength - 1) / raster::kMaxRunLength;
    return static_cast<std::uint64_t>(count) * (kFrameHeaderBytes + raster::kRunBytes * runs) +
           kBrushRecordBytes * 10;
}

void StoreHeader(CArchive& ar, const FileHeader& h) {
    ar << h.frameCount << h.currentFrame << h.eraser << h.width << h.height << h.eraser
       << h.drawBrush << h.eraseBrush;
}

void StoreFrameRecord(CArchive& ar, const GrayImage& image) {
    const std::size_t count = image.PixelCount();
    if (image.GetData() == nullptr || count != static_cast<std::size_t>(image.GetWidth()) *
                                                   static_cast<std::size_t>(image.GetHeight()))
        throw CArchiveException(CArchiveException::writeFailed);
    StoreFrameRecord(ar, image.GetData(), image.GetWidth(), image.GetHeight());
}

void StoreFrameRecord(CArchive& ar, const unsigned char* pixels, int width, int height) {
    if (pixels == nullptr || width <= 0 || height <= 0)
        throw CArchiveException(CArchiveException::writeFailed);
    ar << static_cast<std::int32_t>(width);
    ar << static_cast<std::int32_t>(height);
    raster::RunEncoder encoder(pixels,
                               static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    unsigned char block[4096 * raster::kRunBytes];
    while (std::size_t n = encoder.Encode(block, sizeof block)) ar.Write(block, n);
}

namespace {

// Encodes whole frames on worker threads into a ring of buffers, one frame each, which the
// calling thread writes out in order.
class ParallelEncoder {
  public:
    ParallelEncoder(const GrayImage* frames, int count, unsigned threads)
        : m_frames(frames), m_count(count), m_slots(threads + 2) {
        for (unsigned i = 0; i < threads; ++i) {
            try {
                m_threads.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                break;
            }
        }
    }

    ~ParallelEncoder() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        for (std::thread& t : m_threads) t.join();
    }

    bool Started() const { return !m_threads.empty(); }

    // Writes the records in order as their frames are encoded.
    void WriteAll(CArchive& ar) {
        for (int i = 0; i < m_count; ++i) {
            Slot& slot = m_slots[static_cast<std::size_t>(i) % m_slots.size()];
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [&] { return slot.frame == i && slot.ready; });
            lock.unlock();
            if (slot.failed) throw std::bad_alloc();
            ar << static_cast<std::int32_t>(m_frames[i].GetWidth());
            ar << static_cast<std::int32_t>(m_frames[i].GetHeight());
            ar.Write(slot.bytes.get(), slot.size);
            lock.lock();
            slot.ready = false;
            slot.frame = i + static_cast<int>(m_slots.size());  // free for that frame
            lock.unlock();
            m_changed.notify_all();
        }
    }

  private:
    struct Slot {
        int frame = -1;
        bool ready = false;
        bool failed = false;
        std::unique_ptr<unsigned char[]> bytes;
        std::size_t capacity = 0;
        std::size_t size = 0;
    };

    // Encodes a frame into the slot's buffer, which grows as needed and is kept for the next.
    static void Encode(const GrayImage& image, Slot& slot) {
        constexpr std::size_t kLeast = std::size_t{64} << 10;
        raster::RunEncoder encoder(image.GetData(), image.PixelCount());
        slot.size = 0;
        do {
            if (slot.capacity - slot.size < kLeast) {
                const std::size_t grown = std::max(2 * slot.capacity, 4 * kLeast);
                auto bigger = std::make_unique_for_overwrite<unsigned char[]>(grown);
                if (slot.size) std::memcpy(bigger.get(), slot.bytes.get(), slot.size);
                slot.bytes = std::move(bigger);
                slot.capacity = grown;
            }
            slot.size += encoder.Encode(slot.bytes.get() + slot.size, slot.capacity - slot.size);
        } while (!encoder.Done());
    }

    void Work() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            const int i = m_next;
            if (m_stop || i >= m_count) return;
            Slot& slot = m_slots[static_cast<std::size_t>(i) % m_slots.size()];
            // The slot is free once the writer has taken the frame a ring's length before.
            if (slot.frame != i && !(slot.frame == -1 && i < static_cast<int>(m_slots.size()))) {
                m_changed.wait(lock);
                continue;
            }
            ++m_next;
            slot.frame = i;
            lock.unlock();
            const GrayImage& image = m_frames[i];
            bool failed = false;
            try {
                Encode(image, slot);
            } catch (const std::bad_alloc&) {
                failed = true;
            }
            lock.lock();
            slot.failed = failed;
            slot.ready = true;
            m_changed.notify_all();
        }
    }

    const GrayImage* m_frames;
    int m_count;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Slot> m_slots;
    std::vector<std::thread> m_threads;
    int m_next = 0;
    bool m_stop = false;
};

// Larger frames are encoded in small blocks on the calling thread, so that no frame's whole
// record has to be held in memory.
constexpr std::size_t kParallelEncodeMaxPixels = std::size_t{2} << 20;

}  // namespace

void StoreFrameRecords(CArchive& ar, const GrayImage* frames, int count) {
    std::uint64_t pixels = 0;
    bool parallel = count > 1;
    for (int i = 0; i < count; ++i) {
        const GrayImage& f = frames[i];
        const std::size_t n = f.PixelCount();
        if (f.GetData() == nullptr || n > kParallelEncodeMaxPixels ||
            n != static_cast<std::size_t>(f.GetWidth()) * static_cast<std::size_t>(f.GetHeight()))
            parallel = false;
        pixels += n;
    }
    if (parallel && pixels >= kParallelPixels) {
        ParallelEncoder encoder(frames, count, std::max(1u, std::thread::hardware_concurrency()));
        if (encoder.Started()) {
            encoder.WriteAll(ar);
            return;
        }
    }
    for (int i = 0; i < count; ++i) StoreFrameRecord(ar, frames[i]);
}

void LoadFrameRecords(CArchive& ar, GrayImage* frames, int count, int width, int height,
                      const std::shared_ptr<PixelAllocator>& allocator) {
    using raster::kRunBytes;
    constexpr std::size_t kPieceBytes = ParallelDecoder::kPieceBytes;
    const std::uint64_t pixels = static_cast<std::uint64_t>(count) *
                                 static_cast<std::uint64_t>(std::max(width, 0)) *
                                 static_cast<std::uint64_t>(std::max(height, 0));
    ParallelDecoder decoder(
        pixels < kParallelPixels ? 0 : std::max(1u, std::thread::hardware_concurrency()));
    for (int i = 0; i < count; ++i) {
        std::int32_t w = 0;
        std::int32_t h = 0;
        ar >> w >> h;
        if (w != width || h != height || w <= 0 || h <= 0)
            throw CArchiveException(CArchiveException::badFormat);
        if (!frames[i].Create(w, h, allocator))
            throw CArchiveException(CArchiveException::noMemory);
        unsigned char* const px = frames[i].GetData();
        const std::size_t total = frames[i].PixelCount();
        std::size_t pos = 0;
        // Each pass gathers whole runs for one piece, checking that none passes the frame's end.
        while (pos < total) {
            unsigned char* const buf = decoder.TakeBuffer();
            const std::size_t start = pos;
            std::size_t used = 0;
            while (pos < total && used + kRunBytes <= kPieceBytes) {
                const unsigned char* data = nullptr;
                const std::size_t avail = ar.Peek(&data);
                if (avail < kRunBytes) {
                    // A run split by the end of the archive's buffer (or of the file).
                    ar.ReadExact(buf + used, kRunBytes);
                    const std::uint32_t len = raster::GetRunLength(buf + used);
                    if (len > total - pos) throw CArchiveException(CArchiveException::badFormat);
                    pos += len;
                    used += kRunBytes;
                    continue;
                }
                const std::size_t most = std::min(avail, kPieceBytes - used) / kRunBytes;
                std::size_t k = 0;
                while (k < most && pos < total) {
                    const std::uint32_t len = raster::GetRunLength(data + k * kRunBytes);
                    if (len > total - pos) throw CArchiveException(CArchiveException::badFormat);
                    pos += len;
                    ++k;
                }
                std::memcpy(buf + used, data, k * kRunBytes);
                used += k * kRunBytes;
                ar.Consume(k * kRunBytes);
            }
            decoder.Submit(buf, used, px + start, pos - start);
        }
    }
    if (!decoder.Finish()) throw CArchiveException(CArchiveException::badFormat);
}

BrushRecord BrushRecordOf(const BrushStamp& brush) {
    return {brush.GetSize(), brush.GetHardness()};
}

void StoreBrushRecord(CArchive& ar, const BrushRecord& brush) {
    ar << static_cast<std::int32_t>(brush.size);
    ar << static_cast<std::int32_t>(brush.hardness);
}

BrushRecord LoadBrushRecord(CArchive& ar) {
    std::int32_t size = 0;
    std::int32_t hardness = 0;
    ar >> size >> hardness;
    if (size < kMinBrushSize || size > kMaxBrushSize)
        throw CArchiveException(CArchiveException::badFormat);
    return {size, hardness};
}

}  // namespace anm
