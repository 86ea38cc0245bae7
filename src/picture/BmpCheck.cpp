#include "picture/BmpCheck.h"

namespace vorlak {
namespace {

constexpr size_t kFileHeaderBytes = 2 + 4 + 2 + 2 + 4;  // "BM", size, two reserved, pixel offset
constexpr uint32_t kCoreHeaderBytes = 12;               // width and height as 16-bit values
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3;

uint32_t Le(std::span<const uint8_t> b, size_t at, size_t bytes) {
    uint32_t v = 0;
    for (size_t i = 0; i < bytes; ++i) v |= uint32_t{b[at + i]} << (8 * i);
    return v;
}

}  // namespace

std::string BmpLengthProblem(std::span<const uint8_t> file) {
    if (file.size() < 2 || file[0] != 'B' || file[1] != 'M') return {};
    if (file.size() < kFileHeaderBytes + 4) return "its header is cut short";
    const uint64_t size = file.size();
    const uint32_t declared = Le(file, 2, 4);
    // Some writers leave the size field 0; a size larger than the file means a cut-short file.
    if (declared > size) {
        return "its header gives a file size of " + std::to_string(declared) +
               " bytes, but the file ends after " + std::to_string(size) + " bytes";
    }
    const uint64_t pixels = Le(file, 10, 4);
    const uint32_t info = Le(file, kFileHeaderBytes, 4);
    if (size < kFileHeaderBytes + uint64_t{info}) return "its header is cut short";

    int64_t width = 0, height = 0;
    uint32_t bits = 0, compression = kRgb, imageBytes = 0;
    if (info == kCoreHeaderBytes) {
        width = static_cast<int16_t>(Le(file, 18, 2));
        height = static_cast<int16_t>(Le(file, 20, 2));
        bits = Le(file, 24, 2);
    } else if (info >= kInfoHeaderBytes) {
        width = static_cast<int32_t>(Le(file, 18, 4));
        height = static_cast<int32_t>(Le(file, 22, 4));
        bits = Le(file, 28, 2);
        compression = Le(file, 30, 4);
        imageBytes = Le(file, 34, 4);
    } else {
        return {};
    }
    if (height < 0) height = -height;  // rows stored top first
    uint64_t needed = 0;
    if (compression == kRgb || compression == kBitFields) {
        if (width <= 0 || bits == 0 || bits > 32) return {};
        const uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
        needed = stride * static_cast<uint64_t>(height);
    } else if (compression == kRle8 || compression == kRle4) {
        needed = imageBytes;  // the length of the coded rows, when the writer gave it
    } else {
        return {};
    }
    if (pixels > size || needed > size - pixels) {
        return "its pixel data needs " + std::to_string(needed) + " bytes from byte " +
               std::to_string(pixels) + ", but the file ends after " + std::to_string(size) +
               " bytes";
    }
    return {};
}

}  // namespace vorlak
