#include "hrd/HrdTranslations.h"

#include "base/Text.h"

namespace bridge::hrd {
namespace {

struct ModeRow {
  const char* hrd;
  const char* mode;
  const char* radioMode;
};

constexpr ModeRow kModeTable[] = {
    {"NONE", "", ""},          {"LSB", "SSB", "LSB"},       {"USB", "SSB", "USB"},
    {"CW", "CW", "CW"},        {"CW-R", "CW", "CW-R"},      {"AM", "AM", "AM"},
    {"WFM", "FM", "WBFM"},     {"FM", "FM", "FM"},          {"RTTY", "RTTY", "RTTY"},
    {"RTTY-R", "RTTY", "RTTY-R"}, {"FSK", "RTTY", "RTTY"},  {"FSK-R", "RTTY", "RTTY-R"},
    {"PKT", "PKT", "PKT"},     {"DIG", "PSK31", "USB"},
};

}  // namespace

std::string FrequencyText(std::string_view hertzText, const common::NumberFormat& format,
                          std::string& workingText) {
  if (hertzText.empty()) return "0";
  // Before HRD's first value the box holds its design text: that is zero hertz, not an
  // error to log at every start in a region whose decimal separator is a comma.
  const double kilohertz = hertzText == kNoFrequencyYet ? 0.0 : common::ToDouble(hertzText, format) / 1000;
  workingText = common::FormatNumber(kilohertz, "###,###.000", format);
  // Dropping the last character keeps two of three decimals where the decimal separator is
  // a full stop. The test is for a full stop anywhere, as the suite has always seen it: with
  // a decimal comma it also cuts where a full stop groups the thousands.
  if (workingText.find('.') != std::string::npos) workingText.pop_back();
  return workingText;
}

std::optional<std::string> RadioStateFor(std::string_view hrdTx) {
  const std::string state = base::ToLower(hrdTx);
  if (state == "on") return "transmit";
  if (state == "off") return "receive";
  return std::nullopt;
}

ModeTranslation TranslateMode(std::string_view hrdMode) {
  const std::string upper = base::ToUpper(hrdMode);
  for (const ModeRow& row : kModeTable)
    if (upper == row.hrd) return {row.mode, row.radioMode};
  // The prefix test is on the text as HRD sent it: "CWL" is CW, "cwl" is not.
  if (hrdMode.substr(0, 2) == "CW") return {"CW", "CW"};
  return {};
}

}  // namespace bridge::hrd
