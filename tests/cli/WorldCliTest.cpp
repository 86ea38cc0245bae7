// Worlds of other sizes, told by the files' length or by --world: every job works on the whole
// world, keeps its limits, and refuses files of another size.

#include "cli/RunVorlak.h"
#include "mapgen/MapGen.h"  // kMapBlockBytes
#include "mul/World.h"

namespace vorlak::test {
namespace {

std::string Item(int32_t x, int32_t y) {
    return Zedra3Item("5", std::to_string(x), std::to_string(y));
}

// A world that the files describe by their length, or one that only --world can tell.
struct World {
    world::Size size;
    bool given;
};

class WorldSizes : public CliFiles, public ::testing::WithParamInterface<World> {
  protected:
    const world::Size& size() const { return GetParam().size; }
    int32_t Block(int32_t x, int32_t y) const { return size().BlockNumber(x, y); }
    Args WithWorld(const Args& args) const {
        return GetParam().given ? args + Args{"--world", world::SizeText(size())} : args;
    }
    CliResult RunOnPair(const Args& args) { return Run(WithWorld(args)); }

    // The index keeps its length, and no entry but the one of `block` differs from `before`.
    void ExpectOnly(Bytes before, int32_t block = -1) {
        Bytes now = ReadAll(idx);
        if (block >= 0 && now.size() == before.size()) {
            std::copy_n(now.begin() + block * 12, 12, before.begin() + block * 12);
        }
        EXPECT_TRUE(now == before) << block;
    }

    std::string items = dir.path("items.wsc");
};

TEST_P(WorldSizes, StaticsJobsFollowTheWorldAndRefuseAPairOfAnotherSize) {
    const int32_t w = size().width, h = size().height;
    const std::string text = world::SizeText(size());
    StaticsPair pair(size().blocks());
    pair.AddGarbage(3);
    pair.AddRun(Block(0, 0), StaticsPair::Record(1, 0, 0));
    pair.AddRun(Block(w / 2, h / 2), StaticsPair::Record(2, 0, 0));
    pair.AddRun(Block(w - 1, h - 1), StaticsPair::Record(3, 7, 7));
    pair.Write(idx, mul);

    CliResult r = RunOnPair({"check"});
    EXPECT_TRUE(Has(r.out, "are sound: " + text + " world, " + std::to_string(size().blocks()) +
                               " blocks (3 with statics)"))
        << r.out << r.err;
    ASSERT_EQ(RunOnPair({"melt", "--items", items}).code, 0);  // the whole world by default
    std::string melted = ReadText(items);
    EXPECT_TRUE(Has(melted, "INITMEM 3\r\n") &&
                Has(melted, "X " + std::to_string(w - 1) + "\r\nY " + std::to_string(h - 1)));
    ExpectOnly(pair.index);
    EXPECT_EQ(RunOnPair({"clear", "--x2", "7", "--y2", "7"}).code, 0);
    ExpectOnly(pair.index, Block(0, 0));
    Bytes before = ReadAll(idx);
    WriteText(items, Item(w - 2, h - 1));
    EXPECT_EQ(RunOnPair({"freeze", "--items", items}).code, 0);
    ExpectOnly(before, Block(w - 1, h - 1));

    // Limits follow the world; refusals change nothing.
    before = ReadAll(idx);
    const Bytes dataBefore = ReadAll(mul);
    WriteText(items, Item(w - 1, h - 1) + Item(w, 0));
    r = RunOnPair({"freeze", "--items", items});
    EXPECT_TRUE(r.code == 1 &&
                Has(r.err, "lies outside the world (X " + std::to_string(w) + ", Y 0)"))
        << r.err;
    const std::string x2 = "X2 " + std::to_string(w) + " lies outside the world's columns 0..";
    const std::string y2 = "Y2 " + std::to_string(h) + " lies outside the world's rows 0..";
    for (const auto& [args, detail] : std::vector<std::pair<Args, std::string>>{
             {{"clear", "--x2", std::to_string(w)}, x2 + std::to_string(w - 1)},
             {{"clear", "--y2", std::to_string(h)}, y2 + std::to_string(h - 1)},
             {{"melt", "--items", items + "2", "--x2", std::to_string(w)},
              x2 + std::to_string(w - 1)}}) {
        EXPECT_EQ(RunOnPair(args).err, "Illegal cordinates.\n" + detail + ".\n");
    }
    ExpectOnly(before);
    EXPECT_EQ(ReadAll(mul), dataBefore);

    r = RunOnPair({"compact"});
    EXPECT_TRUE(Has(r.out, "bytes reclaimed from a " + text + " world.")) << r.out << r.err;
    // The run at the last block with the item added; the cleared one gone.
    StaticsPair now = StaticsPair::Read(idx, mul);
    ASSERT_EQ(now.index.size(), pair.index.size());
    EXPECT_EQ(now.RunOf(Block(0, 0)), Bytes{});
    EXPECT_EQ(now.RunOf(Block(w - 1, h - 1)).size(), 14u);
    EXPECT_EQ(RunOnPair({"check"}).code, 0);

    // Taken at another size the pair would be cut short or extended: every job refuses it,
    // names its length and --world, and changes nothing.
    WriteText(items, Item(1, 1));
    const StaticsPair kept = StaticsPair::Read(idx, mul);
    const std::string length = std::to_string(kept.index.size()) + " bytes long";
    for (Args args : {Args{"check"}, Args{"compact"}, Args{"clear"}, Args{"melt", "--items", items},
                      Args{"freeze", "--items", items}}) {
        if (!GetParam().given) args.insert(args.end(), {"--world", "6144x4096"});
        r = Run(args);
        EXPECT_TRUE(r.code == 1 && Has(r.err, idx + " is " + length) && Has(r.err, "--world"))
            << r.err;
        EXPECT_TRUE(ReadAll(idx) == kept.index && ReadAll(mul) == kept.data) << args[0];
    }
    EXPECT_EQ(ReadText(items), Item(1, 1));
}

TEST_P(WorldSizes, MapJobsPlaceByTheWorldAndKeepTheFileLength) {
    const int32_t w = size().width, h = size().height;
    const std::string map = dir.path("map0.mul"), radar = dir.path("radarcol.mul");
    const std::string palette = dir.path("palette.png"), picture = dir.path("picture.png");
    const std::string grey = dir.path("grey.png");
    const uint64_t length = static_cast<uint64_t>(size().blocks()) * kMapBlockBytes;
    WriteAll(map, {});
    std::filesystem::resize_file(map, length);
    WriteAll(radar, {});
    ASSERT_TRUE(SavePicture(MemoryPicture(1, 1, Rgb(9, 9, 9)), palette));
    // No kind: tile 580 (44 02), height 0; grey 130: height 2.
    ASSERT_TRUE(SavePicture(MemoryPicture(2, 2, Rgb(1, 2, 3)), picture));
    ASSERT_TRUE(SavePicture(MemoryPicture(2, 2, Rgb(130, 130, 130)), grey));
    auto place = [&](int32_t x, int32_t y) {
        return RunVorlak(WithWorld({"bmp2map", "--bitmap", picture, "--palette", palette, "--map",
                                    map, "--x", std::to_string(x), "--y", std::to_string(y)}));
    };

    CliResult r = place(w - 2, h - 2);
    ASSERT_EQ(r.code, 0) << r.err;
    Bytes bytes = ReadAll(map);
    ASSERT_EQ(bytes.size(), length);
    // The four cells alone changed; the last one ends the last block.
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), static_cast<long>(length) - 8);
    EXPECT_EQ(Bytes(bytes.end() - 3, bytes.end()), (Bytes{0x44, 0x02, 0}));
    r = RunVorlak(WithWorld({"heights", "--bitmap", grey, "--map", map, "--x",
                             std::to_string(w - 2), "--y", std::to_string(h - 2)}));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadAll(map).back(), 2);
    Bytes colours(2 * 581, 0);
    colours[2 * 580] = colours[2 * 580 + 1] = 0x7F;  // tile 580 white, the rest black
    WriteAll(radar, colours);
    r = RunVorlak(WithWorld({"render", "--no-statics", "--scale", "8", "--map", map, "--radarcol",
                             radar, "--out", dir.path("all.png")}));
    EXPECT_EQ(r.code, 0) << r.err;
    std::optional<QtPicture> all = LoadPicture(dir.path("all.png"));
    ASSERT_TRUE(all && all->width() == w / 8 && all->height() == h / 8);
    // Only the last pixel holds the four cells of tile 580.
    EXPECT_NE(all->pixel(w / 8 - 1, h / 8 - 1), 0);
    EXPECT_EQ(all->pixel(w / 8 - 2, h / 8 - 1) | all->pixel(w / 8 - 1, h / 8 - 2), 0);
    StaticsPair(size().blocks() + 512).Write(idx, mul);
    r = RunVorlak(WithWorld(
        OnPair({"render", "--map", map, "--radarcol", radar, "--out", dir.path("other.png")})));
    EXPECT_TRUE(r.code == 1 && Has(r.err, "--world")) << r.err;

    r = place(w - 1, 0);
    EXPECT_TRUE(r.code == 1 && Has(r.err, "outside the map of " + world::SizeText(size())))
        << r.err;
    std::filesystem::resize_file(map, length + kMapBlockBytes);
    r = place(0, 0);
    EXPECT_TRUE(r.code == 1 &&
                Has(r.err, std::to_string(length + kMapBlockBytes) + " bytes long") &&
                Has(r.err, "--world"))
        << r.err;
    EXPECT_EQ(std::filesystem::file_size(map), length + kMapBlockBytes);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WorldSizes,
                         ::testing::Values(World{{7168, 4096}, false}, World{{2304, 1600}, true}),
                         [](const auto& param) {
                             return param.param.given ? std::string("Given") : std::string("Wider");
                         });

}  // namespace
}  // namespace vorlak::test
