#include "framework/Process.h"

#include <csignal>

void AfxInitProcess() {
    std::signal(SIGXFSZ, SIG_IGN);
}
