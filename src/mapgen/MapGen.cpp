// The Bmp->Map job: pixel rows into the cells of the terrain file.
#include "mapgen/MapGen.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <optional>
#include <utility>
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

// The cells of pixel colours, with the draws of LookupTerrain in the same order: a tile number
// and then a height number for every kind of the colour, the last kind's pair deciding. The kinds
// of a colour are found once per run of equal pixels.
class CellMaker {
  public:
    CellMaker(const TerrainTable& table, uint32_t seed) : table_(table), next_(seed) { Select(0); }

    // Writes kCellBytes for each of colours[0, n) to `out`.
    void Make(const int32_t* colours, int32_t n, uint8_t* out) {
        // A copy of the number source stays in registers; stores through `out` could otherwise
        // change it as far as the compiler knows.
        TerrainRandom next = next_;
        for (int32_t i = 0; i < n;) {
            const int32_t colour = colours[i];
            int32_t end = i + 1;
            while (end < n && colours[end] == colour) ++end;
            if (colour != colour_) Select(colour);
            const Choice c = choice_;
            if (c.skipped < 0) {
                noKind_ += static_cast<uint64_t>(end - i);
                for (; i < end; ++i, out += kCellBytes) Store(out, kFallbackTile, 0);
                continue;
            }
            for (; i < end; ++i, out += kCellBytes) {
                for (int32_t d = 0; d < c.skipped; ++d) next.Next24();
                uint16_t tile = c.tiles[TileIndex(next.Next24(), c.last)];
                uint8_t height = HeightByte(next.Next24(), c.low, c.scaledSpan);
                Store(out, tile, height);
            }
        }
        next_ = next;
    }

    // Cells made so far whose colour is no kind's: they got the fallback tile.
    uint64_t noKind() const { return noKind_; }

  private:
    static void Store(uint8_t* out, uint16_t tile, uint8_t height) {
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out, &tile, 2);
        } else {
            out[0] = static_cast<uint8_t>(tile & 0xFF);
            out[1] = static_cast<uint8_t>(tile >> 8);
        }
        out[2] = height;
    }

    // What a colour draws: `skipped` numbers thrown away (two per earlier kind of the colour),
    // then the pair of the deciding kind; -1 for a colour of no kind.
    struct Choice {
        const uint16_t* tiles = nullptr;
        uint32_t last = 0;     // the number of tiles less one
        float low = 0;         // AltMin
        float scaledSpan = 0;  // (AltMax - AltMin) * 2^-24
        int32_t skipped = -1;
    };

    void Select(int32_t colour) {
        colour_ = colour;
        choice_ = {};
        for (const TerrainKind& kind : table_) {
            if (kind.Color != colour) continue;
            choice_.tiles = kind.Tiles.data();
            choice_.last = static_cast<uint32_t>(kind.Tiles.size() - 1);
            choice_.low = static_cast<float>(kind.AltMin);
            choice_.scaledSpan =
                static_cast<float>(static_cast<int16_t>(kind.AltMax - kind.AltMin)) * 0x1p-24f;
            choice_.skipped += 2;
        }
        if (choice_.skipped >= 0) --choice_.skipped;
    }

    const TerrainTable& table_;
    TerrainRandom next_;
    int32_t colour_ = 0;
    Choice choice_;
    uint64_t noKind_ = 0;
};

// The count line of a finished run: "256 rows written." and, when there are any, the cells of no
// kind; when every cell is one, the palette is the likely cause.
std::string Bmp2MapCounts(int32_t rows, uint64_t cells, uint64_t noKind) {
    std::string text = Counted(static_cast<uint64_t>(rows), "row") + " written";
    if (noKind == 0) return text + ".";
    text +=
        "; " + Counted(noKind, "cell") + " of no kind (tile " + std::to_string(kFallbackTile) + ")";
    if (noKind == cells) {
        text +=
            ": no colour of the picture is one of the palette's, so the palette probably "
            "does not match the picture";
    }
    return text + ".";
}

// Writes pixel rows into the cells they cover, in order. A pixel row lies in one block row and
// crosses every block column of the picture, taking one run of up to 8 cells in each block.
//
// Where the space of the blocks could be set aside, the rows of a band of block rows are
// gathered and written at once: the band's blocks of one column lie together in the file, and
// one read and one write per column and band cost far less than a write per block and row.
// Elsewhere each row goes out as it comes, in runs of cell bytes. Either way headers and cells
// outside the picture keep their bytes.
class RowWriter {
  public:
    // With `whole`, one band holds the whole rectangle when its blocks take at most kHeldBytes,
    // so that the file is written only at the end, and the job's step can be written meanwhile.
    RowWriter(RandomAccessFile& file, const world::Size& world, int32_t x, int32_t y, int32_t width,
              int32_t height, bool whole)
        : file_(file),
          blockRows_(world.blockRows()),
          x_(x),
          y_(y),
          width_(width),
          firstColumn_(x / world::kBlockCells),
          lastColumn_((x + width - 1) / world::kBlockCells),
          lastRow_((y + height - 1) / world::kBlockCells),
          size_(file.Size()) {
        const int32_t firstRow = y / world::kBlockCells;
        // Space set aside first means that only plain failures are left, not a full disk in
        // the middle of a band; where it cannot be promised the rows go out one by one.
        // Columns whose blocks follow one another in the file, as those of whole columns do, are
        // set aside at once.
        bool reserved = true;
        for (int32_t column = firstColumn_; reserved && column <= lastColumn_;) {
            const uint64_t from = BlockOffset(column, firstRow);
            int32_t last = column;
            while (last < lastColumn_ && BlockOffset(last + 1, firstRow) ==
                                             BlockOffset(last, lastRow_) + kMapBlockBytes) {
                ++last;
            }
            reserved = file_.Reserve(from, BlockOffset(last, lastRow_) + kMapBlockBytes - from);
            column = last + 1;
        }
        const int32_t columns = lastColumn_ - firstColumn_ + 1;
        if (!reserved) {
            cells_.resize(static_cast<size_t>(width) * kCellBytes);
            return;
        }
        const int32_t rows = lastRow_ - firstRow + 1;
        const auto bandBytes = static_cast<int64_t>(columns) * kMapBlockBytes;
        const auto most = whole && bandBytes * rows <= kHeldBytes
                              ? rows
                              : static_cast<int32_t>(
                                    std::clamp<int64_t>(kBandBytes / bandBytes, 1, kBandBlockRows));
        const int32_t bands = (rows + most - 1) / most;
        bandRows_ = (rows + bands - 1) / bands;
        // Columns an odd number of cache lines apart fall into different cache sets, so the
        // lines that a row touches in every column stay cached for the rows after it.
        constexpr size_t kLine = 64;
        columnBytes_ = (static_cast<size_t>(kMapBlockBytes) * bandRows_ + kLine - 1) / kLine;
        columnBytes_ = (columnBytes_ | 1) * kLine;
        band_.resize(columnBytes_ * columns);
    }

    // Makes the cells of pixel row `row`, whose colours are `colours`, and writes them, or keeps
    // them for Flush.
    void Write(int32_t row, const int32_t* colours, CellMaker& maker) {
        const int32_t y = y_ + row;
        const int32_t blockRow = y / world::kBlockCells;
        const int32_t cellRow = y % world::kBlockCells;
        // A block that did not exist yet gets a zero header and zero cells, as if read past
        // the end of the file and written back whole.
        Grow(BlockOffset(lastColumn_, blockRow) + kMapBlockBytes);
        if (band_.empty()) {
            maker.Make(colours, width_, cells_.data());
            for (int32_t column = firstColumn_; column <= lastColumn_; ++column) {
                auto [from, to] = Run(column);
                uint64_t offset = BlockOffset(column, blockRow) + kBlockHeaderBytes +
                                  static_cast<uint64_t>(kCellBytes) *
                                      (cellRow * world::kBlockCells + from % world::kBlockCells);
                WriteAt(offset, std::span<const uint8_t>(cells_).subspan(
                                    static_cast<size_t>(kCellBytes) * (from - x_),
                                    static_cast<size_t>(kCellBytes) * (to - from)));
            }
            written_ = row + 1;
            return;
        }
        if (pending_ == 0) Load(blockRow, y);
        ++pending_;
        uint8_t* at = band_.data() + static_cast<size_t>(kMapBlockBytes) * (blockRow - bandFirst_) +
                      kBlockHeaderBytes + kCellBytes * cellRow * world::kBlockCells;
        for (int32_t column = firstColumn_; column <= lastColumn_; ++column, at += columnBytes_) {
            auto [from, to] = Run(column);
            maker.Make(colours + (from - x_), to - from,
                       at + kCellBytes * (from % world::kBlockCells));
        }
        if (cellRow == world::kBlockCells - 1 && blockRow == bandFirst_ + bandBlocks_ - 1) Flush();
    }

    // Writes the gathered rows. Call it after the last row, and before ending early, so that
    // every row given to Write reaches the file. The rows are given up even when a write fails.
    void Flush() {
        if (pending_ == 0) return;
        const int32_t rows = pending_;
        pending_ = 0;
        // Whole blocks up to the last row's, which the file already holds: cells of later rows
        // go back as they were read.
        const int32_t blocks = (pendingY_ + rows - 1) / world::kBlockCells - bandFirst_ + 1;
        const uint8_t* at = band_.data();
        for (int32_t column = firstColumn_; column <= lastColumn_; ++column, at += columnBytes_) {
            WriteAt(BlockOffset(column, bandFirst_),
                    {at, static_cast<size_t>(kMapBlockBytes) * blocks});
        }
        written_ = pendingY_ - y_ + rows;
    }

    // The rows from the first that are in the file.
    int32_t written() const { return written_; }

    // True when one band holds the whole rectangle: then the file is first written when the band
    // goes out at the end, or when it has to grow.
    bool OneBand() const {
        return !band_.empty() && bandRows_ >= lastRow_ - y_ / world::kBlockCells + 1;
    }
    // `beforeWrite` runs once, before the writer first writes to the file.
    void BeforeFirstWrite(std::function<void()> beforeWrite) {
        beforeWrite_ = std::move(beforeWrite);
    }

  private:
    // The most a band may hold: bands of a full map take two reads and writes per column. The
    // file lags the progress shown by a band at most, and a band holds no more than 2048 rows.
    static constexpr int64_t kBandBytes = int64_t{40} << 20;
    static constexpr int64_t kBandBlockRows = 256;
    // The most a job with a step holds at once: a whole map of 7168 x 4096 takes 90 MB.
    static constexpr int64_t kHeldBytes = int64_t{128} << 20;

    uint64_t BlockOffset(int32_t column, int32_t row) const {
        return static_cast<uint64_t>(column * blockRows_ + row) * kMapBlockBytes;
    }

    // The map columns [from, to) of the picture in block column `column`.
    std::pair<int32_t, int32_t> Run(int32_t column) const {
        return {std::max(x_, column * world::kBlockCells),
                std::min(x_ + width_, (column + 1) * world::kBlockCells)};
    }

    // Reads the band that starts with block row `blockRow`, for map row `y` onwards.
    void Load(int32_t blockRow, int32_t y) {
        bandFirst_ = blockRow;
        bandBlocks_ = std::min(bandRows_, lastRow_ - blockRow + 1);
        pendingY_ = y;
        const size_t span = static_cast<size_t>(kMapBlockBytes) * bandBlocks_;
        uint8_t* at = band_.data();
        for (int32_t column = firstColumn_; column <= lastColumn_; ++column, at += columnBytes_) {
            file_.ReadZeroFilled(BlockOffset(column, blockRow), {at, span});
        }
    }

    void WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
        if (beforeWrite_) std::exchange(beforeWrite_, nullptr)();
        file_.WriteAt(offset, bytes);
    }

    void Grow(uint64_t end) {
        if (size_ >= end) return;
        std::vector<uint8_t> zeros(static_cast<size_t>(std::min<uint64_t>(end - size_, 1 << 20)));
        while (size_ < end) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(end - size_, zeros.size()));
            WriteAt(size_, std::span<const uint8_t>(zeros).first(n));
            size_ += n;
        }
    }

    RandomAccessFile& file_;
    int32_t blockRows_;
    int32_t x_, y_, width_;
    int32_t firstColumn_, lastColumn_, lastRow_;
    uint64_t size_;  // the file's length; only this job changes it
    int32_t written_ = 0;
    std::vector<uint8_t> cells_;  // one row's cells, for plain writes
    // The band: the blocks bandFirst_ .. bandFirst_ + bandBlocks_ - 1 of each block column as the
    // file holds them, one column after the other.
    LargeBytes band_;         // empty: rows are written one by one
    int32_t bandRows_ = 0;    // block rows of a full band
    size_t columnBytes_ = 0;  // from the start of one column's blocks to the next one's
    int32_t bandFirst_ = 0, bandBlocks_ = 0;
    int32_t pending_ = 0;   // rows made since the band was read
    int32_t pendingY_ = 0;  // the map row of the first of them
    std::function<void()> beforeWrite_;
};

// A whole number of 0 or more read from a box, or nothing.
std::optional<int32_t> Placement(const std::string& text) {
    double value = NumericValue(text);
    // Any position that fits the number passes here; one past the map's edge is refused with
    // where the picture would end.
    if (!(value >= 0 && value <= std::numeric_limits<int32_t>::max()) ||
        value != std::floor(value)) {
        return {};
    }
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

void KeepTerrainBlocks(JobRecorder* history, const std::string& map, const world::Size& size,
                       int32_t x, int32_t y, int32_t w, int32_t h, bool created) {
    if (!history) return;
    if (created) {
        history->Created(map);
        return;
    }
    history->KeepBytes(map, 0, 0);
    if (w <= 0 || h <= 0) return;
    const int32_t top = y / world::kBlockCells, bottom = (y + h - 1) / world::kBlockCells;
    for (int32_t bx = x / world::kBlockCells; bx <= (x + w - 1) / world::kBlockCells; ++bx) {
        uint64_t first = static_cast<uint64_t>(bx) * static_cast<uint64_t>(size.blockRows()) +
                         static_cast<uint64_t>(top);
        history->KeepBytes(map, first * kMapBlockBytes,
                           static_cast<uint64_t>(bottom - top + 1) * kMapBlockBytes);
    }
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

    cMUL map(fs);
    const bool created = !fs.Exists(request.map);
    std::string failure = map.cOpen("", request.map, kMapBlockBytes, in.world.blocks());
    if (!failure.empty()) return Stop(hooks, Result::kRefused, failure, 0, map.lastFailure());
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
    KeepTerrainBlocks(request.history, request.map, in.world, in.x, in.y, width, height, created);
    // The step keeps the old blocks from the job's own read of them, taken before it.
    std::optional<RecordedScope> recorded;
    std::optional<RowWriter> writer;
    uint64_t noKind = 0;
    try {
        writer.emplace(*map.dataFile(), in.world, in.x, in.y, width, height,
                       request.history != nullptr);
        // With the whole rectangle in one band, the step is written on a second thread while
        // the cells are made; it is complete and durable before the first write.
        const bool late = request.history && writer->OneBand();
        recorded.emplace(request.history, late);
        if (late) writer->BeforeFirstWrite([&recorded] { recorded->Begin(); });
        std::vector<int32_t> colours(static_cast<size_t>(width));
        CellMaker maker(in.table, request.seed ? *request.seed : TerrainRandom::ClockSeed());
        for (int32_t row = 0; row < height; ++row) {
            if (hooks.status) hooks.status(ProgressText(row, height));
            if ((hooks.stopRequested && hooks.stopRequested()) || StopRequested()) {
                writer->Flush();
                map.cClose();
                return {Result::kStopped, "Stopped.", row};
            }
            picture->row(row, colours.data());
            writer->Write(row, colours.data(), maker);
        }
        writer->Flush();
        noKind = maker.noKind();
    } catch (const std::exception& e) {
        // The rows made before the failure still go out; the failure told is the first one.
        int32_t rows = 0;
        if (writer) {
            try {
                writer->Flush();
            } catch (const std::exception&) {
            }
            rows = writer->written();
        }
        map.cClose();
        const auto* error = dynamic_cast<const Error*>(&e);
        if (error && error->kind() == Error::Kind::kNoSpace) {
            return Stop(hooks, Result::kFailed, "No space left on device. BMP to Map aborted", rows,
                        e.what());
        }
        return Stop(hooks, Result::kFailed, std::string(e.what()) + ". BMP to Map aborted", rows);
    }
    map.cClose();
    if (hooks.status) hooks.status(std::string(kBmp2MapDone));
    Bmp2MapOutcome done{Result::kDone, std::string(kBmp2MapDone), height};
    done.counts =
        Bmp2MapCounts(height, static_cast<uint64_t>(width) * static_cast<uint64_t>(height), noKind);
    return done;
}

}  // namespace vorlak
