// The length check of BMP files: a BMP whose pixel data is shorter than its header says is
// refused before it is decoded, since decoders draw the missing part as black or the first colour
// rather than failing.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vorlak {

// For bytes that start with "BM": empty text when the file holds every byte its header announces,
// otherwise why not ("its pixel data needs 786432 bytes from byte 54, but the file ends after
// 196662 bytes"). Other bytes, and headers too damaged to size, pass: the decoder judges them.
std::string BmpLengthProblem(std::span<const uint8_t> file);

}  // namespace vorlak
