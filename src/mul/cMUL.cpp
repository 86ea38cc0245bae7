#include "mul/cMUL.h"

#include <cmath>
#include <limits>

#include "mul/Error.h"
#include "mul/mZedraConvert.h"

namespace vorlak {
namespace {

using mZedraConvert::Long2Bytes;

constexpr uint64_t kMaxZeroTail = 1u << 20;
// Larger than any art index (a few hundred thousand entries); a longer index is damaged.
constexpr uint64_t kMaxIndexScan = uint64_t{64} << 20;

int64_t CheckedProduct(int32_t n, int32_t size, const std::string& what) {
    if (n < 0) {
        throw Error::OutOfRange("Record number " + std::to_string(n) +
                                " lies before the start of " + what);
    }
    int64_t p = static_cast<int64_t>(n) * size;
    if (p > std::numeric_limits<int32_t>::max()) {
        throw Error::Overflow("Overflow: record number " + std::to_string(n) + " in " + what);
    }
    return p;
}

}  // namespace

std::string cMUL::cOpen(const std::string& IDXFilename, const std::string& MULFilename,
                        int32_t ConstantIndex, int32_t NbrOfBlocks) {
    if (index_) return IDXFilename + " and " + MULFilename + " is allready opened.";
    blockSize_ = ConstantIndex;
    lastFailure_.clear();
    if (blockSize_ >= 1 && NbrOfBlocks < 1) return "Illegal number of blocks.";
    try {
        data_ = fs_.Open(MULFilename, OpenMode::kReadWrite);
        if (blockSize_ < 1) {
            index_ = fs_.Open(IDXFilename, OpenMode::kReadWrite);
            double entries = static_cast<double>(index_->Size()) / kEntryBytes;
            double rounded = std::nearbyint(entries);
            if (rounded > std::numeric_limits<int32_t>::max()) {
                throw Error::Overflow("index too long");
            }
            count_ = static_cast<int32_t>(rounded);
        } else {
            count_ = NbrOfBlocks;
        }
    } catch (const Error& e) {
        lastFailure_ = e.what();
        // A file of fixed blocks has no index: the message's first name stays empty.
        if (blockSize_ >= 1) {
            lastFailure_ += " (" + MULFilename +
                            " has fixed blocks and no index file, so no name "
                            "stands before \"and\")";
        }
        // Half an open pair is no open pair: the calls that follow see a closed one.
        index_.reset();
        data_.reset();
        return "Unable to open " + IDXFilename + " and " + MULFilename + ".";
    }
    return {};
}

void cMUL::cClose() {
    index_.reset();
    data_.reset();
    blockSize_ = -1;
    count_ = 0;
}

int32_t cMUL::cCount() const { return data_ ? count_ : 0; }

IndexEntry cMUL::Entry(int32_t IndexNumber) {
    if (!data_) throw Error::InvalidArgument("The file pair is not open");
    if (blockSize_ >= 1) {
        auto offset = CheckedProduct(IndexNumber, blockSize_, data_->path());
        return {static_cast<int32_t>(offset), blockSize_, -1, -1};
    }
    auto pos = CheckedProduct(IndexNumber, kEntryBytes, index_->path());
    uint8_t raw[kEntryBytes];
    index_->ReadZeroFilled(static_cast<uint64_t>(pos), raw);
    return {mTypes::Bytes2Long(raw, 0, 4), mTypes::Bytes2Long(raw, 4, 4),
            static_cast<int16_t>(mTypes::Bytes2Long(raw, 8, 2)),
            static_cast<int16_t>(mTypes::Bytes2Long(raw, 10, 2))};
}

int32_t cMUL::cLoad(int32_t IndexNumber, ByteBuffer& ByteArray, int16_t& FlagA, int16_t& FlagB) {
    try {
        IndexEntry e = Entry(IndexNumber);
        FlagA = e.flagA;
        FlagB = e.flagB;
        if (e.length > 0) {
            if (e.offset < 0) return 0;  // a run before the start of the file cannot be read
            // The part of a run past the end of the data file reads as zeros, but a damaged entry
            // must not make us allocate gigabytes of them.
            uint64_t end = static_cast<uint64_t>(e.offset) + static_cast<uint64_t>(e.length);
            if (end > data_->Size() + kMaxZeroTail) return 0;
            ByteBuffer fresh(static_cast<size_t>(e.length));
            data_->ReadZeroFilled(static_cast<uint64_t>(e.offset), fresh);
            ByteArray = std::move(fresh);
        }
        return e.length;
    } catch (const std::exception&) {
        return 0;
    }
}

bool cMUL::OwnsRun(int32_t IndexNumber, const IndexEntry& e) {
    if (blockSize_ >= 1) return true;  // fixed blocks always own their place
    if (e.offset < 0 || e.length <= 0) return false;
    uint64_t begin = static_cast<uint64_t>(e.offset);
    uint64_t end = begin + static_cast<uint64_t>(e.length);
    if (end > data_->Size()) return false;
    // A run that another entry also covers belongs to that record too: writing into it would
    // overwrite it. An index too large to look through is not trusted either.
    uint64_t indexBytes = index_->Size();
    if (indexBytes > kMaxIndexScan) return false;
    ByteBuffer all(static_cast<size_t>(indexBytes));
    all.resize(index_->ReadAt(0, all));
    for (size_t n = 0; n + kEntryBytes <= all.size(); n += kEntryBytes) {
        if (n == static_cast<size_t>(IndexNumber) * kEntryBytes) continue;
        int32_t offset = mTypes::Bytes2Long(all, static_cast<int32_t>(n), 4);
        int32_t length = mTypes::Bytes2Long(all, static_cast<int32_t>(n) + 4, 4);
        if (offset < 0 || length <= 0) continue;
        uint64_t otherBegin = static_cast<uint64_t>(offset);
        uint64_t otherEnd = otherBegin + static_cast<uint64_t>(length);
        if (otherBegin < end && begin < otherEnd) return false;
    }
    return true;
}

void cMUL::cSave(int32_t IndexNumber, const ByteBuffer& ByteArray, int16_t FlagA, int16_t FlagB,
                 bool isEmpty) {
    IndexEntry e = Entry(IndexNumber);
    if (ByteArray.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        throw Error::Overflow("Overflow: record of " + std::to_string(ByteArray.size()) + " bytes");
    }
    auto length = static_cast<int32_t>(ByteArray.size());
    if (isEmpty) {
        e.offset = -1;
        e.length = -1;
    } else {
        if (e.length < length || !OwnsRun(IndexNumber, e)) {
            uint64_t end = data_->Size();
            if (end > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
                throw Error::Overflow("Overflow: " + data_->path() + " is larger than 2 GiB");
            }
            e.offset = static_cast<int32_t>(end);
        }
        e.length = length;
    }
    e.flagA = FlagA;
    e.flagB = FlagB;
    // Data first: an entry must never point at bytes that were not written.
    if (!isEmpty) data_->WriteAt(static_cast<uint64_t>(e.offset), ByteArray);
    if (blockSize_ < 1) {
        uint8_t raw[kEntryBytes];
        Long2Bytes(e.offset, raw, 0, 4);
        Long2Bytes(e.length, raw, 4, 4);
        Long2Bytes(e.flagA, raw, 8, 2);
        Long2Bytes(e.flagB, raw, 10, 2);
        index_->WriteAt(static_cast<uint64_t>(IndexNumber) * kEntryBytes, raw);
    }
}

}  // namespace vorlak
