#include <gtest/gtest.h>

#include <filesystem>

#include "mul/Recorder.h"
#include "mul/Stop.h"
#include "mul/World.h"
#include "statics/StaticsJobs.h"
#include "support/StaticsFixture.h"

namespace vorlak {
namespace {

using test::Bytes;
using test::ReadAll;

constexpr size_t kIndexBytes = 4718592;

using test::StaticsPair;

Bytes Entry(int32_t offset, int32_t length) {
    StaticsPair one(1);
    one.SetEntry(0, offset, length);
    return one.index;
}

class FreezeJob : public ::testing::Test {
  protected:
    JobOutcome Freeze(const std::string& text, int32_t type = -1, bool sphere = false) {
        test::WriteText(items, text);
        texts.clear();
        return RunFreeze({items, data, idx, sphere, type},
                         [this](const std::string& t) { texts.push_back(t); });
    }
    Bytes EntryBytes(int32_t block) {
        Bytes index = ReadAll(idx);
        auto at = index.begin() + block * 12;
        return Bytes(at, at + 12);
    }

    test::TempDir dir;
    std::string idx = dir.path("staidx0.mul");
    std::string data = dir.path("statics0.mul");
    std::string items = dir.path("items.wsc");
    std::vector<std::string> texts;
};

// Each file frozen into a new pair: the records in block order, and the entries of exactly the
// blocks that received items.
TEST_F(FreezeJob, RecordsOfANewPair) {
    auto sample =
        std::filesystem::path(__FILE__).parent_path() / "data/sphere-save/SPHEREWorld.scp";
    Bytes save = ReadAll(sample.string());
    struct Case {
        int32_t type;
        bool sphere;
        int32_t blocks, block;  // blocks with statics, and one of them with its entry
        Bytes entry;
        std::string text;
        Bytes records;
    } cases[] = {
        {255, false, 1, 89802, Entry(0, 7),
         test::Zedra3Item("1301", "1400", "1620", "5", "COLOR 0\r\n"),
         Bytes{0x15, 0x05, 0x00, 0x04, 0x05, 0x00, 0x00}},
        // IDs, heights and colours at their limits.
        {-1, false, 1, 0, Entry(0, 28),
         test::Zedra3Item("-1", "0", "0", "-1", "COLOR -1\r\n") +
             test::Zedra3Item("65535", "7", "7", "200", "COLOR 300\r\n") +
             test::Zedra3Item("2", "1", "2", "-256") + test::Zedra3Item("4", "2", "3", "255"),
         Bytes{0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 7, 7, 0xC8, 0x2C, 0x01,
               2,    0,    1, 2, 0,    0,    0,    4,    0,    2, 3, 0xFF, 0,    0}},
        // i_gold at (1, 2), i_table at (1400, 1620), i_sign at (1500, 1700).
        {-1, true, 3, world::BlockNumber(1500, 1700), Entry(14, 7),
         std::string(save.begin(), save.end()),
         Bytes{0xED, 0x0E, 1, 2, 0, 0, 0, 0x3F, 0x0B, 0, 4, 5, 0, 0, 0xD2, 0x0B, 4, 4, 0xFD, 0, 0}},
        {255, false, 0, 0, Bytes(12, 0xFF), test::Zedra3Item("1", "2", "3", "0", "", "4"), Bytes()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.records.size());
        std::filesystem::remove(idx), std::filesystem::remove(data);
        JobOutcome outcome = Freeze(c.text, c.type, c.sphere);
        EXPECT_TRUE(outcome.ok);
        EXPECT_EQ(texts, (std::vector<std::string>{"Freezing statics. Please wait.",
                                                   "Statics was successfully freezed."}));
        EXPECT_EQ(ReadAll(data), c.records);
        EXPECT_EQ(EntryBytes(c.block), c.entry);
        Bytes index = ReadAll(idx);
        ASSERT_EQ(index.size(), kIndexBytes);
        EXPECT_EQ(std::count(index.begin(), index.end(), 0xFF), kIndexBytes - 8 * c.blocks);
    }
}

// Sections that give no item, enough for a file whose second half is read on another thread.
const std::string& Gap() {
    static const std::string gap = [] {
        std::string text;
        while (text.size() < (size_t{9} << 20)) text += test::Zedra3Item("0", "1", "1");
        return text;
    }();
    return gap;
}

TEST_F(FreezeJob, ItemsFollowTheBlocksOldRecordsInTheOrderTaken) {
    // Once with the last item in the half of a long file that is read beside the first.
    for (const std::string& gap : {std::string(), Gap()}) {
        // Block 89802 holds three records at offset 500, behind 500 bytes nobody refers to.
        StaticsPair pair;
        pair.AddGarbage(500);
        Bytes old;
        for (uint8_t i = 0; i < 21; ++i) old.push_back(i);
        pair.AddRun(89802, old);
        pair.SetEntry(89802, 500, 21, 0x1234);  // an extra of its own, which the new entry drops
        pair.Write(idx, data);

        test::WriteText(items, test::Zedra3Item("1", "1401", "1621") +
                                   test::Zedra3Item("2", "3", "4") + gap +
                                   test::Zedra3Item("3", "1400", "1620", "-2"));
        test::CountingFileSystem fs;
        JobOutcome outcome = RunFreeze(
            {items, data, idx, false, -1}, [](const std::string&) {}, fs);
        ASSERT_TRUE(outcome.ok) << outcome.status;
        EXPECT_EQ(fs.read["statics0.mul"], 0u);  // the old run is read in place, mapped
        // Block 0 comes first, then block 89802: its old run, then A and B, all in one run.
        pair.AddRun(0, StaticsPair::Record(2, 3, 4));
        for (const Bytes& r : {StaticsPair::Record(1, 1, 5), StaticsPair::Record(3, 0, 4, -2)}) {
            for (uint8_t b : r) old.push_back(b);
        }
        pair.AddRun(89802, old);
        EXPECT_EQ(ReadAll(data), pair.data);
        EXPECT_EQ(ReadAll(idx), pair.index);
    }
}

// The data file's end stays within the index's reach: a block that receives items is written
// anew with its old records, and those count too.
TEST_F(FreezeJob, RefusesToGrowTheDataFilePastWhatItsIndexAddresses) {
    StaticsPair pair;
    pair.AddRun(89802, Bytes(21, 1));
    for (int64_t size : {2147483620, 2147483619}) {
        pair.Write(idx, data);
        std::filesystem::resize_file(data, static_cast<uintmax_t>(size));
        const Bytes index = ReadAll(idx);
        JobOutcome outcome = Freeze(test::Zedra3Item("1", "1400", "1620"));
        if (size == 2147483620) {
            EXPECT_EQ(outcome.status, "Freeze failed: Overflow: " + data +
                                          " would grow past the 2 GiB that its index can address");
            EXPECT_EQ(std::filesystem::file_size(data), 2147483620u);
            EXPECT_EQ(ReadAll(idx), index);
        } else {
            ASSERT_TRUE(outcome.ok) << outcome.status;
            EXPECT_EQ(EntryBytes(89802), Entry(2147483619, 28));
            EXPECT_EQ(std::filesystem::file_size(data), 2147483647u);
        }
    }
}

// A run longer than a piece goes out in pieces; a stop between two of them ends the job with
// the pair as it was.
TEST_F(FreezeJob, ALongRunGoesOutInPiecesAndAStopBetweenThemChangesNothing) {
    StaticsPair pair;
    Bytes old(150000 * 7);  // a little more than a piece
    for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<uint8_t>(i % 251);
    pair.AddRun(0, old);
    pair.Write(idx, data);
    const Bytes index = ReadAll(idx), before = ReadAll(data);
    // The step is begun just before the first piece is written.
    struct StopAtBegin final : test::QuietRecorder {
        void Begin() override { RequestStop(); }
    } stop;
    const std::string item = test::Zedra3Item("1", "1", "2");
    test::WriteText(items, item);
    JobOutcome stopped =
        RunFreeze({items, data, idx, false, -1, std::nullopt, &stop}, [](const std::string&) {});
    ClearStopRequest();
    EXPECT_EQ(stopped.status, "Stopped.");
    EXPECT_EQ(ReadAll(idx), index);
    EXPECT_EQ(ReadAll(data), before);

    ASSERT_TRUE(Freeze(item).ok);
    Bytes expected = before;
    expected.insert(expected.end(), old.begin(), old.end());
    for (uint8_t b : StaticsPair::Record(1, 1, 2)) expected.push_back(b);
    EXPECT_EQ(ReadAll(data), expected);
    EXPECT_EQ(EntryBytes(0), Entry(static_cast<int32_t>(before.size()), 1050007));
}

// Every failure while the item file is read ends the job before the statics files change.
TEST_F(FreezeJob, FailuresWhileReadingLeaveThePairUntouched) {
    ASSERT_TRUE(Freeze(test::Zedra3Item("9", "100", "100")).ok);
    const Bytes indexBefore = ReadAll(idx), dataBefore = ReadAll(data);
    const std::string good = test::Zedra3Item("1", "1400", "1620");
    struct Case {
        std::string text, reason;
    } cases[] = {
        {good + test::Zedra3Item("5", "6144", "0"), "lies outside the world (X 6144, Y 0)"},
        // Y 4096 would be row 0 of the next block column.
        {good + test::Zedra3Item("5", "0", "4096"), "lies outside the world (X 0, Y 4096)"},
        {good + test::Zedra3Item("5", "-1", "0"), "lies outside the world (X -1, Y 0)"},
        {good + test::Zedra3Item("5", "0", "0", "300"),
         "has Z 300, which does not fit in -256..255"},
        {good + test::Zedra3Item("5", "0", "0", "-300"), "has Z -300, which does not fit"},
        {good + test::Zedra3Item("70000", "0", "0"), "has ID 70000, which does not fit"},
        // The IDs at the ends of the range fit: the height is what does not.
        {good + test::Zedra3Item("65535", "0", "0", "300"), "has Z 300, which does not fit"},
        {good + test::Zedra3Item("-32768", "0", "0", "300"), "has Z 300, which does not fit"},
    };
    for (const Case& c : cases) {
        JobOutcome outcome = Freeze(c.text);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.status.rfind("Freeze failed: ", 0), 0u) << outcome.status;
        EXPECT_NE(outcome.status.find(c.reason), std::string::npos) << outcome.status;
        EXPECT_EQ(texts.back(), outcome.status);
        EXPECT_EQ(ReadAll(idx), indexBefore) << c.reason;
        EXPECT_EQ(ReadAll(data), dataBefore) << c.reason;
    }
    for (const std::string& gap : {std::string(), Gap()}) {
        EXPECT_EQ(Freeze(good + gap + test::Zedra3Item("5", "6144", "0")).status,
                  "Freeze failed: the item of the section on line " +
                      std::to_string(11 + std::count(gap.begin(), gap.end(), '\n')) + " of " +
                      items + " lies outside the world (X 6144, Y 0)");
    }
}

}  // namespace
}  // namespace vorlak
