// The Art page's jobs as runners shared by the window and the command line: Load art, which
// decodes one art record into a grid of colour values, and Freeze picture, which packs the diamond
// at the top-left corner of a picture into a landscape tile and saves it into the art files.
//
// The runners read the files afresh on every call and open and close the art files themselves.
// Neither reports progress: both are short. Saving and loading picture files is the caller's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "art/cMulConvert.h"
#include "mul/File.h"
#include "mul/Job.h"
#include "mul/Picture.h"
#include "mul/Recorder.h"

namespace vorlak {

enum class ArtKind {
    kLandscape,  // "Landscape tiles": record = art number, diamond layout
    kStatic,     // "Static tiles": record = art number + 16384, run-length layout
    kTest,       // "Charater tests": record = art number + 32768, run-length layout
};

// The kind chosen by the Art page's three option buttons, looked at in this order: the last one
// that is selected decides; none selected gives landscape tiles.
ArtKind ArtKindFromOptions(bool landscapeTiles, bool staticTiles, bool charatherTests);

inline constexpr int32_t kHighestArtNumber = 16383;
inline constexpr int32_t kStaticTileRecords = 16384;
inline constexpr int32_t kTestRecords = 32768;

struct LoadArtRequest {
    std::string artidx = "artidx.mul";
    std::string artmul = "art.mul";
    ArtKind kind = ArtKind::kLandscape;
    // The art number as read from its text by the leading-number rule (NumericValue). Below 0 is
    // refused as it is (-0.4 too), above 16383 after rounding (16383.4 passes, 16383.5 not).
    double number = 0;
};

struct LoadArtOutcome : JobOutcome {
    enum class Result {
        kFilesMissing,  // the index or data file does not exist: the picture stays as it was
        kOutOfRange,    // "Art number goes from 0 to 16383.": the window shows it in a message box
        kNoRecord,      // no record (length 0 or less, or the read failed)
        kRefused,       // a static tile too short for its header or larger than 2048 x 2048
        kDecoded,       // `grid` holds the decoded record
    };
    Result result = Result::kFilesMissing;
    int32_t record = -1;            // the record number looked up, -1 before that step
    std::optional<PixelGrid> grid;  // set for kDecoded only: 44 x 44, or (w + 1) x (h + 1)

    // The Art page clears its picture for every result but kFilesMissing, shows a message box for
    // kOutOfRange only, and paints `grid` (PaintArt) for kDecoded.
    bool clearsPicture() const { return result != Result::kFilesMissing; }
    bool showsMessage() const { return result == Result::kOutOfRange; }
};

// Load art. ok is true for kDecoded only. Never throws for bad files or records.
LoadArtOutcome RunLoadArt(const LoadArtRequest& request, FileSystem& fs = DefaultFileSystem());

// Paints every cell of `grid` onto `target` at the same (x, y), background cells too; cells that
// fall outside `target` are skipped.
void PaintArt(const PixelGrid& grid, WritablePicture& target);

struct FreezePictureRequest {
    // The art number as read from its text by the leading-number rule; rounded half to even and
    // used directly as the record number (no offset, no upper limit of 16383).
    double number = 0;
    std::string artidx = "artidx.mul";
    std::string artmul = "art.mul";
    JobRecorder* history = nullptr;  // none: the job records no step
};

// Freeze picture: packs the 1012 diamond pixels at the top-left corner of `picture` into a
// 2048-byte landscape tile record (the last 24 bytes zero) and saves it with both flags 0: in
// place when the record's current length is 2048 or more, otherwise appended to the data file;
// the data is written before the index entry. Writes nothing, and refuses with
// "Art number goes from 0 to 178956970.", when the rounded number is below 0 or so large that
// its index entry would lie past a 32-bit position (which covers numbers beyond 32 bits); writes
// nothing either when the picture is smaller than 44 x 44. Missing art files are created empty
// by the open. ok is true on success; the window shows nothing either way. Never throws.
JobOutcome RunFreezePicture(const FreezePictureRequest& request, const Picture& picture,
                            FileSystem& fs = DefaultFileSystem());

// A colour component 0..255 reduced to 5 bits: component / 8 to the nearest whole number, an
// exact half to the even neighbour, 32 taken as 31.
int32_t ReduceComponent(int32_t component);
// A colour value (0x00BBGGRR) as an art colour: red in bits 10-14, green 5-9, blue 0-4, bit 15
// zero.
int32_t Color32ToColor16(int32_t colour);
// The 2048-byte landscape tile record of the diamond at the top-left corner of `picture`.
// Throws Error::InvalidArgument when the picture is smaller than 44 x 44.
ByteBuffer PackLandscapeTile(const Picture& picture);

}  // namespace vorlak
