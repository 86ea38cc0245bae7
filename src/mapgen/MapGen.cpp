// The Bmp->Map job: pixel rows into the cells of the terrain file.
#include "mapgen/MapGen.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <vector>

#include "mul/Error.h"
#include "mul/Numbers.h"
#include "mul/Stop.h"
#include "mul/World.h"
#include "mul/cMUL.h"

namespace vorlak {
namespace {

constexpr char kTerrainInUse[] = "The terrain files are in use by another job.";

constexpr int32_t kCellBytes = 2 + 1;  // tile id, height
constexpr int32_t kBlockHeaderBytes = 4;
static_assert(kMapBlockBytes == kBlockHeaderBytes + 64 * kCellBytes);

// A mapped file keeps the pages it touched resident. Handing them back now and then keeps a
// full-map run well below the size of the file; each time costs a new fault per page, hence
// not more often.
constexpr int32_t kRowsPerRelease = 512;

// Writes finished pixel rows into the cells they cover. A pixel row lies in one block row and
// crosses every block column of the picture, taking one run of up to 8 cells in each block; only
// those cell bytes are written, so headers and the other cells are never read or written back.
class RowWriter {
  public:
    RowWriter(RandomAccessFile& file, const world::Size& world, int32_t x, int32_t y, int32_t width,
              int32_t height)
        : file_(file),
          blockRows_(world.blockRows()),
          x_(x),
          y_(y),
          width_(width),
          firstColumn_(x / world::kBlockCells),
          lastColumn_((x + width - 1) / world::kBlockCells) {
        const int32_t firstRow = y / world::kBlockCells;
        const int32_t lastRow = (y + height - 1) / world::kBlockCells;
        uint64_t first = BlockOffset(firstColumn_, firstRow);
        uint64_t end = BlockOffset(lastColumn_, lastRow) + kMapBlockBytes;
        // Stores into a mapping cannot report a full disk: a page that cannot be allocated ends
        // the process with a signal. So the blocks are given their space first, column by
        // column; where that cannot be promised the rows go through plain writes instead.
        bool reserved = true;
        for (int32_t column = firstColumn_; reserved && column <= lastColumn_; ++column) {
            uint64_t from = BlockOffset(column, firstRow);
            reserved = file_.Reserve(from, BlockOffset(column, lastRow) + kMapBlockBytes - from);
        }
        if (reserved) mapping_ = file_.Map(first, static_cast<size_t>(end - first));
        mapStart_ = first;
    }

    // `cells` holds kCellBytes per pixel of pixel row `row`.
    void Write(int32_t row, std::span<const uint8_t> cells) {
        int32_t y = y_ + row;
        int32_t blockRow = y / world::kBlockCells;
        int32_t cellRow = y % world::kBlockCells;
        // A block that did not exist yet gets a zero header and zero cells, as if read past
        // the end of the file and written back whole.
        Grow(BlockOffset(lastColumn_, blockRow) + kMapBlockBytes);
        for (int32_t column = firstColumn_; column <= lastColumn_; ++column) {
            int32_t from = std::max(x_, column * world::kBlockCells);
            int32_t to = std::min(x_ + width_, (column + 1) * world::kBlockCells);
            uint64_t offset = BlockOffset(column, blockRow) + kBlockHeaderBytes +
                              static_cast<uint64_t>(kCellBytes) *
                                  (cellRow * world::kBlockCells + from % world::kBlockCells);
            auto run = cells.subspan(static_cast<size_t>(kCellBytes) * (from - x_),
                                     static_cast<size_t>(kCellBytes) * (to - from));
            if (mapping_) {
                std::memcpy(mapping_->bytes().data() + (offset - mapStart_), run.data(),
                            run.size());
            } else {
                file_.WriteAt(offset, run);
            }
        }
        if (mapping_ && ++rowsSinceRelease_ == kRowsPerRelease) {
            mapping_->Release();
            rowsSinceRelease_ = 0;
        }
    }

  private:
    uint64_t BlockOffset(int32_t column, int32_t row) const {
        return static_cast<uint64_t>(column * blockRows_ + row) * kMapBlockBytes;
    }

    void Grow(uint64_t end) {
        uint64_t size = file_.Size();
        if (size >= end) return;
        std::vector<uint8_t> zeros(static_cast<size_t>(std::min<uint64_t>(end - size, 1 << 20)));
        while (size < end) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(end - size, zeros.size()));
            file_.WriteAt(size, std::span<const uint8_t>(zeros).first(n));
            size += n;
        }
    }

    RandomAccessFile& file_;
    int32_t blockRows_;
    int32_t x_, y_, width_;
    int32_t firstColumn_, lastColumn_;
    std::unique_ptr<FileMapping> mapping_;
    uint64_t mapStart_ = 0;
    int32_t rowsSinceRelease_ = 0;
};

// LookupTerrain over a whole picture: the same draws in the same order, but the kinds that a
// colour selects are found once per run of equal pixels rather than once per pixel.
class Lookup {
  public:
    explicit Lookup(const TerrainTable& table) : table_(table) { Select(0); }

    TerrainCell operator()(int32_t colour, TerrainRandom& next) {
        if (colour != colour_) Select(colour);
        TerrainCell cell;
        for (int32_t i = 0; i < count_; ++i) {
            const TerrainKind& kind = table_[kinds_[i]];
            cell.tile = PickTile(kind, next);
            cell.height = PickAlt(kind, next);
        }
        return cell;
    }

  private:
    void Select(int32_t colour) {
        colour_ = colour;
        count_ = 0;
        for (int32_t k = 0; k < kTerrainKinds; ++k) {
            if (table_[k].Color == colour) kinds_[count_++] = k;
        }
    }

    const TerrainTable& table_;
    int32_t colour_ = 0;
    std::array<int32_t, kTerrainKinds> kinds_{};
    int32_t count_ = 0;
};

// A whole number of 0 or more read from a box, or nothing.
std::optional<int32_t> Placement(const std::string& text) {
    double value = NumericValue(text);
    if (!(value >= 0 && value <= world::kLongestSide) || value != std::floor(value)) return {};
    return static_cast<int32_t>(value);
}

struct Refusal {
    std::string text;
    std::string why = {};
};

// The checks of the job that end it before the terrain file is opened.
struct Inputs {
    TerrainTable table;
    world::Size world;
    int32_t x = 0, y = 0;
};

Inputs Check(const Bmp2MapRequest& request, const Picture* palette, const Picture* picture,
             const Bmp2MapHooks& hooks, FileSystem& fs) {
    if (!palette) {
        if (!fs.Exists(request.palette)) {
            throw Refusal{"Colors.gif is missing! BMP to Map aborted", request.paletteProblem};
        }
        throw Refusal{"Colors.gif cannot be read as a picture! BMP to Map aborted",
                      request.paletteProblem};
    }
    const std::string unreadable =
        "The picture " + request.bitmap + " cannot be read as a picture! BMP to Map aborted";
    if (!picture) {
        if (!fs.Exists(request.bitmap)) {
            throw Refusal{"Missing picture! BMP to Map aborted", request.bitmapProblem};
        }
        throw Refusal{unreadable, request.bitmapProblem};
    }
    if (picture->width() <= 0 || picture->height() <= 0) {
        throw Refusal{unreadable, "It has no pixels: " + std::to_string(picture->width()) + " x " +
                                      std::to_string(picture->height()) + "."};
    }
    if (hooks.picturesChecked) hooks.picturesChecked();
    std::string unsafe =
        CheckJobFiles({{request.palette, false}, {request.bitmap, false}, {request.map, true}});
    if (!unsafe.empty()) throw Refusal{unsafe + " BMP to Map aborted", {}};

    Inputs in;
    try {
        in.table = BuildTerrainTable(palette, request.altMin, request.altMax);
    } catch (const Error& e) {
        throw Refusal{e.what()};
    }
    auto x = Placement(request.x);
    auto y = Placement(request.y);
    if (!x || !y) throw Refusal{"X and Y must be whole numbers of 0 or more! BMP to Map aborted"};
    uint64_t length = LengthOf(request.map, fs);
    auto size = TerrainWorld(length, request.world);
    if (!size) {
        throw Refusal{
            world::SizeRefusal(request.map, length, kMapBlockBytes, "terrain file", request.world) +
            " BMP to Map aborted"};
    }
    in.world = *size;
    int64_t endX = int64_t{*x} + picture->width();
    int64_t endY = int64_t{*y} + picture->height();
    if (endX > size->width || endY > size->height) {
        throw Refusal{"The picture would end at " + std::to_string(endX) + "x" +
                      std::to_string(endY) + ", outside the map of " + world::SizeText(*size) +
                      "! BMP to Map aborted"};
    }
    in.x = *x;
    in.y = *y;
    return in;
}

Bmp2MapOutcome Stop(const Bmp2MapHooks& hooks, Bmp2MapOutcome::Result result, std::string text,
                    int32_t rows, std::string why = {}) {
    if (hooks.message) hooks.message(text, std::string(kBmp2MapTitle));
    return {result, std::move(text), rows, std::move(why)};
}

}  // namespace

std::optional<world::Size> TerrainWorld(uint64_t length, const std::optional<world::Size>& given) {
    if (auto found = world::SizeOfFile(length, kMapBlockBytes, given)) return found;
    world::Size size = given.value_or(world::Size{});
    if (length < static_cast<uint64_t>(size.blocks()) * kMapBlockBytes) return size;
    return std::nullopt;
}

uint64_t LengthOf(const std::string& path, FileSystem& fs) {
    try {
        if (fs.Exists(path)) return fs.Open(path, OpenMode::kReadOnly)->Size();
    } catch (const Error&) {
        // Reported by the open that follows the checks.
    }
    return 0;
}

Bmp2MapOutcome RunBmp2Map(const Bmp2MapRequest& request, const Picture* palette,
                          const Picture* picture, const Bmp2MapHooks& hooks, FileSystem& fs) {
    using Result = Bmp2MapOutcome::Result;
    Inputs in;
    try {
        in = Check(request, palette, picture, hooks, fs);
    } catch (const Refusal& r) {
        return Stop(hooks, Result::kRefused, r.text, 0, r.why);
    }
    TerrainRandom next(request.seed ? *request.seed : TerrainRandom::ClockSeed());

    cMUL map(fs);
    std::string failure = map.cOpen("", request.map, kMapBlockBytes, in.world.blocks());
    if (!failure.empty()) return Stop(hooks, Result::kRefused, failure, 0);
    // Held until the job ends, so that no other job writes the terrain file meanwhile.
    std::unique_ptr<FileLock> lock;
    try {
        lock = FileLock::Try(request.map, FileLock::Mode::kExclusive);
    } catch (const std::exception& e) {
        map.cClose();
        return Stop(hooks, Result::kRefused, std::string(e.what()) + ". BMP to Map aborted", 0);
    }
    if (!lock) {
        map.cClose();
        return Stop(hooks, Result::kRefused, kTerrainInUse, 0);
    }

    const int32_t width = picture->width();
    const int32_t height = picture->height();
    int32_t row = 0;
    try {
        RowWriter writer(*map.dataFile(), in.world, in.x, in.y, width, height);
        std::vector<uint8_t> cells(static_cast<size_t>(width) * kCellBytes);
        std::vector<int32_t> colours(static_cast<size_t>(width));
        Lookup lookup(in.table);
        for (; row < height; ++row) {
            if (hooks.status) hooks.status(ProgressText(row, height));
            if ((hooks.stopRequested && hooks.stopRequested()) || StopRequested()) {
                map.cClose();
                return {Result::kStopped, "Stopped.", row};
            }
            picture->row(row, colours.data());
            uint8_t* out = cells.data();
            for (int32_t px = 0; px < width; ++px) {
                TerrainCell cell = lookup(colours[static_cast<size_t>(px)], next);
                out[0] = static_cast<uint8_t>(cell.tile & 0xFF);
                out[1] = static_cast<uint8_t>(cell.tile >> 8);
                out[2] = cell.height;
                out += kCellBytes;
            }
            writer.Write(row, cells);
        }
    } catch (const Error& e) {
        map.cClose();
        if (e.kind() == Error::Kind::kNoSpace) {
            return Stop(hooks, Result::kFailed, "No space left on device. BMP to Map aborted", row,
                        e.what());
        }
        return Stop(hooks, Result::kFailed, std::string(e.what()) + ". BMP to Map aborted", row);
    } catch (const std::exception& e) {
        map.cClose();
        return Stop(hooks, Result::kFailed, std::string(e.what()) + ". BMP to Map aborted", row);
    }
    map.cClose();
    if (hooks.status) hooks.status(std::string(kBmp2MapDone));
    return {Result::kDone, std::string(kBmp2MapDone), height};
}

}  // namespace vorlak
