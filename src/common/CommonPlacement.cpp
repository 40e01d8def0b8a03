// Saving and restoring a form's position, size and window state.
#include "common/Common.h"

namespace bridge::common {

void Common::RestoreWindowPosition(platform::Window& /*form*/) {
  // NOT YET BUILT: the stored placement; until then the form keeps its designed one.
}

void Common::SaveWindowPosition(platform::Window& /*form*/) {
  // NOT YET BUILT: the placement is not stored yet.
}

}  // namespace bridge::common
