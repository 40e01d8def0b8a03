// Fuzzes the translations of HRD's values: frequency, transmit state and mode.
//
// Input: a format byte (FormatFor), then the text HRD sent. The same text goes through all
// three translations.
#include <cmath>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "FuzzSupport.h"
#include "base/Text.h"
#include "common/Conversions.h"
#include "hrd/HrdTranslations.h"

namespace bridge::fuzz {
namespace {

using common::NumberFormat;

void FuzzFrequency(const std::string& hertz, const NumberFormat& format) {
  const std::string untouched = "\x01untouched";
  std::string working = untouched;
  std::string published;
  std::int32_t failure = 0;
  try {
    published = hrd::FrequencyText(hertz, format, working);
  } catch (const common::Failure& error) {
    failure = error.Code();
  }
  auto shown = [&] { return "FrequencyText(" + Quote(hertz) + ") gave " + Quote(published); };

  if (hertz.empty()) {
    Check(failure == 0 && published == "0", shown);
    return;
  }
  if (hertz == hrd::kNoFrequencyYet) {
    // The box's design text is zero hertz in every region.
    std::string zeroWorking;
    Check(failure == 0 && published == hrd::FrequencyText("0", format, zeroWorking),
          [&] { return shown() + ", not the text of 0 Hz"; });
    return;
  }
  double value = 0;
  std::int32_t conversionFailure = 0;
  try {
    value = common::ToDouble(hertz, format);
  } catch (const common::Failure& error) {
    conversionFailure = error.Code();
  }
  Check(failure == conversionFailure, [&] {
    return shown() + ", failure " + std::to_string(failure) + " where the number gives " +
           std::to_string(conversionFailure);
  });
  if (failure != 0) {
    Check(working == untouched, [&] { return "a failed FrequencyText(" + Quote(hertz) + ") set the working text"; });
    return;
  }
  Check(working == published, [&] { return shown() + ", its working text " + Quote(working); });
  Check(published.find('E') == std::string::npos, [&] { return shown() + ": an exponent"; });

  // Kilohertz, grouped, with three decimals of which two stay where a full stop stands: in
  // magnitude at most a hundredth below the value (the cut), half a thousandth above it.
  const double kilohertz = value / 1000;
  double back = 0;
  try {
    back = common::ToDouble(published, format);
  } catch (const common::Failure& error) {
    Fail(shown() + ", which is no number: error " + std::to_string(error.Code()));
  }
  const double magnitude = std::fabs(kilohertz);
  const double slack = magnitude * 1e-14;
  Check(std::fabs(back) >= magnitude - 0.0105 - slack && std::fabs(back) <= magnitude + 0.0005 + slack &&
            (back == 0 || (back < 0) == (kilohertz < 0)),
        [&] { return shown() + ", read back as " + std::to_string(back) + " kHz"; });
  const std::size_t decimal = published.rfind(format.decimal);
  Check(decimal != std::string::npos, [&] { return shown() + ": no decimal separator"; });
  const std::size_t decimals = published.size() - decimal - format.decimal.size();
  const bool cut = published.find('.') != std::string::npos;
  Check(decimals == (cut ? 2u : 3u), [&] { return shown() + ": " + std::to_string(decimals) + " decimals"; });
}

void FuzzRadioState(const std::string& tx) {
  const std::optional<std::string> state = hrd::RadioStateFor(tx);
  Check(!state || *state == "transmit" || *state == "receive",
        [&] { return "RadioStateFor(" + Quote(tx) + ") gave " + Quote(*state); });
  // The letter case of HRD's text changes nothing.
  Check(hrd::RadioStateFor(base::ToUpper(tx)) == state && hrd::RadioStateFor(base::ToLower(tx)) == state,
        [&] { return "RadioStateFor(" + Quote(tx) + ") depends on the letter case"; });
  if (state) Check(tx.size() == 2 || tx.size() == 3, [&] { return "RadioStateFor(" + Quote(tx) + ") took it"; });
}

void FuzzMode(const std::string& mode) {
  static const std::set<std::pair<std::string, std::string>> kPairs = {
      {"", ""},       {"SSB", "LSB"}, {"SSB", "USB"},   {"CW", "CW"},       {"CW", "CW-R"}, {"AM", "AM"},
      {"FM", "WBFM"}, {"FM", "FM"},   {"RTTY", "RTTY"}, {"RTTY", "RTTY-R"}, {"PKT", "PKT"}, {"PSK31", "USB"}};
  const hrd::ModeTranslation translation = hrd::TranslateMode(mode);
  auto shown = [&] {
    return "TranslateMode(" + Quote(mode) + ") gave (" + Quote(translation.mode) + ", " + Quote(translation.radioMode) +
           ")";
  };
  Check(kPairs.count({translation.mode, translation.radioMode}) != 0, shown);
  // A known name in any case gives the same; only the "CW" prefix rule minds the case.
  if (mode.rfind("CW", 0) != 0) {
    const hrd::ModeTranslation upper = hrd::TranslateMode(base::ToUpper(mode));
    const hrd::ModeTranslation lower = hrd::TranslateMode(base::ToLower(mode));
    if (!translation.mode.empty())
      Check(upper.mode == translation.mode && upper.radioMode == translation.radioMode &&
                lower.mode == translation.mode && lower.radioMode == translation.radioMode,
            [&] { return shown() + ", which depends on the letter case"; });
    if (base::ToUpper(mode).rfind("CW", 0) != 0)
      Check(!translation.mode.empty() || (upper.mode.empty() && lower.mode.empty()),
            [&] { return shown() + ", which depends on the letter case"; });
  } else {
    Check(translation.mode == "CW", [&] { return shown() + ", not CW"; });
  }
}

}  // namespace
}  // namespace bridge::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace bridge::fuzz;
  if (size == 0) return 0;
  const bridge::common::NumberFormat format = FormatFor(data[0]);
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  FuzzFrequency(text, format);
  FuzzRadioState(text);
  FuzzMode(text);
  return 0;
}
