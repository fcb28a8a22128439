#pragma once

class CFrameWnd;
class CLumvaneDoc;
class IWaveOutSystem;
class QWidget;

// Audio > Import Sound...: asks for any sound or video file, decodes its sound track off the
// window thread (a progress window with Cancel shows when that takes more than a moment) and
// makes it the document's track. A failure or Cancel keeps the track loaded before.
void OnImportSound(CLumvaneDoc& doc, IWaveOutSystem& waveOut, QWidget* parent);

// Adds Import Sound to the document's command table, always enabled. The references must
// outlive the document's use of its table.
void RegisterSoundImportCommand(CLumvaneDoc& doc, CFrameWnd* frame, IWaveOutSystem& waveOut);
