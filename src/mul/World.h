// The world grid shared by the statics files and the terrain file.
//
// A world is W x H cells, both multiples of 8, cut into blocks of 8 x 8 cells numbered column by
// column. Files come in more than one size: the default world is 6144 x 4096, later files hold a
// 7168 x 4096 one, and users may give any other size.
#pragma once

#include <cstdint>
#include <string>

namespace vorlak::world {

inline constexpr int32_t kWidth = 6144;   // X 0..6143 of the default world
inline constexpr int32_t kHeight = 4096;  // Y 0..4095 of the default world
inline constexpr int32_t kBlockCells = 8;
inline constexpr int32_t kBlockRows = kHeight / kBlockCells;    // 512
inline constexpr int32_t kBlockColumns = kWidth / kBlockCells;  // 768
inline constexpr int32_t kBlocks = kBlockColumns * kBlockRows;  // 393216

// The size of one world. Default-constructed it is the default world.
struct Size {
    int32_t width = kWidth;
    int32_t height = kHeight;

    constexpr int32_t blockRows() const { return height / kBlockCells; }
    constexpr int32_t blockColumns() const { return width / kBlockCells; }
    constexpr int32_t blocks() const { return blockColumns() * blockRows(); }
    constexpr int32_t BlockNumber(int32_t x, int32_t y) const {
        return (x / kBlockCells) * blockRows() + (y / kBlockCells);
    }
    constexpr bool Contains(int32_t x, int32_t y) const {
        return x >= 0 && x < width && y >= 0 && y < height;
    }
    friend constexpr bool operator==(const Size&, const Size&) = default;
};

// Blocks are numbered column by column.
constexpr int32_t BlockNumber(int32_t x, int32_t y) {
    return (x / kBlockCells) * kBlockRows + (y / kBlockCells);
}
constexpr bool InWorld(int32_t x, int32_t y) {
    return x >= 0 && x < kWidth && y >= 0 && y < kHeight;
}

// "block 89802 (X 1400..1407, Y 1616..1623)", for messages.
std::string DescribeBlock(int32_t block, const Size& size = Size{});

}  // namespace vorlak::world
