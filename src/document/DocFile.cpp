// Reading and writing .anm files, New and Revert To Saved.
#include "document/LumvaneDoc.h"
#include "framework/Archive.h"

void CLumvaneDoc::Serialize(CArchive&) {}
int CLumvaneDoc::OnNewDocument() {
    return CreateAnimation(644, 480);
}
void CLumvaneDoc::OnRevertToSaved() {}
