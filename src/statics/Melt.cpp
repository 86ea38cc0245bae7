#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>

#include "mul/Error.h"
#include "mul/LittleEndian.h"
#include "mul/Stop.h"
#include "statics/StaticsCheck.h"
#include "statics/StaticsJobs.h"
#include "statics/cStatics.h"

namespace vorlak {
namespace {

// The first line of the file is reserved with this many spaces and overwritten by the header
// once the number of items is known.
constexpr size_t kPlaceholderBytes = 300;
constexpr int64_t kFirstSerial = 1800000000;
constexpr int32_t kHighestZ = 127;
constexpr int32_t kLowestZ = -127;

// Gathers item blocks and hands them to the writer a megabyte at a time; a writer whose capacity
// is kBatchBytes passes them straight to the file. Every kStartSyncBytes the file is asked to
// start writing what it was given to the disk, so that the final sync, which waits for all of
// it, finds little left to do.
class ItemBatch {
  public:
    static constexpr size_t kBatchBytes = size_t{1} << 20;
    static constexpr uint64_t kStartSyncBytes = uint64_t{8} << 20;
    // An item block is sixteen lines: about 150 bytes of fixed text and six numbers.
    static constexpr size_t kItemRoom = 512;

    ItemBatch(RandomAccessFile& file, BufferedWriter& writer)
        : file_(file), writer_(writer), text_(kBatchBytes + kItemRoom, '\0') {}

    // Room for one item block; Commit(end) takes what was written up to `end`.
    char* Begin() { return text_.data() + used_; }
    void Commit(char* end) {
        used_ = static_cast<size_t>(end - text_.data());
        if (used_ >= kBatchBytes) Flush();
    }
    void Flush() {
        writer_.Write(std::string_view(text_.data(), used_));
        used_ = 0;
        uint64_t written = writer_.position();
        if (written - synced_ >= kStartSyncBytes) {
            writer_.Flush();
            file_.StartSync(synced_, written - synced_);
            synced_ = written;
        }
    }

  private:
    RandomAccessFile& file_;
    BufferedWriter& writer_;
    std::string text_;
    size_t used_ = 0;
    uint64_t synced_ = 0;
};

// Copies a constant text and returns the end.
template <size_t N>
char* Put(char* p, const char (&text)[N]) {
    std::memcpy(p, text, N - 1);
    return p + N - 1;
}

char* Put(char* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

char* PutPair(char* p, uint32_t pair) {
    std::memcpy(p, kPairs + 2 * pair, 2);
    return p + 2;
}

// Writes `value` (any 32-bit number) in decimal, "-" first when negative; returns the end.
char* PutDecimalSlow(char* p, int64_t value) {
    if (value < 0) *p++ = '-';
    auto u = static_cast<uint32_t>(value < 0 ? -value : value);
    int digits = 1 + (u >= 10) + (u >= 100) + (u >= 1000) + (u >= 10000) + (u >= 100000) +
                 (u >= 1000000) + (u >= 10000000) + (u >= 100000000) + (u >= 1000000000);
    char* end = p + digits;
    char* q = end;
    while (u >= 100) {
        q -= 2;
        PutPair(q, u % 100);
        u /= 100;
    }
    if (u >= 10) {
        PutPair(q - 2, u);
    } else {
        q[-1] = static_cast<char>('0' + u);
    }
    return end;
}

// The same; positions, heights and IDs, below 100000 either way, take the short way.
inline char* PutDecimal(char* p, int64_t value) {
    if (value <= -100000 || value >= 100000) return PutDecimalSlow(p, value);
    if (value < 0) *p++ = '-';
    auto u = static_cast<uint32_t>(value < 0 ? -value : value);
    if (u < 100) {
        if (u >= 10) return PutPair(p, u);
        *p = static_cast<char>('0' + u);
        return p + 1;
    }
    if (u >= 10000) {
        *p++ = static_cast<char>('0' + u / 10000);
        u %= 10000;
    } else if (u < 1000) {
        *p++ = static_cast<char>('0' + u / 100);
        return PutPair(p, u % 100);
    }
    return PutPair(PutPair(p, u / 100), u % 100);
}

// The decimal text of a number that goes up by one for every item: mostly only its last digit
// changes.
class Counter {
  public:
    static constexpr size_t kRoom = 16;

    explicit Counter(int64_t value) : value_(value) { Format(); }
    int64_t value() const { return value_; }
    // Copies kRoom bytes to `p`; returns the end of the number.
    char* Put(char* p) const {
        std::memcpy(p, text_, kRoom);
        return p + size_;
    }
    void Next() {
        ++value_;
        size_t i = size_;
        if (value_ > 0) {
            while (i > 0 && text_[i - 1] == '9') text_[--i] = '0';
        }
        if (value_ <= 0 || i == 0) {
            Format();  // a negative number, or one digit more
        } else {
            ++text_[i - 1];
        }
    }

  private:
    void Format() { size_ = static_cast<size_t>(PutDecimalSlow(text_, value_) - text_); }

    int64_t value_;
    char text_[kRoom]{};
    size_t size_ = 0;
};

int64_t Checked32(int64_t value, const char* what) {
    if (value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max()) {
        throw Error::Overflow("Overflow: the written " + std::string(what) + " " +
                              std::to_string(value) + " does not fit in 32 bits");
    }
    return value;
}

std::string Header(int64_t items) {
    const std::string rule = "//o" + std::string(78, '-') + "\r\n";
    return rule + "//| Zedra3 - Item World Script\r\n" + "//| Generated by Vorlak Version " +
           std::to_string(VORLAK_VERSION_MAJOR) + "." + std::to_string(VORLAK_VERSION_MINOR) + " " +
           std::to_string(VORLAK_VERSION_PATCH) + "\r\n" + rule + "INITMEM " +
           std::to_string(items) + "\r\n";
}

}  // namespace

std::string cStatics::cMelt(const std::string& ItemsFilename, int32_t X1, int32_t Y1, int32_t X2,
                            int32_t Y2, int32_t AddX, int32_t AddY, int32_t AddZ, uint8_t ItemType,
                            int32_t ItemCountStart) {
    if (openState_ == 0) return "Statics not open.";
    // Checked before the item file is touched: a refused melt leaves the old file as it was.
    if (X2 < X1 || Y2 < Y1 || !size_.Contains(X1, Y1) || !size_.Contains(X2, Y2)) {
        return "Illegal cordinates.";
    }
    counts_ = {};
    return Attempt([&] {
        // The new file replaces the old one only when it is complete.
        AtomicFile out(fs_, ItemsFilename);
        BufferedWriter writer(out.file(), 0, ItemBatch::kBatchBytes);
        writer.Write(std::string(kPlaceholderBytes, ' ') + "\r\n");

        // The lines between the serial and the ID are the same for every item.
        const std::string middle =
            "\r\nNAME #\r\nNAME2 #\r\nTYPE " + std::to_string(ItemType) + "\r\nID ";
        ItemBatch batch(out.file(), writer);
        int64_t written = 0;
        Counter section(ItemCountStart), serial(kFirstSerial + ItemCountStart);
        ForEachRunIn(
            X1, Y1, X2, Y2,
            [&](int32_t bx, int32_t by, int32_t number, const uint8_t* run, const Entry& entry) {
                RequireWholeRecords(number, entry);
                for (const uint8_t* r = run; r != run + entry.length; r += kRecordBytes) {
                    int32_t x = bx * world::kBlockCells + r[2];
                    int32_t y = by * world::kBlockCells + r[3];
                    if (x < X1 || x > X2 || y < Y1 || y > Y2) continue;
                    int32_t id = le::Load16(r);
                    int32_t z = static_cast<int8_t>(r[4]);

                    if (serial.value() > std::numeric_limits<int32_t>::max()) {
                        throw Error::Overflow(
                            "Overflow: the serial of item " + std::to_string(section.value()) +
                            " would be " + std::to_string(serial.value()) + ", above 2147483647");
                    }
                    int64_t wz =
                        std::clamp<int64_t>(Checked32(int64_t{z} + AddZ, "Z"), kLowestZ, kHighestZ);
                    char* p = batch.Begin();
                    p = section.Put(Put(p, "SECTION WORLDITEM "));
                    p = serial.Put(Put(p, "\r\n{\r\nSERIAL "));
                    p = PutDecimal(Put(p, middle), id);
                    p = PutDecimal(Put(p, "\r\nX "), Checked32(int64_t{x} + AddX, "X"));
                    p = PutDecimal(Put(p, "\r\nY "), Checked32(int64_t{y} + AddY, "Y"));
                    p = PutDecimal(Put(p, "\r\nZ "), wz);
                    p = Put(p, "\r\nCONT -1\r\nAMOUNT 1\r\nOWNER -1\r\nSPAWN -1\r\n}\r\n\r\n");
                    batch.Commit(p);
                    ++written;
                    section.Next();
                    serial.Next();
                }
            });
        batch.Flush();
        writer.Write(std::string_view("EOF\r\n"));
        writer.Flush();

        std::string header = Header(written);
        if (header.size() > kPlaceholderBytes) {
            throw Error::Overflow("Overflow: the header does not fit its placeholder");
        }
        out.file().WriteAt(0, {reinterpret_cast<const uint8_t*>(header.data()), header.size()});
        out.Commit();
        counts_.statics = static_cast<uint64_t>(written);
    });
}

JobOutcome RunMelt(const MeltRequest& request, const StatusSink& status, FileSystem& fs) {
    if (!fs.Exists(request.statics) || !fs.Exists(request.staidx)) {
        status("Melting statics. Please wait.");
        status("Can not find the statics files.");
        return {false, "Can not find the statics files.", {}};
    }
    // Melt only reads the pair, so it opens it read-only under a shared lock.
    return RunStaticsJob(
        {"Melting statics. Please wait.", request.staidx, request.statics, cStatics::Access::kRead,
         [](const std::string& what) -> JobOutcome {
             return {false, "Unknown error.", what};
         },
         [&] {
             return RefuseStaticsFiles(request.staidx, request.statics, {{request.items, true}});
         },
         request.world,
         [&](const world::Size& size) {
             return RefuseCorners(request.x1, request.y1, request.x2.value_or(size.width - 1),
                                  request.y2.value_or(size.height - 1), size, true);
         }},
        status, fs, [&](cStatics& store) -> JobOutcome {
            if (request.history) request.history->KeepWhole(request.items);
            RecordedScope recorded(request.history);
            std::string message = store.cMelt(
                request.items, request.x1, request.y1, request.x2.value_or(store.size().width - 1),
                request.y2.value_or(store.size().height - 1), request.addX, request.addY,
                request.addZ, request.itemType, request.countStart);
            if (!message.empty()) return {false, message, store.lastFailure()};
            return {true,
                    "Statics was successfully melted.",
                    {},
                    Counted(store.counts().statics, "item") + " written."};
        });
}

}  // namespace vorlak
