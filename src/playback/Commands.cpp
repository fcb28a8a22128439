#include <QPointer>
#include <memory>

#include "document/LumvaneDoc.h"
#include "framework/FrameWnd.h"
#include "playback/Playback.h"

std::shared_ptr<CPlayback> RegisterPlaybackCommands(CLumvaneDoc& doc, CFrameWnd* frame,
                                                    IWaveOutSystem& waveOut,
                                                    IPlaybackClock& clock) {
    CLumvaneDoc* d = &doc;
    IWaveOutSystem* out = &waveOut;
    auto player = std::make_shared<CPlayback>(doc, frame, clock);
    doc.OnCommand(ID_FRAMES_PLAY, [player] { player->OnPlay(); });
    player->SetLoop(LoopPlaybackSetting());
    doc.OnCommand(ID_FRAMES_LOOPPLAYBACK, [player] {
        player->SetLoop(!player->IsLooping());
        SetLoopPlaybackSetting(player->IsLooping());
    });
    doc.OnUpdateCommand(ID_FRAMES_LOOPPLAYBACK, [player](CCmdUI* ui) {
        ui->Enable(true);
        ui->SetCheck(player->IsLooping() ? 1 : 0);
    });
    doc.OnCommand(ID_FRAMES_SETTINGS,
                  [d, f = QPointer<CFrameWnd>(frame)] { OnFrameSettings(*d, f); });
    doc.OnCommand(ID_AUDIO_LOAD, [d, out] { OnAudioLoad(*d, *out); });
    for (int id : {ID_FRAMES_PLAY, ID_FRAMES_SETTINGS, ID_AUDIO_LOAD})
        doc.OnUpdateCommand(id, [](CCmdUI* ui) { ui->Enable(true); });
    return player;
}
