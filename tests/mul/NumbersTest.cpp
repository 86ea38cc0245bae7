#include <gtest/gtest.h>

#include <limits>

#include "mul/Error.h"
#include "mul/Numbers.h"

namespace vorlak {
namespace {

TEST(NumericValue, ReadsTheLeadingNumber) {
    const double kInf = std::numeric_limits<double>::infinity();
    // clang-format off
    const std::pair<const char*, double> cases[] = {
        // decimals, blanks skipped wherever they stand
        {"6143abc", 6143}, {"  -12", -12}, {"+7", 7}, {"1 2", 12}, {"\t1\r\n2\n", 12},
        {"- 5", -5}, {"12.5.3", 12.5}, {".5", 0.5}, {"3.", 3},
        // no number at all
        {"", 0}, {"abc", 0}, {"-", 0}, {".", 0}, {"&", 0}, {"&X12", 0}, {"x12", 0},
        // exponents with E or D; one without digits ends the number
        {"1E3", 1000}, {"1e+2", 100}, {"25D-1", 2.5}, {"2d2", 200}, {"1 E 2", 100}, {"7E", 7},
        {"7Ex", 7}, {"1E99999999999999999999", kInf}, {"1E-99999999999999", 0},
        // hexadecimal: up to four digits signed 16-bit, longer signed 32-bit
        {"&HFFFF", -1}, {"&H8000", -32768}, {"&H7FFF", 32767}, {"&h0e75", 3701},
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
    for (double big : {255.5, -1.0, 256.0}) EXPECT_THROW(ToUInt8(big), Error) << big;
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
