// What the fuzz targets share: failing loudly on a wrong result, the regional formats, and
// the common services on the in-memory platform with their reports recorded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Common.h"
#include "common/LocaleInfo.h"
#include "common/UTC.h"
#include "platform/sim/FakePlatform.h"

namespace bridge::fuzz {

/// Prints `what` and aborts: libFuzzer keeps the input that led here as a crash.
[[noreturn]] void Fail(std::string_view what);

/// Fails with the message that `message()` builds when `condition` does not hold.
template <typename Message>
void Check(bool condition, Message&& message) {
  if (!condition) Fail(std::forward<Message>(message)());
}

/// `text` quoted for a message, control and non-ASCII bytes escaped, long texts cut.
std::string Quote(std::string_view text);

/// Makes a failed expectation of the fakes (a control used after its form was destroyed)
/// abort the run, as it fails a unit test. Call once, before the first input.
void AbortOnTestFailures();

/// The regional number formats the fuzzers choose from: decimal point with comma grouping,
/// decimal comma with full-stop, blank and no-break-space grouping, and the Swiss apostrophe.
inline constexpr std::size_t kFormatCount = 5;
common::NumberFormat FormatFor(std::uint8_t choice);

/// One report of a trap: the error number and the reporting name.
struct Report {
  std::int32_t code;
  std::string name;
  bool operator==(const Report&) const = default;
};

/// The `Common` module recording its reports instead of logging them.
class RecordingCommon : public common::Common {
 public:
  using Common::Common;
  void ReportError(std::int32_t code, std::string_view name) noexcept override;
  std::vector<Report> reports;
};

/// The common services on the in-memory platform, as the program builds them.
struct CommonOnFakes {
  platform::sim::FakePlatform fake;
  platform::Platform platform = fake.Get();
  common::UTC utc{fake.clock};
  // The common module and the locale getters refer to each other; neither uses the other
  // while it is being built.
  RecordingCommon common{platform, utc, locale};
  common::LocaleInfo locale{fake.system, common};
};

}  // namespace bridge::fuzz
