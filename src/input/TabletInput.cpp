// Without a tablet binding every stroke is drawn at full pressure.
#include "input/TabletInput.h"

namespace TabletInput {
int Bind() {
    return 0;
}
int OpenContext(QWidget*, int bTablet) {
    return bTablet;
}
int ReadTabletPressure(QWidget*) {
    return -1;
}
void CloseContext() {}
void Release() {}
void OnTabletEvent(QTabletEvent*) {}
}  // namespace TabletInput
