#include "shell/VelkMain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/sim/FakePlatform.h"
#include "shell/Application.h"

namespace bridge::shell {
namespace {

using platform::WindowState;

const std::string kLog = "C:\\Tavix\\ErrorLog.txt";

class VelkMainTest : public ::testing::Test {
 protected:
  void Start() {
    app = std::make_unique<Application>(platform);
    app->Start();
    window = fake.ui.FindForm("VelkMain");
    ASSERT_NE(window, nullptr);
  }
  std::string Text(const std::string& control) { return window->Find(control)->Text(); }
  bool Shown(const std::string& control) { return window->Find(control)->Visible(); }

  platform::sim::FakePlatform fake;
  platform::Platform platform = fake.Get();
  std::unique_ptr<Application> app;
  platform::sim::FakeWindow* window = nullptr;
};

TEST_F(VelkMainTest, StartShowsTheWindowWithItsVersionAndNoWarnings) {
  Start();
  EXPECT_TRUE(window->Visible());
  EXPECT_EQ(window->Caption(), "Tavix HRD Bridge");
  EXPECT_EQ(window->Design().clientWidth, 3165);
  EXPECT_EQ(window->Design().clientHeight, 975);
  EXPECT_EQ(Text("Version"), "version 1.0.8");
  // Without HRD the link box keeps its design text, which translates to no kilohertz.
  EXPECT_EQ(Text("HRDFreq"), "000,000.00");
  EXPECT_EQ(Text("FreqDisplay"), ".00");
  EXPECT_FALSE(Shown("ErrorLogLabel"));
  EXPECT_FALSE(Shown("NoHRDLabel"));
  EXPECT_EQ(Text("ErrorLogLabel"), "see ErrorLog");
  EXPECT_EQ(Text("NoHRDLabel"), "HRD not running");
}

TEST_F(VelkMainTest, ControlsSitAtTheirPlacesInTabOrder) {
  Start();
  std::vector<std::string> order;
  for (const auto& design : window->ControlSpecs()) order.push_back(design.name);
  EXPECT_EQ(order, (std::vector<std::string>{"FreqDisplay", "HRDMode", "HRDFreq", "Version", "ErrorLogLabel",
                                             "NoHRDLabel", "HRDButton", "HRDTX", "HRDAltFreq"}));
  const auto& specs = window->ControlSpecs();
  EXPECT_EQ(specs[0].layout.left, 1920);
  EXPECT_EQ(specs[0].layout.width, 1185);
  EXPECT_EQ(specs[0].toolTip, "current frequency ");
  EXPECT_EQ(specs[0].font.face, "Arial");
  EXPECT_EQ(specs[2].toolTip, "current frequency (hz)");
  // The HRD link boxes lie beyond the client area's right edge.
  for (const char* hidden : {"HRDFreq", "HRDAltFreq", "HRDTX", "HRDButton"})
    for (const auto& design : specs)
      if (design.name == hidden) {
        EXPECT_GT(design.layout.left, window->Design().clientWidth) << hidden;
      }
  EXPECT_EQ(specs[4].foreground->value, 0x0000FFu);  // red "see ErrorLog"
  EXPECT_EQ(specs[5].foreground->value, 0xFF0000u);  // blue "HRD not running"
}

TEST_F(VelkMainTest, TimersAreLeftAsTheProgramNeedsThem) {
  Start();
  EXPECT_TRUE(app->Main().HRDTimer().Enabled());
  EXPECT_EQ(app->Main().HRDTimer().Interval(), 1000);
  EXPECT_FALSE(app->Main().ShutdownTimer().Enabled());
  EXPECT_EQ(app->Main().ShutdownTimer().Interval(), 1000);
  auto& server = app->Server();
  for (auto which : {hrd::DeferredTimer::SetFreqTimer, hrd::DeferredTimer::SetModeTimer,
                     hrd::DeferredTimer::SetFreqModeTimer, hrd::DeferredTimer::SetSplitFreqTimer,
                     hrd::DeferredTimer::SetSplitTimer, hrd::DeferredTimer::SetDualTimer}) {
    EXPECT_FALSE(server.Timer(which).Enabled());
    EXPECT_EQ(server.Timer(which).Interval(), 1);
  }
  EXPECT_EQ(server.RadioCWCapability().Text(), "0");
  EXPECT_EQ(server.RadioCWSpeed().Text(), "0");
}

TEST_F(VelkMainTest, WindowStateIsPublishedOnEveryChange) {
  Start();
  EXPECT_EQ(app->Server().MainWindowState().Text(), "0");
  window->SetState(WindowState::Minimized);
  EXPECT_EQ(app->Server().MainWindowState().Text(), "1");
  window->SetState(WindowState::Maximized);
  EXPECT_EQ(app->Server().MainWindowState().Text(), "2");
  window->SetState(WindowState::Normal);
  EXPECT_EQ(app->Server().MainWindowState().Text(), "0");
}

TEST_F(VelkMainTest, NoKeystrokeChangesHrdsHiddenBoxesAndTabNeverStopsThere) {
  Start();
  for (const char* box : {"HRDFreq", "HRDAltFreq", "HRDTX", "HRDButton"})
    for (char key : {'o', 'n', '\b', '\x7f', '\x16'}) window->Type(box, key);
  EXPECT_EQ(Text("HRDTX"), "");
  EXPECT_EQ(Text("HRDFreq"), "000,000.00");
  EXPECT_EQ(app->Server().RadioState().Text(), "");  // not "transmit"
  for (const auto& design : window->ControlSpecs()) {
    if (design.name.rfind("HRD", 0) == 0) {
      EXPECT_EQ(design.tabStop, design.name == "HRDMode") << design.name;
    }
  }
}

TEST_F(VelkMainTest, ADecimalCommaRegionStartsWithoutHrdAndWithoutAnError) {
  fake.system.numberFormat = {",", "."};
  Start();
  EXPECT_FALSE(fake.files.Content(kLog).has_value());
  EXPECT_FALSE(Shown("ErrorLogLabel"));
  EXPECT_EQ(Text("FreqDisplay"), ",000");
  EXPECT_EQ(app->Server().RcvFreq().Text(), ",000");
}

TEST_F(VelkMainTest, TypingIntoTheVisibleBoxesChangesNothing) {
  Start();
  for (char key : {'7', '\b', 'x', '\r'}) {
    window->Type("FreqDisplay", key);
    window->Type("HRDMode", key);
  }
  EXPECT_EQ(Text("FreqDisplay"), ".00");
  EXPECT_EQ(Text("HRDMode"), "");
}

TEST_F(VelkMainTest, ControlsAreItemsOfTheWindowsDdeTopic) {
  Start();
  EXPECT_EQ(fake.dde.Request("Velk_CorvaneUI", "Version"), "version 1.0.8");
  EXPECT_EQ(fake.dde.Request("Velk_CorvaneUI", "freqdisplay"), ".00");
  EXPECT_FALSE(fake.dde.Request("Velk_CorvaneUI", "NoSuchItem").has_value());
  EXPECT_EQ(fake.dde.Execute("Velk_CorvaneUI", "004test"), platform::ExecuteAnswer::Refuse);

  ASSERT_TRUE(fake.dde.StartHotLink("Velk_CorvaneUI", "FreqDisplay"));
  app->Main().FreqDisplay().SetText("14,025.50");
  ASSERT_EQ(fake.dde.pushes.size(), 1u);
  EXPECT_EQ(fake.dde.pushes[0].value, "14,025.50");
}

TEST_F(VelkMainTest, ClosingACleanRunLeavesNoLogAndEndsTheLoop) {
  Start();
  window->Close();
  EXPECT_TRUE(fake.ui.quit);
  EXPECT_FALSE(fake.files.Content(kLog).has_value());
  EXPECT_FALSE(fake.dde.Serves("Velk_CorvaneUI"));
  EXPECT_FALSE(app->Server().Loaded());
}

TEST_F(VelkMainTest, RequestedShutdownEndsTheProcessOneIntervalLater) {
  Start();
  app->Main().ShutdownTimer().SetEnabled(true);
  fake.ui.RunFor(999);
  EXPECT_FALSE(fake.ui.ended.has_value());
  EXPECT_TRUE(app->Server().Loaded());
  fake.ui.RunFor(1);
  EXPECT_EQ(fake.ui.ended, 0);
  EXPECT_FALSE(app->Server().Loaded());
  EXPECT_FALSE(app->Main().ShutdownTimer().Enabled());
}

TEST_F(VelkMainTest, AFailedStartStepIsLoggedShownAndClosedWithTheShutdownLine) {
  fake.settings.failSaves = true;
  Start();
  EXPECT_TRUE(Shown("ErrorLogLabel"));
  EXPECT_EQ(Text("Version"), "version 1.0.8");  // the rest of the start went on
  window->Close();
  const auto lines = fake.files.Lines(kLog);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_NE(lines[lines.size() - 3].find("program error 70 in module Common.Initialize: "), std::string::npos);
  EXPECT_NE(lines[lines.size() - 2].find("program error 70 in module Common.SaveWindowPosition: "), std::string::npos);
  EXPECT_NE(lines.back().find(" > Common.Terminate: Tavix_HRD_Bridge shutdown"), std::string::npos);
}

TEST_F(VelkMainTest, TheEndOfTheSessionRunsTheShutdownAndEndsTheProcess) {
  platform::sim::FakePeer& launcher = fake.ddeClient.AddPeer("TavixLauncher", "DDEClient");
  launcher.Start();
  fake.settings.failSaves = true;  // a run that logged: it must close its log too
  Start();
  fake.settings.failSaves = false;
  window->SetLeft(2400);
  window->SetState(WindowState::Minimized);
  window->EndSession();
  EXPECT_EQ(fake.settings.Stored("Tavix_HRD_Bridge", "Windows", "VelkMainLeft"), "2400");
  EXPECT_EQ(fake.settings.Stored("Tavix_HRD_Bridge", "Windows", "VelkMainWindowState"), "1");
  EXPECT_EQ(launcher.commands, (std::vector<std::string>{"000start", "000stop"}));
  EXPECT_NE(fake.files.Lines(kLog).back().find(" > Common.Terminate: Tavix_HRD_Bridge shutdown"), std::string::npos);
  EXPECT_EQ(fake.ui.ended, 0);
  EXPECT_FALSE(app->Server().Loaded());
}

TEST_F(VelkMainTest, StartTellsTheSiblingsBeforeLinkingHrdAndShutdownSavesTellsThenLogs) {
  for (const char* name : {"Quillet", "TavixLauncher"}) fake.ddeClient.AddPeer(name, "DDEClient").Start();
  fake.ddeClient.AddPeer("HRD_RADIO_000", "HRD_CAT").Start();
  fake.settings.failSaves = true;
  Start();
  fake.settings.failSaves = false;
  auto position = [&](const std::string& event) {
    return std::find(fake.journal.begin(), fake.journal.end(), event) - fake.journal.begin();
  };
  const auto hrdLinked = position("initiate HRD_RADIO_000|HRD_CAT");
  ASSERT_LT(hrdLinked, static_cast<std::ptrdiff_t>(fake.journal.size()));
  EXPECT_LT(position("execute Quillet 000start"), hrdLinked);
  EXPECT_LT(position("initiate TavixFrequency|DDEClient"), hrdLinked);

  fake.journal.clear();
  window->Close();
  const auto stateSaved = position("save Windows/VelkMainWindowState");
  const auto widthSaved = position("save Windows/VelkMainWidth");
  const auto stopTold = position("execute TavixLauncher 000stop");
  const auto shutdownLogged = position("log " + fake.files.Lines(kLog).back());
  EXPECT_EQ(stateSaved, 0);
  EXPECT_LT(widthSaved, stopTold);
  EXPECT_LT(stopTold, shutdownLogged);
  EXPECT_EQ(shutdownLogged, static_cast<std::ptrdiff_t>(fake.journal.size()) - 1);
}

TEST_F(VelkMainTest, AStartStepThatFailsSkipsTheRestOfTheStart) {
  fake.ui.failFormNamed = "DDEServer";
  Start();
  EXPECT_NE(fake.files.Content(kLog).value_or("").find("program error 5 in module VelkMain.Form_load: "),
            std::string::npos);
  EXPECT_EQ(Text("Version"), "version");  // the last step never ran
  EXPECT_TRUE(fake.ddeClient.initiates.empty());  // nor the notices and the HRD links
  EXPECT_FALSE(app->Main().HRDTimer().Enabled());
  EXPECT_TRUE(window->Visible());  // the window opens all the same
}

TEST_F(VelkMainTest, DdeSourceFailureIsReportedAndTheStartGoesOn) {
  fake.dde.failRegistration = true;
  Start();
  const std::string log = fake.files.Content(kLog).value_or("");
  EXPECT_NE(log.find("program error 282 in module VelkMain.Form_load: "), std::string::npos);
  EXPECT_NE(log.find("program error 282 in module DDEServerModule.Initialize: "), std::string::npos);
  EXPECT_EQ(Text("Version"), "version 1.0.8");
}

}  // namespace
}  // namespace bridge::shell
