#include "common/Registry.h"

#include <cstdint>
#include <cstring>
#include <optional>

namespace bridge::common {
namespace {

// Value names are read into a 260-character buffer filled with spaces, and the wanted
// name is looked for anywhere in the whole buffer.
constexpr std::size_t kNameBuffer = 260;

bool NameBufferHolds(const std::string& valueName, const std::string& wanted) {
  std::string buffer(kNameBuffer, ' ');
  const std::size_t length = std::min(valueName.size(), kNameBuffer - 1);
  buffer.replace(0, length, valueName.substr(0, length));
  buffer[length] = '\0';
  return buffer.find(wanted) != std::string::npos;
}

/// The first value whose name buffer holds `wanted`; the enumeration's closing call, which
/// finds no value, leaves a buffer of spaces that is tested too.
std::optional<platform::RegistryValue> FindValue(platform::SystemInfo& system, platform::RegistryRoot root,
                                                 const std::string& path, const std::string& wanted) {
  const auto values = system.EnumRegistryValues(root, path);
  if (!values) return std::nullopt;
  for (const platform::RegistryValue& value : *values)
    if (NameBufferHolds(value.name, wanted)) return value;
  if (std::string(kNameBuffer, ' ').find(wanted) != std::string::npos) return platform::RegistryValue{};
  return std::nullopt;
}

std::string Head(const std::string& data, std::size_t drop) {
  return data.size() > drop ? data.substr(0, data.size() - drop) : std::string();
}

}  // namespace

bool Registry::KeyValuePresent(platform::RegistryRoot root, const std::string& path, const std::string& name) {
  return TrapOr(report_, "QuenbyModule.KeyValuePresent", false,
                [&] { return FindValue(system_, root, path, name).has_value(); });
}

std::string Registry::GetKeyValue(platform::RegistryRoot root, const std::string& path, const std::string& name) {
  return TrapOr(report_, "QuenbyModule.GetKeyValue", std::string(), [&]() -> std::string {
    const auto value = FindValue(system_, root, path, name);
    if (!value) return {};
    switch (value->type) {
      case 1:  // string
      case 2:  // expandable string
        return Head(value->data, 1);
      case 4: {  // 32-bit number
        std::int32_t number = 0;
        std::memcpy(&number, value->data.data(), std::min(value->data.size(), sizeof number));
        return std::to_string(number);
      }
      case 7:  // multi-string: the strings stay separated by NULs
        return Head(value->data, 2);
      case 3:  // binary
        return value->data;
      default:
        return {};
    }
  });
}

}  // namespace bridge::common
