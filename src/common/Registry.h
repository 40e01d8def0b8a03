// Read-only registry look-ups by value name.
#pragma once

#include <string>

#include "common/ErrorTrap.h"
#include "platform/SystemInfo.h"

namespace bridge::common {

/// The `Registry` module. A wanted name matches any value name that contains it (case-
/// sensitive), and the first such value in enumeration order wins.
class Registry {
 public:
  Registry(platform::SystemInfo& system, ErrorReporter& report) : system_(system), report_(report) {}

  /// Whether the key holds a value whose name contains `name`; false when the key cannot be
  /// opened. Reports under "QuenbyModule.KeyValuePresent".
  bool KeyValuePresent(platform::RegistryRoot root, const std::string& path, const std::string& name);
  /// That value as text (strings without their NUL, numbers in decimal); empty when absent.
  /// Reports under "QuenbyModule.GetKeyValue".
  std::string GetKeyValue(platform::RegistryRoot root, const std::string& path, const std::string& name);

 private:
  platform::SystemInfo& system_;
  ErrorReporter& report_;
};

}  // namespace bridge::common
