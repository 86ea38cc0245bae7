#include <algorithm>
#include <exception>
#include <limits>
#include <string>

#include "art/ArtJobs.h"
#include "mul/Error.h"
#include "mul/Numbers.h"
#include "mul/cMUL.h"
#include "mul/mZedraConvert.h"

namespace vorlak {
namespace {

// A landscape tile as this job writes it: the pixels, then zeros up to a round 2048 bytes.
constexpr int32_t kFrozenRecordBytes = 2048;
static_assert(art::kTilePixelBytes <= kFrozenRecordBytes);
// The index entry of a record lies at record * 12, a position that must fit 32 bits.
constexpr int32_t kHighestFrozenNumber = std::numeric_limits<int32_t>::max() / cMUL::kEntryBytes;

JobOutcome Refuse(std::string status, std::string detail = {}) {
    return {false, std::move(status), std::move(detail)};
}

}  // namespace

int32_t ReduceComponent(int32_t component) {
    int32_t whole = component / 8;
    int32_t rest = component % 8;
    if (rest > 4 || (rest == 4 && whole % 2 == 1)) ++whole;
    return std::min(whole, 31);
}

int32_t Color32ToColor16(int32_t colour) {
    int32_t red = ReduceComponent(colour & 0xFF);
    int32_t green = ReduceComponent((colour >> 8) & 0xFF);
    int32_t blue = ReduceComponent((colour >> 16) & 0xFF);
    return 1024 * red + 32 * green + blue;
}

ByteBuffer PackLandscapeTile(const Picture& picture) {
    if (picture.width() < art::kTileSize || picture.height() < art::kTileSize) {
        throw Error::InvalidArgument("The picture is smaller than 44 x 44 pixels.");
    }
    ByteBuffer record(kFrozenRecordBytes, 0);
    int32_t p = 0;
    for (int32_t y = 0; y < art::kTileSize; ++y) {
        int32_t first = art::DiamondRowStart(y);
        for (int32_t x = first; x < first + art::DiamondRowWidth(y); ++x) {
            mZedraConvert::Long2Bytes(Color32ToColor16(picture.pixel(x, y)), record, p,
                                      art::kColourBytes);
            p += art::kColourBytes;
        }
    }
    return record;
}

JobOutcome RunFreezePicture(const FreezePictureRequest& request, const Picture& picture,
                            FileSystem& fs) {
    static const std::string kRange =
        "Art number goes from 0 to " + std::to_string(kHighestFrozenNumber) + ".";
    int32_t number = 0;
    try {
        number = ToInt32(request.number, "art number");
    } catch (const Error&) {
        return Refuse(kRange);  // beyond 32 bits
    }
    if (number < 0 || number > kHighestFrozenNumber) return Refuse(kRange);
    if (picture.width() < art::kTileSize || picture.height() < art::kTileSize) {
        return Refuse("The picture is smaller than 44 x 44 pixels.");
    }
    ByteBuffer record = PackLandscapeTile(picture);
    std::string unsafe = CheckJobFiles({{request.artidx, true}, {request.artmul, true}});
    if (!unsafe.empty()) return Refuse(unsafe + " Nothing was saved.");

    cMUL pair(fs);
    std::string failure = pair.cOpen(request.artidx, request.artmul, -1, -1);
    if (!failure.empty()) return Refuse(failure, pair.lastFailure());
    std::string counts;
    try {
        // Held while the record is saved, so that two jobs never write the art pair at once.
        std::unique_ptr<FileLock> lock = FileLock::Try(request.artidx, FileLock::Mode::kExclusive);
        if (!lock) {
            pair.cClose();
            return Refuse("The art files are in use by another job.");
        }
        if (request.history) {
            // The entry, and the record it points at, which a record of the same size or larger
            // is written over.
            request.history->KeepBytes(request.artidx,
                                       static_cast<uint64_t>(number) * cMUL::kEntryBytes,
                                       cMUL::kEntryBytes);
            IndexEntry old = pair.Entry(number);
            request.history->KeepBytes(
                request.artmul,
                old.offset >= 0 && old.length > 0 ? static_cast<uint64_t>(old.offset) : 0,
                old.offset >= 0 && old.length > 0 ? static_cast<uint64_t>(old.length) : 0);
        }
        RecordedScope recorded(request.history);
        const uint64_t dataBytes = pair.dataFile()->Size();
        pair.cSave(number, record, 0, 0, false);
        const auto at = static_cast<uint64_t>(pair.Entry(number).offset);
        counts = (at < dataBytes ? "Written in place, at byte " + std::to_string(at) + " of "
                                 : "Appended at byte " + std::to_string(at) + " of ") +
                 request.artmul + ".";
    } catch (const std::exception& e) {
        pair.cClose();
        return Refuse("Unable to save the picture as art number " + std::to_string(number) + ".",
                      e.what());
    }
    pair.cClose();
    return {true,
            "The picture was saved as art number " + std::to_string(number) + " in " +
                request.artidx + " and " + request.artmul + ".",
            {},
            counts};
}

}  // namespace vorlak
