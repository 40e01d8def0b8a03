// Locale questions of the start-up environment report.
#pragma once

#include <cstdint>
#include <string>

#include "common/ErrorTrap.h"
#include "platform/SystemInfo.h"

namespace bridge::common {

/// The locale getters; the locale identifier and the three texts are never assigned, so
/// they keep their initial values for the whole run.
class LocaleInfo {
 public:
  LocaleInfo(platform::SystemInfo& system, ErrorReporter& report) : system_(system), report_(report) {}

  /// Reports under "LocaleInfo.GetLocaleID"; returns 0 on failure.
  std::int32_t GetLocaleID();
  /// English language name, or "?" while the locale identifier is 0.
  std::string GetLocaleLanguage();
  /// English country name, or "?" while the locale identifier is 0.
  std::string GetLocaleCountry();
  /// OEM code page, or "?" while the locale identifier is 0.
  std::string GetLocaleOEMCodePage();
  std::string GetLocaleANSICodePage();
  std::string GetLocaleDecimalSeparator();
  std::string GetLocaleThousandSeparator();
  /// One locale value without its terminating NUL; empty when the system has none.
  /// Reports under "LocaleInfo.GetUserLocaleInfo".
  std::string GetUserLocaleInfo(std::int32_t localeId, std::int32_t infoType);

 private:
  std::string NamedValue(const char* reportingName, std::int32_t infoType);

  platform::SystemInfo& system_;
  ErrorReporter& report_;
  std::int32_t LocaleID = 0;
  std::string ANSICodePage;
  std::string DecimalSeparator;
  std::string ThousandSeparator;
};

}  // namespace bridge::common
