// Runs thousands of generated inputs through the program's own conversions and through
// oleaut32's variant conversions, in several regional formats, and lists every difference
// grouped by kind. Differences explained in docs/reliability.md are marked "known"; the
// program exits 1 when any other difference is found.
//
//   conversions_vs_oleaut32.exe [--seed N] [--count N] [--examples N] [--break-ours]
#include <windows.h>
#include <oleauto.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/Failure.h"
#include "common/Conversions.h"

namespace {

using bridge::base::Failure;
using bridge::base::NumberFormat;
namespace conv = bridge::common;

/// A regional format: the locale oleaut32 gets, and the separators the program gets for it,
/// read the way the program reads the user's format.
struct Region {
  LCID lcid;
  const char* name;
  NumberFormat format;
};

NumberFormat FormatOf(LCID lcid) {
  NumberFormat format;
  char buffer[16];
  const LCID fixed = lcid;
  if (GetLocaleInfoA(fixed, LOCALE_SDECIMAL | LOCALE_NOUSEROVERRIDE, buffer, sizeof buffer) > 1) format.decimal = buffer;
  if (GetLocaleInfoA(fixed, LOCALE_STHOUSAND | LOCALE_NOUSEROVERRIDE, buffer, sizeof buffer) > 0) format.thousands = buffer;
  return format;
}

/// What one side made of one input: a value as text, or a run-time error number.
struct Outcome {
  int error = 0;
  std::string value;
};

std::string Printable(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out + "\"";
}

std::string Describe(const Outcome& outcome) {
  return outcome.error != 0 ? "error " + std::to_string(outcome.error) : Printable(outcome.value);
}

int ErrorOfHresult(HRESULT hr) {
  switch (hr) {
    case DISP_E_TYPEMISMATCH: return 13;
    case DISP_E_OVERFLOW: return 6;
    case E_INVALIDARG: return 5;
    default: return static_cast<int>(hr);
  }
}

/// The program's side: its value as text, or the error it threw.
template <typename Call>
Outcome Ours(Call call) {
  try {
    return {0, call()};
  } catch (const Failure& failure) {
    return {failure.Code(), {}};
  }
}

std::string DoubleText(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

/// An owned BSTR made from ANSI bytes (Windows-1252, as the program's DDE text arrives).
class Bstr {
 public:
  explicit Bstr(const std::string& text) {
    const int length = MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    bstr_ = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), bstr_, length);
  }
  Bstr() = default;
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(bstr_); }
  BSTR Get() const { return bstr_; }
  BSTR* Out() { return &bstr_; }
  /// The text in Windows-1252, as the program would hold it.
  std::string Ansi() const {
    if (!bstr_) return {};
    const int wide = static_cast<int>(SysStringLen(bstr_));
    const int length = WideCharToMultiByte(1252, 0, bstr_, wide, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(1252, 0, bstr_, wide, text.data(), length, nullptr, nullptr);
    return text;
  }

 private:
  BSTR bstr_ = nullptr;
};

// ---- what differs ----------------------------------------------------------------------

/// One comparison: what went in, and what each side made of it.
struct Case {
  std::string function;
  const Region* region;
  std::string kind;
  std::string input;   // the text converted, or empty
  double value = 0;    // the number or date value converted, for the number and date functions
  Outcome ours;
  Outcome theirs;
};

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

/// A difference explained in docs/reliability.md ("Conversions against oleaut32").
struct Known {
  const char* id;
  const char* reason;
  std::function<bool(const Case&)> applies;
};

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

struct Group {
  long count = 0;
  std::vector<std::string> examples;
};

class Differences {
 public:
  explicit Differences(std::size_t examples) : examples_(examples) {}

  void Compare(const std::string& function, const Region& region, const std::string& kind, const std::string& shown,
               const Outcome& ours, const Outcome& theirs, const std::string& input = {}, double value = 0) {
    Compare(Case{function, &region, kind, input, value, ours, theirs}, shown);
  }

  /// Counts one comparison; a difference goes into its group, named by what explains it.
  void Compare(const Case& c, const std::string& shown) {
    ++compared_[c.function];
    if (c.ours.error == c.theirs.error && c.ours.value == c.theirs.value) return;
    const Known* known = Explain(c);
    const std::string key = (known ? std::string("known ") + known->id + " " : std::string("DIFF ")) + c.function +
                            " [" + c.kind + "] " + c.region->name + ": ours " + ClassOf(c.ours) + ", oleaut32 " +
                            ClassOf(c.theirs);
    Group& group = groups_[key];
    ++group.count;
    if (known) ++known_[known->id];
    if (group.examples.size() < examples_)
      group.examples.push_back(shown + " -> ours " + Describe(c.ours) + ", oleaut32 " + Describe(c.theirs));
  }

  /// Prints every group, the reasons and the summary; returns how many differences nothing explains.
  long Print() const {
    long total = 0, unexplained = 0, comparisons = 0;
    for (const auto& [key, group] : groups_) {
      total += group.count;
      if (key.rfind("DIFF", 0) == 0) unexplained += group.count;
      std::printf("%s: %ld\n", key.c_str(), group.count);
      for (const std::string& example : group.examples) std::printf("  e.g. %s\n", example.c_str());
    }
    for (const Known& known : KnownDifferences()) {
      const auto found = known_.find(known.id);
      std::printf("reason %s (%ld): %s\n", known.id, found == known_.end() ? 0L : found->second, known.reason);
    }
    for (const auto& [function, count] : compared_) {
      std::printf("compared %s: %ld\n", function.c_str(), count);
      comparisons += count;
    }
    std::printf("summary: %ld comparisons, %ld differences, %ld known, %ld unexplained\n", comparisons, total,
                total - unexplained, unexplained);
    return unexplained;
  }

 private:
  static std::string ClassOf(const Outcome& outcome) {
    return outcome.error != 0 ? "error " + std::to_string(outcome.error) : "value";
  }

  std::size_t examples_;
  std::map<std::string, Group> groups_;
  std::map<std::string, long> known_;
  std::map<std::string, long> compared_;
};

// ---- inputs ----------------------------------------------------------------------------

/// A generated text with the kind of input it stands for.
struct TextInput {
  std::string kind;
  std::string text;
};

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
  std::vector<TextInput> NumberTexts(const NumberFormat& format, int count) {
    std::vector<TextInput> inputs;
    const std::string other = format.decimal == "." ? "," : ".";
    const char* fixed[][2] = {
        {"empty", ""}, {"empty", " "}, {"empty", "\t"}, {"sign", "-"}, {"sign", "+"}, {"exponent", "e5"},
        {"exponent", "1e"}, {"exponent", "1e+"}, {"exponent", "1E-5"}, {"exponent", "1e309"}, {"exponent", "-1e309"},
        {"exponent", "1e-400"}, {"exponent", "1D3"}, {"exponent", "1d-3"}, {"hex", "&H7FFF"}, {"hex", "&H8000"},
        {"hex", "&HFFFF"}, {"hex", "&H10000"}, {"hex", "&hff"}, {"hex", "&H7FFFFFFF"}, {"hex", "&H80000000"},
        {"hex", "&HFFFFFFFF"}, {"hex", "&H100000000"}, {"hex", "&H"}, {"hex", "&HG"}, {"hex", "&O17"},
        {"hex", "&o777"}, {"hex", "&O"}, {"hex", "&H-1"}, {"hex", "-&H10"}, {"hex", " &H10 "}, {"hex", "0x10"},
        {"parens", "(5)"}, {"parens", "(-5)"}, {"parens", "( 5 )"}, {"parens", "(5"}, {"trailing-sign", "5-"},
        {"trailing-sign", "5+"}, {"trailing-sign", "5 -"}, {"trailing-sign", "-5-"}, {"currency", "$5"},
        {"currency", "5$"}, {"currency", "\x80" "5"}, {"currency", "5 \x80"}, {"currency", "DM5"},
        {"words", "True"}, {"words", "False"}, {"words", "true"}, {"words", "FALSE"}, {"words", " True "},
        {"words", "yes"}, {"words", "no"}, {"words", "on"}, {"words", "off"}, {"words", "#TRUE#"},
        {"words", "#FALSE#"}, {"words", "Wahr"}, {"words", "Falsch"}, {"words", "Vrai"}, {"words", "Faux"},
        {"words", "T"}, {"words", "Tru"}, {"words", "Truee"}, {"words", "-1"}, {"words", "0"}, {"words", "1"},
        {"words", "0.0"}, {"words", "NaN"}, {"words", "inf"}, {"words", "Infinity"}, {"blanks", "\x0B" "5"},
        {"blanks", "5\x0C"}, {"blanks", "\r\n5\r\n"}, {"blanks", "\xA0" "5"}, {"blanks", "5\xA0"},
        {"blanks", "- 5"}, {"blanks", "+ 5"}, {"blanks", "5 5"},
    };
    for (const auto& entry : fixed) inputs.push_back({entry[0], entry[1]});
    inputs.push_back({"nul", std::string("5\0" "5", 3)});
    // The command prefix and the values HRD and the suite send.
    for (int i = 0; i < 1000; i += 7) {
      char prefix[8];
      std::snprintf(prefix, sizeof prefix, "%03d", i);
      inputs.push_back({"prefix", prefix});
    }
    for (const char* prefix : {"00a", "0 3", " 03", "03 ", "-03", "+03", "0.3", "0,3", "3e1", "&H3", "0e0", "...", "   "})
      inputs.push_back({"prefix", prefix});
    for (const char* edge : {"32767", "32768", "-32768", "-32769", "32767.5", "32767.49", "32766.5", "-32768.5",
                             "-32768.51", "-32767.5", "2147483647", "2147483648", "-2147483648", "-2147483649",
                             "2147483647.5", "2147483646.5", "-2147483648.5", "-2147483647.5", "2147483647.4999",
                             "4294967296", "1e4", "3.2767e4", "3.27675e4", "0.5", "1.5", "2.5", "-0.5", "-1.5",
                             "-2.5", "0.49999999999999994", "-0", "+0", "-0.0", "00000", "0000000000000000000001"}) {
      std::string text = edge;
      for (char& c : text)
        if (c == '.') c = format.decimal[0];
      inputs.push_back({"edges", text});
    }

    for (int i = 0; i < count; ++i) {
      const int shape = Below(16);
      std::string integer = Digits(1 + Below(Chance(10) ? 25 : 9), Chance(80));
      std::string fraction = Chance(60) ? Digits(1 + Below(Chance(10) ? 25 : 6), false) : "";
      std::string text;
      std::string kind;
      switch (shape) {
        case 0: case 1: case 2:
          kind = "plain";
          text = integer + (fraction.empty() ? "" : format.decimal + fraction);
          break;
        case 3:
          kind = "sign";
          text = std::string(Chance(50) ? "-" : "+") + integer + (fraction.empty() ? "" : format.decimal + fraction);
          break;
        case 4:
          kind = "blanks";
          text = std::string(static_cast<std::size_t>(Below(3)), Chance(50) ? ' ' : '\t') + (Chance(30) ? "-" : "") +
                 integer + (fraction.empty() ? "" : format.decimal + fraction) +
                 std::string(static_cast<std::size_t>(Below(3)), Chance(50) ? ' ' : '\t');
          break;
        case 5:
          kind = "grouped";
          text = (Chance(20) ? "-" : "") + Group(integer, format.thousands) + (fraction.empty() ? "" : format.decimal + fraction);
          break;
        case 6: {
          kind = "misgrouped";
          std::string digits = integer + Digits(2, false);
          const std::size_t at = 1 + static_cast<std::size_t>(Below(static_cast<int>(digits.size()) - 1));
          text = digits.substr(0, at) + format.thousands + digits.substr(at) + (fraction.empty() ? "" : format.decimal + fraction);
          break;
        }
        case 7:
          kind = "grouped-fraction";
          text = integer + format.decimal + Group(Digits(4 + Below(4), false), format.thousands);
          break;
        case 8:
          kind = "other-decimal";
          text = integer + other + (fraction.empty() ? Digits(1 + Below(3), false) : fraction);
          break;
        case 9: {
          kind = "exponent";
          const int exponent = Chance(20) ? Below(700) - 350 : Below(40) - 20;
          text = integer + (fraction.empty() ? "" : format.decimal + fraction) + (Chance(50) ? "E" : "e") +
                 (exponent < 0 ? "-" : Chance(30) ? "+" : "") + std::to_string(std::abs(exponent));
          break;
        }
        case 10:
          kind = "decimal-edges";
          text = Chance(50) ? format.decimal + Digits(1 + Below(5), false) : integer + format.decimal;
          if (Chance(20)) text = integer + format.decimal + format.decimal + Digits(1, false);
          break;
        case 11: {
          kind = "hertz";  // what HRD and the suite send: hertz, kilohertz with a fraction
          const long long hertz = 100000 + static_cast<long long>(Bits() % 450000000ULL);
          text = Chance(50) ? std::to_string(hertz)
                            : std::to_string(hertz / 1000) + format.decimal + std::to_string(hertz % 1000 / (Chance(50) ? 100 : 1));
          break;
        }
        case 12: {
          kind = "edges";
          static const long long kEdges[] = {32767, 32768, -32768, -32769, 2147483647LL, 2147483648LL, -2147483648LL,
                                             -2147483649LL};
          const long long edge = kEdges[Below(8)];
          const int half = Below(5);
          text = std::to_string(edge) + (half == 0 ? "" : format.decimal + std::string(half == 1 ? "5" : half == 2 ? "4999" : half == 3 ? "5001" : "50"));
          break;
        }
        case 13: {
          kind = "rubbish";
          static const char kAlphabet[] = "0123456789+-.,eE &H()$ \t'abcxyzTrueFals\xA0\x80\xE4";
          const int length = Below(8);
          for (int j = 0; j < length; ++j) text.push_back(kAlphabet[Below(sizeof kAlphabet - 1)]);
          break;
        }
        case 14: {
          kind = "hex";
          static const char kHex[] = "0123456789ABCDEFabcdef";
          text = Chance(80) ? "&H" : "&O";
          const int length = 1 + Below(10);
          for (int j = 0; j < length; ++j) text.push_back(text[1] == 'H' ? kHex[Below(22)] : static_cast<char>('0' + Below(8)));
          break;
        }
        default:
          kind = "half";
          text = (Chance(30) ? "-" : "") + std::to_string(Below(70000)) + format.decimal + "5";
          break;
      }
      inputs.push_back({kind, text});
    }
    return inputs;
  }

  /// Doubles for the number-to-text conversions, with the kind each stands for.
  std::vector<std::pair<std::string, double>> Doubles(int count) {
    std::vector<std::pair<std::string, double>> values = {
        {"zero", 0.0}, {"zero", -0.0}, {"edges", 1e15}, {"edges", 1e15 - 1}, {"edges", 999999999999999.4},
        {"edges", 999999999999999.5}, {"edges", 0.0001}, {"edges", 0.00009999999999999999}, {"edges", 0.00001},
        {"edges", 1e-5}, {"edges", 123456789012345678.0}, {"edges", 0.1 + 0.2}, {"edges", 1.0 / 3},
        {"edges", 2.0 / 3}, {"edges", 1e300}, {"edges", -1e-300}, {"edges", 4.9e-324}, {"edges", 1.7976931348623157e308},
        {"edges", 14025500.0}, {"edges", 14025000.5}, {"edges", 14025.5 * 1000}, {"edges", 0.5}, {"edges", 0.05},
        {"edges", 0.0005}, {"edges", 0.9995}, {"edges", 999.9995}, {"edges", 999999.9995}, {"edges", 1.005},
        {"edges", 2.675}, {"edges", 1e16}, {"edges", 1e-4 * 0.99999}};
    for (int i = 0; i < count; ++i) {
      switch (Below(7)) {
        case 0: values.push_back({"hertz", static_cast<double>(100000 + Bits() % 450000000ULL)}); break;
        case 1: {  // kilohertz from a client times 1000, as the dispatcher stores it
          const double kilohertz = static_cast<double>(Bits() % 450000000ULL) / std::pow(10.0, Below(4));
          values.push_back({"kilohertz-times-1000", kilohertz * 1000});
          break;
        }
        case 2: {  // any finite double
          double value;
          do {
            const std::uint64_t bits = Bits();
            std::memcpy(&value, &bits, sizeof value);
          } while (!std::isfinite(value));
          values.push_back({"any", value});
          break;
        }
        case 3: values.push_back({"scaled", Uniform(-1, 1) * std::pow(10.0, Below(40) - 20)}); break;
        case 4: {  // a half at the last kept place of the three-decimal pattern or of 15 digits
          const double base = static_cast<double>(Bits() % 100000000ULL);
          values.push_back({"halves", (base + 0.5) / std::pow(10.0, Below(8))});
          break;
        }
        case 5: values.push_back({"twips", static_cast<float>(Uniform(-5000, 40000) * (Chance(50) ? 1.0 : 15.0 / 1.25))}); break;
        default: values.push_back({"fractions", static_cast<double>(Below(100000)) / std::pow(10.0, 1 + Below(7))}); break;
      }
    }
    return values;
  }

 private:
  std::mt19937 random_;
};

// ---- the comparisons -------------------------------------------------------------------

Outcome OleR8(const std::string& text, LCID lcid) {
  double value = 0;
  const HRESULT hr = VarR8FromStr(Bstr(text).Get(), lcid, LOCALE_NOUSEROVERRIDE, &value);
  return FAILED(hr) ? Outcome{ErrorOfHresult(hr), {}} : Outcome{0, DoubleText(value)};
}

void CompareTexts(Differences& diff, const Region& region, const std::vector<TextInput>& inputs) {
  for (const TextInput& input : inputs) {
    const std::string shown = Printable(input.text);
    diff.Compare("ToDouble/VarR8FromStr", region, input.kind, shown,
                 Ours([&] { return DoubleText(conv::ToDouble(input.text, region.format)); }), OleR8(input.text, region.lcid),
                 input.text);

    SHORT i2 = 0;
    HRESULT hr = VarI2FromStr(Bstr(input.text).Get(), region.lcid, LOCALE_NOUSEROVERRIDE, &i2);
    diff.Compare("ToInteger16/VarI2FromStr", region, input.kind, shown,
                 Ours([&] { return std::to_string(conv::ToInteger16(input.text, region.format)); }),
                 FAILED(hr) ? Outcome{ErrorOfHresult(hr), {}} : Outcome{0, std::to_string(i2)}, input.text);

    LONG i4 = 0;
    hr = VarI4FromStr(Bstr(input.text).Get(), region.lcid, LOCALE_NOUSEROVERRIDE, &i4);
    diff.Compare("ToInteger32/VarI4FromStr", region, input.kind, shown,
                 Ours([&] { return std::to_string(conv::ToInteger32(input.text, region.format)); }),
                 FAILED(hr) ? Outcome{ErrorOfHresult(hr), {}} : Outcome{0, std::to_string(i4)}, input.text);

    VARIANT_BOOL flag = 0;
    hr = VarBoolFromStr(Bstr(input.text).Get(), region.lcid, LOCALE_NOUSEROVERRIDE, &flag);
    diff.Compare("ToBoolean/VarBoolFromStr", region, input.kind, shown,
                 Ours([&] { return std::string(conv::ToBoolean(input.text, region.format) ? "True" : "False"); }),
                 FAILED(hr) ? Outcome{ErrorOfHresult(hr), {}} : Outcome{0, flag ? "True" : "False"}, input.text);
  }
}

/// oleaut32's number format pattern applied in `lcid`.
Outcome OleFormat(const VARIANT& value, const wchar_t* pattern, LCID lcid) {
  BYTE tokens[256];
  HRESULT hr = VarTokenizeFormatString(const_cast<LPOLESTR>(pattern), tokens, sizeof tokens, 1, 1, lcid, nullptr);
  if (FAILED(hr)) return {ErrorOfHresult(hr), {}};
  Bstr out;
  hr = VarFormatFromTokens(const_cast<VARIANT*>(&value), const_cast<LPOLESTR>(pattern), tokens, 0, out.Out(), lcid);
  if (FAILED(hr)) return {ErrorOfHresult(hr), {}};
  return {0, out.Ansi()};
}

constexpr double kFormatLimit = 1e150;

void CompareNumbers(Differences& diff, const Region& region, const std::vector<std::pair<std::string, double>>& values,
                    bool breakOurs) {
  for (const auto& [kind, value] : values) {
    const std::string shown = DoubleText(value);
    Bstr text;
    const HRESULT hr = VarBstrFromR8(value, region.lcid, LOCALE_NOUSEROVERRIDE, text.Out());
    diff.Compare("NumberToText/VarBstrFromR8", region, kind, shown,
                 Ours([&] { return breakOurs ? conv::NumberToText(value, {".", ""}) : conv::NumberToText(value, region.format); }),
                 FAILED(hr) ? Outcome{ErrorOfHresult(hr), {}} : Outcome{0, text.Ansi()}, {}, value);

    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_R8;
    variant.dblVal = value;
    // The frequency pattern is applied to kilohertz; other values show the pattern's edges.
    // Wine's oleaut32 overruns a buffer of its own when the formatted text passes 256
    // characters (1E+200 with this pattern), so such values stay out.
    if (std::fabs(value) >= kFormatLimit) continue;
    diff.Compare("FormatNumber/VarFormat", region, kind, shown,
                 Ours([&] { return conv::FormatNumber(value, "###,###.000", region.format); }),
                 OleFormat(variant, L"###,###.000", region.lcid), {}, value);
  }
}

void CompareBooleanText(Differences& diff, const Region& region) {
  for (const bool value : {true, false}) {
    Bstr text;
    const HRESULT hr = VarBstrFromBool(value ? VARIANT_TRUE : VARIANT_FALSE, region.lcid, LOCALE_NOUSEROVERRIDE, text.Out());
    diff.Compare("BooleanText/VarBstrFromBool", region, "flag", value ? "true" : "false",
                 Outcome{0, conv::BooleanText(value)}, FAILED(hr) ? Outcome{ErrorOfHresult(hr), {}} : Outcome{0, text.Ansi()});
  }
}

std::string DateText(int year, int month, int day, int hour, int minute, int second) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
  return buffer;
}

void CompareDates(Differences& diff, const Region& region, Generator& generate, int count) {
  for (int i = 0; i < count; ++i) {
    // Calendar dates, a few of them out of range or not in their month.
    const bool wild = generate.Chance(15);
    const int year = wild ? generate.Below(10200) - 100 : 100 + generate.Below(9900);
    const int month = wild ? generate.Below(15) - 1 : 1 + generate.Below(12);
    const int day = wild ? generate.Below(34) - 1 : 1 + generate.Below(conv::DaysInMonth(month, conv::IsLeapYear(year)));
    const int hour = wild ? generate.Below(26) - 1 : generate.Below(24);
    const int minute = wild ? generate.Below(62) - 1 : generate.Below(60);
    const int second = wild ? generate.Below(62) - 1 : generate.Below(60);
    const std::string shown = DateText(year, month, day, hour, minute, second);
    const std::string kind = wild ? "wild" : "calendar";

    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    time.wSecond = static_cast<WORD>(second);
    double variantTime = 0;
    const bool made = year >= 0 && month >= 0 && day >= 0 && hour >= 0 && minute >= 0 && second >= 0 &&
                      SystemTimeToVariantTime(&time, &variantTime);
    if (region.lcid == 0x0409) {
      diff.Compare("MakeDateValue/SystemTimeToVariantTime", region, kind, shown,
                   Ours([&] { return DoubleText(conv::MakeDateValue(year, month, day, hour, minute, second)); }),
                   made ? Outcome{0, DoubleText(variantTime)} : Outcome{5, {}}, shown);
      if (!wild) {
        UDATE udate{};
        udate.st = time;
        DATE date = 0;
        const HRESULT hr = VarDateFromUdate(&udate, 0, &date);
        diff.Compare("DayNumber/VarDateFromUdate", region, kind, shown,
                     Ours([&] { return std::to_string(conv::DayNumber(year, month, day)); }),
                     FAILED(hr) ? Outcome{ErrorOfHresult(hr), {}} : Outcome{0, std::to_string(static_cast<long long>(std::trunc(date)))});
      }
    }

    // Date values: whole seconds, halves of a second, and any fraction, both sides of 1899.
    double value = 0;
    std::string valueKind;
    switch (generate.Below(5)) {
      case 0: value = generate.Uniform(-657434, 2958466); valueKind = "date-any"; break;
      case 1: value = std::floor(generate.Uniform(-657434, 2958465)) + (generate.Below(86400) + 0.5) / 86400.0; valueKind = "date-half-second"; break;
      case 2: value = generate.Uniform(-3, 3); valueKind = "date-near-epoch"; break;
      case 3: value = generate.Chance(50) ? generate.Uniform(-657435.5, -657433) : generate.Uniform(2958464, 2958467); valueKind = "date-range-edges"; break;
      default: value = 40000 + generate.Uniform(0, 20000); valueKind = "date-log"; break;
    }
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_DATE;
    variant.date = value;
    diff.Compare("FormatTimeStamp/VarFormat", region, valueKind, DoubleText(value),
                 Ours([&] { return conv::FormatTimeStamp(value); }),
                 OleFormat(variant, L"dd-mmm-yyyy hh:nn:ss", region.lcid), {}, value);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::uint32_t seed = 20261207;
  int count = 3000;
  std::size_t examples = 4;
  // --break-ours: the program's number-to-text side always writes a full stop, so that a
  // run shows the comparison reporting differences it cannot explain.
  bool breakOurs = false;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (!std::strcmp(argv[i], "--break-ours")) {
      breakOurs = true;
    } else if (hasValue && !std::strcmp(argv[i], "--seed")) {
      seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (hasValue && !std::strcmp(argv[i], "--count")) {
      count = std::atoi(argv[++i]);
    } else if (hasValue && !std::strcmp(argv[i], "--examples")) {
      examples = static_cast<std::size_t>(std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: %s [--seed N] [--count N] [--examples N] [--break-ours]\n", argv[0]);
      return 2;
    }
  }
  const Region regions[] = {{0x0409, "en-US", FormatOf(0x0409)}, {0x0407, "de-DE", FormatOf(0x0407)},
                            {0x040C, "fr-FR", FormatOf(0x040C)}};
  Differences diff(examples);
  for (const Region& region : regions) {
    std::printf("region %s (%04lX): decimal %s, thousands %s\n", region.name, static_cast<unsigned long>(region.lcid),
                Printable(region.format.decimal).c_str(), Printable(region.format.thousands).c_str());
    Generator generate(seed);  // the same inputs in every region, written in its separators
    CompareTexts(diff, region, generate.NumberTexts(region.format, count));
    CompareNumbers(diff, region, generate.Doubles(count), breakOurs);
    CompareBooleanText(diff, region);
    CompareDates(diff, region, generate, count / 3);
  }
  std::fflush(stdout);
  return diff.Print() == 0 ? 0 : 1;
}
