#include "export/GifWriter.h"

#include <algorithm>
#include <cstring>

#include "export/MovieFile.h"
#include "raster/GrayImage.h"

namespace {
constexpr unsigned kClearCode = 256;
constexpr unsigned kEndCode = 257;
constexpr unsigned kFirstFree = 258;
constexpr unsigned kCodeLimit = 4096;  // 12-bit codes
constexpr int kFirstCodeBits = 9;
constexpr std::size_t kHashBits = 13;  // twice the codes, so probes stay short
constexpr std::size_t kHashSize = std::size_t{1} << kHashBits;

// Byte by byte: g++ 12 warns wrongly about vector::insert of small arrays at -O3.
void Append(std::vector<unsigned char>& b, const unsigned char* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) b.push_back(bytes[i]);
}

void Put16(std::vector<unsigned char>& b, int v) {
    b.push_back(static_cast<unsigned char>(v & 0xFF));
    b.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}

// Codes packed from the low bit up into data sub-blocks of at most 255 bytes.
class CodeWriter {
  public:
    explicit CodeWriter(std::vector<unsigned char>& out) : m_out(out) {}
    void Put(unsigned code, int bits) {
        m_acc |= code << m_bits;
        m_bits += bits;
        while (m_bits >= 8) {
            Byte(static_cast<unsigned char>(m_acc & 0xFF));
            m_acc >>= 8;
            m_bits -= 8;
        }
    }
    void Finish() {
        if (m_bits > 0) Byte(static_cast<unsigned char>(m_acc & 0xFF));
        FlushBlock();
        m_out.push_back(0);  // block terminator
    }

  private:
    void Byte(unsigned char b) {
        m_block[m_len++] = b;
        if (m_len == 255) FlushBlock();
    }
    void FlushBlock() {
        if (m_len == 0) return;
        m_out.push_back(static_cast<unsigned char>(m_len));
        m_out.insert(m_out.end(), m_block, m_block + m_len);
        m_len = 0;
    }
    std::vector<unsigned char>& m_out;
    std::uint32_t m_acc = 0;
    int m_bits = 0;
    unsigned char m_block[255];
    int m_len = 0;
};

// round(k x 100 / fps), halves up.
int EndOfFrame(long long k, int fps) {
    return static_cast<int>((200 * k + fps) / (2LL * fps));
}
}  // namespace

int GifFrameDelay(int k, int fps) {
    return EndOfFrame(k + 1LL, fps) - EndOfFrame(k, fps);
}

bool GifWriter::Begin(int width, int height) {
    m_width = width;
    m_height = height;
    std::vector<unsigned char>& b = m_bytes;
    b.clear();
    static const unsigned char kMagic[] = {'G', 'I', 'F', '8', '9', 'a'};
    Append(b, kMagic, sizeof kMagic);
    Put16(b, width);
    Put16(b, height);
    b.push_back(0xF7);  // a global table of 256 entries, 8 bits per primary
    b.push_back(255);   // background: white
    b.push_back(0);     // square pixels
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c) b.push_back(static_cast<unsigned char>(i));
    static const unsigned char kLoop[] = {0x21, 0xFF, 0x0B, 'N', 'E',  'T',  'S', 'C', 'A', 'P',
                                          'E',  '2',  '.',  '0', 0x03, 0x01, 0,   0,   0};
    Append(b, kLoop, sizeof kLoop);  // loop count 0: for ever
    return m_out.Write(b.data(), b.size());
}

bool GifWriter::AddFrame(const GrayImage& frame, int delay) {
    std::vector<unsigned char>& b = m_bytes;
    b.clear();
    // Graphic control: leave the frame in place, the delay, no transparency.
    const unsigned char control[] = {0x21, 0xF9, 0x04, 0x04};
    Append(b, control, sizeof control);
    Put16(b, delay);
    b.push_back(0);
    b.push_back(0);
    b.push_back(0x2C);  // image descriptor: the whole screen, no local table, not interlaced
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, m_width);
    Put16(b, m_height);
    b.push_back(0);
    b.push_back(8);  // minimum code size
    Lzw(frame.GetData(), m_width, m_height);
    return m_out.Write(b.data(), b.size());
}

bool GifWriter::End() {
    const unsigned char trailer = 0x3B;
    return m_out.Write(&trailer, 1);
}

// Table entries: (prefix << 8 | byte) + 1 in the high bits (0 = free), the code in the low 12.
void GifWriter::Lzw(const unsigned char* rows, int width, int height) {
    CodeWriter out(m_bytes);
    m_table.assign(kHashSize, 0);
    unsigned next = kFirstFree;
    int bits = kFirstCodeBits;
    out.Put(kClearCode, bits);
    // Emits a code, then widens the codes once the decoder's table reaches the next power of 2.
    auto putCode = [&](unsigned code) {
        out.Put(code, bits);
        if (next >= (1u << bits) && bits < 12) ++bits;
    };
    long prefix = -1;
    // Top row of the picture first: the last stored row.
    for (int y = height - 1; y >= 0; --y) {
        const unsigned char* row = rows + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            const unsigned c = row[x];
            if (prefix < 0) {
                prefix = c;
                continue;
            }
            const std::uint64_t key = (static_cast<std::uint64_t>(prefix) << 8 | c) + 1;
            std::size_t h =
                static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 40) & (kHashSize - 1);
            bool found = false;
            for (; m_table[h] != 0; h = (h + 1) & (kHashSize - 1)) {
                if ((m_table[h] >> 12) == key) {
                    prefix = m_table[h] & 0xFFF;
                    found = true;
                    break;
                }
            }
            if (found) continue;
            putCode(static_cast<unsigned>(prefix));
            if (next < kCodeLimit) {
                m_table[h] = key << 12 | next;
                ++next;
            } else {
                putCode(kClearCode);
                std::fill(m_table.begin(), m_table.end(), 0);
                next = kFirstFree;
                bits = kFirstCodeBits;
            }
            prefix = c;
        }
    }
    if (prefix >= 0) putCode(static_cast<unsigned>(prefix));
    out.Put(kEndCode, bits);
    out.Finish();
}
