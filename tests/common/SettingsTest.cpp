#include <gtest/gtest.h>

#include "common/Common.h"
#include "support/CommonFixture.h"

namespace bridge::common {
namespace {

const std::string kApp = "Tavix_HRD_Bridge";
const std::string kLog = "C:\\Tavix\\ErrorLog.txt";

class SettingsTest : public testing::CommonFixture {
 protected:
  SettingsTest() { common.Initialize(); }
  void Store(const std::string& value) { fake.settings.Save(kApp, "Windows", "Key", value); }
  bool Boolean(const std::string& defaultValue = "False") {
    return common.GetBooleanSetting(kApp, "Windows", "Key", defaultValue);
  }
  std::string Log() const { return fake.files.Content(kLog).value_or(""); }

};

TEST_F(SettingsTest, BooleansFromWordsAndNumbersElseTheDefault) {
  EXPECT_FALSE(Boolean());
  for (const char* yes : {"true", "TRUE", "-1", "1"}) {
    Store(yes);
    EXPECT_TRUE(Boolean()) << yes;
  }
  for (const char* no : {"0", "false", "yes"}) {
    Store(no);
    EXPECT_FALSE(Boolean()) << no;
  }
  Store("yes");
  EXPECT_TRUE(Boolean("True"));  // unreadable stored text gives the default
  EXPECT_EQ(Log(), "");
}

TEST_F(SettingsTest, NumbersMustFitTheirTypeAndRoundHalfToEven) {
  Store("40000");
  EXPECT_EQ(common.GetIntegerSetting(kApp, "Windows", "Key", "7"), 7);
  EXPECT_EQ(common.GetLongSetting(kApp, "Windows", "Key", "7"), 40000);
  Store("2.5");
  EXPECT_EQ(common.GetIntegerSetting(kApp, "Windows", "Key", "0"), 2);
  Store("3.5");
  EXPECT_EQ(common.GetIntegerSetting(kApp, "Windows", "Key", "0"), 4);
  Store("-180");
  EXPECT_EQ(common.GetLongSetting(kApp, "Windows", "Key", "0"), -180);
}

TEST_F(SettingsTest, KeysAreFoundWhateverTheirCase) {
  fake.settings.Save(kApp, "Windows", "VelkMainWindowState", "2");
  EXPECT_EQ(common.GetIntegerSetting(kApp, "windows", "VelkMainWindowstate", "0"), 2);
}

TEST_F(SettingsTest, UnconvertibleDefaultIsReportedWithItsContextAndGivesZero) {
  EXPECT_EQ(common.GetLongSetting(kApp, "Windows", "Key", "abc"), 0);
  EXPECT_NE(Log().find("program error 13 in module Common.GetLongSetting, SectionName = Windows, Key = Key, "
                       "theSetting = abc, DefaultValue = abc: Type mismatch"),
            std::string::npos)
      << Log();
  Store("12");
  EXPECT_FALSE(common.GetBooleanSetting(kApp, "Windows", "Key", "abc"));
  EXPECT_NE(Log().find("Common.GetBooleanSetting, SectionName = Windows, Key = Key, theSetting = 12, "
                       "DefaultValue = abc: Type mismatch"),
            std::string::npos);
}

TEST_F(SettingsTest, DebuggingWritesOneLinePerRead) {
  common.SetDebug(true);
  Store("-180");
  common.GetLongSetting(kApp, "Windows", "Key", "0");
  common.GetBooleanSetting(kApp, "Windows", "Missing", "False");
  const auto lines = fake.files.Lines(kLog);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(lines[lines.size() - 2].find(" > GetLongSetting,    Section = Windows, Key = Key, Result = -180"),
            std::string::npos);
  EXPECT_NE(lines.back().find(" > GetBooleanSetting, Section = Windows, Key = Missing, Result = False"),
            std::string::npos);
}

TEST_F(SettingsTest, VersionIsSavedAtEveryStart) {
  fake.settings.Save(kApp, "General", "Version", "107");
  common.Initialize();
  EXPECT_EQ(fake.settings.Stored(kApp, "General", "Version"), "108");
}

}  // namespace
}  // namespace bridge::common
