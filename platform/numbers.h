#pragma once
// The number conversions the form relies on, with the run-time errors of the
// classic runtime: 6 for overflow, 11 for division by zero, 13 for text that is
// not a number. No Qt here: the tile rules use these too.

#include <cstdint>
#include <string>

namespace platform {

// Nearest whole number, halves to the even neighbour, as int32 (error 6 outside).
int32_t whole(double v);

// int32 (or wider) to int16 (error 6 outside -32768..32767).
int16_t narrowToInt16(int64_t v);

// a * b as int32 (error 6 when the product leaves int32).
int32_t checkedProduct(int32_t a, int32_t b);

// a \ b: truncating integer division (error 11 when b is 0, error 6 for INT32_MIN \ -1).
int32_t intDiv(int32_t a, int32_t b);

// Plain decimal text: digits, a leading "-" when negative, no blank.
std::string toText(int16_t v);
std::string toText(int32_t v);
// A whole float is written as its digits ("7335"); one with a fraction keeps up
// to 7 significant digits ("1234.5").
std::string toText(float v);

// Stored text to a number (error 13 when the text is not a number, 6 when it
// does not fit). Surrounding blanks are allowed; int16 rounds halves to even.
int16_t toInt16(const std::string& text);
float toSingle(const std::string& text);

} // namespace platform
