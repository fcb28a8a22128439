#pragma once

// Image files for the import tests, written with Qt's writers or byte by byte.
#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <cstdint>

namespace importtest {

inline bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A picture split in a dark left part (value dark) and a light right part (value light).
inline QImage TwoTone(int w, int h, QImage::Format format, int dark, int light) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int v = x < w / 2 ? dark : light;
            image.setPixel(x, y, qRgb(v, v, v));
        }
    return image.convertToFormat(format);
}

inline std::uint32_t Crc32(const QByteArray& data) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (char ch : data) {
        c ^= static_cast<unsigned char>(ch);
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return c ^ 0xFFFFFFFFu;
}

inline void Big32(QByteArray& out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.append(static_cast<char>((v >> s) & 0xFF));
}

// A PNG whose header claims width x height and whose data is an empty compressed stream.
inline QByteArray PngHeaderOnly(std::uint32_t width, std::uint32_t height) {
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray ihdr("IHDR");
    Big32(ihdr, width);
    Big32(ihdr, height);
    ihdr.append("\x08\x00\x00\x00\x00", 5);  // 8-bit gray
    Big32(png, 13);
    png.append(ihdr);
    Big32(png, Crc32(ihdr));
    // Readers take the size once they reach the first data chunk.
    QByteArray idat("IDAT\x78\x9c\x03\x00\x00\x00\x00\x01", 12);
    Big32(png, 8);
    png.append(idat);
    Big32(png, Crc32(idat));
    Big32(png, 0);
    png.append("IEND");
    Big32(png, Crc32("IEND"));
    return png;
}

// A JPEG of image with an EXIF block that says how the picture is to be turned (1 to 8).
inline QByteArray JpegWithOrientation(const QImage& image, int orientation) {
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 100);
    // APP1: "Exif\0\0", a little-endian TIFF header and one IFD entry, Orientation (0x0112).
    QByteArray tiff("II\x2a\x00\x08\x00\x00\x00", 8);
    tiff.append("\x01\x00", 2);                          // one entry
    tiff.append("\x12\x01\x03\x00\x01\x00\x00\x00", 8);  // tag, SHORT, count 1
    tiff.append(static_cast<char>(orientation));
    tiff.append("\x00\x00\x00", 3);
    tiff.append("\x00\x00\x00\x00", 4);  // no next IFD
    QByteArray app1("Exif\x00\x00", 6);
    app1.append(tiff);
    QByteArray segment("\xFF\xE1", 2);
    const int length = app1.size() + 2;
    segment.append(static_cast<char>(length >> 8));
    segment.append(static_cast<char>(length & 0xFF));
    segment.append(app1);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

}  // namespace importtest
