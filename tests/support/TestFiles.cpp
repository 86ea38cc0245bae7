#include "support/TestFiles.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "mul/Error.h"

namespace vorlak::test {

TempDir::TempDir() {
    std::random_device rd;
    root_ = std::filesystem::temp_directory_path() /
            ("vorlak-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(root_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

std::string ReadText(const std::string& path) {
    Bytes b = ReadAll(path);
    return std::string(b.begin(), b.end());
}

void WriteText(const std::string& path, const std::string& text) {
    WriteAll(path, Bytes(text.begin(), text.end()));
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

Bytes ReadGolden(const std::string& path) {
    std::string text = ReadText(path);
    const std::string mask = "@VERSION@";
    const std::string version = std::to_string(VORLAK_VERSION_MAJOR) + "." +
                                std::to_string(VORLAK_VERSION_MINOR) + " " +
                                std::to_string(VORLAK_VERSION_PATCH);
    for (size_t at = text.find(mask); at != std::string::npos; at = text.find(mask, at)) {
        text.replace(at, mask.size(), version);
    }
    return Bytes(text.begin(), text.end());
}

// Shortening takes no space, so it passes on even when the budget is spent.
class FaultyFile final : public PassThroughFile {
  public:
    FaultyFile(FaultyFileSystem& fs, std::unique_ptr<RandomAccessFile> real)
        : PassThroughFile(std::move(real)), fs_(fs) {}
    void WriteAt(uint64_t offset, std::span<const uint8_t> data) override {
        int64_t room = fs_.budget_ - fs_.written_;
        if (room >= static_cast<int64_t>(data.size())) {
            real_->WriteAt(offset, data);
            fs_.written_ += static_cast<int64_t>(data.size());
            return;
        }
        if (room > 0) {
            real_->WriteAt(offset, data.first(static_cast<size_t>(room)));
            fs_.written_ += room;
        }
        fs_.failed_ = true;
        throw Error::NoSpace("Cannot write " + path() + ": No space left on device");
    }
    // What reaches the disk at a power cut is PowerCutFileSystem's business; waiting for the
    // disk here would only slow the many runs down.
    void Sync() override {}
    // Space is never promised (the caller then writes plainly), unless asked to fail.
    bool Reserve(uint64_t, uint64_t) override {
        if (fs_.failReserve_) throw Error::NoSpace("Cannot set aside space in " + path());
        return false;
    }

  private:
    FaultyFileSystem& fs_;
};

bool FaultyFileSystem::Exists(const std::string& path) { return DefaultFileSystem().Exists(path); }

std::unique_ptr<RandomAccessFile> FaultyFileSystem::Open(const std::string& path, OpenMode mode) {
    return std::make_unique<FaultyFile>(*this, DefaultFileSystem().Open(path, mode));
}

void FaultyFileSystem::Rename(const std::string& from, const std::string& to) {
    if (written_ >= budget_) {
        failed_ = true;
        throw Error::Io("Cannot rename " + from + ": No space left on device");
    }
    DefaultFileSystem().Rename(from, to);
}

void FaultyFileSystem::Remove(const std::string& path) { DefaultFileSystem().Remove(path); }

namespace {

class CountingFile final : public PassThroughFile {
  public:
    CountingFile(std::unique_ptr<RandomAccessFile> real, std::mutex& mutex, uint64_t& read,
                 uint64_t& syncs)
        : PassThroughFile(std::move(real)), mutex_(mutex), read_(read), syncs_(syncs) {}
    size_t ReadAt(uint64_t offset, std::span<uint8_t> out) override {
        size_t n = real_->ReadAt(offset, out);
        std::lock_guard lock(mutex_);
        read_ += n;
        return n;
    }
    void Sync() override {
        {
            std::lock_guard lock(mutex_);
            ++syncs_;
        }
        real_->Sync();
    }
    // Bytes read through a mapping are not counted.
    std::unique_ptr<FileMapping> Map(uint64_t offset, size_t length) override {
        return real_->Map(offset, length);
    }

  private:
    std::mutex& mutex_;
    uint64_t& read_;
    uint64_t& syncs_;
};

}  // namespace

bool CountingFileSystem::Exists(const std::string& path) {
    return DefaultFileSystem().Exists(path);
}
std::unique_ptr<RandomAccessFile> CountingFileSystem::Open(const std::string& path, OpenMode mode) {
    std::string name = std::filesystem::path(path).filename().string();
    auto real = DefaultFileSystem().Open(path, mode);
    std::lock_guard lock(mutex_);
    return std::make_unique<CountingFile>(std::move(real), mutex_, read[name], syncs[name]);
}
void CountingFileSystem::Rename(const std::string& from, const std::string& to) {
    DefaultFileSystem().Rename(from, to);
}
void CountingFileSystem::Remove(const std::string& path) { DefaultFileSystem().Remove(path); }
void CountingFileSystem::SyncFolderOf(const std::string& path) {
    DefaultFileSystem().SyncFolderOf(path);
}

}  // namespace vorlak::test
