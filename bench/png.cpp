// Picture helpers for bench/run_views.sh, through the picture module as the window and the
// command line read and write pictures:
//   bench_png resave IN OUT [grey]   writes the picture IN again as OUT at the picture module's
//                                    default PNG level (6), as 8-bit grey with "grey"
//   bench_png kinds PALETTE OUT      writes a 6144 x 4096 kinds picture for bmp2map: patches of
//                                    the palette's colours (a GIF of one row), as a user's
//                                    drawing would have
#include <cstdio>
#include <cstring>
#include <string>

#include "mul/World.h"
#include "picture/PictureFiles.h"

namespace {

int Fail(const std::string& what) {
    std::fprintf(stderr, "bench_png: %s\n", what.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "resave") == 0) {
        std::string why;
        auto picture = vorlak::ReadPictureFile(argv[2], &why);
        if (!picture) return Fail(why);
        bool grey = argc > 4 && std::strcmp(argv[4], "grey") == 0;
        std::string failure =
            vorlak::WritePictureFile(*picture, argv[3], vorlak::DefaultFileSystem(), grey);
        return failure.empty() ? 0 : Fail(std::string("cannot write ") + argv[3] + ": " + failure);
    }
    if (argc == 4 && std::strcmp(argv[1], "kinds") == 0) {
        std::string why;
        auto palette = vorlak::ReadPictureFile(argv[2], &why);
        if (!palette) return Fail(why);
        const int32_t w = vorlak::world::kWidth, h = vorlak::world::kHeight;
        auto picture = vorlak::NewPictureInMemory(w, h);
        if (!picture) return Fail("no room for the picture");
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                uint32_t patch =
                    static_cast<uint32_t>(x / 41) * 2246822519u ^ static_cast<uint32_t>(y / 31);
                picture->setPixel(x, y, palette->pixel(static_cast<int32_t>((patch >> 5) % 12), 0));
            }
        }
        std::string failure = vorlak::WritePictureFile(*picture, argv[3]);
        return failure.empty() ? 0 : Fail("cannot write the picture: " + failure);
    }
    return Fail("usage: bench_png resave IN OUT [grey] | bench_png kinds PALETTE OUT");
}
