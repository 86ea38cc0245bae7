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
    auto refused = [&status](JobOutcome outcome) {
        status(outcome.status);
        return outcome;
    };
    // A new pair would have the world given, or the default one: what that decides is checked
    // before the pair is made, so that a refused job leaves no new pair behind.
    const bool fresh =
        job.access == cStatics::Access::kWrite && !fs.Exists(job.staidx) && !fs.Exists(job.statics);
    if (fresh && job.check) {
        if (auto refusal = job.check(job.world.value_or(world::Size{}))) return refused(*refusal);
    }
    cStatics store(fs);
    std::string message = store.cOpen(job.staidx, job.statics, job.access, job.world);
    if (!message.empty()) return refused({false, message, store.lastFailure()});
    const bool created = store.openState() == 2;
    // Removes the pair this job made; it holds the pair's lock, so no other job uses it yet.
    auto removeCreated = [&] {
        if (!created) return;
        try {
            fs.Remove(job.staidx);
            fs.Remove(job.statics);
        } catch (const std::exception&) {
            // An empty pair stays behind; it holds no statics.
        }
    };
    if (job.check) {
        if (auto refusal = job.check(store.size())) {
            store.Abandon();
            removeCreated();
            return refused(*refusal);
        }
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
        // The step is in place before the job's first record reaches the data file.
        store.setBeforeAppend([&job] { job.history->Begin(); });
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
    // A new pair's index is made while the job runs: a failure to make it refuses the job as a
    // failure to open the pair would have, before anything reached the files.
    if (std::string refusal = store.FinishCreating(); !refusal.empty()) {
        store.Abandon();
        return refused({false, refusal, store.lastFailure()});
    }
    if (outcome.ok) {
        // The commit: a failure here is the job's failure, and leaves the index as before. The
        // step is written while the new index is, and is durable before that takes the name.
        if (job.history) {
            job.history->Leaves(job.staidx, store.indexBytes());
            job.history->Appends(job.statics, store.appended());
            job.history->Start();
        }
        try {
            store.cClose([&] {
                if (job.history) job.history->Begin();
            });
        } catch (const std::exception& e) {
            outcome = job.failed(e.what());
        }
        if (job.history) job.history->Done();
    } else {
        store.Abandon();
        removeCreated();
    }
    status(outcome.status);
    return outcome;
}

std::optional<JobOutcome> RefuseCorners(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                        const world::Size& size, bool ordered) {
    std::string problems = world::CornerProblems(x1, y1, x2, y2, size, ordered);
    if (problems.empty()) return std::nullopt;
    return JobOutcome{false, "Illegal cordinates.", problems};
}

JobOutcome RunClear(const ClearRequest& request, const StatusSink& status, FileSystem& fs) {
    return RunStaticsJob(
        {"Clearing statics. Please wait.", request.staidx, request.statics,
         cStatics::Access::kWrite,
         [](const std::string& what) -> JobOutcome {
             return {false, "Unknown error.", what};
         },
         [&] { return RefuseStaticsFiles(request.staidx, request.statics, {}); }, request.world,
         [&](const world::Size& size) {
             return RefuseCorners(request.x1, request.y1, request.x2.value_or(size.width - 1),
                                  request.y2.value_or(size.height - 1), size, false);
         },
         request.history},
        status, fs, [&](cStatics& store) -> JobOutcome {
            std::string message =
                store.cClear(request.x1, request.y1, request.x2.value_or(store.size().width - 1),
                             request.y2.value_or(store.size().height - 1));
            if (!message.empty()) return {false, message, store.lastFailure()};
            const cStatics::Counts& c = store.counts();
            return {
                true,
                "Statics was successfully cleared.",
                {},
                Counted(c.statics, "static") + " removed from " + Counted(c.blocks, "block") + "."};
        });
}

}  // namespace vorlak
