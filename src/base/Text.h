// Letter case and trimming for the ANSI texts the program handles; ASCII letters only, so
// the result never depends on the process locale.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace bridge::base {

inline char ToLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline char ToUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string ToLower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return ToLower(c); });
  return lower;
}

inline std::string ToUpper(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return ToUpper(c); });
  return upper;
}

/// Equal without regard to letter case, as DDE compares service, topic and item names.
inline bool EqualNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) { return ToLower(x) == ToLower(y); });
}

// The forms runtime's Trim takes spaces only; its number parsing skips every white space
// character of the ANSI code page: tab, line feed, vertical tab, form feed, carriage return
// and the no-break space besides the space.
inline constexpr std::string_view kSpaces = " ";
inline constexpr std::string_view kBlanks = " \t\n\v\f\r\xA0";

/// `text` without the leading and trailing characters found in `strip`; a view into `text`.
inline std::string_view Trim(std::string_view text, std::string_view strip) {
  const std::size_t first = text.find_first_not_of(strip);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(strip) - first + 1);
}

}  // namespace bridge::base
