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

// Writes a picture file for a record through `fs` and the checked output path, following a link
// at `path` or replacing it as `links` says; returns empty text, or the cause of the failure.
using SaveArtPicture = std::function<std::string(const Picture& picture, const std::string& path,
                                                 FileSystem& fs, AtomicFile::Links links)>;

// Export: decodes one record (RunLoadArt) and saves it at `out`. Refuses, before it reads
// anything, art files or an `out` that are no regular files, an `out` that is one of the art
// files or a link to a file that is no picture (CheckPictureOutput); these refusals end in
// "Nothing was written.". A failed write leaves the old picture as it was and tells the cause in
// the detail. Never throws.
JobOutcome RunExportArt(const LoadArtRequest& request, const std::string& out,
                        const SaveArtPicture& save, FileSystem& fs = DefaultFileSystem());

// Decodes art numbers 0..16383 of the kind and saves each as DIR/NNNNN.FORMAT, NNNNN the art
// number in five digits; records that are missing or cannot be decoded are skipped and counted.
// Refuses, creating and changing nothing, art files that are missing, no regular files or cannot
// be opened, a folder that cannot be made (checked after the art files), and a name among those
// it would write that holds a symbolic link or anything but a regular file. Stops at the first
// picture that cannot be written and at a stop request (StopRequested), checked before every
// record: the pictures before it stay, each one whole. Status texts: a progress text every 1024
// numbers, then the outcome; the summary ("Exported N pictures to DIR; M records missing, K
// unreadable.") is the status on success and ends the detail on any failure after the folder was
// made ("Stopped." as the status when stopped). Never throws.
ExportAllArtOutcome RunExportAllArt(const ExportAllArtRequest& request, const SaveArtPicture& save,
                                    const std::function<void(const std::string&)>& status,
                                    FileSystem& fs = DefaultFileSystem());

}  // namespace vorlak
