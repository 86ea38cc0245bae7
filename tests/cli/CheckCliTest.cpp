#include <gtest/gtest.h>

#include <sstream>

#include "cli/Cli.h"
#include "cli/RunVorlak.h"
#include "support/StaticsPair.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using test::StaticsPair;

using Result = test::CliResult;
using test::RunVorlak;

class CheckCli : public ::testing::Test {
  protected:
    test::TempDir dir;
    std::string idx = dir.path("staidx0.mul");
    std::string mul = dir.path("statics0.mul");
};

TEST_F(CheckCli, SoundPairExitsZeroWithTheSummaryOnStdout) {
    StaticsPair p;
    p.AddRun(70, StaticsPair::Record(1, 2, 3));
    p.AddGarbage(4);
    p.Write(idx, mul);
    Result r = RunVorlak({"check", "--statics", mul, "--staidx", idx});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out,
              idx + " and " + mul +
                  " are sound: 6144x4096 world, 393216 blocks (1 with statics), 1 statics, 7 bytes "
                  "referenced, 4 bytes unreferenced.\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(CheckCli, ProblemsGoToStderrOneALineWithExitOne) {
    StaticsPair p;
    p.AddRun(1, StaticsPair::Record(1, 9, 3));
    p.SetEntry(393215, 0, 70);
    p.Write(idx, mul);
    Result r = RunVorlak({"check", "--statics", mul, "--staidx", idx});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(
        r.err,
        idx + " and " + mul +
            " have 2 problems: 6144x4096 world, 393216 blocks (2 with statics), 1 statics, 7 bytes "
            "referenced, 0 bytes unreferenced.\n"
            "block 1 (X 0..7, Y 8..15): static 1 (at byte 0 of " +
            mul +
            ") has the cell offsets X 9, Y 3; both must be 0..7\n"
            "block 393215 (X 6136..6143, Y 4088..4095): its run (offset 0, length "
            "70) reaches past the end of " +
            mul + " (7 bytes)\n");
}

TEST_F(CheckCli, CompactReportsReclaimedBytesAndRefusesBrokenPairs) {
    StaticsPair p;
    p.AddGarbage(30);
    p.AddRun(1, StaticsPair::Record(1, 2, 3));
    p.Write(idx, mul);
    Result r = RunVorlak({"compact", "--statics", mul, "--staidx", idx});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "Statics was successfully compacted: 30 bytes reclaimed from a 6144x4096 world.\n");
    EXPECT_EQ(RunVorlak({"check", "--statics", mul, "--staidx", idx}).code, 0);

    p.SetEntry(2, 5, 7);
    p.Write(idx, mul);
    r = RunVorlak({"compact", "--statics", mul, "--staidx", idx});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
              "Compact refused: " + idx + " and " + mul + " have 1 problem; nothing was changed.");
}

TEST_F(CheckCli, MissingFilesAndUsageErrors) {
    Result r = RunVorlak({"check", "--statics", mul, "--staidx", idx});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err,
              "Can not find the statics files.\n" + idx + " is missing\n" + mul + " is missing\n");
    EXPECT_FALSE(test::Exists(idx));
    r = RunVorlak({"compact", "--statics", mul, "--staidx", idx});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(test::Exists(mul));
    EXPECT_EQ(RunVorlak({"check", "--x1", "3"}).code, 2);
    EXPECT_EQ(RunVorlak({"compact", "extra"}).code, 2);
}

}  // namespace
}  // namespace vorlak
