#include <cstring>
#include <exception>

#include "mul/Error.h"
#include "mul/Stop.h"
#include "mul/mZedraConvert.h"
#include "statics/cStatics.h"

namespace vorlak {
namespace {

// A record's cell offsets are one byte each, so its cell lies within this many cells of its
// block's first one (0..7 in a sound file; damaged records reach further).
constexpr int32_t kReach = 255;

}  // namespace

std::string cStatics::cClear(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    // A corner outside the world would make block rows spill into neighbouring block columns.
    if (!size_.Contains(X1, Y1) || !size_.Contains(X2, Y2)) return "Illegal cordinates.";
    counts_ = {};
    return Attempt([&] {
        ByteBuffer block;
        for (int32_t bx = X1 / world::kBlockCells; bx <= X2 / world::kBlockCells; ++bx) {
            ThrowIfStopped();
            const int32_t baseX = bx * world::kBlockCells;
            const bool columnInside = X1 <= baseX && baseX + kReach <= X2;
            for (int32_t by = Y1 / world::kBlockCells; by <= Y2 / world::kBlockCells; ++by) {
                const int32_t number = bx * size_.blockRows() + by;
                const int32_t baseY = by * world::kBlockCells;
                if (columnInside && Y1 <= baseY && baseY + kReach <= Y2) {
                    // Every record any entry could hold lies inside: the block is emptied
                    // without reading its records.
                    Entry entry = EntryOf(number);
                    if (entry.length <= 0) continue;
                    RequireRunInside(number, entry);
                    RequireWholeRecords(number, entry);
                    cSave(number, block, true);
                    counts_.statics += static_cast<uint64_t>(entry.length / kRecordBytes);
                    ++counts_.blocks;
                    continue;
                }
                Entry entry;
                const uint8_t* run = RunOf(number, entry);
                if (!run) continue;
                RequireWholeRecords(number, entry);
                // Kept records are gathered in `block`, in their order.
                block.resize(static_cast<size_t>(entry.length));
                int32_t kept = 0;
                for (const uint8_t* r = run; r != run + entry.length; r += kRecordBytes) {
                    int32_t x = baseX + r[2], y = baseY + r[3];
                    if (X1 <= x && x <= X2 && Y1 <= y && y <= Y2) continue;
                    std::memcpy(block.data() + kRecordBytes * kept, r, kRecordBytes);
                    ++kept;
                }
                const int32_t removed = entry.length / kRecordBytes - kept;
                counts_.statics += static_cast<uint64_t>(removed);
                counts_.blocks += removed > 0;
                if (kept > 0) {
                    block.resize(static_cast<size_t>(kRecordBytes * kept));
                    cSave(number, block, false);
                } else {
                    cSave(number, block, true);
                }
            }
        }
    });
}

}  // namespace vorlak
