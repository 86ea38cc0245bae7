#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <tuple>

#include "art/ArtExport.h"
#include "art/ArtJobs.h"
#include "art/ArtPair.h"
#include "mul/Error.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using test::ArtPair;
using test::Bytes;
using Result = LoadArtOutcome::Result;

constexpr int32_t kBg = art::kBackground;

class ArtJobs : public ::testing::Test {
  protected:
    LoadArtOutcome Load(double number, ArtKind kind = ArtKind::kLandscape) {
        return RunLoadArt(LoadArtRequest{idx, mul, kind, number});
    }
    JobOutcome Freeze(double number, const Picture& picture) {
        return RunFreezePicture(FreezePictureRequest{number, idx, mul}, picture);
    }

    test::TempDir dir;
    std::string idx = dir.path("artidx.mul");
    std::string mul = dir.path("art.mul");
};

// Pixel i of the diamond holds art colour i * 31 (bit 15 set on every seventh), so every pixel
// differs from its neighbours.
Bytes SampleTile() {
    return ArtPair::Landscape(
        [](int32_t i) { return (i * 31) % 0x8000 | (i % 7 == 0 ? 0x8000 : 0); });
}

TEST_F(ArtJobs, RecordNumbersPerKindAndWhatPaintsNothing) {
    ArtPair pair;
    pair.Add(0, SampleTile());
    pair.SetEntry(1, -1, -1);  // removed
    pair.SetEntry(2, 0, 0);
    pair.Add(16383, SampleTile());
    pair.Add(16384, ArtPair::Static(3, {}));
    pair.Add(16386, ArtPair::Static(4, {}));
    pair.Add(16384 + 7, ArtPair::Static(2049, {}));
    pair.Add(16384 + 8, Bytes{1, 2, 3, 4, 5, 6, 7});  // too short for width and height
    pair.Add(32767, ArtPair::Static(1, {{{0, {0x7C00}}}}));
    pair.Add(32768 + 5, ArtPair::Static(2, {{}, {}, {}}));
    pair.Write(idx, mul);

    // The sum is rounded half to even. A number out of range is told; a removed record, one of
    // length 0 or one beyond the end of the index is no record.
    using enum ArtKind;
    using enum Result;
    const double kInf = std::numeric_limits<double>::infinity();
    // clang-format off
    struct Case {
        double number;
        ArtKind kind;
        Result result;
        int32_t record = 0, width = 0, height = 0;
    } cases[] = {
        {16383, kLandscape, kDecoded, 16383, 44, 44}, {16383, kStatic, kDecoded, 32767, 2, 2},
        {5.4, kTest, kDecoded, 32773, 3, 4}, {0.5, kStatic, kDecoded, 16384, 4, 1},
        {1.5, kStatic, kDecoded, 16386, 5, 1},
        {16384, kLandscape, kOutOfRange}, {16383.6, kLandscape, kOutOfRange},
        {-1, kLandscape, kOutOfRange}, {-0.4, kLandscape, kOutOfRange},
        {kInf, kLandscape, kOutOfRange}, {std::nan(""), kLandscape, kOutOfRange},
        {1, kLandscape, kNoRecord}, {2, kLandscape, kNoRecord}, {16383, kTest, kNoRecord},
        {7, kStatic, kRefused}, {8, kStatic, kRefused}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        LoadArtOutcome out = Load(c.number, c.kind);
        ASSERT_EQ(out.result, c.result) << out.status;
        EXPECT_EQ(out.ok, c.result == kDecoded);
        EXPECT_EQ(out.grid.has_value(), c.result == kDecoded);
        if (out.grid) {
            EXPECT_EQ(std::tuple(out.record, out.grid->width(), out.grid->height()),
                      std::tuple(c.record, c.width, c.height));
        }
        // The Art page clears its box for all of them and tells only the number out of range.
        EXPECT_TRUE(out.clearsPicture());
        EXPECT_EQ(out.showsMessage(), c.result == kOutOfRange);
        EXPECT_EQ(out.status == "Art number goes from 0 to 16383.", c.result == kOutOfRange);
    }
    EXPECT_EQ(Load(1).detail, "The record was removed.");

    EXPECT_EQ(ArtKindFromOptions(true, false, false), kLandscape);
    EXPECT_EQ(ArtKindFromOptions(false, true, false), kStatic);
    EXPECT_EQ(ArtKindFromOptions(true, true, true), kTest);
    EXPECT_EQ(ArtKindFromOptions(false, false, false), kLandscape);
}

TEST_F(ArtJobs, MissingFilesChangeNothing) {
    test::WriteAll(idx, Bytes(12, 0));
    LoadArtOutcome out = Load(0);
    EXPECT_EQ(out.result, Result::kFilesMissing);
    EXPECT_NE(out.status.find(mul), std::string::npos);
    EXPECT_FALSE(test::Exists(mul));  // not created by looking

    // Checked before the number: even an out-of-range number changes nothing.
    std::filesystem::remove(idx);
    test::WriteAll(mul, {});
    EXPECT_EQ(Load(99999).result, Result::kFilesMissing);
    EXPECT_FALSE(test::Exists(idx));
}

// An art file that exists but cannot be opened (no permission): the export says so with the
// cause, and --all makes no folder.
TEST_F(ArtJobs, AnArtFileThatCannotBeOpenedIsNamedWithItsCause) {
    struct Unreadable final : FileSystem {
        explicit Unreadable(std::string name) : path(std::move(name)) {}
        bool Exists(const std::string& p) override { return real.Exists(p); }
        std::unique_ptr<RandomAccessFile> Open(const std::string& p, OpenMode mode) override {
            if (p == path) throw Error::Io("Cannot open " + p + ": Permission denied");
            return real.Open(p, mode);
        }
        void Rename(const std::string& a, const std::string& b) override { real.Rename(a, b); }
        void Remove(const std::string& p) override { real.Remove(p); }
        std::string path;
        FileSystem& real = DefaultFileSystem();
    };
    ArtPair art;
    art.Add(1, SampleTile());
    art.Write(idx, mul);
    for (const std::string& name : {idx, mul}) {
        Unreadable fs(name);
        LoadArtOutcome loaded = RunLoadArt(LoadArtRequest{idx, mul, ArtKind::kLandscape, 1}, fs);
        EXPECT_EQ(loaded.status, "Unable to open " + idx + " and " + mul + ".");
        EXPECT_EQ(loaded.detail, "Cannot open " + name + ": Permission denied");
        const std::string folder = dir.path("tiles");
        ExportAllArtOutcome all =
            RunExportAllArt({idx, mul, ArtKind::kLandscape, folder, "png"}, nullptr, nullptr, fs);
        EXPECT_EQ(all.detail, loaded.detail);
        EXPECT_FALSE(std::filesystem::exists(folder));
    }
}

TEST(PaintArt, PaintsEveryCellBackgroundTooAndSkipsWhatLiesOutside) {
    PixelGrid grid(21, 31, 0);
    grid.setPixel(9, 30, kBg);
    MemoryPicture target(10, 40, 0x123456);
    PaintArt(grid, target);
    EXPECT_EQ(target.pixel(9, 0), 0);
    EXPECT_EQ(target.pixel(9, 30), kBg);
    EXPECT_EQ(target.pixel(0, 31), 0x123456);
}

// A record shorter than 2048 bytes is left where it is and the new one appended, with both flags
// 0; a long enough one is written over.
TEST_F(ArtJobs, FreezePictureAppendsOverShorterRecordsThenWritesInPlace) {
    ArtPair pair;
    pair.Add(0, SampleTile());
    pair.Add(1, SampleTile(), 5, 6);
    pair.Write(idx, mul);

    ASSERT_TRUE(Freeze(1, MemoryPicture(44, 44, Rgb(255, 255, 255))).ok);
    Bytes white = ArtPair::Landscape([](int32_t) { return 0x7FFF; });
    white.resize(2048, 0);
    pair.Add(1, white);
    EXPECT_EQ(test::ReadAll(mul), pair.data);
    EXPECT_EQ(test::ReadAll(idx), pair.index);

    ASSERT_TRUE(Freeze(1.4, MemoryPicture(44, 44, 0)).ok);
    std::fill(pair.data.begin() + 4048, pair.data.end(), 0);
    EXPECT_EQ(test::ReadAll(mul), pair.data);
    EXPECT_EQ(test::ReadAll(idx), pair.index);

    // An entry sharing bytes with another record, or reaching past the file, is not written
    // through: the tile is appended and every other record stays as it was.
    for (int32_t offset : {1000, 2000000000}) {
        pair.SetEntry(2, offset, 2048);
        pair.Write(idx, mul);
        ASSERT_TRUE(Freeze(2, MemoryPicture(44, 44, 0)).ok);
        Bytes now = test::ReadAll(mul);
        ASSERT_EQ(now.size(), pair.data.size() + 2048) << offset;
        EXPECT_TRUE(std::equal(pair.data.begin(), pair.data.end(), now.begin())) << offset;
    }
}

TEST_F(ArtJobs, FreezePictureRefusalsWriteNothing) {
    MemoryPicture picture(44, 44, 0);
    for (double number : {-1.0, -0.6, 2147483648.0, 1e300, 178956971.0}) {
        EXPECT_EQ(Freeze(number, picture).status, "Art number goes from 0 to 178956970.") << number;
    }
    EXPECT_EQ(Freeze(0, MemoryPicture(43, 44)).status,
              "The picture is smaller than 44 x 44 pixels.");
    EXPECT_FALSE(test::Exists(idx) || test::Exists(mul));

    // -0.4 rounds to record 0, the largest addressable number still works.
    EXPECT_TRUE(Freeze(-0.4, picture).ok);
    EXPECT_TRUE(Freeze(178956970, picture).ok);
    EXPECT_EQ(std::filesystem::file_size(idx), 178956971ull * 12);
}

TEST_F(ArtJobs, FreezePictureWritesDataBeforeTheEntry) {
    ArtPair pair;
    pair.Add(0, SampleTile());
    pair.Write(idx, mul);
    // The disk fills up in the middle of the record: the entry still points at the old tile.
    test::FaultyFileSystem fs(1000);
    JobOutcome out = RunFreezePicture({0, idx, mul}, MemoryPicture(44, 44), fs);
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.status, "Unable to save the picture as art number 0.");
    EXPECT_FALSE(out.detail.empty());
    EXPECT_EQ(test::ReadAll(idx), pair.index);
}

// Freeze picture reads the diamond of the picture's top-left corner, nothing else, and writes it
// as a 2048-byte record, the last 24 bytes zero.
TEST_F(ArtJobs, LoadedTilesFreezeBackUnchanged) {
    ArtPair pair;
    pair.Add(9, SampleTile());
    pair.Write(idx, mul);
    LoadArtOutcome loaded = Load(9);
    ASSERT_TRUE(loaded.ok);
    MemoryPicture box(164, 252, Rgb(255, 255, 255));
    PaintArt(*loaded.grid, box);

    idx = dir.path("new-idx.mul");
    mul = dir.path("new.mul");
    ASSERT_TRUE(Freeze(3, box).ok);
    Bytes expected = SampleTile();
    for (size_t i = 1; i < expected.size(); i += 2) expected[i] &= 0x7F;  // bit 15 is lost
    expected.resize(2048, 0);
    EXPECT_EQ(test::ReadAll(mul), expected);
    ArtPair index;
    index.SetEntry(3, 0, 2048);
    EXPECT_EQ(test::ReadAll(idx), index.index);
}

// Export all: every tile of a kind into a folder, missing and unreadable ones skipped and counted.
TEST_F(ArtJobs, ExportAllWritesEachRecordAndCountsTheMissingOnes) {
    ArtPair art;
    art.Add(0, ArtPair::Landscape([](int32_t) { return 0x001F; }));
    art.SetEntry(1, -1, -1);  // removed
    art.Add(2, ArtPair::Landscape([](int32_t i) { return i; }));
    art.Add(kStaticTileRecords + 5, ArtPair::Static(3, {{{1, {0x7C00}}}}));
    art.Add(kStaticTileRecords + 6, {1, 2, 3});  // too short for its size: unreadable
    art.Write(idx, mul);

    using Sizes = std::map<std::string, std::pair<int32_t, int32_t>>;  // file name: size
    // clang-format off
    struct Case {
        ArtKind kind;
        Sizes files;
        int32_t missing, unreadable;
    } cases[] = {
        {ArtKind::kLandscape, {{"00000.bmp", {44, 44}}, {"00002.bmp", {44, 44}}}, 16382, 0},
        {ArtKind::kStatic, {{"00005.bmp", {4, 2}}}, 16382, 1}};
    // clang-format on
    for (const Case& c : cases) {
        const std::string folder = dir.path(c.kind == ArtKind::kStatic ? "static/new" : "land");
        Sizes saved;
        auto save = [&](const Picture& p, const std::string& path, FileSystem&, AtomicFile::Links) {
            saved[path.substr(folder.size() + 1)] = {p.width(), p.height()};
            return std::string();
        };
        ExportAllArtOutcome outcome = RunExportAllArt({idx, mul, c.kind, folder, "bmp"}, save, {});
        EXPECT_TRUE(outcome.ok) << outcome.status;
        EXPECT_EQ(saved, c.files);
        EXPECT_EQ(std::tuple(outcome.written, outcome.missing, outcome.unreadable),
                  std::tuple(static_cast<int32_t>(c.files.size()), c.missing, c.unreadable));
        EXPECT_TRUE(std::filesystem::is_directory(folder));
    }
}

}  // namespace
}  // namespace vorlak
