#include "mul/mZedraConvert.h"

#include "mul/mTypes.h"

namespace vorlak::mZedraConvert {

using mTypes::CheckedIndex;

void Long2Bytes(int32_t value, std::span<uint8_t> buffer, int32_t position, int32_t length) {
    auto bits = static_cast<uint32_t>(value);
    buffer[CheckedIndex(buffer.size(), position, 0)] = static_cast<uint8_t>(bits);
    for (int32_t i = 1; i < 4 && i < length; ++i) {
        buffer[CheckedIndex(buffer.size(), position, i)] = static_cast<uint8_t>(bits >> (8 * i));
    }
}

void CopyByteRange(std::span<const uint8_t> source, std::span<uint8_t> destination,
                   int32_t sourceStart, int32_t count, int32_t destStart) {
    for (int32_t i = 0; i < count; ++i) {
        uint8_t b = source[CheckedIndex(source.size(), sourceStart, i)];
        destination[CheckedIndex(destination.size(), destStart, i)] = b;
    }
}

}  // namespace vorlak::mZedraConvert
