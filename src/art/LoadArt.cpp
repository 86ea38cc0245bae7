#include <exception>
#include <string>

#include "art/ArtJobs.h"
#include "mul/Numbers.h"
#include "mul/cMUL.h"

namespace vorlak {
namespace {

using Result = LoadArtOutcome::Result;

LoadArtOutcome Finish(LoadArtOutcome outcome, Result result, std::string status,
                      std::string detail = {}) {
    outcome.ok = result == Result::kDecoded;
    outcome.result = result;
    outcome.status = std::move(status);
    outcome.detail = std::move(detail);
    return outcome;
}

int32_t RecordOffset(ArtKind kind) {
    switch (kind) {
        case ArtKind::kStatic:
            return kStaticTileRecords;
        case ArtKind::kTest:
            return kTestRecords;
        case ArtKind::kLandscape:
            break;
    }
    return 0;
}

}  // namespace

ArtKind ArtKindFromOptions(bool landscapeTiles, bool staticTiles, bool charatherTests) {
    ArtKind kind = ArtKind::kLandscape;
    if (landscapeTiles) kind = ArtKind::kLandscape;
    if (staticTiles) kind = ArtKind::kStatic;
    if (charatherTests) kind = ArtKind::kTest;
    return kind;
}

LoadArtOutcome RunLoadArt(const LoadArtRequest& request, FileSystem& fs) {
    LoadArtOutcome outcome;
    for (const std::string* name : {&request.artmul, &request.artidx}) {
        if (!fs.Exists(*name)) {
            return Finish(std::move(outcome), Result::kFilesMissing,
                          "Art file " + *name + " does not exist.");
        }
    }
    std::string unsafe = CheckJobFiles({{request.artidx, true}, {request.artmul, true}});
    if (!unsafe.empty()) return Finish(std::move(outcome), Result::kNoRecord, unsafe);
    // The lower bound is checked before rounding (-0.4 is refused), the upper one on what the
    // rounding gives (16383.4 passes, 16383.5 does not); written so that a number that is no
    // number fails too.
    if (!(request.number >= 0 && request.number < kHighestArtNumber + 0.5)) {
        return Finish(std::move(outcome), Result::kOutOfRange, "Art number goes from 0 to 16383.");
    }
    outcome.record = ToInt32(request.number + RecordOffset(request.kind), "record number");
    const std::string where = " of " + request.artidx;

    ByteBuffer record;
    int32_t length = 0;
    {
        cMUL pair(fs);
        std::string failure = pair.cOpen(request.artidx, request.artmul, -1, -1);
        int16_t flagA = 0;
        int16_t flagB = 0;
        length = pair.cLoad(outcome.record, record, flagA, flagB);
        pair.cClose();
        if (!failure.empty() && length < 1) {
            return Finish(std::move(outcome), Result::kNoRecord, failure, pair.lastFailure());
        }
    }
    if (length < 1) {
        return Finish(std::move(outcome), Result::kNoRecord,
                      "There is no art record " + std::to_string(outcome.record) + where + ".",
                      length < 0 ? "The record was removed." : std::string());
    }

    cMulConvert convert;
    PixelGrid grid(0, 0);
    if (request.kind == ArtKind::kLandscape) {
        convert.ArtRun2LongArray(record, grid);
    } else if (!convert.ArtRaw2LongArray(record, grid)) {
        return Finish(std::move(outcome), Result::kRefused,
                      "Art record " + std::to_string(outcome.record) + where +
                          " is no static tile of at most 2048 x 2048 pixels.");
    }
    std::string status = "Art record " + std::to_string(outcome.record) + where + ": " +
                         std::to_string(grid.width()) + " x " + std::to_string(grid.height()) +
                         " pixels.";
    outcome.grid = std::move(grid);
    return Finish(std::move(outcome), Result::kDecoded, std::move(status));
}

void PaintArt(const PixelGrid& grid, WritablePicture& target) {
    for (int32_t y = 0; y < grid.height() && y < target.height(); ++y) {
        for (int32_t x = 0; x < grid.width() && x < target.width(); ++x) {
            target.setPixel(x, y, grid.pixel(x, y));
        }
    }
}

}  // namespace vorlak
