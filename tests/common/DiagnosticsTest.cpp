#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>

#include "common/Common.h"
#include "support/CommonFixture.h"

namespace bridge::common {
namespace {

const std::string kLog = "C:\\Tavix\\ErrorLog.txt";
// The user's own log, used when the program's folder cannot be written.
const std::string kUserFolder = "C:\\Users\\Operator\\AppData\\Local\\Tavix_HRD_Bridge";
const std::string kUserLog = kUserFolder + "\\ErrorLog.txt";
const std::string kUserLogNote =
    "Tavix_HRD_Bridge could not write ErrorLog.txt in its own folder (C:\\Tavix), so it keeps its error log here "
    "instead: " + kUserLog;

class FakeIndicator : public ErrorLogIndicator {
 public:
  void ErrorLogExists() override {
    ++shown;
    if (duringFirstWrite) duringFirstWrite();
  }
  int shown = 0;
  std::function<void()> duringFirstWrite;
};

class DiagnosticsTest : public testing::CommonFixture {
 protected:
  DiagnosticsTest() {
    fake.clock.now = {2026, 12, 0, 6, 21, 5, 9, 0};
    common.SetErrorLogIndicator(&indicator);
    common.Initialize();
    fake.clock.now = {2026, 12, 0, 6, 21, 7, 30, 0};
  }
  std::vector<std::string> Lines() const { return fake.files.Lines(kLog); }

  FakeIndicator indicator;
};

TEST_F(DiagnosticsTest, ARunWithoutErrorsWritesNothingAtAll) {
  common.DebugLog("not written while debugging is off");
  common.Terminate();
  EXPECT_FALSE(fake.files.Content(kLog).has_value());
  EXPECT_EQ(indicator.shown, 0);
  EXPECT_FALSE(common.StartupLogged());
}

TEST_F(DiagnosticsTest, FirstErrorWritesReportStampedAtStartThenTheErrorLine) {
  common.ReportError(13, "DDEServer.LinkExecute");

  const auto lines = Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.front(), "");
  EXPECT_EQ(lines[1], "06-Dec-2026 21:05:09 > Tavix_HRD_Bridge version 1.0.8");
  EXPECT_EQ(lines.back(), "06-Dec-2026 21:07:30 > program error 13 in module DDEServer.LinkExecute: Type mismatch");
  EXPECT_EQ(indicator.shown, 1);
  EXPECT_TRUE(common.StartupLogged());
  EXPECT_EQ(fake.files.opens, 1);
  EXPECT_NE(fake.ui.FindForm("CommonUI"), nullptr);
}

TEST_F(DiagnosticsTest, SecondErrorAddsExactlyOneLine) {
  common.ReportError(282, "DDEServerModule.InformClient");
  const std::size_t before = Lines().size();
  common.ReportError(-5, "Common.GetOSName");
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), before + 1);
  EXPECT_EQ(lines.back(),
            "06-Dec-2026 21:07:30 > program error -5 in module Common.GetOSName: "
            "Application-defined or object-defined error");
  EXPECT_EQ(indicator.shown, 1);
}

TEST_F(DiagnosticsTest, ExistingLogIsAppendedToWithAnEmptyLineFirst) {
  fake.files.OpenForAppend(kLog)->WriteLine("earlier run");
  common.WriteLogEntry("now");
  const auto lines = Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "earlier run");
  EXPECT_EQ(lines[1], "");
}

TEST_F(DiagnosticsTest, ShutdownLineEndsARunThatLogged) {
  common.ReportError(6, "UTC.MonthDays");
  common.Terminate();
  EXPECT_EQ(Lines().back(), "06-Dec-2026 21:07:30 > Common.Terminate: Tavix_HRD_Bridge shutdown");
  EXPECT_EQ(fake.ui.FindForm("CommonUI"), nullptr);
}

struct SizeCase {
  std::int64_t length;
  bool written;
  bool inUserFolder;  // the program's folder cannot be written: the limit holds for the user's log
};

void PrintTo(const SizeCase& size, std::ostream* out) {
  *out << size.length << (size.inUserFolder ? " bytes in the user's folder" : " bytes beside the program");
}

class LogSizeLimitTest : public DiagnosticsTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(LogSizeLimitTest, WritesUpToAndIncludingTheLimitOnly) {
  const std::string log = GetParam().inUserFolder ? kUserLog : kLog;
  if (GetParam().inUserFolder) fake.files.MakeReadOnly("C:\\Tavix");
  fake.files.OpenForAppend(log)->WriteLine("old");
  fake.files.SetLength(log, GetParam().length);
  common.SetDebug(true);
  common.ReportError(13, "VelkMain.HRDTX_Change");

  EXPECT_EQ(fake.files.Lines(log).size() > 1, GetParam().written);
  EXPECT_EQ(common.StartupLogged(), GetParam().written);
  EXPECT_EQ(indicator.shown, GetParam().written ? 1 : 0);
  EXPECT_EQ(common.GetDebug(), GetParam().written);  // an oversized log also stops debugging
}

INSTANTIATE_TEST_SUITE_P(Boundary, LogSizeLimitTest,
                         ::testing::Values(SizeCase{100'000'000, true, false}, SizeCase{100'000'001, false, false},
                                           SizeCase{100'000'000, true, true}, SizeCase{100'000'001, false, true}));

TEST_F(DiagnosticsTest, DebugLinesOnlyWhileDebugging) {
  common.DebugLog("hidden");
  EXPECT_FALSE(fake.files.Content(kLog).has_value());
  common.SetDebug(true);
  common.DebugLog("shown");
  EXPECT_EQ(Lines().back(), "06-Dec-2026 21:07:30 > shown");
}

TEST_F(DiagnosticsTest, NestedWriteGoesIntoTheOpenFileBeforeTheOuterLine) {
  indicator.duringFirstWrite = [&] { common.WriteLogEntry("nested"); };
  common.WriteLogEntry("outer");
  common.WriteLogEntry("after");

  const auto lines = Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 3], "06-Dec-2026 21:07:30 > nested");
  EXPECT_EQ(lines[lines.size() - 2], "06-Dec-2026 21:07:30 > outer");
  EXPECT_EQ(lines.back(), "06-Dec-2026 21:07:30 > after");
  EXPECT_EQ(fake.files.opens, 2);  // the nested write used the file already open
  EXPECT_EQ(lines.front(), "");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), ""), 1);  // one report only
}

// "see ErrorLog" must point at a file that is there.
TEST_F(DiagnosticsTest, ALogThatCannotBeOpenedShowsNothingUntilALineIsWritten) {
  fake.files.locked = true;
  common.ReportError(70, "Common.SaveWindowPosition");
  EXPECT_FALSE(fake.files.Content(kLog).has_value());
  EXPECT_FALSE(fake.files.Content(kUserLog).has_value());
  EXPECT_FALSE(common.StartupLogged());
  EXPECT_EQ(indicator.shown, 0);

  fake.files.locked = false;
  common.ReportError(6, "UTC.MonthDays");
  const auto lines = Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "");  // the report comes with the first line that is written
  EXPECT_EQ(lines.back(), "06-Dec-2026 21:07:30 > program error 6 in module UTC.MonthDays: Overflow");
  EXPECT_TRUE(common.StartupLogged());
  EXPECT_EQ(indicator.shown, 1);
}

// A 64-bit program (or one with a manifest) in a folder under Program Files may not write
// there and gets no VirtualStore.
TEST_F(DiagnosticsTest, UnwritableProgramFolderSendsTheLogToTheUsersFolderWhichSaysSoFirst) {
  fake.files.MakeReadOnly("C:\\Tavix");
  fake.files.RemoveFolder(kUserFolder);
  common.ReportError(13, "DDEServer.LinkExecute");
  common.ReportError(282, "DDEServerModule.InformClient");

  EXPECT_FALSE(fake.files.Content(kLog).has_value());
  const auto lines = fake.files.Lines(kUserLog);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], kUserLogNote);
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "06-Dec-2026 21:05:09 > Tavix_HRD_Bridge version 1.0.8");
  EXPECT_EQ(lines[lines.size() - 2],
            "06-Dec-2026 21:07:30 > program error 13 in module DDEServer.LinkExecute: Type mismatch");
  EXPECT_EQ(lines.back(),
            "06-Dec-2026 21:07:30 > program error 282 in module DDEServerModule.InformClient: "
            "No foreign application responded to a DDE initiate");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), kUserLogNote), 1);
  EXPECT_EQ(common.ErrorLogPathname(), kUserLog);
  EXPECT_EQ(indicator.shown, 1);
}

TEST_F(DiagnosticsTest, UsersLogFromAnEarlierRunGetsTheNoteAfterAnEmptyLine) {
  fake.files.MakeReadOnly("C:\\Tavix");
  fake.files.OpenForAppend(kUserLog)->WriteLine("earlier run");
  common.WriteLogEntry("now");
  const auto lines = fake.files.Lines(kUserLog);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], "earlier run");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], kUserLogNote);
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines.back(), "06-Dec-2026 21:07:30 > now");
}

TEST_F(DiagnosticsTest, ARunThatHasWrittenBesideTheProgramStartsNoSecondLog) {
  common.ReportError(13, "DDEServer.LinkExecute");
  const std::size_t before = Lines().size();
  fake.files.MakeReadOnly("C:\\Tavix");
  common.ReportError(6, "UTC.MonthDays");
  EXPECT_EQ(Lines().size(), before);
  EXPECT_FALSE(fake.files.Content(kUserLog).has_value());
}

// Neither the program's folder nor the user's can take the log: the run goes on without it.
class NoPlaceForTheLogTest : public DiagnosticsTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(NoPlaceForTheLogTest, NothingIsShownAndTheRunGoesOn) {
  fake.files.MakeReadOnly("C:\\Tavix");
  const std::string why = GetParam();
  if (why == "user folder cannot be made") {
    fake.files.RemoveFolder(kUserFolder);
    fake.files.MakeReadOnly("C:\\Users\\Operator\\AppData\\Local");
  } else if (why == "user folder cannot be written") {
    fake.files.MakeReadOnly(kUserFolder);
  } else {
    fake.system.localAppDataFolder.clear();
  }
  common.SetDebug(true);
  common.ReportError(13, "DDEServer.LinkExecute");
  common.DebugLog("debugging");
  common.Terminate();

  EXPECT_FALSE(fake.files.Content(kLog).has_value());
  EXPECT_FALSE(fake.files.Content(kUserLog).has_value());
  EXPECT_EQ(indicator.shown, 0);
  EXPECT_FALSE(common.StartupLogged());
  EXPECT_TRUE(common.GetDebug());
}

INSTANTIATE_TEST_SUITE_P(Why, NoPlaceForTheLogTest,
                         ::testing::Values("user folder cannot be made", "user folder cannot be written",
                                           "no user folder known"));

TEST_F(DiagnosticsTest, InitializeSavesTheVersionAndSetsTheLogPath) {
  EXPECT_EQ(fake.settings.Stored("Tavix_HRD_Bridge", "General", "Version"), "108");
  EXPECT_EQ(common.ErrorLogPathname(), kLog);
}

TEST_F(DiagnosticsTest, LogBesideAnExecutableInADriveRootHasOneBackslash) {
  fake.system.executableFolder = "D:\\";
  common.Initialize();
  EXPECT_EQ(common.ErrorLogPathname(), "D:\\ErrorLog.txt");
}

TEST_F(DiagnosticsTest, FailedVersionSaveIsReportedUnderInitialize) {
  fake.settings.failSaves = true;
  common.Initialize();
  EXPECT_EQ(Lines().back(),
            "06-Dec-2026 21:07:30 > program error 70 in module Common.Initialize: Permission denied");
}

}  // namespace
}  // namespace bridge::common
