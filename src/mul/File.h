// The file layer every job reads and writes through.
//
// Jobs take a FileSystem so that tests can run them on files that fail on purpose. Failures
// throw Error (kind kIo or kNotFound) with a message naming the file.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace vorlak {

// A shared view of part of a file, writable when the file was opened for writing. Stores into
// bytes() reach the file without further calls and stay in it even when the process ends before
// the file is closed.
class FileMapping {
  public:
    virtual ~FileMapping() = default;
    // The mapped bytes. Bytes past the current end of the file must not be touched until the
    // file has grown over them.
    virtual std::span<uint8_t> bytes() = 0;
    // Hands the resident pages back to the system; what was stored stays in the file, and the
    // next touch reads the page in again. Keeps long jobs over large files small in memory.
    virtual void Release() = 0;
};

class RandomAccessFile {
  public:
    virtual ~RandomAccessFile() = default;

    // Reads up to out.size() bytes at `offset`; returns the count read, fewer only at the end of
    // the file.
    virtual size_t ReadAt(uint64_t offset, std::span<uint8_t> out) = 0;
    // Writes all of `data` at `offset`, extending the file as needed, or throws.
    virtual void WriteAt(uint64_t offset, std::span<const uint8_t> data) = 0;
    virtual uint64_t Size() = 0;
    // Pushes written data to stable storage.
    virtual void Sync() = 0;
    // Asks for the `length` bytes from `offset`, already written, to start on their way to
    // stable storage without waiting for them; Sync() still waits and reports any failure. Does
    // nothing where the system takes no such request.
    virtual void StartSync(uint64_t offset, uint64_t length);
    // Cuts the file to `size` bytes. Files that cannot be shortened throw Error::Io.
    virtual void Truncate(uint64_t size);
    virtual const std::string& path() const = 0;
    // Maps `length` bytes from `offset` (which need not be aligned); read-only when the file was
    // opened so. Returns nullptr when this file cannot be mapped; callers then use ReadAt and
    // WriteAt.
    virtual std::unique_ptr<FileMapping> Map(uint64_t offset, size_t length);
    // Sets aside disk space for the bytes from `offset` to `offset + length`, so that stores
    // into a mapping of them cannot fail for want of space; the file keeps its length. Returns
    // false where the file system cannot promise that (then write with WriteAt, which reports a
    // full disk). Throws Error (kind kNoSpace on a full disk) when the space cannot be had.
    virtual bool Reserve(uint64_t offset, uint64_t length);

    // Reads exactly out.size() bytes; the part past the end of the file reads as zero bytes.
    void ReadZeroFilled(uint64_t offset, std::span<uint8_t> out);
};

enum class OpenMode {
    kReadOnly,         // must exist
    kReadWrite,        // created empty when missing
    kCreateExclusive,  // must not exist yet; created empty
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // True when `path` names something other than a folder.
    virtual bool Exists(const std::string& path) = 0;
    virtual std::unique_ptr<RandomAccessFile> Open(const std::string& path, OpenMode mode) = 0;
    // Replaces `to` by `from` in one step.
    virtual void Rename(const std::string& from, const std::string& to) = 0;
    // Removes `path`; a missing file is no error.
    virtual void Remove(const std::string& path) = 0;
    // Makes the renames and new names inside the folder of `path` durable. Does nothing where
    // the file system gives no such guarantee.
    virtual void SyncFolderOf(const std::string& path);
    // Removes the temporary files that killed jobs left for `target` (RemoveStaleTemps); called
    // by AtomicFile before it makes its own.
    virtual void RemoveStaleTempsOf(const std::string& target);
};

// Removes, in `folder`, each temporary file of AtomicFile (NAME.tmpXXXXXXXX, eight hexadecimal
// digits) whose NAME `ours` accepts and that no live job holds. Failures are left for later.
void RemoveStaleTemps(FileSystem& fs, const std::string& folder,
                      const std::function<bool(const std::string& name)>& ours);

// The real file system of this machine.
FileSystem& DefaultFileSystem();

// An advisory lock (flock) on a file, held until the object goes, so that two jobs never work on
// the same files at once, even from two processes. Many shared holders or one exclusive holder.
// A job that replaces the locked file by a rename covers the new file before the rename, so the
// name stays locked throughout.
class FileLock {
  public:
    enum class Mode { kShared, kExclusive };

    // Locks the file now at `path` without waiting. Returns nullptr when another job holds a lock
    // that conflicts; throws Error when the file cannot be opened.
    static std::unique_ptr<FileLock> Try(const std::string& path, Mode mode);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Locks `newFile`, a file of this job about to be renamed over the locked one. Throws Error
    // when that fails.
    void Cover(const std::string& newFile);

  private:
    explicit FileLock(Mode mode) : mode_(mode) {}
    Mode mode_;
    std::vector<int> fds_;
};

// A new file beside `target`, renamed over it by Commit(). Dropping the object without Commit()
// removes the temporary file, so a failed job leaves what the user had untouched. When `target`
// is a symbolic link the file it points at is replaced (with Links::kReplace the link itself),
// and the new file takes the permissions of the old one.
//
// The temporary file is named TARGET.tmpXXXXXXXX (eight hexadecimal digits) and held under a
// shared lock while it lives. A job killed outright leaves it behind; the next AtomicFile for the
// same target removes every such file that no live job holds.
class AtomicFile {
  public:
    enum class Links { kFollow, kReplace };

    AtomicFile(FileSystem& fs, std::string target, Links links = Links::kFollow);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    RandomAccessFile& file() { return *file_; }
    const std::string& tempPath() const { return tempPath_; }
    // Syncs, closes and renames the temporary file over the target, then syncs the folder so that
    // the new file survives a power cut. When `lock` is given it covers the new file first.
    // `beforeRename`, when given, runs once the new file is synced, before it takes the name.
    void Commit(FileLock* lock = nullptr, const std::function<void()>& beforeRename = {});

  private:
    FileSystem& fs_;
    std::string target_;
    std::string tempPath_;
    std::unique_ptr<RandomAccessFile> file_;
    int guard_ = -1;  // holds the shared lock on the temporary file, or -1
    bool committed_ = false;
};

// Replaces `path` whole by `bytes` through an AtomicFile: written, synced, renamed, the folder
// synced. Returns empty text, or the cause of the failure (the system's reason, "No space left
// on device" on a full disk); the old file is then as it was and no temporary file is left.
std::string WriteWholeFile(FileSystem& fs, const std::string& path, std::span<const uint8_t> bytes,
                           AtomicFile::Links links = AtomicFile::Links::kFollow);

// Appends text or bytes to a file through a memory buffer.
class BufferedWriter {
  public:
    explicit BufferedWriter(RandomAccessFile& file, uint64_t start = 0, size_t capacity = 1 << 20);
    void Write(std::string_view text);
    void Write(std::span<const uint8_t> bytes);
    void Flush();
    // Offset of the next byte written, counting what is still buffered.
    uint64_t position() const { return start_ + buffer_.size(); }

  private:
    RandomAccessFile& file_;
    uint64_t start_;
    size_t capacity_;
    std::vector<uint8_t> buffer_;
};

}  // namespace vorlak

namespace vorlak {

// Memory for large arrays that live for one job: whole files, tables of every block. Blocks of
// 256 KiB and more are mapped apart and in huge pages where the system offers them, so that their
// first touch costs a page fault per 2 MiB instead of one per 4 KiB; smaller ones come from the
// heap. The memory is fresh and zero-filled. Throws std::bad_alloc.
void* AllocateLarge(size_t bytes);
// Gives back a block of AllocateLarge(bytes); nothing for a null block.
void FreeLarge(void* block, size_t bytes) noexcept;

// The construction of an allocator whose containers leave new elements as they are where a plain
// container would write zeros (resize, or construction with a count).
struct LeavesNewElements {
    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// An allocator over AllocateLarge that leaves new elements as they are: fresh memory holds zeros
// already, so std::vector<int, LargeAllocator<int>>(n) holds n zeros without writing them (but a
// vector shrunk and grown again holds what it held before).
template <class T>
struct LargeAllocator : LeavesNewElements {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}
    T* allocate(size_t n) {
        if (n > std::numeric_limits<size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(AllocateLarge(n * sizeof(T)));
    }
    void deallocate(T* p, size_t n) noexcept { FreeLarge(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const LargeAllocator<U>&) const noexcept {
        return true;
    }
};

// Bytes from AllocateLarge, for whole files and the like; resize leaves new bytes uninitialised.
class LargeBytes {
  public:
    LargeBytes() = default;
    explicit LargeBytes(size_t size) { resize(size); }
    ~LargeBytes() { FreeLarge(data_, capacity_); }
    LargeBytes(LargeBytes&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    LargeBytes& operator=(LargeBytes&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        return *this;
    }

    // Keeps the bytes held up to the new size.
    void resize(size_t size);
    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    uint8_t* begin() { return data_; }
    uint8_t* end() { return data_ + size_; }
    const uint8_t* begin() const { return data_; }
    const uint8_t* end() const { return data_ + size_; }

  private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

}  // namespace vorlak

namespace vorlak {

// One file named to a job, for CheckJobFiles.
struct JobFile {
    std::string path;
    // True for a file the job writes, and for each file of a pair: such a file must not be the
    // same file as any other file named to the job.
    bool own = false;
};

// Checked by every job before it touches anything. Returns empty text when the files are safe to
// use, otherwise a message naming the file and why: a named file that exists and is not a
// regular file (a folder, FIFO, device or socket; links are followed), or an own file that is the
// same file (same device and inode, links included) as another file named. Files that do not
// exist yet pass. Files the job only reads may be one file.
std::string CheckJobFiles(const std::vector<JobFile>& files);

// The picture format that the extension of `path` names, whatever its case: "png" or "bmp";
// empty for any other name.
std::string PictureFormatOfName(const std::string& path);

// Checked for a picture a job is about to write at `path`, beside CheckJobFiles: returns empty
// text when it may be written, otherwise the refusal. A name that exists must be a regular file
// (through links too), and a symbolic link must end at a file whose name is a picture's (.png or
// .bmp), so that no link makes a picture job write over a data file (statics, terrain, art,
// radar colours, palette).
std::string CheckPictureOutput(const std::string& path);

// Checked for a name a job will replace by a rename without following a link (AtomicFile
// Links::kReplace): empty text when nothing is there or a regular file, otherwise the refusal
// ("NAME is a symbolic link, not a regular file.", "... a folder ...").
std::string CheckReplaceable(const std::string& path);

}  // namespace vorlak
