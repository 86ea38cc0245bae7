#include <gtest/gtest.h>

#include <map>
#include <tuple>
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
};

Bytes Records(std::initializer_list<Static> statics) {
    Bytes all;
    for (const Static& s : statics) {
        Bytes r = test::StaticsPair::Record(s.id, static_cast<uint8_t>(s.x % 8),
                                            static_cast<uint8_t>(s.y % 8));
        all.insert(all.end(), r.begin(), r.end());
    }
    return all;
}

const int32_t kBlock = world::BlockNumber(1400, 1620);

class ClearJob : public ::testing::Test {
  protected:
    // Writes a new pair holding `statics`, in the order given within each block, the blocks'
    // runs in block order.
    void MakePair(std::initializer_list<Static> statics) {
        std::map<int32_t, Bytes> blocks;
        for (const Static& s : statics) {
            Bytes r = Records({s});
            auto& b = blocks[world::BlockNumber(s.x, s.y)];
            b.insert(b.end(), r.begin(), r.end());
        }
        test::StaticsPair pair;
        for (auto& [n, b] : blocks) pair.AddRun(n, b);
        pair.Write(idx, data);
    }

    JobOutcome Clear(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        return RunClear({data, idx, x1, y1, x2, y2}, [](const std::string&) {});
    }

    test::StaticsPair Pair() { return test::StaticsPair::Read(idx, data); }

    test::TempDir dir;
    std::string idx = dir.path("staidx0.mul");
    std::string data = dir.path("statics0.mul");
};

// Every block the rectangle touches that holds statics is saved again, its kept records in their
// order appended; blocks holding nothing, and rectangles the wrong way round across block
// columns, write nothing.
TEST_F(ClearJob, TouchedBlocksKeepTheirOtherStaticsInOrder) {
    const Bytes all = Records({{10, 1400, 1620}, {11, 1401, 1623}, {12, 1405, 1621}});
    struct Case {
        int32_t x1, y1, x2, y2;
        Bytes appended;  // the block's new run at the end of the data file; none: nothing written
    } cases[] = {
        {1400, 1620, 1402, 1622, Bytes(all.begin() + 7, all.end())},
        {1406, 1620, 1407, 1627, all},
        {1403, 1620, 1400, 1627, all},
        {0, 0, 100, 100, {}},
        {2000, 0, 1000, 4095, {}},
    };
    for (const Case& c : cases) {
        MakePair({{10, 1400, 1620}, {11, 1401, 1623}, {12, 1405, 1621}});
        const test::StaticsPair before = Pair();
        ASSERT_TRUE(Clear(c.x1, c.y1, c.x2, c.y2).ok);
        test::StaticsPair after = Pair();
        Bytes want = before.data;
        want.insert(want.end(), c.appended.begin(), c.appended.end());
        EXPECT_EQ(after.data, want) << c.x1;
        if (c.appended.empty()) {
            EXPECT_EQ(after.index, before.index) << c.x1;
        } else {
            auto e = after.EntryOf(kBlock);
            EXPECT_EQ(e.offset, static_cast<int32_t>(before.data.size()));
            EXPECT_EQ(e.length, static_cast<int32_t>(c.appended.size()));
            EXPECT_EQ(e.extra, -1);
        }
    }
    // Every record of a block that reaches past the rectangle taken: the block gets the empty
    // entry and nothing is appended, so the commit has no records to wait for.
    MakePair({{10, 1400, 1620}, {11, 1401, 1623}, {12, 1405, 1621}});
    const test::StaticsPair before = Pair();
    test::CountingFileSystem fs;
    ASSERT_TRUE(RunClear(
                    {data, idx, 1400, 1620, 1405, 1623}, [](const std::string&) {}, fs)
                    .ok);
    EXPECT_EQ(fs.syncs["statics0.mul"], 0u);
    const test::StaticsPair after = Pair();
    EXPECT_EQ(after.data, before.data);
    auto e = after.EntryOf(kBlock);
    EXPECT_EQ(std::tuple(e.offset, e.length, e.extra), std::tuple(-1, -1, -1));
    // An entry of no records that still names a place is not rewritten.
    test::StaticsPair named = Pair();
    named.SetEntry(kBlock + 512, 0, 0, 7);  // the next block column, X 1408..1415
    named.Write(idx, data);
    ASSERT_TRUE(Clear(1400, 1620, 1410, 1623).ok);
    EXPECT_EQ(Pair().index, named.index);
}

// A block every cell of whose records lies inside the rectangle, whatever their one-byte cell
// offsets, is emptied; in a block that reaches past the edge, a damaged record whose offset puts
// it outside is kept, as its cells say.
TEST_F(ClearJob, RecordsAreClearedByTheCellsTheyName) {
    auto records = [](uint16_t id, uint8_t x, uint16_t id2, uint8_t x2) {
        Bytes r = test::StaticsPair::Record(id, x, 0), r2 = test::StaticsPair::Record(id2, x2, 0);
        r.insert(r.end(), r2.begin(), r2.end());
        return r;
    };
    test::StaticsPair pair;
    pair.AddRun(0, records(1, 3, 2, 200));
    pair.AddRun(world::BlockNumber(80, 0), records(3, 1, 4, 250));
    pair.Write(idx, data);
    ASSERT_TRUE(Clear(0, 0, 300, 300).ok);
    EXPECT_EQ(Pair().RunOf(0), Bytes{});
    EXPECT_EQ(Pair().RunOf(world::BlockNumber(80, 0)), test::StaticsPair::Record(4, 250, 0));
}

// A damaged entry of a world of another size is named by that world's cells, and nothing is
// written.
TEST_F(ClearJob, ADamagedPairIsRefusedNamingTheBlockInItsWorld) {
    test::StaticsPair pair(64);
    pair.AddRun(9, test::StaticsPair::Record(1, 0, 0));
    pair.SetEntry(9, 0, 6);
    pair.Write(idx, data);
    JobOutcome out = RunClear({data, idx, 0, 0, 63, 63, world::Size{64, 64}}, [](auto&) {});
    EXPECT_EQ(out.status,
              "The statics files are damaged at block 9 (X 8..15, Y 8..15): its length 6 is not a "
              "multiple of 7, the size of one static. Nothing was changed; run vorlak check to "
              "see every problem.");
    EXPECT_EQ(ReadAll(idx), pair.index);
    EXPECT_EQ(ReadAll(data), pair.data);
}

}  // namespace
}  // namespace vorlak
