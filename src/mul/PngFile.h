// Writes a PNG file band by band, the way BmpWriter writes a BMP, so that the picture of a whole
// world never sits in memory: 8-bit RGB, or 8-bit grey. Rows arrive top down; they are gathered
// into pieces of about `pieceBytes`, and each piece is filtered and compressed on a core of its
// own into a run of deflate blocks ending on a byte boundary, so the pieces follow one another as
// one zlib stream. Each piece goes to the file as an IDAT chunk as soon as it and those before it
// are done; at most a few pieces are held at once. The file is written beside its name and takes
// that name only on Commit(), through a sync, a rename and a sync of the folder; dropping the
// writer before that leaves no picture. Layout: docs/png-files.md.
#pragma once

#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "mul/File.h"
#include "mul/Picture.h"

namespace vorlak {

// How rows are filtered and compressed, chosen for what the picture shows; any choice gives the
// same pixels. Measured on whole-world views (docs/png-files.md): colours that change from cell to
// cell and grey heights compress best unfiltered with the fast coder (libisal's deflate); large
// areas of one colour smallest with the Paeth filter and zlib's runs only.
struct PngOptions {
    enum class Filter : uint8_t { kNone = 0, kUp = 2, kPaeth = 4 };  // the PNG filter types
    Filter filter = Filter::kNone;
    // zlib's run-length strategy (matches one byte back) instead of the fast coder.
    bool runsOnly = false;
    size_t pieceBytes = size_t{1} << 20;
};

// The heap's memory, with the elements that a resize adds left as they are: for buffers whose
// bytes are all written before they are read, and that come and go too often for AllocateLarge.
template <class T>
struct UnzeroedAllocator : std::allocator<T>, LeavesNewElements {
    template <class U>
    struct rebind {
        using other = UnzeroedAllocator<U>;
    };
    UnzeroedAllocator() = default;
    template <class U>
    UnzeroedAllocator(const UnzeroedAllocator<U>&) noexcept {}
};
using PngBytes = std::vector<uint8_t, UnzeroedAllocator<uint8_t>>;

class PngWriter {
  public:
    // Throws Error when the file cannot be created, or Error::Io for a picture without pixels.
    PngWriter(FileSystem& fs, const std::string& path, int32_t width, int32_t height, bool grey,
              const PngOptions& options = {});
    ~PngWriter();
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    // Writes `count` whole rows from row `y` down, `colours` holding width values 0x00BBGGRR per
    // row; grey pictures keep the red component. Rows must come in order, each once: throws
    // Error::InvalidArgument for a row out of turn. Throws Error when a write fails.
    void WriteRows(int32_t y, int32_t count, const int32_t* colours);
    // Writes what is left and makes the file the picture at its name; throws Error::InvalidArgument
    // when rows are missing.
    void Commit();

  private:
    struct Piece {
        PngBytes deflated;
        uint32_t adler = 1;  // of the piece's filtered bytes
        uint64_t length = 0;
    };
    void Dispatch(bool last);
    void WriteChunk(const char* type, std::span<const uint8_t> data);
    void WriteDone(Piece piece);

    AtomicFile file_;
    int32_t width_, height_;
    bool grey_;
    size_t rowBytes_;  // the filter byte and the pixels
    PngOptions options_;
    int32_t nextRow_ = 0;
    uint64_t offset_ = 0;
    uint32_t adler_ = 1;  // of the filtered bytes of the pieces written
    bool first_ = true;
    PngBytes pending_;               // rows not yet handed out, unfiltered
    std::vector<uint8_t> previous_;  // the last row handed out, unfiltered, for the next filter
    std::deque<std::future<Piece>> busy_;  // in order; waited for before the file goes
};

// Reads a PNG file row by row for jobs that take a picture's rows in order (Bmp->Map), so that
// the picture never sits in memory whole. Takes what the views write: 8-bit grey or RGB, not
// interlaced, with no chunk that could change how its colours read. Open() goes through the
// whole file first (every chunk's length and CRC, the rows' count, length and filter, the
// stream's checksum), so that a job started on its rows meets no fault halfway.
class PngRows final : public Picture {
  public:
    // Null when the file is no regular file, no PNG of the kind taken, or damaged in any way;
    // callers then read it the general way, which tells the cause.
    static std::unique_ptr<PngRows> Open(FileSystem& fs, const std::string& path);
    // The same for the bytes of a file.
    static std::unique_ptr<PngRows> FromBytes(std::vector<uint8_t> bytes);
    ~PngRows() override;
    int32_t width() const override;
    int32_t height() const override;
    // Rows are decoded in batches on a thread of their own, the next batch while the job works
    // on this one; a row out of turn starts again from the top, so asking in order costs one
    // pass.
    void row(int32_t y, int32_t* out) const override;
    int32_t pixel(int32_t x, int32_t y) const override;

    struct Layout;  // what the chunks say, and where decoding stands
    struct Batch {
        int32_t first = 0, count = 0;
        std::vector<int32_t> colours;
    };

  private:
    explicit PngRows(std::unique_ptr<Layout> layout);
    std::unique_ptr<Layout> layout_;
    mutable Batch ready_;
    mutable std::future<Batch> next_;  // works on *layout_; waited for before it goes
};

}  // namespace vorlak
