#include "picture/PictureFiles.h"

#include "picture/QtPicture.h"

namespace vorlak {

std::unique_ptr<WritablePicture> ReadPictureFile(const std::string& path, std::string* why) {
    PictureFile file = ReadPicture(path);
    if (!file.picture) {
        if (why) *why = file.why;
        return nullptr;
    }
    return std::make_unique<QtPicture>(std::move(*file.picture));
}

bool WritePictureFile(const Picture& picture, const std::string& path, std::string* why) {
    return SavePicture(picture, path, false, why);
}

bool WriteGreyPictureFile(const Picture& picture, const std::string& path, std::string* why) {
    return SavePicture(picture, path, true, why);
}

std::unique_ptr<WritablePicture> NewPictureInMemory(int32_t width, int32_t height) {
    return NewPicture(width, height);
}

}  // namespace vorlak
