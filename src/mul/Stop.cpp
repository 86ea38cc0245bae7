#include "mul/Stop.h"

#include <unistd.h>

#include <csignal>

#include "mul/Error.h"

namespace vorlak {
namespace {

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t exitOnStop = 0;

extern "C" void OnStopSignal(int) {
    stopRequested = 1;
    if (exitOnStop) {
        static constexpr char kStopped[] = "Stopped.\n";
        ssize_t written = ::write(STDERR_FILENO, kStopped, sizeof kStopped - 1);
        (void)written;  // nothing more can be done about a failed write here
        ::_exit(1);
    }
}

}  // namespace

void RequestStop() noexcept { stopRequested = 1; }
void ClearStopRequest() noexcept { stopRequested = 0; }
bool StopRequested() noexcept { return stopRequested != 0; }

void ThrowIfStopped() {
    if (stopRequested) throw Error::Stopped();
}

ExitOnStop::ExitOnStop() noexcept { exitOnStop = 1; }
ExitOnStop::~ExitOnStop() { exitOnStop = 0; }

void StopOnSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace vorlak
