// The HRD side of the program, one owner for all of it: the exchanges with HRD one at a
// time, the five link boxes, opening the links, the senders, and re-linking when HRD
// registers its service. Built before the forms that use it, torn down after them.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "common/LinkBox.h"
#include "hrd/HrdLink.h"
#include "hrd/HrdSenders.h"
#include "hrd/HrdTraffic.h"
#include "platform/Controls.h"
#include "platform/Dde.h"
#include "radio/Radio.h"

namespace bridge::hrd {

/// The radio as HRD serves it. Reports nothing and never throws (see `radio::Radio`).
class HrdRadio : public radio::Radio {
 public:
  HrdRadio(platform::Ui& ui, platform::DdeClient& client);
  ~HrdRadio() override;
  HrdRadio(const HrdRadio&) = delete;
  HrdRadio& operator=(const HrdRadio&) = delete;

  void Link() override;
  bool Linked() override { return link_.Linked(); }
  bool OutOfReach() const override { return link_.OutOfReach(); }
  void Unlink() override;
  void OnValue(std::function<void(radio::Value, const std::string&)> listener) override;
  std::string Current(radio::Value value) const override;

  void SetFreq(double hertz, const base::NumberFormat& format) override;
  void SetAltFreq(double hertz, const base::NumberFormat& format) override;
  void SetMode(const std::string& mode) override;
  void SetTransmit(bool on) override;
  void OnTransmitFailed(std::function<void(bool on, std::int32_t code)> listener) override {
    senders_.OnTransmitFailed(std::move(listener));
  }
  void SetSplit(bool on) override;
  void SetDual(bool on) override;

  bool Busy() const override { return traffic_.Busy(); }
  void OnIdle(std::function<void()> listener) override { traffic_.OnIdle(std::move(listener)); }

 private:
  /// A box of HRD's bringing a value; the value goes to the listener.
  void Deliver(radio::Value value, const std::string& text);
  /// HRD registered its service: link at once instead of at the next supervision tick.
  void RelinkTimer_Timer();

  HrdTraffic traffic_;
  std::array<std::string, 5> current_;
  std::function<void(radio::Value, const std::string&)> listener_;
  // The link boxes, named as HRD's values arrive in them.
  common::LinkBox HRDFreq;
  common::LinkBox HRDAltFreq;
  common::LinkBox HRDMode;
  common::LinkBox HRDTX;
  common::LinkBox HRDButton;
  HrdLinkBoxes boxes_;
  HrdLink link_;
  HrdSenders senders_;
  std::unique_ptr<platform::Timer> relinkTimer_;
};

}  // namespace bridge::hrd
