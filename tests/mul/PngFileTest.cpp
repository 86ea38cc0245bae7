// The PNG writer: whatever the pieces and however the rows arrive, one standard picture that an
// independent reader (and pngcheck, where installed) takes back with the same pixels.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <vector>

#include "mul/BmpFile.h"
#include "mul/Error.h"
#include "mul/PngFile.h"
#include "support/PngReader.h"
#include "support/TestFiles.h"
#include "support/WholeFile.h"

namespace vorlak {
namespace {

using F = PngOptions::Filter;

// Colours that repeat along rows and down columns, as maps do, with some noise.
std::vector<int32_t> Colours(int32_t width, int32_t height, bool grey) {
    std::vector<int32_t> colours(static_cast<size_t>(width) * static_cast<size_t>(height));
    uint32_t noise = 12345;
    for (size_t i = 0; i < colours.size(); ++i) {
        noise = noise * 1103515245 + 12345;
        auto x = static_cast<int32_t>(i % static_cast<size_t>(width));
        auto y = static_cast<int32_t>(i / static_cast<size_t>(width));
        int32_t v = (x / 8 + y / 8) % 3 == 0 ? static_cast<int32_t>(noise >> 24) : x * 7 + y;
        colours[i] = grey ? Rgb(v & 0xFF, v & 0xFF, v & 0xFF)
                          : Rgb(v & 0xFF, (v * 3) & 0xFF, (v >> 3) & 0xFF);
    }
    return colours;
}

bool PngcheckAccepts(const std::string& path) {
    if (std::system("command -v pngcheck >/dev/null 2>&1") != 0) return true;  // not installed
    return std::system(("pngcheck -q '" + path + "' >/dev/null").c_str()) == 0;
}

TEST(PngWriter, PiecesAndRowBatchesMakeOnePicture) {
    constexpr size_t kDefault = PngOptions{}.pieceBytes;
    struct Case {
        int32_t width, height;
        bool grey;
        PngOptions options;
        int32_t rowsPerCall;
    } cases[] = {
        {1, 1, false, {F::kNone, false, kDefault}, 1},
        {37, 53, false, {F::kUp, false, 1}, 1},     // every row a piece of its own
        {37, 53, true, {F::kPaeth, true, 100}, 7},  // pieces of a row or two; batches across them
        {300, 20, false, {F::kPaeth, false, 2000}, 20},
        {64, 64, true, {F::kUp, true, 500}, 64},
        {1000, 600, false, {F::kNone, true, kDefault}, 512},  // more than one default piece
    };
    test::TempDir dir;
    const std::string path = dir.path("p.png");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const std::vector<int32_t> colours = Colours(c.width, c.height, c.grey);
        PngWriter writer(DefaultFileSystem(), path, c.width, c.height, c.grey, c.options);
        for (int32_t y = 0; y < c.height; y += c.rowsPerCall) {
            writer.WriteRows(y, std::min(c.rowsPerCall, c.height - y),
                             colours.data() + static_cast<size_t>(y) * c.width);
        }
        writer.Commit();
        std::string why;
        std::optional<test::ReadPng> read = test::ReadPngFile(path, &why);
        ASSERT_TRUE(read) << why;
        EXPECT_EQ(read->grey, c.grey);
        // Our own row reader gives the same rows, in order and again from the top.
        std::unique_ptr<PngRows> rows = PngRows::Open(DefaultFileSystem(), path);
        ASSERT_TRUE(rows);
        for (const Picture* picture :
             std::vector<const Picture*>{&read->picture, rows.get(), rows.get()}) {
            ASSERT_EQ(std::pair(picture->width(), picture->height()), std::pair(c.width, c.height));
            std::vector<int32_t> row(static_cast<size_t>(c.width));
            for (int32_t y = 0; y < c.height; ++y) {
                picture->row(y, row.data());
                ASSERT_TRUE(std::equal(row.begin(), row.end(), colours.begin() + y * c.width)) << y;
            }
        }
        EXPECT_TRUE(PngcheckAccepts(path));
        // Any byte changed (on every other byte with its chunk's CRC made right again, so that the
        // checks behind it are reached) or the file cut anywhere: our reader takes it no more.
        const test::Bytes bytes = test::ReadAll(path);
        auto fixCrcs = [](test::Bytes& b) {
            for (size_t k = 8, n; k + 12 <= b.size(); k += n + 12) {
                n = size_t{b[k]} << 24 | size_t{b[k + 1]} << 16 | size_t{b[k + 2]} << 8 | b[k + 3];
                if (n > b.size() - k - 12) break;
                const uLong crc = crc32(0, &b[k + 4], static_cast<uInt>(n + 4));
                for (int i = 0; i < 4; ++i)
                    b[k + 8 + n + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
            }
        };
        if (c.width == 1) {
            // A header one byte longer than its fields, framed right; a stream cut short in a
            // chunk framed right (its checksum and last byte of data dropped).
            test::Bytes longer = bytes;
            longer.insert(longer.begin() + 29, uint8_t{0});
            longer[11] = 14;
            fixCrcs(longer);
            EXPECT_FALSE(PngRows::FromBytes(longer));
            test::Bytes cut = bytes;
            const size_t idat = 33, length = cut[idat + 3];  // the chunk after the header
            ASSERT_EQ(std::string(cut.begin() + idat + 4, cut.begin() + idat + 8), "IDAT");
            cut.erase(cut.begin() + static_cast<ptrdiff_t>(idat + 8 + length - 5),
                      cut.begin() + static_cast<ptrdiff_t>(idat + 8 + length));
            cut[idat + 3] = static_cast<uint8_t>(length - 5);
            fixCrcs(cut);
            EXPECT_FALSE(PngRows::FromBytes(cut));
        }
        if (c.options.pieceBytes == 1) {
            // Without its last row's piece and the checksum, the stream ends where a piece does:
            // the reader refuses it rather than wait for more.
            std::vector<size_t> idat;
            for (size_t k = 8, n; k + 12 <= bytes.size(); k += n + 12) {
                n = size_t{bytes[k + 2]} << 8 | bytes[k + 3];
                if (std::string(bytes.begin() + k + 4, bytes.begin() + k + 8) == "IDAT") {
                    idat.push_back(k);
                }
            }
            ASSERT_GE(idat.size(), 3u);
            test::Bytes cut = bytes;
            cut.erase(cut.begin() + static_cast<ptrdiff_t>(idat[idat.size() - 2]),
                      cut.begin() + static_cast<ptrdiff_t>(idat.back() + 16));
            EXPECT_FALSE(PngRows::FromBytes(cut));
        }
        for (size_t at = 0; c.width == 1 && at < bytes.size(); ++at) {
            test::Bytes b = bytes;
            b[at] ^= 0xFF;
            if (at % 2) fixCrcs(b);
            EXPECT_TRUE(b == bytes || !PngRows::FromBytes(b)) << at;
            EXPECT_FALSE(PngRows::FromBytes({bytes.begin(), bytes.begin() + ptrdiff_t(at)})) << at;
        }
    }
}

// A picture of no pixels is refused before a file is made, in either format.
TEST(PictureWriters, RefuseAPictureWithoutPixels) {
    test::TempDir dir;
    for (auto [width, height] : {std::pair{0, 1}, {1, 0}, {-1, 5}}) {
        EXPECT_THROW(BmpWriter(DefaultFileSystem(), dir.path("p.bmp"), width, height, false),
                     Error);
        EXPECT_THROW(PngWriter(DefaultFileSystem(), dir.path("p.png"), width, height, true), Error);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.root()));
}

// Rows are compressed as they come, so they must come in order; a picture short of rows is no
// picture, and neither leaves a file.
TEST(PngWriter, RowsOutOfTurnOrMissingAreRefusedAndLeaveNothing) {
    test::TempDir dir;
    const std::string path = dir.path("p.png");
    const std::vector<int32_t> colours = Colours(4, 4, false);
    {
        PngWriter writer(DefaultFileSystem(), path, 4, 4, false);
        EXPECT_THROW(writer.WriteRows(1, 1, colours.data()), Error);
        EXPECT_THROW(writer.WriteRows(0, 0, colours.data()), Error);
        writer.WriteRows(0, 2, colours.data());
        EXPECT_THROW(writer.WriteRows(2, 3, colours.data()), Error);  // past the last row
        EXPECT_THROW(writer.Commit(), Error);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.root()));
}

}  // namespace
}  // namespace vorlak
