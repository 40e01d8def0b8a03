// The typed getters of the per-user settings store.
#include "common/Common.h"

namespace bridge::common {

bool Common::GetBooleanSetting(const std::string& /*appName*/, const std::string& /*sectionName*/,
                               const std::string& /*key*/, const std::string& defaultValue) {
  // NOT YET BUILT: the stored value; until then the default applies.
  return TrapOr(*this, "Common.GetBooleanSetting", false,
                [&] { return ToBoolean(defaultValue, Format()); });
}

}  // namespace bridge::common
