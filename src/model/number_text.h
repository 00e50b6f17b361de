#pragma once
// Reading numbers out of texts typed by users or found in job files and status files.

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/blanks.h"

namespace jr {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The value of the number at the start of `text`, read the lenient way job-line lists are
// read: blanks are skipped, reading stops at the first character that cannot continue the
// number, and a text without a leading number is 0. Accepts a sign, a decimal point and
// an exponent. Values too large for a double read as +/-infinity.
double LeadingNumberValue(std::string_view text);

// Rounds to the nearest whole number, a half to the even neighbour. nullopt when the value
// is not finite or does not fit into 64 bits.
std::optional<int64_t> RoundHalfEven(double value);

// The whole number a text stands for when read leniently and rounded (see above), or
// nullopt when it does not fit into 64 bits.
std::optional<int64_t> LeadingWholeNumber(std::string_view text);

}  // namespace jr
