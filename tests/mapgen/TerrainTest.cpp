#include <gtest/gtest.h>

#include <vector>

#include "mapgen/MapGen.h"
#include "mul/Error.h"
#include "support/StaticsFixture.h"

namespace vorlak {
namespace {

// Hands out the given numbers in order and counts how many were taken.
class Script {
  public:
    explicit Script(std::vector<float> numbers) : numbers_(std::move(numbers)) {}
    float operator()() { return numbers_.at(taken_++); }
    size_t taken() const { return taken_; }

  private:
    std::vector<float> numbers_;
    size_t taken_ = 0;
};

TerrainKind Kind(int16_t altMin, int16_t altMax, int32_t tilesOf = 0) {
    TerrainKind kind;
    kind.AltMin = altMin;
    kind.AltMax = altMax;
    kind.Tiles = TerrainKinds()[tilesOf].tiles;
    return kind;
}

MemoryPicture Palette(int32_t width) {
    MemoryPicture palette(width, 2, Rgb(1, 2, 3));
    for (int32_t k = 0; k < width; ++k) palette.setPixel(k, 0, Rgb(10 * k, 0, 200));
    return palette;
}

TEST(TerrainTable, BoundsAreLeadingNumbersRoundedHalfToEven) {
    HeightTexts lows = DefaultAltMin(), highs = DefaultAltMax();
    const std::vector<std::pair<const char*, int16_t>> cases = {
        {"2.5", 2},  {"3.5", 4},         {"", 0},          {"abc", 0},
        {"-0.5", 0}, {" - 1 2xyz", -12}, {"-128.5", -128}, {"&HFFFF", -1}};
    for (size_t k = 0; k < cases.size(); ++k) lows[k] = cases[k].first;
    highs[6] = "126.5";
    TerrainTable table = BuildTerrainTable(nullptr, lows, highs);
    for (size_t k = 0; k < cases.size(); ++k) EXPECT_EQ(table[k].AltMin, cases[k].second) << k;
    EXPECT_EQ(table[6].AltMax, 126);
    EXPECT_EQ(table[2].AltMax, 70);  // untouched defaults
    EXPECT_EQ(table[11].AltMin, 20);
}

TEST(TerrainTable, BoundOutsideTheHeightByteIsRefusedNamingTheKind) {
    for (const char* text : {"128", "127.5", "1e9", "&H7FFF", "-129", "-128.6", "-1e400"}) {
        HeightTexts lows = DefaultAltMin(), highs = DefaultAltMax();
        (text[0] == '-' ? lows : highs)[2] = text;
        std::string message;
        try {
            BuildTerrainTable(nullptr, lows, highs);
        } catch (const Error& e) {
            message = e.what();
        }
        EXPECT_EQ(message,
                  "The heights of Montain must lie between -128 and 127! BMP to Map aborted")
            << text;
    }
}

TEST(TerrainTable, ColoursComeFromTheTopRowAndMissingColumnsAreMinusOne) {
    MemoryPicture wide = Palette(14);
    TerrainTable table = BuildTerrainTable(&wide, DefaultAltMin(), DefaultAltMax());
    for (int32_t k = 0; k < kTerrainKinds; ++k) EXPECT_EQ(table[k].Color, Rgb(10 * k, 0, 200));

    MemoryPicture narrow = Palette(5);
    table = BuildTerrainTable(&narrow, DefaultAltMin(), DefaultAltMax());
    EXPECT_EQ(table[4].Color, Rgb(40, 0, 200));
    for (int32_t k = 5; k < kTerrainKinds; ++k) EXPECT_EQ(table[k].Color, -1) << k;

    table = BuildTerrainTable(nullptr, DefaultAltMin(), DefaultAltMax());
    for (const TerrainKind& kind : table) EXPECT_EQ(kind.Color, -1);
}

TEST(PickTile, IndexIsTheRoundedProductWithHalvesToEven) {
    TerrainKind cave = Kind(0, 0, 7);  // 581..585: r * 4
    Script next({0.0f, 0.125f, 0.375f, 0.625f, 0.875f, 0.99999994f, 0.1f});
    std::vector<uint16_t> got;
    for (int i = 0; i < 7; ++i) got.push_back(PickTile(cave, next));
    EXPECT_EQ(got, (std::vector<uint16_t>{581, 581, 583, 583, 585, 585, 581}));
    EXPECT_EQ(next.taken(), 7u);

    TerrainKind entrance = Kind(0, 0, 11);
    Script any({0.0f, 0.5f, 0.99999994f});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(PickTile(entrance, any), 475);
}

TEST(PickAlt, ProductAndSumStayInSinglePrecision) {
    // 3 * r is 2.50000012 in double precision but exactly 2.5 in single: halves go to even.
    float r = 13981014 * 0x1p-24f;
    TerrainKind kind = Kind(0, 3);
    Script next({r});
    EXPECT_EQ(PickAlt(kind, next), 2);

    // -10 + 0.50000006 is -9.49999994, which single precision holds as -9.5: even is -10.
    kind = Kind(-10, -9);
    Script sum({8388609 * 0x1p-24f});
    EXPECT_EQ(PickAlt(kind, sum), 256 - 10);
}

TEST(PickAlt, HalvesGoToEvenAndNegativeHeightsAreStoredAsTwosComplement) {
    TerrainKind kind = Kind(-1, 0);
    Script next({0.0f, 0.5f, 0.75f, 0.25f});
    EXPECT_EQ(PickAlt(kind, next), 255);  // -1
    EXPECT_EQ(PickAlt(kind, next), 0);    // -0.5 goes to the even 0
    EXPECT_EQ(PickAlt(kind, next), 0);    // -0.25
    EXPECT_EQ(PickAlt(kind, next), 255);  // -0.75

    kind = Kind(5, 0);  // reversed bounds: 5 - 5r
    Script reversed({0.0f, 0.1f, 0.5f, 0.99999994f});
    EXPECT_EQ(PickAlt(kind, reversed), 5);
    EXPECT_EQ(PickAlt(kind, reversed), 4);  // 4.5 -> 4
    EXPECT_EQ(PickAlt(kind, reversed), 2);  // 2.5 -> 2
    EXPECT_EQ(PickAlt(kind, reversed), 0);

    kind = Kind(-3, -3);
    Script equal({0.3f});
    EXPECT_EQ(PickAlt(kind, equal), 0xFD);
}

// The whole-number forms that the job uses give the same as the picks, at the halves of every
// tile list and at the single-precision edges above.
TEST(PickTile, TileIndexAndHeightByteAgreeWithThePicks) {
    for (int32_t t = 0; t < kTerrainKinds; ++t) {
        TerrainKind kind = Kind(0, 0, t);
        auto last = static_cast<uint32_t>(kind.Tiles.size() - 1);
        std::vector<uint32_t> ks = {0, 0xFFFFFF};
        for (uint32_t j = 0; j < last; ++j) {
            auto half = static_cast<uint32_t>((uint64_t{2 * j + 1} << 23) / last);
            ks.insert(ks.end(), {half - 1, half, half + 1});
        }
        for (uint32_t k : ks) {
            Script next({static_cast<float>(k) * 0x1p-24f});
            EXPECT_EQ(kind.Tiles[TileIndex(k, last)], PickTile(kind, next)) << t << " " << k;
        }
    }
    const struct {
        int16_t low, high;
        uint32_t k;
    } alts[] = {{0, 3, 13981014}, {-10, -9, 8388609},    {-1, 0, 0x800000},     {5, 0, 0x800000},
                {-128, 127, 0},   {-128, 127, 0xFFFFFF}, {127, -128, 0x7FFFFF}, {-3, -3, 5}};
    for (const auto& a : alts) {
        Script next({static_cast<float>(a.k) * 0x1p-24f});
        float scaled = static_cast<float>(static_cast<int16_t>(a.high - a.low)) * 0x1p-24f;
        EXPECT_EQ(HeightByte(a.k, a.low, scaled), PickAlt(Kind(a.low, a.high), next)) << a.k;
    }
}

TEST(LookupTerrain, HighestMatchDecidesAndEveryMatchDraws) {
    TerrainTable table = BuildTerrainTable(nullptr, DefaultAltMin(), DefaultAltMax());
    const int32_t shared = Rgb(9, 9, 9);
    table[1].Color = shared;   // dirt
    table[11].Color = shared;  // entrance: 475, heights 20..25
    table[4].Color = Rgb(0, 0, 255);

    Script next({0.0f, 0.0f, 0.0f, 0.99999994f});
    TerrainCell cell = LookupTerrain(table, shared, next);
    EXPECT_EQ(cell.tile, 475);
    EXPECT_EQ(cell.height, 25);
    EXPECT_EQ(next.taken(), 4u);  // dirt's two draws are taken, then thrown away

    Script water({0.5f, 0.5f});
    cell = LookupTerrain(table, Rgb(0, 0, 255), water);
    EXPECT_EQ(cell.tile, 170);  // 0.5 * 5 = 2.5 -> 2
    EXPECT_EQ(cell.height, 0xFD);

    Script none({});
    cell = LookupTerrain(table, Rgb(0, 0, 254), none);  // nearest colour is no match
    EXPECT_EQ(cell.tile, 580);
    EXPECT_EQ(cell.height, 0);
    EXPECT_EQ(none.taken(), 0u);
}

TEST(Texts, ProgressRoundsHalvesToEven) {
    EXPECT_EQ(ProgressText(1, 8), "12% finished");
    EXPECT_EQ(ProgressText(3, 8), "38% finished");
    EXPECT_EQ(ProgressText(2, 3), "67% finished");
    EXPECT_EQ(ProgressText(4095, 4096), "100% finished");
}

// The whole job on a small picture with a fixed seed: the draws, the kinds and the cell layout
// together give these bytes on every machine.
TEST(Bmp2MapGolden, FixedSeedGivesTheseBytes) {
    test::TempDir dir;
    MemoryPicture palette = Palette(12);
    MemoryPicture picture(4, 2);
    for (int32_t i = 0; i < 8; ++i) picture.setPixel(i % 4, i / 4, Rgb(10 * (i + 2), 0, 200));
    picture.setPixel(3, 1, Rgb(1, 2, 3));  // no kind: the fallback tile
    Bmp2MapRequest request;
    request.map = dir.path("map0.mul");
    request.x = "6";
    request.y = "7";
    request.seed = 7;
    ASSERT_EQ(RunBmp2Map(request, &palette, &picture, {}).result, Bmp2MapOutcome::Result::kDone);
    test::Bytes map = test::ReadAll(request.map);
    // Blocks 0, 1, 512 and 513: X 0..15, Y 0..15.
    ASSERT_EQ(map.size(), 514u * 196);
    test::Bytes cells;
    for (int32_t y = 7; y <= 8; ++y) {
        for (int32_t x = 6; x <= 9; ++x) {
            size_t at = static_cast<size_t>((x / 8) * 512 + y / 8) * 196 + 4 +
                        3 * static_cast<size_t>((y % 8) * 8 + x % 8);
            cells.insert(cells.end(), map.begin() + static_cast<long>(at),
                         map.begin() + static_cast<long>(at) + 3);
        }
    }
    // Tile low, tile high, height; row Y 7 (X 6..9), then row Y 8.
    EXPECT_EQ(cells, (test::Bytes{0x2F, 0x02, 0x35, 0xAF, 0x00, 0x00, 0xAA, 0x00,
                                  0xFD, 0xF7, 0x01, 0xFD, 0x1B, 0x01, 0x00, 0x49,
                                  0x02, 0x00, 0x17, 0x00, 0x00, 0x44, 0x02, 0x00}));
}

}  // namespace
}  // namespace vorlak
