// What every job runner hands back, and how it reports its texts on the way.
//
// The statics, art and map runners all take a plain request and return a JobOutcome; the window
// and the command line show it by the same rules (the status on the status line or stdout, the
// detail in the tooltip or on the command line's second line).
#pragma once

#include <functional>
#include <string>

namespace vorlak {

// Receives a runner's wait and progress texts, then its outcome text. May throw to end the job
// (the window does so when it is closed); the runner then leaves its files as a failure would.
using StatusSink = std::function<void(const std::string&)>;

struct JobOutcome {
    bool ok = false;
    std::string status;  // the last text reported: the success text or the job's message
    std::string detail;  // the cause behind the message, often the system's reason; may be empty
};

}  // namespace vorlak
