// The hook through which a writing job lets the history keep what it needs to put the job's files
// back. A job that is given no recorder (a null pointer) records nothing.
//
// The job names every file it will change, then calls Begin before its first change to any of
// them (or before its commit, when nothing reaches the files before that), and Done once it has
// finished, whatever the outcome. A job that changes its files only by a commit at its end may
// call Start first, so that the step is written while the job writes its new files. Recording never
// stops a job: a recorder that cannot keep a step says so in remark() and the job runs on.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vorlak {

class JobRecorder {
  public:
    virtual ~JobRecorder() = default;
    // `path` will be replaced whole by a rename. The old file is kept as it is now.
    virtual void KeepWhole(const std::string& path) = 0;
    // `length` bytes of `path` at `offset` will be overwritten in place, and the file may grow.
    // Its length is noted now; the bytes are read by Begin. A length of 0 notes the length only.
    virtual void KeepBytes(const std::string& path, uint64_t offset, uint64_t length) = 0;
    // `path` was created by this job (it did not exist before it): undo removes it.
    virtual void Created(const std::string& path) = 0;
    // `path` holds `bytes` at `offset` as the job found it: the job read them before Begin, and
    // the step takes the old bytes it keeps from there instead of reading them again. The bytes
    // stay as they are until Begin has returned.
    virtual void Holds(const std::string& path, uint64_t offset,
                       std::span<const uint8_t> bytes) = 0;
    // `path` holds exactly `bytes` once the job has committed, which spares reading it back.
    // Given before Start; the bytes stay as they are until Begin has returned.
    virtual void Leaves(const std::string& path, std::span<const uint8_t> bytes) = 0;
    // `path`, which the job created or only grows, holds `bytes` after what it held when it was
    // named (from its start, when the job created it) once the job has committed, which spares
    // reading them back. Given before Start; the bytes stay as they are until Begin has returned.
    virtual void Appends(const std::string&, std::span<const uint8_t>) {}
    // Starts writing the step on a second thread; Begin then waits for it. Never throws.
    virtual void Start() = 0;
    // Writes the step, or waits for the one Start began, and makes it durable. Never throws.
    virtual void Begin() = 0;
    // Notes what the job left, or drops the step when the files are as they were. Never throws.
    virtual void Done() = 0;
};

// Calls Done when the job's scope ends, on every way out. Begins the step at once or, with
// `started`, starts it on a second thread; Begin must then be called before the job's first change.
class RecordedScope {
  public:
    explicit RecordedScope(JobRecorder* recorder, bool started = false) : recorder_(recorder) {
        if (recorder_ && started) recorder_->Start();
        if (recorder_ && !started) recorder_->Begin();
    }
    // Returns once the step is complete and durable.
    void Begin() {
        if (recorder_) recorder_->Begin();
    }
    ~RecordedScope() {
        if (recorder_) recorder_->Done();
    }
    RecordedScope(const RecordedScope&) = delete;
    RecordedScope& operator=(const RecordedScope&) = delete;

  private:
    JobRecorder* recorder_;
};

}  // namespace vorlak
