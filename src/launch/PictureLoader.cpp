// The picture functions of `vorlak`, taken from the picture module on first use.
#include <dlfcn.h>

#include <iostream>

#include "launch/Helpers.h"
#include "picture/PictureFiles.h"

namespace vorlak {
namespace {

// The module's table, or null after a message on stderr. The module stays loaded to the end.
const PictureFileFunctions* Module() {
    static const PictureFileFunctions* functions = []() -> const PictureFileFunctions* {
        const std::string path = launch::FindHelper("vorlak-picture.so");
        if (path.empty()) {
            std::cerr << "vorlak: the picture module vorlak-picture.so is not installed.\n";
            return nullptr;
        }
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            std::cerr << "vorlak: cannot load " << path << ": " << ::dlerror() << '\n';
            return nullptr;
        }
        auto entry = reinterpret_cast<const PictureFileFunctions* (*)()>(
            ::dlsym(module, "vorlak_picture_files"));
        const PictureFileFunctions* table = entry ? entry() : nullptr;
        if (table == nullptr || table->version != kPictureFilesVersion) {
            std::cerr << "vorlak: " << path << " does not belong to this version of vorlak.\n";
            return nullptr;
        }
        return table;
    }();
    return functions;
}

}  // namespace

std::unique_ptr<WritablePicture> ReadPictureFile(const std::string& path, std::string* why) {
    const PictureFileFunctions* module = Module();
    if (!module && why) *why = "The picture module vorlak-picture.so cannot be loaded.";
    return module ? module->read(path, why) : nullptr;
}

bool WritePictureFile(const Picture& picture, const std::string& path, std::string* why) {
    const PictureFileFunctions* module = Module();
    if (!module && why) *why = "The picture module vorlak-picture.so cannot be loaded.";
    return module && module->write(picture, path, why);
}

bool WriteGreyPictureFile(const Picture& picture, const std::string& path, std::string* why) {
    const PictureFileFunctions* module = Module();
    if (!module && why) *why = "The picture module vorlak-picture.so cannot be loaded.";
    return module && module->writeGrey(picture, path, why);
}

std::unique_ptr<WritablePicture> NewPictureInMemory(int32_t width, int32_t height) {
    const PictureFileFunctions* module = Module();
    return module ? module->make(width, height) : nullptr;
}

}  // namespace vorlak
