#include "statics/StaticsJobs.h"

#include <exception>

#include "statics/StaticsCheck.h"
#include "statics/cStatics.h"

namespace vorlak {
namespace {

JobOutcome Finish(const StatusSink& status, JobOutcome outcome) {
    status(outcome.status);
    return outcome;
}

// Closes the store; a failure while writing out the last changes turns success into failure.
void CloseInto(cStatics& store, JobOutcome& outcome) {
    try {
        store.cClose();
    } catch (const std::exception& e) {
        if (outcome.ok) outcome = {false, "Unknown error.", e.what()};
    }
}

}  // namespace

JobOutcome RunClear(const ClearRequest& request, const StatusSink& status, FileSystem& fs) {
    status("Clearing statics. Please wait.");
    std::string refusal = RefuseStaticsFiles(request.staidx, request.statics, {}, true, fs);
    if (!refusal.empty()) return Finish(status, {false, refusal, {}});
    cStatics store(fs);
    std::string message = store.cOpen(request.staidx, request.statics, request.world);
    if (!message.empty()) return Finish(status, {false, message, store.lastFailure()});
    message = store.cClear(request.x1, request.y1, request.x2.value_or(store.size().width - 1),
                           request.y2.value_or(store.size().height - 1));
    JobOutcome outcome{message.empty(),
                       message.empty() ? "Statics was successfully cleared." : message,
                       store.lastFailure()};
    CloseInto(store, outcome);
    return Finish(status, outcome);
}

}  // namespace vorlak
