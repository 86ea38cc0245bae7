#include "statics/StaticsCheck.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "mul/Error.h"
#include "mul/LittleEndian.h"
#include "mul/Stop.h"
#include "mul/World.h"
#include "statics/cStatics.h"

namespace vorlak {
namespace {

constexpr size_t kReadWindow = 4u << 20;
// Blocks or runs between two looks at a stop request: a few milliseconds of work.
constexpr size_t kStopCheckEvery = 4096;

struct Run {  // a run inside the data file, so below 2^31 in offset and length
    uint32_t offset;
    uint32_t length;
    int32_t block;
    bool wholeRecords;
};

using Runs = std::vector<Run, LargeAllocator<Run>>;

// Sorts by offset, keeping block order among equal offsets: two stable counting passes over the
// 16-bit halves of the offsets (all below 2^31 here), linear where a comparison sort of a few
// hundred thousand runs would cost more than reading the whole pair. Runs already in order, as
// in a pair written block after block, are left as they are.
void SortByOffset(Runs& runs) {
    if (std::is_sorted(runs.begin(), runs.end(),
                       [](const Run& a, const Run& b) { return a.offset < b.offset; })) {
        return;
    }
    Runs other(runs.size());
    std::vector<size_t, LargeAllocator<size_t>> count(size_t{1} << 16);
    for (int shift : {0, 16}) {
        std::fill(count.begin(), count.end(), 0);
        for (const Run& r : runs) ++count[(r.offset >> shift) & 0xFFFF];
        size_t at = 0;
        for (size_t& c : count) at += std::exchange(c, at);
        for (const Run& r : runs) other[count[(r.offset >> shift) & 0xFFFF]++] = r;
        runs.swap(other);
    }
}

struct EntryProblems {
    std::string length;  // the length is no whole number of records
    std::string place;   // the run does not lie inside the data file
};

// What is wrong with the entry of a block that has statics (length above 0).
EntryProblems CheckEntry(int32_t offset, int32_t length, uint64_t dataBytes,
                         const std::string& dataPath) {
    EntryProblems found;
    if (length % cStatics::kRecordBytes != 0) {
        found.length = "its length " + std::to_string(length) +
                       " is not a multiple of 7, the size of one static";
    }
    if (offset < 0) {
        found.place =
            "its offset " + std::to_string(offset) + " lies before the start of " + dataPath;
    } else if (static_cast<uint64_t>(offset) + static_cast<uint64_t>(length) > dataBytes) {
        found.place = "its run (offset " + std::to_string(offset) + ", length " +
                      std::to_string(length) + ") reaches past the end of " + dataPath + " (" +
                      std::to_string(dataBytes) + " bytes)";
    }
    return found;
}

}  // namespace

std::string FirstDamagedEntry(std::span<const uint8_t> entries, uint64_t dataBytes,
                              const std::string& dataPath, const world::Size& world) {
    const size_t count = entries.size() / cStatics::kEntryBytes;
    for (size_t block = 0; block < count; ++block) {
        const uint8_t* e = entries.data() + block * cStatics::kEntryBytes;
        int32_t offset = le::Load32(e), length = le::Load32(e + 4);
        if (length <= 0 ||
            (length % cStatics::kRecordBytes == 0 && offset >= 0 &&
             static_cast<uint64_t>(offset) + static_cast<uint64_t>(length) <= dataBytes)) {
            continue;  // no statics, or a sound entry
        }
        EntryProblems found = CheckEntry(offset, length, dataBytes, dataPath);
        return world::DescribeBlock(static_cast<int32_t>(block), world) + ": " +
               (!found.length.empty() ? found.length : found.place);
    }
    return {};
}

std::string RefuseDamagedPair(std::span<const uint8_t> entries, uint64_t dataBytes,
                              const std::string& dataPath, const world::Size& world) {
    std::string damage = FirstDamagedEntry(entries, dataBytes, dataPath, world);
    if (damage.empty()) return {};
    return "The statics files are damaged at " + damage +
           ". Nothing was changed; run vorlak check to see every problem.";
}

std::string RefuseStaticsFiles(const std::string& staidx, const std::string& statics,
                               std::vector<JobFile> others, bool writes) {
    others.push_back({staidx, true});
    others.push_back({statics, true});
    std::string unsafe = CheckJobFiles(others);
    return unsafe.empty() || !writes ? unsafe : unsafe + " Nothing was changed.";
}

std::string CheckReport::Summary() const {
    return world::SizeText(world) + " world, " + std::to_string(blocks) + " blocks (" +
           std::to_string(blocksWithStatics) + " with statics), " + std::to_string(statics) +
           " statics, " + std::to_string(bytesReferenced) + " bytes referenced, " +
           std::to_string(bytesUnreferenced) + " bytes unreferenced";
}

CheckReport CheckStaticsPair(RandomAccessFile& index, RandomAccessFile& data,
                             LargeBytes* indexBytes, LargeBytes* wholeData,
                             const std::optional<world::Size>& size) {
    CheckReport report;
    uint64_t indexSize = index.Size();
    report.dataBytes = data.Size();
    auto sized = world::SizeOfFile(indexSize, cStatics::kEntryBytes, size);
    report.world = sized.value_or(size.value_or(world::Size{}));
    if (!sized) {
        report.problems.push_back(
            {-1, world::SizeRefusal(index.path(), indexSize, cStatics::kEntryBytes, "statics index",
                                    size)});
    }
    report.blocks = std::min<uint64_t>(indexSize / cStatics::kEntryBytes,
                                       static_cast<uint64_t>(report.world.blocks()));

    LargeBytes local;
    LargeBytes& entries = indexBytes ? *indexBytes : local;
    entries.resize(static_cast<size_t>(report.blocks) * cStatics::kEntryBytes);
    if (index.ReadAt(0, entries) != entries.size()) {
        throw Error::Io("Cannot read " + index.path() + ": it became shorter while being read");
    }

    // Entries first, in block order; runs that lie inside the data file are kept for the record
    // pass, which reads them in file order.
    std::vector<CheckProblem> blockProblems;
    Runs runs;
    runs.reserve(static_cast<size_t>(report.blocks));
    auto problem = [&](int32_t block, const std::string& text) {
        blockProblems.push_back({block, world::DescribeBlock(block, report.world) + ": " + text});
    };
    for (int32_t block = 0; block < static_cast<int32_t>(report.blocks); ++block) {
        if (static_cast<size_t>(block) % kStopCheckEvery == 0) ThrowIfStopped();
        const uint8_t* e = entries.data() + static_cast<size_t>(block) * cStatics::kEntryBytes;
        int32_t offset = le::Load32(e);
        int32_t length = le::Load32(e + 4);
        if (length <= 0) continue;
        ++report.blocksWithStatics;
        bool wholeRecords = length % cStatics::kRecordBytes == 0;
        EntryProblems found = CheckEntry(offset, length, report.dataBytes, data.path());
        if (!found.length.empty()) problem(block, found.length);
        if (!found.place.empty()) {
            problem(block, found.place);
            continue;
        }
        runs.push_back(
            {static_cast<uint32_t>(offset), static_cast<uint32_t>(length), block, wholeRecords});
    }

    SortByOffset(runs);
    if (wholeData) {
        wholeData->resize(static_cast<size_t>(report.dataBytes));
        if (data.ReadAt(0, *wholeData) != wholeData->size()) {
            throw Error::Io("Cannot read " + data.path() + ": it became shorter while being read");
        }
    }
    LargeBytes window;
    uint64_t windowStart = 0;
    uint64_t coveredEnd = 0;  // end of the referenced bytes counted so far
    for (size_t r = 0; r < runs.size(); ++r) {
        const Run& run = runs[r];
        if (r % kStopCheckEvery == 0) ThrowIfStopped();
        uint64_t end = uint64_t{run.offset} + run.length;
        // Only the bytes of the run past those counted so far.
        report.bytesReferenced += end - std::clamp<uint64_t>(coveredEnd, run.offset, end);
        coveredEnd = std::max(coveredEnd, end);
        if (!run.wholeRecords) continue;
        report.statics += run.length / cStatics::kRecordBytes;
        const uint8_t* records;
        if (wholeData) {
            records = wholeData->data() + run.offset;
        } else {
            if (run.offset < windowStart || end > windowStart + window.size()) {
                windowStart = run.offset;
                window.resize(static_cast<size_t>(std::min<uint64_t>(
                    std::max<uint64_t>(kReadWindow, run.length), report.dataBytes - run.offset)));
                if (data.ReadAt(windowStart, window) != window.size()) {
                    throw Error::Io("Cannot read " + data.path() +
                                    ": it became shorter while being read");
                }
            }
            records = window.data() + (run.offset - windowStart);
        }
        for (uint64_t p = 0; p < run.length; p += cStatics::kRecordBytes) {
            uint8_t x = records[p + 2], y = records[p + 3];
            if (x < world::kBlockCells && y < world::kBlockCells) continue;
            problem(run.block, "static " + std::to_string(p / cStatics::kRecordBytes + 1) +
                                   " (at byte " + std::to_string(uint64_t{run.offset} + p) +
                                   " of " + data.path() + ") has the cell offsets X " +
                                   std::to_string(x) + ", Y " + std::to_string(y) +
                                   "; both must be 0..7");
        }
    }
    report.bytesUnreferenced = report.dataBytes - report.bytesReferenced;

    // The record pass went in file order; the user reads the list in block order.
    std::stable_sort(
        blockProblems.begin(), blockProblems.end(),
        [](const CheckProblem& a, const CheckProblem& b) { return a.block < b.block; });
    report.problems.insert(report.problems.end(), blockProblems.begin(), blockProblems.end());
    return report;
}

CheckReport CheckStaticsFiles(const std::string& staidx, const std::string& statics, FileSystem& fs,
                              const std::optional<world::Size>& size) {
    auto index = fs.Open(staidx, OpenMode::kReadOnly);
    auto data = fs.Open(statics, OpenMode::kReadOnly);
    return CheckStaticsPair(*index, *data, nullptr, nullptr, size);
}

JobOutcome RunCheck(const CheckRequest& request, const StatusSink& status, FileSystem& fs) {
    status("Checking statics. Please wait.");
    JobOutcome outcome;
    try {
        std::string missing;
        for (const std::string* name : {&request.staidx, &request.statics}) {
            if (!fs.Exists(*name)) missing += (missing.empty() ? "" : "\n") + *name + " is missing";
        }
        std::string refusal = RefuseStaticsFiles(request.staidx, request.statics, {}, false);
        uint64_t indexBytes = 0;
        if (refusal.empty() && missing.empty()) {
            indexBytes = fs.Open(request.staidx, OpenMode::kReadOnly)->Size();
        }
        if (!refusal.empty()) {
            outcome = {false, refusal, {}};
        } else if (!missing.empty()) {
            outcome = {false, "Can not find the statics files.", missing};
        } else if (!world::SizeOfFile(indexBytes, cStatics::kEntryBytes, request.world)) {
            // Entries read against a guessed world would only add noise to this one fault.
            outcome = {false,
                       world::SizeRefusal(request.staidx, indexBytes, cStatics::kEntryBytes,
                                          "statics index", request.world, false),
                       {}};
        } else if (auto lock = FileLock::Try(request.staidx, FileLock::Mode::kShared); !lock) {
            outcome = {false, cStatics::kInUse, {}};
        } else {
            CheckReport report =
                CheckStaticsFiles(request.staidx, request.statics, fs, request.world);
            std::string pair = request.staidx + " and " + request.statics;
            if (report.sound()) {
                outcome = {true, pair + " are sound: " + report.Summary() + ".", {}};
            } else {
                size_t n = report.problems.size();
                outcome = {false,
                           pair + " have " + std::to_string(n) +
                               (n == 1 ? " problem: " : " problems: ") + report.Summary() + ".",
                           {}};
                for (const CheckProblem& p : report.problems) {
                    outcome.detail += (outcome.detail.empty() ? "" : "\n") + p.text;
                }
            }
        }
    } catch (const std::exception& e) {
        outcome = {false, "Check failed.", e.what()};
        if (StopRequested()) outcome = {false, Error::Stopped().what(), {}};
    }
    status(outcome.status);
    return outcome;
}

}  // namespace vorlak
