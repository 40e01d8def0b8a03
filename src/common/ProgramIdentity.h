// The program's identity, fixed at build time.
#pragma once

namespace bridge::common {

inline constexpr const char* kProductName = "Tavix_HRD_Bridge";
/// The DDE service name under which clients reach the program's topics.
inline constexpr const char* kServiceName = "Corvane";
inline constexpr const char* kMainCaption = "Tavix HRD Bridge";
inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionRevision = 8;

}  // namespace bridge::common
