#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <set>
#include <sstream>

#include "cli/RunVorlak.h"
#include "mapgen/MapGen.h"
#include "mul/Picture.h"
#include "mul/World.h"
#include "picture/QtPicture.h"
#include "support/StaticsPair.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using test::Bytes;
using test::ReadAll;
using test::StaticsPair;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string Item(int32_t x, int32_t y) {
    return "SECTION WORLDITEM 1\r\n{\r\nID 5\r\nX " + std::to_string(x) + "\r\nY " +
           std::to_string(y) + "\r\nZ 0\r\nTYPE 255\r\nCONT -1\r\n}\r\n\r\n";
}

// A world that the files describe by their length, or one that only --world can tell.
struct World {
    world::Size size;
    bool given;
};

class WorldSizes : public ::testing::TestWithParam<World> {
  protected:
    const world::Size& size() const { return GetParam().size; }
    int32_t Block(int32_t x, int32_t y) const { return size().BlockNumber(x, y); }

    // The subcommand on the pair, with --world when the world is given (or `world`).
    test::CliResult Run(std::vector<std::string> args, const std::string& world = "") {
        args.insert(args.end(), {"--statics", data, "--staidx", idx});
        std::string w = !world.empty() ? world : GetParam().given ? world::SizeText(size()) : "";
        if (!w.empty()) args.insert(args.end(), {"--world", w});
        return test::RunVorlak(args);
    }

    // The index keeps its length, and only the entries of `changed` differ from `before`.
    void ExpectOnly(const Bytes& before, const std::set<size_t>& changed, const char* step) {
        Bytes now = ReadAll(idx);
        ASSERT_EQ(now.size(), before.size()) << step;
        for (size_t at = 0; at < now.size(); at += 12) {
            bool same = std::equal(now.begin() + static_cast<long>(at),
                                   now.begin() + static_cast<long>(at) + 12,
                                   before.begin() + static_cast<long>(at));
            if (same == (changed.count(at / 12) > 0)) {
                ADD_FAILURE() << step << ": entry " << at / 12 << (same ? " kept" : " changed");
            }
        }
    }

    test::TempDir dir;
    std::string idx = dir.path("staidx0.mul");
    std::string data = dir.path("statics0.mul");
    std::string items = dir.path("items.wsc");
};

TEST_P(WorldSizes, StaticsJobsWorkOnTheWholeWorldAndTouchOnlyTheirEntries) {
    const int32_t w = size().width, h = size().height;
    const std::string text = world::SizeText(size());
    StaticsPair pair(size().blocks());
    pair.AddGarbage(3);
    pair.AddRun(Block(0, 0), StaticsPair::Record(1, 0, 0));
    pair.AddRun(Block(w / 2, h / 2), StaticsPair::Record(2, 0, 0));
    pair.AddRun(Block(w - 1, h - 1), StaticsPair::Record(3, 7, 7));
    pair.Write(idx, data);

    test::CliResult r = Run({"check"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "are sound: " + text + " world, " + std::to_string(size().blocks()) +
                               " blocks (3 with statics)"))
        << r.out;

    r = Run({"melt", "--items", items});  // the whole world by default
    ASSERT_EQ(r.code, 0) << r.err;
    std::string melted = test::ReadText(items);
    EXPECT_TRUE(Has(melted, "INITMEM 3\r\n") &&
                Has(melted, "X " + std::to_string(w - 1) + "\r\nY " + std::to_string(h - 1)));
    ExpectOnly(pair.index, {}, "melt");

    EXPECT_EQ(Run({"clear", "--x2", "7", "--y2", "7"}).code, 0);
    ExpectOnly(pair.index, {static_cast<size_t>(Block(0, 0))}, "clear");

    Bytes before = ReadAll(idx);
    test::WriteText(items, Item(w - 2, h - 1));
    EXPECT_EQ(Run({"freeze", "--items", items}).code, 0);
    ExpectOnly(before, {static_cast<size_t>(Block(w - 1, h - 1))}, "freeze");

    // Limits follow the world; refusals change nothing.
    before = ReadAll(idx);
    const Bytes dataBefore = ReadAll(data);
    test::WriteText(items, Item(w - 1, h - 1) + Item(w, 0));
    r = Run({"freeze", "--items", items});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "lies outside the world (X " + std::to_string(w) + ", Y 0)")) << r.err;
    for (const char* corner : {"--x2", "--y2"}) {
        for (auto args : {std::vector<std::string>{"clear"}, {"melt", "--items", items + "2"}}) {
            args.insert(args.end(), {corner, std::to_string(corner[2] == 'x' ? w : h)});
            EXPECT_EQ(Run(args).err, "Illegal cordinates.\n") << args[0] << corner;
        }
    }
    ExpectOnly(before, {}, "refusals");
    EXPECT_EQ(ReadAll(data), dataBefore);

    r = Run({"compact"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "bytes reclaimed from a " + text + " world.")) << r.out;
    StaticsPair now = StaticsPair::Read(idx, data);
    ASSERT_EQ(now.index.size(), pair.index.size());
    EXPECT_EQ(now.RunOf(Block(0, 0)), Bytes{});
    EXPECT_EQ(now.RunOf(Block(w / 2, h / 2)), StaticsPair::Record(2, 0, 0));
    Bytes last = StaticsPair::Record(3, 7, 7), added = StaticsPair::Record(5, 6, 7);
    last.insert(last.end(), added.begin(), added.end());
    EXPECT_EQ(now.RunOf(Block(w - 1, h - 1)), last);
    EXPECT_EQ(Run({"check"}).code, 0);
}

// Taken at another size the pair would be cut short or extended: every job refuses it, names
// its length and --world, and changes nothing.
TEST_P(WorldSizes, APairOfAnotherSizeIsRefusedByEveryJob) {
    StaticsPair pair(size().blocks());
    pair.AddRun(Block(size().width - 1, 0), StaticsPair::Record(1, 7, 0));
    pair.Write(idx, data);
    test::WriteText(items, Item(1, 1));
    const std::string length = std::to_string(pair.index.size()) + " bytes long";
    for (std::vector<std::string> args : {std::vector<std::string>{"check"},
                                          {"compact"},
                                          {"clear"},
                                          {"melt", "--items", items},
                                          {"freeze", "--items", items}}) {
        args.insert(args.end(), {"--statics", data, "--staidx", idx});
        if (!GetParam().given) args.insert(args.end(), {"--world", "6144x4096"});
        test::CliResult r = test::RunVorlak(args);
        EXPECT_EQ(r.code, 1) << args[0];
        EXPECT_TRUE(Has(r.err, idx + " is " + length) && Has(r.err, "--world")) << r.err;
        EXPECT_EQ(ReadAll(idx), pair.index) << args[0];
        EXPECT_EQ(ReadAll(data), pair.data) << args[0];
    }
    EXPECT_EQ(test::ReadText(items), Item(1, 1));
}

TEST_P(WorldSizes, MapGenerationPlacesByTheWorldAndKeepsTheFileLength) {
    const int32_t w = size().width, h = size().height;
    const std::string map = dir.path("map0.mul");
    const uint64_t length = static_cast<uint64_t>(size().blocks()) * kMapBlockBytes;
    test::WriteAll(map, {});
    std::filesystem::resize_file(map, length);
    MemoryPicture palette(1, 1, Rgb(9, 9, 9));
    MemoryPicture picture(2, 2, Rgb(1, 2, 3));  // no kind: tile 580 (44 02), height 0
    auto place = [&](int32_t x, int32_t y) {
        Bmp2MapRequest request;
        request.map = map;
        request.x = std::to_string(x);
        request.y = std::to_string(y);
        request.seed = 1;
        if (GetParam().given) request.world = size();
        return RunBmp2Map(request, &palette, &picture, {});
    };

    ASSERT_EQ(place(w - 2, h - 2).result, Bmp2MapOutcome::Result::kDone);
    Bytes bytes = ReadAll(map);
    ASSERT_EQ(bytes.size(), length);
    // The four cells alone changed; the last one ends the last block.
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), static_cast<long>(length) - 8);
    EXPECT_EQ(Bytes(bytes.end() - 3, bytes.end()), (Bytes{0x44, 0x02, 0}));

    // The views and the heights job take the same world from the file (or --world).
    std::vector<std::string> world;
    if (GetParam().given) world = {"--world", world::SizeText(size())};
    auto withWorld = [&](std::vector<std::string> args) {
        args.insert(args.end(), world.begin(), world.end());
        return test::RunVorlak(args);
    };
    const std::string grey = dir.path("grey.png"), radar = dir.path("radarcol.mul");
    test::WriteAll(radar, {});
    test::CliResult r = withWorld({"render", "--no-statics", "--scale", "8", "--map", map,
                                   "--radarcol", radar, "--out", dir.path("all.png")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(LoadPicture(dir.path("all.png"))->width(), w / 8);
    ASSERT_TRUE(SavePicture(MemoryPicture(2, 2, Rgb(130, 130, 130)), grey));
    r = withWorld({"heights", "--bitmap", grey, "--map", map, "--x", std::to_string(w - 2), "--y",
                   std::to_string(h - 2)});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadAll(map).back(), 2);  // grey 130: height 2
    test::StaticsPair(size().blocks() + 512).Write(idx, data);
    r = withWorld({"render", "--map", map, "--radarcol", radar, "--staidx", idx, "--statics", data,
                   "--out", dir.path("other.png")});
    EXPECT_TRUE(r.code == 1 && Has(r.err, "--world")) << r.err;

    Bmp2MapOutcome outside = place(w - 1, 0);
    EXPECT_EQ(outside.result, Bmp2MapOutcome::Result::kRefused);
    EXPECT_TRUE(Has(outside.status, "outside the map of " + world::SizeText(size())))
        << outside.status;

    std::filesystem::resize_file(map, length + kMapBlockBytes);
    Bmp2MapOutcome longer = place(0, 0);
    EXPECT_EQ(longer.result, Bmp2MapOutcome::Result::kRefused);
    EXPECT_TRUE(Has(longer.status, std::to_string(length + kMapBlockBytes) + " bytes long") &&
                Has(longer.status, "--world"))
        << longer.status;
    EXPECT_EQ(std::filesystem::file_size(map), length + kMapBlockBytes);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WorldSizes,
                         ::testing::Values(World{{7168, 4096}, false}, World{{2304, 1600}, true}),
                         [](const auto& param) {
                             return param.param.given ? std::string("Given") : std::string("Wider");
                         });

TEST(WorldOption, MalformedSizesAreUsageErrors) {
    for (const char* job :
         {"clear", "freeze", "melt", "check", "compact", "bmp2map --bitmap p", "render --out p.png",
          "map2bmp --kinds --out p.png", "heights --bitmap p"}) {
        for (const char* size : {"7168", "7168x", "x4096", "7164x4096", "0x4096", "-8x8", "8x8x8",
                                 "40000x8", "7168 x4096"}) {
            std::istringstream words(job);
            std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
            args.insert(args.end(), {"--world", size});
            test::CliResult r = test::RunVorlak(args);
            EXPECT_EQ(r.code, 2) << job << " " << size;
            EXPECT_TRUE(Has(r.err, "--world")) << r.err;
        }
    }
}

}  // namespace
}  // namespace vorlak
