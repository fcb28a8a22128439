#pragma once

#include "document/LumvaneDoc.h"

// Fills the current frame with one value the way every writer changes pixels: through the
// document's door, with its undo step, change mark and modified flag.
inline void FillThroughDoor(CLumvaneDoc& doc, int value) {
    doc.ChangePixels({0, 0, doc.m_nWidth, doc.m_nHeight}, [value](GrayImage& f) { f.Fill(value); });
}
