// The PNG writer: whatever the pieces and however the rows arrive, one standard picture that an
// independent reader (and pngcheck, where installed) takes back with the same pixels.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <vector>

#include "mul/Error.h"
#include "mul/PngFile.h"
#include "support/PngReader.h"
#include "support/TestFiles.h"
#include "support/WholeFile.h"

namespace vorlak {
namespace {

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
    using F = PngOptions::Filter;
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
        const Picture* ours = rows.get();
        for (const Picture* picture : {static_cast<const Picture*>(&read->picture), ours, ours}) {
            ASSERT_EQ(picture->width(), c.width);
            ASSERT_EQ(picture->height(), c.height);
            std::vector<int32_t> row(static_cast<size_t>(c.width));
            for (int32_t y = 0; y < c.height; ++y) {
                picture->row(y, row.data());
                ASSERT_TRUE(std::equal(row.begin(), row.end(), colours.begin() + y * c.width)) << y;
            }
        }
        EXPECT_TRUE(PngcheckAccepts(path));
    }
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
        writer.WriteRows(0, 2, colours.data());
        EXPECT_THROW(writer.WriteRows(2, 3, colours.data()), Error);  // past the last row
        EXPECT_THROW(writer.Commit(), Error);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.root()));
}

// The row reader takes no damaged file: any byte changed (its chunk's CRC made right again or
// not) or the file cut anywhere leaves the picture to the general reader.
TEST(PngRows, EveryChangedByteOrCutIsRefused) {
    test::TempDir dir;
    const std::string good = dir.path("good.png"), bad = dir.path("bad.png");
    const std::vector<int32_t> colours = Colours(9, 5, false);
    PngWriter writer(DefaultFileSystem(), good, 9, 5, false,
                     {PngOptions::Filter::kPaeth, false, 60});
    writer.WriteRows(0, 5, colours.data());
    writer.Commit();
    const test::Bytes bytes = test::ReadAll(good);
    for (size_t at = 0; at < bytes.size(); ++at) {
        for (bool fixCrc : {false, true}) {
            test::Bytes changed = bytes;
            changed[at] ^= 0xFF;
            for (size_t chunk = 8, length; fixCrc && chunk + 12 <= changed.size();
                 chunk += length) {
                length = size_t{changed[chunk]} << 24 | changed[chunk + 1] << 16 |
                         changed[chunk + 2] << 8 | changed[chunk + 3];
                if (length > changed.size() - chunk - 12) break;
                uLong crc = crc32(0, changed.data() + chunk + 4, static_cast<uInt>(length + 4));
                for (int i = 0; i < 4; ++i)
                    changed[chunk + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
                length += 12;
            }
            if (changed == bytes) continue;  // a CRC changed and made right again
            test::WriteAll(bad, changed);
            EXPECT_FALSE(PngRows::Open(DefaultFileSystem(), bad)) << at << " " << fixCrc;
        }
        test::WriteAll(bad, {bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(at)});
        EXPECT_FALSE(PngRows::Open(DefaultFileSystem(), bad)) << "cut at " << at;
    }
}

}  // namespace
}  // namespace vorlak
