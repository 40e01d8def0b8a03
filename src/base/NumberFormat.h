// The user's regional number format, as the system reports it.
#pragma once

#include <string>

namespace bridge::base {

/// The user's regional number format: decimal and thousands (grouping) separators.
struct NumberFormat {
  std::string decimal = ".";
  std::string thousands = ",";
};

}  // namespace bridge::base
