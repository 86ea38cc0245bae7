// The statics subcommands and the options of every subcommand, run in-process: what each prints,
// where, and with which exit code.

#include "cli/RunVorlak.h"

namespace vorlak::test {
namespace {

// Each run: a text its message must hold, then its arguments, split at '|'; runs end with ';'.
TEST(CliUsage, VersionHelpAndUsageErrorsExitTwoAndStartNoJob) {
    CliResult r = RunVorlak({"--version"});
    EXPECT_TRUE(r.code == 0 && r.out == "Vorlak " VORLAK_VERSION "\n") << r.out;
    r = RunVorlak({"--help"});
    EXPECT_TRUE(r.code == 0 && Has(r.out, "clear")) << r.out;

    std::string runs =
        "bogus|bogus;--x1|clear|--x1|12abc;--x1|clear|--x1|1.5;--x1|clear|--x1|0x10;"
        "--x1|clear|--x1|1e3;--x1|clear|--x1||--x2|1;--x1|clear|--x1| 7;--x1|clear|--x1|+-7;"
        "--x1|clear|--x1|-;--x1|clear|--x1|99999999999;--x1|melt|--x1|12abc;--x1|check|--x1|3;"
        "extra|compact|extra;--type|melt|--type|256;--type|melt|--type|-1;--type|freeze|--type|abc;"
        "--start|melt|--start|1.5;--all|freeze|--type|3|--all;--format|freeze|--format|xml;"
        "--height|bmp2map|--bitmap|a|--height|lava=1.:2;"
        "--height|bmp2map|--bitmap|a|--height|lava=1:2:3;--height|bmp2map|--bitmap|a|--height|=1:2;"
        "--height|bmp2map|--bitmap|a|--height|lava=+-1:2;"
        "--height|bmp2map|--bitmap|a|--height|lava=1;--height|bmp2map|--bitmap|a|--height|rock=1:2;"
        "--height|bmp2map|--bitmap|a|--height|12=1:2;--seed|bmp2map|--bitmap|a|--seed|4294967296;"
        "--x|bmp2map|--bitmap|a|--x|1.5;--bitmap|bmp2map|--map|m.mul;"
        "--bitmap|art|import|--number|7;subcommand|art;--out|art|export|--number|7|--out|x.jpg;"
        "--kind|art|export|--number|7|--kind|charather|--out|x.png;"
        "--number|art|export|--number|&H10|--out|x.png;--number|art|export|--out|x.png;"
        "--kinds|map2bmp|--out|p.png;--heights|map2bmp|--kinds|--heights|--out|p.png;";
    for (const char* job :
         {"clear", "freeze", "melt", "check", "compact", "bmp2map|--bitmap|p", "render|--out|p.png",
          "map2bmp|--kinds|--out|p.png", "heights|--bitmap|p"}) {
        for (const char* size : {"7168", "7168x", "x4096", "7164x4096", "0x4096", "-8x8", "8x8x8",
                                 "40000x8", "7168 x4096"}) {
            runs += "--world|" + std::string(job) + "|--world|" + size + ";";
        }
    }
    std::istringstream each(runs);
    for (std::string run; std::getline(each, run, ';');) {
        std::istringstream words(run);
        Args args;
        for (std::string word; std::getline(words, word, '|');) args.push_back(word);
        r = RunVorlak(Args(args.begin() + 1, args.end()));
        EXPECT_EQ(r.code, 2) << run;
        EXPECT_TRUE(Has(r.err, args[0])) << run << ": " << r.err;
        EXPECT_EQ(r.out, "");
    }
}

using Cli = CliFiles;

// A picture name no job can write is one usage error, worded alike for every job; so is a
// --height whose lowest lies above its highest. Kind names are taken in either spelling.
TEST_F(Cli, PictureNamesAndHeightsAreRefusedAlikeBeforeAnyJob) {
    for (const std::string name : {"view.gif", "view", "view.png.txt", "view.jpg"}) {
        for (const Args& job :
             {Args{"render", "--out", name}, Args{"map2bmp", "--heights", "--out", name},
              Args{"art", "export", "--number", "7", "--out", name}}) {
            CliResult r = RunHere(job);
            EXPECT_EQ(r.code, 2) << job[0] << " " << name;
            EXPECT_EQ(r.err, "vorlak: --out: the picture name " + name +
                                 " must end in .png or .bmp\nRun 'vorlak --help' for usage.\n");
        }
    }
    for (const std::string& height :
         std::vector<std::string>{"mountain=70:20", "2=0.5:0.25", "LAVA=-1:-3",
                                  "lava=" + std::string(400, '9') + ":1"}) {
        CliResult r = RunHere({"bmp2map", "--bitmap", "p.bmp", "--height", height});
        EXPECT_EQ(r.code, 2) << height;
        EXPECT_TRUE(Has(r.err, "'" + height + "': the lowest height")) << r.err;
    }
    // Accepted: the job itself then refuses the missing picture.
    for (const std::string height : {"mountain=20:70", "MONTAIN=20:70", "Cobblestones=0:0",
                                     "cstones=-1:0", "water=-3:-3", "11=20:25"}) {
        CliResult r = RunHere({"bmp2map", "--bitmap", "p.bmp", "--height", height});
        EXPECT_EQ(r.code, 1) << height << ": " << r.err;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.root()));
}

// Every subcommand's help names its values plainly: no parser type names, and the picture
// formats each picture option takes.
TEST(CliUsage, HelpShowsPlainValuesAndPictureFormats) {
    const Args jobs[] = {{"clear"},   {"freeze"},        {"melt"},         {"bmp2map"},
                         {"check"},   {"compact"},       {"render"},       {"map2bmp"},
                         {"heights"}, {"art", "export"}, {"art", "import"}};
    for (const Args& job : jobs) {
        CliResult r = RunVorlak(job + Args{"--help"});
        ASSERT_EQ(r.code, 0) << job[0];
        for (const char* parserWord : {"TEXT", "INT", "REQUIRED", "[0 - 255]", "Excludes"}) {
            EXPECT_FALSE(Has(r.out, parserWord)) << job[0] << " shows " << parserWord << r.out;
        }
    }
    auto line = [](const Args& job, const std::string& option) {
        std::string help = RunVorlak(job + Args{"--help"}).out;
        size_t at = help.find("  " + option + " ");
        return at == std::string::npos ? "" : help.substr(at + 2, help.find('\n', at) - at - 2);
    };
    EXPECT_EQ(line({"bmp2map"}, "--bitmap").find("--bitmap FILE (required)"), 0u);
    EXPECT_TRUE(Has(line({"bmp2map"}, "--bitmap"), "PNG, BMP or GIF"));
    EXPECT_TRUE(Has(line({"heights"}, "--bitmap"), "PNG, BMP or GIF"));
    EXPECT_TRUE(Has(line({"render"}, "--out"), ".png or .bmp"));
    EXPECT_TRUE(Has(line({"melt"}, "--type"), "--type N (default 255)"));
    EXPECT_TRUE(Has(line({"melt"}, "--type"), "0..255"));
    EXPECT_TRUE(Has(line({"render"}, "--scale"), "--scale 1|2|4|8|16|32|64 (default 1)"));
    EXPECT_TRUE(Has(line({"bmp2map"}, "--height"), "--height KIND=LOW:HIGH"));
}

// On a terminal a wait or progress text never takes more than one row, however long, so that
// the next one erases it whole; the outcome is printed whole after it.
TEST_F(Cli, StatusTextsOnANarrowTerminalFitOneRow) {
    StaticsPair p;
    p.AddRun(70, StaticsPair::Record(1, 2, 3));
    p.SetEntry(393215, 0, 70);
    p.Write(idx, mul);
    std::ostringstream out, err;
    const int columns = 24;
    EXPECT_EQ(cli::Run(OnPair({"check"}), out, err, true, columns), 1);
    const std::string clear = "\r\033[K";
    std::vector<std::string> shown;
    for (size_t at = err.str().find(clear); at != std::string::npos;) {
        size_t next = err.str().find(clear, at + clear.size());
        shown.push_back(err.str().substr(at + clear.size(), next - at - clear.size()));
        at = next;
    }
    ASSERT_GE(shown.size(), 3u) << err.str();  // the wait text, the outcome, the erasing
    for (size_t i = 0; i + 1 < shown.size(); ++i) {
        EXPECT_LT(shown[i].size(), static_cast<size_t>(columns)) << shown[i];
        EXPECT_EQ(shown[i].find('\n'), std::string::npos) << shown[i];
    }
    EXPECT_EQ(shown[0], "Checking statics. Pl...");
    EXPECT_EQ(shown.back().rfind(idx + " and " + mul + " have 1 problem: 6144x4096 world", 0), 0u);
}

// Results go to stdout with exit 0, refusals to stderr with exit 1. A missing pair is never
// created by a job that reads it; half a pair is never completed.
TEST_F(Cli, ResultsOnStdoutRefusalsOnStderrAndMissingFilesNeverCreated) {
    const std::string world = dir.path("items.wsc"), melted = dir.path("melted.wsc");
    CliResult r = Run({"check"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err,
              "Can not find the statics files.\n" + idx + " is missing\n" + mul + " is missing\n");
    EXPECT_EQ(Run({"compact"}).code, 1);
    r = Run({"melt", "--items", melted});
    EXPECT_TRUE(r.code == 1 && r.err == "Can not find the statics files.\n") << r.err;
    EXPECT_FALSE(Exists(idx) || Exists(mul));

    WriteAll(mul, {1, 2, 3});
    WriteText(world, "");
    for (const Args& job : {Args{"clear"}, Args{"freeze", "--items", world}}) {
        r = Run(job);
        EXPECT_TRUE(r.code == 1 && r.out.empty()) << job[0];
        EXPECT_EQ(r.err, "Unable to open/create statics.\n" + idx + " does not exist, but " + mul +
                             " does\n");
        EXPECT_FALSE(Exists(idx));
    }
    std::filesystem::remove(world);

    std::filesystem::remove(mul);
    r = Run({"clear"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "0 statics removed from 0 blocks.\nStatics was successfully cleared.\n");
    EXPECT_EQ(r.err, "");  // no wait text when stderr is not a terminal
    EXPECT_EQ(ReadAll(idx), Bytes(4718592, 0xFF));
    EXPECT_EQ(Run({"clear", "--x1", "+10", "--y1", "-0", "--x2", "20", "--y2", "4095"}).code, 0);

    r = Run({"freeze", "--items", world});
    EXPECT_TRUE(r.code == 1 && r.out.empty() && r.err == "Cannot find " + world + ".\n") << r.err;
    r = Run({"melt", "--items", melted, "--x1", "6144"});
    EXPECT_TRUE(r.code == 1 && !Exists(melted));
    EXPECT_EQ(r.err,
              "Illegal cordinates.\nX1 6144 lies outside the world's columns 0..6143.\n"
              "X2 6143 lies west of X1 6144.\n");

    StaticsPair p;
    p.AddRun(70, StaticsPair::Record(1, 2, 3));
    p.AddGarbage(4);
    p.Write(idx, mul);
    r = Run({"check"});
    EXPECT_TRUE(r.code == 0 && r.err.empty()) << r.err;
    EXPECT_EQ(r.out.rfind(idx + " and " + mul + " are sound: 6144x4096 world", 0), 0u) << r.out;
    p.SetEntry(393215, 0, 70);
    p.Write(idx, mul);
    r = Run({"check"});
    EXPECT_TRUE(r.code == 1 && r.out.empty());
    EXPECT_EQ(r.err.rfind(idx + " and " + mul + " have 1 problem: 6144x4096 world", 0), 0u);
    EXPECT_TRUE(Has(r.err, "\nblock 393215 (X 6136..6143, Y 4088..4095): its run")) << r.err;
}

// Without options the files are those of the current folder: items.wsc, staidx0.mul, statics0.mul.
TEST_F(Cli, FreezeThenMeltWithEveryOptionOrNone) {
    const std::string world = dir.path("items.wsc"), melted = dir.path("melted.wsc");
    WriteText(world, Zedra3Item("1301", "1400", "1620", "5") +
                         Zedra3Item("1302", "1401", "1620", "5", "", "3"));
    CliResult r = RunHere({"freeze"});  // type 255 by default
    EXPECT_TRUE(r.code == 0 && r.err.empty());
    EXPECT_EQ(r.out,
              "1 item taken into 1 block (skipped: 1 item of another type).\n"
              "Statics was successfully freezed.\n");
    EXPECT_EQ(ReadAll(mul).size(), 7u);
    EXPECT_EQ(ReadAll(idx).size(), 4718592u);
    EXPECT_EQ(Run({"freeze", "--items", world, "--all", "--format", "zedra3"}).code, 0);
    EXPECT_EQ(ReadAll(mul).size(), 7u + 21u);  // the block again, with both items added
    WriteText(world, "[WORLDITEM a]\nID=0e75\nP=1300,1650,5\nTYPE=3\n\n");
    EXPECT_EQ(Run({"freeze", "--items", world, "--format", "sphere", "--type", "3"}).code, 0);
    EXPECT_EQ(ReadAll(mul).size(), 7u + 21u + 7u);

    const Args block = {"melt", "--items", melted, "--x1", "1400", "--y1",
                        "1616", "--x2",    "1407", "--y2", "1623"};
    r = Run(block + Args{"--add-x", "-1400", "--add-y", "+4", "--add-z", "-5", "--type", "9",
                         "--start", "100"});
    EXPECT_TRUE(r.code == 0 && r.out == "3 items written.\nStatics was successfully melted.\n")
        << r.err;
    std::string text = ReadText(melted);
    for (const char* line : {"INITMEM 3", "SECTION WORLDITEM 102", "TYPE 9", "X 1", "Y 1624", "Z 0",
                             "SERIAL 1800000102"}) {
        EXPECT_TRUE(Has(text, std::string("\r\n") + line + "\r\n")) << line;
    }
    std::filesystem::remove(world);
    EXPECT_EQ(RunHere({"melt"}).code, 0);  // the whole world
    EXPECT_TRUE(Has(ReadText(world), "\r\nINITMEM 4\r\n"));
    // Numbers of every length, at both ends of each, and negative ones (the item at 1401 gives
    // the largest).
    for (int64_t x = 1; x <= 1000000000; x *= 10) {
        for (int64_t value : {x - 1, x, -x, x == 1000000000 ? int64_t{2147483646} : x + 1}) {
            ASSERT_EQ(Run(block + Args{"--add-x", std::to_string(value - 1400)}).code, 0);
            EXPECT_TRUE(Has(ReadText(melted), "\r\nX " + std::to_string(value) + "\r\n"));
        }
    }
}

}  // namespace
}  // namespace vorlak::test
