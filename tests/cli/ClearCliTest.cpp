#include <gtest/gtest.h>

#include <sstream>

#include "cli/Cli.h"
#include "cli/RunVorlak.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using Result = test::CliResult;
using test::RunVorlak;

TEST(CliBasics, VersionHelpAndUnknownCommands) {
    Result r = RunVorlak({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Vorlak 0.10.0\n");
    r = RunVorlak({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("clear"), std::string::npos);
    r = RunVorlak({"bogus"});
    EXPECT_EQ(r.code, 2);
    EXPECT_FALSE(r.err.empty());
}

TEST(CliClear, ClearsAPairAndReportsOnStdout) {
    test::TempDir dir;
    std::string s = dir.path("s.mul"), i = dir.path("i.mul");
    Result r = RunVorlak({"clear", "--statics", s, "--staidx", i});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Statics was successfully cleared.\n");
    EXPECT_EQ(r.err, "");  // no wait text when stderr is not a terminal
    EXPECT_EQ(test::ReadAll(i), test::Bytes(4718592, 0xFF));

    r = RunVorlak({"clear", "--statics", s, "--staidx", i, "--x1", "+10", "--y1", "-0", "--x2",
                   "20", "--y2", "4095"});
    EXPECT_EQ(r.code, 0);
}

TEST(CliClear, RefusalsGoToStderrWithExitOne) {
    test::TempDir dir;
    std::string s = dir.path("s.mul"), i = dir.path("i.mul");
    Result r = RunVorlak({"clear", "--statics", s, "--staidx", i, "--y2", "4096"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Illegal cordinates.\n");

    std::string lone = dir.path("lone.mul"), missing = dir.path("missing.mul");
    test::WriteAll(lone, {1, 2, 3});
    r = RunVorlak({"clear", "--statics", lone, "--staidx", missing});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Unable to open/create statics.\n" + missing + " does not exist, but " + lone +
                         " does\n");
    EXPECT_FALSE(test::Exists(missing));
}

TEST(CliClear, NumbersMustBeWholeDecimals) {
    for (const char* bad : {"12abc", "1.5", "0x10", "1e3", "", " 7", "99999999999"}) {
        Result r = RunVorlak({"clear", "--x1", bad});
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_NE(r.err.find("--x1"), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace vorlak
