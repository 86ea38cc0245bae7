#include <gtest/gtest.h>

#include <optional>

#include "mul/Error.h"
#include "mul/World.h"
#include "statics/cStatics.h"
#include "support/StaticsFixture.h"

namespace vorlak {
namespace {

using test::Bytes;
using test::ReadAll;
using test::StaticsPair;

class StaticsStore : public test::PairTest {};

TEST_F(StaticsStore, NewPairHasAnIndexOfEmptyEntriesForItsWorld) {
    for (auto [given, blocks] :
         {std::pair{std::optional<world::Size>{}, 393216}, {world::Size{2304, 1600}, 57600}}) {
        std::remove(idx.c_str());
        std::remove(mul.c_str());
        cStatics store;
        ASSERT_EQ(store.cOpen(idx, mul, given), "");
        EXPECT_EQ(store.openState(), 2);
        ByteBuffer buf{1, 2, 3};
        EXPECT_EQ(store.cLoad(blocks - 1, buf), -1);
        EXPECT_EQ(buf, (ByteBuffer{1, 2, 3}));
        EXPECT_THROW(store.cLoad(blocks, buf), Error);
        store.cClose();
        EXPECT_EQ(ReadAll(idx), StaticsPair(blocks).index);
    }
}

// An index is never taken at a length other than its own: it would be cut or extended when
// written back.
TEST_F(StaticsStore, IndexLengthDecidesTheWorldOrIsRefused) {
    const std::string none = "which fits no world size";
    struct Case {
        int32_t entries;
        std::optional<world::Size> given;
        std::string size;  // "WxH" when taken, else part of the refusal
    } cases[] = {
        {458752, {}, "7168x4096"},
        {393216 + 1, {}, none},
        {393216, world::Size{2304, 1600}, "the statics index of a 2304x1600 world"},
    };
    for (const Case& c : cases) {
        StaticsPair pair(c.entries);
        pair.AddRun(c.entries - 1, Bytes(7, 1));
        pair.Write(idx, mul);
        cStatics store;
        std::string result = store.cOpen(idx, mul, c.given);
        if (c.size.find(' ') == std::string::npos) {
            ASSERT_EQ(result, "") << c.entries;
            EXPECT_EQ(world::SizeText(store.size()), c.size);
            store.cSave(0, ByteBuffer(7, 2), false);  // the index is written back whole
            store.cClose();
            pair.AddRun(0, Bytes(7, 2));
            EXPECT_EQ(ReadAll(idx), pair.index) << c.size;
        } else {
            EXPECT_EQ(
                result.rfind(idx + " is " + std::to_string(c.entries * 12) + " bytes long", 0), 0u)
                << result;
            EXPECT_NE(result.find(c.size), std::string::npos) << result;
            EXPECT_NE(result.find("--world"), std::string::npos) << result;
            EXPECT_EQ(ReadAll(idx), pair.index);
        }
    }
}

TEST_F(StaticsStore, LoadReadsExactlyTheRunOrReportsEntriesReachingOutsideTheDataFile) {
    StaticsPair pair;
    for (int i = 0; i < 130; ++i) pair.data.push_back(static_cast<uint8_t>(i));
    pair.SetEntry(1, -1, 7);
    pair.SetEntry(2, 124, 7);
    pair.SetEntry(3, 2147483647, 7);
    pair.SetEntry(4, 100, 21);
    pair.SetEntry(5, 123, 7);  // ends exactly at the end of the file
    pair.Write(idx, mul);
    cStatics store;
    ASSERT_EQ(store.cOpen(idx, mul), "");
    ByteBuffer out{42};
    for (int32_t block : {1, 2, 3}) {
        try {
            store.cLoad(block, out);
            FAIL() << block;
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), Error::Kind::kCorrupt);
            EXPECT_NE(std::string(e.what()).find("block " + std::to_string(block) + " (X 0..7"),
                      std::string::npos)
                << e.what();
        }
    }
    EXPECT_EQ(out, ByteBuffer{42});
    EXPECT_EQ(store.cLoad(4, out), 21);
    EXPECT_EQ(out, ByteBuffer(pair.data.begin() + 100, pair.data.begin() + 121));
    EXPECT_EQ(store.cLoad(5, out), 7);
    EXPECT_THROW(store.cLoad(-1, out), Error);
    store.cClose();
}

TEST_F(StaticsStore, DataIsWrittenBeforeTheEntriesThatReferToIt) {
    StaticsPair().Write(idx, mul);
    // Room for part of the data only: the index must not change at all.
    test::FaultyFileSystem fs(10);
    cStatics store(fs);
    ASSERT_EQ(store.cOpen(idx, mul), "");
    store.cSave(3, ByteBuffer(14, 5), false);
    EXPECT_THROW(store.cClose(), Error);
    EXPECT_EQ(ReadAll(idx), StaticsPair().index);
}

}  // namespace
}  // namespace vorlak
