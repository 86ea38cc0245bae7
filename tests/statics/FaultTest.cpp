// Jobs on the statics pair cut short: by a full disk (for a range of write budgets the job's
// writes stop at the budget, a write that crosses it writing its first part) and by a power cut
// at each of its changes (what was not synced is lost). Each run starts from a fresh copy of the
// same pair; afterwards the pair must be sound and hold every block's old statics or the whole
// job's new ones, and the job must have said whether it failed.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>
#include <set>

#include "mul/Stop.h"
#include "statics/StaticsCheck.h"
#include "statics/StaticsJobs.h"
#include "statics/cStatics.h"
#include "support/OldOrNew.h"
#include "support/PowerCutFileSystem.h"
#include "support/StaticsFixture.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using test::FaultyFileSystem;
using test::StaticsPair;

using Job = std::function<JobOutcome(FileSystem&, const std::string& idx, const std::string& mul)>;

class FaultTest : public ::testing::Test {
  protected:
    // Runs `job` once without a fault to learn its result and the bytes it writes. Budgets: every
    // one up to `dense`, every one within `dense` bytes of the bytes written to the data file
    // (where the index writes begin), then about `samples` more spread over the rest, and the
    // total itself. Then a power cut at each change the job makes.
    void RunCutShort(const StaticsPair& before, const Job& job, int64_t dense = 16,
                     int64_t samples = 50) {
        before.Write(idx, mul);
        FaultyFileSystem unlimited(INT64_MAX);
        JobOutcome clean = job(unlimited, idx, mul);
        ASSERT_TRUE(clean.ok) << clean.status << ": " << clean.detail;
        const StaticsPair after = StaticsPair::Read(idx, mul);
        int64_t total = unlimited.written();
        auto appended = static_cast<int64_t>(after.data.size() - before.data.size());

        std::set<int64_t> budgets;
        for (int64_t b = 0; b <= std::min(dense, total); ++b) budgets.insert(b);
        for (int64_t b = std::max<int64_t>(0, appended - dense);
             b <= std::min(total, appended + dense); ++b) {
            budgets.insert(b);
        }
        std::mt19937_64 random(total);
        for (int64_t i = 0; i < samples && total > 0; ++i) {
            budgets.insert(static_cast<int64_t>(random() % static_cast<uint64_t>(total)));
        }
        budgets.insert(total);
        auto expectOldOrNew = [&] {
            CheckReport report = CheckStaticsFiles(idx, mul);
            ASSERT_TRUE(report.sound()) << report.problems.front().text;
            EXPECT_TRUE(test::HoldsOldOrNew(before, after, StaticsPair::Read(idx, mul)));
            ++runs;
        };
        for (int64_t budget : budgets) {
            SCOPED_TRACE("budget " + std::to_string(budget) + " of " + std::to_string(total));
            before.Write(idx, mul);
            FaultyFileSystem fs(budget);
            JobOutcome outcome = job(fs, idx, mul);
            EXPECT_EQ(outcome.ok, !fs.failed()) << outcome.status << ": " << outcome.detail;
            expectOldOrNew();
        }

        before.Write(idx, mul);
        test::PowerCutFileSystem probe(dir.root().string(), INT64_MAX);
        ASSERT_TRUE(job(probe, idx, mul).ok);
        for (int64_t moment = 1; moment <= probe.changes(); ++moment) {
            SCOPED_TRACE("power cut at change " + std::to_string(moment));
            before.Write(idx, mul);
            test::PowerCutFileSystem fs(dir.root().string(), moment);
            EXPECT_FALSE(job(fs, idx, mul).ok);
            fs.Restore();
            expectOldOrNew();
        }
    }

    test::TempDir dir;
    std::string idx = dir.path("staidx0.mul");
    std::string mul = dir.path("statics0.mul");
    int runs = 0;
};

// Columns 10..13 of blocks, rows 0..20, three statics each, written in block order; then a tenth
// of the blocks saved again, so that old runs lie about.
StaticsPair SmallArea() {
    std::mt19937 random(5);
    StaticsPair p;
    auto run = [&] {
        StaticsPair::Bytes r;
        for (int k = 0; k < 3; ++k) {
            StaticsPair::Bytes one = StaticsPair::Record(static_cast<uint16_t>(random()),
                                                         static_cast<uint8_t>(random() % 8),
                                                         static_cast<uint8_t>(random() % 8));
            r.insert(r.end(), one.begin(), one.end());
        }
        return r;
    };
    for (int32_t column = 10; column <= 13; ++column) {
        for (int32_t row = 0; row <= 20; ++row) p.AddRun(column * 512 + row, run());
    }
    for (int32_t column = 10; column <= 13; ++column) {
        for (int32_t row = 0; row <= 20; row += 10) p.AddRun(column * 512 + row, run());
    }
    return p;
}

TEST_F(FaultTest, ClearCutShortKeepsThePairSound) {
    // Edges inside blocks on all four sides, so that kept statics are appended again; and the
    // whole world, whose blocks are emptied by their entries alone, nothing appended.
    Job area = [](FileSystem& fs, const std::string& i, const std::string& m) {
        return RunClear(
            {m, i, 84, 10, 107, 150}, [](const std::string&) {}, fs);
    };
    Job world = [](FileSystem& fs, const std::string& i, const std::string& m) {
        return RunClear(
            {m, i}, [](const std::string&) {}, fs);
    };
    RunCutShort(SmallArea(), area);
    RunCutShort(SmallArea(), world, 2, 6);
    EXPECT_GT(runs, 70);
}

TEST_F(FaultTest, NewPairCutShortLeavesNoFilesBehind) {
    // The job creates the pair; a failure while filling the index leaves nothing at all, rather
    // than a short index that every later open would take for a pair. The index is filled while
    // the job runs: a freeze that has read its items is still refused as the pair's making is.
    std::filesystem::create_directory(dir.path("in"));
    const std::string items = dir.path("in/items.wsc");
    test::WriteText(items, test::Zedra3Item("5", "90", "9"));
    for (int64_t budget : {0, 1, 147455, 147456, 4718591, 4718592}) {
        SCOPED_TRACE(budget);
        for (bool freeze : {false, true}) {
            FaultyFileSystem fs(budget);
            auto quiet = [](const std::string&) {};
            JobOutcome outcome = freeze ? RunFreeze({items, mul, idx, false, -1}, quiet, fs)
                                        : RunClear({mul, idx}, quiet, fs);
            EXPECT_FALSE(outcome.ok);
            EXPECT_EQ(outcome.status, "Unable to open/create statics.") << freeze;
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.root()), {}), 1);
        }
    }
    FaultyFileSystem enough(4718593);
    EXPECT_TRUE(RunClear(
                    {mul, idx}, [](const std::string&) {}, enough)
                    .ok);
    EXPECT_TRUE(CheckStaticsFiles(idx, mul).sound());
}

// Another job that takes a new pair the moment its index is in place has it: the job that made
// it stops as when the pair is in use, and neither writes to the pair nor removes it.
TEST_F(FaultTest, ANewPairTakenByAnotherJobIsLeftToIt) {
    class TakenAtOnce final : public FileSystem {
      public:
        explicit TakenAtOnce(std::string index) : index_(std::move(index)) {}
        bool Exists(const std::string& path) override { return real_.Exists(path); }
        std::unique_ptr<RandomAccessFile> Open(const std::string& path, OpenMode mode) override {
            struct Watched final : test::PassThroughFile {
                Watched(std::unique_ptr<RandomAccessFile> f, int64_t& n)
                    : PassThroughFile(std::move(f)), writes(n) {}
                void WriteAt(uint64_t at, std::span<const uint8_t> data) override {
                    ++writes;
                    real_->WriteAt(at, data);
                }
                void Truncate(uint64_t size) override {
                    ++writes;
                    real_->Truncate(size);
                }
                int64_t& writes;
            };
            return std::make_unique<Watched>(real_.Open(path, mode), writes);
        }
        void Rename(const std::string& from, const std::string& to) override {
            real_.Rename(from, to);
            if (std::filesystem::equivalent(to, index_) && !other) {
                other = FileLock::Try(to, FileLock::Mode::kShared);  // a job that reads it
                writes = 0;
            }
        }
        void Remove(const std::string& path) override { real_.Remove(path); }
        std::unique_ptr<FileLock> other;
        int64_t writes = 0;  // writes and cuts, once the other job has the pair

      private:
        FileSystem& real_ = DefaultFileSystem();
        std::string index_;
    } fs(idx);
    const std::string items = dir.path("items.wsc");
    test::WriteText(items, test::Zedra3Item("5", "90", "9"));
    JobOutcome outcome = RunFreeze(
        {items, mul, idx, false, -1}, [](const std::string&) {}, fs);
    EXPECT_EQ(outcome.status, cStatics::kInUse);
    ASSERT_TRUE(fs.other);
    EXPECT_EQ(fs.writes, 0);
    EXPECT_EQ(std::filesystem::file_size(mul), 0u);
    EXPECT_EQ(std::filesystem::file_size(idx), 4718592u);
}

TEST_F(FaultTest, FreezeCutShortKeepsThePairSound) {
    // Items into the blocks of SmallArea and into new blocks elsewhere, two in a block of each.
    std::string items = dir.path("items.wsc");
    std::string text;
    std::mt19937 random(9);
    for (int i = 0; i < 120; ++i) {
        int32_t x = i % 2 ? 80 + static_cast<int32_t>(random() % 32)
                          : static_cast<int32_t>(random() % 6144);
        int32_t y =
            i % 2 ? static_cast<int32_t>(random() % 168) : static_cast<int32_t>(random() % 4096);
        std::string item =
            test::Zedra3Item(std::to_string(1000 + i), std::to_string(x), std::to_string(y), "5");
        text += item + item;
    }
    test::WriteText(items, text);
    RunCutShort(SmallArea(), [&](FileSystem& fs, const std::string& i, const std::string& m) {
        return RunFreeze(
            {items, m, i, false, -1}, [](const std::string&) {}, fs);
    });
    EXPECT_GT(runs, 60);
}

TEST_F(FaultTest, MeltCutShortKeepsThePairAndThePreviousItemFile) {
    SmallArea().Write(idx, mul);
    std::string items = dir.path("items.wsc");
    test::WriteText(items, "the user's previous world file\r\n");
    const test::Bytes pairIndex = test::ReadAll(idx), pairData = test::ReadAll(mul);
    MeltRequest request{mul, idx, items, 0, 0, 6143, 4095};
    FaultyFileSystem unlimited(INT64_MAX);
    ASSERT_TRUE(RunMelt(
                    request, [](const std::string&) {}, unlimited)
                    .ok);
    const std::string melted = test::ReadText(items);
    for (int64_t budget = 0; budget <= unlimited.written(); budget += budget < 64 ? 1 : 97) {
        SCOPED_TRACE(budget);
        test::WriteText(items, "the user's previous world file\r\n");
        FaultyFileSystem fs(budget);
        JobOutcome outcome = RunMelt(
            request, [](const std::string&) {}, fs);
        EXPECT_EQ(outcome.ok, !fs.failed());
        std::string now = test::ReadText(items);
        EXPECT_TRUE(now == (outcome.ok ? melted : "the user's previous world file\r\n"));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.root()), {}), 3);
        ++runs;
    }
    EXPECT_EQ(test::ReadAll(idx), pairIndex);
    EXPECT_EQ(test::ReadAll(mul), pairData);
    EXPECT_GT(runs, 64);
}

TEST_F(FaultTest, CompactCutShortKeepsThePairSound) {
    // In memory, and in pieces of 512 bytes read back from the appended copy.
    for (uint64_t buffer : {uint64_t{1} << 20, uint64_t{4096}}) {
        SCOPED_TRACE(buffer);
        RunCutShort(
            StaticsPair::Spread(3000, 0.3, 11),
            [buffer](FileSystem& fs, const std::string& i, const std::string& m) {
                CompactRequest request{m, i};
                request.bufferBytes = buffer;
                return RunCompact(
                    request, [](const std::string&) {}, fs);
            },
            16, 30);
    }
    EXPECT_GT(runs, 100);
}

// A stop requested while a job runs (here: before its first step) ends it as a failure with
// "Stopped." and the files as they were.
TEST_F(FaultTest, AStoppedJobFailsAndChangesNothing) {
    const StaticsPair before = SmallArea();
    const std::string items = dir.path("items.wsc");
    test::WriteText(items, "SECTION WORLDITEM 1\r\n{\r\nID 5\r\nX 90\r\nY 9\r\nCONT -1\r\n}\r\n");
    auto quiet = [](const std::string&) {};
    const std::function<JobOutcome()> jobs[] = {
        [&] {
            return RunClear({mul, idx}, quiet);
        },
        [&] {
            return RunFreeze({items, mul, idx, false, -1}, quiet);
        },
        [&] {
            return RunMelt({mul, idx, items, 0, 0, 6143, 4095}, quiet);
        },
        [&] {
            return RunCompact({mul, idx}, quiet);
        },
    };
    for (const auto& job : jobs) {
        before.Write(idx, mul);
        RequestStop();
        JobOutcome outcome = job();
        ClearStopRequest();
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.status, "Stopped.");
        StaticsPair now = StaticsPair::Read(idx, mul);
        EXPECT_TRUE(now.index == before.index && now.data == before.data) << outcome.status;
    }
    EXPECT_NE(test::ReadText(items).find("ID 5"), std::string::npos);
}

}  // namespace
}  // namespace vorlak
