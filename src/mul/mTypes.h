// Reading little-endian integers and heights out of byte buffers.
//
// Every access is bounds-checked: a position outside the buffer throws Error::OutOfRange, and a
// position whose byte offset passes the largest signed 32-bit value throws Error::Overflow, at the
// first byte concerned. Nothing allocates.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vorlak {

using ByteBuffer = std::vector<uint8_t>;

namespace mTypes {

// Reads 1..4 bytes (a length below 1 reads one, above 4 reads four) little-endian from `buffer`
// at `position`. Lengths 1..3 give non-negative values; length 4 gives the full signed range.
int32_t Bytes2Long(std::span<const uint8_t> buffer, int32_t position, int32_t length);

// A signed height -128..-1 becomes its stored byte 128..255; other values are returned as they
// are, unchecked.
constexpr int32_t Signed2Byte(int32_t value) { return value < 0 ? value + 256 : value; }

// The byte at `position` as an 8-bit two's-complement number.
int32_t Byte2Signed(std::span<const uint8_t> buffer, int32_t position);

// Position + offset, checked against the buffer; throws as described above.
size_t CheckedIndex(size_t bufferSize, int32_t position, int32_t offset);

}  // namespace mTypes
}  // namespace vorlak
