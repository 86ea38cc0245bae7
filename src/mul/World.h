// The world grid shared by the statics files and the terrain file.
//
// A world is W x H cells, both multiples of 8, cut into blocks of 8 x 8 cells numbered column by
// column. Files come in more than one size: the default world is 6144 x 4096, later files hold a
// 7168 x 4096 one, and users may give any other size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

// "block 89802 (X 1400..1407, Y 1616..1623)", for messages.
std::string DescribeBlock(int32_t block, const Size& size = Size{});

// A side longer than this is refused: it keeps every block number and every file position
// of the statics index and the terrain file well inside their 32-bit fields.
inline constexpr int32_t kLongestSide = 32768;
// Files that carry no size of their own hold worlds this high.
inline constexpr int32_t kRuleHeight = 4096;

// "7168x4096".
std::string SizeText(const Size& size);
// The size written as "WxH" (as in "--world 7168x4096"): two whole numbers, multiples of 8,
// 8..kLongestSide. Nothing for any other text.
std::optional<Size> ParseSize(std::string_view text);

// The world of a file that holds `blockBytes` bytes for every block and is `length` bytes long.
// With `given`, the file must be exactly as long as that world needs. Without, a file of N
// blocks, N a multiple of 512, holds a world N / 512 x 8 cells wide and 4096 high.
// Returns the size, or nothing when the length fits neither.
std::optional<Size> SizeOfFile(uint64_t length, uint64_t blockBytes,
                               const std::optional<Size>& given);

// The refusal of a file whose length fits no world: names the file, its length and --world.
// `what` names the kind of file ("statics index"). A job that writes adds that nothing was
// changed; a job that only reads (`writes` false) does not.
std::string SizeRefusal(const std::string& path, uint64_t length, uint64_t blockBytes,
                        const std::string& what, const std::optional<Size>& given,
                        bool writes = true);

// Why the rectangle X1, Y1 -> X2, Y2 is not one of `size`: a line for each corner value outside
// the world ("X2 7000 lies outside the world's columns 0..6143.") and, when `ordered`, for an X2
// below X1 or a Y2 below Y1. Empty when the rectangle is accepted.
std::string CornerProblems(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const Size& size,
                           bool ordered);

}  // namespace vorlak::world
