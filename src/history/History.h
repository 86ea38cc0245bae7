// The history of the jobs that changed the files of a folder, with undo and redo.
//
// Every writing job records a step in the hidden folder .vorlak-history beside its files (the
// folder of the first file it names): what it needs to put its files back byte for byte. A file
// that the job replaces whole by a rename is kept as a hard link to the old file, so that keeping
// it copies nothing; a file that the job overwrites in place has the bytes it overwrites copied,
// and its old length noted. After the job, the step notes a fingerprint of what the job left, so
// that undo can tell when something else changed the files since. The step layout is described
// in docs/history.md.
//
// Undo and redo take the same lock as the job (on the first file the step names), refuse to go
// over a file changed since unless forced, and check every kept copy against its checksum before
// they write anything. An undo or redo that is killed leaves a note that makes the next undo or
// redo finish it first.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mul/File.h"
#include "mul/Job.h"
#include "mul/Recorder.h"

namespace vorlak::history {

inline constexpr char kFolderName[] = ".vorlak-history";
inline constexpr int32_t kDefaultKeepJobs = 20;
inline constexpr uint64_t kDefaultKeepBytes = uint64_t{2} << 30;

// The history folder of the files in `folder`.
std::string HistoryFolder(const std::string& folder);
// The folder that holds `file` ("." for a bare name).
std::string FolderOf(const std::string& file);

struct Limits {
    int32_t jobs = kDefaultKeepJobs;
    uint64_t bytes = kDefaultKeepBytes;
};

// A 64-bit checksum of a byte stream, fed in pieces of any size. The same bytes give the same
// value however they are split.
class Checksum {
  public:
    void Update(const uint8_t* data, size_t size);
    uint64_t Value() const;

  private:
    void Round(const uint8_t* block);
    uint64_t lanes_[4] = {0x9E3779B97F4A7C15u, 0xC2B2AE3D27D4EB4Fu, 0x165667B19E3779F9u,
                          0x85EBCA77C2B2AE63u};
    uint8_t pending_[32] = {};
    size_t pendingSize_ = 0;
    uint64_t total_ = 0;
};

// The recorder a front end hands to a job. `job` is the job and its options as the history lists
// them. The step goes to the history of the folder of the first file the job names. After Start,
// `fs` is used on a second thread while the job runs: it must allow that.
class StepRecorder : public JobRecorder {
  public:
    explicit StepRecorder(std::string job, FileSystem& fs = DefaultFileSystem());
    ~StepRecorder() override;
    void KeepWhole(const std::string& path) override;
    void KeepBytes(const std::string& path, uint64_t offset, uint64_t length) override;
    void Created(const std::string& path) override;
    void Holds(const std::string& path, uint64_t offset, std::span<const uint8_t> bytes) override;
    void Leaves(const std::string& path, std::span<const uint8_t> bytes) override;
    void Appends(const std::string& path, std::span<const uint8_t> bytes) override;
    void Start() override;
    void Begin() override;
    void Done() override;
    // Empty, or a line for the job's detail: that the job ran without recording a step, or that
    // the history dropped its oldest steps to stay within its limits.
    const std::string& remark() const { return remark_; }

    struct State;

  private:
    void Record();

    std::unique_ptr<State> state_;
    std::string remark_;  // written by Record, which may run on the state's worker
};

// One recorded job, as `vorlak history` lists it.
struct StepInfo {
    int32_t number = 0;
    std::string time;  // "YYYY-MM-DD HH:MM:SS" UTC
    std::string job;   // the job and its options
    std::vector<std::string> files;
    std::string summary;  // what changed, in a few words; empty before the job finished
    bool undone = false;
    bool finished = false;  // the job noted what it left
    std::string damage;     // why the step cannot be used; empty when it is sound
};

class History {
  public:
    // The history of the files in `folder`.
    explicit History(std::string folder, FileSystem& fs = DefaultFileSystem());

    // Newest first. Empty when nothing is recorded (or there is no history folder).
    std::vector<StepInfo> List();
    // The step that undo would take, if any (a step whose job never reached its files is
    // passed over, as undo passes over it).
    std::optional<StepInfo> NextUndo();
    // Puts back the files of the newest job not yet undone. Exit status texts: "Nothing to
    // undo." and the refusals come back with ok false and change nothing.
    JobOutcome Undo(bool force);
    // Puts back what the last undo took away.
    JobOutcome Redo(bool force);
    // Removes every step.
    JobOutcome Clear();
    Limits limits();
    // Remembers the limits for this folder and drops the oldest steps beyond them.
    JobOutcome SetLimits(const Limits& limits);

  private:
    std::string folder_;
    FileSystem& fs_;
};

// "2G", "512M", "100K", "12345": a size in bytes with an optional binary suffix (K, M, G, T,
// also KiB...). None for anything else.
std::optional<uint64_t> ParseSize(const std::string& text);

}  // namespace vorlak::history
