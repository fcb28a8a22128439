// libFuzzer target for the .anm reader: any bytes either load or are refused with an archive
// exception; the sanitizers catch every read or write outside a buffer.
#include <QBuffer>
#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "document/AnmFormat.h"
#include "document/LumvaneDoc.h"
#include "framework/Archive.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Big frames are legal but would only measure memset; keep each input small.
    anm::SetLoadMemoryLimit(64u << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    CLumvaneDoc doc;
    try {
        CArchive ar(&buffer, CArchive::load, 4096);
        doc.Serialize(ar);
    } catch (const CArchiveException&) {
        return 0;
    }
    // A loaded animation keeps the document's invariants.
    if (doc.m_nFrameCount < 1 || doc.m_nFrameCount > CLumvaneDoc::kMaxFrames ||
        doc.m_nCurrentFrame < 0 || doc.m_nCurrentFrame >= doc.m_nFrameCount)
        __builtin_trap();
    const std::size_t pixels =
        static_cast<std::size_t>(doc.m_nWidth) * static_cast<std::size_t>(doc.m_nHeight);
    GrayImage decoded;
    for (int i = 0; i < doc.m_nFrameCount; ++i) {
        if (doc.m_frames[i].PixelCount() != pixels) __builtin_trap();
        // Every kept encoding decodes within the frame.
        if (!doc.m_frames[i].Decode(decoded)) __builtin_trap();
    }
    return 0;
}
