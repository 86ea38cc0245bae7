// Compacting the statics pair.
//
// The index and the data file have to change together, and no rename replaces two files in one
// step. Writing a new data file and a new index beside the old ones and renaming them leaves,
// between the two renames, one file's offsets pointing into the other file's layout, in either
// order: entries that read other blocks' statics or run past the end. So compacting never lets
// the index on disk refer to bytes that are about to change. It takes five steps, and after each
// of them the pair on disk is consistent and holds the same statics:
//
//   1. Append the compacted runs (C bytes, block after block) at the end S of the data file. No
//      entry refers to anything at or past S. Sync the data file.
//   2. Write an index whose entries point into that tail (offset S + new offset) to a temporary
//      file and rename it over the index. Sync the folder, so that the rename is on disk before
//      step 3 overwrites bytes the old index referred to.
//   3. Copy the tail to the start of the data file. Only the tail is referred to now, and C < S,
//      so the copy never touches it. Sync.
//   4. Write the final index (entries at the new offsets) through a temporary file and a rename;
//      sync the folder.
//   5. Cut the data file to C bytes.
//
// A failure in step 1 or 2 cuts the data file back to S bytes, so the pair is as it was. A failure
// later leaves the pair of step 2 or 4: consistent, the same statics, the space not yet given
// back; compacting again finishes the work. The price is writing the runs twice and the index
// twice, and S + C bytes of disk at the peak. The tail's offsets must fit the index's signed
// 32-bit fields, so a pair whose S + C reaches 2 GiB is refused.
#include <algorithm>
#include <exception>
#include <filesystem>
#include <limits>
#include <numeric>
#include <optional>

#include "mul/Error.h"
#include "mul/LittleEndian.h"
#include "mul/Stop.h"
#include "statics/StaticsCheck.h"
#include "statics/cStatics.h"

namespace vorlak {
namespace {

constexpr uint64_t kReadGap = 64u << 10;  // unreferenced bytes read through rather than skipped
constexpr size_t kProblemsShown = 5;

struct Move {       // one block's run; all values below 2^31
    uint32_t from;  // offset in the data file as it stands
    uint32_t to;    // offset in the compacted runs
    uint32_t length;
    int32_t block;
};

using Moves = std::vector<Move, LargeAllocator<Move>>;

// Writes the runs of `moves` (contiguous in `to`, in that order) at `base` + to, gathering up to
// `chunkBytes` at a time. Within a chunk the runs are read in file order, neighbours together.
void CopyRuns(RandomAccessFile& data, const Moves& moves, uint64_t base, uint64_t chunkBytes) {
    LargeBytes out, span;
    std::vector<size_t> order;
    for (size_t i = 0; i < moves.size();) {
        uint64_t chunkStart = moves[i].to;
        size_t j = i + 1;
        while (j < moves.size() &&
               uint64_t{moves[j].to} + moves[j].length - chunkStart <= chunkBytes) {
            ++j;
        }
        out.resize(
            static_cast<size_t>(uint64_t{moves[j - 1].to} + moves[j - 1].length - chunkStart));

        order.resize(j - i);
        std::iota(order.begin(), order.end(), i);
        std::sort(order.begin(), order.end(),
                  [&](size_t a, size_t b) { return moves[a].from < moves[b].from; });
        for (size_t k = 0; k < order.size();) {
            uint64_t spanStart = moves[order[k]].from;
            uint64_t spanEnd = spanStart + moves[order[k]].length;
            size_t l = k + 1;
            for (; l < order.size(); ++l) {
                const Move& m = moves[order[l]];
                uint64_t end = std::max<uint64_t>(spanEnd, uint64_t{m.from} + m.length);
                if (m.from > spanEnd + kReadGap || end - spanStart > chunkBytes) break;
                spanEnd = end;
            }
            span.resize(static_cast<size_t>(spanEnd - spanStart));
            if (data.ReadAt(spanStart, span) != span.size()) {
                throw Error::Io("Cannot read " + data.path() + " at offset " +
                                std::to_string(spanStart) + ": the file is shorter than before");
            }
            for (size_t m = k; m < l; ++m) {
                const Move& move = moves[order[m]];
                std::copy_n(span.data() + (move.from - spanStart), move.length,
                            out.data() + (move.to - chunkStart));
            }
            k = l;
        }
        data.WriteAt(base + chunkStart, out);
        i = j;
    }
}

// Copies `length` bytes from `from` to `to` within one file; the two ranges must not overlap.
void CopyWithin(RandomAccessFile& data, uint64_t from, uint64_t to, uint64_t length,
                uint64_t chunkBytes) {
    LargeBytes buffer;
    for (uint64_t done = 0; done < length;) {
        buffer.resize(static_cast<size_t>(std::min<uint64_t>(chunkBytes, length - done)));
        if (data.ReadAt(from + done, buffer) != buffer.size()) {
            throw Error::Io("Cannot read " + data.path() + " at offset " +
                            std::to_string(from + done) + ": the file is shorter than expected");
        }
        data.WriteAt(to + done, buffer);
        done += buffer.size();
    }
}

// Sets the offset of every block that has statics to `base` + its new offset; the other fields
// and entries stay as read.
void PointAt(LargeBytes& entries, const Moves& moves, uint64_t base) {
    for (const Move& m : moves) {
        le::Store32(entries.data() + static_cast<size_t>(m.block) * cStatics::kEntryBytes,
                    static_cast<int32_t>(base + m.to));
    }
}

// Through a new file, synced, renamed over the index, and the folder synced.
void ReplaceIndex(FileSystem& fs, const std::string& path, const LargeBytes& index,
                  FileLock& lock) {
    AtomicFile file(fs, path);
    file.file().WriteAt(0, index);
    file.Commit(&lock);
}

// The pair as read and checked, and where every run goes.
struct Layout {
    LargeBytes entries;  // the index as read, then with the offsets of the step in progress
    LargeBytes image;    // the compacted runs, when the data file was small enough to read whole
    Moves moves;
    uint64_t size = 0;       // S: the data file's size
    uint64_t compacted = 0;  // C: the bytes in use
    world::Size world;       // the world the index was checked against
};

// The end of the success text, naming the world compacted.
std::string Reclaimed(const Layout& layout) {
    return " from a " + world::SizeText(layout.world) + " world.";
}

// The count line: "35 bytes reclaimed, 7 bytes of statics kept."
std::string CompactCounts(const Layout& layout) {
    uint64_t reclaimed = layout.compacted < layout.size ? layout.size - layout.compacted : 0;
    return Counted(reclaimed, "byte") + " reclaimed, " +
           Counted(std::min(layout.compacted, layout.size), "byte") + " of statics kept.";
}

std::string ProblemList(const CheckReport& report) {
    std::string list;
    size_t n = report.problems.size();
    for (size_t i = 0; i < std::min(n, kProblemsShown); ++i) {
        list += (i ? "\n" : "") + report.problems[i].text;
    }
    if (n > kProblemsShown) list += "\n(and " + std::to_string(n - kProblemsShown) + " more)";
    return list;
}

// Checks the pair and plans the compacted layout: every run with statics, in block order, back to
// back. A refusal comes back as an outcome and changes nothing.
std::optional<JobOutcome> Plan(const CompactRequest& request, RandomAccessFile& index,
                               RandomAccessFile& data, Layout& layout) {
    LargeBytes whole;  // the data file, when it is small enough to hold in memory
    bool inMemory = data.Size() <= request.bufferBytes;
    CheckReport report =
        CheckStaticsPair(index, data, &layout.entries, inMemory ? &whole : nullptr, request.world);
    if (!report.sound()) {
        size_t n = report.problems.size();
        return JobOutcome{false,
                          "Compact refused: " + request.staidx + " and " + request.statics +
                              " have " + std::to_string(n) + (n == 1 ? " problem" : " problems") +
                              "; nothing was changed.",
                          ProblemList(report)};
    }
    layout.size = report.dataBytes;
    layout.world = report.world;
    layout.moves.reserve(static_cast<size_t>(report.blocksWithStatics));
    for (int32_t block = 0; block < report.world.blocks(); ++block) {
        const uint8_t* e =
            layout.entries.data() + static_cast<size_t>(block) * cStatics::kEntryBytes;
        int32_t length = le::Load32(e + 4);
        if (length <= 0) continue;
        // The check found every run inside the data file, so each value is below 2^31; the
        // total is checked against that bound below before it is used.
        layout.moves.push_back({static_cast<uint32_t>(le::Load32(e)),
                                static_cast<uint32_t>(layout.compacted),
                                static_cast<uint32_t>(length), block});
        layout.compacted += static_cast<uint64_t>(length);
    }
    if (layout.compacted >= layout.size) {
        // Every byte is in use (runs that share bytes would even make the result larger).
        return JobOutcome{
            true,
            "Statics was successfully compacted: 0 bytes reclaimed" + Reclaimed(layout),
            {},
            CompactCounts(layout)};
    }
    if (layout.size + layout.compacted >
        static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        return JobOutcome{false,
                          "Compact refused: " + request.statics +
                              " is too large to compact safely; nothing was changed.",
                          "Its " + std::to_string(layout.size) + " bytes and the " +
                              std::to_string(layout.compacted) +
                              " bytes in use together pass the 2 GiB that an index can address."};
    }
    if (inMemory) {
        layout.image.resize(static_cast<size_t>(layout.compacted));
        for (const Move& m : layout.moves) {
            std::copy_n(whole.data() + m.from, m.length, layout.image.data() + m.to);
        }
    }
    return std::nullopt;
}

// Step 1: the compacted runs appended at S, in one write when they are in memory.
void AppendRuns(RandomAccessFile& data, const Layout& layout, uint64_t chunk) {
    if (!layout.image.empty()) {
        data.WriteAt(layout.size, layout.image);
    } else {
        CopyRuns(data, layout.moves, layout.size, chunk);
    }
}

// Step 3: the appended runs copied to the start of the data file.
void MoveTailToStart(RandomAccessFile& data, const Layout& layout, uint64_t chunk) {
    if (!layout.image.empty()) {
        data.WriteAt(0, layout.image);
    } else {
        CopyWithin(data, layout.size, 0, layout.compacted, chunk);
    }
}

}  // namespace

JobOutcome RunCompact(const CompactRequest& request, const StatusSink& status, FileSystem& fs) {
    status("Compacting statics. Please wait.");
    auto finish = [&](JobOutcome outcome) {
        status(outcome.status);
        return outcome;
    };
    std::error_code same;
    if (std::filesystem::equivalent(request.staidx, request.statics, same)) {
        return finish({false,
                       "Compact refused: " + request.staidx + " and " + request.statics +
                           " are the same file; nothing was changed.",
                       {}});
    }

    std::string refusal = RefuseStaticsFiles(request.staidx, request.statics, {});
    if (!refusal.empty()) return finish({false, "Compact refused: " + refusal, {}});
    if (!fs.Exists(request.staidx) || !fs.Exists(request.statics)) {
        return finish({false, "Can not find the statics files.", {}});
    }
    std::unique_ptr<FileLock> lock;
    try {
        lock = FileLock::Try(request.staidx, FileLock::Mode::kExclusive);
    } catch (const std::exception& e) {
        return finish({false, "Compact failed; the statics files are unchanged.", e.what()});
    }
    if (!lock) return finish({false, cStatics::kInUse, {}});

    std::unique_ptr<RandomAccessFile> data;
    Layout layout;
    try {
        auto index = fs.Open(request.staidx, OpenMode::kReadOnly);
        data = fs.Open(request.statics, OpenMode::kReadWrite);
        if (std::optional<JobOutcome> refused = Plan(request, *index, *data, layout)) {
            return finish(*refused);
        }
    } catch (const std::exception& e) {
        if (StopRequested()) return finish({false, Error::Stopped().what(), {}});
        return finish({false, "Compact failed; the statics files are unchanged.", e.what()});
    }

    // The whole data file is overwritten from its start, so all of it is kept.
    if (request.history) {
        request.history->KeepWhole(request.staidx);
        request.history->KeepBytes(request.statics, 0, layout.size);
    }
    RecordedScope recorded(request.history);
    uint64_t chunk = std::max<uint64_t>(request.bufferBytes / 8, 1);
    bool indexInTail = false;  // the index on disk refers to the appended copy
    try {
        try {
            AppendRuns(*data, layout, chunk);
            data->Sync();
            ThrowIfStopped();
            PointAt(layout.entries, layout.moves, layout.size);
            ReplaceIndex(fs, request.staidx, layout.entries, *lock);
            indexInTail = true;
        } catch (...) {
            if (!indexInTail) {
                try {
                    data->Truncate(layout.size);  // undoes step 1
                } catch (const std::exception&) {
                    // The appended bytes stay behind, unreferenced; the pair is still sound.
                }
            }
            throw;
        }
        MoveTailToStart(*data, layout, chunk);
        data->Sync();
        PointAt(layout.entries, layout.moves, 0);
        ReplaceIndex(fs, request.staidx, layout.entries, *lock);
        // Step 5. Cut or not, the pair is consistent, so nothing needs to wait for the cut to be
        // stored.
        data->Truncate(layout.compacted);
    } catch (const std::exception& e) {
        if (StopRequested()) {
            return finish({false, "Stopped.",
                           indexInTail ? "The statics files hold the same statics, but the space "
                                         "is not reclaimed yet."
                                       : std::string()});
        }
        return finish({false,
                       indexInTail
                           ? "Compact failed part-way; the statics files hold the same statics, "
                             "but the space is not reclaimed yet."
                           : "Compact failed; the statics files are unchanged.",
                       e.what()});
    }
    return finish(
        {true,
         "Statics was successfully compacted: " + std::to_string(layout.size - layout.compacted) +
             " bytes reclaimed" + Reclaimed(layout),
         {},
         CompactCounts(layout)});
}

}  // namespace vorlak
