#include "model/number_text.h"

#include <charconv>
#include <cmath>
#include <string>

namespace jr {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

double LeadingNumberValue(std::string_view text) {
  // Collect the characters that form the number, dropping blanks wherever they stand,
  // then let strtod do the conversion of the well-formed rest.
  std::string number;
  size_t i = 0;
  auto skip_blanks = [&] {
    while (i < text.size() && IsBlank(text[i])) ++i;
  };
  skip_blanks();
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
  bool digits = false;
  bool point = false;
  while (i < text.size()) {
    skip_blanks();
    if (i >= text.size()) break;
    char c = text[i];
    if (IsDigit(c)) {
      digits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
    number += c;
    ++i;
  }
  if (!digits) return 0.0;
  skip_blanks();
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::string exponent = "e";
    size_t j = i + 1;
    while (j < text.size() && IsBlank(text[j])) ++j;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
    bool exp_digits = false;
    while (j < text.size() && (IsDigit(text[j]) || IsBlank(text[j]))) {
      if (IsDigit(text[j])) {
        exponent += text[j];
        exp_digits = true;
      }
      ++j;
    }
    if (exp_digits) number += exponent;
  }
  // Not strtod: it follows LC_NUMERIC, which the window takes from the user's locale, and
  // "10.6" must read the same everywhere.
  double value = 0.0;
  const char* first = number.data();
  if (*first == '+') ++first;
  std::from_chars(first, number.data() + number.size(), value);
  return value;
}

std::optional<int64_t> RoundHalfEven(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  double rounded = std::nearbyint(value);  // default rounding mode: half to even
  if (rounded < -9.2e18 || rounded > 9.2e18) return std::nullopt;
  return static_cast<int64_t>(rounded);
}

std::optional<int64_t> LeadingWholeNumber(std::string_view text) {
  return RoundHalfEven(LeadingNumberValue(text));
}

}  // namespace jr
