#include "mul/File.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <system_error>

#include "mul/Error.h"

namespace vorlak {
namespace {

std::string SysMessage(const std::string& what, const std::string& path, int err) {
    // The system's text, as strerror gives it, without strerror's shared buffer: steps for undo
    // are written on a second thread.
    return what + " " + path + ": " + std::system_category().message(err);
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISLNK(mode)) return "a symbolic link";
    return "a special file";
}

std::string NotRegular(const std::string& path, mode_t mode) {
    return path + " is " + KindOf(mode) + ", not a regular file.";
}

// Opens `path` with `flags` and returns the descriptor, or throws. The open never waits (a FIFO
// with no writer would hold it for ever) and what it gives must be a regular file, checked
// before anything is read or written: a FIFO, device or folder is refused by name.
int OpenRegular(const std::string& path, int flags, mode_t perms = 0644) {
    int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, perms);
    if (fd < 0) {
        int err = errno;
        std::string m = SysMessage("Cannot open", path, err);
        if (err == ENOENT) throw Error::NotFound(m);
        if (err == ENXIO) throw Error::Io(NotRegular(path, S_IFIFO));  // a FIFO with no reader
        if (err == EISDIR) throw Error::Io(NotRegular(path, S_IFDIR));
        throw Error::Io(m);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        throw Error::Io(SysMessage("Cannot stat", path, err));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw Error::Io(NotRegular(path, st.st_mode));
    }
    // Reads and writes of a regular file never wait anyway; the flag goes for clarity.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

class PosixMapping final : public FileMapping {
  public:
    PosixMapping(void* base, size_t length, size_t lead)
        : base_(base), length_(length), lead_(lead) {}
    ~PosixMapping() override { ::munmap(base_, length_); }
    std::span<uint8_t> bytes() override {
        return {static_cast<uint8_t*>(base_) + lead_, length_ - lead_};
    }
    void Release() override {
        // On a shared mapping this only drops the page table entries; changed pages stay in the
        // page cache, marked for writing back.
        ::madvise(base_, length_, MADV_DONTNEED);
    }

  private:
    void* base_;
    size_t length_;
    size_t lead_;  // bytes from the page boundary to the offset asked for
};

class PosixFile final : public RandomAccessFile {
  public:
    PosixFile(int fd, std::string path, bool writable)
        : fd_(fd), path_(std::move(path)), writable_(writable) {}
    ~PosixFile() override { ::close(fd_); }

    size_t ReadAt(uint64_t offset, std::span<uint8_t> out) override {
        size_t done = 0;
        while (done < out.size()) {
            ssize_t n = ::pread(fd_, out.data() + done, out.size() - done,
                                static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR) continue;
                throw Error::Io(SysMessage("Cannot read", path_, errno) + " at offset " +
                                std::to_string(offset + done));
            }
            if (n == 0) break;
            done += static_cast<size_t>(n);
        }
        return done;
    }

    void WriteAt(uint64_t offset, std::span<const uint8_t> data) override {
        size_t done = 0;
        while (done < data.size()) {
            ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done,
                                 static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR) continue;
                std::string m = SysMessage("Cannot write", path_, errno) + " at offset " +
                                std::to_string(offset + done);
                if (errno == ENOSPC || errno == EDQUOT) throw Error::NoSpace(m);
                throw Error::Io(m);
            }
            done += static_cast<size_t>(n);
        }
    }

    uint64_t Size() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) throw Error::Io(SysMessage("Cannot stat", path_, errno));
        return static_cast<uint64_t>(st.st_size);
    }

    void Sync() override {
        if (::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
            throw Error::Io(SysMessage("Cannot sync", path_, errno));
        }
    }

    void StartSync(uint64_t offset, uint64_t length) override {
#ifdef SYNC_FILE_RANGE_WRITE
        // Only a request: a failure to write shows again in the Sync() that follows.
        (void)::sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(length),
                                SYNC_FILE_RANGE_WRITE);
#else
        (void)offset, (void)length;
#endif
    }

    void Truncate(uint64_t size) override {
        if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
            throw Error::Io(SysMessage("Cannot shorten", path_, errno));
        }
    }

    const std::string& path() const override { return path_; }

    bool Reserve(uint64_t offset, uint64_t length) override {
        if (length == 0) return true;
        if (::fallocate(fd_, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                        static_cast<off_t>(length)) == 0) {
            return true;
        }
        int err = errno;
        if (err == EOPNOTSUPP || err == ENOSYS || err == EINVAL) return false;
        std::string m = SysMessage("Cannot set aside space in", path_, err);
        if (err == ENOSPC || err == EDQUOT) throw Error::NoSpace(m);
        throw Error::Io(m);
    }

    std::unique_ptr<FileMapping> Map(uint64_t offset, size_t length) override {
        long page = ::sysconf(_SC_PAGESIZE);
        if (page <= 0 || length == 0) return nullptr;
        uint64_t lead = offset % static_cast<uint64_t>(page);
        if (offset - lead > static_cast<uint64_t>(std::numeric_limits<off_t>::max()) ||
            length > std::numeric_limits<size_t>::max() - lead) {
            return nullptr;
        }
        size_t total = length + static_cast<size_t>(lead);
        void* base = ::mmap(nullptr, total, writable_ ? PROT_READ | PROT_WRITE : PROT_READ,
                            MAP_SHARED, fd_, static_cast<off_t>(offset - lead));
        if (base == MAP_FAILED) return nullptr;
        return std::make_unique<PosixMapping>(base, total, static_cast<size_t>(lead));
    }

  private:
    int fd_;
    std::string path_;
    bool writable_;
};

class PosixFileSystem final : public FileSystem {
  public:
    bool Exists(const std::string& path) override {
        struct stat st {};
        return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
    }

    std::unique_ptr<RandomAccessFile> Open(const std::string& path, OpenMode mode) override {
        int flags = O_CLOEXEC;
        switch (mode) {
            case OpenMode::kReadOnly:
                flags |= O_RDONLY;
                break;
            case OpenMode::kReadWrite:
                flags |= O_RDWR | O_CREAT;
                break;
            case OpenMode::kCreateExclusive:
                flags |= O_RDWR | O_CREAT | O_EXCL;
                break;
        }
        return std::make_unique<PosixFile>(OpenRegular(path, flags), path,
                                           mode != OpenMode::kReadOnly);
    }

    void Rename(const std::string& from, const std::string& to) override {
        if (std::rename(from.c_str(), to.c_str()) != 0) {
            throw Error::Io(SysMessage("Cannot rename " + from + " to", to, errno));
        }
    }

    void Remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            throw Error::Io(SysMessage("Cannot remove", path, errno));
        }
    }

    void SyncFolderOf(const std::string& path) override {
        std::string folder = std::filesystem::path(path).parent_path().string();
        if (folder.empty()) folder = ".";
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) throw Error::Io(SysMessage("Cannot open the folder", folder, errno));
        int rc = ::fsync(fd);
        int err = errno;
        ::close(fd);
        if (rc != 0 && err != EINVAL && err != EROFS) {
            throw Error::Io(SysMessage("Cannot sync the folder", folder, err));
        }
    }
};

}  // namespace

std::unique_ptr<FileMapping> RandomAccessFile::Map(uint64_t, size_t) { return nullptr; }

bool RandomAccessFile::Reserve(uint64_t, uint64_t) { return false; }

void RandomAccessFile::StartSync(uint64_t, uint64_t) {}

void RandomAccessFile::Truncate(uint64_t) {
    throw Error::Io("Cannot shorten " + path() + ": not supported");
}

void FileSystem::SyncFolderOf(const std::string&) {}

void RandomAccessFile::ReadZeroFilled(uint64_t offset, std::span<uint8_t> out) {
    size_t n = ReadAt(offset, out);
    std::memset(out.data() + n, 0, out.size() - n);
}

FileSystem& DefaultFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

namespace {

constexpr char kTempMark[] = ".tmp";
constexpr size_t kTempDigits = 8;

// The name of the target of a temporary file: NAME of NAME.tmpXXXXXXXX; empty for other names.
std::string TargetOfTemp(const std::string& name) {
    const size_t mark = sizeof kTempMark - 1;
    if (name.size() <= mark + kTempDigits) return {};
    const size_t at = name.size() - kTempDigits - mark;
    if (name.compare(at, mark, kTempMark) != 0 ||
        !std::all_of(name.begin() + static_cast<ptrdiff_t>(at + mark), name.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); })) {
        return {};
    }
    return name.substr(0, at);
}

}  // namespace

void RemoveStaleTemps(FileSystem& fs, const std::string& folder,
                      const std::function<bool(const std::string& name)>& ours) {
    namespace fsys = std::filesystem;
    const fsys::path where = folder.empty() ? fsys::path(".") : fsys::path(folder);
    std::error_code ec;
    for (fsys::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        const std::string target = TargetOfTemp(entry);
        if (target.empty() || !ours(target) || it->is_symlink(ec) || !it->is_regular_file(ec)) {
            continue;
        }
        const std::string stale = (where / entry).string();
        int fd = ::open(stale.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        // A live job holds a shared lock on its temporary file for as long as it writes it.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            try {
                fs.Remove(stale);
            } catch (const Error&) {
                // Left for a later job.
            }
        }
        ::close(fd);
    }
}

void FileSystem::RemoveStaleTempsOf(const std::string& target) {
    const std::filesystem::path path(target);
    const std::string name = path.filename().string();
    RemoveStaleTemps(*this, path.parent_path().string(),
                     [&name](const std::string& n) { return n == name; });
}

AtomicFile::AtomicFile(FileSystem& fs, std::string target, Links links)
    : fs_(fs), target_(std::move(target)) {
    // Through a symbolic link the file it points at is replaced, not the link.
    std::error_code ec;
    if (links == Links::kFollow && std::filesystem::is_symlink(target_, ec)) {
        std::filesystem::path real = std::filesystem::canonical(target_, ec);
        if (!ec) target_ = real.string();
    }
    fs_.RemoveStaleTempsOf(target_);
    std::random_device rd;
    for (int attempt = 0;; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, "%s%08x", kTempMark, rd());
        tempPath_ = target_ + suffix;
        try {
            file_ = fs_.Open(tempPath_, OpenMode::kCreateExclusive);
            break;
        } catch (const Error&) {
            if (attempt >= 8 || fs_.Exists(tempPath_) == false) throw;
        }
    }
    // Marks the file as in use for the clean-up above, run by another job. Where the file system
    // is not the machine's own the file cannot be named, and it goes unmarked.
    guard_ = ::open(tempPath_.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (guard_ >= 0 && ::flock(guard_, LOCK_SH | LOCK_NB) != 0) {
        ::close(guard_);
        guard_ = -1;
    }
}

AtomicFile::~AtomicFile() {
    if (!committed_) {
        file_.reset();
        try {
            fs_.Remove(tempPath_);
        } catch (const Error&) {
            // Nothing more can be done from a destructor; the target is untouched either way.
        }
    }
    if (guard_ >= 0) ::close(guard_);
}

void AtomicFile::Commit(FileLock* lock, const std::function<void()>& beforeRename) {
    if (lock) {
        // An exclusive cover would conflict with the guard's shared lock; the cover marks the
        // file as in use from here on.
        if (guard_ >= 0) ::close(guard_);
        guard_ = -1;
        lock->Cover(tempPath_);
    }
    file_->Sync();
    file_.reset();
    if (beforeRename) beforeRename();
    // The new file keeps the permissions of the one it replaces, so that whoever could write it
    // still can.
    std::error_code ec;
    std::filesystem::file_status old = std::filesystem::status(target_, ec);
    if (!ec && std::filesystem::is_regular_file(old)) {
        std::filesystem::permissions(tempPath_, old.permissions(), ec);
    }
    fs_.Rename(tempPath_, target_);
    committed_ = true;
    fs_.SyncFolderOf(target_);
}

std::string WriteWholeFile(FileSystem& fs, const std::string& path, std::span<const uint8_t> bytes,
                           AtomicFile::Links links) {
    try {
        AtomicFile out(fs, path, links);
        out.file().WriteAt(0, bytes);
        out.Commit();
    } catch (const Error& e) {
        return e.what();
    }
    return {};
}

namespace {

// Opens `path` and takes the lock on it: the open descriptor, or -1 when another holder's lock
// conflicts. Throws Error when the file cannot be opened or locked.
int OpenLocked(const std::string& path, FileLock::Mode mode) {
    int fd = OpenRegular(path, O_RDONLY);
    int op = (mode == FileLock::Mode::kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    while (::flock(fd, op) != 0) {
        int err = errno;
        if (err == EINTR) continue;
        ::close(fd);
        if (err == EWOULDBLOCK) return -1;
        throw Error::Io(SysMessage("Cannot lock", path, err));
    }
    return fd;
}

}  // namespace

std::unique_ptr<FileLock> FileLock::Try(const std::string& path, Mode mode) {
    std::unique_ptr<FileLock> lock(new FileLock(mode));
    // A job that held the file may have renamed a new one over it after we opened it: then the
    // lock we got is on a file that no longer has the name, and the name is tried again.
    for (int attempt = 0; attempt < 64; ++attempt) {
        int fd = OpenLocked(path, mode);
        if (fd < 0) return nullptr;
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            lock->fds_.push_back(fd);
            return lock;
        }
        ::close(fd);
    }
    return nullptr;
}

void FileLock::Cover(const std::string& newFile) {
    int fd = OpenLocked(newFile, mode_);
    if (fd < 0) throw Error::Io("Cannot lock " + newFile + ": another job holds it");
    fds_.push_back(fd);
}

FileLock::~FileLock() {
    for (int fd : fds_) ::close(fd);
}

BufferedWriter::BufferedWriter(RandomAccessFile& file, uint64_t start, size_t capacity)
    : file_(file), start_(start), capacity_(capacity) {
    buffer_.reserve(capacity_);
}

void BufferedWriter::Write(std::string_view text) {
    if (buffer_.size() + text.size() > capacity_) Flush();
    if (text.size() >= capacity_) {
        file_.WriteAt(start_, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
        start_ += text.size();
        return;
    }
    buffer_.insert(buffer_.end(), text.begin(), text.end());
}

void BufferedWriter::Write(std::span<const uint8_t> bytes) {
    Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void BufferedWriter::Flush() {
    if (buffer_.empty()) return;
    file_.WriteAt(start_, buffer_);
    start_ += buffer_.size();
    buffer_.clear();
}

}  // namespace vorlak

namespace vorlak {
namespace {

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer every block comes from the heap, where a read or write past its end is
// caught.
constexpr size_t kLargeBlock = std::numeric_limits<size_t>::max();
#else
constexpr size_t kLargeBlock = size_t{256} << 10;
#endif
constexpr size_t kHugePage = size_t{2} << 20;

size_t MappedLength(size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

}  // namespace

void* AllocateLarge(size_t bytes) {
    if (bytes < kLargeBlock) {
        if (void* block = std::calloc(bytes ? bytes : 1, 1)) return block;
        throw std::bad_alloc();
    }
    if (bytes > std::numeric_limits<size_t>::max() - 2 * kHugePage) throw std::bad_alloc();
    // Mapped one huge page longer and cut to a huge page boundary at both ends.
    const size_t length = MappedLength(bytes);
    void* raw = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const auto at = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t start = (at + kHugePage - 1) / kHugePage * kHugePage;
    if (start > at) ::munmap(raw, start - at);
    ::munmap(reinterpret_cast<void*>(start + length), kHugePage - (start - at));
    ::madvise(reinterpret_cast<void*>(start), length, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(start);
}

void FreeLarge(void* block, size_t bytes) noexcept {
    if (!block) return;
    if (bytes < kLargeBlock) {
        std::free(block);
    } else {
        ::munmap(block, MappedLength(bytes));
    }
}

void LargeBytes::resize(size_t size) {
    if (size > capacity_) {
        auto* grown = static_cast<uint8_t*>(AllocateLarge(size));
        if (size_ > 0) std::memcpy(grown, data_, size_);
        FreeLarge(data_, capacity_);
        data_ = grown;
        capacity_ = size;
    }
    size_ = size;
}

std::string CheckJobFiles(const std::vector<JobFile>& files) {
    std::vector<struct stat> found(files.size());
    std::vector<bool> exists(files.size(), false);
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& path = files[i].path;
        if (path.empty() || ::stat(path.c_str(), &found[i]) != 0) continue;
        exists[i] = true;
        if (!S_ISREG(found[i].st_mode)) return NotRegular(path, found[i].st_mode);
    }
    for (size_t i = 0; i < files.size(); ++i) {
        for (size_t j = i + 1; j < files.size(); ++j) {
            if (!(files[i].own || files[j].own) || exists[i] != exists[j]) continue;
            if (files[i].path.empty() || files[j].path.empty()) continue;
            if (exists[i]) {
                if (found[i].st_dev != found[j].st_dev || found[i].st_ino != found[j].st_ino) {
                    continue;
                }
            } else {
                // Neither exists yet: two spellings of one new name.
                std::error_code e1, e2;
                auto a = std::filesystem::weakly_canonical(files[i].path, e1);
                auto b = std::filesystem::weakly_canonical(files[j].path, e2);
                if (e1 || e2 || a != b) continue;
            }
            return files[i].path + " and " + files[j].path + " are the same file.";
        }
    }
    return {};
}

std::string PictureFormatOfName(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".png" || ext == ".bmp" ? ext.substr(1) : std::string();
}

std::string CheckPictureOutput(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) return {};
    if (S_ISLNK(st.st_mode)) {
        std::error_code ec;
        const std::filesystem::path target = std::filesystem::weakly_canonical(path, ec);
        if (ec || PictureFormatOfName(target.string()).empty()) {
            return path + " is a symbolic link to " + (ec ? std::string("?") : target.string()) +
                   ", which is not a picture file.";
        }
        if (::stat(path.c_str(), &st) != 0) return {};
    }
    if (!S_ISREG(st.st_mode)) return NotRegular(path, st.st_mode);
    return {};
}

std::string CheckReplaceable(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return {};
    return NotRegular(path, st.st_mode);
}

}  // namespace vorlak
