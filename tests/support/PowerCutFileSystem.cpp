#include "support/PowerCutFileSystem.h"

#include <filesystem>

#include "mul/Error.h"
#include "support/TestFiles.h"

namespace vorlak::test {

class PowerCutFile final : public PassThroughFile {
  public:
    PowerCutFile(PowerCutFileSystem& fs, int node, std::unique_ptr<RandomAccessFile> real)
        : PassThroughFile(std::move(real)), fs_(fs), node_(node) {}
    void WriteAt(uint64_t offset, std::span<const uint8_t> data) override {
        std::lock_guard lock(fs_.mutex_);
        fs_.Change();
        real_->WriteAt(offset, data);
    }
    void Sync() override {
        std::lock_guard lock(fs_.mutex_);
        fs_.Change();
        std::vector<uint8_t> bytes(real_->Size());
        real_->ReadAt(0, bytes);
        fs_.synced_[static_cast<size_t>(node_)] = std::move(bytes);
    }
    void Truncate(uint64_t size) override {
        std::lock_guard lock(fs_.mutex_);
        fs_.Change();
        real_->Truncate(size);
    }

  private:
    PowerCutFileSystem& fs_;
    int node_;
};

PowerCutFileSystem::PowerCutFileSystem(std::string folder, int64_t cutAt)
    : folder_(std::move(folder)), cutAt_(cutAt) {
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
        std::string path = entry.path().string();
        names_[path] = static_cast<int>(synced_.size());
        synced_.push_back(ReadAll(path));
    }
    syncedNames_ = names_;
}

void PowerCutFileSystem::Change() {
    if (cut_) throw Error::Io("The power is off");
    if (++changes_ == cutAt_) {
        cut_ = true;
        throw Error::Io("The power went off");
    }
}

bool PowerCutFileSystem::Exists(const std::string& path) {
    return DefaultFileSystem().Exists(path);
}

std::unique_ptr<RandomAccessFile> PowerCutFileSystem::Open(const std::string& path, OpenMode mode) {
    auto real = DefaultFileSystem().Open(path, mode);
    std::lock_guard lock(mutex_);
    auto [named, created] = names_.try_emplace(path, static_cast<int>(synced_.size()));
    if (created) {  // a new file, empty on disk until synced
        synced_.emplace_back();
        Change();
    }
    return std::make_unique<PowerCutFile>(*this, named->second, std::move(real));
}

void PowerCutFileSystem::Rename(const std::string& from, const std::string& to) {
    std::lock_guard lock(mutex_);
    Change();
    DefaultFileSystem().Rename(from, to);
    names_[to] = names_.at(from);
    names_.erase(from);
}

void PowerCutFileSystem::Remove(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (cut_) return;  // nothing runs any more; temporary files stay where the cut left them
    Change();
    DefaultFileSystem().Remove(path);
    names_.erase(path);
}

void PowerCutFileSystem::SyncFolderOf(const std::string&) {
    std::lock_guard lock(mutex_);
    Change();
    syncedNames_ = names_;
}

void PowerCutFileSystem::Restore() {
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
        std::filesystem::remove(entry.path());
    }
    for (const auto& [name, node] : syncedNames_)
        WriteAll(name, synced_[static_cast<size_t>(node)]);
}

}  // namespace vorlak::test
