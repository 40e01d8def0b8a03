// Fuzzes the tagged-record parser: ParseRecord, then GetToken at every index and beyond,
// against a model of the record format written apart from the parser.
//
// Input: one flags byte, then the record. Flags: bits 0-2 pick the regional format
// (FormatFor), bit 3 expands runs: byte 0x01, a 16-bit little-endian count and one character
// stand for that many of the character, so that short inputs reach records far past the
// 16-bit position limit.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "base/Text.h"
#include "common/Conversions.h"
#include "server/DDECommon.h"

namespace bridge::fuzz {
namespace {

constexpr std::uint8_t kExpandRuns = 0x08;
constexpr char kRunMark = '\x01';
// Positions in a record are 16-bit counts of characters from 1.
constexpr std::int64_t kLastPosition = 32767;
constexpr std::int64_t kTokenSlots = 100;

struct ExpectedParse {
  std::vector<server::Token> tokens;  // at most kTokenSlots
  std::int64_t count = 0;             // kTokenSlots + 1 once the table overflowed
  std::optional<std::int32_t> report;
};

std::string Expand(const std::uint8_t* data, std::size_t size) {
  std::string record;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == kRunMark && i + 3 < size) {
      const std::size_t count = data[i + 1] | static_cast<std::size_t>(data[i + 2]) << 8;
      record.append(count, static_cast<char>(data[i + 3]));
      i += 3;
      continue;
    }
    record.push_back(static_cast<char>(data[i]));
  }
  return record;
}

/// The declared length of a field: the length text as a 16-bit integer in the regional
/// format, 0 when it is no such number. Plain digits are read here; anything else is left
/// to the conversion, which has its own fuzzer.
std::int64_t DeclaredLength(const std::string& text, const common::NumberFormat& format) {
  if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
    std::int64_t value = 0;
    for (char c : text) value = std::min<std::int64_t>(value * 10 + (c - '0'), kLastPosition + 1);
    return value > kLastPosition ? 0 : value;
  }
  try {
    return common::ToInteger16(text, format);
  } catch (const common::Failure&) {
    return 0;
  }
}

/// The record format, scanned by absolute indexes into `record`. The text still to scan is
/// always a tail of the record, starting at `base`; positions are counted from there.
ExpectedParse Model(const std::string& record, const common::NumberFormat& format) {
  ExpectedParse expected;
  const auto size = static_cast<std::int64_t>(record.size());
  std::int64_t base = 0;
  while (base < size) {
    const std::size_t open = record.find('<', static_cast<std::size_t>(base));
    if (open == std::string::npos) break;
    if (static_cast<std::int64_t>(open) - base + 1 > kLastPosition) {
      expected.report = 6;
      break;
    }
    if (base::ToLower(record.substr(open, 5)) == "<eor>") break;
    const std::size_t close = record.find('>', open + 1);
    if (close == std::string::npos) break;
    const std::int64_t closePosition = static_cast<std::int64_t>(close) - base + 1;
    if (closePosition > kLastPosition) {
      expected.report = 6;
      break;
    }
    const std::string tag = record.substr(open + 1, close - open - 1);
    const std::size_t colon = tag.find(':');
    if (colon == std::string::npos) break;
    const std::int64_t length = DeclaredLength(tag.substr(colon + 1), format);

    if (++expected.count > kTokenSlots) {
      expected.report = 9;
      break;
    }
    expected.tokens.push_back(
        {tag.substr(0, colon), length > 0 ? record.substr(close + 1, static_cast<std::size_t>(length)) : ""});

    // The scan resumes after the value, at a position counted within the text still to scan.
    const std::int64_t next = closePosition + length + 1;
    const std::int64_t remaining = (size - base) - closePosition - length;
    if (next < 1 || next > kLastPosition || remaining < 0) break;
    base += next - 1;
  }
  return expected;
}

/// The state after every parse of the run: the common module, the parser, their fakes.
struct Parser {
  CommonOnFakes services;
  server::DDECommon ddeCommon{services.fake.ui, services.common};
};

Parser& TheParser() {
  static Parser parser;
  return parser;
}

void CheckToken(Parser& parser, std::int16_t index, const ExpectedParse& expected, const std::string& record) {
  auto& reports = parser.services.common.reports;
  reports.clear();
  const server::Token token = parser.ddeCommon.GetToken(index);
  server::Token wanted;
  std::vector<Report> wantedReports;
  if (index <= expected.count) {
    if (index < 1 || index > kTokenSlots)
      wantedReports.push_back({9, "DDECommon.GetToken"});
    else
      wanted = expected.tokens[static_cast<std::size_t>(index - 1)];
  }
  Check(token.name == wanted.name && token.value == wanted.value, [&] {
    return "GetToken(" + std::to_string(index) + ") of " + Quote(record) + " gave (" + Quote(token.name) + ", " +
           Quote(token.value) + "), expected (" + Quote(wanted.name) + ", " + Quote(wanted.value) + ")";
  });
  Check(reports == wantedReports, [&] {
    return "GetToken(" + std::to_string(index) + ") of " + Quote(record) + " reported " +
           std::to_string(reports.size()) + " time(s), expected " + std::to_string(wantedReports.size());
  });
}

}  // namespace
}  // namespace bridge::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  bridge::fuzz::AbortOnTestFailures();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace bridge::fuzz;
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  const std::string record =
      flags & kExpandRuns ? Expand(data + 1, size - 1) : std::string(reinterpret_cast<const char*>(data) + 1, size - 1);
  Parser& parser = TheParser();
  const bridge::common::NumberFormat format = FormatFor(flags & 0x07);
  parser.services.fake.system.numberFormat = format;

  // A full table first: what it leaves in the slots must never show through.
  std::string full;
  for (int i = 0; i < kTokenSlots; ++i) full += "<old:1>" + std::string(1, static_cast<char>('A' + i % 26));
  parser.ddeCommon.ParseRecord(full);

  const ExpectedParse expected = Model(record, format);
  auto& reports = parser.services.common.reports;
  reports.clear();
  parser.ddeCommon.ParseRecord(record);
  std::vector<Report> wantedReports;
  if (expected.report) wantedReports.push_back({*expected.report, "DDECommon.ParseRecord"});
  Check(reports == wantedReports, [&] {
    std::string got;
    for (const Report& report : reports) got += " " + std::to_string(report.code) + " under " + report.name;
    return "ParseRecord(" + Quote(record) + ") reported:" + (got.empty() ? " nothing" : got) + "; expected " +
           (expected.report ? std::to_string(*expected.report) : std::string("nothing"));
  });

  std::vector<int> indexes = {INT16_MIN, -101, 1000, INT16_MAX};
  for (int index = -3; index <= kTokenSlots + 5; ++index) indexes.push_back(index);
  for (int index : indexes) CheckToken(parser, static_cast<std::int16_t>(index), expected, record);
  return 0;
}
