// The commands the bridge sends HRD: frequency, mode, transmit, split and dual watch.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/Conversions.h"
#include "hrd/HrdLink.h"
#include "hrd/HrdTraffic.h"

namespace bridge::hrd {

/// Fire-and-forget senders over the main window's HRD link boxes. Each sets its box's link
/// as the link supervision does (which opens that box's link if it is down while HRD is
/// linked) and sends one EXECUTE; HRD absent, refusing or slow is ignored, and nothing is
/// kept for later. Only a failed keying or unkeying is reported, to `OnTransmitFailed`.
class HrdSenders {
 public:
  HrdSenders(const HrdLinkBoxes& boxes, HrdTraffic& traffic) : boxes_(boxes), traffic_(traffic) {}

  void SetHRDFreq(double theFreq, const common::NumberFormat& format);
  void SetHRDAltFreq(double theFreq, const common::NumberFormat& format);
  void SetHRDMode(const std::string& theMode);
  void SetHRDTX(bool transmit);
  void SetHRDSplit(bool theValue);
  void SetHRDDual(bool theValue);
  /// Runs `listener` when keying or unkeying fails while HRD is linked.
  void OnTransmitFailed(std::function<void(bool on, std::int32_t code)> listener) {
    transmitFailed_ = std::move(listener);
  }

 private:
  /// Sends `command` over `box`; a failure of the EXECUTE goes to `failed`, if any.
  void Send(common::LinkBox& box, const char* item, std::string command,
            std::function<void(std::int32_t code)> failed = {});

  HrdLinkBoxes boxes_;
  HrdTraffic& traffic_;
  std::function<void(bool on, std::int32_t code)> transmitFailed_;
};

}  // namespace bridge::hrd
