#include "hrd/HrdRadio.h"

#include "base/Failure.h"
#include "base/Text.h"
#include "hrd/HrdInterface.h"

namespace bridge::hrd {

using radio::Value;

HrdRadio::HrdRadio(platform::Ui& ui, platform::DdeClient& client)
    : HRDFreq(client, [this](const std::string& text) { Deliver(Value::Frequency, text); }),
      HRDAltFreq(client, [this](const std::string& text) { Deliver(Value::AltFrequency, text); }),
      HRDMode(client, [this](const std::string& text) { Deliver(Value::Mode, text); }),
      HRDTX(client, [this](const std::string& text) { Deliver(Value::Transmit, text); }),
      HRDButton(client, [this](const std::string& text) { Deliver(Value::ButtonStatus, text); }),
      boxes_{HRDFreq, HRDAltFreq, HRDMode, HRDTX, HRDButton},
      link_(boxes_, traffic_),
      senders_(boxes_, traffic_) {
  // The DDE layer says when HRD registers its service; the link is then opened right after
  // the current event rather than at the next supervision tick, which stays the fallback.
  relinkTimer_ = ui.CreateTimer();
  relinkTimer_->SetInterval(1);
  relinkTimer_->OnTick([this] { RelinkTimer_Timer(); });
  base::Ignore([&] {
    client.OnServiceRegistered([this](const std::string& service) {
      if (base::EqualNoCase(service, kHrdService)) relinkTimer_->SetEnabled(true);
    });
  });
}

HrdRadio::~HrdRadio() { Unlink(); }

void HrdRadio::Link() { link_.EstablishHRDLink(); }

void HrdRadio::Unlink() {
  for (common::LinkBox* box : {&HRDFreq, &HRDAltFreq, &HRDMode, &HRDTX, &HRDButton})
    base::Ignore([&] { box->SetLinkMode(common::LinkMode::None); });
}

void HrdRadio::OnValue(std::function<void(Value, const std::string&)> listener) { listener_ = std::move(listener); }

std::string HrdRadio::Current(Value value) const { return current_[static_cast<std::size_t>(value)]; }

void HrdRadio::Deliver(Value value, const std::string& text) {
  current_[static_cast<std::size_t>(value)] = text;
  if (listener_) listener_(value, text);
}

void HrdRadio::RelinkTimer_Timer() {
  base::Ignore([&] {
    relinkTimer_->SetEnabled(false);
    if (!Linked()) Link();
  });
}

void HrdRadio::SetFreq(double hertz, const base::NumberFormat& format) { senders_.SetHRDFreq(hertz, format); }
void HrdRadio::SetAltFreq(double hertz, const base::NumberFormat& format) { senders_.SetHRDAltFreq(hertz, format); }
void HrdRadio::SetMode(const std::string& mode) { senders_.SetHRDMode(mode); }
void HrdRadio::SetTransmit(bool on) { senders_.SetHRDTX(on); }
void HrdRadio::SetSplit(bool on) { senders_.SetHRDSplit(on); }
void HrdRadio::SetDual(bool on) { senders_.SetHRDDual(on); }

}  // namespace bridge::hrd
