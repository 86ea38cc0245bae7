#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "cli/Cli.h"
#include "cli/RunVorlak.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using Result = test::CliResult;
using test::RunVorlak;

const char kTwoItems[] =
    "SECTION WORLDITEM 1\r\n{\r\nID 1301\r\nX 1400\r\nY 1620\r\nZ 5\r\nTYPE 255\r\nCONT -1\r\n}\r\n"
    "SECTION WORLDITEM 2\r\n{\r\nID 1302\r\nX 1401\r\nY 1620\r\nZ 5\r\nTYPE 3\r\nCONT -1\r\n}\r\n";

class CliWorlds : public ::testing::Test {
  protected:
    std::vector<std::string> Pair() const { return {"--statics", data, "--staidx", idx}; }
    Result Run(std::vector<std::string> args, bool withPair = true) {
        if (withPair) {
            for (const auto& a : Pair()) args.push_back(a);
        }
        return RunVorlak(args);
    }

    test::TempDir dir;
    std::string idx = dir.path("i.mul"), data = dir.path("s.mul");
    std::string world = dir.path("world.wsc"), melted = dir.path("melted.wsc");
};

TEST_F(CliWorlds, FreezeThenMelt) {
    test::WriteText(world, kTwoItems);
    Result r = Run({"freeze", "--items", world});  // type 255 by default
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Statics was successfully freezed.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(test::ReadAll(data).size(), 7u);

    r = Run({"freeze", "--items", world, "--all", "--format", "zedra3"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(test::ReadAll(data).size(), 7u + 21u);  // the block again, with both items added

    r = Run({"melt", "--items", melted, "--x1",   "1400",    "--y1",    "1616",
             "--x2", "1407",    "--y2", "1623",   "--add-x", "-1400",   "--add-y",
             "+4",   "--add-z", "-5",   "--type", "9",       "--start", "100"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Statics was successfully melted.\n");
    std::string text = test::ReadText(melted);
    for (const char* line : {"INITMEM 3", "SECTION WORLDITEM 102", "TYPE 9", "X 1", "Y 1624", "Z 0",
                             "SERIAL 1800000102"}) {
        EXPECT_NE(text.find(std::string("\r\n") + line + "\r\n"), std::string::npos) << line;
    }
}

TEST_F(CliWorlds, SphereFormatAndTypes) {
    test::WriteText(world, "[WORLDITEM a]\nID=0e75\nP=1300,1650,5\nTYPE=3\n\n");
    EXPECT_EQ(Run({"freeze", "--items", world, "--format", "sphere"}).code, 0);
    EXPECT_EQ(test::ReadAll(data).size(), 0u);  // type 255 wanted
    EXPECT_EQ(Run({"freeze", "--items", world, "--format", "sphere", "--type", "3"}).code, 0);
    EXPECT_EQ(test::ReadAll(data), (test::Bytes{0x75, 0x0E, 4, 2, 5, 0, 0}));
}

TEST_F(CliWorlds, RefusalsAndFailuresExitOne) {
    Result r = Run({"freeze", "--items", world});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Cannot find " + world + ".\n");

    test::WriteText(world, "SECTION WORLDITEM 1\n{\nID 5\nX 6144\nCONT -1\n}\n");
    r = Run({"freeze", "--items", world, "--all"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Freeze failed: the item of the section on line 1 of " + world +
                         " lies outside the world (X 6144, Y 0)\n");

    r = Run({"melt", "--items", melted, "--x1", "6144"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Illegal cordinates.\n");
    EXPECT_FALSE(test::Exists(melted));

    r = Run({"melt", "--items", melted, "--start", "347483648"});
    EXPECT_EQ(r.code, 0);  // no statics: no serial is written
    test::WriteText(world, kTwoItems);
    ASSERT_EQ(Run({"freeze", "--items", world}).code, 0);
    r = Run({"melt", "--items", melted, "--start", "347483648"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.rfind("Unknown error.\n", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("2147483648"), std::string::npos) << r.err;

    r = Run({"melt", "--statics", dir.path("none.mul"), "--staidx", dir.path("noidx.mul")}, false);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Can not find the statics files.\n");
}

TEST_F(CliWorlds, UsageErrorsExitTwo) {
    for (std::vector<std::string> args : {
             std::vector<std::string>{"melt", "--type", "256"},
             {"melt", "--type", "-1"},
             {"melt", "--x1", "12abc"},
             {"melt", "--start", "1.5"},
             {"freeze", "--type", "3", "--all"},
             {"freeze", "--format", "xml"},
             {"freeze", "--type", "abc"},
         }) {
        Result r = RunVorlak(args);
        EXPECT_EQ(r.code, 2) << args[1] << " " << args.back();
        EXPECT_FALSE(r.err.empty());
    }
}

TEST_F(CliWorlds, DefaultFileNames) {
    auto here = std::filesystem::current_path();
    std::filesystem::current_path(dir.root());
    test::WriteText("items.wsc", kTwoItems);
    Result frozen = RunVorlak({"freeze"});
    std::filesystem::remove("items.wsc");
    Result melt = RunVorlak({"melt"});
    std::filesystem::current_path(here);

    EXPECT_EQ(frozen.code, 0);
    EXPECT_EQ(melt.code, 0);
    EXPECT_EQ(test::ReadAll(dir.path("statics0.mul")).size(), 7u);
    EXPECT_EQ(test::ReadAll(dir.path("staidx0.mul")).size(), 4718592u);
    EXPECT_NE(test::ReadText(dir.path("items.wsc")).find("\r\nINITMEM 1\r\n"), std::string::npos);
}

}  // namespace
}  // namespace vorlak
