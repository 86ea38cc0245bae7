#include <exception>

#include "mul/mZedraConvert.h"
#include "statics/cStatics.h"

namespace vorlak {

std::string cStatics::cClear(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    // A corner outside the world would make block rows spill into neighbouring block columns.
    if (!world::InWorld(X1, Y1) || !world::InWorld(X2, Y2)) return "Illegal cordinates.";
    lastFailure_.clear();
    try {
        ByteBuffer block;
        for (int32_t bx = X1 / world::kBlockCells; bx <= X2 / world::kBlockCells; ++bx) {
            for (int32_t by = Y1 / world::kBlockCells; by <= Y2 / world::kBlockCells; ++by) {
                int32_t number = bx * world::kBlockRows + by;
                int32_t length = cLoad(number, block);
                if (length <= 0) continue;
                int32_t kept = 0;
                for (int32_t p = 0; p <= length - 1; p += kRecordBytes) {
                    int32_t x = bx * world::kBlockCells + mTypes::Bytes2Long(block, p + 2, 1);
                    int32_t y = by * world::kBlockCells + mTypes::Bytes2Long(block, p + 3, 1);
                    if (X1 <= x && x <= X2 && Y1 <= y && y <= Y2) continue;
                    mZedraConvert::CopyByteRange(block, block, p, kRecordBytes,
                                                 kRecordBytes * kept);
                    ++kept;
                }
                if (kept > 0) {
                    block.resize(static_cast<size_t>(kRecordBytes * kept));
                    cSave(number, block, false);
                } else {
                    cSave(number, block, true);
                }
            }
        }
        Flush();
    } catch (const std::exception& e) {
        lastFailure_ = e.what();
        return "Unknown error.";
    }
    return {};
}

}  // namespace vorlak
