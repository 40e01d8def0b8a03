// The per-user settings store: application, section and key, each value a text.
#pragma once

#include <string>

namespace bridge::platform {

/// Per-user settings; names are compared without regard to letter case.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  /// The stored text, or `defaultValue` when the key is absent. Throws Failure on error.
  virtual std::string Get(const std::string& app, const std::string& section,
                          const std::string& key, const std::string& defaultValue) = 0;
  /// Creates or replaces the value. Throws Failure on error.
  virtual void Save(const std::string& app, const std::string& section,
                    const std::string& key, const std::string& value) = 0;
};

}  // namespace bridge::platform
