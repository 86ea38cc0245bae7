// The statics file pair: the index (one 12-byte entry per world block) and the data file (7-byte
// records, back to back per block). Byte layout in docs/statics-files.md.
//
// One object serves one job: cOpen, any cLoad/cSave and one job, then cClose, or Abandon after a
// failure. cOpen takes the pair's lock for the whole job and reads the index into memory. cSave
// appends each block's run to the data file (unreferenced until the commit) and changes the entry
// in memory only. The index is committed once, by cClose: the data file is synced, then a new
// index is written beside the old one, synced, renamed over it, and the folder synced. So a job
// that fails, is stopped or killed, or loses power before its commit leaves every entry as it was;
// the data file only grows, old runs stay behind unreferenced.
#pragma once

#include <cstdint>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mul/File.h"
#include "mul/LittleEndian.h"
#include "mul/World.h"
#include "mul/mTypes.h"
#include "statics/StaticsJobs.h"

namespace vorlak {

class cStatics {
  public:
    static constexpr int32_t kEntryBytes = 4 + 4 + 4;
    // 4718592 for the default world.
    static constexpr uint64_t IndexBytes(const world::Size& size) {
        return static_cast<uint64_t>(size.blocks()) * kEntryBytes;
    }
    static constexpr int32_t kRecordBytes = 2 + 1 + 1 + 1 + 2;

    struct Entry {
        int32_t offset;
        int32_t length;  // 0 or less: the block has no statics
        int32_t extra;
    };

    static constexpr char kInUse[] = "The statics files are in use by another job.";

    enum class Access {
        kWrite,  // exclusive lock; a missing pair is created
        kRead,   // shared lock; both files opened read-only, nothing is ever written
    };

    explicit cStatics(FileSystem& fs = DefaultFileSystem());
    // Drops unwritten changes if cClose was not called; the files stay consistent.
    ~cStatics();
    cStatics(const cStatics&) = delete;
    cStatics& operator=(const cStatics&) = delete;

    // Opens the pair and locks it. For writing, when both files are missing a new pair is created
    // for the `world` given (the default world without one) with an index of empty entries (all
    // bytes 0xFF): the data file at once, the index on a second thread, which FinishCreating
    // waits for and which gives the refusals below for the index (the new pair is locked once it
    // is in place). An existing index must be as long as the given world needs or, without one,
    // describe a world by its length (world::SizeOfFile); otherwise the result is
    // world::SizeRefusal's text. When another job holds the pair, returns kInUse; when exactly one
    // file exists, or anything fails, "Unable to open/create statics."; in every refusal neither
    // file is touched.
    std::string cOpen(const std::string& Staidx0, const std::string& Statics0, Access access,
                      const std::optional<world::Size>& world = std::nullopt);
    // The same, for writing.
    std::string cOpen(const std::string& Staidx0, const std::string& Statics0,
                      const std::optional<world::Size>& world = std::nullopt);
    // Commits the job (see above) and closes both files. Throws Error when a write fails; the
    // index is then as before. `beforeCommit`, when given, runs exactly once: when the new index
    // is written and synced, just before it replaces the old one, or, when there is nothing to
    // commit or the commit fails before that, before the store lets go of its index bytes.
    void cClose(const std::function<void()>& beforeCommit = {});
    // Closes both files without committing: the index stays as it was before the job.
    void Abandon() noexcept;
    // `beforeAppend` runs once, before the store first writes records to the data file.
    void setBeforeAppend(std::function<void()> beforeAppend) {
        beforeAppend_ = std::move(beforeAppend);
    }

    // Replaces the block's entry by (data length, L, -1) and appends the L bytes, or writes
    // (-1, -1, -1) and no data when `isEmpty`. Throws Error on a bad block number or failure.
    void cSave(int32_t BlockNumber, std::span<const uint8_t> Statics0Data, bool isEmpty);
    // Returns the entry's length field. When it is above 0, `Statics0Data` becomes exactly the
    // block's run; otherwise it is left as it was. Throws Error::Corrupt when the entry's run does
    // not lie inside the data file, Error::OutOfRange for a block number below 0.
    int32_t cLoad(int32_t BlockNumber, ByteBuffer& Statics0Data);

    // Reads the items of a world file into the blocks where they lie (Sphere format when
    // `ItemFileType`; every type when `AddItemType` is -1). Returns "Statics not open.",
    // "Cannot find NAME." or empty text. Any other failure is thrown: one found while reading
    // (a bad value, an item outside the world) before the statics files are changed, a write
    // failure with the blocks saved before it kept. Formats in docs/world-files.md.
    std::string cFreeze(const std::string& ItemsFilename, bool ItemFileType, int32_t AddItemType);
    // Writes the statics inside X1..X2 x Y1..Y2 as a new item world file. Returns empty text,
    // "Statics not open.", "Illegal cordinates." or "Unknown error." (details in lastFailure()).
    // The file is replaced only by a complete new one: a refused or failed melt leaves the old
    // file as it was and no partial file beside it.
    std::string cMelt(const std::string& ItemsFilename, int32_t X1, int32_t Y1, int32_t X2,
                      int32_t Y2, int32_t AddX, int32_t AddY, int32_t AddZ, uint8_t ItemType,
                      int32_t ItemCountStart);
    // Removes every static inside X1..X2 x Y1..Y2. Returns empty text, "Illegal cordinates."
    // (any corner outside the pair's world; nothing touched) or "Unknown error.".
    std::string cClear(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);

    // What the last cFreeze, cMelt or cClear did, for the job's count line.
    struct Counts {
        uint64_t statics = 0;  // items taken (freeze), written (melt); statics removed (clear)
        uint64_t blocks = 0;   // blocks that received items (freeze) or lost statics (clear)
        uint64_t skippedForType = 0;      // freeze: items of another type
        uint64_t skippedInContainer = 0;  // freeze: items lying in a container
    };
    const Counts& counts() const { return counts_; }

    // 0 closed, 1 opened an existing pair, 2 created a new pair.
    int32_t openState() const { return openState_; }
    // The world of the open pair; every block number and limit follows it.
    const world::Size& size() const { return size_; }
    // The entry of a block as it stands now (pending changes included).
    Entry EntryOf(int32_t block) const {
        CheckBlock(block);
        const uint8_t* at = indexBytes_.data() + static_cast<size_t>(block) * kEntryBytes;
        return {le::Load32(at), le::Load32(at + 4), le::Load32(at + 8)};
    }
    // Every entry as it stands now, IndexBytes(size()) bytes; empty when closed.
    std::span<const uint8_t> indexBytes() const { return indexBytes_; }
    // The length of the data file, records not yet written out included.
    uint64_t dataBytes() const { return flushedDataSize_ + pendingData_.size(); }
    // All that the job appended to the data file, where it wrote it in one piece (a freeze);
    // empty otherwise. Kept until cClose or Abandon.
    std::span<const uint8_t> appended() const { return appended_; }
    // The data file's name; empty when closed.
    const std::string& dataPath() const;
    // The block's entry in `entry` and, when its length is above 0, a pointer to its run of
    // entry.length bytes; nullptr otherwise. Checked as cLoad checks. The pointer stays valid
    // until the next call on the store.
    const uint8_t* RunOf(int32_t block, Entry& entry);
    // Writes pending records to the data file, still unreferenced on disk.
    void WritePending();
    // A new pair's index is filled and put in place on a second thread while the job goes on;
    // this waits for it. Empty once the pair is in place (or was not new); otherwise the refusal
    // that cOpen would have given: "Unable to open/create statics." (the cause in lastFailure())
    // or kInUse. Every change to the files waits for it first.
    const std::string& FinishCreating();
    // Text of the last failure a job turned into "Unknown error.", for front ends to show as
    // detail; empty when there was none.
    const std::string& lastFailure() const { return lastFailure_; }

  private:
    // Runs a job's work: "" when it ends, else "Unknown error." with the cause in lastFailure().
    // A requested stop passes through.
    std::string Attempt(const std::function<void()>& work);
    // Throws Error (kCorrupt) when the block's run is not a whole number of records; the jobs
    // refuse such a pair before they start, so this guards the reads of the records only.
    void RequireWholeRecords(int32_t number, const Entry& entry) const;
    // Throws Error (kCorrupt) when the run of an entry with statics does not lie inside the data
    // file.
    void RequireRunInside(int32_t block, const Entry& entry) const;
    // Calls visit(bx, by, number, run, entry) for every block touching the rectangle that holds
    // records, column by column; a requested stop ends it between columns.
    void ForEachRunIn(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                      const std::function<void(int32_t bx, int32_t by, int32_t number,
                                               const uint8_t* run, const Entry& entry)>& visit);
    const uint8_t* PeekData(uint64_t offset, size_t length);
    void CheckBlock(int32_t block) const {
        if (openState_ == 0 || block < 0 || block >= size_.blocks()) RefuseBlock(block);
    }
    [[noreturn]] void RefuseBlock(int32_t block) const;
    void SetEntry(int32_t block, Entry e) {
        uint8_t* at = indexBytes_.data() + static_cast<size_t>(block) * kEntryBytes;
        le::Store32(at, e.offset);
        le::Store32(at + 4, e.length);
        le::Store32(at + 8, e.extra);
        indexChanged_ = true;
    }
    // Throws Error::Overflow when the data file, pending records included, cannot grow by
    // `bytes` and still be addressed by the index. Cheap enough for every block of a job.
    void RequireRoomFor(uint64_t bytes) const {
        if (dataBytes() + bytes > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
            RefuseGrowth();
        }
    }
    [[noreturn]] void RefuseGrowth() const;
    // Throws Error (the refusal's text) when a new pair's index could not be put in place; the
    // job's outcome then gives that refusal. Every change to the files comes after it.
    void RequireCreated();
    // Writes `bytes` where the written part of the data file ends: the pending records, or bytes
    // appended while none are pending.
    void WriteOut(std::span<const uint8_t> bytes);
    void Commit(const std::function<void()>& beforeCommit);

    FileSystem& fs_;
    std::unique_ptr<RandomAccessFile> index_;
    std::unique_ptr<RandomAccessFile> data_;
    std::unique_ptr<FileLock> lock_;
    int32_t openState_ = 0;
    bool readOnly_ = false;
    world::Size size_;

    LargeBytes indexBytes_;      // the whole index, IndexBytes(size_) long
    bool indexChanged_ = false;  // indexBytes_ differs from the index file
    std::function<void()> beforeAppend_;
    uint64_t flushedDataSize_ = 0;  // length of the data file on disk
    uint64_t startDataSize_ = 0;    // its length before records no index refers to yet
    ByteBuffer pendingData_;        // runs appended after flushedDataSize_
    std::vector<uint8_t, LargeAllocator<uint8_t>> appended_;
    // The new pair's index being made: its lock and file, or no lock when another job took the
    // new pair first.
    struct Creation {
        std::unique_ptr<FileLock> lock;
        std::unique_ptr<RandomAccessFile> index;
    };
    std::future<Creation> creating_;
    std::string creationRefusal_;
    std::string indexPath_;
    std::unique_ptr<FileMapping> mapped_;  // the data file as it was at cOpen, read-only
    uint64_t mappedSize_ = 0;
    ByteBuffer run_;  // the last run read, where the data file is not mapped
    std::string lastFailure_;
    Counts counts_;
};

// What the statics job skeleton needs to know of a job.
struct StaticsJob {
    std::string wait;  // the first status text
    std::string staidx;
    std::string statics;
    cStatics::Access access;
    // The outcome for a failure thrown by the job or by its commit, given the failure's text.
    std::function<JobOutcome(const std::string&)> failed;
    // Checks the job's files before anything is opened; returns the refusal text, empty to go on.
    std::function<std::string()> refuse;
    // The world size given by the user; without one it comes from the files.
    std::optional<world::Size> world;
    // Checks what depends on the pair's world (the corners of a rectangle); returns the refusal,
    // or nothing to go on. Asked before a new pair is made, for the world it would have, and
    // again once the pair is open. May be empty.
    std::function<std::optional<JobOutcome>(const world::Size&)> check = {};
    // Keeps the index and the data file's length before a writing job's commit.
    JobRecorder* history = nullptr;
};

// The skeleton of every job on the statics pair: reports the wait text, opens and locks the pair,
// refuses an existing pair with a damaged entry when the job writes (RefuseDamagedPair), runs
// `run`, then commits (cClose) when it succeeded and abandons otherwise; a failing commit turns
// success into failure. A stop ends the job as "Stopped.". Reports the outcome last. A job that
// made a new pair and does not succeed removes it again: a refused or failed job creates nothing.
JobOutcome RunStaticsJob(const StaticsJob& job, const StatusSink& status, FileSystem& fs,
                         const std::function<JobOutcome(cStatics&)>& run);

}  // namespace vorlak
