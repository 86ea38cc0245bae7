#include <cstring>
#include <exception>

#include "mul/Error.h"
#include "mul/Stop.h"
#include "mul/mZedraConvert.h"
#include "statics/cStatics.h"

namespace vorlak {

std::string cStatics::cClear(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    // A corner outside the world would make block rows spill into neighbouring block columns.
    if (!size_.Contains(X1, Y1) || !size_.Contains(X2, Y2)) return "Illegal cordinates.";
    return Attempt([&] {
        ByteBuffer block;
        ForEachRunIn(
            X1, Y1, X2, Y2,
            [&](int32_t bx, int32_t by, int32_t number, const uint8_t* run, const Entry& entry) {
                RequireWholeRecords(number, entry);
                // Kept records are gathered in `block`, in their order.
                block.resize(static_cast<size_t>(entry.length));
                int32_t kept = 0;
                int32_t baseX = bx * world::kBlockCells, baseY = by * world::kBlockCells;
                for (const uint8_t* r = run; r != run + entry.length; r += kRecordBytes) {
                    int32_t x = baseX + r[2], y = baseY + r[3];
                    if (X1 <= x && x <= X2 && Y1 <= y && y <= Y2) continue;
                    std::memcpy(block.data() + kRecordBytes * kept, r, kRecordBytes);
                    ++kept;
                }
                if (kept > 0) {
                    block.resize(static_cast<size_t>(kRecordBytes * kept));
                    cSave(number, block, false);
                } else {
                    cSave(number, block, true);
                }
            });
    });
}

}  // namespace vorlak
