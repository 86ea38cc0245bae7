#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "mapgen/MapGen.h"
#include "mul/Recorder.h"
#include "mul/cMUL.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using test::Bytes;
using Result = Bmp2MapOutcome::Result;

constexpr int32_t kBlock = 196;
constexpr int64_t kUnlimited = int64_t{1} << 40;
const int32_t kUnknown = Rgb(1, 2, 3);  // in no palette column

// Column 3 shares its colour with column 8, and the palette is only 11 wide: kind 11 is never
// drawn.
MemoryPicture Palette() {
    MemoryPicture palette(11, 1);
    for (int32_t k = 0; k < 11; ++k) palette.setPixel(k, 0, Rgb(20 * k, 100, 255 - k));
    palette.setPixel(3, 0, palette.pixel(8, 0));
    return palette;
}

// A picture of palette colours and the unknown colour, the same for the same seed.
MemoryPicture Scatter(int32_t width, int32_t height, uint32_t seed = 1) {
    MemoryPicture palette = Palette();
    MemoryPicture picture(width, height);
    std::mt19937 pick(seed);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            auto k = static_cast<int32_t>(pick() % 12);
            picture.setPixel(x, y, k == 11 ? kUnknown : palette.pixel(k, 0));
        }
    }
    return picture;
}

Bytes Pattern(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 7 + 3) % 251);
    return bytes;
}

// File offset of the first byte of the cell at map (x, y).
size_t CellOffset(int32_t x, int32_t y) {
    return static_cast<size_t>((x / 8) * 512 + y / 8) * kBlock + 4 + 3 * ((y % 8) * 8 + x % 8);
}

// The job as the per-pixel steps give it: load the block, look up the pixel, change the cell,
// save the block. Slow, and the yardstick for the bytes the job writes.
void ReferenceRun(const std::string& path, const Picture& palette, const Picture& picture,
                  int32_t X, int32_t Y, uint32_t seed) {
    TerrainTable table = BuildTerrainTable(&palette, DefaultAltMin(), DefaultAltMax());
    TerrainRandom next(seed);
    cMUL map;
    ASSERT_EQ(map.cOpen("", path, kBlock, 393216), "");
    ByteBuffer block;
    int16_t flagA = 0, flagB = 0;
    for (int32_t py = 0; py < picture.height(); ++py) {
        for (int32_t px = 0; px < picture.width(); ++px) {
            int32_t x = X + px, y = Y + py;
            int32_t b = (x / 8) * 512 + y / 8;
            int32_t i = (y % 8) * 8 + x % 8;
            ASSERT_EQ(map.cLoad(b, block, flagA, flagB), kBlock);
            TerrainCell cell = LookupTerrain(table, picture.pixel(px, py), next);
            block[4 + 3 * i] = static_cast<uint8_t>(cell.tile & 0xFF);
            block[5 + 3 * i] = static_cast<uint8_t>(cell.tile >> 8);
            block[6 + 3 * i] = cell.height;
            map.cSave(b, block, flagA, flagB, false);
        }
    }
    map.cClose();
}

struct Recorded {
    std::vector<std::string> status;
    std::vector<std::pair<std::string, std::string>> messages;
    int picturesChecked = 0;
    Bmp2MapOutcome outcome;
};

class Bmp2Map : public ::testing::Test {
  protected:
    Bmp2MapRequest Request(int32_t x, int32_t y, uint32_t seed = 99) {
        Bmp2MapRequest request;
        request.map = dir.path("map0.mul");
        request.bitmap = dir.path("picture.bmp");
        request.palette = dir.path("colors.gif");
        request.x = std::to_string(x);
        request.y = std::to_string(y);
        request.seed = seed;
        return request;
    }

    // Runs the job; `stopAtRow` >= 0 asks it to stop when that row's progress text is shown.
    Recorded Run(const Bmp2MapRequest& request, const Picture* colours, const Picture* picture,
                 FileSystem& fs = DefaultFileSystem(), int32_t stopAtRow = -1) {
        Recorded r;
        Bmp2MapHooks hooks;
        hooks.status = [&](const std::string& text) { r.status.push_back(text); };
        hooks.message = [&](const std::string& text, const std::string& title) {
            r.messages.emplace_back(text, title);
        };
        hooks.picturesChecked = [&] { ++r.picturesChecked; };
        hooks.stopRequested = [&] {
            return static_cast<int32_t>(r.status.size()) == stopAtRow + 1;
        };
        r.outcome = RunBmp2Map(request, colours, picture, hooks, fs);
        return r;
    }

    test::TempDir dir;
    MemoryPicture palette = Palette();
};

// Placements and starting files where the written bytes must equal the per-pixel steps'.
struct Layout {
    int32_t x, y, width, height;
    int64_t startBytes;  // -1: no terrain file yet
};

class SameBytes : public Bmp2Map, public ::testing::WithParamInterface<Layout> {};

TEST_P(SameBytes, AsThePerPixelStepsOnMappedAndPlainFiles) {
    const Layout l = GetParam();
    MemoryPicture picture = Scatter(l.width, l.height);
    std::string reference = dir.path("reference.mul");
    std::string mapped = dir.path("mapped.mul");
    std::string plain = dir.path("plain.mul");
    if (l.startBytes >= 0) {
        for (auto* path : {&reference, &mapped, &plain}) {
            test::WriteAll(*path, Pattern(static_cast<size_t>(l.startBytes)));
        }
    }
    ReferenceRun(reference, palette, picture, l.x, l.y, 5);

    Bmp2MapRequest request = Request(l.x, l.y, 5);
    request.map = mapped;
    EXPECT_EQ(Run(request, &palette, &picture).outcome.result, Result::kDone);
    request.map = plain;
    test::FaultyFileSystem unmappable(kUnlimited);  // its files cannot be mapped
    EXPECT_EQ(Run(request, &palette, &picture, unmappable).outcome.result, Result::kDone);

    Bytes want = test::ReadAll(reference);
    EXPECT_TRUE(test::ReadAll(mapped) == want);
    EXPECT_TRUE(test::ReadAll(plain) == want);
}

INSTANTIATE_TEST_SUITE_P(
    Placements, SameBytes,
    ::testing::Values(Layout{0, 0, 1, 1, -1},                   // creates one block
                      Layout{4, 6, 8, 3, 515 * kBlock},         // across block columns and rows
                      Layout{5, 3, 21, 19, 700 * kBlock + 77},  // file ends inside a block
                      Layout{5, 3, 21, 19, 1000},               // grows from a short file
                      Layout{8, 0, 1, 1, 5},                    // block 512 of a tiny file
                      Layout{17, 4081, 30, 15, -1},             // the last block rows
                      Layout{0, 4090, 64, 6, 4 * kBlock},       // eight block columns
                      Layout{3, 5, 10, 2100, -1}));             // two bands of block rows

// Refusals come in a message box before the terrain file is touched or created; the palette is
// checked before the picture is looked at.
TEST_F(Bmp2Map, RefusalsComeBeforeTheTerrainFileIsTouched) {
    MemoryPicture picture = Scatter(10, 10);
    const std::string bounds = "The heights of Entrance must lie between -128 and 127!";
    const struct {
        const char* x;
        const char* y;
        const char* altMin11;
        bool withPalette;
        std::string text;
        int picturesChecked;
    } cases[] = {
        {"0", "0", "20", false, "Colors.gif is missing!", 0},
        {"0", "0", "-128.6", true, bounds, 1},
        {"0", "4.5", "20", true, "X and Y must be whole numbers of 0 or more!", 1},
        {"1e300", "0", "20", true, "X and Y must be whole numbers of 0 or more!", 1},
        {"6134", "4087", "20", true,
         "The picture would end at 6144x4097, outside the map of 6144x4096!", 1},
        {"2147483647", "0", "20", true,
         "The picture would end at 2147483657x10, outside the map of 6144x4096!", 1},
    };
    for (const auto& c : cases) {
        Bmp2MapRequest request = Request(0, 0);
        request.x = c.x, request.y = c.y, request.altMin[11] = c.altMin11;
        const Bytes before = Pattern(5000);
        for (bool exists : {true, false}) {
            if (exists) test::WriteAll(request.map, before);
            Recorded r = Run(request, c.withPalette ? &palette : nullptr, &picture);
            EXPECT_EQ(r.outcome.result, Result::kRefused);
            EXPECT_EQ(r.messages, (std::vector<std::pair<std::string, std::string>>{
                                      {c.text + " BMP to Map aborted", "BMP2Map"}}));
            EXPECT_TRUE(r.status.empty());
            EXPECT_EQ(r.picturesChecked, c.picturesChecked) << c.text;
            EXPECT_TRUE(exists ? test::ReadAll(request.map) == before : !test::Exists(request.map))
                << c.text;
            std::filesystem::remove(request.map);
        }
    }
    // One picture as its own palette is no refusal: both are only read.
    Bmp2MapRequest own = Request(0, 0);
    own.palette = own.bitmap;
    test::WriteAll(own.bitmap, Bytes(10, 1));
    EXPECT_EQ(Run(own, &palette, &picture).outcome.result, Result::kDone);
    std::filesystem::remove(own.map);
    MemoryPicture empty(0, 5);
    EXPECT_EQ(
        Run(Request(0, 0), &palette, &empty).outcome.status,
        "The picture " + Request(0, 0).bitmap + " cannot be read as a picture! BMP to Map aborted");
    EXPECT_FALSE(test::Exists(Request(0, 0).map));
}

TEST_F(Bmp2Map, AStopLeavesWholeFinishedRowsOnly) {
    MemoryPicture picture = Scatter(21, 12);
    Bmp2MapRequest request = Request(5, 3);
    // The long file needs no growing; the short one grows only as far as the finished rows need.
    for (size_t length : {size_t{2000} * kBlock, size_t{300}}) {
        const Bytes before = Pattern(length);
        for (FileSystem* fs : {&DefaultFileSystem(), static_cast<FileSystem*>(nullptr)}) {
            test::FaultyFileSystem unmappable(kUnlimited);
            FileSystem& use = fs ? *fs : unmappable;
            for (int32_t stop : {0, 1, 4, 11}) {
                test::WriteAll(request.map, before);
                Recorded r = Run(request, &palette, &picture, use, stop);
                EXPECT_EQ(r.outcome.result, Result::kStopped);
                EXPECT_EQ(r.outcome.rowsWritten, stop);
                EXPECT_TRUE(r.messages.empty());
                EXPECT_EQ(r.status.back(), ProgressText(stop, 12));

                // The finished rows alone, laid by the per-pixel steps with the same numbers.
                MemoryPicture finished(21, stop);
                for (int32_t y = 0; y < stop; ++y) {
                    for (int32_t x = 0; x < 21; ++x) finished.setPixel(x, y, picture.pixel(x, y));
                }
                std::string reference = dir.path("reference.mul");
                test::WriteAll(reference, before);
                ReferenceRun(reference, palette, finished, 5, 3, 99);
                EXPECT_TRUE(test::ReadAll(request.map) == test::ReadAll(reference))
                    << "stopped at row " << stop << " of a file of " << length << " bytes";
            }
        }
    }
}

// Stopped inside its second band of block rows, in the middle of a block row.
TEST_F(Bmp2Map, AStopInALaterBandLeavesTheRowsBeforeIt) {
    MemoryPicture picture = Scatter(10, 2100);
    Bmp2MapRequest request = Request(3, 5);
    Recorded r = Run(request, &palette, &picture, DefaultFileSystem(), 1500);
    EXPECT_EQ(r.outcome.result, Result::kStopped);
    EXPECT_EQ(r.outcome.rowsWritten, 1500);
    MemoryPicture finished(10, 1500);
    for (int32_t y = 0; y < 1500; ++y) {
        for (int32_t x = 0; x < 10; ++x) finished.setPixel(x, y, picture.pixel(x, y));
    }
    std::string reference = dir.path("reference.mul");
    ReferenceRun(reference, palette, finished, 3, 5, 99);
    EXPECT_TRUE(test::ReadAll(request.map) == test::ReadAll(reference));
}

TEST_F(Bmp2Map, AFailedWriteKeepsTheRowsBeforeIt) {
    MemoryPicture picture = Scatter(8, 6);  // one block column: one 24-byte write per row
    const Bytes before = Pattern(2 * kBlock);
    Bmp2MapRequest request = Request(0, 0);
    test::WriteAll(request.map, before);
    Run(request, &palette, &picture);
    const Bytes full = test::ReadAll(request.map);

    test::WriteAll(request.map, before);
    test::FaultyFileSystem disk(2 * 24 + 10);
    Recorded r = Run(request, &palette, &picture, disk);
    EXPECT_EQ(r.outcome.result, Result::kFailed);
    EXPECT_EQ(r.outcome.rowsWritten, 2);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].first, "No space left on device. BMP to Map aborted");
    EXPECT_EQ(r.messages[0].second, "BMP2Map");
    Bytes now = test::ReadAll(request.map);
    for (int32_t y = 0; y < 2; ++y) {
        size_t at = CellOffset(0, y);
        EXPECT_TRUE(std::equal(now.begin() + at, now.begin() + at + 24, full.begin() + at)) << y;
    }
    EXPECT_TRUE(
        std::equal(now.begin() + CellOffset(0, 3), now.end(), before.begin() + CellOffset(0, 3)));

    // Space that cannot be set aside ends the job before its first row.
    test::WriteAll(request.map, before);
    test::FaultyFileSystem noRoom(kUnlimited);
    noRoom.FailReserve();
    r = Run(request, &palette, &picture, noRoom);
    EXPECT_EQ(r.outcome.status, "No space left on device. BMP to Map aborted");
    EXPECT_EQ(r.outcome.rowsWritten, 0);
    EXPECT_TRUE(test::ReadAll(request.map) == before);
}

// With a step, the job's one band is made while the step is written beside it; the step is
// complete before the first byte reaches the terrain file, whether that is the band at the end or
// the file growing first.
TEST_F(Bmp2Map, TheStepIsCompleteBeforeTheFirstWrite) {
    struct Order final : test::QuietRecorder {
        void Start() override { calls += "start "; }
        void Begin() override {
            calls += test::ReadAll(map) == found ? "begin " : "begin after a write ";
        }
        void Done() override { calls += "done"; }
        std::string map, calls;
        Bytes found;
    };
    MemoryPicture picture = Scatter(20, 12);
    for (int64_t start : {int64_t{8 * kBlock}, int64_t{kBlock}}) {
        Bmp2MapRequest request = Request(3, 2);
        Order order;
        order.map = request.map;
        order.found = Pattern(static_cast<size_t>(start));
        test::WriteAll(request.map, order.found);
        request.history = &order;
        EXPECT_EQ(Run(request, &palette, &picture).outcome.result, Result::kDone);
        EXPECT_EQ(order.calls, "start begin done") << start;
        EXPECT_FALSE(test::ReadAll(request.map) == order.found);
    }
}

}  // namespace
}  // namespace vorlak
