#include "mul/BmpFile.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "mul/Error.h"
#include "mul/LittleEndian.h"

namespace vorlak {
namespace {

constexpr uint32_t kHeaderBytes = 14 + 40;  // file header, information header
constexpr uint32_t kGreyPaletteBytes = 256 * 4;
constexpr int32_t kPixelsPerMetre = 3780;  // 96 dots per inch

}  // namespace

BmpWriter::BmpWriter(FileSystem& fs, const std::string& path, int32_t width, int32_t height,
                     bool grey)
    : file_(fs, path), width_(width), height_(height), grey_(grey) {
    if (width <= 0 || height <= 0) throw Error::Io("A picture needs at least one pixel.");
    const uint64_t pixelBytes = grey ? 1 : 3;
    stride_ = static_cast<size_t>((pixelBytes * static_cast<uint64_t>(width) + 3) / 4 * 4);
    pixelsStart_ = kHeaderBytes + (grey ? kGreyPaletteBytes : 0);
    const uint64_t imageBytes = static_cast<uint64_t>(stride_) * static_cast<uint64_t>(height);
    if (pixelsStart_ + imageBytes > std::numeric_limits<uint32_t>::max()) {
        throw Error::Io("A " + std::to_string(width) + " x " + std::to_string(height) +
                        " picture is too large for a BMP file.");
    }
    std::vector<uint8_t> header{'B', 'M'};
    auto put32 = [&](uint64_t value) {
        le::Put32(header, static_cast<int32_t>(static_cast<uint32_t>(value)));
    };
    put32(pixelsStart_ + imageBytes);
    put32(0);
    put32(pixelsStart_);
    put32(40);
    put32(static_cast<uint64_t>(width));
    put32(static_cast<uint64_t>(height));  // positive: bottom row first
    le::Put16(header, 1);                  // planes
    le::Put16(header, grey ? 8 : 24);      // bits per pixel
    put32(0);                              // no compression
    put32(imageBytes);
    put32(kPixelsPerMetre);
    put32(kPixelsPerMetre);
    put32(grey ? 256 : 0);  // palette entries
    put32(0);
    if (grey) {
        for (uint64_t v = 0; v < 256; ++v) put32(v | v << 8 | v << 16);
    }
    file_.file().WriteAt(0, header);
}

void BmpWriter::WriteRows(int32_t y, int32_t count, const int32_t* colours) {
    if (y < 0 || count <= 0 || count > height_ - y) return;
    // Rows y .. y + count - 1 lie bottom-up in the file, the last of them first.
    buffer_.resize(stride_ * static_cast<size_t>(count));
    const size_t used = static_cast<size_t>(width_) * (grey_ ? 1 : 3);
    for (int32_t r = 0; r < count; ++r) {
        const int32_t* in = colours + static_cast<size_t>(r) * static_cast<size_t>(width_);
        uint8_t* out = buffer_.data() + stride_ * static_cast<size_t>(count - 1 - r);
        std::fill(out + used, out + stride_, uint8_t{0});  // the row's padding
        if (grey_) {
            for (int32_t x = 0; x < width_; ++x) out[x] = static_cast<uint8_t>(in[x]);
            continue;
        }
        for (int32_t x = 0; x < width_; ++x, out += 3) {
            auto c = static_cast<uint32_t>(in[x]);
            out[0] = static_cast<uint8_t>(c >> 16);  // blue, green, red
            out[1] = static_cast<uint8_t>(c >> 8);
            out[2] = static_cast<uint8_t>(c);
        }
    }
    const auto bottom = static_cast<uint64_t>(height_ - y - count);
    file_.file().WriteAt(pixelsStart_ + bottom * stride_, {buffer_.data(), buffer_.size()});
}

void BmpWriter::Commit() { file_.Commit(); }

}  // namespace vorlak
