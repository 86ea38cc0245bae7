// How pictures reach the core: a grid of colour values, red in the low byte, then green, then
// blue (0x00BBGGRR). The window and the command line adapt their picture files to this.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorlak {

class Picture {
  public:
    virtual ~Picture() = default;
    virtual int32_t width() const = 0;
    virtual int32_t height() const = 0;
    // Colour of the pixel at (x, y), 0 <= x < width, 0 <= y < height.
    virtual int32_t pixel(int32_t x, int32_t y) const = 0;
    // The colours of row y, 0 <= y < height, into `out`, which holds width() values. Pictures
    // that keep their rows whole override it: long jobs read millions of pixels.
    virtual void row(int32_t y, int32_t* out) const {
        for (int32_t x = 0; x < width(); ++x) out[x] = pixel(x, y);
    }
};

class WritablePicture : public Picture {
  public:
    virtual void setPixel(int32_t x, int32_t y, int32_t colour) = 0;
    // Sets row y, 0 <= y < height, from the width() colours of `colours`. Pictures that keep
    // their rows whole override it: the views write millions of pixels.
    virtual void setRow(int32_t y, const int32_t* colours) {
        for (int32_t x = 0; x < width(); ++x) setPixel(x, y, colours[x]);
    }
};

// A picture held in memory, row by row.
class MemoryPicture final : public WritablePicture {
  public:
    MemoryPicture(int32_t width, int32_t height, int32_t fill = 0)
        : width_(width),
          height_(height),
          pixels_(static_cast<size_t>(width) * static_cast<size_t>(height), fill) {}
    int32_t width() const override { return width_; }
    int32_t height() const override { return height_; }
    int32_t pixel(int32_t x, int32_t y) const override { return pixels_[Index(x, y)]; }
    void row(int32_t y, int32_t* out) const override {
        std::copy_n(pixels_.begin() + static_cast<ptrdiff_t>(Index(0, y)), width_, out);
    }
    void setPixel(int32_t x, int32_t y, int32_t colour) override { pixels_[Index(x, y)] = colour; }
    void setRow(int32_t y, const int32_t* colours) override {
        std::copy_n(colours, width_, pixels_.begin() + static_cast<ptrdiff_t>(Index(0, y)));
    }

  private:
    size_t Index(int32_t x, int32_t y) const {
        return static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x);
    }
    int32_t width_;
    int32_t height_;
    std::vector<int32_t> pixels_;
};

// 0x00BBGGRR from its components.
constexpr int32_t Rgb(int32_t red, int32_t green, int32_t blue) {
    return (red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16);
}

}  // namespace vorlak
