#include "mul/Stop.h"

#include <csignal>

#include "mul/Error.h"

namespace vorlak {
namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void OnStopSignal(int) { stopRequested = 1; }

}  // namespace

void RequestStop() noexcept { stopRequested = 1; }
void ClearStopRequest() noexcept { stopRequested = 0; }
bool StopRequested() noexcept { return stopRequested != 0; }

void ThrowIfStopped() {
    if (stopRequested) throw Error::Stopped();
}

void StopOnSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace vorlak
