// The map import on the command line: its palette, options and defaults, and its refusals.

#include "cli/RunVorlak.h"

namespace vorlak::test {
namespace {

using Result = CliResult;

// A 12 x 1 GIF: grass 00A000, dirt 8C5A28, montain 808080, jungle 005A00, water 0000C8,
// lava E63C00, snow FFFFFF, cave 3C3C3C, sand E6D282, cstones B4B4A0, swamp 5A6E3C,
// entrance FF00FF.
const Bytes kPaletteGif = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x0C, 0x00, 0x01, 0x00, 0xB3, 0x00, 0x00, 0x00, 0xA0,
    0x00, 0x8C, 0x5A, 0x28, 0x80, 0x80, 0x80, 0x00, 0x5A, 0x00, 0x00, 0x00, 0xC8, 0xE6, 0x3C,
    0x00, 0xFF, 0xFF, 0xFF, 0x3C, 0x3C, 0x3C, 0xE6, 0xD2, 0x82, 0xB4, 0xB4, 0xA0, 0x5A, 0x6E,
    0x3C, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x01, 0x00, 0x00, 0x04, 0x0A, 0x10, 0x04,
    0x31, 0x48, 0x31, 0x07, 0x25, 0xA8, 0x56, 0x04, 0x00, 0x3B};

struct Cell {
    int32_t tile;
    int32_t height;
};

Cell CellAt(const Bytes& map, int32_t x, int32_t y) {
    size_t at = static_cast<size_t>((x / 8) * 512 + y / 8) * 196 + 4 + 3 * ((y % 8) * 8 + x % 8);
    return {map.at(at) | (map.at(at + 1) << 8), static_cast<int8_t>(map.at(at + 2))};
}

class CliBmp2Map : public CliFiles {
  protected:
    void SetUp() override {
        WriteAll(palette, kPaletteGif);
        // Columns: water, entrance, montain, then a colour of no kind.
        const int32_t columns[] = {Rgb(0, 0, 0xC8), Rgb(0xFF, 0, 0xFF), Rgb(0x80, 0x80, 0x80),
                                   Rgb(0x80, 0x80, 0x81)};
        MemoryPicture picture(4, 4);
        for (int32_t i = 0; i < 16; ++i) picture.setPixel(i % 4, i / 4, columns[i % 4]);
        ASSERT_TRUE(SavePicture(picture, bitmap));
    }

    // The command with its usual options, `option` given `value` instead, then `more`.
    Args With(const std::string& option, const std::string& value, const Args& more = {}) {
        Args args = {"bmp2map", "--bitmap", bitmap, "--palette", palette, "--map",
                     map,       "--x",      "10",   "--y",       "20"};
        for (size_t i = 1; i < args.size(); i += 2) {
            if (args[i] == option) args[i + 1] = value;
        }
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    std::string palette = dir.path("colors.gif");
    std::string bitmap = dir.path("picture.bmp");
    std::string map = dir.path("map0.mul");
};

// The defaults: colors.gif and map0.mul in the current folder, the picture at 0,0; progress
// goes to a terminal only.
TEST_F(CliBmp2Map, LaysThePictureWithTheGifPaletteAndTheDefaults) {
    Result r = RunHere({"map", "--bitmap", "picture.bmp", "--seed", "7"}, true);  // short name
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Map imported succesfully!\n");
    // Each text overwrites the one before on the terminal's line, which is cleared at the end.
    EXPECT_EQ(r.err,
              "\r\033[K0% finished\r\033[K25% finished\r\033[K50% finished\r\033[K75% finished"
              "\r\033[KMap imported succesfully!\r\033[K");
    // Water (168..171, 310, 311 at -3), entrance (475 at 20..25), no kind (580 at 0).
    Bytes bytes = ReadAll(map);
    Cell water = CellAt(bytes, 0, 3), entrance = CellAt(bytes, 1, 0);
    EXPECT_TRUE((water.tile >= 168 && water.tile <= 171) || water.tile == 310 || water.tile == 311);
    EXPECT_EQ(water.height, -3);
    EXPECT_EQ(entrance.tile, 475);
    EXPECT_TRUE(entrance.height >= 20 && entrance.height <= 25);
    EXPECT_EQ(CellAt(bytes, 3, 1).tile, 580);

    // Heights by kind number or name in any case; without a terminal nothing but the result.
    r = RunVorlak(With("", "",
                       {"--height", "ENTRANCE=30:30", "--height", "4=5:5", "--height",
                        "MonTain=-2.5:-2.5", "--seed", "3"}));
    EXPECT_TRUE(r.code == 0 && r.err.empty() && r.out == "Map imported succesfully!\n") << r.err;
    bytes = ReadAll(map);
    EXPECT_EQ(CellAt(bytes, 10, 21).height, 5);
    EXPECT_EQ(CellAt(bytes, 11, 21).height, 30);
    EXPECT_EQ(CellAt(bytes, 12, 21).height, -2);  // half to even
}

TEST_F(CliBmp2Map, RefusalsExitOneAndLeaveTheMapAlone) {
    const std::string fifo = dir.path("fifo"), folder = dir.path("folder");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(folder);
    // A 4 x 4 BMP of 24 bits per pixel cut short after its first row: 12 of 48 pixel bytes.
    const std::string cut = dir.path("cut.bmp");
    Bytes header = {'B', 'M', 102, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                    0,   0,   0,   4, 0, 0, 0, 4, 0, 0, 0,  1, 0, 24, 0};
    header.resize(54 + 12, 0);
    WriteAll(cut, header);
    const std::pair<Args, std::string> cases[] = {
        {With("--palette", dir.path("none.gif")), "Colors.gif is missing! BMP to Map aborted\n" +
                                                      dir.path("none.gif") +
                                                      ": No such file or directory\n"},
        {With("--bitmap", folder),
         "Missing picture! BMP to Map aborted\n" + folder + " is a folder, not a picture file\n"},
        {With("--bitmap", cut), "The picture " + cut +
                                    " cannot be read as a picture! BMP to Map aborted\n" + cut +
                                    ": its header gives a file size of 102 bytes, but the file "
                                    "ends after 66 bytes\n"},
        {With("--palette", fifo), "Colors.gif cannot be read as a picture! BMP to Map aborted\n" +
                                      fifo + " is not a regular file (a FIFO, device or socket)\n"},
        {With("--map", fifo), fifo + " is a FIFO, not a regular file. BMP to Map aborted\n"},
        {With("--map", bitmap),
         bitmap + " and " + bitmap + " are the same file. BMP to Map aborted\n"},
        {With("--x", "6141"),
         "The picture would end at 6145x24, outside the map of 6144x4096! BMP to Map aborted\n"},
    };
    for (const auto& [args, message] : cases) {
        Result r = RunVorlak(args);
        EXPECT_TRUE(r.code == 1 && r.out.empty()) << message;
        EXPECT_EQ(r.err, message);
        EXPECT_FALSE(Exists(map)) << message;
    }
}

}  // namespace
}  // namespace vorlak::test
