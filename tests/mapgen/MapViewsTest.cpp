// The Map->Bmp views and setting heights, on terrain and statics files laid out byte by byte in
// the top-left blocks of the world.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "art/cMulConvert.h"
#include "mapgen/MapViews.h"
#include "mul/LittleEndian.h"
#include "mul/Stop.h"
#include "support/PngReader.h"
#include "support/StaticsPair.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using test::Bytes;
using test::StaticsPair;

constexpr int32_t kSide = 16;  // the test terrain: cells 0..15 x 0..15, blocks 0, 1, 512, 513

class MapViewsTest : public ::testing::Test {
  protected:
    MapViewsTest() : terrain_(514 * kMapBlockBytes, 0) {
        request_.map = dir_.path("map0.mul");
        request_.staidx = dir_.path("staidx0.mul");
        request_.statics = dir_.path("statics0.mul");
        request_.radarcol = dir_.path("radarcol.mul");
        request_.out = dir_.path("out.png");
        request_.x2 = request_.y2 = kSide - 1;
    }
    size_t CellAt(int32_t x, int32_t y) const {
        return static_cast<size_t>(world::BlockNumber(x, y)) * kMapBlockBytes + 4 +
               3 * static_cast<size_t>((y % 8) * 8 + x % 8);
    }
    void SetCell(int32_t x, int32_t y, uint16_t tile, int8_t height) {
        size_t at = CellAt(x, y);
        terrain_[at] = static_cast<uint8_t>(tile);
        terrain_[at + 1] = static_cast<uint8_t>(tile >> 8);
        terrain_[at + 2] = static_cast<uint8_t>(height);
    }
    uint16_t TileAt(const Bytes& map, int32_t x, int32_t y) const {
        return static_cast<uint16_t>(map[CellAt(x, y)] | map[CellAt(x, y) + 1] << 8);
    }
    // Radar entry n holds the art colour n.
    void WriteFiles(int32_t radarEntries = 0x4100) {
        test::WriteAll(request_.map, terrain_);
        pair_.Write(request_.staidx, request_.statics);
        Bytes radar;
        for (int32_t n = 0; n < radarEntries; ++n) le::Put16(radar, n);
        test::WriteAll(request_.radarcol, radar);
    }
    // Draws the view as a PNG and as a BMP, both written band by band as they are drawn, which
    // must hold the same pixels, then kept in picture_; or, when the view fails, leave neither
    // file nor a temporary one behind.
    MapViewOutcome Run(const Picture* palette = nullptr) {
        MapViewRequest png = request_, bmp = request_;
        if (png.out == dir_.path("out.png")) bmp.out = dir_.path("out.bmp");
        for (const char* name : {"out.png", "out.bmp"}) std::filesystem::remove(dir_.path(name));
        MapViewOutcome outcome = RunMapView(png, palette, {});
        EXPECT_EQ(RunMapView(bmp, palette, {}).ok, outcome.ok);
        picture_.reset();
        if (outcome.ok) {
            std::string why;
            std::optional<test::ReadPng> read = test::ReadPngFile(png.out, &why);
            EXPECT_TRUE(read) << why;
            if (!read) return outcome;
            grey_ = read->grey;
            picture_ = std::make_unique<MemoryPicture>(std::move(read->picture));
            ExpectBmpHolds(bmp.out, *picture_);
            return outcome;
        }
        ExpectNoPicture();
        return outcome;
    }
    void ExpectNoPicture() {
        for (const auto& entry : std::filesystem::directory_iterator(dir_.root())) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(!name.starts_with("out.") && name.find(".tmp") == std::string::npos)
                << name;
        }
    }
    // A BMP's header and pixels, read by hand: 24-bit colour or 8-bit grey, bottom row first.
    static void ExpectBmpHolds(const std::string& path, const Picture& picture) {
        Bytes b = test::ReadAll(path);
        ASSERT_GE(b.size(), 54u);
        const int32_t start = le::Load32(&b[10]), width = le::Load32(&b[18]),
                      height = le::Load32(&b[22]), bytes = b[28] / 8;
        const int32_t stride = (bytes * width + 3) / 4 * 4;
        ASSERT_EQ(b.size(), static_cast<size_t>(start + stride * height));
        ASSERT_TRUE(width == picture.width() && height == picture.height());
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* p =
                    &b[static_cast<size_t>(start + (height - 1 - y) * stride + x * bytes)];
                ASSERT_EQ(bytes == 1 ? Rgb(p[0], p[0], p[0]) : Rgb(p[2], p[1], p[0]),
                          picture.pixel(x, y))
                    << path << " " << x << "," << y;
            }
        }
    }
    static int32_t Radar(int32_t entry) { return cMulConvert::Color16ToColor32(entry); }

    test::TempDir dir_;
    Bytes terrain_;
    StaticsPair pair_;
    MapViewRequest request_;
    std::unique_ptr<MemoryPicture> picture_;
    bool grey_ = false;
};

TEST_F(MapViewsTest, HighestStaticWinsAndTheLaterRecordOnEqualZ) {
    SetCell(1, 0, 7, 0);
    SetCell(9, 9, 0x3FFF, 0);
    SetCell(10, 9, 0x3FFF, 0);
    // Item, x, z: cell (2, 0) has three at Z 10, 30, -5; cell (3, 0) two at Z 1; one lies at x 8.
    Bytes run;
    const int statics[][3] = {{5, 2, 10}, {6, 2, 30}, {4, 2, -5}, {8, 3, 1},
                              {9, 3, 1},  {3, 8, 90}, {0, 4, 0}};
    for (const auto& [item, x, z] : statics) {
        Bytes r = StaticsPair::Record(static_cast<uint16_t>(item), static_cast<uint8_t>(x), 0,
                                      static_cast<int8_t>(z));
        run.insert(run.end(), r.begin(), r.end());
    }
    Bytes below = StaticsPair::Record(3, 0, 8, 90);  // y 8 lies in no cell either
    run.insert(run.end(), below.begin(), below.end());
    pair_.AddRun(0, run);
    pair_.AddRun(513, StaticsPair::Record(0xFFFF, 1, 1, 0));  // past the radar file: black
    WriteFiles();
    ASSERT_TRUE(Run().ok);
    EXPECT_FALSE(grey_);
    EXPECT_EQ(picture_->pixel(1, 0), Radar(7));           // terrain
    EXPECT_EQ(picture_->pixel(2, 0), Radar(0x4000 + 6));  // Z 30 over 10 and -5
    EXPECT_EQ(picture_->pixel(3, 0), Radar(0x4000 + 9));  // equal Z: the later record
    EXPECT_EQ(picture_->pixel(9, 9), 0);                  // entry past the end: black
    EXPECT_EQ(picture_->pixel(10, 9), Radar(0x3FFF));     // the last terrain entry
    EXPECT_EQ(picture_->pixel(4, 0), Radar(0x4000));      // static 0
    EXPECT_EQ(picture_->pixel(0, 1), Radar(0));           // x 8 lies in no cell: skipped
    EXPECT_EQ(picture_->pixel(0, 8), Radar(0));           // and y 8
    request_.withStatics = false;
    ASSERT_TRUE(Run().ok);
    EXPECT_EQ(picture_->pixel(2, 0), Radar(0));
}

TEST_F(MapViewsTest, ScaleTakesTheMeanOfEachSquareUpToTheRectanglesEdge) {
    // Radar entry n is the art colour n: tiles 0, 2, 4, 6 on columns x mod 4 give blue 0..48.
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) SetCell(x, y, static_cast<uint16_t>(x % 4 * 2), 0);
    }
    WriteFiles();
    struct Case {
        int32_t x2, scale, width, blue0, blueLast;
    } cases[] = {
        {15, 1, 16, 0, 48},   // one cell per pixel
        {15, 2, 8, 8, 40},    // (0 + 16) / 2, (32 + 48) / 2
        {15, 4, 4, 24, 24},   // (0 + 16 + 32 + 48) / 4
        {14, 8, 2, 24, 21},   // last pixel: columns 8..14 only, 144 / 7 rounded
        {15, 16, 1, 24, 24},  // the finer scales of the map window: one pixel for all
        {15, 64, 1, 24, 24},
    };
    for (const Case& c : cases) {
        request_.x2 = c.x2;
        request_.scale = c.scale;
        ASSERT_TRUE(Run().ok) << c.scale;
        EXPECT_EQ(picture_->width(), c.width);
        EXPECT_EQ(picture_->pixel(0, 0), Rgb(0, 0, c.blue0)) << c.scale;
        EXPECT_EQ(picture_->pixel(c.width - 1, picture_->height() - 1), Rgb(0, 0, c.blueLast))
            << c.scale;
    }
}

// The map window draws through the views: any rectangle at any scale gives the pixels the
// overview gives, statics and radar colours alike.
TEST_F(MapViewsTest, WorldMapDrawsWhatTheOverviewDraws) {
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) SetCell(x, y, static_cast<uint16_t>(x * 37 + y), 0);
    }
    Bytes run;
    for (int i = 0; i < 9; ++i) {
        Bytes r = StaticsPair::Record(static_cast<uint16_t>(0x100 + i), static_cast<uint8_t>(i % 8),
                                      static_cast<uint8_t>(i / 2), static_cast<int8_t>(i * 3));
        run.insert(run.end(), r.begin(), r.end());
    }
    Bytes under = StaticsPair::Record(0x200, 2, 1, -9);  // below record 2 on cell 10, 9
    run.insert(run.end(), under.begin(), under.end());
    pair_.AddRun(513, run);
    WriteFiles();
    WorldMap map({request_.map, request_.staidx, request_.statics, request_.radarcol}, nullptr);
    EXPECT_TRUE(map.notes().empty());
    EXPECT_EQ(map.size(), world::Size{});  // the terrain file is short: the default world
    struct Rect {
        int32_t x1, y1, x2, y2, scale;
    } rects[] = {{0, 0, 15, 15, 1}, {3, 5, 14, 12, 1},  {8, 8, 15, 15, 2},
                 {1, 2, 15, 15, 4}, {0, 0, 15, 15, 16}, {5, 0, 15, 9, 64}};
    for (const Rect& r : rects) {
        request_.x1 = r.x1;
        request_.y1 = r.y1;
        request_.x2 = r.x2;
        request_.y2 = r.y2;
        request_.scale = r.scale;
        ASSERT_TRUE(Run().ok);
        const MemoryPicture* overview = picture_.get();
        std::vector<int32_t> drawn;
        EXPECT_EQ(map.Draw(r.x1, r.y1, r.x2, r.y2, r.scale, drawn), "");
        ASSERT_EQ(drawn.size(), static_cast<size_t>(overview->width() * overview->height()));
        for (int32_t y = 0; y < overview->height(); ++y) {
            for (int32_t x = 0; x < overview->width(); ++x) {
                ASSERT_EQ(drawn[static_cast<size_t>(y * overview->width() + x)],
                          overview->pixel(x, y))
                    << r.x1 << "," << r.y1 << " scale " << r.scale << " at " << x << "," << y;
            }
        }
    }
    const MapCell cell = map.Cell(10, 9);
    EXPECT_TRUE(cell.terrain);
    EXPECT_EQ(cell.tile, 10 * 37 + 9);
    EXPECT_EQ(cell.statics, 2);
    EXPECT_EQ(cell.topId, 0x102);
    EXPECT_EQ(cell.topZ, 6);
    EXPECT_EQ(map.StaticsInside(8, 8, 10, 9), 4);  // cells 8, 8 and 9, 8 and two on 10, 9
    EXPECT_EQ(map.StaticsInside(0, 0, 7, 15), 0);
}

TEST_F(MapViewsTest, KindsPictureDrawsBackToTilesOfTheSameKind) {
    MemoryPicture palette(kTerrainKinds, 1);
    for (int32_t k = 0; k < kTerrainKinds; ++k) palette.setPixel(k, 0, Rgb(10 + k, 20, 30));
    const auto& kinds = TerrainKinds();
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            int32_t k = (x + y) % (kTerrainKinds + 1);  // kTerrainKinds: a tile of no kind
            uint16_t tile = k < kTerrainKinds
                                ? kinds[k].tiles[static_cast<size_t>(y) % kinds[k].tiles.size()]
                                : 9;
            SetCell(x, y, tile, 0);
        }
    }
    WriteFiles();
    request_.view = MapView::kKinds;
    ASSERT_TRUE(Run(&palette).ok);

    Bmp2MapRequest back;
    back.map = request_.map;
    back.seed = 7;
    ASSERT_EQ(RunBmp2Map(back, &palette, picture_.get(), {}).result, Bmp2MapOutcome::Result::kDone);
    Bytes after = test::ReadAll(request_.map);
    auto kindOf = [&](uint16_t tile) {
        for (int32_t k = 0; k < kTerrainKinds; ++k) {
            for (uint16_t t : kinds[k].tiles)
                if (t == tile) return k;
        }
        return -1;
    };
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            const int32_t k = kindOf(TileAt(terrain_, x, y));
            const uint16_t now = TileAt(after, x, y);
            EXPECT_TRUE(k < 0 ? now == kFallbackTile : kindOf(now) == k) << x << "," << y;
        }
    }
    // A palette that gives a kind black could not be told from tiles of no kind.
    palette.setPixel(3, 0, kNoKindColour);
    EXPECT_EQ(Run(&palette).status, "The palette " + request_.palette +
                                        " gives Jungle black, the colour of tiles of no kind.");
}

TEST_F(MapViewsTest, HeightsRoundTripExactlyAndLeaveTilesAlone) {
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            SetCell(x, y, static_cast<uint16_t>(x * 100 + y),
                    static_cast<int8_t>(y * 16 + x - 128));
        }
    }
    WriteFiles();
    request_.view = MapView::kHeights;
    ASSERT_TRUE(Run().ok);
    EXPECT_TRUE(grey_);
    EXPECT_EQ(picture_->pixel(0, 0), 0);
    EXPECT_EQ(picture_->pixel(15, 15), Rgb(255, 255, 255));

    Bytes flat = terrain_;
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) flat[CellAt(x, y) + 2] = 0;
    }
    test::WriteAll(request_.map, flat);
    SetHeightsRequest set;
    set.map = request_.map;
    EXPECT_EQ(RunSetHeights(set, picture_.get(), {}).status, kHeightsDone);
    EXPECT_EQ(test::ReadAll(request_.map), terrain_);
    // A picture whose last column is the first of a block: cells (7, 0) and (8, 0) get 2.
    set.x = "7";
    MemoryPicture two(2, 1, Rgb(130, 130, 130));
    EXPECT_EQ(RunSetHeights(set, &two, {}).status, kHeightsDone);
    Bytes now = test::ReadAll(request_.map);
    EXPECT_TRUE(now[CellAt(7, 0) + 2] == 2 && now[CellAt(8, 0) + 2] == 2);
    // Ctrl-C between two rows ends the job there.
    set.x = "0";
    Bmp2MapHooks hooks;
    int rows = 0;
    hooks.status = [&rows](const std::string&) {
        if (++rows == 2) RequestStop();
    };
    const Bmp2MapOutcome stopped = RunSetHeights(set, picture_.get(), hooks);
    ClearStopRequest();
    EXPECT_EQ(stopped.status, "Stopped.");
}

TEST_F(MapViewsTest, RefusalsLeaveNoPictureAndNoChange) {
    WriteFiles();
    struct Case {
        std::function<void(MapViewRequest&)> change;
        std::string status;
    } cases[] = {
        {[&](auto& r) { r.out = dir_.path("out.gif"); },
         "The picture name " + dir_.path("out.gif") + " must end in .png or .bmp."},
        {[&](auto& r) {
             r.out = r.radarcol = dir_.path("radar.png");
             test::WriteAll(r.out, {});
         },
         "The picture " + dir_.path("radar.png") + " is one of the input files."},
        {[](auto& r) { r.scale = 3; }, "The scale must be 1, 2, 4, 8, 16, 32 or 64."},
        {[](auto& r) { r.x2 = 6144; }, "Illegal cordinates."},
        {[&](auto& r) { r.radarcol = dir_.path("none.mul"); },
         "The radar colour file " + dir_.path("none.mul") + " does not exist."},
        {[&](auto&) {
             pair_.SetEntry(1, 0, 700);
             pair_.Write(request_.staidx, request_.statics);
         },
         "The index " + request_.staidx + " points past the end of " + request_.statics +
             " at block 1 (X 0..7, Y 8..15)."},
        {[](auto& r) {
             r.world = world::Size{8, 8};
         },  // a view changes nothing, and says nothing of it
         request_.map + " is 100744 bytes long, but the terrain file of a 8x8 world (--world 8x8) "
                        "is 196 bytes long."},
    };
    for (const Case& c : cases) {
        MapViewRequest keep = request_;
        c.change(request_);
        MapViewOutcome outcome = Run();
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.status, c.status);
        request_ = keep;
    }

    // Setting heights refuses a picture that is not grey, and writes nothing.
    MemoryPicture colour(2, 1, Rgb(9, 9, 9));
    colour.setPixel(1, 0, Rgb(9, 9, 10));
    SetHeightsRequest set;
    set.map = request_.map;
    set.bitmap = "p.png";
    EXPECT_EQ(RunSetHeights(set, &colour, {}).status,
              "The picture p.png is not grey at pixel 1, 0! Heights aborted");
    set.bitmap = dir_.path("none.png");
    EXPECT_EQ(RunSetHeights(set, nullptr, {}).status, "Missing picture! Heights aborted");
    MemoryPicture grey(2, 1);
    set.x = "6143";
    EXPECT_EQ(RunSetHeights(set, &grey, {}).result, Bmp2MapOutcome::Result::kRefused);
    EXPECT_EQ(test::ReadAll(request_.map), terrain_);
}

// A world 560 cells high: the views draw 512 cell rows at a time, so the last band is short.
class TallWorldTest : public MapViewsTest {
  protected:
    static constexpr world::Size kWorld{64, 560};
    TallWorldTest() {
        terrain_.resize(static_cast<size_t>(kWorld.blocks()) * kMapBlockBytes);
        for (size_t i = 0; i < terrain_.size(); ++i) {
            terrain_[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
        }
        WriteFiles();
        request_.view = MapView::kHeights;
        request_.world = kWorld;
        request_.x2.reset();
        request_.y2.reset();
    }
};

TEST_F(TallWorldTest, ShortLastBandDrawsTheSamePixelsAtEveryScale) {
    for (int32_t scale : {1, 2, 4, 8}) {
        request_.scale = scale;
        ASSERT_TRUE(Run().ok) << scale;
        ASSERT_TRUE(grey_ && picture_->height() == kWorld.height / scale);
    }
    request_.scale = 1;
    ASSERT_TRUE(Run().ok);
    for (int32_t y = 0; y < kWorld.height; ++y) {
        for (int32_t x = 0; x < kWorld.width; ++x) {
            size_t at = static_cast<size_t>(kWorld.BlockNumber(x, y)) * kMapBlockBytes + 4 +
                        3 * static_cast<size_t>((y % 8) * 8 + x % 8) + 2;
            int32_t g = static_cast<int8_t>(terrain_[at]) + 128;
            ASSERT_EQ(picture_->pixel(x, y), Rgb(g, g, g)) << x << "," << y;
        }
    }
}

// A stop asked for half way, or a disk that fills at any point of the file, ends the job with
// its message and leaves neither the picture nor a temporary file.
TEST_F(TallWorldTest, StoppedOrFailedViewsLeaveNoPicture) {
    for (const char* name : {"out.png", "out.bmp"}) {
        request_.out = dir_.path(name);
        MapViewOutcome stopped = RunMapView(request_, nullptr, [](const std::string& text) {
            if (text.ends_with("% finished") && std::stoi(text) >= 50) RequestStop();
        });
        ClearStopRequest();
        EXPECT_EQ(stopped.status, "Stopped.");
        ExpectNoPicture();

        ASSERT_TRUE(RunMapView(request_, nullptr, {}).ok);
        const auto size = static_cast<int64_t>(std::filesystem::file_size(request_.out));
        std::filesystem::remove(request_.out);
        for (int64_t budget : {int64_t{0}, int64_t{40}, size / 2, size - 20, size - 1}) {
            test::FaultyFileSystem full(budget);
            MapViewOutcome failed = RunMapView(request_, nullptr, {}, full);
            EXPECT_TRUE(failed.status.starts_with("Unable to write the picture " + request_.out))
                << failed.status;
            ExpectNoPicture();
        }
    }
}

}  // namespace
}  // namespace vorlak
