// Text and number conversions of the forms runtime. Everything here works on plain bytes
// with the separators passed in, so the result never depends on the process locale.
#include "common/Conversions.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <system_error>

#include "base/Text.h"
#include "common/ErrorTrap.h"

namespace bridge::common {
namespace {

constexpr char kNoBreakSpace = '\xA0';
// Exponent digits beyond this cannot change the outcome (overflow or zero), so the
// exponent saturates here instead of overflowing an int.
constexpr long long kExponentLimit = 100000;
constexpr double kSecondsPerDay = 86400.0;
// 30 December 1899 counted from 1 January 1970.
constexpr long long kDateEpochFromUnix = -25569;
// 1 January 100 and 31 December 9999 as date values.
constexpr long long kFirstDateDay = -657434;
constexpr long long kLastDateDay = 2958465;
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

/// Length of `separator` when it starts at `pos` of `text`, else 0 (an empty separator never matches).
std::size_t MatchAt(std::string_view text, std::size_t pos, std::string_view separator) {
  if (separator.empty() || text.substr(pos).substr(0, separator.size()) != separator) {
    return 0;
  }
  return separator.size();
}

/// Length of a thousands separator at `pos`; a blank and a no-break space stand for each
/// other when the regional separator is either of them.
std::size_t MatchThousandsAt(std::string_view text, std::size_t pos, const NumberFormat& format) {
  if (std::size_t length = MatchAt(text, pos, format.thousands); length != 0) {
    return length;
  }
  const bool blankGrouping = format.thousands == " " || format.thousands == std::string(1, kNoBreakSpace);
  if (blankGrouping && pos < text.size() && (text[pos] == ' ' || text[pos] == kNoBreakSpace)) {
    return 1;
  }
  return 0;
}

[[noreturn]] void Fail(RunError code) { throw Failure(code); }

/// The text up to its first NUL: the runtime hands its strings to the conversions as
/// NUL-terminated wide strings, so an embedded NUL ends the number there.
std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

/// A finite double as 15 significant decimal digits: value = 0.d1d2...d15 * 10^(exponent + 1),
/// that is d1 stands at 10^exponent.
struct Decimal15 {
  std::string digits;
  int exponent = 0;
  bool negative = false;
};

// A double's exact decimal expansion has at most 767 significant digits.
constexpr int kExactDigits = 780;

/// Rounds half away from zero at the 15th significant digit, as the runtime does: a value
/// exactly halfway, such as 3508.578369140625, goes up (to_chars would round it to even).
Decimal15 ToDecimal15(double value) {
  std::array<char, kExactDigits + 16> buffer{};
  const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                          std::chars_format::scientific, kExactDigits);
  if (error != std::errc{}) {
    Fail(RunError::Internal);
  }
  Decimal15 result;
  const char* cursor = buffer.data();
  if (*cursor == '-') {
    result.negative = true;
    ++cursor;
  }
  std::string exact;
  for (; cursor != end && *cursor != 'e'; ++cursor) {
    if (IsDigit(*cursor)) {
      exact.push_back(*cursor);
    }
  }
  ++cursor;  // past 'e'
  int exponent = 0;
  std::from_chars(*cursor == '+' ? cursor + 1 : cursor, end, exponent);
  result.digits = exact.substr(0, 15);
  if (exact[15] >= '5') {
    std::size_t i = result.digits.size();
    while (i > 0 && result.digits[i - 1] == '9') {
      result.digits[--i] = '0';
    }
    if (i == 0) {
      result.digits.insert(result.digits.begin(), '1');
      result.digits.pop_back();
      ++exponent;
    } else {
      ++result.digits[i - 1];
    }
  }
  result.exponent = exponent;
  return result;
}

void RequireFinite(double value) {
  if (!std::isfinite(value)) {
    Fail(RunError::Overflow);
  }
}

double RoundHalfToEven(double value) {
  const double lower = std::floor(value);
  const double rest = value - lower;
  if (rest > 0.5) {
    return lower + 1.0;
  }
  if (rest < 0.5) {
    return lower;
  }
  return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

template <typename Integer>
Integer ToInteger(std::string_view text, const NumberFormat& format) {
  const double rounded = RoundHalfToEven(ToDouble(text, format));
  if (rounded < static_cast<double>(std::numeric_limits<Integer>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<Integer>::max())) {
    Fail(RunError::Overflow);
  }
  return static_cast<Integer>(rounded);
}

std::string GroupThousands(const std::string& digits, const std::string& separator) {
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) {
      grouped += separator;
    }
    grouped.push_back(digits[i]);
  }
  return grouped;
}

/// What a digit pattern asks for.
struct DigitPattern {
  int minIntegerDigits = 0;
  bool grouping = false;
  bool hasPoint = false;
  int decimals = 0;
  int minDecimals = 0;
};

DigitPattern ParsePattern(std::string_view pattern) {
  DigitPattern parsed;
  const std::size_t point = pattern.find('.');
  const std::string_view integerPart = pattern.substr(0, point);
  bool placeholderSeen = false;
  bool commaPending = false;
  for (char c : integerPart) {
    if (c == '0' || c == '#') {
      parsed.minIntegerDigits += c == '0' ? 1 : 0;
      parsed.grouping = parsed.grouping || commaPending;
      placeholderSeen = true;
    } else if (c == ',') {
      commaPending = placeholderSeen;
    } else {
      Fail(RunError::InvalidProcedureCall);
    }
  }
  if (point == std::string_view::npos) {
    return parsed;
  }
  parsed.hasPoint = true;
  for (char c : pattern.substr(point + 1)) {
    if (c == '0') {
      ++parsed.decimals;
      parsed.minDecimals = parsed.decimals;
    } else if (c == '#') {
      ++parsed.decimals;
    } else {
      Fail(RunError::InvalidProcedureCall);
    }
  }
  return parsed;
}

// Days from 1 January 1970, after the civil-calendar algorithms of H. Hinnant; years
// start on 1 March so that the leap day falls last. Signed throughout, so any date works.
long long DaysFromCivil(long long year, long long month, long long day) {
  year -= month <= 2 ? 1 : 0;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long yearOfEra = year - era * 400;
  const long long dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

struct CivilDate {
  long long year;
  unsigned month;
  unsigned day;
};

CivilDate CivilFromDays(long long days) {
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
  const unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  const unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  const long long year = static_cast<long long>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
  return {year, month, day};
}

std::string TwoDigits(long long value) {
  std::string text = std::to_string(value);
  return text.size() < 2 ? "0" + text : text;
}

}  // namespace

double ToDouble(std::string_view text, const NumberFormat& format) {
  const std::string_view body = base::Trim(UpToNul(text), base::kBlanks);
  std::size_t pos = 0;
  std::string plain;  // the number in "C" notation for from_chars
  if (pos < body.size() && (body[pos] == '+' || body[pos] == '-')) {
    if (body[pos] == '-') {
      plain.push_back('-');
    }
    ++pos;
  }

  std::string integerDigits;
  while (pos < body.size()) {
    if (IsDigit(body[pos])) {
      integerDigits.push_back(body[pos++]);
      continue;
    }
    // A thousands separator counts only between two digits; group sizes are not checked.
    const std::size_t separator = MatchAt(body, pos, format.decimal) != 0 ? 0 : MatchThousandsAt(body, pos, format);
    if (separator != 0 && !integerDigits.empty() && pos + separator < body.size() &&
        IsDigit(body[pos + separator])) {
      pos += separator;
      continue;
    }
    break;
  }

  std::string fractionDigits;
  if (const std::size_t point = MatchAt(body, pos, format.decimal); point != 0) {
    pos += point;
    while (pos < body.size() && IsDigit(body[pos])) {
      fractionDigits.push_back(body[pos++]);
    }
  }
  if (integerDigits.empty() && fractionDigits.empty()) {
    Fail(RunError::TypeMismatch);
  }

  long long exponent = 0;
  if (pos < body.size() && (body[pos] == 'E' || body[pos] == 'e')) {
    ++pos;
    bool negativeExponent = false;
    if (pos < body.size() && (body[pos] == '+' || body[pos] == '-')) {
      negativeExponent = body[pos] == '-';
      ++pos;
    }
    const std::size_t firstExponentDigit = pos;
    for (; pos < body.size() && IsDigit(body[pos]); ++pos) {
      exponent = std::min(exponent * 10 + (body[pos] - '0'), kExponentLimit);
    }
    if (pos == firstExponentDigit) {
      Fail(RunError::TypeMismatch);
    }
    exponent = negativeExponent ? -exponent : exponent;
  }
  if (pos != body.size()) {
    Fail(RunError::TypeMismatch);
  }

  const std::string allDigits = integerDigits + fractionDigits;
  const std::size_t firstSignificant = allDigits.find_first_not_of('0');
  if (firstSignificant == std::string::npos) {
    return 0.0;
  }
  plain += integerDigits.empty() ? "0" : integerDigits;
  plain += '.';
  plain += fractionDigits;
  plain += 'e';
  plain += std::to_string(exponent);

  double value = 0.0;
  const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for a double: the position of the leading digit tells which.
    const long long leadingPower =
        static_cast<long long>(integerDigits.size()) - 1 - static_cast<long long>(firstSignificant) + exponent;
    if (leadingPower > 0) {
      Fail(RunError::Overflow);
    }
    return 0.0;
  }
  if (error != std::errc{} || end != plain.data() + plain.size()) {
    Fail(RunError::TypeMismatch);
  }
  RequireFinite(value);
  return value;
}

std::int16_t ToInteger16(std::string_view text, const NumberFormat& format) {
  return ToInteger<std::int16_t>(text, format);
}

std::int32_t ToInteger32(std::string_view text, const NumberFormat& format) {
  return ToInteger<std::int32_t>(text, format);
}

bool ToBoolean(std::string_view text, const NumberFormat& format) {
  const std::string_view word = base::Trim(UpToNul(text), base::kBlanks);
  if (base::EqualNoCase(word, "true")) {
    return true;
  }
  if (base::EqualNoCase(word, "false")) {
    return false;
  }
  return ToDouble(word, format) != 0.0;
}

std::string BooleanText(bool value) { return value ? "True" : "False"; }

std::string NumberToText(double value, const NumberFormat& format) {
  RequireFinite(value);
  if (value == 0.0) {
    return "0";
  }
  Decimal15 decimal = ToDecimal15(value);
  const std::size_t lastSignificant = decimal.digits.find_last_not_of('0');
  decimal.digits.resize(lastSignificant + 1);

  std::string text = decimal.negative ? "-" : "";
  const int exponent = decimal.exponent;
  if (exponent >= 15 || exponent < -4) {
    text += decimal.digits.front();
    if (decimal.digits.size() > 1) {
      text += format.decimal;
      text += decimal.digits.substr(1);
    }
    text += exponent < 0 ? "E-" : "E+";
    text += TwoDigits(exponent < 0 ? -exponent : exponent);
    return text;
  }
  if (exponent < 0) {
    text += "0";
    text += format.decimal;
    text += std::string(static_cast<std::size_t>(-exponent - 1), '0');
    text += decimal.digits;
    return text;
  }
  const auto integerLength = static_cast<std::size_t>(exponent) + 1;
  if (decimal.digits.size() <= integerLength) {
    text += decimal.digits;
    text += std::string(integerLength - decimal.digits.size(), '0');
    return text;
  }
  text += decimal.digits.substr(0, integerLength);
  text += format.decimal;
  text += decimal.digits.substr(integerLength);
  return text;
}

std::string FormatNumber(double value, std::string_view pattern, const NumberFormat& format) {
  if (pattern.empty()) {
    return NumberToText(value, format);
  }
  const DigitPattern wanted = ParsePattern(pattern);
  RequireFinite(value);

  // Integer and fraction digits of the value at 15 significant digits, the fraction
  // holding at least one digit past the requested decimals for the rounding decision.
  std::string integerDigits;
  std::string fractionDigits;
  bool negative = false;
  if (value != 0.0) {
    const Decimal15 decimal = ToDecimal15(value);
    negative = decimal.negative;
    if (decimal.exponent >= 0) {
      const auto integerLength = static_cast<std::size_t>(decimal.exponent) + 1;
      integerDigits = decimal.digits.substr(0, integerLength);
      integerDigits.resize(integerLength, '0');
      if (decimal.digits.size() > integerLength) {
        fractionDigits = decimal.digits.substr(integerLength);
      }
    } else {
      fractionDigits = std::string(static_cast<std::size_t>(-decimal.exponent - 1), '0') + decimal.digits;
    }
  }
  const auto decimals = static_cast<std::size_t>(wanted.decimals);
  fractionDigits.resize(std::max(fractionDigits.size(), decimals + 1), '0');

  // Round half away from zero: the magnitude goes up when the first dropped digit is 5 or more.
  const bool roundUp = fractionDigits[decimals] >= '5';
  std::string kept = integerDigits + fractionDigits.substr(0, decimals);
  if (roundUp) {
    std::size_t i = kept.size();
    while (i > 0 && kept[i - 1] == '9') {
      kept[--i] = '0';
    }
    if (i == 0) {
      kept.insert(kept.begin(), '1');
    } else {
      ++kept[i - 1];
    }
  }
  std::string integerPart = kept.substr(0, kept.size() - decimals);
  std::string fractionPart = kept.substr(kept.size() - decimals);

  const std::size_t firstSignificant = integerPart.find_first_not_of('0');
  integerPart = firstSignificant == std::string::npos ? std::string() : integerPart.substr(firstSignificant);
  const auto minIntegerDigits = static_cast<std::size_t>(wanted.minIntegerDigits);
  if (integerPart.size() < minIntegerDigits) {
    integerPart.insert(0, minIntegerDigits - integerPart.size(), '0');
  }
  while (fractionPart.size() > static_cast<std::size_t>(wanted.minDecimals) && fractionPart.back() == '0') {
    fractionPart.pop_back();
  }

  // A negative value keeps its sign even when it rounds to zero: -0.0004 is "-.000", as
  // the runtime writes it.
  std::string text = negative ? "-" : "";
  text += wanted.grouping ? GroupThousands(integerPart, format.thousands) : integerPart;
  if (wanted.hasPoint) {
    text += format.decimal;
    text += fractionPart;
  }
  return text;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int month, bool leapYear) {
  constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && leapYear ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

long long DayNumber(int year, int month, int day) { return DaysFromCivil(year, month, day) - kDateEpochFromUnix; }

DateValue MakeDateValue(int year, int month, int day, int hour, int minute, int second) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(month, IsLeapYear(year)) ||
      hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    Fail(RunError::InvalidProcedureCall);
  }
  const long long days = DayNumber(year, month, day);
  const double timeOfDay = (hour * 3600 + minute * 60 + second) / kSecondsPerDay;
  // Before the epoch the whole part counts days backwards while the fraction still counts
  // the time of day forwards, so -1.25 is 29 December 1899 06:00.
  return days < 0 ? static_cast<double>(days) - timeOfDay : static_cast<double>(days) + timeOfDay;
}

std::string FormatTimeStamp(DateValue value) {
  if (!std::isfinite(value) || value <= static_cast<double>(kFirstDateDay) - 1.0 ||
      value >= static_cast<double>(kLastDateDay) + 1.0) {
    Fail(RunError::Overflow);
  }
  const double wholeDays = std::trunc(value);
  auto day = static_cast<long long>(wholeDays);
  auto seconds = static_cast<long long>(std::floor(std::fabs(value - wholeDays) * kSecondsPerDay + 0.5));
  if (seconds >= static_cast<long long>(kSecondsPerDay)) {
    seconds -= static_cast<long long>(kSecondsPerDay);
    ++day;
  }
  if (day > kLastDateDay) {
    Fail(RunError::Overflow);
  }
  const CivilDate date = CivilFromDays(day + kDateEpochFromUnix);
  std::string year = std::to_string(date.year);
  year.insert(0, year.size() < 4 ? 4 - year.size() : 0, '0');
  return TwoDigits(date.day) + "-" + kMonthNames[date.month - 1] + "-" + year + " " + TwoDigits(seconds / 3600) +
         ":" + TwoDigits(seconds / 60 % 60) + ":" + TwoDigits(seconds % 60);
}

}  // namespace bridge::common
