// The typed getters of the per-user settings store.
#include <string>

#include "common/Common.h"

namespace bridge::common {

template <typename T, typename Convert, typename Text>
T Common::GetSetting(const char* logPrefix, const char* errorPrefix, const std::string& appName,
                     const std::string& sectionName, const std::string& key, const std::string& defaultValue,
                     Convert convert, Text text) {
  std::string theSetting = "~uninitialized~";
  try {
    theSetting = platform_.settings.Get(appName, sectionName, key, defaultValue);
  } catch (const Failure& failure) {
    if (failure.Code() > 0) theSetting = defaultValue;
  } catch (...) {
    theSetting = defaultValue;
  }

  T result{};
  try {
    result = convert(defaultValue);
  } catch (...) {
    ReportError(CodeOf(std::current_exception()), std::string(errorPrefix) + sectionName + ", Key = " + key +
                                                      ", theSetting = " + theSetting +
                                                      ", DefaultValue = " + defaultValue);
    return T{};
  }
  // A stored value that does not convert leaves the converted default.
  Ignore([&] { result = convert(theSetting); });

  if (GetDebug())
    Ignore([&] { WriteLogEntry(logPrefix + sectionName + ", Key = " + key + ", Result = " + text(result)); });
  return result;
}

std::int16_t Common::GetIntegerSetting(const std::string& appName, const std::string& sectionName,
                                       const std::string& key, const std::string& defaultValue) {
  return GetSetting<std::int16_t>(
      "GetIntegerSetting, Section = ", "Common.GetIntegerSetting, SectionName = ", appName, sectionName, key,
      defaultValue, [&](const std::string& text) { return ToInteger16(text, Format()); },
      [](std::int16_t value) { return std::to_string(value); });
}

std::int32_t Common::GetLongSetting(const std::string& appName, const std::string& sectionName,
                                    const std::string& key, const std::string& defaultValue) {
  return GetSetting<std::int32_t>(
      "GetLongSetting,    Section = ", "Common.GetLongSetting, SectionName = ", appName, sectionName, key,
      defaultValue, [&](const std::string& text) { return ToInteger32(text, Format()); },
      [](std::int32_t value) { return std::to_string(value); });
}

bool Common::GetBooleanSetting(const std::string& appName, const std::string& sectionName,
                               const std::string& key, const std::string& defaultValue) {
  return GetSetting<bool>(
      "GetBooleanSetting, Section = ", "Common.GetBooleanSetting, SectionName = ", appName, sectionName, key,
      defaultValue, [&](const std::string& text) { return ToBoolean(text, Format()); },
      [](bool value) { return BooleanText(value); });
}

}  // namespace bridge::common
