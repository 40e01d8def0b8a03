// The five hot links to HRD: opening them, and whether HRD is linked.
#pragma once

#include <array>

#include "common/LinkBox.h"
#include "hrd/HrdTraffic.h"

namespace bridge::hrd {

/// The main window's HRD link boxes, in the order they are linked.
struct HrdLinkBoxes {
  common::LinkBox& HRDFreq;
  common::LinkBox& HRDAltFreq;
  common::LinkBox& HRDMode;
  common::LinkBox& HRDTX;
  common::LinkBox& HRDButton;
};

/// Opens the links to HRD, box by box.
class HrdLink {
 public:
  HrdLink(const HrdLinkBoxes& boxes, HrdTraffic& traffic) : boxes_(boxes), traffic_(traffic) {}

  /// Sets topic, item and automatic mode on each box in turn; every step that fails is
  /// skipped silently, and when HRD does not answer at all the attempt ends there. Waits
  /// its turn behind an exchange with HRD that is under way.
  void EstablishHRDLink();
  /// HRD counts as linked exactly when the frequency box is linked.
  bool Linked() { return boxes_.HRDFreq.Mode() == common::LinkMode::Automatic; }
  /// Whether the last attempt found no HRD while a program refused to be asked: one at a
  /// higher integrity level (run as administrator), which may be HRD out of reach.
  bool OutOfReach() const { return outOfReach_; }

  /// Sets the box's link to HRD; failures are ignored. False when no server answered;
  /// `denied`, when given, then tells whether a program refused to be asked.
  static bool Link(common::LinkBox& box, const char* item, bool* denied = nullptr);

 private:
  HrdLinkBoxes boxes_;
  HrdTraffic& traffic_;
  bool outOfReach_ = false;
};

}  // namespace bridge::hrd
