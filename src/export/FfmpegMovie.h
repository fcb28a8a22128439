#pragma once

#include "export/MovieExport.h"

// MP4 (H.264 and AAC) or WebM (VP9 and Opus) through FFmpeg's libraries. The source is checked
// already: at least one frame, all of one size, fps in range.
int WriteFfmpegMovie(const MovieSource& source, const MovieSettings& settings,
                     const MovieProgress& progress, QString* error);
