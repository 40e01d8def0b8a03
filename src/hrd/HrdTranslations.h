// Translations of HRD's frequency, transmit state and mode into the values the suite reads.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/Conversions.h"

namespace bridge::hrd {

/// What a frequency box holds before HRD's first value: a design text in the full-stop
/// format, which is no number where the decimal separator is a comma.
inline constexpr const char* kNoFrequencyYet = "000,000.00";

/// HRD's frequency in hertz as the published kilohertz text: grouped, two decimals cut
/// (not rounded) where a full stop stands in the text, "0" for an empty text; the design
/// text `kNoFrequencyYet` is 0 Hz in every region.
/// `workingText` receives the formatted text as soon as it exists, for failure reports.
/// Throws Failure(TypeMismatch) when the text is not a number.
std::string FrequencyText(std::string_view hertzText, const common::NumberFormat& format,
                          std::string& workingText);

/// HRD's transmit state as the published radio state: "transmit" for "on", "receive" for
/// "off" (any case); nothing for any other text.
std::optional<std::string> RadioStateFor(std::string_view hrdTx);

/// The suite's mode and the radio's mode for one HRD mode name.
struct ModeTranslation {
  std::string mode;
  std::string radioMode;
};

/// Looks the HRD mode name up, whole names in any case; otherwise a name that begins with
/// capital "CW" is CW, and anything else gives empty texts.
ModeTranslation TranslateMode(std::string_view hrdMode);

}  // namespace bridge::hrd
