#pragma once

// Frame pixels for tests: the document keeps frames encoded, so a test reads a frame decoded
// and sets one up by giving the document its encoding, as a loaded file would.

#include <cstddef>
#include <memory>
#include <vector>

#include "document/LumvaneDoc.h"
#include "raster/CompactImage.h"
#include "raster/GrayImage.h"

namespace frames {

// Frame index decoded; an empty image outside the animation. Valid while the result is held.
inline std::shared_ptr<const GrayImage> Read(const CLumvaneDoc& doc, int index) {
    std::shared_ptr<const GrayImage> f = doc.FramePixels(index);
    return f ? f : std::make_shared<const GrayImage>();
}

// Frame index as bytes.
inline std::vector<unsigned char> Bytes(const CLumvaneDoc& doc, int index) {
    const std::shared_ptr<const GrayImage> f = Read(doc, index);
    if (!f->GetData()) return {};
    return std::vector<unsigned char>(f->GetData(), f->GetData() + f->PixelCount());
}

inline void Set(CLumvaneDoc& doc, int index, const GrayImage& image) {
    doc.m_frames[index] = CompactImage::Encode(image);
}

// Frame index of the document's size, every pixel value.
inline void Fill(CLumvaneDoc& doc, int index, int value) {
    doc.m_frames[index] =
        CompactImage::Filled(doc.m_nWidth, doc.m_nHeight, static_cast<unsigned char>(value));
}

// Frame index decoded for writing; encoded back into the document when the edit goes. A frame
// that is not there yet starts white, at the document's size.
class Edit {
  public:
    Edit(CLumvaneDoc& doc, int index) : m_doc(doc), m_index(index) {
        if (!doc.m_frames[index].Decode(m_image)) {
            m_image.Create(doc.m_nWidth, doc.m_nHeight);
            m_image.Fill(255);
        }
    }
    ~Edit() {
        if (m_image.GetData()) Set(m_doc, m_index, m_image);
    }
    Edit(const Edit&) = delete;
    Edit& operator=(const Edit&) = delete;
    GrayImage* operator->() { return &m_image; }
    GrayImage& operator*() { return m_image; }

  private:
    CLumvaneDoc& m_doc;
    int m_index;
    GrayImage m_image;
};

}  // namespace frames
