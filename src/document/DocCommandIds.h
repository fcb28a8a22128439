#pragma once

#include "framework/CommandIds.h"

// The program's own command ids (the framework's standard ones are in framework/CommandIds.h),
// and the digit keys' frame offsets.
enum : int {
    ID_EDIT_CLEARFRAME = 32771,
    ID_FRAMES_FIRSTFRAME = 32773,
    ID_FRAMES_LASTFRAME = 32778,
    ID_FRAMES_SETTINGS = 32779,
    ID_FRAMES_ADDFRAME = 32784,
    ID_FRAMES_DELETEFRAME = 32785,
    ID_FRAMES_NEXTFRAME = 32788,
    ID_FRAMES_PREVFRAME = 32789,
    ID_EDIT_BRUSHSETTINGS = 32791,
    ID_VIEW_ONIONSKIN = 32793,
    ID_TOGGLE_ERASER = 32800,
    ID_FILE_EXPORT = 32801,
    // Keys 1 to 9: frames -4 .. +4 from the current one.
    ID_FRAME_KEY_MINUS1 = 32802,
    ID_FRAME_KEY_MINUS2 = 32803,
    ID_FRAME_KEY_MINUS3 = 32804,
    ID_FRAME_KEY_MINUS4 = 32805,
    ID_FRAME_KEY_PLUS1 = 32806,
    ID_FRAME_KEY_PLUS2 = 32807,
    ID_FRAME_KEY_PLUS3 = 32808,
    ID_FRAME_KEY_PLUS4 = 32809,
    ID_EDIT_BOXSELECTION = 32810,
    ID_FILE_EXPORTMOVIE = 32811,
    ID_EDIT_PASTELINES = 32814,
    ID_FRAME_KEY_CURRENT = 32815,
    ID_FILE_REVERTTOSAVED = 32817,
    ID_FRAMES_PLAY = 32818,
    ID_AUDIO_LOAD = 32824,
    ID_AUDIO_SOUND = 32827,
    ID_AUDIO_IMPORTSOUND = 32840,
    // View > Zoom In, Zoom Out, Actual Size, Fit in Window.
    ID_VIEW_ZOOMIN = 32850,
    ID_VIEW_ZOOMOUT = 32851,
    ID_VIEW_ACTUALSIZE = 32852,
    ID_VIEW_FITINWINDOW = 32853,
    ID_FRAMES_LOOPPLAYBACK = 32860,
    ID_EDIT_PREFERENCES = 32861,
    ID_FILE_IMPORTDRAWINGS = 32870,
    ID_FRAMES_CAPTURE = 32880,
    ID_FRAMES_CAPTURESETTINGS = 32881,
};

// The offset from the current frame that each digit-key command stands for (-4 .. +4),
// or 0 with ok = false for any other id.
inline int FrameKeyOffset(int id, bool* ok = nullptr) {
    static const int ids[9] = {ID_FRAME_KEY_MINUS4, ID_FRAME_KEY_MINUS3,  ID_FRAME_KEY_MINUS2,
                               ID_FRAME_KEY_MINUS1, ID_FRAME_KEY_CURRENT, ID_FRAME_KEY_PLUS1,
                               ID_FRAME_KEY_PLUS2,  ID_FRAME_KEY_PLUS3,   ID_FRAME_KEY_PLUS4};
    for (int i = 0; i < 9; ++i)
        if (ids[i] == id) {
            if (ok) *ok = true;
            return i - 4;
        }
    if (ok) *ok = false;
    return 0;
}
