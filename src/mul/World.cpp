#include "mul/World.h"

namespace vorlak::world {

std::string DescribeBlock(int32_t block, const Size& size) {
    int32_t x = block / size.blockRows() * kBlockCells;
    int32_t y = block % size.blockRows() * kBlockCells;
    return "block " + std::to_string(block) + " (X " + std::to_string(x) + ".." +
           std::to_string(x + kBlockCells - 1) + ", Y " + std::to_string(y) + ".." +
           std::to_string(y + kBlockCells - 1) + ")";
}

}  // namespace vorlak::world
