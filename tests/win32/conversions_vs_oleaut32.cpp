// Runs thousands of generated inputs through the program's own conversions and through
// oleaut32's variant conversions, in several regional formats, and lists every difference
// grouped by kind. Differences explained in docs/reliability.md are marked "known"; the
// program exits 1 when any other difference is found.
//
//   conversions_vs_oleaut32.exe [--seed N] [--count N] [--examples N] [--break-ours]
#include <windows.h>
#include <oleauto.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ConversionCase.h"
#include "ConversionInputs.h"
#include "KnownDifferences.h"
#include "base/Failure.h"
#include "common/Conversions.h"

namespace {

using bridge::base::Failure;
using namespace conversions;
namespace conv = bridge::common;

/// The locale's own separators, without the user's overrides, as oleaut32 gets them here.
NumberFormat FormatOf(LCID lcid) {
  NumberFormat format;
  char buffer[16];
  if (GetLocaleInfoA(lcid, LOCALE_SDECIMAL | LOCALE_NOUSEROVERRIDE, buffer, sizeof buffer) > 1) format.decimal = buffer;
  if (GetLocaleInfoA(lcid, LOCALE_STHOUSAND | LOCALE_NOUSEROVERRIDE, buffer, sizeof buffer) > 0) format.thousands = buffer;
  return format;
}

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
    const char* valueKind = "date-log";
    switch (generate.Below(5)) {
      case 0:
        value = generate.Uniform(-657434, 2958466);
        valueKind = "date-any";
        break;
      case 1:
        value = std::floor(generate.Uniform(-657434, 2958465)) + (generate.Below(86400) + 0.5) / 86400.0;
        valueKind = "date-half-second";
        break;
      case 2:
        value = generate.Uniform(-3, 3);
        valueKind = "date-near-epoch";
        break;
      case 3:
        value = generate.Chance(50) ? generate.Uniform(-657435.5, -657433) : generate.Uniform(2958464, 2958467);
        valueKind = "date-range-edges";
        break;
      default:
        value = 40000 + generate.Uniform(0, 20000);
        break;
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

