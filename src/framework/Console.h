#pragma once

#include <QString>
#include <cstdio>

// What the window-less modes share on the terminal.

// Writes text in the locale's encoding.
void AfxPrint(std::FILE* f, const QString& text);
// Shows "\r" + text on standard error when it is a terminal; a message must end the line first.
void AfxShowProgressLine(const QString& text);
// Ends a progress line left on standard error, if any.
void AfxEndProgressLine();
// Writes "lumvane: text" on its own line of standard error.
void AfxPrintMessage(const QString& text);
// Ctrl-C, SIGTERM and SIGHUP from now on ask the running job to stop instead of killing it.
void AfxCatchStopSignals();
bool AfxStopRequested();
