#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "mul/Error.h"
#include "mul/File.h"
#include "mul/LittleEndian.h"
#include "mul/Stop.h"
#include "mul/mTypes.h"
#include "statics/StaticsCheck.h"
#include "statics/StaticsJobs.h"
#include "statics/WorldReader.h"
#include "statics/cStatics.h"

namespace vorlak {
namespace {

// An item on its way into the statics files, in 9 bytes (a million items fill fewer fresh
// pages): X and Y (below 32768) and the ID, colour and height bytes of its record.
struct Pending {
    std::array<uint8_t, 9> bytes;

    int32_t x() const { return le::Load16(&bytes[0]); }
    int32_t y() const { return le::Load16(&bytes[2]); }
    // The record: ID, X and Y inside the block, height, colour.
    void PutRecord(uint8_t* out) const {
        int32_t cell = world::kBlockCells;
        out[0] = bytes[4], out[1] = bytes[5];
        out[2] = static_cast<uint8_t>(x() % cell), out[3] = static_cast<uint8_t>(y() % cell);
        out[4] = bytes[6], out[5] = bytes[7], out[6] = bytes[8];
    }
};
static_assert(sizeof(Pending) == 9);

std::string ItemAt(const WorldItem& item, const std::string& file) {
    return "the item of the section on line " + std::to_string(item.line) + " of " + file;
}

constexpr int32_t kLowestId = -32768;
constexpr int32_t kHighestId = 65535;

uint8_t Low(int32_t v) { return static_cast<uint8_t>(v & 0xFF); }
uint8_t High(int32_t v) { return static_cast<uint8_t>((v >> 8) & 0xFF); }

// Throws the reason why `item` cannot become a static.
[[noreturn]] void Refuse(const WorldItem& item, const std::string& file, const world::Size& size) {
    if (!size.Contains(item.x, item.y)) {
        throw Error::OutOfRange(ItemAt(item, file) + " lies outside the world (X " +
                                std::to_string(item.x) + ", Y " + std::to_string(item.y) + ")");
    }
    if (item.id < kLowestId || item.id > kHighestId) {
        throw Error::Overflow(ItemAt(item, file) + " has ID " + std::to_string(item.id) +
                              ", which does not fit in -32768..65535");
    }
    throw Error::Overflow(ItemAt(item, file) + " has Z " + std::to_string(item.z) +
                          ", which does not fit in -256..255");
}

Pending ToPending(const WorldItem& item, const std::string& file, const world::Size& size) {
    // Outside the world the block arithmetic would put an item into a neighbouring block
    // (Y = height is row 0 of the next column), so it is refused rather than stored. The ID is
    // stored as its 16 bits; melt writes them as 0..65535, so that range is taken back as well
    // as the signed one (-1 and 65535 both give FF FF).
    int32_t z = mTypes::Signed2Byte(item.z);
    if (!size.Contains(item.x, item.y) || item.id < kLowestId || item.id > kHighestId || z < 0 ||
        z > 255) {
        Refuse(item, file, size);
    }
    static_assert(world::kLongestSide <= 65536);
    return {{Low(item.x), High(item.x), Low(item.y), High(item.y), Low(item.id), High(item.id),
             static_cast<uint8_t>(z), Low(item.colour), High(item.colour)}};
}

// The runs are written out a piece at a time, each piece sent on to the disk as the next one is
// written, and a stop is looked for between pieces.
constexpr size_t kWriteOutBytes = size_t{1} << 20;

// How many items ahead the placing asks for the place of an item's block: the places of all
// blocks fill a table larger than the caches, and the items come in no order of blocks.
constexpr size_t kAhead = 16;

// "2 items taken into 1 block (skipped: 1 item of another type, 3 items in a container)."
std::string FreezeCounts(const cStatics::Counts& c) {
    std::string text = Counted(c.statics, "item") + " taken into " + Counted(c.blocks, "block");
    std::string skipped;
    if (c.skippedForType > 0) skipped = Counted(c.skippedForType, "item") + " of another type";
    if (c.skippedInContainer > 0) {
        skipped += (skipped.empty() ? "" : ", ") + Counted(c.skippedInContainer, "item") +
                   " in a container";
    }
    if (!skipped.empty()) text += " (skipped: " + skipped + ")";
    return text + ".";
}

}  // namespace

std::string cStatics::cFreeze(const std::string& ItemsFilename, bool ItemFileType,
                              int32_t AddItemType) {
    if (openState_ == 0) return "Statics not open.";
    if (!fs_.Exists(ItemsFilename)) return "Cannot find " + ItemsFilename + ".";
    counts_ = {};

    // Phase 1: the whole item file is read before anything is written.
    // Each sink is filled by a thread of its own: they lie on cache lines apart, as a line that
    // both threads wrote to would pass back and forth between their cores at every item.
    class alignas(64) Sink final : public WorldItemSink {
      public:
        Sink(const std::string& file, const world::Size& size)
            : count(static_cast<size_t>(size.blocks())), file_(file), size_(size) {}
        void StartPart(size_t part) override { parts.push_back({part, items.size()}); }
        void Take(const WorldItem& item) override {
            if (items.size() % 4096 == 0) ThrowIfStopped();
            items.push_back(ToPending(item, file_, size_));
        }
        void Clear() override {
            items.clear();
            parts.clear();
        }
        // The ranges of items, in the order of the file.
        std::vector<std::pair<size_t, size_t>> InFileOrder() const {
            std::vector<std::array<size_t, 3>> runs;  // part, first item, end
            for (size_t i = 0; i < parts.size(); ++i) {
                size_t end = i + 1 < parts.size() ? parts[i + 1].second : items.size();
                runs.push_back({parts[i].first, parts[i].second, end});
            }
            std::sort(runs.begin(), runs.end());
            std::vector<std::pair<size_t, size_t>> ranges;
            for (const auto& [part, from, end] : runs) ranges.emplace_back(from, end);
            return ranges;
        }
        size_t Block(const Pending& p) const {
            return static_cast<size_t>(size_.BlockNumber(p.x(), p.y()));
        }

        std::vector<Pending, LargeAllocator<Pending>> items;
        // The parts of the file taken, in the order taken, each with the place of its first item.
        std::vector<std::pair<size_t, size_t>> parts;
        // Its records in each block; then where its next record in the block goes.
        std::vector<uint32_t, LargeAllocator<uint32_t>> count;

      private:
        const std::string& file_;
        const world::Size& size_;
    } first(ItemsFilename, size_), second(ItemsFilename, size_);
    {
        auto file = fs_.Open(ItemsFilename, OpenMode::kReadOnly);
        // An item takes at least some 64 bytes of text; room reserved is only used as it fills.
        size_t room = static_cast<size_t>(std::min<uint64_t>(file->Size() / 64, 1u << 24));
        first.items.reserve(room);
        second.items.reserve(room);
        WorldItemsRead read = ReadWorldItems(
            *file, ItemsFilename, ItemFileType ? WorldFormat::kSphere : WorldFormat::kZedra3,
            AddItemType, first, second);
        counts_.skippedForType = read.skippedForType;
        counts_.skippedInContainer = read.skippedInContainer;
    }
    counts_.statics = first.items.size() + second.items.size();
    if (counts_.statics == 0) return {};
    if (counts_.statics > std::numeric_limits<int32_t>::max() / kRecordBytes) {
        throw Error::Overflow("Overflow: " + std::to_string(counts_.statics) +
                              " items are more than the statics files can hold");
    }

    // The data file grows by one run for each block that receives items: its old records, then
    // the new ones in the order of the world file. The runs are laid out in ascending block order
    // in one buffer, which is written out as it stands. The items of each sink are counted and
    // placed on a core of their own; all that the first sink took lies before what the second
    // took.
    auto onBoth = [&first, &second](auto work) {
        std::thread other;
        if (!second.items.empty()) {
            try {
                other = std::thread(work, std::ref(second));
            } catch (const std::system_error&) {
                work(second);
            }
        }
        work(first);
        if (other.joinable()) other.join();
    };
    onBoth([](Sink& sink) {
        for (const Pending& p : sink.items) ++sink.count[sink.Block(p)];
    });
    // Each sink's count becomes the place of its first record in the buffer, behind the block's
    // old records; a block without items gets the place where the next run starts. Once placed,
    // the second sink's places have moved on to the end of each run: the run of block b lies at
    // [end[b - 1], end[b]) (block 0 from 0). What would outgrow the data file is refused here,
    // before anything is written. A block without old records gets its new entry at once; the
    // others keep their entries until their old records have been copied into the buffer.
    const int32_t blocks = size_.blocks();
    const uint64_t base = dataBytes();  // nothing else is appended in this job
    std::vector<int32_t, LargeAllocator<int32_t>> moving;
    moving.reserve(
        static_cast<size_t>(std::min<uint64_t>(counts_.statics, static_cast<uint64_t>(blocks))));
    uint64_t bytes = 0;
    for (int32_t b = 0; b < blocks; ++b) {
        uint32_t& toFirst = first.count[static_cast<size_t>(b)];
        uint32_t& toSecond = second.count[static_cast<size_t>(b)];
        const uint32_t fromFirst = toFirst, fromSecond = toSecond;
        const uint64_t from = bytes;
        const int32_t oldBytes = fromFirst + fromSecond != 0 ? EntryOf(b).length : 0;
        if (oldBytes > 0) bytes += static_cast<uint64_t>(oldBytes);
        toFirst = static_cast<uint32_t>(bytes);
        bytes += uint64_t{fromFirst} * kRecordBytes;
        toSecond = static_cast<uint32_t>(bytes);
        bytes += uint64_t{fromSecond} * kRecordBytes;
        if (from == bytes) continue;
        RequireRoomFor(bytes);
        if (counts_.blocks++ % 4096 == 0) ThrowIfStopped();
        if (oldBytes > 0) {
            moving.push_back(b);
        } else {
            SetEntry(b,
                     {static_cast<int32_t>(base + from), static_cast<int32_t>(bytes - from), -1});
        }
    }
    // Kept as the bytes the job appended: the history takes its sums from them.
    auto& runs = appended_;
    runs.resize(static_cast<size_t>(bytes));
    onBoth([&runs](Sink& sink) {
        for (auto [from, end] : sink.InFileOrder()) {
            for (size_t i = from; i < end; ++i) {
                if (i + kAhead < end) {
                    __builtin_prefetch(&sink.count[sink.Block(sink.items[i + kAhead])], 1);
                }
                const Pending& p = sink.items[i];
                uint32_t& at = sink.count[sink.Block(p)];
                p.PutRecord(runs.data() + at);
                at += kRecordBytes;
            }
        }
        sink.items = {};
    });
    first.count = {};
    const auto& end = second.count;

    // Phase 2: the old records go before the new ones, the entries of their blocks point at the
    // new runs, and the runs are written out.
    for (size_t i = 0; i < moving.size(); ++i) {
        if (i % 4096 == 0) ThrowIfStopped();
        const int32_t b = moving[i];
        uint32_t from = b == 0 ? 0 : end[static_cast<size_t>(b) - 1];
        uint32_t to = end[static_cast<size_t>(b)];
        Entry entry;
        if (const uint8_t* run = RunOf(b, entry)) {
            std::memcpy(runs.data() + from, run, static_cast<size_t>(entry.length));
        }
        SetEntry(b, {static_cast<int32_t>(base + from), static_cast<int32_t>(to - from), -1});
    }
    for (size_t from = 0; from < runs.size(); from += kWriteOutBytes) {
        ThrowIfStopped();
        WriteOut({runs.data() + from, std::min(kWriteOutBytes, runs.size() - from)});
    }
    return {};
}

JobOutcome RunFreeze(const FreezeRequest& request, const StatusSink& status, FileSystem& fs) {
    return RunStaticsJob(
        {"Freezing statics. Please wait.",
         request.staidx,
         request.statics,
         cStatics::Access::kWrite,
         [](const std::string& what) -> JobOutcome {
             return {false, "Freeze failed: " + what, {}};
         },
         [&]() -> std::string {
             // Before the pair is opened: a freeze of a file that is not there makes no new pair.
             if (!fs.Exists(request.items)) return "Cannot find " + request.items + ".";
             return RefuseStaticsFiles(request.staidx, request.statics, {{request.items, false}});
         },
         request.world,
         {},
         request.history},
        status, fs, [&](cStatics& store) -> JobOutcome {
            std::string message = store.cFreeze(request.items, request.sphere, request.itemType);
            if (!message.empty()) return {false, message, {}};
            return {true, "Statics was successfully freezed.", {}, FreezeCounts(store.counts())};
        });
}

}  // namespace vorlak
