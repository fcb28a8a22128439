#include "views/ShellRelay.h"

namespace {
IShellRelay* g_relay = nullptr;
}

IShellRelay* ShellRelay() {
    return g_relay;
}
void SetShellRelay(IShellRelay* relay) {
    g_relay = relay;
}
