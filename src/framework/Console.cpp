#include "framework/Console.h"

#include <unistd.h>

#include <csignal>

namespace {
// A progress line on the terminal that a message must not be appended to.
bool g_bProgressLine = false;
volatile std::sig_atomic_t g_nStopSignal = 0;
void OnStopSignal(int signal) {
    g_nStopSignal = signal;
}
}  // namespace

void AfxPrint(std::FILE* f, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), f);
}

void AfxShowProgressLine(const QString& text) {
    static const bool tty = ::isatty(STDERR_FILENO) == 1;
    if (!tty) return;
    AfxPrint(stderr, QStringLiteral("\r%1").arg(text));
    std::fflush(stderr);
    g_bProgressLine = true;
}

void AfxEndProgressLine() {
    if (g_bProgressLine) std::fputc('\n', stderr);
    g_bProgressLine = false;
}

void AfxPrintMessage(const QString& text) {
    AfxEndProgressLine();
    AfxPrint(stderr, QStringLiteral("lumvane: %1\n").arg(text));
}

void AfxCatchStopSignals() {
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, OnStopSignal);
}

bool AfxStopRequested() {
    return g_nStopSignal != 0;
}
