#include "common/LocaleInfo.h"

#include <vector>

namespace bridge::common {
namespace {

constexpr std::int32_t kLocaleEnglishLanguage = 0x1001;
constexpr std::int32_t kLocaleEnglishCountry = 0x1002;
constexpr std::int32_t kLocaleOemCodePage = 0x000B;

}  // namespace

std::int32_t LocaleInfo::GetLocaleID() {
  return TrapOr(report_, "LocaleInfo.GetLocaleID", std::int32_t{0}, [&] { return LocaleID; });
}

std::string LocaleInfo::NamedValue(const char* reportingName, std::int32_t infoType) {
  return TrapOr(report_, reportingName, std::string("?"), [&] {
    if (LocaleID == 0) return std::string("?");
    return GetUserLocaleInfo(LocaleID, infoType);
  });
}

std::string LocaleInfo::GetLocaleLanguage() {
  return NamedValue("LocaleInfo.GetLocaleLanguage", kLocaleEnglishLanguage);
}

std::string LocaleInfo::GetLocaleCountry() {
  return NamedValue("LocaleInfo.GetLocaleCountry", kLocaleEnglishCountry);
}

std::string LocaleInfo::GetLocaleOEMCodePage() {
  return NamedValue("LocaleInfo.GetLocaleOEMCodePage", kLocaleOemCodePage);
}

std::string LocaleInfo::GetLocaleANSICodePage() {
  return TrapOr(report_, "LocaleInfo.GetLocaleANSICodePage", std::string(), [&] { return ANSICodePage; });
}

std::string LocaleInfo::GetLocaleDecimalSeparator() {
  return TrapOr(report_, "LocaleInfo.GetLocaleDecimalSeparator", std::string(),
                [&] { return DecimalSeparator; });
}

std::string LocaleInfo::GetLocaleThousandSeparator() {
  return TrapOr(report_, "LocaleInfo.GetLocaleThousandSeparator", std::string(),
                [&] { return ThousandSeparator; });
}

std::string LocaleInfo::GetUserLocaleInfo(std::int32_t localeId, std::int32_t infoType) {
  return TrapOr(report_, "LocaleInfo.GetUserLocaleInfo", std::string(), [&] {
    const auto id = static_cast<std::uint32_t>(localeId);
    const auto type = static_cast<std::uint32_t>(infoType);
    const int needed = system_.QueryLocaleInfo(id, type, nullptr, 0);
    if (needed <= 0) return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(needed));
    const int written = system_.QueryLocaleInfo(id, type, buffer.data(), needed);
    if (written <= 0) return std::string();
    return std::string(buffer.data(), static_cast<std::size_t>(written - 1));
  });
}

}  // namespace bridge::common
