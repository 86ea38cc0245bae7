// The request to stop the running job.
//
// A signal handler or the window sets it; jobs look at it at their progress points, between whole
// steps, and end as a failure with "Stopped.", leaving the files as before (map generation: as
// after its last whole row). Safe to set from a signal handler.
#pragma once

namespace vorlak {

void RequestStop() noexcept;
void ClearStopRequest() noexcept;
bool StopRequested() noexcept;
// Throws Error::Stopped() when a stop was requested.
void ThrowIfStopped();

// Makes SIGINT and SIGTERM request a stop instead of ending the process.
void StopOnSignals();

// While one lives, SIGINT and SIGTERM (with StopOnSignals) end the process at once: "Stopped." on
// stderr and exit code 1. For the steps before a job reads or changes its files that cannot look
// at a stop request themselves, such as decoding a picture; nothing is held then that would need
// undoing. One at a time.
class ExitOnStop {
  public:
    ExitOnStop() noexcept;
    ~ExitOnStop();
    ExitOnStop(const ExitOnStop&) = delete;
    ExitOnStop& operator=(const ExitOnStop&) = delete;
};

}  // namespace vorlak
