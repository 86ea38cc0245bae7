// The PNG pictures the views write, read back through the picture module as every picture job
// reads a picture.
#include <gtest/gtest.h>

#include <vector>

#include "mul/PngFile.h"
#include "picture/PictureFiles.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

TEST(PngReadBack, ThePictureModuleReadsTheSamePixels) {
    test::TempDir dir;
    const int32_t width = 301, height = 97;
    for (bool grey : {false, true}) {
        std::vector<int32_t> colours(static_cast<size_t>(width) * height);
        for (size_t i = 0; i < colours.size(); ++i) {
            auto v = static_cast<int32_t>(i * 2654435761u >> 24);
            colours[i] = grey ? Rgb(v, v, v) : Rgb(v, static_cast<int32_t>(i % 251), 255 - v);
        }
        const std::string path = dir.path(grey ? "grey.png" : "colour.png");
        PngOptions options{grey ? PngOptions::Filter::kNone : PngOptions::Filter::kPaeth, grey,
                           5000};  // many pieces
        PngWriter writer(DefaultFileSystem(), path, width, height, grey, options);
        writer.WriteRows(0, height, colours.data());
        writer.Commit();
        std::string why;
        std::unique_ptr<WritablePicture> read = ReadPictureFile(path, &why);
        ASSERT_TRUE(read) << why;
        ASSERT_TRUE(read->width() == width && read->height() == height);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                ASSERT_EQ(read->pixel(x, y), colours[static_cast<size_t>(y) * width + x])
                    << grey << " " << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace vorlak
