// Writing little-endian integers into byte buffers, and copying byte runs.
//
// Same checking as mTypes: out-of-range positions throw at the first byte concerned, and the
// bytes written before it stay written. Nothing allocates.
#pragma once

#include <cstdint>
#include <span>

#include "mul/mTypes.h"

namespace vorlak::mZedraConvert {

// Writes the low 1..4 bytes of `value` (a length below 1 writes one, above 4 writes four) at
// `position`, least significant first; higher bytes are dropped without a check.
inline void Long2Bytes(int32_t value, std::span<uint8_t> buffer, int32_t position, int32_t length) {
    auto bits = static_cast<uint32_t>(value);
    buffer[mTypes::CheckedIndex(buffer.size(), position, 0)] = static_cast<uint8_t>(bits);
    for (int32_t i = 1; i < 4 && i < length; ++i) {
        buffer[mTypes::CheckedIndex(buffer.size(), position, i)] =
            static_cast<uint8_t>(bits >> (8 * i));
    }
}

// destination[destStart + i] = source[sourceStart + i] for i = 0..count-1, ascending, one byte at
// a time; a count of 0 or less copies nothing. Source and destination may be the same buffer when
// destStart <= sourceStart.
inline void CopyByteRange(std::span<const uint8_t> source, std::span<uint8_t> destination,
                          int32_t sourceStart, int32_t count, int32_t destStart) {
    for (int32_t i = 0; i < count; ++i) {
        uint8_t b = source[mTypes::CheckedIndex(source.size(), sourceStart, i)];
        destination[mTypes::CheckedIndex(destination.size(), destStart, i)] = b;
    }
}

}  // namespace vorlak::mZedraConvert
