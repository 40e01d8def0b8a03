// One comparison of the program's conversions with oleaut32's: the region, the input and
// what each side made of it.
#pragma once

#include <cstdint>
#include <string>

#include "base/NumberFormat.h"

namespace conversions {

using bridge::base::NumberFormat;

/// A regional format: the locale oleaut32 gets, and the separators the program gets for it,
/// read the way the program reads the user's format.
struct Region {
  std::uint32_t lcid;  // the Windows locale identifier
  const char* name;
  NumberFormat format;
};

/// What one side made of one input: a value as text, or a run-time error number.
struct Outcome {
  int error = 0;
  std::string value;
};

/// One comparison: what went in, and what each side made of it.
struct Case {
  std::string function;
  const Region* region;
  std::string kind;
  std::string input;   // the text converted, or empty
  double value = 0;    // the number or date value converted, for the number and date functions
  Outcome ours;
  Outcome theirs;
};

}  // namespace conversions
