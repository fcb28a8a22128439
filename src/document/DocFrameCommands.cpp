// Commands on whole frames: clear, undo, add, delete, move, onion skin.
#include "document/LumvaneDoc.h"

void CLumvaneDoc::OnClearFrame() {}
void CLumvaneDoc::OnEditUndo() {}
void CLumvaneDoc::OnAddFrame() {}
void CLumvaneDoc::OnDeleteFrame() {}
void CLumvaneDoc::OnFirstFrame() {}
void CLumvaneDoc::OnPrevFrame() {}
void CLumvaneDoc::OnNextFrame() {}
void CLumvaneDoc::OnLastFrame() {}
void CLumvaneDoc::OnOnionSkin() {}
