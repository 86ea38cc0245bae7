#include <gtest/gtest.h>

#include <algorithm>

#include "mul/Error.h"
#include "mul/mTypes.h"
#include "mul/mZedraConvert.h"

namespace vorlak {
namespace {

using mTypes::Bytes2Long;
using mZedraConvert::CopyByteRange;
using mZedraConvert::Long2Bytes;

TEST(Packing, LittleEndianWithLengthsClampedToOneToFourBytes) {
    ByteBuffer b(4, 0xAA);
    Long2Bytes(258, b, 0, 2);
    EXPECT_EQ(b, (ByteBuffer{0x02, 0x01, 0xAA, 0xAA}));
    Long2Bytes(70000, b, 0, 2);  // the high bytes are dropped
    EXPECT_EQ(b, (ByteBuffer{0x70, 0x11, 0xAA, 0xAA}));
    Long2Bytes(-1, b, 2, 0);  // below 1 writes one byte
    EXPECT_EQ(b, (ByteBuffer{0x70, 0x11, 0xFF, 0xAA}));
    Long2Bytes(0x01020304, b, 0, 7);  // above 4 writes four
    EXPECT_EQ(b, (ByteBuffer{0x04, 0x03, 0x02, 0x01}));
    Long2Bytes(-2, b, 0, 4);
    EXPECT_EQ(b, (ByteBuffer{0xFE, 0xFF, 0xFF, 0xFF}));
    for (auto [length, value] :
         {std::pair{4, -2}, {3, 16777214}, {2, 65534}, {1, 254}, {0, 254}, {9, -2}}) {
        EXPECT_EQ(Bytes2Long(b, 0, length), value) << length;
    }
    for (auto [height, stored] : {std::pair{-1, 255}, {-128, 128}, {127, 127}, {-300, -44}}) {
        EXPECT_EQ(mTypes::Signed2Byte(height), stored) << height;
    }
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
    // Position 2147483647 itself is already outside the buffer.
    for (int32_t at : {2, -1, 2147483647}) EXPECT_THROW(Bytes2Long(b, at, 2), Error) << at;
    EXPECT_THROW(Bytes2Long(ByteBuffer{}, 0, 1), Error);
    EXPECT_THROW(mTypes::CheckedIndex(1, 2147483647, 1), Error);
}

TEST(Packing, CopyMovesARecordDownWithinOneBuffer) {
    ByteBuffer b(21);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i);
    ByteBuffer expected = b;
    std::copy(b.begin() + 14, b.end(), expected.begin() + 7);
    CopyByteRange(b, b, 14, 7, 7);
    EXPECT_EQ(b, expected);
    CopyByteRange(b, b, 0, 0, 3);
    CopyByteRange(b, b, 0, -5, 3);
    EXPECT_EQ(b, expected);
    EXPECT_THROW(CopyByteRange(b, b, 15, 7, 0), Error);  // source runs past the end
}

}  // namespace
}  // namespace vorlak
