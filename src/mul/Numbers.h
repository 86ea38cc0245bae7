// Reading numbers from text, and storing them into whole-number fields.
//
// Every number the program reads from text (a text box, a world file value, a remembered value)
// goes through NumericValue; every number stored into an integer field goes through one of the
// To* conversions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorlak {

// The leading numeric part of `text`, never a failure.
//  - Blanks, tabs, CR and LF are skipped wherever they stand ("1 2" reads as 12).
//  - Then an optional sign, decimal digits with at most one decimal point, and an optional
//    exponent (E or D, optional sign, digits);
//  - or "&H" and hexadecimal digits: up to 4 digits (a value up to FFFF) read as a signed 16-bit
//    number, longer as a signed 32-bit number (the low 32 bits of the digits).
//  - Reading stops at the first other character; a text with no number reads as 0.
double NumericValue(std::string_view text);

// Nearest whole number, exact halves to the even neighbour; Error::Overflow (with `what` in the
// message) when the result lies outside the target's range or the value is not finite.
int32_t ToInt32(double value, std::string_view what = "value");
int16_t ToInt16(double value, std::string_view what = "value");
uint8_t ToUInt8(double value, std::string_view what = "value");

// Shortest decimal form of a number as the window shows sums: 768, 768.5, -3.
std::string FormatShortest(double value);

}  // namespace vorlak
