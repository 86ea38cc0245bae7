// Picture files as the command line sees them, without Qt in sight: the `vorlak` program reads
// and writes pictures through the picture module (vorlak-picture.so), which it loads the first
// time a job needs a picture, so that the jobs without pictures never load Qt. Programs that
// link the Qt picture code themselves (the window, the tests) get the same functions directly.
// New picture jobs of the command line call these rather than the Qt types.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "mul/File.h"
#include "mul/Picture.h"

namespace vorlak {

// Reads a picture file whole; null when the file is missing, is no regular file or cannot be
// decoded (a BMP shorter than its header says included), with the cause in `*why` when given.
std::unique_ptr<WritablePicture> ReadPictureFile(const std::string& path,
                                                 std::string* why = nullptr);
// The bytes of a picture file of `picture` in `format` ("png" or "bmp"; grey: 8-bit grey, the
// red component of each pixel) into `*bytes`. False when it cannot be encoded.
bool EncodePictureFile(const Picture& picture, const std::string& format, bool grey,
                       std::vector<uint8_t>* bytes);
// A black picture of width x height in memory, in the form the writers take without a copy;
// null when there is no room for it.
std::unique_ptr<WritablePicture> NewPictureInMemory(int32_t width, int32_t height);

// What the picture module hands out; `version` changes whenever this table does.
struct PictureFileFunctions {
    int version;
    std::unique_ptr<WritablePicture> (*read)(const std::string& path, std::string* why);
    bool (*encode)(const Picture& picture, const std::string& format, bool grey,
                   std::vector<uint8_t>* bytes);
    std::unique_ptr<WritablePicture> (*make)(int32_t width, int32_t height);
};
inline constexpr int kPictureFilesVersion = 4;

// The format that the extension of `path` names: "png" or "bmp" (also when it has none or
// another one).
inline std::string PictureFormatOf(const std::string& path) {
    return PictureFormatOfName(path) == "png" ? "png" : "bmp";
}

// Writes `picture` in the format that the file name's extension names (BMP when it has none)
// through the checked output path (WriteWholeFile): grey writes 8-bit grey. Returns empty text,
// or the cause of the failure; the file at `path` is then as it was.
inline std::string WritePictureFile(const Picture& picture, const std::string& path,
                                    FileSystem& fs = DefaultFileSystem(), bool grey = false,
                                    AtomicFile::Links links = AtomicFile::Links::kFollow) {
    std::vector<uint8_t> bytes;
    if (!EncodePictureFile(picture, PictureFormatOf(path), grey, &bytes)) {
        return "The picture cannot be encoded (" + std::to_string(picture.width()) + " x " +
               std::to_string(picture.height()) + " pixels).";
    }
    return WriteWholeFile(fs, path, bytes, links);
}

}  // namespace vorlak

// The picture module's one entry point, looked up by name.
extern "C" const vorlak::PictureFileFunctions* vorlak_picture_files();
