#pragma once

// What every start of the program sets up first, before any window or file: a write that
// crosses the file-size limit (ulimit -f) fails with EFBIG, which the save and export paths
// report like a full disk, instead of the signal ending the program with the drawing unsaved.
void AfxInitProcess();
