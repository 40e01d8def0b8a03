#include <gtest/gtest.h>

#include <cstring>

#include "common/Common.h"
#include "common/Registry.h"
#include "support/CommonFixture.h"

namespace bridge::common {
namespace {

using platform::RegistryRoot;
using platform::RegistryValue;

const std::string kLog = "C:\\Tavix\\ErrorLog.txt";
const std::string kCurrentVersion = "Software\\Microsoft\\Windows NT\\CurrentVersion";

RegistryValue Text(const std::string& name, const std::string& value) { return {name, 1, value + '\0'}; }

class EnvironmentTest : public testing::CommonFixture {
 protected:
  void Start() {
    fake.clock.now = {2026, 12, 0, 6, 21, 5, 9, 0};
    common.Initialize();
  }
  void Version(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor, std::uint32_t build = 7601,
               const std::string& servicePack = "") {
    std::string field(128, ' ');
    field.replace(0, servicePack.size() + 1, servicePack + '\0');
    fake.system.version = {platformId, major, minor, build, field};
  }
  std::string OsLine() {
    common.WriteLogEntry("x");
    for (const auto& line : fake.files.Lines(kLog))
      if (line.find("Operating System  : ") != std::string::npos) return line.substr(line.find(" : ") + 3);
    return "<none>";
  }

};

TEST_F(EnvironmentTest, ReportPrecedesTheFirstLineStampedWithTheStartTime) {
  fake.system.executableFolder = "C:\\Radio\\Bridge";
  fake.system.monitors = {{0, 0, 1920, 1080}, {1920, 0, 3840, 1080}};
  Version(2, 6, 1, 7601, "Service Pack 1");
  fake.system.registry[{RegistryRoot::LocalMachine, kCurrentVersion}] = {Text("CurrentBuildNumber", "7601"),
                                                                         Text("ProductName", "Windows 7 Ultimate")};
  Start();
  fake.clock.now = {2026, 12, 0, 6, 22, 0, 0, 0};
  common.ReportError(282, "DDEServerModule.InformClient");

  const std::string s = "06-Dec-2026 21:05:09 > ";
  const std::string n = "06-Dec-2026 22:00:00 > ";
  const std::vector<std::string> expected = {
      "",
      s + "Tavix_HRD_Bridge version 1.0.8",
      s + "App.Path          : C:\\Radio\\Bridge",
      s + "App.exe           : Tavix_HRD_Bridge",
      s + "Operating System  : Windows 7 Ultimate [Service Pack 1] (64-bit) build 7601",
      s + "Locale ID         : 0 (0x0)",
      s + "ANSI CodePage     : ",
      s + "OEM CodePage      : ?",
      s + "Country           : ?",
      s + "Language          : ?",
      s + "DecimalSeparator  : ",
      s + "ThousandSeparator : ",
      s + "Tavix Apps        : ",
      n + "Monitors          : 2",
      n + "Monitor 1",
      n + "   width          : 1920",
      n + "   height         : 1080",
      n + "   dimensions     : (0, 0)-(1920, 1080)",
      n + "Monitor 2",
      n + "   width          : 1920",
      n + "   height         : 1080",
      n + "   dimensions     : (1920, 0)-(3840, 1080)",
      n + "program error 282 in module DDEServerModule.InformClient: "
          "No foreign application responded to a DDE initiate",
  };
  EXPECT_EQ(fake.files.Lines("C:\\Radio\\Bridge\\ErrorLog.txt"), expected);
}

TEST_F(EnvironmentTest, RegistryNamesLaterSystemsWithTheirBuild) {
  Version(2, 6, 2, 9200);
  fake.system.registry[{RegistryRoot::LocalMachine, kCurrentVersion}] = {Text("ProductName", "Windows 10 Pro"),
                                                                         Text("CurrentBuildNumber", "19045")};
  Start();
  EXPECT_EQ(OsLine(), "Windows 10 Pro (64-bit) build 19045");
}

struct EightPointOneCase {
  const char* build;  // nullptr: no CurrentBuildNumber
  const char* line;
};

class WithoutProductNameTest : public EnvironmentTest, public ::testing::WithParamInterface<EightPointOneCase> {};

TEST_P(WithoutProductNameTest, NameFollowsTheBuild) {
  Version(2, 6, 3, 9600);
  fake.system.architecture = 0;
  auto& values = fake.system.registry[{RegistryRoot::LocalMachine, kCurrentVersion}];
  if (GetParam().build) values.push_back(Text("CurrentBuildNumber", GetParam().build));
  Start();
  EXPECT_EQ(OsLine(), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Builds, WithoutProductNameTest,
                         ::testing::Values(EightPointOneCase{"9600", "Windows 8.1 (32-bit) build 9600"},
                                           EightPointOneCase{"10240", "Windows 10 (32-bit) build 10240"},
                                           EightPointOneCase{nullptr, "? (32-bit) build 0"}));

TEST_F(EnvironmentTest, TableRowsAndUnknownVersions) {
  Version(2, 5, 1, 2600);
  Start();
  EXPECT_EQ(common.GetOSName(), "Windows XP");
  Version(1, 4, 10, 1998);
  Start();
  EXPECT_EQ(common.GetOSName(), "Windows 98");
  Version(2, 11, 0, 30000);
  Start();
  EXPECT_EQ(common.GetOSName(), "unknown (2.11.0)");
  EXPECT_EQ(OsLine(), "unknown (2.11.0) (16-bit) build 30000");
}

struct TenCase {
  std::uint32_t build;
  std::uint16_t architecture;
  const char* line;
};

// Windows 10 and 11 tell a program that declares them its real version, 10.0; Windows 11
// differs only by its build, and its registry still names it "Windows 10".
class TenAndElevenTest : public EnvironmentTest, public ::testing::WithParamInterface<TenCase> {};

TEST_P(TenAndElevenTest, NamedByTheBuildNotTheRegistry) {
  Version(2, 10, 0, GetParam().build);
  fake.system.architecture = GetParam().architecture;
  fake.system.registry[{RegistryRoot::LocalMachine, kCurrentVersion}] = {Text("ProductName", "Windows 10 Pro"),
                                                                         Text("CurrentBuildNumber", "1")};
  Start();
  EXPECT_EQ(OsLine(), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Builds, TenAndElevenTest,
                         ::testing::Values(TenCase{19045, 9, "Windows 10 (64-bit) build 19045"},
                                           TenCase{22631, 9, "Windows 11 (64-bit) build 22631"},
                                           TenCase{21999, 0, "Windows 10 (32-bit) build 21999"},
                                           TenCase{22000, 0, "Windows 11 (32-bit) build 22000"}));

TEST_F(EnvironmentTest, ServicePackTextIsTrimmedAndCutAtItsNul) {
  Start();
  EXPECT_EQ(common.CSDVersionTrim("  Service Pack 1 "), "Service Pack 1");
  EXPECT_EQ(common.CSDVersionTrim(std::string("SP2 \0junk   ", 12)), "SP2 ");
  EXPECT_EQ(common.CSDVersionTrim(""), "");
  EXPECT_EQ(common.CSDVersionTrim(std::string(1, '\0') + "   "), "");
  EXPECT_EQ(common.CSDVersionTrim(" \tSP3\t "), "\tSP3\t");  // spaces only: tabs stay
}

TEST_F(EnvironmentTest, RegistryMatchesNamesAsSubstringsAndFormatsByType) {
  Start();
  std::string number(4, '\0');
  const std::int32_t minusTwo = -2;
  std::memcpy(number.data(), &minusTwo, 4);
  fake.system.registry[{RegistryRoot::CurrentUser, "Key"}] = {
      Text("CurrentBuildNumberX", "22631"), {"Count", 4, number}, {"List", 7, std::string("a\0b\0\0", 5)}};
  Registry registry(fake.system, common);
  EXPECT_TRUE(registry.KeyValuePresent(RegistryRoot::CurrentUser, "Key", "BuildNumber"));
  EXPECT_FALSE(registry.KeyValuePresent(RegistryRoot::CurrentUser, "Key", "buildnumber"));
  EXPECT_FALSE(registry.KeyValuePresent(RegistryRoot::CurrentUser, "Missing", "Count"));
  EXPECT_EQ(registry.GetKeyValue(RegistryRoot::CurrentUser, "Key", "CurrentBuildNumber"), "22631");
  EXPECT_EQ(registry.GetKeyValue(RegistryRoot::CurrentUser, "Key", "Count"), "-2");
  EXPECT_EQ(registry.GetKeyValue(RegistryRoot::CurrentUser, "Key", "List"), std::string("a\0b", 3));
  EXPECT_EQ(registry.GetKeyValue(RegistryRoot::CurrentUser, "Key", "Nothing"), "");
}

}  // namespace
}  // namespace bridge::common
