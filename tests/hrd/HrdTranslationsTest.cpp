#include "hrd/HrdTranslations.h"

#include <gtest/gtest.h>

#include "common/ErrorTrap.h"

namespace bridge::hrd {
namespace {

using common::NumberFormat;

const NumberFormat kCommaGrouping{".", ","};
const NumberFormat kStopGrouping{",", "."};
const NumberFormat kBlankGrouping{",", " "};

struct FrequencyCase {
  const char* hertz;
  NumberFormat format;
  const char* published;
};

class FrequencyTextTest : public ::testing::TestWithParam<FrequencyCase> {};

TEST_P(FrequencyTextTest, PublishesKilohertzAsTheSuiteExpects) {
  std::string working;
  EXPECT_EQ(FrequencyText(GetParam().hertz, GetParam().format, working), GetParam().published);
}

INSTANTIATE_TEST_SUITE_P(
    RegionalFormats, FrequencyTextTest,
    ::testing::Values(FrequencyCase{"7040000", kCommaGrouping, "7,040.00"},
                      FrequencyCase{"1810999", kCommaGrouping, "1,810.99"},  // cut, not rounded
                      FrequencyCase{"14070126", kCommaGrouping, "14,070.12"},
                      FrequencyCase{"500", kCommaGrouping, ".50"},
                      FrequencyCase{"", kCommaGrouping, "0"},
                      FrequencyCase{"000,000.00", kCommaGrouping, ".00"},  // the box's design text
                      FrequencyCase{"000,000.00", kStopGrouping, ",000"},  // is no frequency yet
                      FrequencyCase{"000,000.00", kBlankGrouping, ",000"},
                      FrequencyCase{"7040500", kStopGrouping, "7.040,50"},
                      FrequencyCase{"14070126", kStopGrouping, "14.070,12"},
                      FrequencyCase{"500000", kStopGrouping, "500,000"},  // no full stop: three decimals
                      FrequencyCase{"14070126", kBlankGrouping, "14 070,126"},
                      FrequencyCase{"1000000000", kCommaGrouping, "1,000,000.00"}));

TEST(FrequencyTextTest, NonNumericTextFailsWithTypeMismatchBeforeFormatting) {
  std::string working;
  try {
    FrequencyText("14.07 MHz", kCommaGrouping, working);
    FAIL() << "no failure";
  } catch (const common::Failure& failure) {
    EXPECT_EQ(failure.Code(), 13);
  }
  EXPECT_EQ(working, "");
}

struct ModeCase {
  const char* hrd;
  const char* mode;
  const char* radioMode;
};

class TranslateModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(TranslateModeTest, GivesTheSuiteModeAndTheRadioMode) {
  const ModeTranslation translation = TranslateMode(GetParam().hrd);
  EXPECT_EQ(translation.mode, GetParam().mode);
  EXPECT_EQ(translation.radioMode, GetParam().radioMode);
}

INSTANTIATE_TEST_SUITE_P(
    ModeTable, TranslateModeTest,
    ::testing::Values(ModeCase{"NONE", "", ""}, ModeCase{"LSB", "SSB", "LSB"}, ModeCase{"usb", "SSB", "USB"},
                      ModeCase{"CW", "CW", "CW"}, ModeCase{"cw-r", "CW", "CW-R"}, ModeCase{"AM", "AM", "AM"},
                      ModeCase{"WFM", "FM", "WBFM"}, ModeCase{"FM", "FM", "FM"}, ModeCase{"RTTY", "RTTY", "RTTY"},
                      ModeCase{"RTTY-R", "RTTY", "RTTY-R"}, ModeCase{"FSK", "RTTY", "RTTY"},
                      ModeCase{"FSK-R", "RTTY", "RTTY-R"}, ModeCase{"PKT", "PKT", "PKT"},
                      ModeCase{"DIG", "PSK31", "USB"}, ModeCase{"CWL", "CW", "CW"},  // capital prefix
                      ModeCase{"cwl", "", ""},  // the prefix test is case-sensitive
                      ModeCase{"SAM", "", ""}, ModeCase{"", "", ""}));

TEST(RadioStateTest, OnAndOffInAnyCaseOthersChangeNothing) {
  EXPECT_EQ(RadioStateFor("ON"), "transmit");
  EXPECT_EQ(RadioStateFor("off"), "receive");
  EXPECT_EQ(RadioStateFor("Off"), "receive");
  EXPECT_FALSE(RadioStateFor("").has_value());
  EXPECT_FALSE(RadioStateFor("on ").has_value());
  EXPECT_FALSE(RadioStateFor("tx").has_value());
}

}  // namespace
}  // namespace bridge::hrd
