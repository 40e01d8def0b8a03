#include "hrd/HrdSenders.h"

#include "common/ErrorTrap.h"
#include "hrd/HrdInterface.h"

namespace bridge::hrd {

void HrdSenders::Send(common::LinkBox& box, const char* item, std::string command,
                      std::function<void(std::int32_t code)> failed) {
  traffic_.Run([this, &box, item, command = std::move(command), failed = std::move(failed)] {
    // While HRD is away the command is dropped at once. Opening a link here would broadcast
    // an initiate to every window, the waiting client's among them: a client that waits for
    // its answer without serving sent messages would stall the broadcast, and the answer,
    // for seconds. The supervision links again as soon as HRD is back.
    if (boxes_.HRDFreq.Mode() != common::LinkMode::Automatic) return;
    HrdLink::Link(box, item);
    try {
      box.LinkExecute(command);
    } catch (...) {
      if (failed) common::Ignore([&] { failed(common::CodeOf(std::current_exception())); });
    }
  });
}

void HrdSenders::SetHRDFreq(double theFreq, const common::NumberFormat& format) {
  common::Ignore([&] { Send(boxes_.HRDFreq, kItemHertz, kCommandFrequencyA + common::NumberToText(theFreq, format)); });
}

void HrdSenders::SetHRDAltFreq(double theFreq, const common::NumberFormat& format) {
  // VFO B is tuned over the VFO A frequency link: only the command word differs.
  common::Ignore([&] { Send(boxes_.HRDFreq, kItemHertz, kCommandFrequencyB + common::NumberToText(theFreq, format)); });
}

void HrdSenders::SetHRDMode(const std::string& theMode) {
  Send(boxes_.HRDMode, kItemMode, kCommandMode + theMode);
}

void HrdSenders::SetHRDTX(bool transmit) {
  Send(boxes_.HRDTX, kItemTx, transmit ? kCommandTxOn : kCommandTxOff, [this, transmit](std::int32_t code) {
    if (transmitFailed_) transmitFailed_(transmit, code);
  });
}

void HrdSenders::SetHRDSplit(bool theValue) {
  Send(boxes_.HRDButton, kItemButtonStatus, theValue ? kCommandSplitOn : kCommandSplitOff);
}

void HrdSenders::SetHRDDual(bool theValue) {
  Send(boxes_.HRDButton, kItemButtonStatus, theValue ? kCommandDualOn : kCommandDualOff);
}

}  // namespace bridge::hrd
