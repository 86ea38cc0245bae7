#include "picture/PictureFiles.h"

#include "picture/QtPicture.h"

namespace vorlak {

std::unique_ptr<WritablePicture> ReadPictureFile(const std::string& path) {
    std::optional<QtPicture> picture = LoadPicture(path);
    if (!picture) return nullptr;
    return std::make_unique<QtPicture>(std::move(*picture));
}

bool WritePictureFile(const Picture& picture, const std::string& path) {
    return SavePicture(picture, path);
}

}  // namespace vorlak
