#include "art/ArtExport.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <vector>

#include "mul/Stop.h"
#include "mul/cMUL.h"

namespace vorlak {

JobOutcome RunExportArt(const LoadArtRequest& request, const std::string& out,
                        const SaveArtPicture& save, FileSystem& fs) {
    std::string unsafe = CheckPictureOutput(out);
    if (unsafe.empty()) {
        unsafe = CheckJobFiles({{request.artidx, false}, {request.artmul, false}, {out, true}});
    }
    if (!unsafe.empty()) return {false, unsafe + " Nothing was written.", {}};
    LoadArtOutcome loaded = RunLoadArt(request, fs);
    if (!loaded.ok) return loaded;
    std::string failure = save(*loaded.grid, out, fs, AtomicFile::Links::kFollow);
    if (!failure.empty()) return {false, "Unable to write the picture " + out + ".", failure};
    return {true, loaded.status + " Saved to " + out + ".", {}};
}

namespace {

// The picture of art number `number` in the folder.
std::string PictureName(const ExportAllArtRequest& request, int32_t number) {
    char name[16];
    std::snprintf(name, sizeof name, "%05d.", static_cast<int>(number));
    return (std::filesystem::path(request.dir) / (name + request.format)).string();
}

// The file system of a folder export: each picture is synced before its rename, as always, but
// the folder's names are synced once for all of them (Finish), not once per picture, which would
// cost a disk flush for each of 16384 pictures. A power cut before Finish may lose some new
// names, never leave a picture half written.
class OneFolderSync final : public FileSystem {
  public:
    explicit OneFolderSync(FileSystem& fs) : fs_(fs) {}
    bool Exists(const std::string& path) override { return fs_.Exists(path); }
    std::unique_ptr<RandomAccessFile> Open(const std::string& path, OpenMode mode) override {
        return fs_.Open(path, mode);
    }
    void Rename(const std::string& from, const std::string& to) override {
        fs_.Rename(from, to);
        renamed_ = to;
    }
    void Remove(const std::string& path) override { fs_.Remove(path); }
    void SyncFolderOf(const std::string&) override {}
    // Done once for the whole folder before the first picture (a scan of the folder per picture
    // would cost 16384 scans).
    void RemoveStaleTempsOf(const std::string&) override {}
    // Syncs the folder once when anything was renamed into it; throws Error when that fails.
    void Finish() {
        if (!renamed_.empty()) fs_.SyncFolderOf(renamed_);
    }

  private:
    FileSystem& fs_;
    std::string renamed_;
};

}  // namespace

ExportAllArtOutcome RunExportAllArt(const ExportAllArtRequest& request, const SaveArtPicture& save,
                                    const std::function<void(const std::string&)>& status,
                                    FileSystem& fs) {
    ExportAllArtOutcome outcome;
    auto finish = [&](bool ok, std::string text, std::string detail = {}) {
        outcome.ok = ok;
        outcome.status = std::move(text);
        outcome.detail = std::move(detail);
        if (status) status(outcome.status);
        return outcome;
    };
    auto summary = [&] {
        return "Exported " + std::to_string(outcome.written) + " pictures to " + request.dir +
               "; " + std::to_string(outcome.missing) + " records missing, " +
               std::to_string(outcome.unreadable) + " unreadable.";
    };
    if (request.format != "png" && request.format != "bmp") {
        return finish(false, "The picture format must be png or bmp.");
    }
    std::string unsafe = CheckJobFiles({{request.artidx}, {request.artmul}});
    if (!unsafe.empty()) return finish(false, unsafe + " Nothing was written.");
    for (const std::string* name : {&request.artmul, &request.artidx}) {
        if (!fs.Exists(*name)) return finish(false, "Art file " + *name + " does not exist.");
    }
    const int32_t base = request.kind == ArtKind::kStatic ? kStaticTileRecords : 0;
    cMUL pair(fs);
    std::string failure = pair.cOpen(request.artidx, request.artmul, -1, -1);
    if (!failure.empty()) return finish(false, failure, pair.lastFailure());
    // Made only once the art files are known to open, so that a refusal leaves no empty folder.
    std::error_code ec;
    std::filesystem::create_directories(request.dir, ec);
    if (!std::filesystem::is_directory(request.dir)) {
        return finish(false, "Unable to make the folder " + request.dir + ".",
                      ec ? ec.message() : request.dir + " is not a folder");
    }
    // Every name it may write is looked at before the first picture: a link is never written
    // through and a folder, FIFO or device never replaced, and a refusal leaves every picture
    // as it was.
    for (int32_t number = 0; number <= kHighestArtNumber; ++number) {
        unsafe = CheckReplaceable(PictureName(request, number));
        if (!unsafe.empty()) return finish(false, unsafe + " Nothing was written.");
    }
    RemoveStaleTemps(fs, request.dir, [&](const std::string& name) {
        return name.size() == 6 + request.format.size() && name[5] == '.' &&
               name.substr(6) == request.format &&
               std::all_of(name.begin(), name.begin() + 5,
                           [](char c) { return c >= '0' && c <= '9'; });
    });
    OneFolderSync folder(fs);
    auto finishFolder = [&]() -> std::string {
        try {
            folder.Finish();
        } catch (const std::exception& e) {
            return e.what();
        }
        return {};
    };
    try {
        cMulConvert convert;
        ByteBuffer record;
        for (int32_t number = 0; number <= kHighestArtNumber; ++number) {
            if (StopRequested()) {
                std::string unsynced = finishFolder();
                return finish(false, "Stopped.",
                              unsynced.empty() ? summary() : unsynced + "\n" + summary());
            }
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
            const std::string path = PictureName(request, number);
            // A link or special file that appeared since the check is replaced, never written
            // through.
            failure = save(grid, path, folder, AtomicFile::Links::kReplace);
            if (!failure.empty()) {
                finishFolder();  // the cause told is that of the picture
                return finish(false, "Unable to write the picture " + path + ".",
                              failure + "\n" + summary());
            }
            ++outcome.written;
        }
    } catch (const std::exception& e) {
        finishFolder();
        return finish(false, e.what(), summary());
    }
    failure = finishFolder();
    if (!failure.empty()) return finish(false, failure, summary());
    return finish(true, summary());
}

}  // namespace vorlak
