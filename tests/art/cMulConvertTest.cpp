#include <gtest/gtest.h>

#include <vector>

#include "art/ArtJobs.h"
#include "art/ArtPair.h"
#include "art/cMulConvert.h"

namespace vorlak {
namespace {

using Bytes = std::vector<uint8_t>;
using test::ArtPair;

constexpr int32_t kRed248 = 248;
constexpr int32_t kGreen248 = 248 << 8;
constexpr int32_t kBlue248 = 248 << 16;
constexpr int32_t kBg = art::kBackground;

int32_t CountNot(const PixelGrid& grid, int32_t value) {
    int32_t n = 0;
    for (int32_t y = 0; y < grid.height(); ++y) {
        for (int32_t x = 0; x < grid.width(); ++x) n += grid.pixel(x, y) != value;
    }
    return n;
}

std::vector<int32_t> Row(const PixelGrid& grid, int32_t y) {
    std::vector<int32_t> row;
    for (int32_t x = 0; x < grid.width(); ++x) row.push_back(grid.pixel(x, y));
    return row;
}

TEST(ColourConversion, ComponentsAreFiveBitsTimesEight) {
    EXPECT_EQ(cMulConvert::Color16ToColor32(0x001F), kBlue248);
    EXPECT_EQ(cMulConvert::Color16ToColor32(0x7C00), kRed248);
    EXPECT_EQ(cMulConvert::Color16ToColor32(0x03E0), kGreen248);
    EXPECT_EQ(cMulConvert::Color16ToColor32(0x7FFF), 16316664);
    EXPECT_EQ(cMulConvert::Color16ToColor32(0x0421), Rgb(8, 8, 8));
    // Bit 15 plays no part.
    EXPECT_EQ(cMulConvert::Color16ToColor32(0x8000), 0);
    EXPECT_EQ(cMulConvert::Color16ToColor32(0), 0);
    EXPECT_EQ(cMulConvert::Color16ToColor32(0xFFFF), 16316664);
}

struct Reduction {
    int32_t component, fiveBits;
};

class ComponentReduction : public ::testing::TestWithParam<Reduction> {};

TEST_P(ComponentReduction, RoundsHalfToEvenAndCapsAt31) {
    EXPECT_EQ(ReduceComponent(GetParam().component), GetParam().fiveBits);
}

// The edges of every band: 8k +- 3 for odd k, 8k +- 4 for even k.
INSTANTIATE_TEST_SUITE_P(Bands, ComponentReduction,
                         ::testing::Values(Reduction{0, 0}, Reduction{4, 0}, Reduction{5, 1},
                                           Reduction{11, 1}, Reduction{12, 2}, Reduction{20, 2},
                                           Reduction{21, 3}, Reduction{27, 3}, Reduction{28, 4},
                                           Reduction{36, 4}, Reduction{37, 5}, Reduction{235, 29},
                                           Reduction{236, 30}, Reduction{237, 30},
                                           Reduction{244, 30}, Reduction{245, 31},
                                           Reduction{248, 31}, Reduction{252, 31},
                                           Reduction{255, 31}));

TEST(ColourConversion, PackingPixels) {
    EXPECT_EQ(Color32ToColor16(Rgb(255, 255, 255)), 0x7FFF);
    EXPECT_EQ(Color32ToColor16(kBg), 0x7C00);
    EXPECT_EQ(Color32ToColor16(0), 0);
    EXPECT_EQ(Color32ToColor16(Rgb(4, 12, 20)), 0x0042);
    EXPECT_EQ(Color32ToColor16(Rgb(248, 248, 248)), 0x7FFF);
    EXPECT_EQ(Color32ToColor16(Rgb(8, 8, 8)), 0x0421);
}

TEST(ColourConversion, EveryArtColourSurvivesTheRoundTrip) {
    for (int32_t c = 0; c <= 0x7FFF; ++c) {
        ASSERT_EQ(Color32ToColor16(cMulConvert::Color16ToColor32(c)), c) << c;
        ASSERT_EQ(Color32ToColor16(cMulConvert::Color16ToColor32(c | 0x8000)), c) << c;
    }
}

TEST(LandscapeTile, LiteralBytesLandInTheDiamond) {
    Bytes record(2024, 0);
    record[0] = 0x1F;  // pixel 0: (21, 0)
    record[2] = 0x00;
    record[3] = 0x7C;  // pixel 1: (22, 0)
    record[4] = 0xE0;
    record[5] = 0x03;  // pixel 2: (20, 1), the first of row 1
    record[2022] = 0xFF;
    record[2023] = 0xFF;  // pixel 1011: (22, 43)
    PixelGrid grid(0, 0);
    cMulConvert().ArtRun2LongArray(record, grid);
    ASSERT_EQ(grid.width(), 44);
    ASSERT_EQ(grid.height(), 44);
    EXPECT_EQ(grid.pixel(21, 0), kBlue248);
    EXPECT_EQ(grid.pixel(22, 0), kRed248);
    EXPECT_EQ(grid.pixel(20, 1), kGreen248);
    EXPECT_EQ(grid.pixel(22, 43), 16316664);
    EXPECT_EQ(grid.pixel(21, 43), 0);
    for (auto [x, y] : {std::pair{0, 0},
                        {20, 0},
                        {23, 0},
                        {19, 1},
                        {24, 1},
                        {0, 20},
                        {43, 23},
                        {20, 43},
                        {23, 43},
                        {43, 43}}) {
        EXPECT_EQ(grid.pixel(x, y), kBg) << x << "," << y;
    }
    EXPECT_EQ(CountNot(grid, kBg), 1012);
}

TEST(LandscapeTile, WidestRowsSpanTheWholeGrid) {
    // Pixel i holds colour i, so a cell tells which pixel reached it.
    PixelGrid grid(0, 0);
    cMulConvert().ArtRun2LongArray(ArtPair::Landscape([](int32_t i) { return i; }), grid);
    auto pixel = [](int32_t i) { return cMulConvert::Color16ToColor32(i); };
    // Rows 0..20 hold 2 + 4 + ... + 42 = 462 pixels.
    EXPECT_EQ(grid.pixel(0, 21), pixel(462));
    EXPECT_EQ(grid.pixel(43, 21), pixel(505));
    EXPECT_EQ(grid.pixel(0, 22), pixel(506));
    EXPECT_EQ(grid.pixel(43, 22), pixel(549));
    EXPECT_EQ(grid.pixel(1, 23), pixel(550));
    EXPECT_EQ(grid.pixel(0, 23), kBg);
    EXPECT_EQ(grid.pixel(21, 43), pixel(1010));
}

TEST(LandscapeTile, BytesAfterTheTileAreIgnored) {
    Bytes record(2048, 0xAA);
    std::fill(record.begin(), record.begin() + 2024, 0);
    PixelGrid grid(0, 0);
    cMulConvert().ArtRun2LongArray(record, grid);
    EXPECT_EQ(CountNot(grid, kBg), 1012);
    EXPECT_EQ(CountNot(grid, 0), 44 * 44 - 1012);
}

TEST(LandscapeTile, ShortRecordsFillTheDiamondAsFarAsTheyReach) {
    // All pixels black, so each reached cell turns from background to 0.
    const Bytes full(2024, 0);
    PixelGrid whole(0, 0);
    cMulConvert().ArtRun2LongArray(full, whole);
    for (size_t length = 0; length <= full.size(); ++length) {
        PixelGrid grid(1, 1, 77);
        cMulConvert().ArtRun2LongArray(std::span(full).first(length), grid);
        ASSERT_EQ(grid.width(), 44);
        ASSERT_EQ(CountNot(grid, kBg), static_cast<int32_t>(length / 2)) << length;
    }
    // A lone last byte is no colour.
    PixelGrid grid(0, 0);
    cMulConvert().ArtRun2LongArray(Bytes{0x1F, 0x00, 0x1F}, grid);
    EXPECT_EQ(grid.pixel(21, 0), kBlue248);
    EXPECT_EQ(grid.pixel(22, 0), kBg);
}

TEST(StaticTile, LiteralRecordPaintsItsRun) {
    const Bytes record = {
        0x00, 0x00, 0x00, 0x00,  // header
        0x0A, 0x00,              // width 10
        0x01, 0x00,              // height 1
        0x00, 0x00,              // line table: row 0 at unit 0
        0x03, 0x00, 0x02, 0x00,  // x offset 3, length 2
        0x00, 0x7C, 0xE0, 0x03,  // red, green
        0x00, 0x00, 0x00, 0x00,  // end of row
    };
    PixelGrid grid(0, 0);
    ASSERT_TRUE(cMulConvert().ArtRaw2LongArray(record, grid));
    ASSERT_EQ(grid.width(), 11);
    ASSERT_EQ(grid.height(), 2);
    EXPECT_EQ(grid.pixel(3, 0), kRed248);
    EXPECT_EQ(grid.pixel(4, 0), kGreen248);
    EXPECT_EQ(CountNot(grid, kBg), 2);
}

TEST(StaticTile, RunsContinueAfterThePreviousRun) {
    const int32_t c = 0x001F;
    Bytes record = ArtPair::Static(10, {
                                           {{2, {c, c, c}}, {1, {c, c}}},  // 2,3,4 then 6,7
                                           {{1, {c}}, {0, {c, c}}},        // 1 then 2,3: no gap
                                           {},                             // end marker only
                                       });
    PixelGrid grid(0, 0);
    ASSERT_TRUE(cMulConvert().ArtRaw2LongArray(record, grid));
    ASSERT_EQ(grid.height(), 4);
    const int32_t b = kBlue248, r = kBg;
    EXPECT_EQ(Row(grid, 0), (std::vector<int32_t>{r, r, b, b, b, r, b, b, r, r, r}));
    EXPECT_EQ(Row(grid, 1), (std::vector<int32_t>{r, b, b, b, r, r, r, r, r, r, r}));
    EXPECT_EQ(CountNot(grid, kBg), 8);  // rows 2 and 3 (the extra last row) stay background
}

TEST(StaticTile, RowEnds) {
    const int32_t c = 0x001F;
    // x offset + length of 2048 or more ends the row unpainted; 2047 is a plain (empty) run.
    Bytes record = ArtPair::Static(2047, {
                                             {{2040, std::vector<int32_t>(8, c)}},
                                             {{2047, {}}, {0, {}}},
                                             {{5, {c}}},
                                         });
    PixelGrid grid(0, 0);
    ASSERT_TRUE(cMulConvert().ArtRaw2LongArray(record, grid));
    EXPECT_EQ(CountNot(grid, kBg), 1);
    EXPECT_EQ(grid.pixel(5, 2), kBlue248);

    // A line table value that points past the end leaves only that row empty.
    record = ArtPair::Static(4, {{{0, {c}}}, {{1, {c}}}});
    record[10] = 0xFF;  // row 1's line table value
    record[11] = 0xFF;
    ASSERT_TRUE(cMulConvert().ArtRaw2LongArray(record, grid));
    EXPECT_EQ(grid.pixel(0, 0), kBlue248);
    EXPECT_EQ(CountNot(grid, kBg), 1);
}

TEST(StaticTile, RunsPastTheLastColumnAreCut) {
    const int32_t c = 0x001F;
    Bytes record = ArtPair::Static(4, {
                                          {{3, {c, c, c, c, c}}},   // 3, 4; the rest is cut
                                          {{1, {c, c}}, {9, {c}}},  // 1, 2; then beyond the grid
                                          {{0, {c}}},               // later rows are unaffected
                                      });
    PixelGrid grid(0, 0);
    ASSERT_TRUE(cMulConvert().ArtRaw2LongArray(record, grid));
    ASSERT_EQ(grid.width(), 5);
    const int32_t b = kBlue248, r = kBg;
    EXPECT_EQ(Row(grid, 0), (std::vector<int32_t>{r, r, r, b, b}));
    EXPECT_EQ(Row(grid, 1), (std::vector<int32_t>{r, b, b, r, r}));
    EXPECT_EQ(Row(grid, 2), (std::vector<int32_t>{b, r, r, r, r}));
    EXPECT_EQ(Row(grid, 3), (std::vector<int32_t>(5, r)));
}

TEST(StaticTile, SizeLimits) {
    auto header = [](int32_t width, int32_t height) {
        Bytes b(8, 0);
        b[4] = static_cast<uint8_t>(width);
        b[5] = static_cast<uint8_t>(width >> 8);
        b[6] = static_cast<uint8_t>(height);
        b[7] = static_cast<uint8_t>(height >> 8);
        return b;
    };
    for (auto [w, h] : {std::pair{2049, 1}, {1, 2049}, {65535, 65535}}) {
        PixelGrid grid(3, 2, 7);
        EXPECT_FALSE(cMulConvert().ArtRaw2LongArray(header(w, h), grid)) << w << "x" << h;
        EXPECT_EQ(grid.width(), 3);
        EXPECT_EQ(grid.pixel(2, 1), 7);
    }
    PixelGrid grid(0, 0);
    ASSERT_TRUE(cMulConvert().ArtRaw2LongArray(header(2048, 2048), grid));
    EXPECT_EQ(grid.width(), 2049);
    EXPECT_EQ(grid.height(), 2049);
    EXPECT_EQ(CountNot(grid, kBg), 0);

    ASSERT_TRUE(cMulConvert().ArtRaw2LongArray(header(0, 0), grid));
    EXPECT_EQ(grid.width(), 1);
    EXPECT_EQ(grid.height(), 1);
}

TEST(StaticTile, EveryTruncationDecodesWhatItHolds) {
    const Bytes full = ArtPair::Static(
        12, {{{1, {0x7C00, 0x03E0, 0x001F}}, {2, {0x7FFF, 0x0421}}}, {{0, {0x1234}}}, {{11, {5}}}});
    PixelGrid whole(0, 0);
    ASSERT_TRUE(cMulConvert().ArtRaw2LongArray(full, whole));
    ASSERT_EQ(CountNot(whole, kBg), 7);

    // Too short for width and height: refused, the grid untouched.
    for (size_t length = 0; length < 8; ++length) {
        PixelGrid grid(3, 2, 7);
        EXPECT_FALSE(cMulConvert().ArtRaw2LongArray(std::span(full).first(length), grid));
        EXPECT_EQ(grid.width(), 3);
    }
    int32_t painted = 0;
    for (size_t length = 8; length <= full.size(); ++length) {
        PixelGrid grid(0, 0);
        ASSERT_TRUE(cMulConvert().ArtRaw2LongArray(std::span(full).first(length), grid));
        ASSERT_EQ(grid.width(), 13);
        ASSERT_EQ(grid.height(), 4);
        // Every cell is either what the whole record paints there or background, and a longer
        // record never paints less.
        for (int32_t y = 0; y < 4; ++y) {
            for (int32_t x = 0; x < 13; ++x) {
                int32_t cell = grid.pixel(x, y);
                ASSERT_TRUE(cell == kBg || cell == whole.pixel(x, y)) << length;
            }
        }
        int32_t now = CountNot(grid, kBg);
        ASSERT_GE(now, painted) << length;
        painted = now;
    }
    EXPECT_EQ(painted, 7);

    // Cut inside the second colour of row 0: only the first is painted.
    const size_t row0Colours = 8 + 2 * 3 + 4;
    PixelGrid grid(0, 0);
    ASSERT_TRUE(cMulConvert().ArtRaw2LongArray(std::span(full).first(row0Colours + 3), grid));
    EXPECT_EQ(grid.pixel(1, 0), kRed248);
    EXPECT_EQ(grid.pixel(2, 0), kBg);
    EXPECT_EQ(CountNot(grid, kBg), 1);
}

}  // namespace
}  // namespace vorlak
