// The generated inputs: number texts of every kind, doubles and date values, the same for a seed.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "base/NumberFormat.h"

namespace conversions {

using bridge::base::NumberFormat;

/// A generated text with the kind of input it stands for.
struct TextInput {
  std::string kind;
  std::string text;
};

/// A seeded generator of inputs; the same seed gives the same inputs.
class Generator {
 public:
  explicit Generator(std::uint32_t seed) : random_(seed) {}

  int Below(int n) { return static_cast<int>(random_() % static_cast<std::uint32_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  std::string Digits(int count, bool leadingNonZero) {
    std::string digits;
    for (int i = 0; i < count; ++i) digits.push_back(static_cast<char>('0' + (i == 0 && leadingNonZero ? 1 + Below(9) : Below(10))));
    return digits;
  }
  static std::string Group(const std::string& digits, const std::string& separator) {
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
      if (i != 0 && (digits.size() - i) % 3 == 0) out += separator;
      out.push_back(digits[i]);
    }
    return out;
  }
  double Uniform(double low, double high) { return std::uniform_real_distribution<double>(low, high)(random_); }
  std::uint64_t Bits() { return (static_cast<std::uint64_t>(random_()) << 32) | random_(); }

  /// Number texts of every kind, written for `format`, the other regions' separators among them.
  std::vector<TextInput> NumberTexts(const NumberFormat& format, int count);

  /// Doubles for the number-to-text conversions, with the kind each stands for.
  std::vector<std::pair<std::string, double>> Doubles(int count);

 private:
  std::mt19937 random_;
};

}  // namespace conversions
