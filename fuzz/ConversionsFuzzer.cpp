// Fuzzes the number and date conversions in every regional format the fuzzers know, with
// round trips and with the C library as the independent reference.
//
// Input: a format byte (FormatFor), a mode byte, then the data; the mode modulo 4 says what
// the data is. 0: text to convert, its first byte also picking a digit pattern for
// FormatNumber. 1: a double (eight bytes) to write as text. 2: a date value (eight bytes) to
// stamp. 3: a date and time (four bytes) for MakeDateValue and DayNumber.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include "FuzzSupport.h"
#include "base/Text.h"
#include "common/Conversions.h"

namespace bridge::fuzz {
namespace {

using common::NumberFormat;

/// `value` rounded to 15 significant digits, as the conversions keep numbers: from the exact
/// decimal expansion (767 significant digits at most), half away from zero.
double Round15(double value) {
  char exact[800];
  std::snprintf(exact, sizeof exact, "%.780e", std::fabs(value));
  std::string digits = std::string(1, exact[0]) + std::string(exact + 2, 14);
  int exponent = std::atoi(std::strchr(exact, 'e') + 1);
  if (exact[16] >= '5') {
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) {
      digits = "1" + digits.substr(1);
      ++exponent;
    } else {
      ++digits[i - 1];
    }
  }
  const std::string text = digits + "e" + std::to_string(exponent - 14);
  return std::copysign(std::strtod(text.c_str(), nullptr), value);
}

std::string Code(std::int32_t code) { return std::to_string(code); }

/// The number `text` is in C notation, when it has no grouping: the regional decimal
/// separator turned into a full stop. Nothing when the text has anything else.
std::optional<std::string> PlainCNotation(std::string_view text, const NumberFormat& format) {
  const std::string_view body = base::Trim(text.substr(0, text.find('\0')), base::kBlanks);
  std::string c;
  std::size_t at = 0;
  if (at < body.size() && (body[at] == '+' || body[at] == '-')) c.push_back(body[at++]);
  std::size_t digits = 0;
  while (at < body.size() && body[at] >= '0' && body[at] <= '9') c.push_back(body[at++]), ++digits;
  if (body.compare(at, format.decimal.size(), format.decimal) == 0) {
    c.push_back('.');
    at += format.decimal.size();
    while (at < body.size() && body[at] >= '0' && body[at] <= '9') c.push_back(body[at++]), ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (at < body.size() && (body[at] == 'e' || body[at] == 'E')) {
    c.push_back('e');
    ++at;
    if (at < body.size() && (body[at] == '+' || body[at] == '-')) c.push_back(body[at++]);
    std::size_t exponentDigits = 0;
    // Long exponents saturate in the conversion; the reference reads at most a few.
    while (at < body.size() && body[at] >= '0' && body[at] <= '9') c.push_back(body[at++]), ++exponentDigits;
    if (exponentDigits == 0 || exponentDigits > 6) return std::nullopt;
  }
  if (at != body.size()) return std::nullopt;
  return c;
}

/// NumberToText's promises for a finite value: the value at 15 significant digits, read
/// back as it was written, plain digits between 1e-4 and 1e15, no grouping.
void CheckNumberText(double value, const NumberFormat& format) {
  const std::string text = common::NumberToText(value, format);
  const double rounded = Round15(value);
  double back = 0;
  try {
    back = common::ToDouble(text, format);
  } catch (const common::Failure& failure) {
    // The largest doubles round up past the largest double at 15 digits: their text reads
    // back as an overflow, as it does in the runtime whose conversions these are.
    if (!std::isfinite(rounded) && failure.Code() == 6) return;
    Fail("NumberToText(" + std::to_string(value) + ") gave " + Quote(text) + ", which does not read back: error " +
         Code(failure.Code()));
  }
  Check(back == rounded, [&] {
    char shown[128];
    std::snprintf(shown, sizeof shown, "%.17g reads back as %.17g, not %.17g", value, back, rounded);
    return "NumberToText gave " + Quote(text) + ": " + shown;
  });
  Check(common::NumberToText(back, format) == text, [&] { return "NumberToText is not stable for " + Quote(text); });
  const double magnitude = std::fabs(rounded);
  const bool exponent = text.find('E') != std::string::npos;
  Check(exponent == (magnitude != 0 && (magnitude >= 1e15 || magnitude < 1e-4)),
        [&] { return "NumberToText gave " + Quote(text) + ": exponent form where it should not, or none where due"; });
  Check(format.thousands.empty() || format.thousands == format.decimal ||
            text.find(format.thousands) == std::string::npos,
        [&] { return "NumberToText grouped: " + Quote(text); });
  Check(text != "-0" && (text.empty() || text.back() != format.decimal.back()),
        [&] { return "NumberToText gave " + Quote(text); });
}

/// FormatNumber with `pattern`: within half a unit of the last decimal asked for (at 15
/// significant digits), digits where the pattern demands them, grouping only when asked.
void CheckFormatted(double value, const std::string& pattern, const NumberFormat& format) {
  const std::string text = common::FormatNumber(value, pattern, format);
  const std::size_t point = pattern.find('.');
  const int decimals = point == std::string::npos ? 0 : static_cast<int>(pattern.size() - point - 1);
  const double unit = std::pow(10.0, -decimals);
  auto shown = [&] {
    return "FormatNumber(" + std::to_string(value) + ", " + Quote(pattern) + ") gave " + Quote(text);
  };

  bool anyDigit = false;
  for (char c : text) anyDigit = anyDigit || (c >= '0' && c <= '9');
  double back = 0;
  if (anyDigit) {
    try {
      back = common::ToDouble(text, format);
    } catch (const common::Failure& failure) {
      if (!std::isfinite(Round15(value)) && failure.Code() == 6) return;  // as NumberToText's
      Fail(shown() + ", which does not read back: error " + Code(failure.Code()));
    }
  }
  Check(std::fabs(back - value) <= unit / 2 + std::fabs(value) * 1e-14,
        [&] { return shown() + ", which is not the value at that many decimals"; });
  // A negative value keeps its minus sign even when it rounds to zero; zero itself has none.
  Check((text.rfind('-', 0) == 0) == (value < 0), [&] { return shown() + ": a minus sign where the value has none, or none where it has"; });
  const bool hasPoint = text.find(format.decimal) != std::string::npos;
  Check(hasPoint == (point != std::string::npos) || format.decimal == format.thousands,
        [&] { return shown() + ": the decimal separator where the pattern has none, or none where it has"; });
  if (point != std::string::npos) {
    // Zeros after the point are always shown.
    const std::size_t zeros = pattern.find_last_of('0') > point && pattern.find_last_of('0') != std::string::npos
                                  ? pattern.find_last_of('0') - point
                                  : 0;
    const std::size_t shownDecimals = text.size() - text.find(format.decimal) - format.decimal.size();
    Check(shownDecimals >= zeros && shownDecimals <= static_cast<std::size_t>(decimals),
          [&] { return shown() + ": wrong number of decimals"; });
  }
}

void FuzzText(const std::string& text, std::uint8_t patternChoice, const NumberFormat& format) {
  double value = 0;
  std::int32_t failure = 0;
  try {
    value = common::ToDouble(text, format);
  } catch (const common::Failure& error) {
    failure = error.Code();
  }
  Check(failure == 0 || failure == 13 || failure == 6,
        [&] { return "ToDouble(" + Quote(text) + ") failed with error " + Code(failure); });
  Check(std::isfinite(value), [&] { return "ToDouble(" + Quote(text) + ") is not finite"; });

  // Without grouping the text is a C number: strtod reads it the same, up to overflow and
  // values too small to be normal.
  if (const std::optional<std::string> c = PlainCNotation(text, format)) {
    errno = 0;
    const double reference = std::strtod(c->c_str(), nullptr);
    if (std::isinf(reference)) {
      Check(failure == 6, [&] { return "ToDouble(" + Quote(text) + ") did not overflow"; });
    } else if (reference == 0 || std::fpclassify(reference) == FP_NORMAL) {
      Check(failure == 0 && value == reference, [&] {
        char shown[96];
        std::snprintf(shown, sizeof shown, "%.17g, failure %d; strtod gives %.17g", value, failure, reference);
        return "ToDouble(" + Quote(text) + ") gave " + shown;
      });
    }
  }

  // The integer conversions round half to even and fail with the same error or overflow.
  auto checkInteger = [&](auto convert, double low, double high, const char* name) {
    std::int32_t integerFailure = 0;
    double result = 0;
    try {
      result = static_cast<double>(convert(text, format));
    } catch (const common::Failure& error) {
      integerFailure = error.Code();
    }
    if (failure != 0) {
      Check(integerFailure == failure, [&] { return std::string(name) + "(" + Quote(text) + ") failed differently"; });
      return;
    }
    const double even = std::nearbyint(value);  // the default rounding mode: half to even
    if (even < low || even > high) {
      Check(integerFailure == 6, [&] { return std::string(name) + "(" + Quote(text) + ") did not overflow"; });
    } else {
      Check(integerFailure == 0 && result == even, [&] {
        return std::string(name) + "(" + Quote(text) + ") gave " + std::to_string(result) + ", error " +
               Code(integerFailure);
      });
    }
  };
  checkInteger(common::ToInteger16, -32768.0, 32767.0, "ToInteger16");
  checkInteger(common::ToInteger32, -2147483648.0, 2147483647.0, "ToInteger32");

  // The conversions read up to the first NUL, as the runtime does.
  const std::string_view word = base::Trim(std::string_view(text).substr(0, text.find('\0')), base::kBlanks);
  if (!base::EqualNoCase(word, "true") && !base::EqualNoCase(word, "false")) {
    std::int32_t booleanFailure = 0;
    bool result = false;
    try {
      result = common::ToBoolean(text, format);
    } catch (const common::Failure& error) {
      booleanFailure = error.Code();
    }
    Check(booleanFailure == failure && (failure != 0 || result == (value != 0)),
          [&] { return "ToBoolean(" + Quote(text) + ") does not follow the number"; });
  }

  if (failure != 0) return;
  CheckNumberText(value, format);
  static const char* const kPatterns[] = {"",
                                          "0",
                                          "#",
                                          "0.000",
                                          "###,###.000",
                                          "#,##0.00",
                                          "#.#",
                                          "0.##########",
                                          "00000",
                                          "#,#",
                                          ".0",
                                          "#,###,###,##0.0####"};
  const std::string pattern = kPatterns[patternChoice % std::size(kPatterns)];
  if (pattern.empty()) {
    Check(common::FormatNumber(value, pattern, format) == common::NumberToText(value, format),
          [&] { return "FormatNumber without a pattern differs from NumberToText"; });
  } else {
    CheckFormatted(value, pattern, format);
  }
}

void FuzzDouble(double value, const NumberFormat& format) {
  if (!std::isfinite(value)) {
    std::int32_t failure = 0;
    try {
      common::NumberToText(value, format);
    } catch (const common::Failure& error) {
      failure = error.Code();
    }
    Check(failure == 6, [&] { return std::string("NumberToText of a value that is not finite did not overflow"); });
    return;
  }
  CheckNumberText(value, format);
  CheckFormatted(value, "###,###.000", format);
}

/// A date value as seconds on one time line: the whole part counts days, the fraction counts
/// the time of day forwards even before the epoch.
double Seconds(double dateValue) {
  const double whole = std::trunc(dateValue);
  return whole * 86400 + std::fabs(dateValue - whole) * 86400;
}

void FuzzTimeStamp(double value) {
  std::string stamp;
  std::int32_t failure = 0;
  try {
    stamp = common::FormatTimeStamp(value);
  } catch (const common::Failure& error) {
    failure = error.Code();
  }
  // 1 January 100 to 31 December 9999, whole days.
  const bool inRange = std::isfinite(value) && value > -657435.0 && value < 2958466.0;
  if (failure == 6) {
    Check(!inRange || Seconds(value) > 2958465.0 * 86400 + 86399.5,
          [&] { return "FormatTimeStamp(" + std::to_string(value) + ") overflowed inside the date range"; });
    return;
  }
  Check(failure == 0 && inRange, [&] { return "FormatTimeStamp(" + std::to_string(value) + ") gave " + Quote(stamp); });
  int day = 0, year = 0, hour = 0, minute = 0, second = 0;
  char month[4] = {};
  Check(stamp.size() == 20 &&
            std::sscanf(stamp.c_str(), "%2d-%3c-%4d %2d:%2d:%2d", &day, month, &year, &hour, &minute, &second) == 6,
        [&] { return "FormatTimeStamp(" + std::to_string(value) + ") gave " + Quote(stamp); });
  static const std::string kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const std::size_t monthAt = kMonths.find(month);
  Check(monthAt != std::string::npos && monthAt % 3 == 0, [&] { return "no month in " + Quote(stamp); });
  double again = 0;
  try {
    again = common::MakeDateValue(year, static_cast<int>(monthAt / 3 + 1), day, hour, minute, second);
  } catch (const common::Failure&) {
    Fail("FormatTimeStamp(" + std::to_string(value) + ") gave " + Quote(stamp) + ", which is no date");
  }
  Check(std::fabs(Seconds(again) - Seconds(value)) <= 0.5 + std::fabs(value) * 86400 * 1e-15, [&] {
    return "FormatTimeStamp(" + std::to_string(value) + ") gave " + Quote(stamp) + ", " +
           std::to_string(Seconds(again) - Seconds(value)) + " s away";
  });
}

void FuzzCalendar(const std::uint8_t* data) {
  const int year = 90 + (data[0] | (data[1] & 0x3F) << 8);  // 90..16473
  const int month = data[2] % 14;                           // 0..13
  const int day = data[3] % 33;                             // 0..32
  const int hour = data[1] >> 6 ? 23 : 0;
  const bool valid = year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
                     day <= common::DaysInMonth(month, common::IsLeapYear(year));
  double value = 0;
  std::int32_t failure = 0;
  try {
    value = common::MakeDateValue(year, month, day, hour, 59, 59);
  } catch (const common::Failure& error) {
    failure = error.Code();
  }
  Check(valid == (failure == 0), [&] {
    return "MakeDateValue(" + std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day) + ") " +
           (valid ? "failed" : "did not fail");
  });
  if (!valid) return;
  // Consecutive days are one apart, across months, years and the epoch.
  const long long today = common::DayNumber(year, month, day);
  const long long next = day < common::DaysInMonth(month, common::IsLeapYear(year))
                             ? common::DayNumber(year, month, day + 1)
                         : month < 12 ? common::DayNumber(year, month + 1, 1)
                                      : common::DayNumber(year + 1, 1, 1);
  Check(next == today + 1, [&] { return "DayNumber is not one day on after " + std::to_string(today); });
  char expected[32];
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::snprintf(expected, sizeof expected, "%02d-%s-%04d %02d:59:59", day, kMonths[month - 1], year, hour);
  Check(common::FormatTimeStamp(value) == expected,
        [&] { return "the stamp of " + std::string(expected) + " is " + Quote(common::FormatTimeStamp(value)); });
}

}  // namespace
}  // namespace bridge::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace bridge::fuzz;
  if (size < 2) return 0;
  const bridge::common::NumberFormat format = FormatFor(data[0]);
  const std::uint8_t mode = data[1];
  data += 2;
  size -= 2;
  switch (mode % 4) {
    case 0:
      FuzzText(std::string(reinterpret_cast<const char*>(data), size), size ? data[0] : 0, format);
      break;
    case 1:
    case 2:
      if (size >= sizeof(double)) {
        double value;
        std::memcpy(&value, data, sizeof value);
        if (mode % 4 == 1)
          FuzzDouble(value, format);
        else
          FuzzTimeStamp(value);
      }
      break;
    case 3:
      if (size >= 4) FuzzCalendar(data);
      break;
  }
  return 0;
}
