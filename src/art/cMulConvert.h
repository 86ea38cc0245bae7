// Decoding of art records into grids of colour values (layouts in docs/art-files.md).
//
// Art records come from files that users download and patch, so every decoder treats its input as
// untrusted: nothing is read past the record and nothing is written outside the grid. A record
// shorter than its layout decodes what it holds; the cells it does not reach keep the background.
#pragma once

#include <cstdint>
#include <span>

#include "mul/Picture.h"
#include "mul/mTypes.h"

namespace vorlak {

namespace art {

// The background of a decoded grid: pure red (red 255, green 0, blue 0). It is a colour of its
// own, not a transparent marker.
inline constexpr int32_t kBackground = 255;

// Landscape tile: a 44 x 44 diamond of 1012 art colours, 2 bytes each, row by row from the top.
inline constexpr int32_t kTileSize = 44;
// Two halves of 22 rows each, of widths 2, 4, ..., 44.
inline constexpr int32_t kTilePixels = 2 * (kTileSize / 2) * (kTileSize / 2 + 1);
inline constexpr int32_t kColourBytes = 2;
inline constexpr int32_t kTilePixelBytes = kTilePixels * kColourBytes;
static_assert(kTilePixels == 1012);

// Width of diamond row y (0..43): 2, 4, ..., 44, 44, 42, ..., 2.
constexpr int32_t DiamondRowWidth(int32_t y) {
    return y < kTileSize / 2 ? 2 * (y + 1) : 2 * (kTileSize - y);
}
// Leftmost column of diamond row y; the row covers DiamondRowStart(y) .. 43 - DiamondRowStart(y).
constexpr int32_t DiamondRowStart(int32_t y) { return kTileSize / 2 - DiamondRowWidth(y) / 2; }

// Static tile: header (4, unused), width (2), height (2), a line table of one 2-byte value per
// row, then the run data.
inline constexpr int32_t kRunHeaderBytes = 4;
inline constexpr int32_t kWidthAt = 4;
inline constexpr int32_t kHeightAt = 6;
inline constexpr int32_t kLineTableAt = 4 + 2 + 2;
// Neither side of a static tile may exceed this, and a run whose x offset plus length reaches it
// ends its row.
inline constexpr int32_t kRunLimit = 2048;

}  // namespace art

// A grid of colour values addressed by (x, y): x the column from the left, y the row from the top.
using PixelGrid = MemoryPicture;

// Stateless: every call works on its arguments alone.
class cMulConvert {
  public:
    // The colour value (0x00BBGGRR) of a 16-bit art colour: red from bits 10-14, green from bits
    // 5-9, blue from bits 0-4, each times 8 (0, 8, ..., 248). Bit 15 and any higher bits play no
    // part.
    static int32_t Color16ToColor32(int32_t Color16);

    // Landscape tile: replaces `L` by a 44 x 44 grid with the 1012 diamond cells taken from the
    // first 2024 bytes of `B`; bytes after them are ignored. A shorter record fills the diamond
    // as far as its whole colours reach, row by row; the rest stays at the background.
    void ArtRun2LongArray(std::span<const uint8_t> B, PixelGrid& L) const;

    // Static tile (run-length): replaces `L` by a (width + 1) x (height + 1) grid and paints the
    // runs of rows 0 .. height - 1. Returns false and leaves `L` untouched when the record is too
    // short to hold its width and height (8 bytes) or when either exceeds 2048. A line table
    // entry, run header or colour that the record does not hold ends that row; a run reaching past
    // the last column is cut there.
    bool ArtRaw2LongArray(std::span<const uint8_t> B, PixelGrid& L) const;
};

}  // namespace vorlak
