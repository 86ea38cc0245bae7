// Jobs given files they must not write, or a pair they must not write into, refuse before they
// touch anything: every row checks the message and that no file changed.

#include "cli/RunVorlak.h"

namespace vorlak::test {
namespace {

class Refusal : public CliFiles {
  protected:
    void SetUp() override {
        pair.AddRun(0, StaticsPair::Record(0x0EED, 1, 2));
        pair.AddRun(1, StaticsPair::Record(0x0EEE, 3, 4));
        pair.Write(idx, mul);
        WriteText(items, "");
        WriteAll(artidx, Bytes(12, 0xFF));
        WriteAll(artmul, {});
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::filesystem::create_directory(folder);
        std::filesystem::create_hard_link(mul, link);
    }

    // Runs `args` and expects exit 1, `message` on stderr and every file as it was.
    void ExpectRefused(const std::vector<std::string>& args, const std::string& message) {
        const auto before = Snapshot(dir.root());
        CliResult r = RunVorlak(args);
        EXPECT_TRUE(r.code == 1 && r.err == message) << args[0] << ": " << r.err;
        EXPECT_EQ(Snapshot(dir.root()), before) << args[0];
    }

    StaticsPair pair;
    const std::string items = dir.path("items.wsc"), link = dir.path("link.mul");
    const std::string artidx = dir.path("artidx.mul"), artmul = dir.path("art.mul");
    const std::string fifo = dir.path("fifo.bmp"), folder = dir.path("folder");
};

TEST_F(Refusal, AnOutputIsNeverAnInputNorADevice) {
    const std::string same = " are the same file.", artLink = dir.path("art.bmp");
    std::filesystem::create_hard_link(artmul, artLink);
    auto melt = [&](const std::string& into) {
        return OnPair(
            {"melt", "--x1", "0", "--y1", "0", "--x2", "15", "--y2", "15", "--items", into});
    };
    const std::pair<Args, std::string> cases[] = {
        {melt(mul), mul + " and " + mul + same},
        {melt(link), link + " and " + mul + same},
        {melt(fifo), fifo + " is a FIFO, not a regular file."},
        {melt("/dev/null"), "/dev/null is a device, not a regular file."},
        {OnPair({"freeze", "--items", idx}), idx + " and " + idx + same},
        {OnPair({"freeze", "--items", link}), link + " and " + mul + same},
        {{"art", "export", "--number", "0", "--idx", artidx, "--mul", artmul, "--out", artLink},
         artmul + " and " + artLink + same + " Nothing was written."},
    };
    for (const auto& [args, message] : cases) {
        ExpectRefused(args, message + (args[0] == "art" ? "" : " Nothing was changed.") + "\n");
    }
}

TEST_F(Refusal, IndexAndDataAreTwoFiles) {
    const std::string symlink = dir.path("symlink.mul");
    std::filesystem::create_symlink(idx, symlink);
    for (const auto& [index, statics] : std::vector<std::pair<std::string, std::string>>{
             {idx, idx}, {mul, link}, {symlink, idx}, {folder, mul}}) {
        const bool same = index != folder;
        std::string why = same ? index + " and " + statics + " are the same file"
                               : folder + " is a folder, not a regular file";
        for (Args job : {Args{"freeze", "--items", items}, {"clear"}, {"check"}, {"compact"}}) {
            job.insert(job.end(), {"--staidx", index, "--statics", statics});
            // Check only reads: it never says that nothing was changed.
            const bool compact = job[0] == "compact", check = job[0] == "check";
            ExpectRefused(job, (compact ? "Compact refused: " : "") + why +
                                   (check             ? ".\n"
                                    : compact && same ? "; nothing was changed.\n"
                                                      : ". Nothing was changed.\n"));
        }
    }
}

TEST_F(Refusal, AJobThatWritesIntoADamagedPairWritesNothing) {
    WriteText(items,
              "SECTION WORLDITEM 1\r\n{\r\nSERIAL 1\r\nID 3\r\nX 4\r\nY 12\r\nZ 0\r\n"
              "}\r\nEOF\r\n");
    const std::pair<int32_t, std::string> cases[] = {
        {14, "its run (offset 7, length 14) reaches past the end of " + mul + " (14 bytes)"},
        {6, "its length 6 is not a multiple of 7, the size of one static"}};
    for (const auto& [length, problem] : cases) {
        StaticsPair damaged = pair;
        damaged.SetEntry(1, 7, length);
        damaged.Write(idx, mul);
        std::string message =
            "The statics files are damaged at block 1 (X 0..7, Y 8..15): " + problem +
            ". Nothing was changed; run vorlak check to see every problem.\n";
        ExpectRefused(OnPair({"freeze", "--items", items}), message);
        ExpectRefused(OnPair({"clear", "--x2", "7", "--y2", "7"}), message);
    }
}

}  // namespace
}  // namespace vorlak::test
