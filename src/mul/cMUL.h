// Record access to an indexed file pair, or to a data file of fixed-size blocks.
//
// Indexed mode: the index file is a plain run of 12-byte entries (see docs/indexed-files.md), the
// entry of record n at n * 12. Fixed-block mode: record n is the n-th block of the data file.
// No caching: every load and save goes straight to the files. One object serves one job.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mul/File.h"
#include "mul/mTypes.h"

namespace vorlak {

struct IndexEntry {
    int32_t offset = 0;
    int32_t length = 0;  // 0 or less: no record; a removed record has -1
    int16_t flagA = 0;
    int16_t flagB = 0;
};

class cMUL {
  public:
    static constexpr int32_t kEntryBytes = 4 + 4 + 2 + 2;

    explicit cMUL(FileSystem& fs = DefaultFileSystem()) : fs_(fs) {}

    // Opens the pair. `ConstantIndex` of 1 or more selects fixed-block mode with blocks of that
    // many bytes and `NbrOfBlocks` records; 0 or less selects indexed mode. Missing files are
    // created empty. Returns empty text on success, otherwise the message for the user, with the
    // cause in lastFailure().
    std::string cOpen(const std::string& IDXFilename, const std::string& MULFilename,
                      int32_t ConstantIndex, int32_t NbrOfBlocks);
    void cClose();
    // Records in the pair: the index's entries (its length / 12, halves to even) or the number of
    // blocks given; 0 when closed.
    int32_t cCount() const;

    // Loads record `IndexNumber`. When its length is above 0, `ByteArray` is replaced by exactly
    // that many bytes (the part past the end of the data file reads as zero). Sets the flags and
    // returns the entry's length; returns 0 on any failure.
    int32_t cLoad(int32_t IndexNumber, ByteBuffer& ByteArray, int16_t& FlagA, int16_t& FlagB);

    // Saves `ByteArray` as record `IndexNumber`, in place when it fits the old record's length
    // and the old record lies wholly inside the data file and overlaps no other record; otherwise
    // appended at the end of the data file. `isEmpty` removes the record instead. The data is
    // written before the index entry that points at it. Throws Error on failure.
    void cSave(int32_t IndexNumber, const ByteBuffer& ByteArray, int16_t FlagA, int16_t FlagB,
               bool isEmpty);

    // The entry of record n as cLoad sees it; throws Error on a bad number or a read failure.
    IndexEntry Entry(int32_t IndexNumber);

    RandomAccessFile* dataFile() { return data_.get(); }

    // Why the last cOpen failed (the system's reason, naming the file); empty after a success.
    const std::string& lastFailure() const { return lastFailure_; }

  private:
    // True when record `IndexNumber`, whose entry is `e`, may be written in place.
    bool OwnsRun(int32_t IndexNumber, const IndexEntry& e);

    FileSystem& fs_;
    std::unique_ptr<RandomAccessFile> index_;
    std::unique_ptr<RandomAccessFile> data_;
    int32_t count_ = 0;
    int32_t blockSize_ = 0;
    std::string lastFailure_;
};

}  // namespace vorlak
