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
                int32_t length = entry.length;
                // Kept records are gathered in `block`, in their order.
                block.resize(static_cast<size_t>(length));
                int32_t kept = 0;
                int32_t whole = length - length % kRecordBytes;  // bytes of complete records
                int32_t baseX = bx * world::kBlockCells, baseY = by * world::kBlockCells;
                for (int32_t p = 0; p < whole; p += kRecordBytes) {
                    const uint8_t* r = run + p;
                    int32_t x = baseX + r[2], y = baseY + r[3];
                    if (X1 <= x && x <= X2 && Y1 <= y && y <= Y2) continue;
                    std::memcpy(block.data() + kRecordBytes * kept, r, kRecordBytes);
                    ++kept;
                }
                // A last record cut short is read and copied with checks, so that the job fails
                // wherever it would run past the block's buffer.
                if (whole < length) {
                    std::memcpy(block.data() + whole, run + whole,
                                static_cast<size_t>(length - whole));
                    int32_t x = baseX + mTypes::Bytes2Long(block, whole + 2, 1);
                    int32_t y = baseY + mTypes::Bytes2Long(block, whole + 3, 1);
                    if (!(X1 <= x && x <= X2 && Y1 <= y && y <= Y2)) {
                        mZedraConvert::CopyByteRange(block, block, whole, kRecordBytes,
                                                     kRecordBytes * kept);
                        ++kept;
                    }
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
