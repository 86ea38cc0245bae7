#include "statics/cStatics.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <span>

#include "mul/Error.h"
#include "mul/LittleEndian.h"
#include "mul/Stop.h"
#include "mul/mTypes.h"

namespace vorlak {
namespace {

constexpr char kOpenFailed[] = "Unable to open/create statics.";
constexpr size_t kPendingLimit = 8u << 20;  // pending records written out, unreferenced
constexpr size_t kEmptyFillBytes = 147456;  // a new default index is 32 runs of this many 0xFF

}  // namespace

cStatics::cStatics(FileSystem& fs) : fs_(fs) {}

cStatics::~cStatics() = default;

std::string cStatics::cOpen(const std::string& Staidx0, const std::string& Statics0,
                            const std::optional<world::Size>& world) {
    return cOpen(Staidx0, Statics0, Access::kWrite, world);
}

std::string cStatics::cOpen(const std::string& Staidx0, const std::string& Statics0, Access access,
                            const std::optional<world::Size>& world) {
    try {
        bool haveIndex = fs_.Exists(Staidx0);
        bool haveData = fs_.Exists(Statics0);
        // One file alone is refused: taking it as a new pair would empty the user's index.
        if (haveIndex != haveData) {
            lastFailure_ = (haveIndex ? Statics0 : Staidx0) + " does not exist, but " +
                           (haveIndex ? Staidx0 : Statics0) + " does";
            return kOpenFailed;
        }
        bool fresh = !haveIndex;
        if (fresh && access == Access::kRead) return kOpenFailed;
        const FileLock::Mode mode =
            access == Access::kRead ? FileLock::Mode::kShared : FileLock::Mode::kExclusive;
        const OpenMode open = access == Access::kRead ? OpenMode::kReadOnly : OpenMode::kReadWrite;
        std::unique_ptr<FileLock> lock;
        std::unique_ptr<RandomAccessFile> index;
        world::Size size = world.value_or(world::Size{});
        std::unique_ptr<RandomAccessFile> data;
        if (!fresh) {
            lock = FileLock::Try(Staidx0, mode);
            if (!lock) return kInUse;
            index = fs_.Open(Staidx0, open);
            // The index is written back whole at the length read here, so a length that fits no
            // world is refused: taking it at another length would cut or extend it.
            uint64_t length = index->Size();
            auto found = world::SizeOfFile(length, kEntryBytes, world);
            if (!found) {
                openState_ = 0;
                return world::SizeRefusal(Staidx0, length, kEntryBytes, "statics index", world);
            }
            size = *found;
        } else {
            // The data file first, then the index, filled beside and renamed into place: its
            // commit syncs the folder, so both names reach the disk together, and a failure
            // leaves no half pair. The index is made on a second thread while the job reads what
            // it needs; nothing reaches the files before it is in place (FinishCreating).
            data = fs_.Open(Statics0, OpenMode::kCreateExclusive);
            auto create = [this, Staidx0, Statics0, mode, open, total = IndexBytes(size)] {
                try {
                    AtomicFile fill(fs_, Staidx0);
                    ByteBuffer empty(kEmptyFillBytes, 0xFF);
                    for (uint64_t at = 0; at < total; at += kEmptyFillBytes) {
                        size_t n =
                            static_cast<size_t>(std::min<uint64_t>(kEmptyFillBytes, total - at));
                        fill.file().WriteAt(at, std::span<const uint8_t>(empty).first(n));
                    }
                    fill.Commit();
                } catch (const Error&) {
                    fs_.Remove(Statics0);
                    throw;
                }
                Creation made;
                made.lock = FileLock::Try(Staidx0, mode);  // none: another job took the new pair
                if (made.lock) made.index = fs_.Open(Staidx0, open);
                return made;
            };
            try {
                creating_ = std::async(std::launch::async, create);
            } catch (const std::system_error&) {
                std::promise<Creation> made;  // no second thread to be had
                try {
                    made.set_value(create());
                } catch (...) {
                    made.set_exception(std::current_exception());
                }
                creating_ = made.get_future();
            }
        }
        if (!data) data = fs_.Open(Statics0, open);
        indexBytes_.resize(static_cast<size_t>(IndexBytes(size)));
        if (fresh) {
            std::fill(indexBytes_.begin(), indexBytes_.end(), uint8_t{0xFF});
        } else if (index->ReadAt(0, indexBytes_) != indexBytes_.size()) {
            throw Error::Io("Cannot read " + Staidx0 + ": it became shorter while being read");
        }
        size_ = size;
        flushedDataSize_ = data->Size();
        startDataSize_ = flushedDataSize_;
        indexChanged_ = false;
        creationRefusal_.clear();
        indexPath_ = Staidx0;
        pendingData_.clear();
        run_.clear();
        // Reading the records in place from a mapping spares a copy and follows any layout of
        // runs; where the file cannot be mapped, each run is read when asked for.
        mapped_ =
            flushedDataSize_ > 0 ? data->Map(0, static_cast<size_t>(flushedDataSize_)) : nullptr;
        mappedSize_ = mapped_ ? flushedDataSize_ : 0;
        index_ = std::move(index);
        data_ = std::move(data);
        lock_ = std::move(lock);
        readOnly_ = access == Access::kRead;
        openState_ = fresh ? 2 : 1;
        return {};
    } catch (const Error& e) {
        openState_ = 0;
        lastFailure_ = e.what();
        return kOpenFailed;
    }
}

const std::string& cStatics::FinishCreating() {
    if (!creating_.valid()) return creationRefusal_;
    try {
        Creation made = creating_.get();
        if (made.lock) {
            index_ = std::move(made.index);
            lock_ = std::move(made.lock);
        } else {
            creationRefusal_ = kInUse;
        }
    } catch (const std::exception& e) {
        creationRefusal_ = kOpenFailed;
        lastFailure_ = e.what();
    }
    return creationRefusal_;
}

void cStatics::RequireCreated() {
    if (!FinishCreating().empty()) throw Error::Io(creationRefusal_);
}

std::string cStatics::Attempt(const std::function<void()>& work) {
    lastFailure_.clear();
    try {
        work();
    } catch (const Error& e) {
        if (e.kind() == Error::Kind::kStopped) throw;
        lastFailure_ = e.what();
        return "Unknown error.";
    } catch (const std::exception& e) {
        lastFailure_ = e.what();
        return "Unknown error.";
    }
    return {};
}

void cStatics::RequireWholeRecords(int32_t number, const Entry& entry) const {
    if (entry.length % kRecordBytes != 0) {
        throw Error::Corrupt("The statics of " + world::DescribeBlock(number, size_) + " are " +
                             std::to_string(entry.length) +
                             " bytes long, not a whole number of records");
    }
}

void cStatics::ForEachRunIn(
    int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
    const std::function<void(int32_t, int32_t, int32_t, const uint8_t*, const Entry&)>& visit) {
    for (int32_t bx = X1 / world::kBlockCells; bx <= X2 / world::kBlockCells; ++bx) {
        ThrowIfStopped();
        for (int32_t by = Y1 / world::kBlockCells; by <= Y2 / world::kBlockCells; ++by) {
            int32_t number = bx * size_.blockRows() + by;
            Entry entry;
            if (const uint8_t* run = RunOf(number, entry)) visit(bx, by, number, run, entry);
        }
    }
}

void cStatics::Abandon() noexcept {
    try {
        FinishCreating();  // a new pair's index is in place, or not made, before the store lets go
    } catch (const std::exception&) {
        // No memory left for the text of its failure.
    }
    mapped_.reset();
    // Records appended for an index that was never committed are given back.
    if (data_ && !readOnly_ && flushedDataSize_ > startDataSize_) {
        try {
            data_->Truncate(startDataSize_);
        } catch (const std::exception&) {
            // They stay behind, unreferenced; the pair is sound either way.
        }
    }
    data_.reset();
    index_.reset();
    lock_.reset();
    openState_ = 0;
    indexBytes_ = {};
    pendingData_ = {};
    appended_ = {};
    run_ = {};
    mapped_.reset();
    mappedSize_ = 0;
    indexChanged_ = false;
}

void cStatics::cClose(const std::function<void()>& beforeCommit) {
    if (openState_ == 0) return;
    // The store is closed even when the commit fails; the failure still reaches the caller.
    struct Closer {
        cStatics& s;
        ~Closer() { s.Abandon(); }
    } closer{*this};
    bool called = false;
    auto once = [&] {
        if (called || !beforeCommit) return;
        called = true;
        beforeCommit();
    };
    try {
        Commit(once);
    } catch (...) {
        once();
        throw;
    }
    once();
}

void cStatics::RefuseBlock(int32_t block) const {
    if (openState_ == 0) throw Error::InvalidArgument("The statics files are not open");
    throw Error::OutOfRange("Block number " + std::to_string(block) + " lies outside the world");
}

const std::string& cStatics::dataPath() const {
    static const std::string none;
    return data_ ? data_->path() : none;
}

int32_t cStatics::cLoad(int32_t BlockNumber, ByteBuffer& Statics0Data) {
    Entry e;
    const uint8_t* run = RunOf(BlockNumber, e);
    if (run) Statics0Data.assign(run, run + e.length);
    return e.length;
}

void cStatics::RequireRunInside(int32_t block, const Entry& e) const {
    uint64_t dataSize = dataBytes();
    if (e.offset < 0 ||
        static_cast<uint64_t>(e.offset) + static_cast<uint64_t>(e.length) > dataSize) {
        throw Error::Corrupt("The index " + indexPath_ + " is damaged at " +
                             world::DescribeBlock(block, size_) + ": its entry (offset " +
                             std::to_string(e.offset) + ", length " + std::to_string(e.length) +
                             ") reaches outside " + data_->path() + " (" +
                             std::to_string(dataSize) + " bytes)");
    }
}

const uint8_t* cStatics::RunOf(int32_t block, Entry& e) {
    e = EntryOf(block);
    if (e.length <= 0) return nullptr;
    RequireRunInside(block, e);
    return PeekData(static_cast<uint64_t>(e.offset), static_cast<size_t>(e.length));
}

const uint8_t* cStatics::PeekData(uint64_t offset, size_t length) {
    uint64_t end = offset + length;
    if (offset >= flushedDataSize_) {
        // Appended by this job and not yet written out.
        return pendingData_.data() + (offset - flushedDataSize_);
    }
    if (end > flushedDataSize_) {
        WritePending();  // a run that straddles the written and pending parts
    }
    if (end <= mappedSize_) return mapped_->bytes().data() + offset;
    // Where the file could not be mapped, each run is read on its own.
    run_.resize(length);
    data_->ReadZeroFilled(offset, run_);
    return run_.data();
}

void cStatics::cSave(int32_t BlockNumber, std::span<const uint8_t> Statics0Data, bool isEmpty) {
    CheckBlock(BlockNumber);
    if (readOnly_) throw Error::InvalidArgument("The statics files are open for reading only");
    if (isEmpty) {
        SetEntry(BlockNumber, {-1, -1, -1});
        return;
    }
    RequireRoomFor(Statics0Data.size());
    const uint64_t offset = dataBytes();
    if (std::less_equal<>()(pendingData_.data(), Statics0Data.data()) &&
        std::less<>()(Statics0Data.data(), pendingData_.data() + pendingData_.size())) {
        // Records this job appended move when the pending records grow: copied out first.
        ByteBuffer copy(Statics0Data.begin(), Statics0Data.end());
        pendingData_.insert(pendingData_.end(), copy.begin(), copy.end());
    } else {
        pendingData_.insert(pendingData_.end(), Statics0Data.begin(), Statics0Data.end());
    }
    SetEntry(BlockNumber,
             {static_cast<int32_t>(offset), static_cast<int32_t>(Statics0Data.size()), -1});
    if (pendingData_.size() >= kPendingLimit) WritePending();
}

void cStatics::RefuseGrowth() const {
    throw Error::Overflow("Overflow: " + data_->path() +
                          " would grow past the 2 GiB that its index can address");
}

void cStatics::WritePending() {
    WriteOut(pendingData_);
    pendingData_.clear();
}

void cStatics::WriteOut(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return;
    RequireCreated();
    if (beforeAppend_) std::exchange(beforeAppend_, nullptr)();
    data_->WriteAt(flushedDataSize_, bytes);
    // On their way to the disk while the job goes on, so that the commit's sync waits less.
    data_->StartSync(flushedDataSize_, bytes.size());
    flushedDataSize_ += bytes.size();
}

void cStatics::Commit(const std::function<void()>& beforeCommit) {
    RequireCreated();
    if (!indexChanged_) return;
    WritePending();
    // The index is replaced whole, through a new file and a rename: entries rewritten in place
    // can be cut part-way by a full disk or a killed process, leaving a new offset beside an old
    // length, which reads some other block's records. The new file is locked before it takes the
    // name, so the pair stays locked for this job. It is written first, and goes to the disk
    // beside the records.
    AtomicFile fresh(fs_, index_->path());
    fresh.file().WriteAt(0, indexBytes());
    fresh.file().StartSync(0, indexBytes().size());
    // The records reach the disk before any entry that points at them takes the index's name; a
    // job that appended none (a clear of whole blocks) has nothing to wait for.
    if (flushedDataSize_ > startDataSize_) data_->Sync();
    startDataSize_ = flushedDataSize_;  // from here on the new index may refer to them
    fresh.Commit(lock_.get(), beforeCommit);
    indexChanged_ = false;
}

}  // namespace vorlak
