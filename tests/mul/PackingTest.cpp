#include <gtest/gtest.h>

#include "mul/Error.h"
#include "mul/mTypes.h"
#include "mul/mZedraConvert.h"

namespace vorlak {
namespace {

using mTypes::Bytes2Long;
using mTypes::Signed2Byte;
using mZedraConvert::CopyByteRange;
using mZedraConvert::Long2Bytes;

TEST(Packing, LittleEndianLayout) {
    ByteBuffer b(4, 0);
    Long2Bytes(258, b, 0, 2);
    EXPECT_EQ(b, (ByteBuffer{0x02, 0x01, 0, 0}));
    EXPECT_EQ(Bytes2Long(b, 0, 2), 258);

    Long2Bytes(-2, b, 0, 4);
    EXPECT_EQ(b, (ByteBuffer{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Bytes2Long(b, 0, 4), -2);
    EXPECT_EQ(Bytes2Long(b, 0, 3), 16777214);
    EXPECT_EQ(Bytes2Long(b, 0, 2), 65534);
    EXPECT_EQ(Bytes2Long(b, 0, 1), 254);
    EXPECT_EQ(Bytes2Long(b, 0, 0), 254);  // a length below 1 reads one byte
    EXPECT_EQ(Bytes2Long(b, 0, 9), -2);   // above 4 reads four
}

TEST(Packing, HighBytesAreDroppedAndShortLengthsWriteOneByte) {
    ByteBuffer b(4, 0xAA);
    Long2Bytes(70000, b, 0, 2);
    EXPECT_EQ(b, (ByteBuffer{0x70, 0x11, 0xAA, 0xAA}));
    Long2Bytes(-1, b, 2, 0);
    EXPECT_EQ(b, (ByteBuffer{0x70, 0x11, 0xFF, 0xAA}));
    Long2Bytes(0x01020304, b, 0, 7);
    EXPECT_EQ(b, (ByteBuffer{0x04, 0x03, 0x02, 0x01}));
}

TEST(Packing, OutOfRangeFailsAtTheFirstBadByteKeepingEarlierOnes) {
    ByteBuffer b(3, 0);
    try {
        Long2Bytes(0x0201, b, 2, 2);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), Error::Kind::kOutOfRange);
    }
    EXPECT_EQ(b, (ByteBuffer{0, 0, 0x01}));
    EXPECT_THROW(Bytes2Long(b, 2, 2), Error);
    EXPECT_THROW(Bytes2Long(b, -1, 1), Error);
    EXPECT_THROW(Bytes2Long(ByteBuffer{}, 0, 1), Error);
    try {
        Bytes2Long(b, 2147483647, 2);
        FAIL();
    } catch (const Error& e) {
        // Position 2147483647 itself is already outside this buffer.
        EXPECT_EQ(e.kind(), Error::Kind::kOutOfRange);
    }
    ByteBuffer one(1);
    EXPECT_THROW(mTypes::CheckedIndex(one.size(), 2147483647, 1), Error);
}

TEST(Packing, Heights) {
    for (auto [height, stored] : {std::pair{-1, 255}, {-128, 128}, {127, 127}, {-300, -44}}) {
        EXPECT_EQ(Signed2Byte(height), stored) << height;
    }
}

TEST(Packing, CopyMovesARecordDownWithinOneBuffer) {
    ByteBuffer b(21);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i);
    CopyByteRange(b, b, 14, 7, 7);
    ByteBuffer expected{0,  1,  2,  3,  4,  5,  6,  14, 15, 16, 17,
                        18, 19, 20, 14, 15, 16, 17, 18, 19, 20};
    EXPECT_EQ(b, expected);
    CopyByteRange(b, b, 0, 0, 3);
    CopyByteRange(b, b, 0, -5, 3);
    EXPECT_EQ(b, expected);
    EXPECT_THROW(CopyByteRange(b, b, 15, 7, 0), Error);  // source runs past the end
}

}  // namespace
}  // namespace vorlak
