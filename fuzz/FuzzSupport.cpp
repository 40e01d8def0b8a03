#include "FuzzSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace bridge::fuzz {
namespace {

/// Turns every failed expectation reported outside a running test into an abort.
class AbortOnFailure : public ::testing::EmptyTestEventListener {
 public:
  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    if (result.failed()) Fail(std::string("expectation failed: ") + result.message());
  }
};

}  // namespace

void Fail(std::string_view what) {
  std::fprintf(stderr, "\n*** fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
  std::fflush(stderr);
  std::abort();
}

std::string Quote(std::string_view text) {
  constexpr std::size_t kShown = 200;
  std::string quoted = "\"";
  for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      quoted.push_back(static_cast<char>(c));
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      quoted += escaped;
    }
  }
  quoted += "\"";
  if (text.size() > kShown) quoted += "... (" + std::to_string(text.size()) + " characters)";
  return quoted;
}

void AbortOnTestFailures() { ::testing::UnitTest::GetInstance()->listeners().Append(new AbortOnFailure); }

common::NumberFormat FormatFor(std::uint8_t choice) {
  static const std::array<common::NumberFormat, kFormatCount> kFormats = {{
      {".", ","},
      {",", "."},
      {",", " "},
      {",", "\xA0"},
      {".", "'"},
  }};
  return kFormats[choice % kFormatCount];
}

void RecordingCommon::ReportError(std::int32_t code, std::string_view name) noexcept {
  try {
    reports.push_back({code, std::string(name)});
  } catch (...) {
    Fail("out of memory recording a report");
  }
}

}  // namespace bridge::fuzz
