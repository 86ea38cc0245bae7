#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "art/ArtPair.h"
#include "art/cMulConvert.h"
#include "cli/Cli.h"
#include "cli/RunVorlak.h"
#include "mul/Picture.h"
#include "picture/QtPicture.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using Bytes = std::vector<uint8_t>;
using test::ArtPair;

using Result = test::CliResult;
using test::RunVorlak;

// Every art colour's bits 0-14 somewhere in the tile, bit 15 set on some.
Bytes SampleTile() {
    return ArtPair::Landscape(
        [](int32_t i) { return (i * 977 + 13) % 0x8000 | (i % 5 == 0 ? 0x8000 : 0); });
}

class CliArt : public ::testing::Test {
  protected:
    void SetUp() override {
        ArtPair pair;
        pair.Add(7, SampleTile());
        pair.Add(16384 + 2, ArtPair::Static(5, {{{1, {0x7C00}}}, {}}));
        pair.Add(32768 + 2, ArtPair::Static(1, {}));
        pair.Remove(8);
        pair.Write(idx, mul);
    }

    test::TempDir dir;
    std::string idx = dir.path("artidx.mul");
    std::string mul = dir.path("art.mul");
};

TEST_F(CliArt, ExportThenImportGivesBackTheTile) {
    for (const char* name : {"tile.png", "tile.BMP"}) {
        std::string picture = dir.path(name);
        Result r = RunVorlak(
            {"art", "export", "--number", "7", "--idx", idx, "--mul", mul, "--out", picture});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find(picture), std::string::npos) << r.out;
        EXPECT_EQ(r.err, "");
        std::optional<QtPicture> shown = LoadPicture(picture);
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->width(), 44);
        EXPECT_EQ(shown->height(), 44);
        EXPECT_EQ(shown->pixel(0, 0), art::kBackground);

        std::string newIdx = dir.path(std::string(name) + ".idx"), newMul = dir.path(name) + ".mul";
        r = RunVorlak({"art", "import", "--bitmap", picture, "--number", "7", "--idx", newIdx,
                       "--mul", newMul});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_FALSE(r.out.empty());
        Bytes frozen = test::ReadAll(newMul);
        ASSERT_EQ(frozen.size(), 2048u);
        Bytes expected = SampleTile();
        for (size_t i = 1; i < expected.size(); i += 2) expected[i] &= 0x7F;
        EXPECT_EQ(Bytes(frozen.begin(), frozen.begin() + 2024), expected) << name;
    }
}

TEST_F(CliArt, ExportWritesTheRunLengthGrid) {
    std::string picture = dir.path("static.bmp");
    Result r = RunVorlak({"art", "export", "--number", "2", "--kind", "static", "--idx", idx,
                          "--mul", mul, "--out", picture});
    ASSERT_EQ(r.code, 0) << r.err;
    std::optional<QtPicture> shown = LoadPicture(picture);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->width(), 6);
    EXPECT_EQ(shown->height(), 3);
    EXPECT_EQ(shown->pixel(1, 0), 248);
    EXPECT_EQ(shown->pixel(0, 0), art::kBackground);

    r = RunVorlak({"art", "export", "--number", "2", "--kind", "test", "--idx", idx, "--mul", mul,
                   "--out", picture});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(LoadPicture(picture)->width(), 2);
}

TEST_F(CliArt, ExportRefusals) {
    std::string picture = dir.path("x.png");
    auto exportNumber = [&](const std::string& number, const std::string& kind = "land") {
        return RunVorlak({"art", "export", "--number", number, "--kind", kind, "--idx", idx,
                          "--mul", mul, "--out", picture});
    };
    for (const char* number : {"16384", "-1", "99999999999999999999"}) {
        Result r = exportNumber(number);
        EXPECT_EQ(r.code, 1) << number;
        EXPECT_EQ(r.err, "Art number goes from 0 to 16383.\n");
        EXPECT_EQ(r.out, "");
    }
    Result r = exportNumber("8");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("There is no art record 8"), std::string::npos) << r.err;
    EXPECT_EQ(exportNumber("9").code, 1);
    EXPECT_EQ(exportNumber("7", "static").code, 1);
    EXPECT_FALSE(test::Exists(picture));

    r = RunVorlak({"art", "export", "--number", "7", "--idx", dir.path("none.mul"), "--mul", mul,
                   "--out", picture});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("none.mul"), std::string::npos);
    EXPECT_FALSE(test::Exists(dir.path("none.mul")));

    r = RunVorlak({"art", "export", "--number", "7", "--idx", idx, "--mul", mul, "--out",
                   dir.path("no/such/folder/x.png")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Unable to write"), std::string::npos);
}

TEST_F(CliArt, UsageErrors) {
    std::string picture = dir.path("x.png");
    const std::vector<std::vector<std::string>> bad = {
        {"art"},
        {"art", "export", "--number", "7", "--out", dir.path("x.jpg")},
        {"art", "export", "--number", "7", "--out", dir.path("x")},
        {"art", "export", "--number", "7", "--kind", "charather", "--out", picture},
        {"art", "export", "--number", "1.5", "--out", picture},
        {"art", "export", "--number", "&H10", "--out", picture},
        {"art", "export", "--out", picture},
        {"art", "export", "--number", "7"},
        {"art", "import", "--number", "7"},
        {"art", "import", "--bitmap", picture},
    };
    for (const auto& args : bad) {
        Result r = RunVorlak(args);
        EXPECT_EQ(r.code, 2) << args.back();
        EXPECT_FALSE(r.err.empty());
    }
}

TEST_F(CliArt, ImportRefusalsWriteNothing) {
    std::string small = dir.path("small.png"), junk = dir.path("junk.bmp"),
                good = dir.path("good.png"), cut = dir.path("cut.bmp");
    ASSERT_TRUE(SavePicture(MemoryPicture(44, 43), small));
    ASSERT_TRUE(SavePicture(MemoryPicture(44, 44), good));
    test::WriteText(junk, "BM not really a picture");
    // A 44 x 44 BMP of 24 bits per pixel without its last row; its size field is left 0.
    Bytes bmp = {'B', 'M', 0, 0,  0, 0, 0, 0,  0, 0, 54, 0, 0, 0,  40,
                 0,   0,   0, 44, 0, 0, 0, 44, 0, 0, 0,  1, 0, 24, 0};
    bmp.resize(54 + 132 * 43, 0);
    test::WriteAll(cut, bmp);
    std::string newIdx = dir.path("new-idx.mul"), newMul = dir.path("new.mul");
    const std::string range = "Art number goes from 0 to 178956970.\n";
    struct Case {
        std::string picture, number, message;
    };
    const std::vector<Case> cases = {
        {small, "0", "The picture is smaller than 44 x 44 pixels.\n"},
        {junk, "0",
         "Unable to read the picture " + junk + ".\n" + junk +
             ": its header gives a file size of 1953459744 bytes, but the file ends after 23 "
             "bytes\n"},
        {cut, "0",
         "Unable to read the picture " + cut + ".\n" + cut +
             ": its pixel data needs 5808 bytes from byte 54, but the file ends after 5730 "
             "bytes\n"},
        {dir.path("missing.png"), "0",
         "Unable to read the picture " + dir.path("missing.png") + ".\n" + dir.path("missing.png") +
             ": No such file or directory\n"},
        {good, "-1", range},
        {good, "4294967296", range},
        {good, "178956971", range},
    };
    for (const Case& c : cases) {
        Result r = RunVorlak({"art", "import", "--bitmap", c.picture, "--number", c.number, "--idx",
                              newIdx, "--mul", newMul});
        EXPECT_EQ(r.code, 1) << c.picture;
        EXPECT_EQ(r.err, c.message);
    }
    EXPECT_FALSE(test::Exists(newIdx));
    EXPECT_FALSE(test::Exists(newMul));
}

TEST_F(CliArt, ImportDefaultsToTheArtFilesOfTheCurrentFolder) {
    std::string good = dir.path("good.png");
    ASSERT_TRUE(SavePicture(MemoryPicture(60, 50, Rgb(255, 255, 255)), good));
    auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir.root());
    Result r = RunVorlak({"art", "import", "--bitmap", good, "--number", "1"});
    std::filesystem::current_path(before);
    ASSERT_EQ(r.code, 0) << r.err;
    // Record 1 was missing: the tile goes to the end of art.mul, its entry (end, 2048, 0, 0).
    Bytes data = test::ReadAll(mul);
    ASSERT_EQ(data.size(), 2024u + 26 + 8 + 2048);
    EXPECT_EQ(data[data.size() - 2048], 0xFF);
    EXPECT_EQ(data[data.size() - 2047], 0x7F);
    Bytes index = test::ReadAll(idx);
    EXPECT_EQ(Bytes(index.begin() + 12, index.begin() + 24),
              (Bytes{0x0A, 0x08, 0, 0, 0x00, 0x08, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace vorlak
