// Reading little-endian integers and heights out of byte buffers.
//
// Every access is bounds-checked: a position outside the buffer throws Error::OutOfRange, and a
// position whose byte offset passes the largest signed 32-bit value throws Error::Overflow, at the
// first byte concerned. Nothing allocates.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace vorlak {

using ByteBuffer = std::vector<uint8_t>;

namespace mTypes {

// Throws the out-of-range or overflow failure for position + offset (never returns).
[[noreturn]] void ThrowBadIndex(size_t bufferSize, int32_t position, int32_t offset);

// Position + offset, checked against the buffer; throws as described above.
inline size_t CheckedIndex(size_t bufferSize, int32_t position, int32_t offset) {
    if (position > std::numeric_limits<int32_t>::max() - offset || position + offset < 0 ||
        static_cast<size_t>(position + offset) >= bufferSize) {
        ThrowBadIndex(bufferSize, position, offset);
    }
    return static_cast<size_t>(position + offset);
}

// Reads 1..4 bytes (a length below 1 reads one, above 4 reads four) little-endian from `buffer`
// at `position`. Lengths 1..3 give non-negative values; length 4 gives the full signed range.
inline int32_t Bytes2Long(std::span<const uint8_t> buffer, int32_t position, int32_t length) {
    uint32_t result = buffer[CheckedIndex(buffer.size(), position, 0)];
    for (int32_t i = 1; i < 4 && i < length; ++i) {
        result |= static_cast<uint32_t>(buffer[CheckedIndex(buffer.size(), position, i)])
                  << (8 * i);
    }
    return static_cast<int32_t>(result);
}

// A signed height -128..-1 becomes its stored byte 128..255; other values are returned as they
// are, unchecked.
constexpr int32_t Signed2Byte(int32_t value) { return value < 0 ? value + 256 : value; }

}  // namespace mTypes
}  // namespace vorlak
