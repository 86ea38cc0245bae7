// Helpers shared by the test programs: a temporary folder per test, whole-file reads and writes,
// and a file system whose writes fail on demand.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "mul/File.h"
#include "mul/Recorder.h"
#include "support/WholeFile.h"

namespace vorlak::test {

// A fresh folder, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path(const std::string& name) const { return (root_ / name).string(); }
    const std::filesystem::path& root() const { return root_; }

  private:
    std::filesystem::path root_;
};

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
bool Exists(const std::string& path);
// A reference file's bytes with "@VERSION@" replaced by the version as melted files write it
// ("0.10 0"), so that a new version does not change the reference files.
Bytes ReadGolden(const std::string& path);

// A file that passes reads, writes, syncs and cuts on to `real`; the test files built on it
// override what they watch or change. It is not mapped, nor does it set space aside.
class PassThroughFile : public RandomAccessFile {
  public:
    explicit PassThroughFile(std::unique_ptr<RandomAccessFile> real) : real_(std::move(real)) {}
    size_t ReadAt(uint64_t offset, std::span<uint8_t> out) override {
        return real_->ReadAt(offset, out);
    }
    void WriteAt(uint64_t offset, std::span<const uint8_t> data) override {
        real_->WriteAt(offset, data);
    }
    uint64_t Size() override { return real_->Size(); }
    void Sync() override { real_->Sync(); }
    void Truncate(uint64_t size) override { real_->Truncate(size); }
    const std::string& path() const override { return real_->path(); }

  protected:
    std::unique_ptr<RandomAccessFile> real_;
};

// Passes everything to the real file system, but once `writeBudget` bytes have been written
// (counting from its creation, over all files) every further write fails; a write that crosses the
// budget writes its first part and then fails, as a full disk does.
class FaultyFileSystem final : public FileSystem {
  public:
    explicit FaultyFileSystem(int64_t writeBudget) : budget_(writeBudget) {}
    bool Exists(const std::string& path) override;
    std::unique_ptr<RandomAccessFile> Open(const std::string& path, OpenMode mode) override;
    void Rename(const std::string& from, const std::string& to) override;
    void Remove(const std::string& path) override;

    // Makes every request to set disk space aside fail as on a full disk.
    void FailReserve() { failReserve_ = true; }
    int64_t written() const { return written_; }
    bool failed() const { return failed_; }

  private:
    friend class FaultyFile;
    int64_t budget_;
    int64_t written_ = 0;
    bool failed_ = false;
    bool failReserve_ = false;
};

// A recorder that keeps nothing; a test overrides what it watches.
struct QuietRecorder : JobRecorder {
    void KeepWhole(const std::string&) override {}
    void KeepBytes(const std::string&, uint64_t, uint64_t) override {}
    void Created(const std::string&) override {}
    void Holds(const std::string&, uint64_t, std::span<const uint8_t>) override {}
    void Leaves(const std::string&, std::span<const uint8_t>) override {}
    void Start() override {}
    void Begin() override {}
    void Done() override {}
};

// The real file system, counting for each file name the bytes read through it with ReadAt (not
// through a mapping) and the syncs.
class CountingFileSystem final : public FileSystem {
  public:
    bool Exists(const std::string& path) override;
    std::unique_ptr<RandomAccessFile> Open(const std::string& path, OpenMode mode) override;
    void Rename(const std::string& from, const std::string& to) override;
    void Remove(const std::string& path) override;
    void SyncFolderOf(const std::string& path) override;
    // Read once the job is done: its files are read and opened from more than one thread.
    std::map<std::string, uint64_t> read, syncs;

  private:
    std::mutex mutex_;  // over the counts
};

}  // namespace vorlak::test
