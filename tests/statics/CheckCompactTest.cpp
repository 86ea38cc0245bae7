#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "statics/StaticsCheck.h"
#include "statics/StaticsJobs.h"
#include "support/StaticsPair.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using test::Bytes;
using test::ReadAll;
using test::StaticsPair;

const Bytes kA = StaticsPair::Record(0x0102, 1, 2, -3, 0x0405);
const Bytes kB = StaticsPair::Record(0x0A0B, 7, 0, 127, 0);
const Bytes kC = StaticsPair::Record(0xFFFF, 0, 7, -128, 0xFFFF);

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::vector<std::string> Texts(const CheckReport& r) {
    std::vector<std::string> t;
    for (const CheckProblem& p : r.problems) t.push_back(p.text);
    return t;
}

class StaticsCheckTest : public ::testing::Test {
  protected:
    CheckReport Check() {
        pair.Write(idx, mul);
        return CheckStaticsFiles(idx, mul);
    }
    JobOutcome Compact() {
        pair.Write(idx, mul);
        return RunCompact({mul, idx}, [this](const std::string& s) { statuses.push_back(s); });
    }

    test::TempDir dir;
    std::string idx = dir.path("staidx0.mul");
    std::string mul = dir.path("statics0.mul");
    StaticsPair pair;
    std::vector<std::string> statuses;
};

TEST_F(StaticsCheckTest, CountsBlocksStaticsAndReferencedBytes) {
    CheckReport empty = Check();
    EXPECT_TRUE(empty.sound());
    EXPECT_EQ(empty.Summary(),
              "6144x4096 world, 393216 blocks (0 with statics), 0 statics, 0 bytes referenced, "
              "0 bytes unreferenced");

    pair.AddGarbage(5);
    pair.AddRun(393215, Cat({kA, kB}));
    pair.AddRun(0, kC);
    pair.AddGarbage(3);
    // Two entries sharing one run count its bytes once; a zero-length entry holds nothing.
    Bytes shared = Cat({kB, kC});
    pair.AddRun(7, shared);
    pair.SetEntry(8, pair.EntryOf(7).offset, 14);
    pair.SetEntry(9, 0, 0);
    CheckReport r = Check();
    EXPECT_TRUE(r.sound()) << ::testing::PrintToString(Texts(r));
    EXPECT_EQ(r.Summary(),
              "6144x4096 world, 393216 blocks (4 with statics), 7 statics, 35 bytes referenced, "
              "8 bytes unreferenced");
    EXPECT_EQ(r.dataBytes, 43u);
}

TEST_F(StaticsCheckTest, ReportsEveryBrokenEntryWithItsBlockInBlockOrder) {
    pair.AddRun(600, Cat({kA, kB}));  // sound, first in the file
    pair.AddRun(513, kA);             // becomes 8 bytes: not whole records
    pair.SetEntry(513, pair.EntryOf(513).offset, 8);
    pair.AddRun(5, Cat({kA, kA}));
    pair.data[30] = 8;  // the second static's X offset
    pair.AddRun(1, kA);
    pair.data[38] = 255;  // Y offset
    pair.AddRun(6, kB);   // ends exactly at the end of the file
    pair.SetEntry(2, -1, 7);
    pair.SetEntry(3, 43, 7);                   // one byte past the end
    pair.SetEntry(4, 2147483647, 2147483646);  // far past, with no overflow on the way

    CheckReport r = Check();
    const std::string& d = mul;
    EXPECT_EQ(Texts(r),
              (std::vector<std::string>{
                  "block 1 (X 0..7, Y 8..15): static 1 (at byte 35 of " + d +
                      ") has the cell offsets X 1, Y 255; both must be 0..7",
                  "block 2 (X 0..7, Y 16..23): its offset -1 lies before the start of " + d,
                  "block 3 (X 0..7, Y 24..31): its run (offset 43, length 7) reaches past the "
                  "end of " +
                      d + " (49 bytes)",
                  "block 4 (X 0..7, Y 32..39): its run (offset 2147483647, length 2147483646) "
                  "reaches past the end of " +
                      d + " (49 bytes)",
                  "block 5 (X 0..7, Y 40..47): static 2 (at byte 28 of " + d +
                      ") has the cell offsets X 8, Y 2; both must be 0..7",
                  "block 513 (X 8..15, Y 8..15): its length 8 is not a multiple of 7, the size "
                  "of one static",
              }));
    EXPECT_EQ(r.blocksWithStatics, 8u);
    EXPECT_EQ(r.statics, 2u + 2 + 1 + 1);
}

TEST_F(StaticsCheckTest, CompactKeepsOnlyReferencedRunsInBlockOrder) {
    pair.AddRun(600, kC);  // later overwritten: stale
    pair.AddGarbage(4);
    pair.AddRun(393215, Cat({kB, kA}));
    pair.AddRun(600, Cat({kA, kB, kC}));
    pair.AddRun(2, kB);
    pair.SetEntry(2, pair.EntryOf(2).offset, 7, 12345);  // the extra field is kept as it is
    pair.SetEntry(9, 0, 0, 77);                          // an entry holding nothing stays as is
    pair.SetEntry(10, 99999, -1, -1);
    StaticsPair before = pair;

    JobOutcome out = Compact();
    EXPECT_TRUE(out.ok) << out.detail;
    EXPECT_EQ(out.status,
              "Statics was successfully compacted: 11 bytes reclaimed from a 6144x4096 world.");
    EXPECT_EQ(statuses.front(), "Compacting statics. Please wait.");

    StaticsPair after = StaticsPair::Read(idx, mul);
    EXPECT_EQ(after.data, Cat({kB, kA, kB, kC, kB, kA}));  // blocks 2, 600, 393215
    Bytes expected = before.index;
    StaticsPair e;
    e.index = expected;
    e.SetEntry(2, 0, 7, 12345);
    e.SetEntry(600, 7, 21);
    e.SetEntry(393215, 28, 14);
    EXPECT_EQ(after.index, e.index);
    for (int32_t b : {2, 9, 10, 600, 393215}) EXPECT_EQ(after.RunOf(b), before.RunOf(b)) << b;

    // Nothing left to reclaim: the pair stays as it is, also with its runs out of block order.
    StaticsPair shuffled;
    shuffled.AddRun(600, kA);
    shuffled.AddRun(2, kB);
    shuffled.Write(idx, mul);
    Bytes compactIndex = ReadAll(idx), compactData = ReadAll(mul);
    out = RunCompact({mul, idx}, [](const std::string&) {});
    EXPECT_EQ(out.status,
              "Statics was successfully compacted: 0 bytes reclaimed from a 6144x4096 world.");
    EXPECT_EQ(ReadAll(idx), compactIndex);
    EXPECT_EQ(ReadAll(mul), compactData);
    EXPECT_TRUE(CheckStaticsFiles(idx, mul).sound());

    // No temporary files are left beside the pair.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.root()), {}), 2);
}

TEST_F(StaticsCheckTest, CompactInMemoryAndInPiecesGiveTheSameFiles) {
    pair = StaticsPair::Spread(20000, 0.5, 7);
    StaticsPair before = pair;
    ASSERT_TRUE(Compact().ok);
    StaticsPair inMemory = StaticsPair::Read(idx, mul);
    EXPECT_EQ(inMemory.data.size(), 20000u * 7);
    for (int32_t b = 0; b < StaticsPair::kBlocks; ++b) {
        ASSERT_EQ(inMemory.RunOf(b), before.RunOf(b)) << b;
    }

    // Pieces of 1 byte and of 4 KiB: runs longer than a piece, and pieces of many runs.
    for (uint64_t buffer : {8, 32768}) {
        before.Write(idx, mul);
        CompactRequest request{mul, idx};
        request.bufferBytes = buffer;
        JobOutcome out = RunCompact(request, [](const std::string&) {});
        ASSERT_TRUE(out.ok) << out.detail;
        StaticsPair inPieces = StaticsPair::Read(idx, mul);
        EXPECT_TRUE(inPieces.index == inMemory.index && inPieces.data == inMemory.data) << buffer;
    }
}

TEST_F(StaticsCheckTest, CompactRefusesABrokenPairAndChangesNothing) {
    pair.AddGarbage(70);
    pair.AddRun(1, kA);
    // Five problems are all listed; beyond that the rest are counted.
    for (int32_t b = 10; b < 15; ++b) pair.SetEntry(b, 0, 8);
    JobOutcome five = Compact();
    EXPECT_TRUE(
        five.detail.ends_with("block 14 (X 0..7, Y 112..119): its length 8 is not a "
                              "multiple of 7, the size of one static"));
    for (int32_t b = 15; b < 17; ++b) pair.SetEntry(b, 0, 8);
    Bytes index = pair.index, data = pair.data;
    JobOutcome out = Compact();
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.status,
              "Compact refused: " + idx + " and " + mul + " have 7 problems; nothing was changed.");
    EXPECT_EQ(out.detail.substr(0, out.detail.find('\n')),
              "block 10 (X 0..7, Y 80..87): its length 8 is not a multiple of 7, the size of one "
              "static");
    EXPECT_EQ(out.detail.substr(out.detail.rfind('\n') + 1), "(and 2 more)");
    EXPECT_EQ(ReadAll(idx), index);
    EXPECT_EQ(ReadAll(mul), data);
}

TEST_F(StaticsCheckTest, CompactRefusesADataFileItsIndexCouldNotAddressTwice) {
    // A sparse data file just under 2 GiB: the appended copy would lie out of the index's reach.
    pair.AddRun(1, kA);
    pair.Write(idx, mul);
    ASSERT_EQ(::truncate(mul.c_str(), 2147483647 - 3), 0);
    JobOutcome out = RunCompact({mul, idx}, [](const std::string&) {});
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.status, "Compact refused: " + mul +
                              " is too large to compact safely; nothing "
                              "was changed.");
    EXPECT_EQ(std::filesystem::file_size(mul), 2147483644u);
}

TEST_F(StaticsCheckTest, JobsThroughLinkedFilesChangeTheFilesAndKeepTheLinks) {
    // A server folder whose pair links to the client's files, writable by the group.
    std::filesystem::create_directory(dir.path("client"));
    std::string realIdx = dir.path("client/staidx0.mul"), realMul = dir.path("client/statics0.mul");
    pair = StaticsPair::Spread(5000, 0.5, 2);
    pair.Write(realIdx, realMul);
    namespace fs = std::filesystem;
    fs::permissions(realIdx, fs::perms::owner_read | fs::perms::owner_write |
                                 fs::perms::group_read | fs::perms::group_write);
    fs::create_symlink(realIdx, idx);
    fs::create_symlink(realMul, mul);

    ASSERT_TRUE(RunClear({mul, idx, 0, 0, 2999, 4095}, [](const std::string&) {}).ok);
    ASSERT_TRUE(RunCompact({mul, idx}, [](const std::string&) {}).ok);
    EXPECT_TRUE(fs::is_symlink(idx));
    EXPECT_TRUE(fs::is_symlink(mul));
    EXPECT_EQ(fs::status(realIdx).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::group_write);
    StaticsPair now = StaticsPair::Read(realIdx, realMul);
    for (int32_t b = 0; b < StaticsPair::kBlocks; ++b) {
        ASSERT_EQ(now.RunOf(b), b < 375 * 512 ? Bytes{} : pair.RunOf(b)) << b;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path("client")), {}), 2);
}

}  // namespace
}  // namespace vorlak
