#include "hrd/HrdLink.h"

#include "common/ErrorTrap.h"
#include "hrd/HrdInterface.h"

namespace bridge::hrd {

bool HrdLink::Link(common::LinkBox& box, const char* item, bool* denied) {
  common::Ignore([&] { box.SetLinkTopic(kHrdLinkTopic); });
  common::Ignore([&] { box.SetLinkItem(item); });
  try {
    box.SetLinkMode(common::LinkMode::Automatic);
  } catch (const common::Failure& failure) {
    const bool refused = failure.Code() == static_cast<std::int32_t>(common::RunError::PermissionDenied);
    if (denied) *denied = refused;
    return !refused && failure.Code() != static_cast<std::int32_t>(common::RunError::DdeNoResponse);
  } catch (...) {
  }
  return true;
}

void HrdLink::EstablishHRDLink() {
  traffic_.Run([this] {
    // The five links share one conversation: when no server answers the first initiate,
    // four more initiates, each a broadcast to every window on the desktop, would only
    // fail the same way.
    bool denied = false;
    const bool answered = Link(boxes_.HRDFreq, kItemHertz, &denied);
    outOfReach_ = !answered && denied;
    if (!answered) return;
    Link(boxes_.HRDAltFreq, kItemHertzB);
    Link(boxes_.HRDMode, kItemMode);
    Link(boxes_.HRDTX, kItemTx);
    Link(boxes_.HRDButton, kItemButtonStatus);
  });
}

}  // namespace bridge::hrd
