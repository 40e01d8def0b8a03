// Letter-case helpers for the ANSI texts the program handles.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

namespace bridge::base {

inline std::string ToLower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

inline std::string ToUpper(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return upper;
}

/// Equal without regard to letter case, as DDE compares service, topic and item names.
inline bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ToLower(a) == ToLower(b);
}

}  // namespace bridge::base
