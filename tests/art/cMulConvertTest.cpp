#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "art/ArtJobs.h"
#include "art/ArtPair.h"
#include "art/cMulConvert.h"

namespace vorlak {
namespace {

using test::ArtPair;
using test::Bytes;

constexpr int32_t kBg = art::kBackground;
constexpr int32_t kB = 0x001F;  // art blue

std::vector<int32_t> Cells(const PixelGrid& grid) {
    std::vector<int32_t> cells;
    for (int32_t y = 0; y < grid.height(); ++y) {
        for (int32_t x = 0; x < grid.width(); ++x) cells.push_back(grid.pixel(x, y));
    }
    return cells;
}
int32_t CountNot(const PixelGrid& grid, int32_t value) {
    return static_cast<int32_t>(
        std::ranges::count_if(Cells(grid), [&](int32_t c) { return c != value; }));
}
// The grid as text, rows split by '/': '.' background, 'r', 'g', 'b' full red, green or blue.
std::string Draw(const PixelGrid& grid) {
    const std::map<int32_t, char> names = {
        {kBg, '.'}, {248, 'r'}, {248 << 8, 'g'}, {248 << 16, 'b'}};
    std::string text;
    for (int32_t y = 0; y < grid.height(); ++y) {
        text += y ? "/" : "";
        for (int32_t x = 0; x < grid.width(); ++x) {
            text += names.contains(grid.pixel(x, y)) ? names.at(grid.pixel(x, y)) : '?';
        }
    }
    return text;
}

// A static tile record decoded onto a 3 x 2 grid of 7s and drawn; "refused" when the decoder
// refuses it and leaves the grid as it was.
std::string DecodeStatic(std::span<const uint8_t> record) {
    PixelGrid grid(3, 2, 7);
    const bool ok = cMulConvert().ArtRaw2LongArray(record, grid);
    return ok ? Draw(grid) : Cells(grid) == std::vector<int32_t>(6, 7) ? "refused" : "changed";
}

TEST(ColourConversion, FiveBitComponentsTimesEightAndBackRoundingHalfToEven) {
    // clang-format off
    const std::pair<int32_t, int32_t> to32[] = {
        {0x001F, 248 << 16}, {0x7C00, 248}, {0x03E0, 248 << 8}, {0x7FFF, 16316664},
        {0x0421, Rgb(8, 8, 8)}, {0x8000, 0}, {0, 0}, {0xFFFF, 16316664}};  // bit 15 plays no part
    // The edges of every band: 8k +- 3 for odd k, 8k +- 4 for even k; 31 at most.
    const std::pair<int32_t, int32_t> reduced[] = {
        {0, 0}, {4, 0}, {5, 1}, {11, 1}, {12, 2}, {20, 2}, {21, 3}, {27, 3}, {28, 4}, {36, 4},
        {37, 5}, {235, 29}, {236, 30}, {237, 30}, {244, 30}, {245, 31}, {248, 31}, {255, 31}};
    // Exact multiples of 8 are left to the round trip below.
    const std::pair<int32_t, int32_t> to16[] = {
        {Rgb(255, 255, 255), 0x7FFF}, {kBg, 0x7C00}, {Rgb(4, 12, 20), 0x0042}};
    // clang-format on
    for (auto [c16, c32] : to32) EXPECT_EQ(cMulConvert::Color16ToColor32(c16), c32) << c16;
    for (auto [component, bits] : reduced) EXPECT_EQ(ReduceComponent(component), bits) << component;
    for (auto [c32, c16] : to16) EXPECT_EQ(Color32ToColor16(c32), c16) << c32;
    for (int32_t c = 0; c <= 0xFFFF; ++c) {
        ASSERT_EQ(Color32ToColor16(cMulConvert::Color16ToColor32(c)), c & 0x7FFF) << c;
    }
}

TEST(LandscapeTile, PixelsFillTheDiamondRowByRow) {
    // Pixel i holds colour i, so a cell tells which pixel reached it.
    PixelGrid grid(0, 0);
    cMulConvert().ArtRun2LongArray(ArtPair::Landscape([](int32_t i) { return i; }), grid);
    ASSERT_EQ(grid.width(), 44);
    ASSERT_EQ(grid.height(), 44);
    // Rows 0..21 grow by two pixels each, rows 22..43 shrink again; pixels run left to right.
    int32_t i = 0;
    for (int32_t y = 0; y < 44; ++y) {
        const int32_t first = y < 22 ? 21 - y : y - 22, last = 43 - first;
        for (int32_t x = 0; x < 44; ++x) {
            const bool inside = x >= first && x <= last;
            ASSERT_EQ(grid.pixel(x, y), inside ? cMulConvert::Color16ToColor32(i++) : kBg)
                << x << "," << y;
        }
    }
    EXPECT_EQ(i, 1012);
}

TEST(LandscapeTile, ShortRecordsFillTheDiamondAsFarAsTheyReach) {
    // All pixels black, so each reached cell turns from background to 0; a lone last byte is no
    // colour.
    const Bytes full(2024, 0);
    for (size_t length = 0; length <= full.size(); ++length) {
        PixelGrid grid(1, 1, 77);
        cMulConvert().ArtRun2LongArray(std::span(full).first(length), grid);
        ASSERT_EQ(grid.width(), 44);
        ASSERT_EQ(CountNot(grid, kBg), static_cast<int32_t>(length / 2)) << length;
    }
}

TEST(StaticTile, RunsPaintTheirRowsWithAnExtraLastRowAndColumn) {
    // Width 10, one row: x offset 3, two colours (red, green), then the end marker.
    // clang-format off
    const Bytes literal = {0, 0, 0, 0, 0x0A, 0, 0x01, 0, 0, 0,
                           0x03, 0, 0x02, 0, 0x00, 0x7C, 0xE0, 0x03, 0, 0, 0, 0};
    EXPECT_EQ(DecodeStatic(literal), "...rg....../...........");
    // A run starts after the previous one; an empty row is its end marker only.
    EXPECT_EQ(DecodeStatic(ArtPair::Static(10, {{{2, {kB, kB, kB}}, {1, {kB, kB}}},
                                               {{1, {kB}}, {0, {kB, kB}}}, {}})),
              "..bbb.bb.../.bbb......./.........../...........");
    // Runs past the last column are cut; later rows are unaffected.
    EXPECT_EQ(DecodeStatic(ArtPair::Static(4, {{{3, {kB, kB, kB, kB, kB}}},
                                              {{1, {kB, kB}}, {9, {kB}}}, {{0, {kB}}}})),
              "...bb/.bb../b..../.....");
    // clang-format on
    // A line table value that points past the end leaves only that row empty.
    Bytes record = ArtPair::Static(4, {{{0, {kB}}}, {{1, {kB}}}});
    record[10] = record[11] = 0xFF;
    EXPECT_EQ(DecodeStatic(record), "b..../...../.....");

    // x offset + length of 2048 or more ends the row unpainted; 2047 is a plain (empty) run.
    record = ArtPair::Static(
        2047, {{{2040, std::vector<int32_t>(8, kB)}}, {{2047, {}}, {0, {}}}, {{5, {kB}}}});
    PixelGrid grid(0, 0);
    ASSERT_TRUE(cMulConvert().ArtRaw2LongArray(record, grid));
    EXPECT_EQ(CountNot(grid, kBg), 1);
    EXPECT_EQ(grid.pixel(5, 2), 248 << 16);
}

TEST(StaticTile, OversizedTilesAndShortHeadersAreRefused) {
    auto header = [](int32_t width, int32_t height) {  // and empty rows
        return ArtPair::Static(width, std::vector<std::vector<ArtPair::Run>>(height));
    };
    for (auto [w, h] : {std::pair{2049, 1}, {1, 2049}, {65535, 65535}}) {
        EXPECT_EQ(DecodeStatic(header(w, h)), "refused") << w << "x" << h;
    }
    const Bytes one = header(1, 1);
    for (size_t length = 0; length < 8; ++length) {
        EXPECT_EQ(DecodeStatic(std::span(one).first(length)), "refused") << length;
    }
    EXPECT_EQ(DecodeStatic(header(0, 0)), ".");
    PixelGrid grid(0, 0);
    ASSERT_TRUE(cMulConvert().ArtRaw2LongArray(header(2048, 2048), grid));
    EXPECT_EQ(std::pair(grid.width(), grid.height()), std::pair(2049, 2049));
    EXPECT_EQ(CountNot(grid, kBg), 0);
}

TEST(StaticTile, EveryTruncationDecodesWhatItHolds) {
    const Bytes full = ArtPair::Static(
        12, {{{1, {0x7C00, 0x03E0, 0x001F}}, {2, {0x7FFF, 0x0421}}}, {{0, {0x1234}}}, {{11, {5}}}});
    PixelGrid whole(0, 0);
    ASSERT_TRUE(cMulConvert().ArtRaw2LongArray(full, whole));
    ASSERT_EQ(CountNot(whole, kBg), 7);

    // Every cell is either what the whole record paints there or background, and a longer record
    // never paints less.
    int32_t painted = 0;
    for (size_t length = 8; length <= full.size(); ++length) {
        PixelGrid grid(0, 0);
        ASSERT_TRUE(cMulConvert().ArtRaw2LongArray(std::span(full).first(length), grid));
        ASSERT_EQ(grid.width(), 13);
        ASSERT_EQ(grid.height(), 4);
        std::vector<int32_t> cells = Cells(grid), expected = Cells(whole);
        for (size_t i = 0; i < cells.size(); ++i) {
            ASSERT_TRUE(cells[i] == kBg || cells[i] == expected[i]) << length;
        }
        ASSERT_GE(CountNot(grid, kBg), painted) << length;
        painted = CountNot(grid, kBg);
    }
    EXPECT_EQ(painted, 7);

    // Cut inside the second colour of row 0: only the first is painted.
    EXPECT_EQ(DecodeStatic(std::span(full).first(8 + 2 * 3 + 4 + 3)),
              ".r.........../............./............./.............");
}

}  // namespace
}  // namespace vorlak
