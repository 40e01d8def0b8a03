// What the rest of the program needs from "the radio": its state coming in, commands going
// out. The rig-control link (HRD) implements it; the forms know nothing else of it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/NumberFormat.h"

namespace bridge::radio {

/// The radio's values as the link reports them: frequencies as hertz text, the mode by the
/// rig-control program's name for it, the transmitter "on" or "off", the button status.
enum class Value { Frequency, AltFrequency, Mode, Transmit, ButtonStatus };

/// The radio behind its rig-control link. Every operation reports nothing and never throws:
/// a link that is down drops commands silently.
class Radio {
 public:
  virtual ~Radio() = default;

  /// Opens the links to the rig-control program; a step that fails is skipped.
  virtual void Link() = 0;
  /// Whether the rig-control program can be reached right now.
  virtual bool Linked() = 0;
  /// Whether the last attempt to link found no rig-control program while another program
  /// refused to be asked: one running at a higher integrity level (as administrator), which
  /// may be the rig-control program itself, out of reach.
  virtual bool OutOfReach() const = 0;
  /// Ends every link: no value arrives afterwards until the next `Link`.
  virtual void Unlink() = 0;
  /// Runs `listener` with every value the link brings, also when a link opens; one listener.
  virtual void OnValue(std::function<void(Value, const std::string&)> listener) = 0;
  /// The latest value the link brought, or empty.
  virtual std::string Current(Value value) const = 0;

  virtual void SetFreq(double hertz, const base::NumberFormat& format) = 0;
  virtual void SetAltFreq(double hertz, const base::NumberFormat& format) = 0;
  virtual void SetMode(const std::string& mode) = 0;
  virtual void SetTransmit(bool on) = 0;
  /// Runs `listener` when keying (`on`) or unkeying did not reach the radio although its
  /// link was up: refused, unanswered, or the link lost meanwhile; with the error's code.
  /// One listener; null removes it.
  virtual void OnTransmitFailed(std::function<void(bool on, std::int32_t code)> listener) = 0;
  virtual void SetSplit(bool on) = 0;
  virtual void SetDual(bool on) = 0;

  /// Whether a command is under way: one sent now would have to wait its turn.
  virtual bool Busy() const = 0;
  /// Runs `listener` after the last waiting command has gone out; one listener.
  virtual void OnIdle(std::function<void()> listener) = 0;
};

}  // namespace bridge::radio
