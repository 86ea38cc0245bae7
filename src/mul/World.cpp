#include "mul/World.h"

#include <charconv>

namespace vorlak::world {

std::string DescribeBlock(int32_t block, const Size& size) {
    int32_t x = block / size.blockRows() * kBlockCells;
    int32_t y = block % size.blockRows() * kBlockCells;
    return "block " + std::to_string(block) + " (X " + std::to_string(x) + ".." +
           std::to_string(x + kBlockCells - 1) + ", Y " + std::to_string(y) + ".." +
           std::to_string(y + kBlockCells - 1) + ")";
}

std::string SizeText(const Size& size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

std::optional<Size> ParseSize(std::string_view text) {
    auto side = [](std::string_view digits) -> std::optional<int32_t> {
        int32_t value = 0;
        const char* end = digits.data() + digits.size();
        if (digits.empty() || digits.front() == '+' || digits.front() == '-') return {};
        auto [at, error] = std::from_chars(digits.data(), end, value);
        if (error != std::errc() || at != end) return {};
        if (value < kBlockCells || value > kLongestSide || value % kBlockCells != 0) return {};
        return value;
    };
    size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) return {};
    auto width = side(text.substr(0, x));
    auto height = side(text.substr(x + 1));
    if (!width || !height) return {};
    return Size{*width, *height};
}

std::optional<Size> SizeOfFile(uint64_t length, uint64_t blockBytes,
                               const std::optional<Size>& given) {
    if (given) {
        if (length != static_cast<uint64_t>(given->blocks()) * blockBytes) return {};
        return given;
    }
    constexpr uint64_t kColumnBlocks = kRuleHeight / kBlockCells;  // 512
    if (length == 0 || length % (kColumnBlocks * blockBytes) != 0) return {};
    uint64_t width = length / (kColumnBlocks * blockBytes) * kBlockCells;
    if (width > kLongestSide) return {};
    return Size{static_cast<int32_t>(width), kRuleHeight};
}

std::string SizeRefusal(const std::string& path, uint64_t length, uint64_t blockBytes,
                        const std::string& what, const std::optional<Size>& given, bool writes) {
    std::string text = path + " is " + std::to_string(length) + " bytes long";
    if (given) {
        return text + ", but the " + what + " of a " + SizeText(*given) + " world (--world " +
               SizeText(*given) + ") is " +
               std::to_string(static_cast<uint64_t>(given->blocks()) * blockBytes) +
               (writes ? " bytes long; nothing was changed." : " bytes long.");
    }
    return text + ", which fits no world size (" + std::to_string(blockBytes) +
           " bytes for each 8 x 8 block, 512 blocks to a column of a world 4096 high); give "
           "the size with --world WxH." +
           (writes ? " Nothing was changed." : "");
}

std::string CornerProblems(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const Size& size,
                           bool ordered) {
    std::string problems;
    auto line = [&problems](const std::string& text) {
        problems += (problems.empty() ? "" : "\n") + text;
    };
    auto inside = [&](const char* name, int32_t value, int32_t cells, const char* what) {
        if (value >= 0 && value < cells) return;
        line(std::string(name) + " " + std::to_string(value) + " lies outside the world's " + what +
             " 0.." + std::to_string(cells - 1) + ".");
    };
    inside("X1", x1, size.width, "columns");
    inside("Y1", y1, size.height, "rows");
    inside("X2", x2, size.width, "columns");
    inside("Y2", y2, size.height, "rows");
    if (ordered && x2 < x1) {
        line("X2 " + std::to_string(x2) + " lies west of X1 " + std::to_string(x1) + ".");
    }
    if (ordered && y2 < y1) {
        line("Y2 " + std::to_string(y2) + " lies north of Y1 " + std::to_string(y1) + ".");
    }
    return problems;
}

}  // namespace vorlak::world
