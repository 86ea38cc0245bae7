#include <gtest/gtest.h>

#include <cmath>

#include "mul/Error.h"
#include "mul/Numbers.h"

namespace vorlak {
namespace {

TEST(NumericValue, LeadingDecimalPartWithSkippedBlanks) {
    EXPECT_EQ(NumericValue("6143abc"), 6143);
    EXPECT_EQ(NumericValue("  -12"), -12);
    EXPECT_EQ(NumericValue("+7"), 7);
    EXPECT_EQ(NumericValue("1 2"), 12);
    EXPECT_EQ(NumericValue("\t1\r\n2\n"), 12);
    EXPECT_EQ(NumericValue("- 5"), -5);
    EXPECT_EQ(NumericValue("12.5.3"), 12.5);
    EXPECT_EQ(NumericValue(".5"), 0.5);
    EXPECT_EQ(NumericValue("3."), 3);
}

TEST(NumericValue, TextWithoutNumberIsZero) {
    EXPECT_EQ(NumericValue(""), 0);
    EXPECT_EQ(NumericValue("abc"), 0);
    EXPECT_EQ(NumericValue("-"), 0);
    EXPECT_EQ(NumericValue("."), 0);
    EXPECT_EQ(NumericValue("&"), 0);
    EXPECT_EQ(NumericValue("&X12"), 0);
    EXPECT_EQ(NumericValue("x12"), 0);
}

TEST(NumericValue, ExponentWithEOrD) {
    EXPECT_EQ(NumericValue("1E3"), 1000);
    EXPECT_EQ(NumericValue("1e+2"), 100);
    EXPECT_EQ(NumericValue("25D-1"), 2.5);
    EXPECT_EQ(NumericValue("2d2"), 200);
    EXPECT_EQ(NumericValue("1 E 2"), 100);
    EXPECT_EQ(NumericValue("7E"), 7);  // an exponent needs digits
    EXPECT_EQ(NumericValue("7Ex"), 7);
    EXPECT_TRUE(std::isinf(NumericValue("1E99999999999999999999")));
    EXPECT_EQ(NumericValue("1E-99999999999999"), 0);
}

TEST(NumericValue, HexadecimalSixteenAndThirtyTwoBit) {
    EXPECT_EQ(NumericValue("&HFFFF"), -1);
    EXPECT_EQ(NumericValue("&H8000"), -32768);
    EXPECT_EQ(NumericValue("&H7FFF"), 32767);
    EXPECT_EQ(NumericValue("&h0e75"), 3701);
    EXPECT_EQ(NumericValue("&H10000"), 65536);
    EXPECT_EQ(NumericValue("&HFFFFFFFF"), -1);
    EXPECT_EQ(NumericValue("&H80000000"), -2147483648.0);
    EXPECT_EQ(NumericValue("&H"), 0);
    EXPECT_EQ(NumericValue("&H1G"), 1);
    EXPECT_EQ(NumericValue(" & H F F"), 255);
}

TEST(WholeNumber, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(ToInt32(12.5), 12);
    EXPECT_EQ(ToInt32(13.5), 14);
    EXPECT_EQ(ToInt32(-0.5), 0);
    EXPECT_EQ(ToInt32(-1.5), -2);
    EXPECT_EQ(ToInt32(2.4999), 2);
    EXPECT_EQ(ToInt32(2.5001), 3);
    EXPECT_EQ(ToInt16(-32768.4), -32768);
    EXPECT_EQ(ToUInt8(254.5), 254);
}

TEST(WholeNumber, OverflowOutsideTheTarget) {
    EXPECT_EQ(ToInt32(2147483647.0), 2147483647);
    EXPECT_EQ(ToInt32(-2147483648.0), -2147483647 - 1);
    EXPECT_THROW(ToInt32(2147483648.0), Error);
    EXPECT_THROW(ToInt32(-2147483649.0), Error);
    EXPECT_THROW(ToInt16(32768), Error);
    EXPECT_THROW(ToInt16(32767.5), Error);  // rounds to 32768
    EXPECT_THROW(ToUInt8(255.5), Error);    // rounds to 256
    EXPECT_THROW(ToUInt8(-1), Error);
    EXPECT_EQ(ToUInt8(-0.5), 0);
    EXPECT_THROW(ToUInt8(256), Error);
    EXPECT_THROW(ToInt32(NumericValue("1E400")), Error);
    try {
        ToUInt8(300, "item type");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), Error::Kind::kOverflow);
        EXPECT_NE(std::string(e.what()).find("item type 300"), std::string::npos);
    }
}

TEST(FormatShortest, WritesTheShortestDecimal) {
    EXPECT_EQ(FormatShortest(768), "768");
    EXPECT_EQ(FormatShortest(768.5), "768.5");
    EXPECT_EQ(FormatShortest(-3), "-3");
    EXPECT_EQ(FormatShortest(-0.0), "0");
}

}  // namespace
}  // namespace vorlak
