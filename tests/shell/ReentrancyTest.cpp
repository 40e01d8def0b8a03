// What the program does while a DDE transaction waits. On Windows the wait is a modal loop:
// timers, posted messages and a close of the window run inside it. The fake DDE layer does
// the same while a program takes its time to answer.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/BridgeFixture.h"

namespace bridge::shell {
namespace {

using platform::ExecuteAnswer;
using Commands = std::vector<std::string>;

class ReentrancyTest : public testing::BridgeFixture {
 protected:
  void SetUp() override {
    hrd.Start();
    Start();
    fake.ui.RunFor(10);
  }
  std::optional<ExecuteAnswer> Send(const std::string& command) { return fake.dde.Execute("DDEServer", command); }
  /// Runs `action` inside the wait for HRD's answer to `command`.
  void DuringWaitFor(const std::string& command, std::function<void()> action) {
    hrd.duringExecute = [this, command, action](const std::string& received) {
      if (received == command) fake.ui.Post(action);
    };
  }
  std::size_t JournalIndex(const std::string& entry) const {
    return static_cast<std::size_t>(std::find(fake.journal.begin(), fake.journal.end(), entry) - fake.journal.begin());
  }
};

TEST_F(ReentrancyTest, ACloseWhileHrdIsSlowWaitsUntilTheAnswerHasCome) {
  hrd.answerAfterMs = 3000;
  bool loadedInsideTheWait = false;
  DuringWaitFor("butn tx=on", [&] {
    window->Close();
    loadedInsideTheWait = !window->destroyed && fake.dde.Serves("DDEServer");
  });
  EXPECT_EQ(Send("008transmit"), ExecuteAnswer::Accept);
  EXPECT_TRUE(loadedInsideTheWait);
  EXPECT_FALSE(window->destroyed);
  EXPECT_FALSE(fake.ui.quit);

  fake.ui.RunFor(100);  // the close comes round again once nothing waits
  EXPECT_TRUE(window->destroyed);
  EXPECT_TRUE(fake.ui.quit);
  EXPECT_LT(JournalIndex("execute HRD_RADIO_000 butn tx=on"), JournalIndex("save Windows/VelkMainWindowState"));
  EXPECT_EQ(hrd.HotLinks(), 0u);
}

TEST_F(ReentrancyTest, AShutdownRequestedWhileHrdIsSlowWaitsForTheAnswerToo) {
  hrd.answerAfterMs = 3000;
  DuringWaitFor("butn tx=on", [&] { EXPECT_EQ(Send("012shutdown"), ExecuteAnswer::Accept); });
  EXPECT_EQ(Send("008transmit"), ExecuteAnswer::Accept);
  EXPECT_FALSE(fake.ui.ended.has_value());  // its tick fell due inside the wait and let it be
  fake.ui.RunFor(1000);
  EXPECT_EQ(fake.ui.ended, 0);
}

TEST_F(ReentrancyTest, TheSessionEndingWhileHrdIsSlowEndsTheProcessWithNothingInUseFreed) {
  // The end of the session cannot wait: the program unloads inside the wait, and the
  // transaction then returns into what is left.
  hrd.answerAfterMs = 3000;
  DuringWaitFor("frqa 7040000", [&] { window->EndSession(); });
  Send("003qsy7040");
  fake.ui.RunFor(1);
  EXPECT_EQ(fake.ui.ended, 0);
  EXPECT_EQ(hrd.HotLinks(), 0u);
  EXPECT_LT(JournalIndex("execute HRD_RADIO_000 frqa 7040000"), JournalIndex("save Windows/VelkMainWindowState"));
}

TEST_F(ReentrancyTest, TheSessionEndingWhileKeyingWaitsOnHrdStillAnswersTheClient) {
  hrd.answerAfterMs = 3000;
  DuringWaitFor("butn tx=on", [&] { window->EndSession(); });
  EXPECT_EQ(Send("008transmit"), ExecuteAnswer::Accept);
  EXPECT_EQ(fake.ui.ended, 0);
  EXPECT_FALSE(fake.dde.Serves("DDEServer"));
}

TEST_F(ReentrancyTest, HrdGoneWhileItsAnswerIsAwaitedEndsNothingInUseAndLinksAgainLater) {
  hrd.answerAfterMs = 2500;
  // HRD goes while the bridge waits on a frequency; the supervision ticks inside the wait
  // find the link down and try again, which has to wait its turn.
  std::size_t initiatesInsideTheWait = 0;
  DuringWaitFor("frqa 7040000", [&] {
    hrd.Stop();
    const std::size_t before = fake.ddeClient.initiates.size();
    fake.ui.RunFor(1500);
    initiatesInsideTheWait = fake.ddeClient.initiates.size() - before;
  });
  Send("003qsy7040");
  fake.ui.RunFor(1);
  EXPECT_EQ(hrd.commands, Commands{"frqa 7040000"});
  EXPECT_EQ(initiatesInsideTheWait, 0u);
  // Afterwards the link is tried, and "HRD not running" blinks.
  bool warned = false;
  for (int second = 0; second < 3; ++second) {
    fake.ui.RunFor(1000);
    warned = warned || MainShown("NoHRDLabel");
  }
  EXPECT_TRUE(warned);

  hrd.answerAfterMs = 0;
  hrd.Start();
  fake.ui.RunFor(1100);
  EXPECT_FALSE(MainShown("NoHRDLabel"));
  EXPECT_EQ(Item("RcvFreq"), "14,070.00");
  Send("003qsy7041");
  fake.ui.RunFor(1);
  EXPECT_EQ(hrd.commands.back(), "frqa 7041000");
}

TEST_F(ReentrancyTest, KeyingIsHeldOutOfTheCallbackAndReachesHrdBeforeTheAnswer) {
  // Inside the DDE layer's callback a synchronous transaction is refused, as on Windows.
  hrd.duringExecute = [&](const std::string&) { EXPECT_FALSE(fake.dde.InCallback()); };
  EXPECT_EQ(Send("008transmit"), ExecuteAnswer::Accept);
  EXPECT_EQ(hrd.commands, Commands{"butn tx=on"});
  EXPECT_EQ(Send("007receive"), ExecuteAnswer::Accept);
  EXPECT_EQ(hrd.commands, (Commands{"butn tx=on", "butn tx=off"}));
  EXPECT_EQ(Log(), "");
}

TEST_F(ReentrancyTest, AReceiveHrdRefusesIsAnsweredAsBeforeAndLogged) {
  hrd.refuseCommands = true;
  EXPECT_EQ(Send("007receive"), ExecuteAnswer::Accept);
  EXPECT_EQ(hrd.commands, Commands{"butn tx=off"});
  EXPECT_NE(Log().find("in module DDEServer.SetHRDTX, receive"), std::string::npos) << Log();
  EXPECT_EQ(Send("008transmit"), ExecuteAnswer::Accept);
  EXPECT_NE(Log().find("in module DDEServer.SetHRDTX, transmit"), std::string::npos) << Log();
}

TEST_F(ReentrancyTest, KeyingWhileHrdIsAwayIsNotLogged) {
  hrd.Stop();
  fake.ui.RunFor(1000);
  EXPECT_EQ(Send("007receive"), ExecuteAnswer::Accept);
  EXPECT_EQ(Log(), "");
}

TEST_F(ReentrancyTest, HrdOutOfReachBehindAHigherLevelIsLoggedOnceWithWhatToDo) {
  hrd.Stop();
  fake.ddeClient.deniedWindows = 1;
  fake.ui.RunFor(5000);
  const std::string log = Log();
  const std::string line = "run HRD, the Tavix programs and Tavix_HRD_Bridge at the same level";
  ASSERT_NE(log.find(line), std::string::npos) << log;
  EXPECT_EQ(log.find(line), log.rfind(line));
}

TEST_F(ReentrancyTest, HrdSimplyAbsentSaysNothingOfLevels) {
  hrd.Stop();
  fake.ui.RunFor(5000);
  EXPECT_EQ(Log(), "");
}

}  // namespace
}  // namespace bridge::shell
