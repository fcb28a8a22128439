#include "document/LumvaneDoc.h"
#include "playback/Playback.h"

void RegisterPlaybackCommands(CLumvaneDoc& doc, IWaveOutSystem& waveOut, IPlaybackClock& clock) {
    CLumvaneDoc* d = &doc;
    IWaveOutSystem* out = &waveOut;
    IPlaybackClock* c = &clock;
    doc.OnCommand(ID_FRAMES_PLAY, [d, c] { OnPlay(*d, *c); });
    doc.OnCommand(ID_FRAMES_SETTINGS, [d] { OnFrameSettings(*d); });
    doc.OnCommand(ID_AUDIO_LOAD, [d, out] { OnAudioLoad(*d, *out); });
    for (int id : {ID_FRAMES_PLAY, ID_FRAMES_SETTINGS, ID_AUDIO_LOAD})
        doc.OnUpdateCommand(id, [](CCmdUI* ui) { ui->Enable(true); });
}
