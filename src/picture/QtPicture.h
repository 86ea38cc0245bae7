// Picture files (BMP, GIF, PNG and whatever else Qt's image plugins read) as core Pictures.
#pragma once

#include <QImage>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "mul/Picture.h"

namespace vorlak {

// A QImage seen through the core's picture interface; writes go into the image.
class QtPicture final : public WritablePicture {
  public:
    explicit QtPicture(QImage image);
    int32_t width() const override { return image_.width(); }
    int32_t height() const override { return image_.height(); }
    int32_t pixel(int32_t x, int32_t y) const override;
    void row(int32_t y, int32_t* out) const override;
    void setPixel(int32_t x, int32_t y, int32_t colour) override;
    void setRow(int32_t y, const int32_t* colours) override;
    const QImage& image() const { return image_; }

  private:
    QImage image_;  // always Format_RGB32
};

// What reading a picture file gave: the picture, or why there is none.
struct PictureFile {
    std::optional<QtPicture> picture;
    bool missing = false;  // nothing to read at the path: no such file, or a folder
    std::string why;       // the cause, naming the file, when there is no picture
};

// Reads a picture file whole and decodes it. Refuses, without opening it, a path that is not a
// regular file (a FIFO or device could be read for ever), and refuses a BMP that is shorter than
// its header says.
PictureFile ReadPicture(const std::string& path);
// ReadPicture(path).picture.
std::optional<QtPicture> LoadPicture(const std::string& path);
// Decodes the bytes of a picture file (BMP, GIF, PNG); empty, with `why` set, when they are no
// picture or a cut-short BMP.
std::optional<QtPicture> DecodePicture(std::span<const uint8_t> bytes, std::string& why);
// Writes `picture` in the format that the file name's extension names (BMP when it has none)
// through a temporary file and a rename. Returns false when it cannot be written.
bool SavePicture(const Picture& picture, const std::string& path);
// The same, written as 8-bit grey (the red component of each pixel) when `grey`; when it cannot be
// written, `*why` (when given) tells the cause.
bool SavePicture(const Picture& picture, const std::string& path, bool grey,
                 std::string* why = nullptr);
// A black picture of width x height in memory; empty when there is no room for it.
std::unique_ptr<QtPicture> NewPicture(int32_t width, int32_t height);

}  // namespace vorlak
