#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "mul/World.h"
#include "statics/StaticsJobs.h"
#include "support/StaticsPair.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using test::Bytes;
using test::ReadAll;

struct Static {
    uint16_t id;
    int32_t x, y;
    int8_t z = 0;
    uint16_t colour = 0;
};

Bytes Record(const Static& s) {
    return test::StaticsPair::Record(s.id, static_cast<uint8_t>(s.x % 8),
                                     static_cast<uint8_t>(s.y % 8), s.z, s.colour);
}

class ClearJob : public ::testing::Test {
  protected:
    // Writes a new pair holding `statics`, in the order given within each block, the blocks'
    // runs in block order.
    void MakePair(const std::vector<Static>& statics) {
        std::map<int32_t, Bytes> blocks;
        for (const Static& s : statics) {
            Bytes r = Record(s);
            auto& b = blocks[world::BlockNumber(s.x, s.y)];
            b.insert(b.end(), r.begin(), r.end());
        }
        test::StaticsPair pair;
        for (auto& [n, b] : blocks) pair.AddRun(n, b);
        pair.Write(idx, data);
    }

    JobOutcome Clear(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        texts.clear();
        return RunClear({data, idx, x1, y1, x2, y2},
                        [this](const std::string& t) { texts.push_back(t); });
    }

    test::StaticsPair::Entry EntryOf(int32_t block) {
        return test::StaticsPair::Read(idx, data).EntryOf(block);
    }

    test::TempDir dir;
    std::string idx = dir.path("staidx0.mul");
    std::string data = dir.path("statics0.mul");
    std::vector<std::string> texts;
};

TEST_F(ClearJob, WholeWorldEmptiesEveryBlockAndAppendsNothing) {
    MakePair({{1, 0, 0}, {2, 1400, 1620}, {3, 6143, 4095}, {4, 3000, 17}});
    auto sizeBefore = ReadAll(data).size();
    JobOutcome outcome = Clear(0, 0, 6143, 4095);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(texts, (std::vector<std::string>{"Clearing statics. Please wait.",
                                               "Statics was successfully cleared."}));
    EXPECT_EQ(ReadAll(idx), Bytes(4718592, 0xFF));
    EXPECT_EQ(ReadAll(data).size(), sizeBefore);
}

TEST_F(ClearJob, PartlyClearedBlockIsCompactedInOrderAndAppended) {
    MakePair({{10, 1400, 1620}, {11, 1401, 1623}, {12, 1405, 1621}, {13, 1402, 1621}});
    int32_t block = world::BlockNumber(1400, 1620);
    Bytes before = ReadAll(data);
    ASSERT_TRUE(Clear(1400, 1620, 1402, 1622).ok);
    Bytes after = ReadAll(data);
    ASSERT_EQ(after.size(), before.size() + 14);
    Bytes kept = Record({11, 1401, 1623});
    Bytes second = Record({12, 1405, 1621});
    kept.insert(kept.end(), second.begin(), second.end());
    EXPECT_EQ(Bytes(after.begin() + static_cast<long>(before.size()), after.end()), kept);
    auto e = EntryOf(block);
    EXPECT_EQ(e.offset, static_cast<int32_t>(before.size()));
    EXPECT_EQ(e.length, 14);
    EXPECT_EQ(e.extra, -1);
}

TEST_F(ClearJob, TouchedBlockWithNothingInsideIsSavedAgainUnchanged) {
    MakePair({{10, 1400, 1620}, {11, 1405, 1622}});
    Bytes before = ReadAll(data);
    ASSERT_TRUE(Clear(1406, 1620, 1407, 1623).ok);
    Bytes after = ReadAll(data);
    ASSERT_EQ(after.size(), 28u);
    EXPECT_EQ(Bytes(after.begin() + 14, after.end()), before);
    EXPECT_EQ(EntryOf(world::BlockNumber(1400, 1620)).offset, 14);
}

TEST_F(ClearJob, EmptyAreaAndReversedCornersWriteNothing) {
    MakePair({{10, 1400, 1620}});
    Bytes idxBefore = ReadAll(idx), dataBefore = ReadAll(data);
    EXPECT_TRUE(Clear(0, 0, 100, 100).ok);
    EXPECT_TRUE(Clear(2000, 0, 1000, 4095).ok);
    EXPECT_EQ(ReadAll(idx), idxBefore);
    EXPECT_EQ(ReadAll(data), dataBefore);
    // Reversed inside one block column: its blocks are visited and saved again, nothing removed.
    EXPECT_TRUE(Clear(1403, 1620, 1400, 1627).ok);
    EXPECT_EQ(ReadAll(data).size(), 14u);
    EXPECT_EQ(EntryOf(world::BlockNumber(1400, 1620)).length, 7);
}

TEST_F(ClearJob, CornersOutsideTheWorldAreRefusedUntouched) {
    MakePair({{10, 8, 0}, {11, 0, 4095}});
    Bytes idxBefore = ReadAll(idx), dataBefore = ReadAll(data);
    for (auto [x1, y1, x2, y2] : std::vector<std::array<int32_t, 4>>{
             {0, -1, 7, 7}, {0, 0, 7, 4096}, {-8, 0, 0, 0}, {0, 0, 6144, 0}, {6144, 0, 6150, 10}}) {
        JobOutcome outcome = Clear(x1, y1, x2, y2);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.status, "Illegal cordinates.");
        EXPECT_EQ(texts.back(), "Illegal cordinates.");
    }
    EXPECT_EQ(ReadAll(idx), idxBefore);
    EXPECT_EQ(ReadAll(data), dataBefore);
}

TEST_F(ClearJob, CorruptBlockStopsTheJobAndChangesNothing) {
    MakePair({{10, 0, 0}, {11, 0, 8}});
    // Point block 1's entry past the end of the data file.
    Bytes index = ReadAll(idx);
    index[12 + 0] = 0xF0;
    test::WriteAll(idx, index);
    JobOutcome outcome = Clear(0, 0, 7, 15);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.status, "Unknown error.");
    EXPECT_NE(outcome.detail.find("block 1 (X 0..7, Y 8..15)"), std::string::npos)
        << outcome.detail;
    EXPECT_EQ(ReadAll(idx), index);  // block 0, cleared before the damaged one, is kept too
}

TEST_F(ClearJob, RecordRunningPastItsBlockIsAFailure) {
    MakePair({{10, 0, 0}, {11, 1, 1}});
    Bytes index = ReadAll(idx);
    index[4] = 10;  // length 10: the second record runs past the buffer
    test::WriteAll(idx, index);
    JobOutcome outcome = Clear(5, 5, 7, 7);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.status, "Unknown error.");
}

TEST_F(ClearJob, MissingPairIsCreatedEmpty) {
    EXPECT_TRUE(Clear(0, 0, 6143, 4095).ok);
    EXPECT_EQ(ReadAll(idx), Bytes(4718592, 0xFF));
}

TEST_F(ClearJob, OneFileAloneIsReported) {
    test::WriteAll(data, Bytes(7, 1));
    JobOutcome outcome = Clear(0, 0, 6143, 4095);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(texts, (std::vector<std::string>{"Clearing statics. Please wait.",
                                               "Unable to open/create statics."}));
}

}  // namespace
}  // namespace vorlak
