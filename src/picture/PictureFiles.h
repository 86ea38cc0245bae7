// Picture files as the command line sees them, without Qt in sight: the `vorlak` program reads
// and writes pictures through the picture module (vorlak-picture.so), which it loads the first
// time a job needs a picture, so that the jobs without pictures never load Qt. Programs that
// link the Qt picture code themselves (the window, the tests) get the same functions directly.
// New picture jobs of the command line call these rather than the Qt types.
#pragma once

#include <memory>
#include <string>

#include "mul/Picture.h"

namespace vorlak {

// Reads a picture file whole; null when the file is missing, is no regular file or cannot be
// decoded (a BMP shorter than its header says included), with the cause in `*why` when given.
std::unique_ptr<WritablePicture> ReadPictureFile(const std::string& path,
                                                 std::string* why = nullptr);
// Writes `picture` in the format that the file name's extension names (BMP when it has none)
// through a temporary file and a rename. Returns false when it cannot be written, with the cause
// in `*why` when given.
bool WritePictureFile(const Picture& picture, const std::string& path, std::string* why = nullptr);
// The same, written as 8-bit grey (the red component of each pixel).
bool WriteGreyPictureFile(const Picture& picture, const std::string& path,
                          std::string* why = nullptr);
// A black picture of width x height in memory, in the form the writers take without a copy;
// null when there is no room for it.
std::unique_ptr<WritablePicture> NewPictureInMemory(int32_t width, int32_t height);

// What the picture module hands out; `version` changes whenever this table does.
struct PictureFileFunctions {
    int version;
    std::unique_ptr<WritablePicture> (*read)(const std::string& path, std::string* why);
    bool (*write)(const Picture& picture, const std::string& path, std::string* why);
    bool (*writeGrey)(const Picture& picture, const std::string& path, std::string* why);
    std::unique_ptr<WritablePicture> (*make)(int32_t width, int32_t height);
};
inline constexpr int kPictureFilesVersion = 4;

}  // namespace vorlak

// The picture module's one entry point, looked up by name.
extern "C" const vorlak::PictureFileFunctions* vorlak_picture_files();
