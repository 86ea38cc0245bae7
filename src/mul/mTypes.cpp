#include "mul/mTypes.h"

#include <limits>
#include <string>

#include "mul/Error.h"

namespace vorlak::mTypes {

size_t CheckedIndex(size_t bufferSize, int32_t position, int32_t offset) {
    if (position > std::numeric_limits<int32_t>::max() - offset) {
        throw Error::Overflow("Overflow: byte position " + std::to_string(position) + " + " +
                              std::to_string(offset));
    }
    int32_t index = position + offset;
    if (index < 0 || static_cast<size_t>(index) >= bufferSize) {
        throw Error::OutOfRange("Byte position " + std::to_string(index) +
                                " is outside a buffer of " + std::to_string(bufferSize) + " bytes");
    }
    return static_cast<size_t>(index);
}

int32_t Bytes2Long(std::span<const uint8_t> buffer, int32_t position, int32_t length) {
    uint32_t result = buffer[CheckedIndex(buffer.size(), position, 0)];
    for (int32_t i = 1; i < 4 && i < length; ++i) {
        result |= static_cast<uint32_t>(buffer[CheckedIndex(buffer.size(), position, i)])
                  << (8 * i);
    }
    return static_cast<int32_t>(result);
}

int32_t Byte2Signed(std::span<const uint8_t> buffer, int32_t position) {
    return static_cast<int8_t>(buffer[CheckedIndex(buffer.size(), position, 0)]);
}

}  // namespace vorlak::mTypes
