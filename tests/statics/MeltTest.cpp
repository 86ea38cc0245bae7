#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "statics/StaticsJobs.h"
#include "support/StaticsPair.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using test::Bytes;
using test::ReadAll;
using test::ReadText;

constexpr int32_t kBlock89802 = 89802;  // X 1400..1407, Y 1616..1623

std::string Reference(const std::string& name) {
    return (std::filesystem::path(__FILE__).parent_path() / "data" / name / "expected.wsc")
        .string();
}

class MeltJob : public ::testing::Test {
  protected:
    // Writes a pair whose blocks hold the given record runs.
    void MakePair(const std::map<int32_t, Bytes>& runs) {
        test::StaticsPair pair;
        for (const auto& [block, run] : runs) pair.AddRun(block, run);
        pair.Write(idx, data);
    }

    JobOutcome Melt(MeltRequest request) {
        request.statics = data;
        request.staidx = idx;
        request.items = items;
        return RunMelt(request, [](const std::string&) {});
    }
    static MeltRequest Rect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        MeltRequest r;
        r.x1 = x1, r.y1 = y1, r.x2 = x2, r.y2 = y2;
        return r;
    }
    std::set<std::string> Files() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.root())) {
            names.insert(e.path().filename().string());
        }
        return names;
    }
    bool HasLine(const std::string& line) {
        return ("\r\n" + ReadText(items)).find("\r\n" + line + "\r\n") != std::string::npos;
    }

    test::TempDir dir;
    std::string idx = dir.path("staidx0.mul");
    std::string data = dir.path("statics0.mul");
    std::string items = dir.path("items.wsc");
};

TEST_F(MeltJob, ReferenceFiles) {
    MakePair({{kBlock89802, {0x15, 0x05, 0x00, 0x04, 0x05, 0x00, 0x00}}});
    for (auto [rect, reference] : {std::pair{Rect(1400, 1620, 1407, 1627), "melt-block-89802"},
                                   std::pair{Rect(0, 0, 7, 7), "melt-nothing-inside"}}) {
        EXPECT_TRUE(Melt(rect).ok);
        EXPECT_EQ(ReadAll(items), test::ReadGolden(Reference(reference)));
    }
}

TEST_F(MeltJob, OffsetsLimitsAndNumbering) {
    MakePair({{kBlock89802,
               {0x15, 0x05, 0x00, 0x04, 0x05, 0x00, 0x00,    // 1301 at (1400, 1620), Z 5
                0xFF, 0xFF, 0x01, 0x05, 0x80, 0x12, 0x34}},  // 65535 at (1401, 1621), Z -128
              {kBlock89802 + 1, {0x02, 0x00, 0x07, 0x00, 0x7F, 0x00, 0x00}}});
    MeltRequest r = Rect(1400, 1620, 1407, 1627);
    r.addX = 10, r.addY = -20, r.addZ = 125, r.countStart = 8, r.itemType = 7;
    ASSERT_TRUE(Melt(r).ok);
    for (const char* line :
         {"SECTION WORLDITEM 8", "SERIAL 1800000008", "TYPE 7", "X 1410", "Y 1600", "Z 127",
          "SECTION WORLDITEM 10", "SERIAL 1800000010", "ID 2", "X 1417", "Y 1604", "INITMEM 3"}) {
        EXPECT_TRUE(HasLine(line)) << line;
    }
    // Numbering from below 0; positions below 0 and of six digits.
    r.addX = -1500, r.addY = 200000, r.countStart = -1;
    ASSERT_TRUE(Melt(r).ok);
    for (const char* line : {"SECTION WORLDITEM -1", "SERIAL 1799999999", "SECTION WORLDITEM 1",
                             "SERIAL 1800000001", "X -100", "X -93", "Y 201620"}) {
        EXPECT_TRUE(HasLine(line)) << line;
    }
    // Limited to -127..127 after the offset; an ID of FF FF reads 65535.
    r = Rect(1401, 1620, 1407, 1623);
    ASSERT_TRUE(Melt(r).ok);
    EXPECT_TRUE(HasLine("ID 65535"));
    EXPECT_TRUE(HasLine("Z -127"));
    // Corners outside the world or the wrong way round are refused.
    for (MeltRequest bad : {Rect(0, 0, 6143, 4096), Rect(9, 0, 8, 0), Rect(0, 9, 0, 8)}) {
        EXPECT_EQ(Melt(bad).status, "Illegal cordinates.");
    }
    // The static at X 1400 lies in a visited block but left of X1.
    EXPECT_FALSE(HasLine("ID 1301"));
    EXPECT_TRUE(HasLine("INITMEM 1"));
}

// A failed melt leaves the previous item file as it was and no partial file beside it.
TEST_F(MeltJob, FailuresKeepTheOldFileAndLeaveNoPartialFile) {
    const std::set<std::string> pairAndItems{"staidx0.mul", "statics0.mul", "items.wsc"};
    auto expectUntouched = [&](const JobOutcome& outcome, const std::string& why) {
        EXPECT_EQ(outcome.status, "Unknown error.") << why;
        EXPECT_FALSE(outcome.detail.empty()) << why;
        EXPECT_EQ(ReadText(items), "old items") << why;
        EXPECT_EQ(Files(), pairAndItems) << why;
    };
    MakePair({{kBlock89802, {0x15, 0x05, 0x00, 0x04, 0x05, 0x00, 0x00}}});
    test::WriteText(items, "old items");

    MeltRequest r;
    r.countStart = 347483648;  // serial 2147483648
    expectUntouched(Melt(r), "serial");
    r.countStart = 347483647;
    EXPECT_TRUE(Melt(r).ok);
    EXPECT_TRUE(HasLine("SERIAL 2147483647"));
    test::WriteText(items, "old items");

    r = {};
    r.addX = 2147483647;
    expectUntouched(Melt(r), "written X");

    MakePair({{kBlock89802, Bytes(12, 0)}});  // not a whole number of records
    expectUntouched(Melt({}), "block length");
}

// Melting the whole world and freezing the result into a new pair gives the same pair.
TEST_F(MeltJob, FreezeThenMeltThenFreezeAgain) {
    std::string world;
    for (const char* item :
         {"ID 1301\r\nX 1400\r\nY 1620\r\nZ 5", "ID 40000\r\nX 0\r\nY 0\r\nZ -127",
          "ID 7\r\nX 6143\r\nY 4095\r\nZ 127", "ID 8\r\nX 1401\r\nY 1620\r\nZ 0"}) {
        world += "SECTION WORLDITEM 1\r\n{\r\n" + std::string(item) + "\r\nCONT -1\r\n}\r\n";
    }
    test::WriteText(dir.path("world.wsc"), world);
    auto ignore = [](const std::string&) {};
    ASSERT_TRUE(RunFreeze({dir.path("world.wsc"), data, idx, false, -1}, ignore).ok);
    ASSERT_TRUE(Melt({}).ok);
    EXPECT_TRUE(HasLine("INITMEM 4"));
    JobOutcome again =
        RunFreeze({items, dir.path("again.mul"), dir.path("againidx.mul"), false, 255}, ignore);
    ASSERT_TRUE(again.ok) << again.status;
    EXPECT_EQ(ReadAll(dir.path("again.mul")), ReadAll(data));
    EXPECT_EQ(ReadAll(dir.path("againidx.mul")), ReadAll(idx));
}

}  // namespace
}  // namespace vorlak
