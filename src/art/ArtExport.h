// Every art tile at once: each record of one kind decoded and written as a picture of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "art/ArtJobs.h"
#include "mul/File.h"
#include "mul/Picture.h"

namespace vorlak {

struct ExportAllArtRequest {
    std::string artidx = "artidx.mul";
    std::string artmul = "art.mul";
    ArtKind kind = ArtKind::kLandscape;  // landscape or static tiles
    std::string dir;                     // created when missing
    std::string format = "png";          // png or bmp
};

struct ExportAllArtOutcome : JobOutcome {
    int32_t written = 0;
    int32_t missing = 0;     // no record: length 0 or less, or past the end of the index
    int32_t unreadable = 0;  // a static tile too short for its header or over 2048 x 2048
};

// Writes a picture file for a record; returns empty text, or why it could not be written.
using SaveArtPicture = std::function<std::string(const Picture& picture, const std::string& path)>;

// Decodes art numbers 0..16383 of the kind and saves each as DIR/NNNNN.FORMAT, NNNNN the art
// number in five digits; records that are missing or cannot be decoded are skipped and counted.
// Refuses when the art files are missing or the folder cannot be made; stops at the first
// picture that cannot be written (the pictures before it stay, each one whole). Status texts: a
// progress text every 1024 numbers, then the outcome. Never throws.
ExportAllArtOutcome RunExportAllArt(const ExportAllArtRequest& request, const SaveArtPicture& save,
                                    const std::function<void(const std::string&)>& status,
                                    FileSystem& fs = DefaultFileSystem());

}  // namespace vorlak
