// The art subcommands: the round trip through a picture file, and how refusals reach the user.

#include "art/ArtPair.h"
#include "cli/RunVorlak.h"

namespace vorlak::test {
namespace {

// Every art colour's bits 0-14 somewhere in the tile, bit 15 set on some.
Bytes SampleTile() {
    return ArtPair::Landscape(
        [](int32_t i) { return (i * 977 + 13) % 0x8000 | (i % 5 == 0 ? 0x8000 : 0); });
}

class CliArt : public CliFiles {
  protected:
    void SetUp() override {
        ArtPair pair;
        pair.Add(7, SampleTile());
        pair.Add(16384 + 2, ArtPair::Static(5, {{{1, {0x7C00}}}, {}}));
        pair.SetEntry(8, -1, -1);  // no record 8
        pair.Write(artIdx, art);
    }
    Args Export(const std::string& number, const std::string& out, const std::string& kind) {
        return {"art",   "export", "--number", number, "--kind", kind,
                "--idx", artIdx,   "--mul",    art,    "--out",  out};
    }
    Args Import(const std::string& picture, const std::string& number, const std::string& to) {
        return {"art",  "import", "--bitmap",  picture, "--number",
                number, "--idx",  to + ".idx", "--mul", to + ".mul"};
    }

    std::string artIdx = dir.path("artidx.mul"), art = dir.path("art.mul");
};

// Into new files, or by default into the art files of the current folder, where record 1 is
// missing: the tile goes to the end of art.mul, its entry (end, 2048, 0, 0).
TEST_F(CliArt, ExportThenImportGivesBackTheTile) {
    Bytes expected = SampleTile();
    for (size_t i = 1; i < expected.size(); i += 2) expected[i] &= 0x7F;
    for (const char* name : {"tile.png", "tile.BMP"}) {
        std::string picture = dir.path(name);
        CliResult r = RunVorlak(Export("7", picture, "land"));
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(Has(r.out, picture) && r.err.empty()) << r.out;
        ASSERT_EQ(RunVorlak(Import(picture, "7", picture)).code, 0);
        Bytes frozen = ReadAll(picture + ".mul");
        ASSERT_EQ(frozen.size(), 2048u);
        EXPECT_EQ(Bytes(frozen.begin(), frozen.begin() + 2024), expected) << name;
    }
    ASSERT_EQ(RunHere({"art", "import", "--bitmap", "tile.png", "--number", "1"}).code, 0);
    Bytes data = ReadAll(art), index = ReadAll(artIdx);
    ASSERT_EQ(data.size(), 2024u + 26 + 2048);
    EXPECT_EQ(Bytes(data.end() - 2048, data.end() - 24), expected);
    EXPECT_EQ(Bytes(index.begin() + 12, index.begin() + 24),
              (Bytes{0x02, 0x08, 0, 0, 0x00, 0x08, 0, 0, 0, 0, 0, 0}));

    ASSERT_EQ(RunVorlak(Export("2", dir.path("static.bmp"), "static")).code, 0);
    EXPECT_EQ(LoadPicture(dir.path("static.bmp"))->width(), 6);
}

// Refused jobs exit 1 with the reason on stderr and create no file.
TEST_F(CliArt, RefusalsExitOneAndWriteNothing) {
    std::string out = dir.path("x.png"), small = dir.path("small.png"), cut = dir.path("cut.bmp");
    const std::string to = dir.path("new");
    ASSERT_TRUE(SavePicture(MemoryPicture(44, 43), small));
    // A 44 x 44 BMP of 24 bits per pixel without its last row; its size field is left 0.
    Bytes bmp = {'B', 'M', 0, 0,  0, 0, 0, 0,  0, 0, 54, 0, 0, 0,  40,
                 0,   0,   0, 44, 0, 0, 0, 44, 0, 0, 0,  1, 0, 24, 0};
    bmp.resize(54 + 132 * 43, 0);
    WriteAll(cut, bmp);
    const std::pair<Args, std::string> cases[] = {
        {Export("16384", out, "land"), "Art number goes from 0 to 16383.\n"},
        {Export("99999999999999999999", out, "land"), "Art number goes from 0 to 16383.\n"},
        {Export("8", out, "land"), "There is no art record 8"},
        {Export("7", dir.path("no/such/folder/x.png"), "land"), "Unable to write"},
        {Import(small, "0", to), "The picture is smaller than 44 x 44 pixels.\n"},
        {Import(cut, "0", to), "Unable to read the picture " + cut + ".\n" + cut +
                                   ": its pixel data needs 5808 bytes from byte 54, but the file "
                                   "ends after 5730 bytes\n"},
        {Import(dir.path("none.png"), "0", to), "none.png: No such file or directory\n"},
        {Import(small, "-1", to), "Art number goes from 0 to 178956970.\n"},
    };
    for (const auto& [args, message] : cases) {
        CliResult r = RunVorlak(args);
        EXPECT_TRUE(r.code == 1 && r.out.empty() && Has(r.err, message)) << r.err;
    }
    EXPECT_FALSE(Exists(out) || Exists(to + ".mul") || Exists(to + ".idx"));
}

}  // namespace
}  // namespace vorlak::test
