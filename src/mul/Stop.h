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

}  // namespace vorlak
