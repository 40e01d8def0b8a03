#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "common/Common.h"
#include "support/CommonFixture.h"

namespace bridge::common {
namespace {

const std::string kLog = "C:\\Tavix\\ErrorLog.txt";

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
};

class LogSizeLimitTest : public DiagnosticsTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(LogSizeLimitTest, WritesUpToAndIncludingTheLimitOnly) {
  fake.files.OpenForAppend(kLog)->WriteLine("old");
  fake.files.SetLength(kLog, GetParam().length);
  common.SetDebug(true);
  common.ReportError(13, "VelkMain.HRDTX_Change");

  EXPECT_EQ(Lines().size() > 1, GetParam().written);
  EXPECT_EQ(common.StartupLogged(), GetParam().written);
  EXPECT_EQ(indicator.shown, GetParam().written ? 1 : 0);
  EXPECT_EQ(common.GetDebug(), GetParam().written);  // an oversized log also stops debugging
}

INSTANTIATE_TEST_SUITE_P(Boundary, LogSizeLimitTest,
                         ::testing::Values(SizeCase{100'000'000, true}, SizeCase{100'000'001, false}));

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

TEST_F(DiagnosticsTest, LockedLogLosesTheLineButStillRaisesTheIndicator) {
  fake.files.locked = true;
  common.ReportError(70, "Common.SaveWindowPosition");
  EXPECT_FALSE(fake.files.Content(kLog).has_value());
  EXPECT_TRUE(common.StartupLogged());
  EXPECT_EQ(indicator.shown, 1);
}

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
