// The Map->Bmp views and the heights job.
#include "mapgen/MapViews.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>

#include "art/cMulConvert.h"
#include "mul/BmpFile.h"
#include "mul/Error.h"
#include "mul/LittleEndian.h"
#include "mul/Numbers.h"
#include "mul/PngFile.h"
#include "mul/Stop.h"

namespace vorlak {
namespace {

constexpr int32_t kCells = world::kBlockCells;
constexpr int32_t kCellBytes = 2 + 1;  // tile id, height
constexpr int32_t kBlockHeaderBytes = 4;
constexpr int32_t kBlockCellCount = kCells * kCells;
// The statics files (docs/statics-files.md): 12-byte index entries, 7-byte records.
constexpr int32_t kIndexEntryBytes = 4 + 4 + 4;
constexpr int32_t kRecordBytes = 2 + 1 + 1 + 1 + 2;

int32_t Grey(int32_t value) { return Rgb(value, value, value); }

// The bytes of a whole file: mapped read-only where the file allows it, which saves the copy and
// the fresh memory a read would need, else read.
class FileBytes {
  public:
    FileBytes(FileSystem& fs, const std::string& path) : file_(fs.Open(path, OpenMode::kReadOnly)) {
        const uint64_t size = file_->Size();
        if (size > std::numeric_limits<size_t>::max() / 2) {
            throw Error::Io("The file " + path + " is too large to read.");
        }
        if (size > 0) mapping_ = file_->Map(0, static_cast<size_t>(size));
        if (mapping_) {
            bytes_ = mapping_->bytes();
            return;
        }
        buffer_.resize(static_cast<size_t>(size));
        if (file_->ReadAt(0, buffer_) != buffer_.size()) {
            throw Error::Io("The file " + path + " changed while it was read.");
        }
        bytes_ = buffer_;
    }
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    size_t size() const { return bytes_.size(); }
    std::span<const uint8_t> bytes() const { return bytes_; }

  private:
    std::unique_ptr<RandomAccessFile> file_;
    std::unique_ptr<FileMapping> mapping_;
    ByteBuffer buffer_;
    std::span<const uint8_t> bytes_;
};

struct Refusal {
    std::string text;
    std::string why = {};
};

// A view request with its world and rectangle settled.
struct View {
    MapView view = MapView::kOverview;
    std::string out, map, staidx, statics, radarcol, palette;
    world::Size world;
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0, scale = 1;
    bool withStatics = true;
};

// The world comes from --world or the terrain file's length; an index of another world would
// place its statics in the wrong blocks (an empty one holds none).
View Settle(const MapViewRequest& r, FileSystem& fs) {
    uint64_t length = LengthOf(r.map, fs);
    std::optional<world::Size> size = TerrainWorld(length, r.world);
    if (!size) {
        throw Refusal{
            world::SizeRefusal(r.map, length, kMapBlockBytes, "terrain file", r.world, false)};
    }
    if (r.view == MapView::kOverview && r.withStatics && fs.Exists(r.staidx)) {
        uint64_t entries = LengthOf(r.staidx, fs);
        if (entries != 0 && entries != static_cast<uint64_t>(size->blocks()) * kIndexEntryBytes) {
            throw Refusal{world::SizeRefusal(r.staidx, entries, kIndexEntryBytes, "statics index",
                                             *size, false)};
        }
    }
    return {r.view,
            r.out,
            r.map,
            r.staidx,
            r.statics,
            r.radarcol,
            r.palette,
            *size,
            r.x1,
            r.y1,
            r.x2.value_or(size->width - 1),
            r.y2.value_or(size->height - 1),
            r.scale,
            r.withStatics};
}

// The same file under two names (or one name twice).
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, ec) && !ec;
}

// The files a drawing reads, opened once: the terrain file (none: every cell draws black) and
// the statics pair (none: no statics drawn).
struct WorldFiles {
    std::unique_ptr<RandomAccessFile> terrain;
    std::optional<FileBytes> index, data;  // small beside the terrain; runs lie anywhere
};

std::shared_ptr<const WorldFiles> OpenFiles(const View& request, FileSystem& fs) {
    auto files = std::make_shared<WorldFiles>();
    files->terrain = fs.Open(request.map, OpenMode::kReadOnly);
    if (request.view == MapView::kOverview && request.withStatics) {
        files->index.emplace(fs, request.staidx);
        files->data.emplace(fs, request.statics);
    }
    return files;
}

// The statics run of `block`, checked to lie inside the data file; empty when it has none. A
// short index reads as empty entries past its end, as the statics jobs read it. A run past the
// end of the data file throws Error naming the block.
std::span<const uint8_t> RunOf(const WorldFiles& files, int32_t block, const View& request) {
    if (!files.index) return {};
    const uint64_t at = static_cast<uint64_t>(block) * kIndexEntryBytes;
    if (at + kIndexEntryBytes > files.index->size()) return {};
    const uint8_t* entry = files.index->bytes().data() + at;
    int64_t offset = le::Load32(entry);
    int64_t length = le::Load32(entry + 4);
    if (length <= 0) return {};
    if (offset < 0 || offset + length > static_cast<int64_t>(files.data->size())) {
        throw Error::Corrupt("The index " + request.staidx + " points past the end of " +
                             request.statics + " at " + world::DescribeBlock(block, request.world) +
                             ".");
    }
    return files.data->bytes().subspan(static_cast<size_t>(offset), static_cast<size_t>(length));
}

// The terrain cells and statics of the block columns of a rectangle, read once, and the colour of
// each cell of a block as one view draws it.
class BlockSource {
  public:
    BlockSource(const View& request, FileSystem& fs)
        : BlockSource(request, OpenFiles(request, fs)) {}
    // Reads files opened before. With `damaged`, a block whose statics lie past the end of the
    // data file draws without them and the first such block is named there, instead of failing.
    BlockSource(const View& request, std::shared_ptr<const WorldFiles> files,
                std::string* damaged = nullptr)
        : request_(request),
          rows_(request.world.blockRows()),
          files_(std::move(files)),
          damaged_(damaged) {}

    bool hasTerrain() const { return files_->terrain != nullptr; }

    // Reads the terrain blocks of `column` from row `first` to `last`, which lie together in the
    // file, so a view reads the terrain once, in order, and keeps little of it. Blocks past the
    // end of the file read as zero bytes.
    void ReadBand(int32_t column, int32_t first, int32_t last) {
        column_ = column;
        first_ = first;
        const uint64_t block = static_cast<uint64_t>(column) * static_cast<uint64_t>(rows_) +
                               static_cast<uint64_t>(first);
        cells_.resize(static_cast<size_t>(last - first + 1) * kMapBlockBytes);
        if (!hasTerrain()) return;
        files_->terrain->ReadZeroFilled(block * kMapBlockBytes, cells_);
    }

    // The 64 tile ids and heights of the block at `row` of the band, cell i = (y mod 8) * 8 +
    // (x mod 8).
    const uint8_t* Cells(int32_t row) const {
        return cells_.data() + static_cast<size_t>(row - first_) * kMapBlockBytes +
               kBlockHeaderBytes;
    }

    // The statics run of the block at `row` of the band; empty when it has none.
    std::span<const uint8_t> Statics(int32_t row) const {
        try {
            return RunOf(*files_, column_ * rows_ + row, request_);
        } catch (const Error& e) {
            if (!damaged_) throw;
            if (damaged_->empty()) *damaged_ = e.what();
            return {};
        }
    }

  private:
    const View& request_;
    int32_t rows_;
    std::shared_ptr<const WorldFiles> files_;
    std::string* damaged_;
    int32_t column_ = 0, first_ = 0;
    ByteBuffer cells_;
};

// Colours of the 64 cells of one block, as one view draws them.
class Painter {
  public:
    // Without radar colours the overview draws the terrain kinds in `kindColours` and no statics.
    Painter(const View& request, const BlockSource& source, const RadarColours* radar,
            const std::vector<int32_t>& kindColours)
        : request_(request), source_(source), radar_(radar), kinds_(kindColours) {}

    // The block at `row` of the band the source has read.
    void Paint(int32_t row, int32_t* out) const {
        const uint8_t* cells = source_.Cells(row);
        switch (request_.view) {
            case MapView::kHeights:
                for (int32_t i = 0; i < kBlockCellCount; ++i) {
                    out[i] = Grey((static_cast<int8_t>(cells[kCellBytes * i + 2]) + 128));
                }
                return;
            case MapView::kKinds:
                for (int32_t i = 0; i < kBlockCellCount; ++i) {
                    out[i] = kinds_[static_cast<size_t>(le::Load16(cells + kCellBytes * i))];
                }
                return;
            case MapView::kOverview:
                break;
        }
        for (int32_t i = 0; i < kBlockCellCount; ++i) {
            const auto tile = static_cast<uint16_t>(le::Load16(cells + kCellBytes * i));
            out[i] = !source_.hasTerrain() ? 0
                     : radar_              ? radar_->Terrain(tile)
                     : kinds_.empty()      ? kNoKindColour
                                           : kinds_[tile];
        }
        if (!radar_) return;
        // The highest static of a cell wins; on equal Z the later record of the block.
        std::array<int32_t, kBlockCellCount> top;
        top.fill(std::numeric_limits<int32_t>::min());
        std::span<const uint8_t> run = source_.Statics(row);
        for (size_t at = 0; at + kRecordBytes <= run.size(); at += kRecordBytes) {
            const uint8_t* r = run.data() + at;
            if (r[2] >= kCells || r[3] >= kCells) continue;  // lies in no cell of the block
            int32_t cell = r[3] * kCells + r[2];
            int32_t z = static_cast<int8_t>(r[4]);
            if (z < top[static_cast<size_t>(cell)]) continue;
            top[static_cast<size_t>(cell)] = z;
            out[cell] = radar_->Static(static_cast<uint16_t>(le::Load16(r)));
        }
    }

  private:
    const View& request_;
    const BlockSource& source_;
    const RadarColours* radar_;
    const std::vector<int32_t>& kinds_;
};

// Where the drawn rows go: `count` rows from row `y` down, `width` colours each.
using RowSink = std::function<void(int32_t y, int32_t count, const int32_t* colours)>;

// Draws the rectangle block row by block row, top down, each scale x scale cells one pixel of
// their mean colour (cells past the rectangle's edge are not counted), and hands the rows to
// `sink` as they are done.

void Draw(const View& request, BlockSource& source, const Painter& painter, int32_t outWidth,
          const RowSink& sink, const std::function<void(const std::string&)>& status) {
    const int32_t width = request.x2 - request.x1 + 1;
    const int32_t s = request.scale;
    const int32_t shift = std::countr_zero(static_cast<uint32_t>(s));  // s is a power of two
    // The files hold the blocks column by column: a band of block rows is painted down each
    // column in turn, so the files are read in order rather than a block per page.
    constexpr int32_t kBand = 64;
    std::vector<int32_t, LargeAllocator<int32_t>> strip(static_cast<size_t>(width) * kCells *
                                                        kBand);
    std::vector<uint32_t> red(static_cast<size_t>(outWidth)), green(red.size()), blue(red.size());
    std::vector<int32_t> mean(red.size());
    std::array<int32_t, kBlockCellCount> block{};
    int32_t groupRows = 0;
    const int32_t firstRow = request.y1 / kCells, lastRow = request.y2 / kCells;
    // Progress counts the block columns of every band, so that it moves evenly however few bands
    // the picture has; each text is reported once.
    const int32_t firstColumn = request.x1 / kCells,
                  columns = request.x2 / kCells - firstColumn + 1;
    const int32_t steps = ((lastRow - firstRow) / kBand + 1) * columns;
    int32_t step = 0;
    std::string progress;
    for (int32_t band = firstRow; band <= lastRow; band += kBand) {
        const int32_t bandEnd = std::min(lastRow, band + kBand - 1);
        for (int32_t column = firstColumn; column < firstColumn + columns; ++column, ++step) {
            if (std::string text = ProgressText(step, steps); status && text != progress) {
                progress = text;
                status(progress);
            }
            ThrowIfStopped();  // a band of a whole world takes a while; a stop need not wait
            int32_t from = std::max(request.x1, column * kCells);
            int32_t to = std::min(request.x2, column * kCells + kCells - 1);
            source.ReadBand(column, band, bandEnd);
            for (int32_t row = band; row <= bandEnd; ++row) {
                painter.Paint(row, block.data());
                int32_t* out = strip.data() +
                               static_cast<ptrdiff_t>((row - band) * kCells) * width +
                               (from - request.x1);
                if (to - from == kCells - 1) {
                    // A whole block row: a copy of a known length, which needs no call.
                    for (int32_t cy = 0; cy < kCells; ++cy, out += width) {
                        std::memcpy(out, block.data() + cy * kCells, sizeof(int32_t) * kCells);
                    }
                    continue;
                }
                for (int32_t cy = 0; cy < kCells; ++cy, out += width) {
                    std::copy(block.begin() + cy * kCells + from % kCells,
                              block.begin() + cy * kCells + to % kCells + 1, out);
                }
            }
        }
        int32_t yFrom = std::max(request.y1, band * kCells);
        int32_t yTo = std::min(request.y2, bandEnd * kCells + kCells - 1);
        if (s == 1) {
            sink(yFrom - request.y1, yTo - yFrom + 1,
                 strip.data() + static_cast<size_t>(yFrom - band * kCells) * width);
            continue;
        }
        for (int32_t y = yFrom; y <= yTo; ++y) {
            const int32_t* cells = strip.data() + static_cast<size_t>(y - band * kCells) * width;
            for (int32_t x = 0; x < width; ++x) {
                auto c = static_cast<uint32_t>(cells[x]);
                size_t px = static_cast<size_t>(x) >> shift;
                red[px] += c & 0xFF;
                green[px] += (c >> 8) & 0xFF;
                blue[px] += (c >> 16) & 0xFF;
            }
            ++groupRows;
            if (groupRows < s && y < request.y2) continue;
            for (int32_t px = 0; px < outWidth; ++px) {
                auto n = static_cast<uint32_t>(std::min(s, width - px * s) * groupRows);
                auto i = static_cast<size_t>(px);
                mean[i] = Rgb(static_cast<int32_t>((red[i] + n / 2) / n),
                              static_cast<int32_t>((green[i] + n / 2) / n),
                              static_cast<int32_t>((blue[i] + n / 2) / n));
                red[i] = green[i] = blue[i] = 0;
            }
            sink((y - request.y1) / s, 1, mean.data());
            groupRows = 0;
        }
    }
    if (std::string text = ProgressText(steps, steps); status && text != progress) status(text);
}

// The overview's colours change from cell to cell, the kinds picture is large areas of one colour,
// the heights change smoothly: each compresses best (and fast) another way (docs/png-files.md).
PngOptions PngOptionsFor(MapView view) {
    using F = PngOptions::Filter;
    switch (view) {
        case MapView::kKinds:
            return {F::kPaeth, true};
        case MapView::kHeights:
        case MapView::kOverview:
            break;
    }
    return {F::kNone, false};
}

// The checks on the names alone, before any file is opened: the picture is none of the files
// named to the job, not even one this view leaves unread, and no special file or link to a
// file that is no picture; the inputs it reads are regular files, so that no open waits on a
// FIFO and no device is read as a file.
void CheckNames(const MapViewRequest& request) {
    if (PictureFormatOfName(request.out).empty()) {
        throw Refusal{"The picture name " + request.out + " must end in .png or .bmp."};
    }
    std::string unsafe = CheckPictureOutput(request.out);
    if (!unsafe.empty()) throw Refusal{unsafe};
    for (const std::string* named :
         {&request.map, &request.radarcol, &request.staidx, &request.statics, &request.palette}) {
        if (SameFile(request.out, *named)) {
            throw Refusal{"The picture " + request.out + " is one of the input files."};
        }
    }
    std::vector<JobFile> inputs{{request.map}};
    if (request.view == MapView::kOverview) {
        inputs.push_back({request.radarcol});
        if (request.withStatics) inputs.insert(inputs.end(), {{request.staidx}, {request.statics}});
    }
    unsafe = CheckJobFiles(inputs);
    if (!unsafe.empty()) throw Refusal{unsafe};
}

void CheckRequest(const View& request, const Picture* palette, const std::string& paletteProblem,
                  FileSystem& fs) {
    if (request.scale < 1 || request.scale > kCoarsestScale ||
        !std::has_single_bit(static_cast<uint32_t>(request.scale))) {
        throw Refusal{"The scale must be 1, 2, 4, 8, 16, 32 or 64."};
    }
    std::string corners =
        world::CornerProblems(request.x1, request.y1, request.x2, request.y2, request.world, true);
    if (!corners.empty()) throw Refusal{std::string(kIllegalCordinates), corners};
    if (!fs.Exists(request.map))
        throw Refusal{"The terrain file " + request.map + " does not exist."};
    if (request.view == MapView::kOverview) {
        if (!fs.Exists(request.radarcol)) {
            throw Refusal{"The radar colour file " + request.radarcol + " does not exist."};
        }
        for (const std::string* name : {&request.staidx, &request.statics}) {
            if (request.withStatics && !fs.Exists(*name)) {
                throw Refusal{"The statics file " + *name + " does not exist."};
            }
        }
    }
    if (request.view == MapView::kKinds) {
        if (!palette) {
            throw Refusal{
                "The palette " + request.palette +
                    (fs.Exists(request.palette) ? " cannot be read as a picture." : " is missing."),
                paletteProblem};
        }
        for (int32_t k = 0; k < kTerrainKinds && k < palette->width(); ++k) {
            if (palette->height() > 0 && palette->pixel(k, 0) == kNoKindColour) {
                throw Refusal{"The palette " + request.palette + " gives " + TerrainName(k) +
                              " black, the colour of tiles of no kind."};
            }
        }
    }
}

}  // namespace

RadarColours::RadarColours(std::span<const uint8_t> bytes)
    : terrain_(size_t{1} << 16, 0), statics_(size_t{1} << 16, 0) {
    size_t entries = bytes.size() / 2;
    for (size_t n = 0; n < entries && n < size_t{kStaticBase} + statics_.size(); ++n) {
        int32_t colour = cMulConvert::Color16ToColor32(le::Load16(bytes.data() + 2 * n));
        if (n < kStaticBase) {
            terrain_[n] = colour;
        } else {
            statics_[n - kStaticBase] = colour;
        }
    }
}

RadarColours RadarColours::Load(const std::string& path, FileSystem& fs) {
    return RadarColours(FileBytes(fs, path).bytes());
}

namespace {

std::string Saved(const MapViewOutcome& outcome, const std::string& out) {
    return "Saved a " + std::to_string(outcome.width) + " x " + std::to_string(outcome.height) +
           " picture to " + out + ".";
}

}  // namespace

std::vector<int32_t> KindColours(const TerrainTable& table) {
    std::vector<int32_t> colours(size_t{1} << 16, kNoKindColour);
    // A tile in the lists of two kinds takes the later kind, as Bmp->Map lets the later decide.
    for (const TerrainKind& kind : table) {
        if (kind.Color == -1) continue;
        for (uint16_t tile : kind.Tiles) colours[tile] = kind.Color;
    }
    return colours;
}

MapViewOutcome RunMapView(const MapViewRequest& plain, const Picture* palette,
                          const std::function<void(const std::string&)>& status, FileSystem& fs) {
    MapViewOutcome outcome;
    auto finish = [&](bool ok, std::string text, std::string why = {}) {
        outcome.ok = ok;
        outcome.status = std::move(text);
        outcome.detail = std::move(why);
        if (status) status(outcome.status);
        return std::move(outcome);
    };
    View view;
    try {
        CheckNames(plain);
        view = Settle(plain, fs);
        CheckRequest(view, palette, plain.paletteProblem, fs);
    } catch (const Refusal& r) {
        return finish(false, r.text, r.why);
    }
    const View& request = view;
    if (status) status("Drawing the map. Please wait.");
    try {
        std::unique_ptr<RadarColours> radar;
        std::vector<int32_t> kinds;
        if (request.view == MapView::kOverview) {
            radar = std::make_unique<RadarColours>(RadarColours::Load(request.radarcol, fs));
        }
        if (request.view == MapView::kKinds) {
            kinds = KindColours(BuildTerrainTable(palette, DefaultAltMin(), DefaultAltMax()));
        }
        // Held while the files are read, so that no job changes them under the picture.
        std::unique_ptr<FileLock> mapLock = FileLock::Try(request.map, FileLock::Mode::kShared);
        if (!mapLock) return finish(false, "The terrain files are in use by another job.");
        std::unique_ptr<FileLock> staticsLock;
        if (request.view == MapView::kOverview && request.withStatics) {
            staticsLock = FileLock::Try(request.staidx, FileLock::Mode::kShared);
            if (!staticsLock) return finish(false, "The statics files are in use by another job.");
        }
        BlockSource source(request, fs);
        Painter painter(request, source, radar.get(), kinds);
        const int32_t s = request.scale;
        const bool grey = request.view == MapView::kHeights;
        outcome.width = (request.x2 - request.x1 + s) / s;
        outcome.height = (request.y2 - request.y1 + s) / s;
        // Written band by band as it is drawn: a whole world never sits in memory.
        auto drawInto = [&](auto& writer) {
            Draw(
                request, source, painter, outcome.width,
                [&](int32_t y, int32_t n, const int32_t* c) { writer.WriteRows(y, n, c); }, status);
            writer.Commit();
        };
        try {
            if (PictureFormatOfName(request.out) == "bmp") {
                BmpWriter writer(fs, request.out, outcome.width, outcome.height, grey);
                drawInto(writer);
            } else {
                PngWriter writer(fs, request.out, outcome.width, outcome.height, grey,
                                 PngOptionsFor(request.view));
                drawInto(writer);
            }
        } catch (const Error& e) {
            if (e.kind() == Error::Kind::kStopped) return finish(false, e.what());
            if (e.kind() == Error::Kind::kCorrupt) throw;
            return finish(false, "Unable to write the picture " + request.out + ".", e.what());
        }
    } catch (const std::exception& e) {
        return finish(false, e.what());
    }
    return finish(true, Saved(outcome, request.out));
}

struct WorldMap::Impl {
    View view;  // the whole world; Draw narrows it to its rectangle
    std::shared_ptr<WorldFiles> files = std::make_shared<WorldFiles>();
    std::unique_ptr<RadarColours> radar;
    std::vector<int32_t> kinds;
    std::vector<std::string> notes;
    std::unique_ptr<FileLock> mapLock, staticsLock;

    // The shared lock on `path`, or a note that another job holds it.
    std::unique_ptr<FileLock> Lock(const std::string& path, const std::string& what) {
        std::unique_ptr<FileLock> lock = FileLock::Try(path, FileLock::Mode::kShared);
        if (!lock) notes.push_back("The " + what + " files are in use by another job.");
        return lock;
    }
};

WorldMap::WorldMap(const WorldMapFiles& names, const Picture* palette, FileSystem& fs)
    : impl_(std::make_unique<Impl>()) {
    Impl& m = *impl_;
    m.view.map = names.map;
    m.view.staidx = names.staidx;
    m.view.statics = names.statics;
    m.view.radarcol = names.radarcol;
    auto attempt = [&](const std::function<void()>& step) {
        try {
            step();
        } catch (const std::exception& e) {
            m.notes.emplace_back(e.what());
        }
    };
    std::optional<world::Size> size;
    attempt([&] {
        if (names.map.empty()) return;
        if (!fs.Exists(names.map)) {
            m.notes.push_back("The terrain file " + names.map +
                              " does not exist: the statics are drawn on black.");
            return;
        }
        const uint64_t length = LengthOf(names.map, fs);
        std::optional<world::Size> own = TerrainWorld(length, std::nullopt);
        if (!own) {
            m.notes.push_back(
                world::SizeRefusal(names.map, length, kMapBlockBytes, "terrain file", {}));
            return;
        }
        if (!(m.mapLock = m.Lock(names.map, "terrain"))) return;
        m.files->terrain = fs.Open(names.map, OpenMode::kReadOnly);
        size = own;
    });
    attempt([&] {
        if (names.staidx.empty()) return;
        for (const std::string* name : {&names.staidx, &names.statics}) {
            if (!fs.Exists(*name)) {
                m.notes.push_back("The statics file " + *name + " does not exist.");
                return;
            }
        }
        const uint64_t entries = LengthOf(names.staidx, fs);
        if (!size && entries != 0) size = world::SizeOfFile(entries, kIndexEntryBytes, {});
        const world::Size world = size.value_or(world::Size{});
        if (entries != 0 && entries != static_cast<uint64_t>(world.blocks()) * kIndexEntryBytes) {
            m.notes.push_back(world::SizeRefusal(names.staidx, entries, kIndexEntryBytes,
                                                 "statics index", world));
            return;
        }
        if (!(m.staticsLock = m.Lock(names.staidx, "statics"))) return;
        m.files->index.emplace(fs, names.staidx);
        m.files->data.emplace(fs, names.statics);
    });
    if (!m.files->data) m.files->index.reset();
    attempt([&] {
        if (!names.radarcol.empty() && fs.Exists(names.radarcol)) {
            m.radar = std::make_unique<RadarColours>(RadarColours::Load(names.radarcol, fs));
            return;
        }
        m.notes.push_back("The radar colour file " + names.radarcol +
                          " does not exist: the terrain kinds are drawn in the palette's colours.");
        if (palette)
            m.kinds = KindColours(BuildTerrainTable(palette, DefaultAltMin(), DefaultAltMax()));
    });
    m.view.world = size.value_or(world::Size{});
    m.view.withStatics = m.files->index.has_value();
}

WorldMap::~WorldMap() = default;

const world::Size& WorldMap::size() const { return impl_->view.world; }
const std::vector<std::string>& WorldMap::notes() const { return impl_->notes; }

std::string WorldMap::Draw(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t scale,
                           std::vector<int32_t>& out) const {
    View view = impl_->view;
    view.x1 = x1;
    view.y1 = y1;
    view.x2 = x2;
    view.y2 = y2;
    view.scale = scale;
    const int32_t width = (x2 - x1 + scale) / scale;
    out.resize(static_cast<size_t>(width) * static_cast<size_t>((y2 - y1 + scale) / scale));
    std::string damaged;
    BlockSource source(view, impl_->files, &damaged);
    Painter painter(view, source, impl_->radar.get(), impl_->kinds);
    vorlak::Draw(
        view, source, painter, width,
        [&](int32_t y, int32_t n, const int32_t* c) {
            std::copy(c, c + static_cast<size_t>(n) * width,
                      out.begin() + static_cast<ptrdiff_t>(y) * width);
        },
        nullptr);
    return damaged;
}

namespace {

// The records of `run` that lie on a cell of the block whose first cell is x, y, and `what` to
// do with each: f(cell x, cell y, record).
template <typename F>
void EachRecord(std::span<const uint8_t> run, int32_t x, int32_t y, F f) {
    for (size_t at = 0; at + kRecordBytes <= run.size(); at += kRecordBytes) {
        f(x + run[at + 2], y + run[at + 3], run.data() + at);
    }
}

}  // namespace

MapCell WorldMap::Cell(int32_t x, int32_t y) const {
    const Impl& m = *impl_;
    MapCell cell;
    const int32_t block = m.view.world.BlockNumber(x, y);
    if (m.files->terrain) {
        std::array<uint8_t, kCellBytes> bytes{};
        m.files->terrain->ReadZeroFilled(
            static_cast<uint64_t>(block) * kMapBlockBytes + kBlockHeaderBytes +
                static_cast<uint64_t>(kCellBytes) * ((y % kCells) * kCells + x % kCells),
            bytes);
        cell.terrain = true;
        cell.tile = static_cast<uint16_t>(le::Load16(bytes.data()));
        cell.height = static_cast<int8_t>(bytes[2]);
    }
    std::span<const uint8_t> run;
    try {
        run = RunOf(*m.files, block, m.view);
    } catch (const Error&) {
        return cell;  // a damaged block draws empty
    }
    EachRecord(run, x - x % kCells, y - y % kCells, [&](int32_t cx, int32_t cy, const uint8_t* r) {
        if (cx != x || cy != y) return;
        const int32_t z = static_cast<int8_t>(r[4]);
        if (cell.statics == 0 || z >= cell.topZ) {
            cell.topZ = z;
            cell.topId = static_cast<uint16_t>(le::Load16(r));
        }
        ++cell.statics;
    });
    return cell;
}

int64_t WorldMap::StaticsInside(int32_t x1, int32_t y1, int32_t x2, int32_t y2) const {
    const Impl& m = *impl_;
    int64_t count = 0;
    for (int32_t bx = x1 / kCells; bx <= x2 / kCells; ++bx) {
        for (int32_t by = y1 / kCells; by <= y2 / kCells; ++by) {
            std::span<const uint8_t> run;
            try {
                run = RunOf(*m.files, bx * m.view.world.blockRows() + by, m.view);
            } catch (const Error&) {
                continue;
            }
            EachRecord(run, bx * kCells, by * kCells, [&](int32_t x, int32_t y, const uint8_t*) {
                count += x1 <= x && x <= x2 && y1 <= y && y <= y2;
            });
        }
    }
    return count;
}

namespace {

// The bits per sample of a PNG file, read from its header; 0 for any other file or none. A
// decoder gives 8 bits of each sample whatever the file holds, so a deeper file is told apart
// here, before its heights would be rounded.
int PngSampleBits(const std::string& path, FileSystem& fs) {
    // Signature (8), IHDR length (4) and type (4), width (4), height (4), then the bit depth.
    constexpr size_t kSignatureBytes = 8, kDepthAt = kSignatureBytes + 4 + 4 + 4 + 4;
    static constexpr uint8_t kSignature[kSignatureBytes] = {0x89, 'P',  'N',  'G',
                                                            '\r', '\n', 0x1A, '\n'};
    try {
        auto file = fs.Open(path, OpenMode::kReadOnly);
        std::array<uint8_t, kDepthAt + 1> head{};
        if (file->ReadAt(0, head) != head.size()) return 0;
        if (!std::equal(std::begin(kSignature), std::end(kSignature), head.begin())) return 0;
        if (!std::equal(head.begin() + 12, head.begin() + 16, "IHDR")) return 0;
        return head[kDepthAt];
    } catch (const std::exception&) {
        return 0;  // the picture was read already; what cannot be read here is no PNG to judge
    }
}

// A whole number of 0 or more read from a box, or -1.
int64_t Placement(const std::string& text) {
    double value = NumericValue(text);
    if (!(value >= 0 && value <= std::numeric_limits<int32_t>::max()) ||
        value != std::floor(value)) {
        return -1;
    }
    return static_cast<int64_t>(value);
}

uint64_t BlockOffset(const world::Size& size, int32_t x, int32_t y) {
    return static_cast<uint64_t>(size.BlockNumber(x, y)) * kMapBlockBytes;
}

}  // namespace

Bmp2MapOutcome RunSetHeights(const SetHeightsRequest& request, const Picture* picture,
                             const Bmp2MapHooks& hooks, FileSystem& fs) {
    using Result = Bmp2MapOutcome::Result;
    auto stop = [&](Result result, std::string text, int32_t rows, std::string why = {}) {
        text += " Heights aborted";
        if (hooks.message) hooks.message(text, std::string(kHeightsTitle));
        return Bmp2MapOutcome{result, std::move(text), rows, std::move(why)};
    };
    if (!picture) {
        if (!fs.Exists(request.bitmap)) {
            return stop(Result::kRefused, "Missing picture!", 0, request.bitmapProblem);
        }
        return stop(Result::kRefused,
                    "The picture " + request.bitmap + " cannot be read as a picture!", 0,
                    request.bitmapProblem);
    }
    if (int bits = PngSampleBits(request.bitmap, fs); bits > 8) {
        return stop(Result::kRefused,
                    "The picture " + request.bitmap + " has " + std::to_string(bits) +
                        " bits per sample; heights takes 8-bit grey pictures only!",
                    0);
    }
    const int32_t width = picture->width(), height = picture->height();
    std::vector<int32_t> colours(static_cast<size_t>(std::max(width, 0)));
    for (int32_t py = 0; py < height; ++py) {
        if ((hooks.stopRequested && hooks.stopRequested()) || StopRequested()) {
            return {Result::kStopped, "Stopped.", 0};
        }
        picture->row(py, colours.data());
        for (int32_t px = 0; px < width; ++px) {
            int32_t c = colours[static_cast<size_t>(px)];
            if (c != Grey(c & 0xFF)) {
                return stop(Result::kRefused,
                            "The picture " + request.bitmap + " is not grey at pixel " +
                                std::to_string(px) + ", " + std::to_string(py) + "!",
                            0);
            }
        }
    }
    if (hooks.picturesChecked) hooks.picturesChecked();
    std::string unsafe = CheckJobFiles({{request.bitmap, false}, {request.map, true}});
    if (!unsafe.empty()) return stop(Result::kRefused, unsafe, 0);
    int64_t x = Placement(request.x), y = Placement(request.y);
    if (x < 0 || y < 0) {
        return stop(Result::kRefused, "X and Y must be whole numbers of 0 or more!", 0);
    }
    const uint64_t length = LengthOf(request.map, fs);
    const std::optional<world::Size> size = TerrainWorld(length, request.world);
    if (!size) {
        return stop(
            Result::kRefused,
            world::SizeRefusal(request.map, length, kMapBlockBytes, "terrain file", request.world),
            0);
    }
    if (x + width > size->width || y + height > size->height) {
        return stop(Result::kRefused,
                    "The picture would end at " + std::to_string(x + width) + "x" +
                        std::to_string(y + height) + ", outside the map of " +
                        world::SizeText(*size) + "!",
                    0);
    }
    if (!fs.Exists(request.map)) {
        return stop(Result::kRefused, "The terrain file " + request.map + " does not exist!", 0);
    }
    uint64_t changed = 0;
    auto done = [&](int32_t rows) {
        if (hooks.status) hooks.status(std::string(kHeightsDone));
        Bmp2MapOutcome outcome{Result::kDone, std::string(kHeightsDone), rows};
        uint64_t cells = static_cast<uint64_t>(std::max(width, 0)) * std::max(height, 0);
        outcome.counts = Counted(changed, "cell") + " changed height, of " + std::to_string(cells) +
                         " under the picture.";
        return outcome;
    };
    if (width <= 0 || height <= 0) return done(0);
    const auto left = static_cast<int32_t>(x), top = static_cast<int32_t>(y);
    const int32_t right = left + width - 1, bottom = top + height - 1;
    int32_t row = 0;
    try {
        auto file = fs.Open(request.map, OpenMode::kReadWrite);
        // Held until the job ends, so that no other job writes the terrain file meanwhile.
        std::unique_ptr<FileLock> lock = FileLock::Try(request.map, FileLock::Mode::kExclusive);
        if (!lock) return stop(Result::kRefused, "The terrain files are in use by another job.", 0);
        const uint64_t first = BlockOffset(*size, left, top);
        const uint64_t end = BlockOffset(*size, right, bottom) + kMapBlockBytes;
        if (file->Size() < end) {
            return stop(Result::kRefused,
                        "The terrain file " + request.map + " holds " +
                            std::to_string(file->Size()) +
                            " bytes, too few for the cells under the picture!",
                        0);
        }
        KeepTerrainBlocks(request.history, request.map, *size, left, top, width, height);
        // Heights are stored in place: through a mapping where the file allows one, else each
        // run of up to 8 cells is read, its height bytes changed and written back. The step
        // keeps the old blocks from the mapping, which the job reads them through anyway.
        std::unique_ptr<FileMapping> mapping = file->Map(first, static_cast<size_t>(end - first));
        if (mapping && request.history)
            request.history->Holds(request.map, first, mapping->bytes());
        RecordedScope recorded(request.history);
        ByteBuffer run(static_cast<size_t>(kCells) * kCellBytes);
        for (; row < height; ++row) {
            if (hooks.status) hooks.status(ProgressText(row, height));
            if ((hooks.stopRequested && hooks.stopRequested()) || StopRequested()) {
                file->Sync();
                return {Result::kStopped, "Stopped.", row};
            }
            picture->row(row, colours.data());
            const int32_t cy = top + row;
            for (int32_t from = left; from <= right; from = (from / kCells + 1) * kCells) {
                int32_t to = std::min(right, (from / kCells + 1) * kCells - 1);
                uint64_t offset =
                    BlockOffset(*size, from, cy) + kBlockHeaderBytes +
                    static_cast<uint64_t>(kCellBytes) * ((cy % kCells) * kCells + from % kCells);
                auto cells = static_cast<size_t>(to - from + 1);
                uint8_t* bytes = run.data();
                if (mapping) {
                    bytes = mapping->bytes().data() + (offset - first);
                } else if (file->ReadAt(offset, std::span(run).first(cells * kCellBytes)) !=
                           cells * kCellBytes) {
                    throw Error::Io("The terrain file " + request.map + " was cut short.");
                }
                for (size_t i = 0; i < cells; ++i) {
                    int32_t grey = colours[static_cast<size_t>(from - left) + i] & 0xFF;
                    auto stored = static_cast<uint8_t>(grey - 128);
                    changed += bytes[kCellBytes * i + 2] != stored;
                    bytes[kCellBytes * i + 2] = stored;
                }
                if (!mapping) file->WriteAt(offset, std::span(run).first(cells * kCellBytes));
            }
        }
        mapping.reset();
        file->Sync();
    } catch (const std::exception& e) {
        return stop(Result::kFailed, std::string(e.what()) + ".", row);
    }
    return done(height);
}

}  // namespace vorlak
