// Bmp->Map: laying a picture into the terrain file, one pixel per cell.
//
// The colour of each pixel picks one of 12 terrain kinds (TerrainTable), which gives the cell a
// random tile of the kind and a random height between the kind's bounds. The terrain file layout
// is described in docs/indexed-files.md.
//
// The job exists once, as RunBmp2Map; the window's "Draw map" button and `vorlak bmp2map` only
// gather its inputs and show its outcome.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "mul/File.h"
#include "mul/Job.h"
#include "mul/Picture.h"
#include "mul/Recorder.h"
#include "mul/World.h"

namespace vorlak {

inline constexpr int32_t kTerrainKinds = 12;
inline constexpr uint16_t kFallbackTile = 580;  // a colour of no kind
inline constexpr int32_t kMapBlockBytes = 4 + 64 * 3;

// One terrain kind as built for a run.
struct TerrainKind {
    int32_t Color = -1;  // 0x00BBGGRR; -1 when the palette has no pixel for the kind
    int16_t AltMin = 0;
    int16_t AltMax = 0;
    std::span<const uint16_t> Tiles;  // the built-in list; never empty
};

using TerrainTable = std::array<TerrainKind, kTerrainKinds>;

// What the program knows of a kind before a run: the label on the tab ("Grass:"), the built-in
// tiles and the default texts of its two height boxes.
struct TerrainKindInfo {
    std::string_view label;
    std::span<const uint16_t> tiles;
    std::string_view altMin;
    std::string_view altMax;
};

// Kinds 0 to 11 in order.
const std::array<TerrainKindInfo, kTerrainKinds>& TerrainKinds();

// The kind's label without its colon ("Montain"), for messages and the command line.
std::string TerrainName(int32_t kind);

using HeightTexts = std::array<std::string, kTerrainKinds>;

// The default texts of txtAltMin0..11 and txtAltMax0..11.
HeightTexts DefaultAltMin();
HeightTexts DefaultAltMax();

// Builds the table for one run: the built-in tiles, the bounds from the height texts (leading
// number, exact halves to the even neighbour), and the colour of kind k from pixel (k, 0) of
// `palette` (-1 where the palette has no such pixel, or no palette is given).
// Throws Error (kind kOutOfRange) when a bound lies outside -128..127; what() is the text for
// the user and names the kind.
TerrainTable BuildTerrainTable(const Picture* palette, const HeightTexts& altMin,
                               const HeightTexts& altMax);

// Nearest whole number, exact halves to the even neighbour, for |x| below 2^22 (float) or 2^51
// (double): adding 1.5 * 2^23 (or 2^52) leaves no bits for a fraction, so the addition itself
// rounds, to even on ties as floating point does by default; taking it away again is exact.
// The same as std::nearbyint in the default rounding mode, without the call.
inline float RoundHalfEven(float x) { return (x + 0x1.8p23f) - 0x1.8p23f; }
inline double RoundHalfEven(double x) { return (x + 0x1.8p52) - 0x1.8p52; }

// The draws take their numbers from `next`, any callable that returns the next float r of a
// uniform sequence with 0 <= r < 1. Each draw takes exactly one number.

// One tile of the kind: entry round(r * (n - 1)) of its n tiles, so the first and the last entry
// are half as likely as each one between them.
template <class Random>
uint16_t PickTile(const TerrainKind& kind, Random& next) {
    double r = next();
    auto last = static_cast<int32_t>(kind.Tiles.size()) - 1;  // lists are short
    auto i = static_cast<int32_t>(RoundHalfEven(r * last));
    return kind.Tiles[static_cast<size_t>(std::clamp(i, 0, last))];
}

// The stored height byte (two's complement) of one height between AltMin and AltMax, in either
// order; the two ends are half as likely as each height between them.
template <class Random>
uint8_t PickAlt(const TerrainKind& kind, Random& next) {
    float r = next();
    auto d = static_cast<int16_t>(kind.AltMax - kind.AltMin);
    float p = static_cast<float>(d) * r;  // single precision, as is the sum below
    float sum = static_cast<float>(kind.AltMin) + p;
    auto h = static_cast<int32_t>(RoundHalfEven(sum));
    return static_cast<uint8_t>(h < 0 ? h + 256 : h);
}

// PickTile's index and PickAlt's byte for r = k / 2^24 (TerrainRandom::Next24), in fewer steps.
// For n tiles, r * (n - 1) is exact in double precision, so rounding it half to even is rounding
// the 32-bit k * (n - 1) by its low 24 bits.
inline uint32_t TileIndex(uint32_t k, uint32_t last) {
    uint32_t q = k * last;
    return (q + 0x7FFFFF + ((q >> 24) & 1)) >> 24;
}

// `low` is AltMin and `scaledSpan` (AltMax - AltMin) * 2^-24: as it and k * 2^-24 are exact, its
// product with k is PickAlt's. Adding 1.5 * 2^23 then rounds as RoundHalfEven does and leaves
// the whole number in the low bits of the float, below zero as two's complement.
inline uint8_t HeightByte(uint32_t k, float low, float scaledSpan) {
    float sum = low + scaledSpan * static_cast<float>(k);
    return static_cast<uint8_t>(std::bit_cast<uint32_t>(sum + 0x1.8p23f));
}

struct TerrainCell {
    uint16_t tile = kFallbackTile;
    uint8_t height = 0;  // stored byte
};

// The cell for one pixel colour. Every kind whose colour equals `colour` draws its tile and then
// its height, in kind order; the highest-numbered match decides. No match: tile 580, height 0.
template <class Random>
TerrainCell LookupTerrain(const TerrainTable& table, int32_t colour, Random& next) {
    TerrainCell cell;
    for (const TerrainKind& kind : table) {
        if (kind.Color != colour) continue;
        cell.tile = PickTile(kind, next);
        cell.height = PickAlt(kind, next);
    }
    return cell;
}

// The number source of a run: the top 24 bits of xoshiro128+ as floats 0 <= r < 1, its state
// filled by splitmix64 from the seed, so a seed gives the same numbers on every machine.
class TerrainRandom {
  public:
    explicit TerrainRandom(uint32_t seed);
    // A seed from the clock, for runs that are not meant to repeat.
    static uint32_t ClockSeed();
    float operator()() { return static_cast<float>(Next24()) * 0x1p-24f; }
    // The next number as the whole number k of r = k / 2^24, 0 <= k < 2^24.
    uint32_t Next24() {
        uint32_t result = s_[0] + s_[3];
        uint32_t t = s_[1] << 9;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = (s_[3] << 11) | (s_[3] >> 21);
        return result >> 8;
    }

  private:
    uint32_t s_[4];
};

// The caption of lblDim for a picture of `width` x `height` placed at the X and Y texts:
// " -> " W + X "x" H + Y, the sums in their shortest decimal form (RefreshPlacementLabel).
std::string PlacementCaption(int32_t width, int32_t height, std::string_view xText,
                             std::string_view yText);

// "N% finished" for pixel row `row` of `rows`: row / rows * 100, exact halves to even.
std::string ProgressText(int32_t row, int32_t rows);

inline constexpr std::string_view kBmp2MapTitle = "BMP2Map";
inline constexpr std::string_view kBmp2MapDone = "Map imported succesfully!";

// The inputs of one run, as the Bmp->Map tab holds them.
struct Bmp2MapRequest {
    std::string map = "map0.mul";        // txtB2MMap: the terrain file, created when missing
    std::string bitmap;                  // txtBitmap: the picture's path
    std::string palette = "colors.gif";  // the palette picture's path
    std::string x = "0";                 // txtBMPX, read by the leading-number rule
    std::string y = "0";                 // txtBMPY
    HeightTexts altMin = DefaultAltMin();
    HeightTexts altMax = DefaultAltMax();
    std::optional<uint32_t> seed;  // none: seeded from the clock
    // Why the caller's picture reader gave no palette or picture (the system's reason, or what
    // is wrong with the file): shown as the refusal's detail.
    std::string paletteProblem;
    std::string bitmapProblem;
    // The world of the terrain file; none takes it from the file's length (an empty or short
    // file: the default world).
    std::optional<world::Size> world = std::nullopt;
    JobRecorder* history = nullptr;  // none: the job records no step
};

using Bmp2MapMessage = std::function<void(const std::string& text, const std::string& title)>;

// How the job talks to its caller. Every member may be empty.
struct Bmp2MapHooks {
    // Progress once per pixel row before the row is made ("N% finished"), then
    // "Map imported succesfully!". It may let window events run.
    StatusSink status;
    // A message box for the user (title "BMP2Map"); the job has stopped when it is called.
    Bmp2MapMessage message;
    // Called once the palette and the picture passed their checks, before anything else is
    // checked: the window refreshes lblDim here.
    std::function<void()> picturesChecked;
    // Asked after each progress text; true stops the job before the next row, so the file holds
    // whole finished rows only. Nothing is reported after a stop.
    std::function<bool()> stopRequested;
};

// ok is true for kDone only; status is also the message box text of kRefused and kFailed.
struct Bmp2MapOutcome : JobOutcome {
    enum class Result {
        kDone,     // every row written; status is "Map imported succesfully!"
        kRefused,  // stopped before any cell was written; status is the message box text
        kFailed,   // a write failed part-way; status is the message box text, and the first
                   // rowsWritten rows are whole in the file
        kStopped,  // stopRequested said so; rowsWritten rows are in the file
    };
    Result result = Result::kRefused;
    int32_t rowsWritten = 0;

    Bmp2MapOutcome() = default;
    Bmp2MapOutcome(Result r, std::string text, int32_t rows, std::string why = {})
        : JobOutcome{r == Result::kDone, std::move(text), std::move(why)},
          result(r),
          rowsWritten(rows) {}
};

// Runs the job. `palette` and `picture` are the decoded palette picture and picture, or null when
// the caller found no file at request.palette / request.bitmap or could not decode it (the job
// tells the two apart with fs.Exists). Both must stay alive during the call.
//
// Checks, in this order, each ending the job with a message box before the terrain file is
// opened: palette missing ("Colors.gif is missing! BMP to Map aborted") or not a picture; picture
// missing ("Missing picture! BMP to Map aborted") or not a picture; a height bound outside
// -128..127; X or Y not a whole number of 0 or more; a terrain file longer than its world or of
// a length that fits no world; the picture not ending inside the map.
// A terrain file that cannot be opened ends it with cOpen's message. Then the pixel rows are
// written in place, in order: one by one, or, where the space of their blocks could be set aside
// first, gathered in bands of block rows, each band written whole before the next is made. The
// 4 header bytes of each block and every cell outside the picture keep their values.
//
// Never throws for bad input or file errors; those come back in the outcome.
Bmp2MapOutcome RunBmp2Map(const Bmp2MapRequest& request, const Picture* palette,
                          const Picture* picture, const Bmp2MapHooks& hooks,
                          FileSystem& fs = DefaultFileSystem());

// The world of a terrain file `length` bytes long: the size given, or the one its length
// describes. A file shorter than its world is one that earlier runs grew only as far as their
// rows needed (and reads as zero cells past its end). None for a file longer than the world or of
// a length that fits no world.
std::optional<world::Size> TerrainWorld(uint64_t length, const std::optional<world::Size>& given);
// The length of the file at `path`; 0 when it is missing or cannot be opened (the job's own open
// says why).
uint64_t LengthOf(const std::string& path, FileSystem& fs);

// Names to `history` the blocks of the terrain file `map` under the cells x..x+w-1, y..y+h-1:
// one run of whole blocks per column of blocks. `created`: the job made the file.
void KeepTerrainBlocks(JobRecorder* history, const std::string& map, const world::Size& size,
                       int32_t x, int32_t y, int32_t w, int32_t h, bool created = false);

}  // namespace vorlak
