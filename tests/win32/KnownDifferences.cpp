// The explained differences, each with the test that recognises it.
#include "KnownDifferences.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/Failure.h"
#include "common/Conversions.h"

namespace conversions {
namespace {

using bridge::base::Failure;
namespace conv = bridge::common;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
bool IsParse(const Case& c) {
  return c.function.rfind("ToDouble", 0) == 0 || c.function.rfind("ToInteger", 0) == 0 || c.function.rfind("ToBoolean", 0) == 0;
}
bool CommaRegion(const Case& c) { return c.region->format.decimal != "."; }

/// Notation oleaut32 reads and the program does not: "&H"/"&O" numbers, parentheses for a
/// minus, a sign after the number, apart from it or doubled, a currency symbol.
bool RuntimeOnlyNotation(const Case& c) {
  const std::string& t = c.input;
  if (Has(t, "&") || Has(t, "(") || Has(t, ")") || Has(t, "$") || Has(t, "\x80")) return true;
  for (std::size_t at = t.find_first_of("+-"); at != std::string::npos && at + 1 < t.size(); at = t.find_first_of("+-", at + 1))
    if (std::strchr("+- \t\r\n\v\f\xA0", t[at + 1])) return true;
  const std::size_t last = t.find_last_not_of(" \t\r\n\v\f\xA0");
  return last != std::string::npos && last > 0 && (t[last] == '-' || t[last] == '+') &&
         t.find_first_of("0123456789") < last;
}

/// A thousands separator outside the integer part: among the decimals or in the exponent,
/// or not followed by a digit.
bool GroupingOutsideIntegerPart(const Case& c) {
  const std::string& t = c.input;
  const std::size_t point = std::min(t.find(c.region->format.decimal), t.find_first_of("eE"));
  // Where the grouping is a no-break space, a blank groups too.
  std::vector<std::string> separators = {c.region->format.thousands};
  if (c.region->format.thousands == "\xA0") separators.push_back(" ");
  for (const std::string& thousands : separators) {
    for (std::size_t at = t.find(thousands); at != std::string::npos; at = t.find(thousands, at + 1)) {
      if (point != std::string::npos && at > point) return true;
      const std::size_t next = at + thousands.size();
      if (next >= t.size() || t[next] < '0' || t[next] > '9') return true;
    }
  }
  return false;
}

/// A text that starts with its exponent, no digit before it.
bool ExponentFirst(const Case& c) {
  const std::size_t first = c.input.find_first_not_of(" \t\r\n\v\f\xA0");
  return first != std::string::npos && (c.input[first] == 'e' || c.input[first] == 'E');
}

/// The stamp's fields: day, month, year without leading zeros, time.
struct StampFields {
  std::string day, month, year, time;
};
StampFields SplitStamp(const std::string& stamp) {
  StampFields fields;
  const std::size_t first = stamp.find('-');
  const std::size_t second = stamp.rfind('-', stamp.find(' '));
  const std::size_t blank = stamp.find(' ');
  if (first == std::string::npos || second == first || blank == std::string::npos) return fields;
  fields.day = stamp.substr(0, first);
  fields.month = stamp.substr(first + 1, second - first - 1);
  fields.year = stamp.substr(second + 1, blank - second - 1);
  fields.year.erase(0, std::min(fields.year.find_first_not_of('0'), fields.year.size() - 1));
  fields.time = stamp.substr(blank + 1);
  return fields;
}

/// A date value whose time of day lies within a thousandth of a second of a half second.
bool HalfSecondTie(double value) {
  const double seconds = std::fabs(value - std::trunc(value)) * 86400.0;
  return std::fabs(seconds - std::floor(seconds) - 0.5) < 1e-3;
}

}  // namespace

const std::vector<Known>& KnownDifferences() {
  static const std::vector<Known> known = {
      // Where Wine's oleaut32 differs from Windows.
      {"wine-rounds-fraction-up",
       "Wine rounds an integer conversion of a value below 0.5 up to 1 when it has no integer digits; Windows "
       "rounds to the nearest, half to even",
       [](const Case& c) {
         if (c.function.rfind("ToInteger", 0) != 0 || c.ours.error || c.ours.value != "0" || c.theirs.error) return false;
         if (c.theirs.value != "1" && c.theirs.value != "-1") return false;
         try {
           return std::fabs(conv::ToDouble(c.input, c.region->format)) < 0.5;
         } catch (const Failure&) {
           return false;
         }
       }},
      {"wine-exponent-full-stop",
       "Wine writes the exponent form with a full stop whatever the region; Windows uses the regional decimal "
       "separator there too",
       [](const Case& c) {
         if (c.function.rfind("NumberToText", 0) != 0 || !CommaRegion(c) || c.ours.error || c.theirs.error) return false;
         std::string localised = c.theirs.value;
         const std::size_t point = localised.find('.');
         if (!Has(localised, "E") || point == std::string::npos) return false;
         localised.replace(point, 1, c.region->format.decimal);
         return localised == c.ours.value;
       }},
      {"wine-format-exponent-range",
       "Wine's VarFormat reads back its own exponent-form text, written with a full stop, and garbles values "
       "from 1E+15 and below 1E-04 where the decimal separator is a comma",
       [](const Case& c) {
         const double magnitude = std::fabs(c.value);
         return c.function.rfind("FormatNumber", 0) == 0 && CommaRegion(c) && magnitude != 0 &&
                (magnitude >= 1e15 || magnitude < 1e-4);
       }},
      {"last-bit",
       "the program reads the double nearest to the text, as strtod does; oleaut32 lands one unit in the last "
       "place away for some texts, far below the 15 digits the program writes",
       [](const Case& c) {
         if (c.function.rfind("ToDouble", 0) != 0 || c.ours.error || c.theirs.error) return false;
         const double ours = std::strtod(c.ours.value.c_str(), nullptr);
         const double theirs = std::strtod(c.theirs.value.c_str(), nullptr);
         return ours != 0 && theirs != 0 && std::nextafter(ours, theirs) == theirs;
       }},
      {"subnormal",
       "a text below 2.2E-308 gives the nearest subnormal double in the program, 0 in Wine's oleaut32; no input "
       "the program gets is that small",
       [](const Case& c) {
         if (!IsParse(c) || c.ours.error || c.theirs.error) return false;
         try {
           const double ours = conv::ToDouble(c.input, c.region->format);
           return ours != 0 && std::fabs(ours) < DBL_MIN && (c.theirs.value == "0" || c.theirs.value == "False");
         } catch (const Failure&) {
           return false;
         }
       }},
      {"wine-exponent-without-digits",
       "Wine reads some texts that start with the exponent and have no digit before it (\"e.7.1\", \"e2 0\" "
       "with blank grouping) as numbers; Windows requires a digit first",
       [](const Case& c) { return IsParse(c) && c.ours.error == 13 && ExponentFirst(c); }},
      // Where the program keeps its own behaviour on purpose.
      {"notation-kept-out",
       "the program reads plain decimal notation only: no &H/&O, parentheses, signs after, apart from the digits or doubled, or currency symbols",
       [](const Case& c) { return IsParse(c) && c.ours.error == 13 && RuntimeOnlyNotation(c); }},
      {"grouping-in-integer-part",
       "the program accepts thousands separators only between digits of the integer part",
       [](const Case& c) { return IsParse(c) && c.ours.error == 13 && GroupingOutsideIntegerPart(c); }},
      {"calendar-dates-only",
       "MakeDateValue refuses a date or time not on the calendar (month 0, day 0, 31 February, minute 60); "
       "Wine's SystemTimeToVariantTime rolls them over. Only whole calendar dates reach it",
       [](const Case& c) {
         return c.function.rfind("MakeDateValue", 0) == 0 && c.kind == "wild" && c.ours.error == 5 && !c.theirs.error;
       }},
      {"sign-of-zero",
       "oleaut32 keeps the sign of a negative zero; no text the program writes shows it (NumberToText writes 0)",
       [](const Case& c) { return c.ours.value == "0" && c.theirs.value == "-0"; }},
      {"boolean-words",
       "ToBoolean trims blanks around True and False, as settings may hold them; #TRUE# and #FALSE# (the "
       "runtime's file form) are nothing the program writes",
       [](const Case& c) {
         return c.function.rfind("ToBoolean", 0) == 0 && c.kind == "words" &&
                ((c.ours.error == 0 && c.theirs.error == 13) || Has(c.input, "#"));
       }},
      {"english-months",
       "the log's time stamps name the months in English in every region",
       [](const Case& c) {
         if (c.function.rfind("FormatTimeStamp", 0) != 0 || c.region->lcid == 0x0409 || c.ours.error || c.theirs.error)
           return false;
         const StampFields ours = SplitStamp(c.ours.value), theirs = SplitStamp(c.theirs.value);
         return ours.month != theirs.month && ours.day == theirs.day && ours.year == theirs.year &&
                (ours.time == theirs.time || HalfSecondTie(c.value));
       }},
      {"four-digit-year",
       "the log's years have four digits (years before 1000 never come from the clock)",
       [](const Case& c) {
         if (c.function.rfind("FormatTimeStamp", 0) != 0 || c.ours.error || c.theirs.error) return false;
         const StampFields ours = SplitStamp(c.ours.value), theirs = SplitStamp(c.theirs.value);
         return c.ours.value.size() > c.theirs.value.size() && ours.year == theirs.year &&
                (ours.time == theirs.time || HalfSecondTie(c.value));
       }},
      {"half-second-tie",
       "a time of day within a thousandth of a second of a half second, decided by the last bit; the log's "
       "stamps are whole seconds",
       [](const Case& c) {
         return c.function.rfind("FormatTimeStamp", 0) == 0 && !c.ours.error && !c.theirs.error && HalfSecondTie(c.value);
       }},
      {"date-out-of-range",
       "a date value outside the years 100 to 9999 is an overflow (6) in the program, an invalid argument in "
       "VarFormat; the program's only date values come from the clock",
       [](const Case& c) {
         return c.function.rfind("FormatTimeStamp", 0) == 0 && c.ours.error == 6 && c.theirs.error == 5;
       }},
  };
  return known;
}

const Known* Explain(const Case& c) {
  for (const Known& known : KnownDifferences())
    if (known.applies(c)) return &known;
  return nullptr;
}

}  // namespace conversions
