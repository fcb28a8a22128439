// Handlers that later work fills in; each stays off the menus until it does.
#include "document/LumvaneDoc.h"
#include "framework/Archive.h"

void CLumvaneDoc::Serialize(CArchive&) {}
int CLumvaneDoc::OnNewDocument() {
    return CreateAnimation(644, 480);
}
void CLumvaneDoc::OnRevertToSaved() {}
void CLumvaneDoc::OnClearFrame() {}
void CLumvaneDoc::OnEditUndo() {}
void CLumvaneDoc::OnAddFrame() {}
void CLumvaneDoc::OnDeleteFrame() {}
void CLumvaneDoc::OnFirstFrame() {}
void CLumvaneDoc::OnPrevFrame() {}
void CLumvaneDoc::OnNextFrame() {}
void CLumvaneDoc::OnLastFrame() {}
void CLumvaneDoc::OnOnionSkin() {}
void CLumvaneDoc::OnCopy() {}
void CLumvaneDoc::OnPaste() {}
void CLumvaneDoc::OnPasteLines() {}
void CLumvaneDoc::OnBoxSelection() {}
