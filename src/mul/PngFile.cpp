#include "mul/PngFile.h"

#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "mul/Error.h"

namespace vorlak {
namespace {

constexpr std::array<uint8_t, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kChunkFrameBytes = 4 + 4 + 4;  // length, type, CRC around the data
constexpr uint8_t kColourTypeGrey = 0, kColourTypeRgb = 2;
// zlib's header for a 32 KiB window and its fastest level (FLEVEL 0); 0x7801 is a multiple of 31.
constexpr std::array<uint8_t, 2> kZlibHeader{0x78, 0x01};
// zlib's level 1 with runs only, for pictures that are mostly runs (docs/png-files.md).
constexpr int kRunsLevel = 1;
// A small match table: runs do not use it, but zlib moves it along every 32 KiB of input, which
// at the largest table took more time than the runs themselves; below 6 the blocks get short
// and the picture larger.
constexpr int kMemLevel = 6;
// The fast coder's level 1: several times faster than zlib's level 1, and as small on maps.
constexpr int kFastLevel = 1;

void PutBig32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// Deflates `raw` into a run of blocks that ends on a byte boundary (a sync flush), or, for the
// last piece, with the final block; each piece starts afresh, so pieces compress side by side.
PngBytes DeflateRuns(const PngBytes& raw, bool last) {
    z_stream z{};
    if (deflateInit2(&z, kRunsLevel, Z_DEFLATED, -15, kMemLevel, Z_RLE) != Z_OK) {
        throw Error::Io("There is no room to compress the picture.");
    }
    // Room for the worst case and a flush marker: one call takes all of `raw`.
    PngBytes out(deflateBound(&z, static_cast<uLong>(raw.size())) + 16);
    z.next_in = const_cast<Bytef*>(raw.data());
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    const size_t done = out.size() - z.avail_out;
    const bool whole = z.avail_in == 0 && result == (last ? Z_STREAM_END : Z_OK);
    deflateEnd(&z);
    if (!whole) throw Error::Io("The picture could not be compressed.");
    out.resize(done);
    return out;
}

// The same with the fast coder. Its state is large, so it lives on the heap.
PngBytes DeflateFast(const PngBytes& raw, bool last) {
    auto z = std::make_unique_for_overwrite<isal_zstream>();
    std::vector<uint8_t> levelBuffer(ISAL_DEF_LVL1_DEFAULT);
    isal_deflate_init(z.get());
    z->level = kFastLevel;
    z->level_buf = levelBuffer.data();
    z->level_buf_size = static_cast<uint32_t>(levelBuffer.size());
    z->flush = last ? NO_FLUSH : SYNC_FLUSH;
    z->end_of_stream = last ? 1 : 0;
    z->next_in = const_cast<uint8_t*>(raw.data());
    z->avail_in = static_cast<uint32_t>(raw.size());
    // Stored blocks bound what the coder writes: the bytes and 5 per block of up to 64 KiB.
    PngBytes out(raw.size() + raw.size() / 8192 + 64);
    size_t done = 0;
    // All input is in and flushed once the coder stops short of filling the room it was given;
    // the last piece also waits for the end of the stream.
    do {
        if (done == out.size()) out.resize(out.size() * 2);
        z->next_out = out.data() + done;
        z->avail_out = static_cast<uint32_t>(out.size() - done);
        if (isal_deflate(z.get()) != COMP_OK) {
            throw Error::Io("The picture could not be compressed.");
        }
        done = out.size() - z->avail_out;
    } while (z->avail_out == 0 || (last && z->internal_state.state != ZSTATE_END));
    out.resize(done);
    return out;
}

// The Paeth predictor: of left, up and upper left, the one nearest to left + up - upper left. The
// distances are written without branches (|p - a| = |b - c| and so on) so that the compiler
// takes many bytes at a time.
inline int PaethPredictor(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return ((pa <= pb) & (pa <= pc)) ? a : pb <= pc ? b : c;
}

#ifdef __SSE2__
// The Paeth filter of the 8 bytes whose left, up and up-left neighbours are `a`, `b`, `c`, each
// widened to 16 bits: the predictor of each byte, as PaethPredictor gives it.
inline __m128i PaethPredictors(__m128i a, __m128i b, __m128i c) {
    const __m128i zero = _mm_setzero_si128();
    auto abs16 = [zero](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
    __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
    __m128i pa = abs16(bc), pb = abs16(ac), pc = abs16(_mm_add_epi16(bc, ac));
    __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
    __m128i notB = _mm_cmpgt_epi16(pb, pc);
    __m128i bOrC = _mm_or_si128(_mm_andnot_si128(notB, b), _mm_and_si128(notB, c));
    return _mm_or_si128(_mm_andnot_si128(notA, a), _mm_and_si128(notA, bOrC));
}
#endif

// Paeth-filters one row of `count` bytes. `current` and `up` are unfiltered, and the bytes left of
// the first pixel count as zeros.
void PaethRow(uint8_t* __restrict out, const uint8_t* __restrict current,
              const uint8_t* __restrict up, size_t count, size_t bpp) {
    size_t i = 0;
    for (; i < bpp && i < count; ++i) out[i] = static_cast<uint8_t>(current[i] - up[i]);
#ifdef __SSE2__
    // Sixteen bytes a step: each byte's predictor depends on the unfiltered bytes only.
    const __m128i zero = _mm_setzero_si128();
    auto load = [](const uint8_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    };
    for (; i + 16 <= count; i += 16) {
        __m128i a = load(current + i - bpp), b = load(up + i), c = load(up + i - bpp);
        __m128i low = PaethPredictors(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero),
                                      _mm_unpacklo_epi8(c, zero));
        __m128i high = PaethPredictors(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero),
                                       _mm_unpackhi_epi8(c, zero));
        __m128i predicted = _mm_packus_epi16(low, high);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_sub_epi8(load(current + i), predicted));
    }
#endif
    for (; i < count; ++i) {
        out[i] =
            static_cast<uint8_t>(current[i] - PaethPredictor(current[i - bpp], up[i], up[i - bpp]));
    }
}

// Filters whole rows in place, the last first, so that each row still sees the unfiltered row
// above it; `above` is the row above the first. Each row starts with the byte that names its
// filter.
void FilterRows(PngBytes& rows, const std::vector<uint8_t>& above, size_t rowBytes, size_t bpp,
                PngOptions::Filter filter) {
    using F = PngOptions::Filter;
    std::vector<uint8_t> current(rowBytes);  // the row being filtered, as it was
    for (size_t at = rows.size(); at >= rowBytes; at -= rowBytes) {
        uint8_t* row = rows.data() + at - rowBytes;
        const uint8_t* up = at == rowBytes ? above.data() : row - rowBytes;
        row[0] = static_cast<uint8_t>(filter);
        if (filter == F::kUp) {
            for (size_t i = 1; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(row[i] - up[i]);
        } else if (filter == F::kPaeth) {
            std::copy_n(row + 1, rowBytes - 1, current.begin());
            PaethRow(row + 1, current.data(), up + 1, rowBytes - 1, bpp);
        }
    }
}

// How many pieces may be compressing at once: one per core, at least two so that drawing and
// compressing overlap, and few, since each holds a piece's bytes.
size_t PiecesInFlight() { return std::clamp<size_t>(std::thread::hardware_concurrency(), 2, 4); }

}  // namespace

PngWriter::PngWriter(FileSystem& fs, const std::string& path, int32_t width, int32_t height,
                     bool grey, const PngOptions& options)
    : file_(fs, path), width_(width), height_(height), grey_(grey), options_(options) {
    if (width <= 0 || height <= 0) throw Error::Io("A picture needs at least one pixel.");
    rowBytes_ = 1 + static_cast<size_t>(width) * (grey ? 1 : 3);
    std::vector<uint8_t> header;
    PutBig32(header, static_cast<uint32_t>(width));
    PutBig32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, grey ? kColourTypeGrey : kColourTypeRgb, 0, 0, 0});
    file_.file().WriteAt(0, kSignature);
    offset_ = kSignature.size();
    WriteChunk("IHDR", header);
    previous_.assign(rowBytes_, 0);  // the row above the first reads as zeros
}

// The pieces still compressing are waited for (a future from std::async waits when dropped);
// then the temporary file goes.
PngWriter::~PngWriter() = default;

void PngWriter::WriteRows(int32_t y, int32_t count, const int32_t* colours) {
    if (y != nextRow_ || count <= 0 || count > height_ - y) {
        throw Error::InvalidArgument("Rows " + std::to_string(y) + " to " +
                                     std::to_string(y + count - 1) +
                                     " do not follow the rows written.");
    }
    for (int32_t r = 0; r < count; ++r) {
        const int32_t* in = colours + static_cast<size_t>(r) * static_cast<size_t>(width_);
        const size_t at = pending_.size();
        pending_.resize(at + rowBytes_);
        uint8_t* out = pending_.data() + at + 1;  // after the filter byte
        if (grey_) {
            for (int32_t x = 0; x < width_; ++x) out[x] = static_cast<uint8_t>(in[x]);
        } else {
            // Red, green, blue: the low three bytes of each value. Where they lie first in
            // memory, they are stored four at a time, each store's fourth byte overwritten by the
            // next; the last pixel on its own.
            int32_t x = 0;
            if constexpr (std::endian::native == std::endian::little) {
                for (; x + 1 < width_; ++x, out += 3) std::memcpy(out, in + x, 4);
            }
            for (; x < width_; ++x, out += 3) {
                auto c = static_cast<uint32_t>(in[x]);
                out[0] = static_cast<uint8_t>(c);
                out[1] = static_cast<uint8_t>(c >> 8);
                out[2] = static_cast<uint8_t>(c >> 16);
            }
        }
        ++nextRow_;
        if (pending_.size() >= options_.pieceBytes || nextRow_ == height_) {
            Dispatch(nextRow_ == height_);
        }
    }
}

void PngWriter::Dispatch(bool last) {
    // Wait for the oldest piece when enough are under way, so that memory stays bounded.
    while (busy_.size() >= PiecesInFlight()) {
        Piece done = busy_.front().get();
        busy_.pop_front();
        WriteDone(std::move(done));
    }
    // The piece is filtered and compressed on a thread of its own; it takes the last row of the
    // piece before it, for the filter, and leaves its own last row for the next.
    std::vector<uint8_t> above(previous_.begin(), previous_.end());
    previous_.assign(pending_.end() - static_cast<ptrdiff_t>(rowBytes_), pending_.end());
    busy_.push_back(std::async(
        std::launch::async,
        [raw = std::move(pending_), above = std::move(above), last, options = options_,
         rowBytes = rowBytes_, bpp = size_t{grey_ ? 1u : 3u}]() mutable {
            FilterRows(raw, above, rowBytes, bpp, options.filter);
            Piece piece;
            piece.deflated = options.runsOnly ? DeflateRuns(raw, last) : DeflateFast(raw, last);
            piece.adler = isal_adler32(1, raw.data(), raw.size());
            piece.length = raw.size();
            return piece;
        }));
    pending_ = {};
    pending_.reserve(options_.pieceBytes + rowBytes_);
}

void PngWriter::WriteDone(Piece piece) {
    adler_ = static_cast<uint32_t>(
        adler32_combine(adler_, piece.adler, static_cast<z_off_t>(piece.length)));
    std::vector<uint8_t> data;
    data.reserve(piece.deflated.size() + kZlibHeader.size());
    if (first_) data.insert(data.end(), kZlibHeader.begin(), kZlibHeader.end());
    first_ = false;
    data.insert(data.end(), piece.deflated.begin(), piece.deflated.end());
    WriteChunk("IDAT", data);
}

void PngWriter::WriteChunk(const char* type, std::span<const uint8_t> data) {
    if (data.size() > std::numeric_limits<int32_t>::max()) {
        throw Error::Io("A piece of the picture is too large for a PNG chunk.");
    }
    std::vector<uint8_t> chunk;
    chunk.reserve(data.size() + kChunkFrameBytes);
    PutBig32(chunk, static_cast<uint32_t>(data.size()));
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    uLong crc = crc32(0, nullptr, 0);
    crc = crc32(crc, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4));
    PutBig32(chunk, static_cast<uint32_t>(crc));
    file_.file().WriteAt(offset_, chunk);
    offset_ += chunk.size();
}

void PngWriter::Commit() {
    if (nextRow_ != height_) {
        throw Error::InvalidArgument("The picture lacks rows " + std::to_string(nextRow_) + " to " +
                                     std::to_string(height_ - 1) + ".");
    }
    while (!busy_.empty()) {
        Piece done = busy_.front().get();
        busy_.pop_front();
        WriteDone(std::move(done));
    }
    std::vector<uint8_t> check;
    PutBig32(check, adler_);
    WriteChunk("IDAT", check);
    WriteChunk("IEND", {});
    file_.Commit();
}

namespace {

uint32_t Big32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// Ancillary chunks that change nothing in how the pixels read; any other one (a gamma, a colour
// profile, a transparent colour) leaves the picture to the general reader.
bool Harmless(std::string_view type) {
    return type == "tEXt" || type == "zTXt" || type == "iTXt" || type == "tIME" || type == "pHYs";
}

// Larger pictures go the general way, which has its own limits.
constexpr uint64_t kMostPixels = uint64_t{1} << 28;

// Undoes a row's filter in place; `up` is the row above, unfiltered (zeros above the first row).
// False for a filter type that PNG does not have.
bool Unfilter(uint8_t filter, uint8_t* row, const uint8_t* up, size_t count, size_t bpp) {
    switch (filter) {
        case 0:
            return true;
        case 1:
            for (size_t i = bpp; i < count; ++i)
                row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
            return true;
        case 2:
            for (size_t i = 0; i < count; ++i) row[i] = static_cast<uint8_t>(row[i] + up[i]);
            return true;
        case 3:
            for (size_t i = 0; i < count; ++i) {
                const int left = i < bpp ? 0 : row[i - bpp];
                row[i] = static_cast<uint8_t>(row[i] + (left + up[i]) / 2);
            }
            return true;
        case 4:
            for (size_t i = 0; i < count; ++i) {
                const int predictor =
                    i < bpp ? up[i] : PaethPredictor(row[i - bpp], up[i], up[i - bpp]);
                row[i] = static_cast<uint8_t>(row[i] + predictor);
            }
            return true;
        default:
            return false;
    }
}

}  // namespace

struct PngRows::Layout {
    std::vector<uint8_t> bytes;  // the whole file
    int32_t width = 0, height = 0;
    bool grey = false;
    size_t samples = 0;  // bytes of a row after its filter byte
    std::vector<std::span<const uint8_t>> idat;

    // Where decoding stands: the inflater, the next IDAT chunk for it, the row that comes next
    // and the one before it, unfiltered.
    std::unique_ptr<inflate_state> inflater = std::make_unique_for_overwrite<inflate_state>();
    size_t nextIdat = 0;
    int32_t nextRow = 0;
    std::vector<uint8_t> filtered, current, previous;

    // Walks the chunks; false for anything not taken or damaged.
    bool ReadChunks() {
        if (bytes.size() < kSignature.size() ||
            !std::equal(kSignature.begin(), kSignature.end(), bytes.begin())) {
            return false;
        }
        size_t at = kSignature.size();
        bool ended = false, idatEnded = false;
        while (!ended) {
            if (bytes.size() - at < kChunkFrameBytes) return false;
            const uint32_t length = Big32(bytes.data() + at);
            if (length > bytes.size() - at - kChunkFrameBytes) return false;
            const uint8_t* type = bytes.data() + at + 4;
            const uint8_t* data = type + 4;
            if (crc32(crc32(0, nullptr, 0), type, length + 4) != Big32(data + length)) return false;
            const std::string_view name(reinterpret_cast<const char*>(type), 4);
            if ((at == kSignature.size()) != (name == "IHDR")) return false;
            if (!idat.empty() && name != "IDAT") idatEnded = true;
            if (name == "IHDR") {
                // Width, height, bit depth, colour type, compression, filter, interlace.
                if (length != 4 + 4 + 1 + 1 + 1 + 1 + 1) return false;
                const uint32_t w = Big32(data), h = Big32(data + 4);
                grey = data[9] == kColourTypeGrey;
                if (w == 0 || h == 0 || uint64_t{w} * h > kMostPixels || data[8] != 8 ||
                    (data[9] != kColourTypeGrey && data[9] != kColourTypeRgb) || data[10] != 0 ||
                    data[11] != 0 || data[12] != 0) {
                    return false;
                }
                width = static_cast<int32_t>(w);
                height = static_cast<int32_t>(h);
                samples = size_t{w} * (grey ? 1 : 3);
            } else if (name == "IDAT") {
                if (idatEnded) return false;
                idat.emplace_back(data, length);
            } else if (name == "IEND") {
                ended = true;
            } else if (!Harmless(name)) {
                return false;
            }
            at += kChunkFrameBytes + length;
        }
        return !idat.empty();
    }

    void Start() {
        isal_inflate_init(inflater.get());
        inflater->crc_flag = ISAL_ZLIB;  // reads the zlib header and checks the Adler-32 at the end
        nextIdat = 0;
        nextRow = 0;
        filtered.assign(samples + 1, 0);
        current.assign(samples, 0);
        previous.assign(samples, 0);
    }

    // Inflates into `out` to its end or to the end of the stream; returns the bytes made, or
    // nothing when the stream is damaged or cut short before either.
    std::optional<size_t> Inflate(std::span<uint8_t> out) {
        inflate_state& z = *inflater;
        z.next_out = out.data();
        z.avail_out = static_cast<uint32_t>(out.size());
        while (z.avail_out > 0 && z.block_state != ISAL_BLOCK_FINISH) {
            if (z.avail_in == 0 && nextIdat < idat.size()) {
                z.next_in = const_cast<uint8_t*>(idat[nextIdat].data());
                z.avail_in = static_cast<uint32_t>(idat[nextIdat].size());
                ++nextIdat;
            }
            const uint32_t in = z.avail_in, room = z.avail_out;
            const int result = isal_inflate(&z);
            if (result < 0 || result == ISAL_NEED_DICT) return std::nullopt;
            if (z.avail_in == in && z.avail_out == room && z.block_state != ISAL_BLOCK_FINISH) {
                return std::nullopt;  // no more input
            }
        }
        return out.size() - z.avail_out;
    }

    // Inflates the next row and, when `unfilter`, undoes its filter into `current`.
    bool NextRow(bool unfilter) {
        if (Inflate(filtered) != filtered.size() || filtered[0] > 4) return false;
        ++nextRow;
        if (!unfilter) return true;
        std::swap(current, previous);
        std::copy(filtered.begin() + 1, filtered.end(), current.begin());
        return Unfilter(filtered[0], current.data(), previous.data(), samples, grey ? 1 : 3);
    }

    // True when the stream ends right after the last row, its checksum right, and no chunk
    // holds more.
    bool Ended() {
        uint8_t spare = 0;
        return Inflate({&spare, 1}) == size_t{0} && inflater->avail_in == 0 &&
               nextIdat == idat.size();
    }
};

std::unique_ptr<PngRows> PngRows::Open(FileSystem& fs, const std::string& path) {
    if (!CheckJobFiles({{path}}).empty()) return nullptr;
    std::vector<uint8_t> bytes;
    try {
        std::unique_ptr<RandomAccessFile> file = fs.Open(path, OpenMode::kReadOnly);
        const uint64_t size = file->Size();
        if (size > std::numeric_limits<uint32_t>::max()) return nullptr;
        bytes.resize(static_cast<size_t>(size));
        if (file->ReadAt(0, bytes) != bytes.size()) return nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
    return FromBytes(std::move(bytes));
}

std::unique_ptr<PngRows> PngRows::FromBytes(std::vector<uint8_t> bytes) {
    if (bytes.size() > std::numeric_limits<uint32_t>::max()) return nullptr;
    auto layout = std::make_unique<Layout>();
    layout->bytes = std::move(bytes);
    if (!layout->ReadChunks()) return nullptr;
    // The whole stream once, without undoing the filters, so that its rows hold no surprise.
    layout->Start();
    for (int32_t y = 0; y < layout->height; ++y) {
        if (!layout->NextRow(false)) return nullptr;
    }
    if (!layout->Ended()) return nullptr;
    layout->Start();
    return std::unique_ptr<PngRows>(new PngRows(std::move(layout)));
}

PngRows::PngRows(std::unique_ptr<Layout> layout) : layout_(std::move(layout)) {}
PngRows::~PngRows() = default;
int32_t PngRows::width() const { return layout_->width; }
int32_t PngRows::height() const { return layout_->height; }

namespace {

constexpr int32_t kBatchRows = 64;

// Decodes the rows from `first` on, at most a batch of them, going on from where `l` stands.
PngRows::Batch DecodeBatch(PngRows::Layout& l, int32_t first) {
    if (first < l.nextRow) l.Start();
    PngRows::Batch batch;
    batch.first = first;
    batch.count = std::min(kBatchRows, l.height - first);
    batch.colours.resize(static_cast<size_t>(batch.count) * static_cast<size_t>(l.width));
    int32_t* out = batch.colours.data();
    // The file was checked whole when opened, so no row fails here.
    while (l.nextRow < first + batch.count) {
        [[maybe_unused]] const bool made = l.NextRow(true);
        assert(made);
        if (l.nextRow <= first) continue;
        const uint8_t* in = l.current.data();
        if (l.grey) {
            for (int32_t x = 0; x < l.width; ++x) *out++ = Rgb(in[x], in[x], in[x]);
        } else {
            for (int32_t x = 0; x < l.width; ++x, in += 3) *out++ = Rgb(in[0], in[1], in[2]);
        }
    }
    return batch;
}

}  // namespace

void PngRows::row(int32_t y, int32_t* out) const {
    auto holds = [&] { return y >= ready_.first && y < ready_.first + ready_.count; };
    if (!holds()) {
        if (next_.valid()) ready_ = next_.get();
        if (!holds()) ready_ = DecodeBatch(*layout_, y);
        if (const int32_t from = ready_.first + ready_.count; from < layout_->height) {
            next_ = std::async(std::launch::async, [layout = layout_.get(), from] {
                return DecodeBatch(*layout, from);
            });
        }
    }
    const size_t width = static_cast<size_t>(layout_->width);
    std::copy_n(ready_.colours.begin() + static_cast<ptrdiff_t>((y - ready_.first) * width), width,
                out);
}

int32_t PngRows::pixel(int32_t x, int32_t y) const {
    std::vector<int32_t> colours(static_cast<size_t>(layout_->width));
    row(y, colours.data());
    return colours[static_cast<size_t>(x)];
}

}  // namespace vorlak
