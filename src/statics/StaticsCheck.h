// Checking and compacting the statics file pair.
//
// The check reads the pair and changes nothing. It verifies what every reader of the pair relies
// on: the index holds exactly one 12-byte entry for each block of its world (the world given, or
// the one its length describes: see world::SizeOfFile), the run of every entry with a length above
// 0 lies inside the data file, that length is a whole number of 7-byte records, and every record's
// cell offsets are 0..7. Entries of length 0 or less hold no statics; their other fields are not
// looked at.
//
// Compacting rewrites the pair so that the data file holds only the runs the index refers to,
// block after block in block order, each block keeping its statics in their order. How it keeps
// the pair consistent at every moment is told in StaticsCompact.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mul/File.h"
#include "mul/Recorder.h"
#include "mul/World.h"
#include "mul/mTypes.h"
#include "statics/StaticsJobs.h"

namespace vorlak {

struct CheckProblem {
    int32_t block;     // -1 when the problem concerns a whole file
    std::string text;  // starts with the block and its world position
};

struct CheckReport {
    world::Size world;    // the world checked against
    uint64_t blocks = 0;  // index entries present
    uint64_t blocksWithStatics = 0;
    uint64_t statics = 0;  // records in the runs that lie inside the data file
    uint64_t dataBytes = 0;
    uint64_t bytesReferenced = 0;  // data bytes inside at least one run
    uint64_t bytesUnreferenced = 0;
    std::vector<CheckProblem> problems;  // whole-file problems first, then by block

    bool sound() const { return problems.empty(); }
    // "6144x4096 world, 393216 blocks (12 with statics), 80 statics, 560 bytes referenced,
    // 0 bytes unreferenced"
    std::string Summary() const;
};

// Checks an open pair against `size` (none: the world its index's length describes). An index
// that fits no world is one problem, and its entries are checked as far as they go against the
// world given, or the default one. When `indexBytes` is given it receives the index entries as read
// (a whole number of entries, at most one per block). When `wholeData` is given the data file is
// read into it in one piece; otherwise only the referenced runs are read, in file order. Throws
// Error when a file cannot be read.
CheckReport CheckStaticsPair(RandomAccessFile& index, RandomAccessFile& data,
                             LargeBytes* indexBytes = nullptr, LargeBytes* wholeData = nullptr,
                             const std::optional<world::Size>& size = std::nullopt);
// Opens both files read-only and checks them. Throws Error (kNotFound for a missing file).
CheckReport CheckStaticsFiles(const std::string& staidx, const std::string& statics,
                              FileSystem& fs = DefaultFileSystem(),
                              const std::optional<world::Size>& size = std::nullopt);

// The first of the index `entries` (of blocks of `world`) whose length is no whole number of
// statics or whose run does not lie inside a data file of `dataBytes` bytes named `dataPath`, as
// "block N (X .., Y ..): what is wrong"; empty when there is none.
std::string FirstDamagedEntry(std::span<const uint8_t> entries, uint64_t dataBytes,
                              const std::string& dataPath, const world::Size& world);
// The refusal of a job that writes into a pair with such an entry: data appended under a damaged
// entry would show in its block. Empty when there is none.
std::string RefuseDamagedPair(std::span<const uint8_t> entries, uint64_t dataBytes,
                              const std::string& dataPath, const world::Size& world);

// What every statics job checks before it touches anything: the index and the data file are two
// regular files and neither is one of `others` (CheckJobFiles). Returns the refusal for the user,
// or empty text; a job that `writes` adds that nothing was changed. (Jobs that write check the
// entries too, once the pair is open and locked: see RefuseDamagedPair.)
std::string RefuseStaticsFiles(const std::string& staidx, const std::string& statics,
                               std::vector<JobFile> others, bool writes = true);

struct CheckRequest {
    std::string statics = "statics0.mul";
    std::string staidx = "staidx0.mul";
    std::optional<world::Size> world = std::nullopt;  // none: the world the index describes
};

struct CompactRequest {
    std::string statics = "statics0.mul";
    std::string staidx = "staidx0.mul";
    // A data file up to this size is read whole and compacted in memory; a larger one is copied
    // in pieces of an eighth of it.
    uint64_t bufferBytes = uint64_t{64} << 20;
    std::optional<world::Size> world = std::nullopt;  // none: the world the index describes
    JobRecorder* history = nullptr;                   // none: the job records no step
};

// Success: the summary as status. Failure: the count of problems and the summary as status, one
// line per problem as detail; or "Can not find the statics files." and the reason.
JobOutcome RunCheck(const CheckRequest& request, const StatusSink& status,
                    FileSystem& fs = DefaultFileSystem());
// Refuses, changing nothing, when the check finds any problem. On success the status tells the
// bytes reclaimed and the world. A failure part-way leaves a consistent pair holding the same
// statics.
JobOutcome RunCompact(const CompactRequest& request, const StatusSink& status,
                      FileSystem& fs = DefaultFileSystem());

}  // namespace vorlak
