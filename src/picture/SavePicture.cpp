// Pictures saved by the programs that link the picture code: apart from the rest of it, so that
// the picture module, which only encodes, carries no file layer of its own.
#include "picture/PictureFiles.h"
#include "picture/QtPicture.h"

namespace vorlak {

bool SavePicture(const Picture& picture, const std::string& path) {
    return SavePicture(picture, path, false);
}

bool SavePicture(const Picture& picture, const std::string& path, bool grey) {
    std::vector<uint8_t> bytes;
    return EncodePicture(picture, PictureFormatOf(path), grey, bytes) &&
           WriteWholeFile(DefaultFileSystem(), path, bytes).empty();
}

}  // namespace vorlak
