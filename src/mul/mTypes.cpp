#include "mul/mTypes.h"

#include <string>

#include "mul/Error.h"

namespace vorlak::mTypes {

void ThrowBadIndex(size_t bufferSize, int32_t position, int32_t offset) {
    if (position > std::numeric_limits<int32_t>::max() - offset) {
        throw Error::Overflow("Overflow: byte position " + std::to_string(position) + " + " +
                              std::to_string(offset));
    }
    throw Error::OutOfRange("Byte position " + std::to_string(position + offset) +
                            " is outside a buffer of " + std::to_string(bufferSize) + " bytes");
}

}  // namespace vorlak::mTypes
