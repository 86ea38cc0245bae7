#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "mul/Error.h"
#include "mul/File.h"
#include "mul/Numbers.h"
#include "mul/mTypes.h"
#include "mul/mZedraConvert.h"

namespace vorlak {
namespace {

TEST(NumericValue, ReadsTheLeadingNumber) {
    const double kInf = std::numeric_limits<double>::infinity();
    // clang-format off
    const std::pair<const char*, double> cases[] = {
        // decimals, blanks skipped wherever they stand
        {"6143abc", 6143}, {"  -12", -12}, {"+79", 79}, {"1 2", 12}, {"\t1\r\n2\n", 12},
        {"- 5", -5}, {"12.5.3", 12.5}, {".5", 0.5}, {"3.", 3},
        // no number at all
        {"", 0}, {"abc", 0}, {"-", 0}, {".", 0}, {"&", 0}, {"&X12", 0}, {"x12", 0},
        // exponents with E or D; one without digits ends the number
        {"1E3", 1000}, {"9E9", 9e9}, {"1e+2", 100}, {"25D-1", 2.5}, {"2d2", 200}, {"1 E 2", 100}, {"7E", 7},
        {"7Ex", 7}, {"1E99999999999999999999", kInf}, {"1E-99999999999999", 0},
        // hexadecimal: up to four digits signed 16-bit, longer signed 32-bit
        {"&HFFFF", -1}, {"&H8000", -32768}, {"&H7FFF", 32767}, {"&h0a7f", 2687}, {"&H0E79", 3705},
        {"&H10000", 65536}, {"&HFFFFFFFF", -1}, {"&H80000000", -2147483648.0}, {"&H", 0},
        {"&H1G", 1}, {" & H F F", 255}};
    // clang-format on
    for (const auto& [text, value] : cases) EXPECT_EQ(NumericValue(text), value) << text;
}

TEST(WholeNumber, HalvesGoToTheEvenNeighbourAndOverflowIsRefused) {
    // clang-format off
    const std::pair<double, int32_t> to32[] = {
        {12.5, 12}, {13.5, 14}, {-0.5, 0}, {-1.5, -2}, {2.4999, 2}, {2.5001, 3},
        {2147483647.0, 2147483647}, {-2147483648.0, -2147483647 - 1}};
    // clang-format on
    for (const auto& [value, whole] : to32) EXPECT_EQ(ToInt32(value), whole) << value;
    EXPECT_EQ(ToInt16(-32768.4), -32768);
    EXPECT_EQ(ToUInt8(254.5), 254);
    EXPECT_EQ(ToUInt8(-0.5), 0);

    for (double big : {2147483648.0, -2147483649.0, NumericValue("1E400")}) {
        EXPECT_THROW(ToInt32(big), Error) << big;
    }
    EXPECT_THROW(ToInt16(32768), Error);
    EXPECT_THROW(ToInt16(32767.5), Error);  // rounds to 32768
    for (double big : {255.5, -1.0, 256.0, 300.0}) EXPECT_THROW(ToUInt8(big), Error) << big;
}

TEST(FormatShortest, WritesTheShortestDecimal) {
    for (auto [value, text] :
         {std::pair{768.0, "768"}, {768.5, "768.5"}, {-3.0, "-3"}, {-0.0, "0"}})
        EXPECT_EQ(FormatShortest(value), text) << value;
}

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
    EXPECT_THROW(Long2Bytes(0x0201, b, 2, 2), Error);
    EXPECT_EQ(b, (ByteBuffer{0, 0, 0x01}));
    // Position 2147483647 itself is already outside the buffer.
    for (int32_t at : {2, -1, 2147483647}) EXPECT_THROW(Bytes2Long(b, at, 2), Error) << at;
    EXPECT_THROW(Bytes2Long(ByteBuffer{}, 0, 1), Error);
    EXPECT_THROW(mTypes::CheckedIndex(1, 2147483647, 1), Error);
}

// Blocks on both sides of the size from which memory is mapped apart, and of the huge page, all
// alive at once: each starts as zeros (freeze counts into such arrays without clearing them) and
// keeps its own bytes, and growing one keeps what it held.
TEST(LargeAllocator, BlocksOfEverySizeStartAsZerosAndKeepTheirBytes) {
    std::vector<LargeBytes> blocks;
    for (size_t size : {size_t{1}, (size_t{256} << 10) - 1, size_t{256} << 10, size_t{2} << 20,
                        (size_t{2} << 20) + 1, size_t{5} << 20}) {
        blocks.emplace_back(size);
        EXPECT_EQ(std::count(blocks.back().begin(), blocks.back().end(), 0),
                  static_cast<ptrdiff_t>(size));
        std::fill(blocks.back().begin(), blocks.back().end(), static_cast<uint8_t>(size));
    }
    blocks.back().resize(size_t{9} << 20);
    for (const LargeBytes& b : blocks) {
        size_t size = &b == &blocks.back() ? size_t{5} << 20 : b.size();
        EXPECT_EQ(std::count(b.begin(), b.begin() + static_cast<ptrdiff_t>(size),
                             static_cast<uint8_t>(size)),
                  static_cast<ptrdiff_t>(size));
    }
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
