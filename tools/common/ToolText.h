// Text helpers shared by the test tools.
#pragma once

#include <string>
#include <string_view>

namespace tools {

/// Makes a text safe for a one-line record: backslash, CR, LF and TAB become \\ \r \n \t.
inline std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out += c; break;
    }
  }
  return out;
}

}  // namespace tools
