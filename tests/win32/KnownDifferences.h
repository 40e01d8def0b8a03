// The differences between the program's conversions and oleaut32's that are explained in
// docs/reliability.md ("Conversions against oleaut32"): Wine's own, and the program's on purpose.
#pragma once

#include <functional>
#include <vector>

#include "ConversionCase.h"

namespace conversions {

/// A difference explained in docs/reliability.md ("Conversions against oleaut32").
struct Known {
  const char* id;
  const char* reason;
  std::function<bool(const Case&)> applies;
};

/// Every explained difference, Wine's first.
const std::vector<Known>& KnownDifferences();

/// What explains the difference `c` shows, or nothing.
const Known* Explain(const Case& c);

}  // namespace conversions
