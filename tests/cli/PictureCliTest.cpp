// The picture jobs on the command line: the art round trip through a picture file, the map
// import with its palette, options and defaults, and how their refusals reach the user.
#include "art/ArtPair.h"
#include "cli/RunVorlak.h"

namespace vorlak::test {
namespace {

// Every art colour's bits 0-14 somewhere in the tile, bit 15 set on some.
Bytes SampleTile() {
    return ArtPair::Landscape(
        [](int32_t i) { return (i * 977 + 13) % 0x8000 | (i % 5 == 0 ? 0x8000 : 0); });
}

struct Cell {
    int32_t tile;
    int32_t height;
};

Cell CellAt(const Bytes& map, int32_t x, int32_t y) {
    size_t at = static_cast<size_t>((x / 8) * 512 + y / 8) * 196 + 4 + 3 * ((y % 8) * 8 + x % 8);
    return {map.at(at) | (map.at(at + 1) << 8), static_cast<int8_t>(map.at(at + 2))};
}

class CliPictures : public CliFiles {
  protected:
    void SetUp() override {
        ArtPair pair;
        pair.Add(7, SampleTile());
        pair.Add(16384 + 2, ArtPair::Static(5, {{{1, {0x7C00}}}, {}}));
        pair.SetEntry(8, -1, -1);  // no record 8
        pair.Write(artIdx, art);
        // The example palette: grass 00A000, dirt 8C5A28, montain 808080, jungle 005A00, water
        // 0000C8, lava E63C00, snow FFFFFF, cave 3C3C3C, sand E6D282, cstones B4B4A0, swamp
        // 5A6E3C, entrance FF00FF.
        std::filesystem::copy_file(
            std::filesystem::path(__FILE__).parent_path() / "../../examples/colors.gif", palette);
        // Columns: water, entrance, montain, then a colour of no kind.
        const int32_t columns[] = {Rgb(0, 0, 0xC8), Rgb(0xFF, 0, 0xFF), Rgb(0x80, 0x80, 0x80),
                                   Rgb(0x80, 0x80, 0x81)};
        MemoryPicture picture(4, 4);
        for (int32_t i = 0; i < 16; ++i) picture.setPixel(i % 4, i / 4, columns[i % 4]);
        ASSERT_TRUE(SavePicture(picture, bitmap));
    }
    Args Export(const std::string& number, const std::string& out, const std::string& kind) {
        return {"art",   "export", "--number", number, "--kind", kind,
                "--idx", artIdx,   "--mul",    art,    "--out",  out};
    }
    Args Import(const std::string& picture, const std::string& number, const std::string& to) {
        return {"art",  "import", "--bitmap",  picture, "--number",
                number, "--idx",  to + ".idx", "--mul", to + ".mul"};
    }
    // The map import with its usual options, `option` given `value` instead, then `more`.
    Args Bmp2Map(const std::string& option, const std::string& value, const Args& more = {}) {
        // Leading zeros: whole decimal numbers, never octal ones.
        Args args = {"bmp2map", "--bitmap", bitmap, "--palette", palette, "--map",
                     map,       "--x",      "010",  "--y",       "020"};
        auto at = std::find(args.begin(), args.end(), option);
        if (at != args.end()) at[1] = value;
        return args + more;
    }

    std::string artIdx = dir.path("artidx.mul"), art = dir.path("art.mul");
    std::string palette = dir.path("colors.gif"), bitmap = dir.path("picture.bmp");
    std::string map = dir.path("map0.mul");
};

// Into new files, or by default into the art files of the current folder, where record 1 is
// missing: the tile goes to the end of art.mul, its entry (end, 2048, 0, 0).
TEST_F(CliPictures, ArtExportThenImportGivesBackTheTile) {
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

// The defaults: colors.gif and map0.mul in the current folder, the picture at 0,0; progress
// goes to a terminal only.
TEST_F(CliPictures, MapImportLaysThePictureWithTheGifPaletteAndTheDefaults) {
    CliResult r = RunHere({"map", "--bitmap", "picture.bmp", "--seed", "7"}, true);  // short name
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "4 rows written; 4 cells of no kind (tile 580).\nMap imported succesfully!\n");
    // Each text overwrites the one before on the terminal's line, which is cleared at the end.
    EXPECT_EQ(r.err,
              "\r\033[K0% finished\r\033[K25% finished\r\033[K50% finished\r\033[K75% finished"
              "\r\033[KMap imported succesfully!\r\033[K");
    // Water (168..171, 310, 311 at -3), entrance (475), no kind (580).
    Bytes bytes = ReadAll(map);
    const int32_t water = CellAt(bytes, 0, 3).tile;
    EXPECT_TRUE((water >= 168 && water <= 171) || water == 310 || water == 311) << water;
    EXPECT_EQ(CellAt(bytes, 0, 3).height, -3);
    EXPECT_EQ(CellAt(bytes, 1, 0).tile, 475);
    EXPECT_EQ(CellAt(bytes, 3, 1).tile, 580);
    std::filesystem::remove(map);
    ASSERT_EQ(RunHere({"map", "--bitmap", "picture.bmp", "--seed", "7"}).code, 0);
    EXPECT_TRUE(ReadAll(map) == bytes);  // the same seed, the same file

    // Heights by kind number or name in any case; without a terminal nothing but the result.
    r = RunVorlak(Bmp2Map("", "",
                          {"--height", "ENTRANCE=30:30", "--height", "4=5:5", "--height",
                           "MonTain=-2.5:-2.5", "--seed", "3"}));
    EXPECT_TRUE(r.code == 0 && r.err.empty() && Has(r.out, "\nMap imported succesfully!\n"))
        << r.err;
    bytes = ReadAll(map);
    EXPECT_EQ(CellAt(bytes, 10, 21).height, 5);
    EXPECT_EQ(CellAt(bytes, 11, 21).height, 30);
}

// The count lines: the rows drawn and the cells of no kind, the heights changed, where an
// imported tile went.
TEST_F(CliPictures, JobsWithPicturesCountWhatTheyDid) {
    auto counts = [](const Args& args) {
        CliResult r = RunVorlak(args);
        EXPECT_EQ(r.code, 0) << r.err;
        return r.out.substr(0, r.out.find('\n'));
    };
    EXPECT_EQ(counts(Bmp2Map("", "")), "4 rows written; 4 cells of no kind (tile 580).");
    const std::string grass = dir.path("grass.bmp"), odd = dir.path("odd.bmp");
    ASSERT_TRUE(SavePicture(MemoryPicture(3, 1, Rgb(0, 0xA0, 0)), grass));
    EXPECT_EQ(counts(Bmp2Map("--bitmap", grass)), "1 row written.");
    ASSERT_TRUE(SavePicture(MemoryPicture(2, 2, Rgb(1, 2, 3)), odd));
    EXPECT_EQ(counts(Bmp2Map("--bitmap", odd)),
              "2 rows written; 4 cells of no kind (tile 580): no colour of the picture is one of "
              "the palette's, so the palette probably does not match the picture.");

    // Heights: the cells at 10, 20 and 11, 20 hold 0 now (tile 580); a grey of 128 keeps them.
    const std::string grey = dir.path("grey.bmp");
    MemoryPicture heights(3, 1, Rgb(128, 128, 128));
    heights.setPixel(2, 0, Rgb(130, 130, 130));
    ASSERT_TRUE(SavePicture(heights, grey));
    const Args setHeights = {"heights", "--bitmap", grey, "--map", map, "--x", "10", "--y", "20"};
    EXPECT_EQ(counts(setHeights), "1 cell changed height, of 3 under the picture.");
    EXPECT_EQ(counts(setHeights), "0 cells changed height, of 3 under the picture.");

    // A new tile goes to the end of the data file; the same number again is written in place.
    const std::string tile = dir.path("tile.bmp"), to = dir.path("new");
    ASSERT_TRUE(SavePicture(MemoryPicture(44, 44), tile));
    EXPECT_EQ(counts(Import(tile, "3", to)), "Appended at byte 0 of " + to + ".mul.");
    EXPECT_EQ(counts(Import(tile, "3", to)), "Written in place, at byte 0 of " + to + ".mul.");
    EXPECT_EQ(counts(Import(tile, "4", to)), "Appended at byte 2048 of " + to + ".mul.");
}

// Refused jobs exit 1 with the reason on stderr and create no file.
TEST_F(CliPictures, RefusalsExitOneAndWriteNothing) {
    std::string out = dir.path("x.png"), small = dir.path("small.png"), cut = dir.path("cut.bmp");
    const std::string to = dir.path("new");
    ASSERT_TRUE(SavePicture(MemoryPicture(44, 43), small));
    // A 44 x 44 BMP of 24 bits per pixel without its last row; its size field is left 0.
    Bytes bmp = {'B', 'M', 0, 0,  0, 0, 0, 0,  0, 0, 54, 0, 0, 0,  40,
                 0,   0,   0, 44, 0, 0, 0, 44, 0, 0, 0,  1, 0, 24, 0};
    bmp.resize(54 + 132 * 43, 0);
    WriteAll(cut, bmp);
    const std::string fifo = dir.path("fifo"), folder = dir.path("folder");
    const std::string block = dir.path("block.mul");  // the terrain of a world of one block
    WriteAll(block, Bytes(196, 0));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(folder);
    // A 4 x 4 BMP of 24 bits per pixel cut short after its first row: 12 of 48 pixel bytes.
    const std::string cut4 = dir.path("cut4.bmp");
    Bytes header = {'B', 'M', 102, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                    0,   0,   0,   4, 0, 0, 0, 4, 0, 0, 0,  1, 0, 24, 0};
    header.resize(54 + 12, 0);
    WriteAll(cut4, header);
    Bytes rle = header;  // the same, 8 bits a pixel in runs, 100 bytes of runs promised
    rle[2] = 0, rle[28] = 8, rle[30] = 1, rle[34] = 100;
    WriteAll(dir.path("rle.bmp"), rle);
    // A grey PNG of 16 bits per sample, which would lose its low byte in a height.
    const std::string deep = dir.path("deep.png");
    QImage grey16(3, 2, QImage::Format_Grayscale16);
    grey16.fill(Qt::gray);
    ASSERT_TRUE(grey16.save(QString::fromStdString(deep), "PNG"));
    ASSERT_EQ(ReadAll(deep).at(24), 16);
    const std::pair<Args, std::string> cases[] = {
        {{"heights", "--bitmap", deep, "--map", map},
         "The picture " + deep +
             " has 16 bits per sample; heights takes 8-bit grey pictures only! Heights aborted\n"},
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
        {Bmp2Map("--palette", dir.path("none.gif")), "Colors.gif is missing! BMP to Map aborted\n" +
                                                         dir.path("none.gif") +
                                                         ": No such file or directory\n"},
        {Bmp2Map("--bitmap", folder),
         "Missing picture! BMP to Map aborted\n" + folder + " is a folder, not a picture file\n"},
        {Bmp2Map("--bitmap", cut4),
         "The picture " + cut4 + " cannot be read as a picture! BMP to Map aborted\n" + cut4 +
             ": its header gives a file size of 102 bytes, but the file "
             "ends after 66 bytes\n"},
        {Bmp2Map("--bitmap", dir.path("rle.bmp")), "its pixel data needs 100 bytes from byte 54"},
        {Bmp2Map("--map", bitmap),
         bitmap + " and " + bitmap + " are the same file. BMP to Map aborted\n"},
        {Export("7", dir.path("no/t.png"), "land"), "Unable to write the picture " +
                                                        dir.path("no/t.png") + ".\nCannot open " +
                                                        dir.path("no/t.png") + ".tmp"},
        {Bmp2Map("--map", dir.path("no/map0.mul")),
         "Unable to open  and " + dir.path("no/map0.mul") + ".\nCannot open " +
             dir.path("no/map0.mul") + ": No such file or directory (" + dir.path("no/map0.mul") +
             " has fixed blocks and no index file, so no name stands before \"and\")\n"},
        {Bmp2Map("--x", "6141"),
         "The picture would end at 6145x24, outside the map of 6144x4096! BMP to Map aborted\n"},
        {Bmp2Map("--x", "65535"),
         "The picture would end at 65539x24, outside the map of 6144x4096! BMP to Map aborted\n"},
        // The other picture jobs give the same cause line for a picture they cannot read.
        {{"heights", "--bitmap", cut4, "--map", map},
         "The picture " + cut4 + " cannot be read as a picture! Heights aborted\n" + cut4 +
             ": its header gives a file size of 102 bytes"},
        {{"map2bmp", "--kinds", "--palette", folder, "--world", "8x8", "--map", block, "--out",
          out},
         "The palette " + folder + " is missing.\n" + folder +
             " is a folder, not a picture file\n"},
        // Export all checks the art files before it makes its folder.
        {{"art", "export", "--all", "--dir", to, "--idx", folder, "--mul", art},
         folder + " is a folder, not a regular file. Nothing was written.\n"},
        {{"art", "export", "--all", "--dir", to, "--idx", artIdx, "--mul", fifo},
         fifo + " is a FIFO, not a regular file. Nothing was written.\n"},
        {{"art", "export", "--all", "--dir", small, "--idx", artIdx, "--mul", art},
         "Unable to make the folder " + small + ".\n"},
    };
    for (const auto& [args, message] : cases) {
        CliResult r = RunVorlak(args);
        EXPECT_TRUE(r.code == 1 && r.out.empty() && Has(r.err, message)) << message << r.err;
    }
    EXPECT_FALSE(Exists(out) || Exists(to + ".mul") || Exists(to + ".idx") || Exists(map) ||
                 std::filesystem::exists(to));
}

}  // namespace
}  // namespace vorlak::test
