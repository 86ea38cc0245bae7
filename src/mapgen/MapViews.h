// Map->Bmp: the world as pictures, and heights back from a picture.
//
// Three views of a rectangle of the world, one pixel per cell (or per N x N cells):
//  - the overview: the radar colour of the highest static on each cell, else of its terrain tile;
//  - the kinds: the palette colour of the terrain kind that holds each cell's tile, the picture
//    Bmp->Map takes back;
//  - the heights: 8-bit grey, height + 128.
// And the way back for the heights: SetHeights lays a grey picture into the height bytes of the
// terrain file, tiles untouched.
//
// The jobs are runners like the others: a plain request, status texts through a callback, the
// outcome returned. The job writes the picture itself, BMP or PNG, band by band as it is drawn, so
// that the view of a whole world never sits in memory; the file is written through a temporary
// file and a rename, so a failed or stopped job leaves no picture behind. Terrain file:
// docs/indexed-files.md; statics files: docs/statics-files.md; radar colours:
// docs/radar-colours.md; PNG: docs/png-files.md.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mapgen/MapGen.h"
#include "mul/File.h"
#include "mul/Picture.h"
#include "mul/World.h"

namespace vorlak {

// The radar colour file: little-endian 16-bit art colours. Entry n is the colour of terrain tile
// n for n below 0x4000, entry 0x4000 + ID that of static item ID. An entry past the end of the
// file (and a terrain tile of 0x4000 or more, which has no entry) draws black.
class RadarColours {
  public:
    static constexpr int32_t kStaticBase = 0x4000;

    // From the bytes of the file; an odd last byte belongs to no entry.
    explicit RadarColours(std::span<const uint8_t> bytes);
    // Reads the whole file; throws Error (kNotFound, kIo) naming it.
    static RadarColours Load(const std::string& path, FileSystem& fs = DefaultFileSystem());

    int32_t Terrain(uint16_t tile) const { return terrain_[tile]; }
    int32_t Static(uint16_t id) const { return statics_[id]; }

  private:
    std::vector<int32_t> terrain_;  // 65536 entries, black from 0x4000 on
    std::vector<int32_t> statics_;  // 65536 entries
};

// The colour of a tile of no kind in the kinds picture: black. Bmp->Map draws it back as the
// fallback tile, so the palette must not use it for a kind.
inline constexpr int32_t kNoKindColour = 0x000000;

inline constexpr std::string_view kMap2BmpTitle = "Map2Bmp";
inline constexpr std::string_view kIllegalCordinates = "Illegal cordinates.";

enum class MapView { kOverview, kKinds, kHeights };

// The most cells a side of one pixel of a view stands for; the scales are the powers of two up to
// it.
inline constexpr int32_t kCoarsestScale = 64;

struct MapViewRequest {
    MapView view = MapView::kOverview;
    std::string out;  // .png or .bmp
    std::string map = "map0.mul";
    std::string staidx = "staidx0.mul";
    std::string statics = "statics0.mul";
    std::string radarcol = "radarcol.mul";
    std::string palette = "colors.gif";  // the kinds view: decoded by the caller, see below
    std::string paletteProblem;          // why the caller has no palette picture, when it has none
    // The world of the files; none: the one the terrain file's length describes.
    std::optional<world::Size> world;
    // Both corners included; x2 and y2 default to the world's last column and row.
    int32_t x1 = 0, y1 = 0;
    std::optional<int32_t> x2, y2;
    int32_t scale = 1;        // 1, 2, 4 ... kCoarsestScale; each N x N cells their mean colour
    bool withStatics = true;  // the overview: draw the highest static of each cell
};

struct MapViewOutcome {
    bool ok = false;
    std::string status;  // the saved text, or the message for the user
    std::string detail;  // the cause behind a failure (the system's reason); may be empty
    int32_t width = 0, height = 0;
};

// Draws the view and saves it at request.out. `palette` is the decoded palette picture for the
// kinds view (null when missing or not a picture; request.paletteProblem then tells why). Refuses,
// before it reads any file, a picture name that does not end in .png or .bmp, that names one of
// the files of the request (also one the view does not read) or a special file, or that is a
// link to a file that is no picture (CheckPictureOutput); an input that is not a regular file; a
// scale that is not a power of two up to kCoarsestScale, a terrain file or statics index whose
// length is not that of the world, and a rectangle not inside the world ("Illegal cordinates.");
// then missing input files, and a palette that gives a kind the colour of no kind; and files
// another job holds locked. Status texts: a wait text, "N% finished" as it draws, then the
// outcome. A stop request (StopRequested) ends the job between block columns with "Stopped.".
// Never throws for bad input or file errors.
MapViewOutcome RunMapView(const MapViewRequest& request, const Picture* palette,
                          const std::function<void(const std::string&)>& status,
                          FileSystem& fs = DefaultFileSystem());

// The files of the map window. An empty name means the page has no such file.
struct WorldMapFiles {
    std::string map, staidx, statics, radarcol;
};

// One cell as the map shows it under the pointer.
struct MapCell {
    bool terrain = false;  // the terrain file was read; tile and height are its
    uint16_t tile = 0;
    int32_t height = 0;
    int32_t statics = 0;  // how many statics lie on the cell
    uint16_t topId = 0;   // the highest of them (on equal Z the later record), when there is one
    int32_t topZ = 0;
};

// The overview of a world drawn piece by piece, again and again, for the map window: the files
// are opened once, under the shared locks the views take, and held until the object is dropped,
// so no job changes them meanwhile. The drawing is the overview's: the same colours as RunMapView.
//
// Opening never fails: a file that is missing, of a length no world has, of another world, or
// locked by another job is left out and a note says why; the map then draws the terrain kinds in
// the palette's colours without radar colours, the statics alone on black without terrain.
// Nothing is ever written. Draw, Cell and StaticsInside may be called from several threads.
class WorldMap {
  public:
    WorldMap(const WorldMapFiles& files, const Picture* palette,
             FileSystem& fs = DefaultFileSystem());
    ~WorldMap();
    WorldMap(const WorldMap&) = delete;
    WorldMap& operator=(const WorldMap&) = delete;

    // The terrain file's world; without one, the statics index's, else the default world.
    const world::Size& size() const;
    // What was left out and why, one text each; empty when every file was read.
    const std::vector<std::string>& notes() const;

    // Draws cells x1..x2, y1..y2 (inside the world, x1 <= x2, y1 <= y2) at `scale` (a power of
    // two up to kCoarsestScale) into `out`, row by row, (x2 - x1 + scale) / scale colours a row.
    // A block whose statics lie past the end of the data file draws without them; the first
    // such block is named in the returned text, which is empty when all was read. Throws Error
    // when a file cannot be read.
    std::string Draw(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t scale,
                     std::vector<int32_t>& out) const;
    // The cell at x, y, inside the world.
    MapCell Cell(int32_t x, int32_t y) const;
    // How many statics Clear removes from the rectangle x1..x2, y1..y2 (inside the world): the
    // records of the blocks it touches whose cell lies inside; a damaged block counts none.
    int64_t StaticsInside(int32_t x1, int32_t y1, int32_t x2, int32_t y2) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The colour of each tile in the kinds picture: the palette colour of the kind that holds it,
// kNoKindColour for the rest (and for kinds the palette has no colour for).
std::vector<int32_t> KindColours(const TerrainTable& table);

inline constexpr std::string_view kHeightsTitle = "Heights";
inline constexpr std::string_view kHeightsDone = "Heights set successfully!";

struct SetHeightsRequest {
    std::string map = "map0.mul";  // must exist
    std::string bitmap;            // 8-bit grey; decoded by the caller
    std::string bitmapProblem;     // why the caller has no picture, when it has none
    std::string x = "0";           // read by the leading-number rule
    std::string y = "0";
    std::optional<world::Size> world;  // none: the one the terrain file's length describes
    JobRecorder* history = nullptr;    // none: the job records no step
};

// Lays the grey picture placed at X, Y into the terrain file: each cell under it gets height
// grey - 128; tile bytes, block headers and every cell outside the picture stay as they were.
// Refuses before writing anything: a missing picture or one that is not a picture, a pixel that
// is not grey, X or Y not a whole number of 0 or more, a picture not ending inside the world, a
// terrain file that is missing or too short to hold the cells under the picture. Writes whole
// pixel rows in order, with "N% finished" before each; stopRequested stops before the next row.
// Uses the Bmp->Map outcome and hooks (title "Heights").
Bmp2MapOutcome RunSetHeights(const SetHeightsRequest& request, const Picture* picture,
                             const Bmp2MapHooks& hooks, FileSystem& fs = DefaultFileSystem());

}  // namespace vorlak
