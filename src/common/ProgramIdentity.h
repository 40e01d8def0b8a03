// The program's identity, fixed at build time.
#pragma once

#include <string>

#include "common/ProgramVersion.h"

namespace bridge::common {

inline constexpr const char* kProductName = "Tavix_HRD_Bridge";
/// The DDE service name under which clients reach the program's topics.
inline constexpr const char* kServiceName = "Corvane";
inline constexpr const char* kMainCaption = "Tavix HRD Bridge";

/// The version as the window shows it and the error log reports it: "1.0.8".
inline std::string VersionText() {
  return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision);
}

/// The version as saved in the settings: the three numbers run together, "108".
inline std::string VersionSettingText() {
  return std::to_string(kVersionMajor) + std::to_string(kVersionMinor) + std::to_string(kVersionRevision);
}

}  // namespace bridge::common
