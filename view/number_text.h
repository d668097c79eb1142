// Numbers as text for tables, written the way the standard library's
// std::to_chars writes them: the shortest text that reads back as the same
// float, and a double with a fixed count of decimals. Always a point as the
// decimal mark, whatever the locale. For standard libraries whose to_chars
// cannot write floating-point numbers (the browser edition's); elsewhere
// to_chars itself is used, and the tests check that the two agree.
//
// Any thread.
#pragma once

#include <string>

namespace vocalume {

// As std::to_chars(first, last, value) writes a float.
std::string ShortestText(float value);

// As std::to_chars(first, last, value, std::chars_format::fixed, decimals).
std::string FixedText(double value, int decimals);

}  // namespace vocalume
