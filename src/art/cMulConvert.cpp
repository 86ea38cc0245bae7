#include "art/cMulConvert.h"

#include <algorithm>
#include <utility>

namespace vorlak {
namespace {

using namespace art;

// The unsigned 16-bit value at `position`, or false when the record does not hold both bytes.
// Positions are 64-bit so that no sum of offsets taken from a record can wrap around.
bool Read16(std::span<const uint8_t> record, uint64_t position, int32_t& value) {
    if (position >= record.size() || record.size() - position < 2) return false;
    value = record[position] | (record[position + 1] << 8);
    return true;
}

}  // namespace

int32_t cMulConvert::Color16ToColor32(int32_t Color16) {
    auto c = static_cast<uint32_t>(Color16);
    int32_t red = static_cast<int32_t>((c >> 10) & 31) * 8;
    int32_t green = static_cast<int32_t>((c >> 5) & 31) * 8;
    int32_t blue = static_cast<int32_t>(c & 31) * 8;
    return red + 256 * green + 65536 * blue;
}

void cMulConvert::ArtRun2LongArray(std::span<const uint8_t> B, PixelGrid& L) const {
    PixelGrid grid(kTileSize, kTileSize, kBackground);
    uint64_t p = 0;
    for (int32_t y = 0; y < kTileSize; ++y) {
        int32_t first = DiamondRowStart(y);
        for (int32_t x = first; x < first + DiamondRowWidth(y); ++x) {
            int32_t colour = 0;
            if (!Read16(B, p, colour)) {
                L = std::move(grid);
                return;
            }
            grid.setPixel(x, y, Color16ToColor32(colour));
            p += kColourBytes;
        }
    }
    L = std::move(grid);
}

bool cMulConvert::ArtRaw2LongArray(std::span<const uint8_t> B, PixelGrid& L) const {
    int32_t width = 0;
    int32_t height = 0;
    if (!Read16(B, kWidthAt, width) || !Read16(B, kHeightAt, height)) return false;
    if (width > kRunLimit || height > kRunLimit) return false;

    PixelGrid grid(width + 1, height + 1, kBackground);
    const uint64_t runData = kLineTableAt + 2 * static_cast<uint64_t>(height);
    for (int32_t y = 0; y < height; ++y) {
        int32_t lineStart = 0;
        // Where the line table stops, the rows after it have no runs either.
        if (!Read16(B, kLineTableAt + 2 * static_cast<uint64_t>(y), lineStart)) break;
        uint64_t p = runData + 2 * static_cast<uint64_t>(lineStart);
        int32_t x = 0;
        // x only grows, so once it has passed the last column nothing more of the row can land.
        while (x <= width) {
            int32_t offset = 0;
            int32_t length = 0;
            if (!Read16(B, p, offset) || !Read16(B, p + 2, length)) break;
            p += kRunHeaderBytes;
            if (offset + length >= kRunLimit || offset + length == 0) break;
            x += offset;
            // Cut at the last column; the colours beyond it are skipped unread.
            // A record cut short ends inside the run: the next header read fails as well.
            int32_t inGrid = std::clamp(width + 1 - x, 0, length);
            for (int32_t j = 0; j < inGrid; ++j) {
                int32_t colour = 0;
                if (!Read16(B, p + 2 * static_cast<uint64_t>(j), colour)) break;
                grid.setPixel(x + j, y, Color16ToColor32(colour));
            }
            x += length;
            p += 2 * static_cast<uint64_t>(length);
        }
    }
    L = std::move(grid);
    return true;
}

}  // namespace vorlak
