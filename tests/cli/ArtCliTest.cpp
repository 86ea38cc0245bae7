// The art subcommands: the round trip through a picture file, and how refusals reach the user.
#include <gtest/gtest.h>

#include <filesystem>

#include "art/ArtPair.h"
#include "art/cMulConvert.h"
#include "cli/RunVorlak.h"
#include "mul/Picture.h"
#include "picture/QtPicture.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using Bytes = std::vector<uint8_t>;
using Args = std::vector<std::string>;
using test::ArtPair;
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
        pair.SetEntry(8, -1, -1);
        pair.Write(idx, mul);
    }
    Args Export(const std::string& number, const std::string& out, const std::string& kind) {
        return {"art",   "export", "--number", number, "--kind", kind,
                "--idx", idx,      "--mul",    mul,    "--out",  out};
    }

    test::TempDir dir;
    std::string idx = dir.path("artidx.mul");
    std::string mul = dir.path("art.mul");
};

TEST_F(CliArt, ExportThenImportGivesBackTheTile) {
    for (const char* name : {"tile.png", "tile.BMP"}) {
        std::string picture = dir.path(name);
        test::CliResult r = RunVorlak(Export("7", picture, "land"));
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find(picture), std::string::npos) << r.out;
        EXPECT_EQ(r.err, "");

        std::string newIdx = picture + ".idx", newMul = picture + ".mul";
        r = RunVorlak({"art", "import", "--bitmap", picture, "--number", "7", "--idx", newIdx,
                       "--mul", newMul});
        ASSERT_EQ(r.code, 0) << r.err;
        Bytes frozen = test::ReadAll(newMul);
        ASSERT_EQ(frozen.size(), 2048u);
        Bytes expected = SampleTile();
        for (size_t i = 1; i < expected.size(); i += 2) expected[i] &= 0x7F;
        EXPECT_EQ(Bytes(frozen.begin(), frozen.begin() + 2024), expected) << name;
    }
    ASSERT_EQ(RunVorlak(Export("2", dir.path("static.bmp"), "static")).code, 0);
    EXPECT_EQ(LoadPicture(dir.path("static.bmp"))->width(), 6);
}

// Refused jobs exit 1 with the reason on stderr and create no file.
TEST_F(CliArt, RefusalsExitOneAndWriteNothing) {
    std::string out = dir.path("x.png"), small = dir.path("small.png"), cut = dir.path("cut.bmp");
    ASSERT_TRUE(SavePicture(MemoryPicture(44, 43), small));
    // A 44 x 44 BMP of 24 bits per pixel without its last row; its size field is left 0.
    Bytes bmp = {'B', 'M', 0, 0,  0, 0, 0, 0,  0, 0, 54, 0, 0, 0,  40,
                 0,   0,   0, 44, 0, 0, 0, 44, 0, 0, 0,  1, 0, 24, 0};
    bmp.resize(54 + 132 * 43, 0);
    test::WriteAll(cut, bmp);
    auto import = [&](const std::string& picture, const std::string& number) {
        return Args{"art",      "import",
                    "--bitmap", picture,
                    "--number", number,
                    "--idx",    dir.path("new-idx.mul"),
                    "--mul",    dir.path("new.mul")};
    };
    const std::string range = "Art number goes from 0 to 178956970.\n";
    const std::pair<Args, std::string> cases[] = {
        {Export("16384", out, "land"), "Art number goes from 0 to 16383.\n"},
        {Export("99999999999999999999", out, "land"), "Art number goes from 0 to 16383.\n"},
        {Export("8", out, "land"), "There is no art record 8"},
        {Export("7", out, "static"), "There is no art record 16391"},
        {Export("7", dir.path("no/such/folder/x.png"), "land"), "Unable to write"},
        {import(small, "0"), "The picture is smaller than 44 x 44 pixels.\n"},
        {import(cut, "0"), "Unable to read the picture " + cut + ".\n" + cut +
                               ": its pixel data needs 5808 bytes from byte 54, but the file ends "
                               "after 5730 bytes\n"},
        {import(dir.path("none.png"), "0"), "none.png: No such file or directory\n"},
        {import(small, "-1"), range},
        {import(small, "178956971"), range},
    };
    for (const auto& [args, message] : cases) {
        test::CliResult r = RunVorlak(args);
        EXPECT_EQ(r.code, 1) << message;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(test::Exists(out));
    EXPECT_FALSE(test::Exists(dir.path("new.mul")));
    EXPECT_FALSE(test::Exists(dir.path("new-idx.mul")));
}

TEST_F(CliArt, ImportDefaultsToTheArtFilesOfTheCurrentFolder) {
    std::string good = dir.path("good.png");
    ASSERT_TRUE(SavePicture(MemoryPicture(60, 50, Rgb(255, 255, 255)), good));
    auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir.root());
    test::CliResult r = RunVorlak({"art", "import", "--bitmap", good, "--number", "1"});
    std::filesystem::current_path(before);
    ASSERT_EQ(r.code, 0) << r.err;
    // Record 1 was missing: the tile goes to the end of art.mul, its entry (end, 2048, 0, 0).
    Bytes data = test::ReadAll(mul);
    ASSERT_EQ(data.size(), 2024u + 26 + 2048);
    EXPECT_EQ(data[data.size() - 2047], 0x7F);
    Bytes index = test::ReadAll(idx);
    EXPECT_EQ(Bytes(index.begin() + 12, index.begin() + 24),
              (Bytes{0x02, 0x08, 0, 0, 0x00, 0x08, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace vorlak
