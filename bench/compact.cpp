// Times `check` and `compact` on a pair of about 1,000,000 statics with unreferenced runs, against
// copying both files, in the same run (warm page cache; best of several runs each).
// Usage: bench_compact [FOLDER] [STATICS] [SAVED_AGAIN]
//   FOLDER defaults to a new folder under /tmp; STATICS to 1000000; SAVED_AGAIN, the share of
//   blocks saved a second time (their first runs left unreferenced), to 0.3.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "../tests/support/StaticsPair.h"
#include "statics/StaticsCheck.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& f) {
    auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// What `cp` does without tricks: read and write in large pieces; with `sync`, then fdatasync.
void Copy(const std::string& from, const std::string& to, bool sync) {
    int in = ::open(from.c_str(), O_RDONLY);
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0) {
        std::perror("open");
        std::exit(1);
    }
    std::vector<char> buffer(1 << 20);
    for (ssize_t n; (n = ::read(in, buffer.data(), buffer.size())) > 0;) {
        if (::write(out, buffer.data(), static_cast<size_t>(n)) != n) {
            std::perror("write");
            std::exit(1);
        }
    }
    if (sync) ::fdatasync(out);
    ::close(in);
    ::close(out);
}

// The real files with syncs skipped: shows the cost of the work apart from waiting for the disk.
class NoSyncFile final : public vorlak::RandomAccessFile {
  public:
    explicit NoSyncFile(std::unique_ptr<vorlak::RandomAccessFile> real) : real_(std::move(real)) {}
    size_t ReadAt(uint64_t offset, std::span<uint8_t> out) override {
        return real_->ReadAt(offset, out);
    }
    void WriteAt(uint64_t offset, std::span<const uint8_t> data) override {
        real_->WriteAt(offset, data);
    }
    uint64_t Size() override { return real_->Size(); }
    void Sync() override {}
    void Truncate(uint64_t size) override { real_->Truncate(size); }
    const std::string& path() const override { return real_->path(); }

  private:
    std::unique_ptr<vorlak::RandomAccessFile> real_;
};

class NoSyncFileSystem final : public vorlak::FileSystem {
  public:
    bool Exists(const std::string& path) override { return real().Exists(path); }
    std::unique_ptr<vorlak::RandomAccessFile> Open(const std::string& path,
                                                   vorlak::OpenMode mode) override {
        return std::make_unique<NoSyncFile>(real().Open(path, mode));
    }
    void Rename(const std::string& from, const std::string& to) override {
        real().Rename(from, to);
    }
    void Remove(const std::string& path) override { real().Remove(path); }

  private:
    static vorlak::FileSystem& real() { return vorlak::DefaultFileSystem(); }
};

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    fs::path folder =
        argc > 1 ? fs::path(argv[1])
                 : fs::temp_directory_path() / ("vorlak-bench-" + std::to_string(::getpid()));
    uint32_t statics = argc > 2 ? static_cast<uint32_t>(std::atol(argv[2])) : 1000000;
    double savedAgain = argc > 3 ? std::atof(argv[3]) : 0.3;
    fs::create_directories(folder);
    std::string idx = (folder / "staidx0.mul").string(), mul = (folder / "statics0.mul").string();
    std::string idxCopy = (folder / "copy-staidx0.mul").string();
    std::string mulCopy = (folder / "copy-statics0.mul").string();

    auto pair = vorlak::test::StaticsPair::Spread(statics, savedAgain, 1);
    auto restore = [&] { pair.Write(idx, mul); };
    std::string status;
    constexpr int kRuns = 5;
    double copy = 1e9, copySynced = 1e9, check = 1e9, compact = 1e9, compactNoSync = 1e9;
    NoSyncFileSystem noSync;
    auto runCompact = [&](vorlak::FileSystem& fs) {
        auto outcome = vorlak::RunCompact(
            {mul, idx}, [](auto&) {}, fs);
        if (!outcome.ok) {
            std::fprintf(stderr, "%s\n%s\n", outcome.status.c_str(), outcome.detail.c_str());
            std::exit(1);
        }
        status = outcome.status;
    };
    for (int run = 0; run < kRuns; ++run) {
        restore();
        copy = std::min(copy, Seconds([&] {
                            Copy(mul, mulCopy, false);
                            Copy(idx, idxCopy, false);
                        }));
        copySynced = std::min(copySynced, Seconds([&] {
                                  Copy(mul, mulCopy, true);
                                  Copy(idx, idxCopy, true);
                              }));
        check = std::min(check, Seconds([&] {
                             if (!vorlak::CheckStaticsFiles(idx, mul).sound()) std::exit(1);
                         }));
        compact = std::min(compact, Seconds([&] { runCompact(vorlak::DefaultFileSystem()); }));
        restore();
        compactNoSync = std::min(compactNoSync, Seconds([&] { runCompact(noSync); }));
    }
    std::printf("pair: %u statics, data %zu bytes (%zu after compacting), index %zu bytes\n",
                statics, pair.data.size(), static_cast<size_t>(fs::file_size(mul)),
                pair.index.size());
    std::printf("%s\n", status.c_str());
    std::printf("copy both files:               %.4f s\n", copy);
    std::printf("copy both files, synced:       %.4f s\n", copySynced);
    std::printf("check:                         %.4f s\n", check);
    std::printf("compact (syncs as it goes):    %.4f s  %.2fx the copy, %.2fx the synced copy\n",
                compact, compact / copy, compact / copySynced);
    std::printf("compact, syncs skipped:        %.4f s  %.2fx the copy\n", compactNoSync,
                compactNoSync / copy);
    if (argc <= 1) fs::remove_all(folder);
    return 0;
}
