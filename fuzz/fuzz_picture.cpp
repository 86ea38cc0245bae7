// Feeds arbitrary bytes to the picture decoder that every picture file goes through (BMP, PNG,
// GIF and the rest by their content). It must never crash or read past its input; a refusal
// must say why, and a picture it hands back must be readable over its whole size. The PNG row
// reader of bmp2map gets the same bytes: what it takes, the picture decoder must take too, with
// the same pixels.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "mul/PngFile.h"
#include "picture/QtPicture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string why;
    std::optional<vorlak::QtPicture> picture =
        vorlak::DecodePicture(std::span<const uint8_t>(data, size), why);
    if (auto rows = vorlak::PngRows::FromBytes({data, data + size})) {
        if (!picture || rows->width() != picture->width() || rows->height() != picture->height())
            std::abort();
        std::vector<int32_t> ours(static_cast<size_t>(rows->width())), theirs(ours.size());
        for (int32_t y = 0; y < rows->height(); ++y) {
            rows->row(y, ours.data());
            picture->row(y, theirs.data());
            if (ours != theirs) std::abort();
        }
    }
    if (!picture) {
        if (why.empty()) std::abort();
        return 0;
    }
    if (picture->width() <= 0 || picture->height() <= 0) std::abort();
    // Every row of a small picture, the first and last of a large one.
    std::vector<int32_t> row(static_cast<size_t>(picture->width()));
    int64_t cells = int64_t{picture->width()} * picture->height();
    for (int32_t y = 0; y < picture->height(); ++y) {
        if (cells > (1 << 20) && y != 0 && y != picture->height() - 1) continue;
        picture->row(y, row.data());
    }
    return 0;
}
