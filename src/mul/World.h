// The world grid shared by the statics files and the terrain file.
#pragma once

#include <cstdint>
#include <string>

namespace vorlak::world {

inline constexpr int32_t kWidth = 6144;   // X 0..6143
inline constexpr int32_t kHeight = 4096;  // Y 0..4095
inline constexpr int32_t kBlockCells = 8;
inline constexpr int32_t kBlockRows = kHeight / kBlockCells;    // 512
inline constexpr int32_t kBlockColumns = kWidth / kBlockCells;  // 768
inline constexpr int32_t kBlocks = kBlockColumns * kBlockRows;  // 393216

// Blocks are numbered column by column.
constexpr int32_t BlockNumber(int32_t x, int32_t y) {
    return (x / kBlockCells) * kBlockRows + (y / kBlockCells);
}
constexpr bool InWorld(int32_t x, int32_t y) {
    return x >= 0 && x < kWidth && y >= 0 && y < kHeight;
}

// "block 89802 (X 1400..1407, Y 1616..1623)", for messages.
std::string DescribeBlock(int32_t block);

}  // namespace vorlak::world
