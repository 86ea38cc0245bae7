// Writes a BMP file row by row, so that a picture larger than memory likes never has to be held
// whole: 24-bit colour, or 8-bit grey with a grey palette, rows stored bottom-up as every reader
// expects. The file is written beside its name and takes that name only on Commit(), through a
// sync, a rename and a sync of the folder; dropping the writer before that leaves no picture.
#pragma once

#include <cstdint>
#include <string>

#include "mul/File.h"

namespace vorlak {

class BmpWriter {
  public:
    // Throws Error when the file cannot be created, or Error::Io when the picture would be too
    // large for the format.
    BmpWriter(FileSystem& fs, const std::string& path, int32_t width, int32_t height, bool grey);

    // Writes `count` whole rows from row `y` down (y, y + 1, ...), `colours` holding width
    // values 0x00BBGGRR per row; grey pictures keep the red component. Rows may come in any
    // order; each must be written once before Commit.
    void WriteRows(int32_t y, int32_t count, const int32_t* colours);
    // Makes the written file the picture at its name.
    void Commit();

  private:
    AtomicFile file_;
    int32_t width_, height_;
    bool grey_;
    size_t stride_;         // bytes per row, padded to 4
    uint64_t pixelsStart_;  // offset of the bottom row
    LargeBytes buffer_;
};

}  // namespace vorlak
