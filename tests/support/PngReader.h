// A PNG reader for the tests, written from the file layout alone and sharing no code with the
// writer: every chunk's CRC is checked, the IDAT data inflated as one zlib stream, and each row
// unfiltered by its own filter type. 8-bit RGB and grey only, filters none, up and Paeth (those
// the writer uses).
#pragma once

#include <optional>
#include <string>

#include "mul/Picture.h"

namespace vorlak::test {

struct ReadPng {
    MemoryPicture picture{0, 0};
    bool grey = false;
};

// The picture in the file, or none with `why` set when the file is not a sound PNG.
std::optional<ReadPng> ReadPngFile(const std::string& path, std::string* why = nullptr);

}  // namespace vorlak::test
