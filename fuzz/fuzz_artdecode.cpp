// Both art record decoders over arbitrary record bytes. Besides the sanitizers' checks it traps
// when a decoder breaks its contract: the grid sizes, an untouched grid on refusal, and the
// landscape tile packing back into the very bytes it was decoded from.
#include <cstddef>
#include <cstdint>
#include <span>

#include "art/ArtJobs.h"
#include "art/cMulConvert.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void Landscape(std::span<const uint8_t> record) {
    vorlak::cMulConvert convert;
    vorlak::PixelGrid grid(0, 0);
    convert.ArtRun2LongArray(record, grid);
    Check(grid.width() == vorlak::art::kTileSize && grid.height() == vorlak::art::kTileSize);
    vorlak::ByteBuffer packed = vorlak::PackLandscapeTile(grid);
    // Whole colours come back without bit 15; cells the record did not reach are background.
    size_t whole = record.size() / 2 * 2;
    for (size_t i = 0; i < static_cast<size_t>(vorlak::art::kTilePixelBytes); ++i) {
        uint8_t expected = i % 2 == 0 ? 0x00 : 0x7C;
        if (i < whole) expected = static_cast<uint8_t>(record[i] & (i % 2 == 0 ? 0xFF : 0x7F));
        Check(packed[i] == expected);
    }
}

void Static(std::span<const uint8_t> record) {
    vorlak::cMulConvert convert;
    vorlak::PixelGrid grid(3, 2, 7);
    if (!convert.ArtRaw2LongArray(record, grid)) {
        Check(grid.width() == 3 && grid.height() == 2 && grid.pixel(2, 1) == 7);
        return;
    }
    Check(record.size() >= 8);
    int32_t width = record[4] | (record[5] << 8);
    int32_t height = record[6] | (record[7] << 8);
    Check(grid.width() == width + 1 && grid.height() == height + 1);
    for (int32_t x = 0; x <= width; ++x) Check(grid.pixel(x, height) == vorlak::art::kBackground);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> record(data, size);
    Landscape(record);
    Static(record);
    return 0;
}
