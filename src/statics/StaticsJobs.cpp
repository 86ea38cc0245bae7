#include "statics/StaticsJobs.h"

#include <exception>

#include "mul/Error.h"
#include "statics/StaticsCheck.h"
#include "statics/cStatics.h"

namespace vorlak {

JobOutcome RunStaticsJob(const StaticsJob& job, const StatusSink& status, FileSystem& fs,
                         const std::function<JobOutcome(cStatics&)>& run) {
    status(job.wait);
    if (job.refuse) {
        std::string refusal = job.refuse();
        if (!refusal.empty()) {
            status(refusal);
            return {false, refusal, {}};
        }
    }
    cStatics store(fs);
    std::string message = store.cOpen(job.staidx, job.statics, job.access, job.world);
    if (!message.empty()) {
        status(message);
        return {false, message, store.lastFailure()};
    }
    // Checked on the index as the store read it, before the job changes anything.
    if (job.access == cStatics::Access::kWrite && store.openState() == 1) {
        std::string damaged = RefuseDamagedPair(store.indexBytes(), store.dataBytes(),
                                                store.dataPath(), store.size());
        if (!damaged.empty()) {
            store.Abandon();
            status(damaged);
            return {false, damaged, {}};
        }
    }
    if (job.history && job.access == cStatics::Access::kWrite) {
        if (store.openState() == 2) {
            job.history->Created(job.staidx);
            job.history->Created(job.statics);
        } else {
            job.history->KeepWhole(job.staidx);
            job.history->KeepBytes(job.statics, 0, 0);  // it only grows until the commit
        }
    }
    JobOutcome outcome;
    try {
        outcome = run(store);
    } catch (const Error& e) {
        outcome = e.kind() == Error::Kind::kStopped ? JobOutcome{false, e.what(), {}}
                                                    : job.failed(e.what());
    } catch (const std::exception& e) {
        outcome = job.failed(e.what());
    }
    if (outcome.ok) {
        // The commit: a failure here is the job's failure, and leaves the index as before.
        if (job.history) job.history->Begin();
        try {
            store.cClose();
        } catch (const std::exception& e) {
            outcome = job.failed(e.what());
        }
        if (job.history) job.history->Done();
    } else {
        store.Abandon();
    }
    status(outcome.status);
    return outcome;
}

JobOutcome RunClear(const ClearRequest& request, const StatusSink& status, FileSystem& fs) {
    return RunStaticsJob(
        {"Clearing statics. Please wait.", request.staidx, request.statics,
         cStatics::Access::kWrite,
         [](const std::string& what) -> JobOutcome {
             return {false, "Unknown error.", what};
         },
         [&] { return RefuseStaticsFiles(request.staidx, request.statics, {}); }, request.world,
         request.history},
        status, fs, [&](cStatics& store) -> JobOutcome {
            std::string message =
                store.cClear(request.x1, request.y1, request.x2.value_or(store.size().width - 1),
                             request.y2.value_or(store.size().height - 1));
            return {message.empty(),
                    message.empty() ? "Statics was successfully cleared." : message,
                    store.lastFailure()};
        });
}

}  // namespace vorlak
