#include "mul/PngFile.h"

#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <memory>
#include <thread>

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
constexpr int kMemLevel = 9;  // zlib's largest match table: a little smaller, no slower
// The fast coder's level 1: several times faster than zlib's level 1, and as small on maps.
constexpr int kFastLevel = 1;

void PutBig32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// Deflates `raw` into a run of blocks that ends on a byte boundary (a sync flush), or, for the
// last piece, with the final block; each piece starts afresh, so pieces compress side by side.
std::vector<uint8_t> DeflateRuns(const std::vector<uint8_t>& raw, bool last) {
    z_stream z{};
    if (deflateInit2(&z, kRunsLevel, Z_DEFLATED, -15, kMemLevel, Z_RLE) != Z_OK) {
        throw Error::Io("There is no room to compress the picture.");
    }
    std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(raw.size())) + 16);
    z.next_in = const_cast<Bytef*>(raw.data());
    z.avail_in = static_cast<uInt>(raw.size());
    int result = Z_OK;
    size_t done = 0;
    do {
        if (done == out.size()) out.resize(out.size() * 2);
        z.next_out = out.data() + done;
        z.avail_out = static_cast<uInt>(out.size() - done);
        result = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
        done = out.size() - z.avail_out;
    } while (result == Z_OK && (z.avail_out == 0 || (last && result != Z_STREAM_END)));
    deflateEnd(&z);
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
        throw Error::Io("The picture could not be compressed.");
    }
    out.resize(done);
    return out;
}

// The same with the fast coder. Its state is large, so it lives on the heap.
std::vector<uint8_t> DeflateFast(const std::vector<uint8_t>& raw, bool last) {
    auto z = std::make_unique<isal_zstream>();
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
    std::vector<uint8_t> out(raw.size() + raw.size() / 8192 + 64);
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

// Paeth-filters one row: each byte less the predictor, the one of left, up and upper left nearest
// to left + up - upper left; the distances are written without branches (|p - a| = |b - c| and so
// on) so that the compiler takes many bytes at a time. `current` and `up` are unfiltered, and the
// bytes left of the first pixel count as zeros.
void PaethRow(uint8_t* __restrict out, const uint8_t* __restrict current,
              const uint8_t* __restrict up, size_t count, size_t bpp) {
    for (size_t i = 0; i < bpp && i < count; ++i) out[i] = static_cast<uint8_t>(current[i] - up[i]);
    for (size_t i = bpp; i < count; ++i) {
        const int a = current[i - bpp], b = up[i], c = up[i - bpp];
        const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
        const int predictor = (pa <= pb) & (pa <= pc) ? a : pb <= pc ? b : c;
        out[i] = static_cast<uint8_t>(current[i] - predictor);
    }
}

// Filters whole rows in place, the last first, so that each row still sees the unfiltered row
// above it; `above` is the row above the first. Each row starts with the byte that names its
// filter.
void FilterRows(std::vector<uint8_t>& rows, const std::vector<uint8_t>& above, size_t rowBytes,
                size_t bpp, PngOptions::Filter filter) {
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
            for (int32_t x = 0; x < width_; ++x, out += 3) {
                auto c = static_cast<uint32_t>(in[x]);
                out[0] = static_cast<uint8_t>(c);  // red, green, blue
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

}  // namespace vorlak
