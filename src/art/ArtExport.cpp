#include "art/ArtExport.h"

#include <cstdio>
#include <exception>
#include <filesystem>

#include "mul/cMUL.h"

namespace vorlak {

ExportAllArtOutcome RunExportAllArt(const ExportAllArtRequest& request, const SaveArtPicture& save,
                                    const std::function<void(const std::string&)>& status,
                                    FileSystem& fs) {
    ExportAllArtOutcome outcome;
    auto finish = [&](bool ok, std::string text) {
        outcome.ok = ok;
        outcome.status = std::move(text);
        if (status) status(outcome.status);
        return outcome;
    };
    for (const std::string* name : {&request.artmul, &request.artidx}) {
        if (!fs.Exists(*name)) return finish(false, "Art file " + *name + " does not exist.");
    }
    if (request.format != "png" && request.format != "bmp") {
        return finish(false, "The picture format must be png or bmp.");
    }
    std::error_code ec;
    std::filesystem::create_directories(request.dir, ec);
    if (request.dir.empty() || !std::filesystem::is_directory(request.dir)) {
        return finish(false, "Unable to make the folder " + request.dir + ".");
    }
    const int32_t base = request.kind == ArtKind::kStatic ? kStaticTileRecords : 0;
    cMUL pair(fs);
    try {
        std::string failure = pair.cOpen(request.artidx, request.artmul, -1, -1);
        if (!failure.empty()) return finish(false, failure);
        cMulConvert convert;
        ByteBuffer record;
        for (int32_t number = 0; number <= kHighestArtNumber; ++number) {
            if (status && number % 1024 == 0) {
                status("Exporting art " + std::to_string(number) + " of " +
                       std::to_string(kHighestArtNumber + 1) + ".");
            }
            int16_t flagA = 0, flagB = 0;
            if (base + number >= pair.cCount() ||
                pair.cLoad(base + number, record, flagA, flagB) < 1) {
                ++outcome.missing;
                continue;
            }
            PixelGrid grid(0, 0);
            if (request.kind == ArtKind::kLandscape) {
                convert.ArtRun2LongArray(record, grid);
            } else if (!convert.ArtRaw2LongArray(record, grid)) {
                ++outcome.unreadable;
                continue;
            }
            char name[16];
            std::snprintf(name, sizeof name, "%05d.", static_cast<int>(number));
            std::string path =
                (std::filesystem::path(request.dir) / (name + request.format)).string();
            failure = save(grid, path);
            if (!failure.empty()) {
                pair.cClose();
                return finish(false, failure);
            }
            ++outcome.written;
        }
    } catch (const std::exception& e) {
        pair.cClose();
        return finish(false, e.what());
    }
    pair.cClose();
    return finish(true, "Exported " + std::to_string(outcome.written) + " pictures to " +
                            request.dir + "; " + std::to_string(outcome.missing) +
                            " records missing, " + std::to_string(outcome.unreadable) +
                            " unreadable.");
}

}  // namespace vorlak
