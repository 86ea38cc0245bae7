// What a job tells: a refused job creates and changes nothing and says why on its own line; a job
// that succeeds says what it did on the line before its status.

#include "cli/RunVorlak.h"

namespace vorlak::test {
namespace {

using JobReport = CliFiles;

// Every row starts from a folder without a statics pair: no row may leave one behind.
TEST_F(JobReport, RefusalsBeforeANewPairLeaveTheFolderEmpty) {
    const std::string items = dir.path("items.wsc"), none = dir.path("none.wsc");
    WriteText(items, Zedra3Item("5", "1", "1") + Zedra3Item("6", "7000", "5"));
    const std::string illegal = "Illegal cordinates.\n";
    const std::pair<Args, std::string> cases[] = {
        {{"freeze", "--items", none}, "Cannot find " + none + ".\n"},
        {{"clear", "--x2", "7000"},
         illegal + "X2 7000 lies outside the world's columns 0..6143.\n"},
        {{"clear", "--x1", "-1", "--y2", "4096"},
         illegal + "X1 -1 lies outside the world's columns 0..6143.\n"
                   "Y2 4096 lies outside the world's rows 0..4095.\n"},
        {{"clear", "--world", "64x64", "--y1", "64"},
         illegal + "Y1 64 lies outside the world's rows 0..63.\n"},
        // Found once the item file is read, after the pair was made: the new pair goes again.
        {{"freeze", "--items", items},
         "Freeze failed: the item of the section on line 11 of " + items +
             " lies outside the world (X 7000, Y 5)\n"},
    };
    for (const auto& [args, message] : cases) {
        CliResult r = Run(args);
        EXPECT_EQ(r.code, 1) << args[0];
        EXPECT_EQ(r.err, message);
        EXPECT_TRUE(r.out.empty());
        EXPECT_FALSE(Exists(idx) || Exists(mul)) << message;
    }
    // Melt reads a pair; its corners are told the same way, with the order of the corners too.
    StaticsPair().Write(idx, mul);
    CliResult r = Run({"melt", "--items", dir.path("m.wsc"), "--x1", "20", "--x2", "10"});
    EXPECT_EQ(r.err, illegal + "X2 10 lies west of X1 20.\n");
    EXPECT_FALSE(Exists(dir.path("m.wsc")));
}

// Check only reads: an index of no world's length is the one thing it says, and it does not say
// that nothing was changed.
TEST_F(JobReport, CheckOfAnIndexThatFitsNoWorldSaysOnlyThat) {
    WriteAll(idx, Bytes(4718580, 0xFF));
    WriteAll(mul, {});
    CliResult r = Run({"check"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, idx +
                         " is 4718580 bytes long, which fits no world size (12 bytes for each 8 "
                         "x 8 block, 512 blocks to a column of a world 4096 high); give the size "
                         "with --world WxH.\n");
    // A job that writes still says it.
    EXPECT_TRUE(Has(Run({"clear"}).err, "Nothing was changed.\n"));
}

// The count line of each statics job, in English plurals.
TEST_F(JobReport, StaticsJobsCountWhatTheyDid) {
    const std::string items = dir.path("items.wsc"), melted = dir.path("melted.wsc");
    auto counts = [&](const Args& args) {
        CliResult r = Run(args);
        EXPECT_EQ(r.code, 0) << r.err;
        return r.out.substr(0, r.out.find('\n'));
    };
    WriteText(items, Zedra3Item("1", "1", "1") + Zedra3Item("2", "2", "1") +
                         Zedra3Item("3", "9", "1") + Zedra3Item("4", "3", "3", "0", "", "7") +
                         Zedra3Item("5", "3", "3", "0", "CONT 77\r\n"));
    EXPECT_EQ(counts({"freeze", "--items", items}),
              "3 items taken into 2 blocks (skipped: 1 item of another type, 1 item in a "
              "container).");
    EXPECT_EQ(counts({"freeze", "--items", items, "--type", "7"}),
              "1 item taken into 1 block (skipped: 3 items of another type, 1 item in a "
              "container).");
    EXPECT_EQ(counts({"freeze", "--items", items, "--type", "8"}),
              "0 items taken into 0 blocks (skipped: 4 items of another type, 1 item in a "
              "container).");
    EXPECT_EQ(counts({"melt", "--items", melted, "--x2", "7", "--y2", "7"}), "3 items written.");
    EXPECT_EQ(counts({"melt", "--items", melted, "--x1", "9", "--x2", "9"}), "1 item written.");
    EXPECT_EQ(counts({"clear", "--x1", "9", "--x2", "9", "--y2", "1"}),
              "1 static removed from 1 block.");
    EXPECT_EQ(counts({"clear", "--x2", "7", "--y2", "7"}), "3 statics removed from 1 block.");
    EXPECT_EQ(counts({"clear"}), "0 statics removed from 0 blocks.");
    // Two freezes saved 21 and 21 bytes; nothing is in use any more.
    EXPECT_EQ(counts({"compact"}), "42 bytes reclaimed, 0 bytes of statics kept.");
}

}  // namespace
}  // namespace vorlak::test
