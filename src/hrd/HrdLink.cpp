#include "hrd/HrdLink.h"

#include "common/ErrorTrap.h"
#include "hrd/HrdInterface.h"

namespace bridge::hrd {

void HrdLink::Link(common::LinkBox& box, const char* item) {
  common::Ignore([&] { box.SetLinkTopic(kHrdLinkTopic); });
  common::Ignore([&] { box.SetLinkItem(item); });
  common::Ignore([&] { box.SetLinkMode(common::LinkMode::Automatic); });
}

void HrdLink::EstablishHRDLink() {
  traffic_.Run([this] {
    Link(boxes_.HRDFreq, kItemHertz);
    Link(boxes_.HRDAltFreq, kItemHertzB);
    Link(boxes_.HRDMode, kItemMode);
    Link(boxes_.HRDTX, kItemTx);
    Link(boxes_.HRDButton, kItemButtonStatus);
  });
}

void HrdLink::HRDTimer_Timer() {
  if (Linked()) {
    noHrdLabel_.SetVisible(false);
    return;
  }
  EstablishHRDLink();
  // The flip happens whatever the new attempt gave: the label blinks while HRD is away.
  noHrdLabel_.SetVisible(!noHrdLabel_.Visible());
}

}  // namespace bridge::hrd
