// The statics subcommands run in-process: what each prints, where, and with which exit code.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/RunVorlak.h"
#include "support/StaticsFixture.h"

namespace vorlak {
namespace {

using test::CliResult;
using test::RunVorlak;
using test::StaticsPair;
using Args = std::vector<std::string>;

const std::string kTwoItems = test::Zedra3Item("1301", "1400", "1620", "5") +
                              test::Zedra3Item("1302", "1401", "1620", "5", "", "3");

class Cli : public test::PairTest {
  protected:
    // Runs on the test's pair.
    CliResult Run(Args args) {
        args.insert(args.end(), {"--statics", mul, "--staidx", idx});
        return RunVorlak(args);
    }
    std::string world = dir.path("world.wsc"), melted = dir.path("melted.wsc");
};

TEST(CliUsage, VersionHelpAndUsageErrors) {
    CliResult r = RunVorlak({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Vorlak " VORLAK_VERSION "\n");
    r = RunVorlak({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("clear"), std::string::npos);

    // Each with a text its message must hold; the jobs are never started.
    const std::vector<std::pair<Args, std::string>> usage = {
        {{"bogus"}, "bogus"},
        {{"clear", "--x1", "12abc"}, "--x1"},
        {{"clear", "--x1", "1.5"}, "--x1"},
        {{"clear", "--x1", "0x10"}, "--x1"},
        {{"clear", "--x1", "1e3"}, "--x1"},
        {{"clear", "--x1", ""}, "--x1"},
        {{"clear", "--x1", " 7"}, "--x1"},
        {{"clear", "--x1", "+-7"}, "--x1"},
        {{"clear", "--x1", "-"}, "--x1"},
        {{"clear", "--x1", "99999999999"}, "--x1"},
        {{"check", "--x1", "3"}, "--x1"},
        {{"compact", "extra"}, "extra"},
        {{"melt", "--type", "256"}, "--type"},
        {{"melt", "--type", "-1"}, "--type"},
        {{"melt", "--x1", "12abc"}, "--x1"},
        {{"melt", "--start", "1.5"}, "--start"},
        {{"freeze", "--type", "3", "--all"}, "--all"},
        {{"freeze", "--format", "xml"}, "--format"},
        {{"freeze", "--type", "abc"}, "--type"},
        {{"bmp2map", "--bitmap", "a.bmp", "--height", "lava=1.:2"}, "--height"},
        {{"bmp2map", "--bitmap", "a.bmp", "--height", "lava=1:2:3"}, "--height"},
        {{"bmp2map", "--bitmap", "a.bmp", "--height", "=1:2"}, "--height"},
        {{"bmp2map", "--bitmap", "a.bmp", "--height", "lava=+-1:2"}, "--height"},
        {{"bmp2map", "--bitmap", "a.bmp", "--height", "lava=1"}, "--height"},
        {{"bmp2map", "--bitmap", "a.bmp", "--height", "rock=1:2"}, "--height"},
        {{"bmp2map", "--bitmap", "a.bmp", "--height", "12=1:2"}, "--height"},
        {{"bmp2map", "--bitmap", "a.bmp", "--seed", "4294967296"}, "--seed"},
        {{"bmp2map", "--bitmap", "a.bmp", "--x", "1.5"}, "--x"},
        {{"bmp2map", "--map", "m.mul"}, "--bitmap"},
        {{"art"}, "subcommand"},
        {{"art", "export", "--number", "7", "--out", "x.jpg"}, "--out"},
        {{"art", "export", "--number", "7", "--kind", "charather", "--out", "x.png"}, "--kind"},
        {{"art", "export", "--number", "&H10", "--out", "x.png"}, "--number"},
        {{"art", "export", "--out", "x.png"}, "--number"},
        {{"art", "import", "--number", "7"}, "--bitmap"},
    };
    for (const auto& [args, needle] : usage) {
        r = RunVorlak(args);
        EXPECT_EQ(r.code, 2) << args[0] << " " << args.back();
        EXPECT_NE(r.err.find(needle), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(Cli, ClearReportsOnStdoutAndRefusesOnStderr) {
    CliResult r = Run({"clear"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Statics was successfully cleared.\n");
    EXPECT_EQ(r.err, "");  // no wait text when stderr is not a terminal
    EXPECT_EQ(test::ReadAll(idx), test::Bytes(4718592, 0xFF));
    EXPECT_EQ(Run({"clear", "--x1", "+10", "--y1", "-0", "--x2", "20", "--y2", "4095"}).code, 0);

    r = Run({"clear", "--y2", "4096"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Illegal cordinates.\n");

    std::string lone = dir.path("lone.mul"), missing = dir.path("missing.mul");
    test::WriteAll(lone, {1, 2, 3});
    for (Args job : {Args{"clear"}, Args{"freeze", "--items", world}}) {
        job.insert(job.end(), {"--statics", lone, "--staidx", missing});
        r = RunVorlak(job);
        EXPECT_EQ(r.code, 1) << job[0];
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "Unable to open/create statics.\n" + missing + " does not exist, but " +
                             lone + " does\n");
        EXPECT_FALSE(test::Exists(missing));
    }
}

TEST_F(Cli, CheckSummaryOnStdoutProblemsOnStderr) {
    StaticsPair p;
    p.AddRun(70, StaticsPair::Record(1, 2, 3));
    p.AddGarbage(4);
    p.Write(idx, mul);
    CliResult r = Run({"check"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind(idx + " and " + mul + " are sound: 6144x4096 world", 0), 0u) << r.out;
    EXPECT_EQ(r.err, "");

    p.SetEntry(393215, 0, 70);
    p.Write(idx, mul);
    r = Run({"check"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind(idx + " and " + mul + " have 1 problem: 6144x4096 world", 0), 0u);
    EXPECT_NE(r.err.find("\nblock 393215 (X 6136..6143, Y 4088..4095): its run"), std::string::npos)
        << r.err;
}

TEST_F(Cli, MissingPairIsNeverCreatedByCheckCompactOrMelt) {
    CliResult r = Run({"check"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err,
              "Can not find the statics files.\n" + idx + " is missing\n" + mul + " is missing\n");
    EXPECT_EQ(Run({"compact"}).code, 1);
    r = Run({"melt", "--items", melted});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Can not find the statics files.\n");
    EXPECT_FALSE(test::Exists(idx));
    EXPECT_FALSE(test::Exists(mul));
}

TEST_F(Cli, FreezeThenMelt) {
    test::WriteText(world, kTwoItems);
    CliResult r = Run({"freeze", "--items", world});  // type 255 by default
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Statics was successfully freezed.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(test::ReadAll(mul).size(), 7u);

    EXPECT_EQ(Run({"freeze", "--items", world, "--all", "--format", "zedra3"}).code, 0);
    EXPECT_EQ(test::ReadAll(mul).size(), 7u + 21u);  // the block again, with both items added
    test::WriteText(world, "[WORLDITEM a]\nID=0e75\nP=1300,1650,5\nTYPE=3\n\n");
    EXPECT_EQ(Run({"freeze", "--items", world, "--format", "sphere", "--type", "3"}).code, 0);
    EXPECT_EQ(test::ReadAll(mul).size(), 7u + 21u + 7u);

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

// Numbers of every length, at both ends of each, and negative ones.
TEST_F(Cli, MeltWritesNumbersOfEveryLength) {
    StaticsPair p;
    p.AddRun(89802, StaticsPair::Record(1, 0, 4));  // X 1400, Y 1620
    p.Write(idx, mul);
    for (int64_t x = 1; x <= 1000000000; x *= 10) {
        for (int64_t value : {x - 1, x, -x, x == 1000000000 ? int64_t{2147483647} : x + 1}) {
            ASSERT_EQ(Run({"melt", "--items", melted, "--x1", "1400", "--y1", "1616", "--x2",
                           "1407", "--y2", "1623", "--add-x", std::to_string(value - 1400)})
                          .code,
                      0);
            EXPECT_NE(test::ReadText(melted).find("\r\nX " + std::to_string(value) + "\r\n"),
                      std::string::npos)
                << value;
        }
    }
}

TEST_F(Cli, FreezeAndMeltFailuresExitOne) {
    CliResult r = Run({"freeze", "--items", world});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Cannot find " + world + ".\n");

    r = Run({"melt", "--items", melted, "--x1", "6144"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Illegal cordinates.\n");
    EXPECT_FALSE(test::Exists(melted));
}

TEST_F(Cli, DefaultFileNames) {
    auto here = std::filesystem::current_path();
    std::filesystem::current_path(dir.root());
    test::WriteText("items.wsc", kTwoItems);
    CliResult frozen = RunVorlak({"freeze"});
    std::filesystem::remove("items.wsc");
    CliResult melt = RunVorlak({"melt"});
    std::filesystem::current_path(here);

    EXPECT_EQ(frozen.code, 0);
    EXPECT_EQ(melt.code, 0);
    EXPECT_EQ(test::ReadAll(dir.path("statics0.mul")).size(), 7u);
    EXPECT_EQ(test::ReadAll(dir.path("staidx0.mul")).size(), 4718592u);
    EXPECT_NE(test::ReadText(dir.path("items.wsc")).find("\r\nINITMEM 1\r\n"), std::string::npos);
}

}  // namespace
}  // namespace vorlak
