// The soak client's commands: a seeded random mix of every EXECUTE the suite's programs send
// the bridge, with the answer each must get. Portable: no Windows here, so the mix is
// checked natively against the bridge's own dispatcher.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace tools::suite_client {

/// One EXECUTE string and whether the bridge must accept it (ACK) or refuse it (NACK).
struct SoakCommand {
  std::string text;
  bool accepted = true;
  std::string kind;  // what sort of command it is, for the counts: "qsy", "invalid", ...
};

// Draws commands: frequency, split-frequency, frequency-and-mode and mode requests, split
// and dual watch on and off, transmit and receive, the words that do nothing, the window
// commands that leave the window in place (iconify, activate, resetwindows), the notices the
// bridge sends itself ("000start", "000stop"), and malformed ones. Never "shutdown".
class SoakMix {
 public:
  explicit SoakMix(std::uint32_t seed);

  SoakCommand Next();

  /// The kinds Next can give, each once.
  static std::vector<std::string> Kinds();

  /// A whole number in [low, high].
  std::uint32_t Below(std::uint32_t low, std::uint32_t high);

 private:
  std::string Frequency();  // kilohertz, 0 to 3 decimals, full-stop decimal separator
  std::string Mode();       // a mode as the suite sends it, in mixed case

  std::mt19937 random_;
};

/// The three-digit length prefix and the word, as the suite writes its commands: "003qsy".
std::string Prefixed(const std::string& word, const std::string& parameter);

}  // namespace tools::suite_client
