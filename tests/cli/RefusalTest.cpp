// Jobs given files they must not write, or a pair they must not write into, refuse before they
// touch anything: every row checks the message and that no file changed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "cli/RunVorlak.h"
#include "support/StaticsPair.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using test::Bytes;
using test::RunVorlak;

class Refusal : public ::testing::Test {
  protected:
    void SetUp() override {
        pair.AddRun(0, test::StaticsPair::Record(0x0EED, 1, 2));
        pair.AddRun(1, test::StaticsPair::Record(0x0EEE, 3, 4));
        pair.Write(idx, data);
        test::WriteText(items, "");
        test::WriteAll(artidx, Bytes(12, 0xFF));
        test::WriteAll(artmul, {});
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::filesystem::create_directory(folder);
        std::filesystem::create_hard_link(data, link);
    }

    // Runs `args` and expects exit 1, `message` on stderr and every file as it was.
    void ExpectRefused(const std::vector<std::string>& args, const std::string& message) {
        std::map<std::string, Bytes> before;
        for (const auto& name : {idx, data, items, artidx, artmul}) {
            before[name] = test::ReadAll(name);
        }
        test::CliResult r = RunVorlak(args);
        EXPECT_EQ(r.code, 1) << args[0];
        EXPECT_EQ(r.err, message) << args[0];
        for (const auto& [name, bytes] : before) {
            EXPECT_EQ(test::ReadAll(name), bytes) << args[0] << " changed " << name;
        }
        EXPECT_EQ(std::filesystem::status(fifo).type(), std::filesystem::file_type::fifo);
        EXPECT_FALSE(test::Exists(dir.path("out.bmp")));
    }

    std::vector<std::string> Statics(std::vector<std::string> args, const std::string& index,
                                     const std::string& statics) {
        args.insert(args.end(), {"--staidx", index, "--statics", statics});
        return args;
    }

    test::TempDir dir;
    test::StaticsPair pair;
    const std::string idx = dir.path("staidx0.mul"), data = dir.path("statics0.mul");
    const std::string items = dir.path("items.wsc"), link = dir.path("link.mul");
    const std::string artidx = dir.path("artidx.mul"), artmul = dir.path("art.mul");
    const std::string fifo = dir.path("fifo.bmp"), folder = dir.path("folder");
};

TEST_F(Refusal, AnOutputIsNeverAnInputNorADevice) {
    const std::string same = " are the same file.", artLink = dir.path("art.bmp");
    std::filesystem::create_hard_link(artmul, artLink);
    const std::vector<std::string> melt = {"melt", "--x1", "0",    "--y1", "0",
                                           "--x2", "15",   "--y2", "15",   "--items"};
    auto with = [](std::vector<std::string> args, const std::string& last) {
        args.push_back(last);
        return args;
    };
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {Statics(with(melt, data), idx, data), data + " and " + data + same},
        {Statics(with(melt, link), idx, data), link + " and " + data + same},
        {Statics(with(melt, fifo), idx, data), fifo + " is a FIFO, not a regular file."},
        {Statics(with(melt, "/dev/null"), idx, data), "/dev/null is a device, not a regular file."},
        {Statics({"freeze", "--items", "/dev/zero"}, idx, data),
         "/dev/zero is a device, not a regular file."},
        {Statics({"freeze", "--items", fifo}, idx, data), fifo + " is a FIFO, not a regular file."},
        {Statics({"freeze", "--items", idx}, idx, data), idx + " and " + idx + same},
        {{"art", "export", "--number", "0", "--idx", artidx, "--mul", artmul, "--out", fifo},
         fifo + " is a FIFO, not a regular file. Nothing was written."},
        {{"art", "export", "--number", "0", "--idx", artidx, "--mul", artmul, "--out", artLink},
         artmul + " and " + artLink + same + " Nothing was written."},
    };
    for (const Case& c : cases) {
        bool art = c.args[0] == "art";
        ExpectRefused(c.args, c.message + (art ? "" : " Nothing was changed.") + "\n");
    }
}

TEST_F(Refusal, IndexAndDataAreTwoFiles) {
    const std::string symlink = dir.path("symlink.mul");
    std::filesystem::create_symlink(idx, symlink);
    for (const auto& [index, statics] : std::vector<std::pair<std::string, std::string>>{
             {idx, idx}, {data, link}, {symlink, idx}, {folder, data}}) {
        std::string why = index == folder ? folder + " is a folder, not a regular file."
                                          : index + " and " + statics + " are the same file.";
        why += " Nothing was changed.\n";
        ExpectRefused(Statics({"freeze", "--items", items}, index, statics), why);
        ExpectRefused(Statics({"clear"}, index, statics), why);
        ExpectRefused(Statics({"check"}, index, statics), why);
        if (index != folder)
            why = index + " and " + statics + " are the same file; nothing was changed.\n";
        ExpectRefused(Statics({"compact"}, index, statics), "Compact refused: " + why);
    }
}

TEST_F(Refusal, AJobThatWritesIntoADamagedPairWritesNothing) {
    test::WriteText(items,
                    "SECTION WORLDITEM 1\r\n{\r\nSERIAL 1\r\nID 3\r\nX 4\r\nY 12\r\nZ 0\r\n"
                    "}\r\nEOF\r\n");
    const std::string block1 = "block 1 (X 0..7, Y 8..15): ";
    struct Case {
        int32_t offset, length;
        std::string problem;
    };
    const std::vector<Case> cases = {
        {7, 14, "its run (offset 7, length 14) reaches past the end of " + data + " (14 bytes)"},
        {2000000000, 7,
         "its run (offset 2000000000, length 7) reaches past the end of " + data + " (14 bytes)"},
        {-7, 7, "its offset -7 lies before the start of " + data},
        {7, 6, "its length 6 is not a multiple of 7, the size of one static"},
    };
    for (const Case& c : cases) {
        test::StaticsPair damaged = pair;
        damaged.SetEntry(1, c.offset, c.length);
        damaged.Write(idx, data);
        std::string message = "The statics files are damaged at " + block1 + c.problem +
                              ". Nothing was changed; run vorlak check to see every problem.\n";
        ExpectRefused(Statics({"freeze", "--items", items}, idx, data), message);
        ExpectRefused(Statics({"clear", "--x2", "7", "--y2", "7"}, idx, data), message);
    }
}

}  // namespace
}  // namespace vorlak
