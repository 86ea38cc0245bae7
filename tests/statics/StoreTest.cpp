#include <gtest/gtest.h>

#include <optional>

#include "mul/Error.h"
#include "mul/LittleEndian.h"
#include "mul/World.h"
#include "statics/cStatics.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using test::Bytes;
using test::ReadAll;
using test::TempDir;
using test::WriteAll;

Bytes EntryBytes(int32_t offset, int32_t length, int32_t extra = -1) {
    Bytes e;
    for (int32_t v : {offset, length, extra}) le::Put32(e, v);
    return e;
}

Bytes IndexEntryAt(const Bytes& index, int32_t block) {
    auto at = index.begin() + block * 12;
    return Bytes(at, at + 12);
}

class StaticsStore : public ::testing::Test {
  protected:
    TempDir dir;
    std::string idx = dir.path("staidx0.mul");
    std::string data = dir.path("statics0.mul");
};

TEST_F(StaticsStore, NewPairHasAnIndexOfEmptyEntriesForItsWorld) {
    for (auto [given, indexBytes] : {std::pair{std::optional<world::Size>{}, size_t{4718592}},
                                     {world::Size{2304, 1600}, size_t{691200}}}) {
        std::remove(idx.c_str());
        std::remove(data.c_str());
        cStatics store;
        ASSERT_EQ(store.cOpen(idx, data, given), "");
        EXPECT_EQ(store.openState(), 2);
        int32_t last = static_cast<int32_t>(indexBytes / 12) - 1;
        ByteBuffer buf{1, 2, 3};
        EXPECT_EQ(store.cLoad(0, buf), -1);
        EXPECT_EQ(store.cLoad(last, buf), -1);
        EXPECT_EQ(buf, (ByteBuffer{1, 2, 3}));
        EXPECT_THROW(store.cLoad(last + 1, buf), Error);
        store.cClose();
        EXPECT_EQ(store.openState(), 0);
        EXPECT_EQ(ReadAll(idx), Bytes(indexBytes, 0xFF));
        EXPECT_EQ(ReadAll(data).size(), 0u);

        cStatics again;
        ASSERT_EQ(again.cOpen(idx, data, given), "");
        EXPECT_EQ(again.openState(), 1);
        again.cClose();
    }
}

// An index is never taken at a length other than its own: it would be cut or extended when
// written back.
TEST_F(StaticsStore, IndexLengthDecidesTheWorldOrIsRefused) {
    const std::string none = "which fits no world size";
    const std::string other = "but the statics index of a 2304x1600 world (--world 2304x1600)";
    struct Case {
        size_t entries;
        std::optional<world::Size> given;
        std::string size;  // "WxH" when taken, else part of the refusal
    } cases[] = {
        {393216, {}, "6144x4096"},
        {458752, {}, "7168x4096"},
        {57600, world::Size{2304, 1600}, "2304x1600"},
        {393215, {}, none},
        {393216 + 1, {}, none},
        {1, {}, none},
        {393216, world::Size{2304, 1600}, other},
        {57600, {}, none},
    };
    for (const Case& c : cases) {
        Bytes index(c.entries * 12, 0xFF);
        Bytes e = EntryBytes(0, 7);
        std::copy(e.begin(), e.end(), index.begin() + static_cast<long>(index.size()) - 12);
        WriteAll(idx, index);
        WriteAll(data, Bytes(7, 1));
        cStatics store;
        std::string result = store.cOpen(idx, data, c.given);
        if (c.size.find(' ') == std::string::npos) {
            ASSERT_EQ(result, "") << c.entries;
            EXPECT_EQ(world::SizeText(store.size()), c.size);
            ByteBuffer out;
            EXPECT_EQ(store.cLoad(static_cast<int32_t>(c.entries) - 1, out), 7);
            store.cSave(0, ByteBuffer(7, 2), false);  // the index is written back whole
            store.cClose();
            Bytes want = index;
            Bytes first = EntryBytes(7, 7);
            std::copy(first.begin(), first.end(), want.begin());
            EXPECT_EQ(ReadAll(idx), want) << c.size;
        } else {
            EXPECT_EQ(
                result.rfind(idx + " is " + std::to_string(c.entries * 12) + " bytes long", 0), 0u)
                << result;
            EXPECT_NE(result.find(c.size), std::string::npos) << result;
            EXPECT_NE(result.find("--world"), std::string::npos) << result;
            EXPECT_EQ(store.openState(), 0);
            EXPECT_EQ(ReadAll(idx), index);
        }
    }
}

TEST_F(StaticsStore, EverySaveAppendsTheWholeRun) {
    cStatics store;
    ASSERT_EQ(store.cOpen(idx, data), "");
    ByteBuffer first(14, 0xA1), second(21, 0xB2), out;
    store.cSave(5, first, false);
    EXPECT_EQ(store.cLoad(5, out), 14);  // read back before anything is written out
    EXPECT_EQ(out, first);
    store.cSave(5, second, false);
    store.cSave(6, first, true);
    store.cClose();

    Bytes index = ReadAll(idx);
    EXPECT_EQ(IndexEntryAt(index, 5), EntryBytes(14, 21));
    EXPECT_EQ(IndexEntryAt(index, 6), EntryBytes(-1, -1));
    Bytes expected(14, 0xA1);
    expected.insert(expected.end(), 21, 0xB2);
    EXPECT_EQ(ReadAll(data), expected);

    cStatics again;
    ASSERT_EQ(again.cOpen(idx, data), "");
    EXPECT_EQ(again.cLoad(5, out), 21);
    EXPECT_EQ(out, second);
    again.cClose();
}

TEST_F(StaticsStore, OneFileAloneIsRefusedAndLeftAsItWas) {
    Bytes index(4718592, 0);
    Bytes e = EntryBytes(0, 7);
    std::copy(e.begin(), e.end(), index.begin());
    WriteAll(idx, index);
    cStatics store;
    EXPECT_EQ(store.cOpen(idx, data), "Unable to open/create statics.");
    EXPECT_EQ(store.openState(), 0);
    EXPECT_FALSE(test::Exists(data));
    EXPECT_EQ(ReadAll(idx), index);

    std::remove(idx.c_str());
    WriteAll(data, Bytes(7, 3));
    cStatics other;
    EXPECT_EQ(other.cOpen(idx, data), "Unable to open/create statics.");
    EXPECT_FALSE(test::Exists(idx));
}

TEST_F(StaticsStore, LoadReadsExactlyTheRunOrReportsEntriesReachingOutsideTheDataFile) {
    Bytes index(4718592, 0xFF);
    for (auto [block, entry] : {std::pair{1, EntryBytes(-1, 7)},
                                {2, EntryBytes(124, 7)},
                                {3, EntryBytes(2147483647, 7)},
                                {4, EntryBytes(100, 21)},
                                {5, EntryBytes(123, 7)}}) {
        std::copy(entry.begin(), entry.end(), index.begin() + block * 12);
    }
    WriteAll(idx, index);
    Bytes bytes(130);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
    WriteAll(data, bytes);
    cStatics store;
    ASSERT_EQ(store.cOpen(idx, data), "");
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
    EXPECT_EQ(out, ByteBuffer(bytes.begin() + 100, bytes.begin() + 121));
    EXPECT_EQ(store.cLoad(5, out), 7);  // ends exactly at the end of the file
    EXPECT_THROW(store.cLoad(-1, out), Error);
    store.cClose();
}

TEST_F(StaticsStore, DataIsWrittenBeforeTheEntriesThatReferToIt) {
    {
        cStatics store;
        ASSERT_EQ(store.cOpen(idx, data), "");
        store.cClose();
    }
    Bytes indexBefore = ReadAll(idx);
    // Room for part of the data only: the index must not change at all.
    test::FaultyFileSystem fs(10);
    cStatics store(fs);
    ASSERT_EQ(store.cOpen(idx, data), "");
    store.cSave(3, ByteBuffer(14, 5), false);
    EXPECT_THROW(store.cClose(), Error);
    EXPECT_EQ(store.openState(), 0);
    EXPECT_EQ(ReadAll(idx), indexBefore);
}

}  // namespace
}  // namespace vorlak
