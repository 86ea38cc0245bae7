// What every job runner hands back, and how it reports its texts on the way.
//
// The statics, art and map runners all take a plain request and return a JobOutcome; the window
// and the command line show it by the same rules (the status on the status line or stdout, the
// detail in the tooltip or on the command line's second line). A job that succeeds also says what
// it did in `counts`: on its own line before the status on stdout, in the window's tooltip.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace vorlak {

// Receives a runner's wait and progress texts, then its outcome text. May throw to end the job
// (the window does so when it is closed); the runner then leaves its files as a failure would.
using StatusSink = std::function<void(const std::string&)>;

struct JobOutcome {
    JobOutcome() = default;
    JobOutcome(bool ok_, std::string status_, std::string detail_ = {}, std::string counts_ = {})
        : ok(ok_),
          status(std::move(status_)),
          detail(std::move(detail_)),
          counts(std::move(counts_)) {}

    bool ok = false;
    std::string status;  // the last text reported: the success text or the job's message
    std::string detail;  // the cause behind the message, often the system's reason; may be empty
    std::string counts;  // on success, what the job did ("3 items written."); may be empty
};

// "1 item", "2 items", "0 items"; `plural` for words that do not just take an "s".
inline std::string Counted(uint64_t n, std::string_view singular, std::string_view plural = {}) {
    std::string text = std::to_string(n) + " ";
    if (n == 1) return text.append(singular);
    if (plural.empty()) return text.append(singular).append("s");
    return text.append(plural);
}

}  // namespace vorlak
