#include <gtest/gtest.h>

#include "mul/Error.h"
#include "mul/LittleEndian.h"
#include "mul/cMUL.h"
#include "support/StaticsFixture.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using test::Bytes;
using test::ReadAll;
using test::WriteAll;

Bytes Entry(int32_t offset, int32_t length, int16_t a, int16_t b) {
    Bytes e;
    le::Put32(e, offset);
    le::Put32(e, length);
    le::Put16(e, a);
    le::Put16(e, b);
    return e;
}

using IndexedPair = test::PairTest;

TEST_F(IndexedPair, OpenCreatesEmptyFilesAndCountsEntries) {
    cMUL pair;
    ASSERT_EQ(pair.cOpen(idx, mul, -1, -1), "");
    EXPECT_TRUE(test::Exists(idx));
    EXPECT_TRUE(test::Exists(mul));
    ByteBuffer buf{9};
    int16_t a = 5, b = 5;
    EXPECT_EQ(pair.cLoad(3, buf, a, b), 0);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(buf, ByteBuffer{9});
    EXPECT_EQ(pair.cOpen(idx, mul, -1, -1), idx + " and " + mul + " is allready opened.");
    pair.cClose();
    EXPECT_EQ(pair.cCount(), 0);
    EXPECT_THROW(pair.Entry(0), Error);  // closed

    WriteAll(idx, Bytes(30));  // 2.5 entries
    ASSERT_EQ(pair.cOpen(idx, mul, -1, -1), "");
    EXPECT_EQ(pair.cCount(), 2);
}

TEST_F(IndexedPair, RemovedRecordKeepsBufferAndReportsFlags) {
    Bytes index = Entry(-1, -1, 7, -2);
    WriteAll(idx, index);
    cMUL pair;
    ASSERT_EQ(pair.cOpen(idx, mul, -1, -1), "");
    ByteBuffer buf{1, 2};
    int16_t a = 0, b = 0;
    EXPECT_EQ(pair.cLoad(0, buf, a, b), -1);
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, -2);
    EXPECT_EQ(buf, (ByteBuffer{1, 2}));
}

TEST_F(IndexedPair, SaveAppendsWhenLongerAndWritesInPlaceOtherwise) {
    Bytes index = Entry(0, 2024, 0, 0);
    WriteAll(idx, index);
    WriteAll(mul, Bytes(2024, 0x11));
    cMUL pair;
    ASSERT_EQ(pair.cOpen(idx, mul, -1, -1), "");
    pair.cSave(0, ByteBuffer(2048, 0x22), 1, 2, false);
    EXPECT_EQ(pair.Entry(0).offset, 2024);
    EXPECT_EQ(pair.Entry(0).length, 2048);
    pair.cSave(0, ByteBuffer(2048, 0x33), 1, 2, false);  // same length: in place
    EXPECT_EQ(pair.Entry(0).offset, 2024);
    pair.cSave(0, ByteBuffer(10, 0x44), 3, 4, false);  // shorter: in place, shorter length
    pair.cClose();

    Bytes data = ReadAll(mul);
    ASSERT_EQ(data.size(), 2024u + 2048u);
    EXPECT_EQ(data[0], 0x11);
    EXPECT_EQ(data[2024], 0x44);
    EXPECT_EQ(data[2024 + 9], 0x44);
    EXPECT_EQ(data[2024 + 10], 0x33);  // the old tail stays
    EXPECT_EQ(ReadAll(idx), Entry(2024, 10, 3, 4));
}

TEST_F(IndexedPair, RemovingWritesTheEntryOnlyAndSavingBeyondTheEndExtendsTheIndex) {
    cMUL pair;
    ASSERT_EQ(pair.cOpen(idx, mul, -1, -1), "");
    pair.cSave(2, ByteBuffer{5, 6, 7}, 0, 0, false);
    pair.cSave(0, ByteBuffer{1}, 9, 8, true);
    pair.cClose();
    Bytes expected = Entry(-1, -1, 9, 8);
    Bytes gap(12, 0);
    expected.insert(expected.end(), gap.begin(), gap.end());
    Bytes third = Entry(0, 3, 0, 0);
    expected.insert(expected.end(), third.begin(), third.end());
    EXPECT_EQ(ReadAll(idx), expected);
    EXPECT_EQ(ReadAll(mul), (Bytes{5, 6, 7}));

    cMUL again;
    ASSERT_EQ(again.cOpen(idx, mul, -1, -1), "");
    ByteBuffer buf;
    int16_t a, b;
    EXPECT_EQ(again.cLoad(1, buf, a, b), 0);
    EXPECT_EQ(again.cLoad(2, buf, a, b), 3);
    EXPECT_EQ(buf, (ByteBuffer{5, 6, 7}));
}

TEST_F(IndexedPair, BadRecordNumbersAndDamagedEntries) {
    Bytes index = Entry(-5, 10, 0, 0);
    Bytes past = Entry(100, 4, 0, 0);  // beyond the end of the data file: reads as zeros
    index.insert(index.end(), past.begin(), past.end());
    Bytes huge = Entry(0, 2000000000, 0, 0);  // a damaged length is not allocated
    index.insert(index.end(), huge.begin(), huge.end());
    WriteAll(idx, index);
    cMUL pair;
    ASSERT_EQ(pair.cOpen(idx, mul, -1, -1), "");
    ByteBuffer buf{1};
    int16_t a = 0, b = 0;
    EXPECT_EQ(pair.cLoad(-1, buf, a, b), 0);
    EXPECT_EQ(pair.cLoad(0, buf, a, b), 0);  // a run before the start of the file
    EXPECT_EQ(buf, ByteBuffer{1});
    EXPECT_EQ(pair.cLoad(1, buf, a, b), 4);
    EXPECT_EQ(buf, (ByteBuffer{0, 0, 0, 0}));
    EXPECT_EQ(pair.cLoad(2147483647, buf, a, b), 0);  // n * 12 overflows
    buf = {1};
    EXPECT_EQ(pair.cLoad(2, buf, a, b), 0);
    EXPECT_EQ(buf, ByteBuffer{1});
    EXPECT_THROW(pair.cSave(-1, ByteBuffer{1}, 0, 0, false), Error);
    // A damaged entry with a negative offset is never written through: the record is appended.
    pair.cSave(0, ByteBuffer{1, 2}, 0, 0, false);
    EXPECT_EQ(pair.Entry(0).offset, 0);
}

TEST_F(IndexedPair, FixedBlockMode) {
    cMUL pair;
    EXPECT_EQ(pair.cOpen("", mul, 196, 0), "Illegal number of blocks.");
    EXPECT_FALSE(test::Exists(mul));
    ASSERT_EQ(pair.cOpen("", mul, 196, 393216), "");
    EXPECT_EQ(pair.cCount(), 393216);
    ByteBuffer buf;
    int16_t a = 0, b = 0;
    EXPECT_EQ(pair.cLoad(5, buf, a, b), 196);
    EXPECT_EQ(a, -1);
    EXPECT_EQ(b, -1);
    EXPECT_EQ(buf, ByteBuffer(196, 0));

    pair.cSave(1, ByteBuffer(196, 0xAB), 0, 0, false);
    pair.cSave(0, ByteBuffer(4, 0xCD), 0, 0, false);    // shorter: start of its block
    pair.cSave(0, ByteBuffer(196, 0xEE), 0, 0, true);   // removal writes nothing
    pair.cSave(0, ByteBuffer(200, 0x01), 0, 0, false);  // longer: appended, nothing refers to it
    EXPECT_EQ(pair.cLoad(1, buf, a, b), 196);
    EXPECT_EQ(buf, ByteBuffer(196, 0xAB));
    pair.cClose();
    Bytes data = ReadAll(mul);
    ASSERT_EQ(data.size(), 392u + 200u);
    EXPECT_EQ(data[0], 0xCD);
    EXPECT_EQ(data[4], 0x00);
    EXPECT_EQ(data[196], 0xAB);
    EXPECT_EQ(data[392], 0x01);
}

TEST_F(IndexedPair, OpenFailureNamesBothFiles) {
    cMUL pair;
    std::string missingDir = dir.path("no/such/art.mul");
    EXPECT_EQ(pair.cOpen(idx, missingDir, -1, -1),
              "Unable to open " + idx + " and " + missingDir + ".");
    cMUL fixed;
    EXPECT_EQ(fixed.cOpen("", missingDir, 196, 393216), "Unable to open  and " + missingDir + ".");
}

}  // namespace
}  // namespace vorlak
