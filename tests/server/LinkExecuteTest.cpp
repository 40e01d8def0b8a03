#include <gtest/gtest.h>

#include "support/BridgeFixture.h"

namespace bridge::server {
namespace {

using platform::ExecuteAnswer;
using Commands = std::vector<std::string>;

class LinkExecuteTest : public testing::BridgeFixture {
 protected:
  void SetUp() override {
    hrd.Start();
    Start();
  }
  std::optional<ExecuteAnswer> Send(const std::string& command) { return fake.dde.Execute("DDEServer", command); }
  /// The first turn of the message loop after the answers.
  void Settle() { fake.ui.RunFor(1); }
};

TEST_F(LinkExecuteTest, AcceptsKnownWordsInAnyCaseAndRefusesOthers) {
  EXPECT_EQ(Send("004test"), ExecuteAnswer::Accept);
  EXPECT_EQ(Send("004TEST"), ExecuteAnswer::Accept);
  EXPECT_EQ(Send("007testing"), ExecuteAnswer::Accept);
  EXPECT_EQ(Send("007seqname"), ExecuteAnswer::Accept);
  EXPECT_EQ(Send("007setvfoa"), ExecuteAnswer::Accept);
  EXPECT_EQ(Send("007unknown"), ExecuteAnswer::Refuse);
  EXPECT_EQ(Send("000"), ExecuteAnswer::Refuse);
  Settle();
  EXPECT_EQ(hrd.commands, Commands{});
  EXPECT_EQ(Log(), "");
}

TEST_F(LinkExecuteTest, ABadNumberIsRefusedAndReported) {
  EXPECT_EQ(Send("abctest"), ExecuteAnswer::Refuse);
  EXPECT_EQ(Send(""), ExecuteAnswer::Refuse);
  const std::string log = Log();
  EXPECT_NE(log.find("program error 13 in module DDEServer.LinkExecute: Type mismatch"), std::string::npos);
}

TEST_F(LinkExecuteTest, QsyIsAnsweredFirstAndSentAtTheNextTurn) {
  EXPECT_EQ(Send("003qsy14025.5"), ExecuteAnswer::Accept);
  EXPECT_EQ(hrd.commands, Commands{});
  EXPECT_DOUBLE_EQ(app->Server().Deferred().DeferredFreq, 14025500);
  Settle();
  EXPECT_EQ(hrd.commands, Commands{"frqa 14025500"});
  fake.ui.RunFor(100);
  EXPECT_EQ(hrd.commands.size(), 1u);  // the timer disarmed itself
}

TEST_F(LinkExecuteTest, RequestsBeforeTheTurnCoalesceIntoTheLatest) {
  Send("003qsy7040");
  Send("003qsy7041.25");
  Settle();
  EXPECT_EQ(hrd.commands, Commands{"frqa 7041250"});
}

TEST_F(LinkExecuteTest, QsyFollowsTheRegionalDecimalComma) {
  fake.system.numberFormat = {",", "."};
  Send("003qsy14025,5");
  Settle();
  EXPECT_EQ(hrd.commands, Commands{"frqa 14025500"});
}

TEST_F(LinkExecuteTest, KilohertzThatMultiplyInexactlyStillGoOutWhole) {
  Send("003qsy1024.1");
  Settle();
  EXPECT_EQ(hrd.commands, Commands{"frqa 1024100"});
}

TEST_F(LinkExecuteTest, EmptyOrNonNumericFrequencyIsRefusedAndArmsNothing) {
  EXPECT_EQ(Send("003qsy"), ExecuteAnswer::Refuse);
  EXPECT_EQ(Send("005splitabc"), ExecuteAnswer::Refuse);
  EXPECT_EQ(Send("012resetwindows"), ExecuteAnswer::Refuse);
  Settle();
  EXPECT_EQ(hrd.commands, Commands{});
  EXPECT_NE(Log().find("program error 13 in module DDEServer.LinkExecute"), std::string::npos);
}

TEST_F(LinkExecuteTest, FreqModeSendsTheModeThenTheFrequencyAndLeavesModeToHrd) {
  EXPECT_EQ(Send("012xcvrfreqmode<xcvrfreq:8>14025.00<xcvrmode:2>CW"), ExecuteAnswer::Accept);
  EXPECT_EQ(Item("Mode"), "SSB");
  Settle();
  EXPECT_EQ(hrd.commands, (Commands{"mode CW", "frqa 14025000"}));
}

TEST_F(LinkExecuteTest, FreqModeWithoutAFrequencySendsTheModeAloneAndNeverZeroHertz) {
  // Fields are taken by position: an empty first field is the missing frequency.
  for (const char* command : {"012xcvrfreqmode<xcvrfreq:0><xcvrmode:2>CW", "012xcvrfreqmode<:0><:2>CW"}) {
    hrd.commands.clear();
    EXPECT_EQ(Send(command), ExecuteAnswer::Accept) << command;
    Settle();
    EXPECT_EQ(hrd.commands, Commands{"mode CW"}) << command;
  }
  hrd.commands.clear();
  EXPECT_EQ(Send("012xcvrfreqmode"), ExecuteAnswer::Accept);  // nothing to send at all
  Settle();
  EXPECT_EQ(hrd.commands, Commands{});
}

TEST_F(LinkExecuteTest, FrequencyHrdCannotReadIsRefusedAndNothingGoesOut) {
  for (const char* command : {"003qsy1e306", "003qsy1e12", "005split1e306", "003qsy0.00000001",
                              "012xcvrfreqmode<xcvrfreq:5>1e306<xcvrmode:2>CW"}) {
    EXPECT_EQ(Send(command), ExecuteAnswer::Refuse) << command;
    EXPECT_NE(Log().find("program error 6 in module DDEServer.LinkExecute: "), std::string::npos) << command;
  }
  Settle();
  EXPECT_EQ(hrd.commands, Commands{});
  // The largest frequency HRD reads as digits still goes out.
  EXPECT_EQ(Send("003qsy999999999999.999"), ExecuteAnswer::Accept);
  Settle();
  EXPECT_EQ(hrd.commands, Commands{"frqa 999999999999999"});
}

TEST_F(LinkExecuteTest, SetModeShowsTheUpperCaseModeAtOnceUntilHrdReports) {
  Send("014xcvrsetmodecmd<xcvrsetmodearg:3>lsb");
  EXPECT_EQ(Item("Mode"), "LSB");
  Settle();
  EXPECT_EQ(hrd.commands, Commands{"mode LSB"});
  EXPECT_EQ(Item("Mode"), "LSB");
  hrd.Publish("HRD_MODE", "LSB");
  EXPECT_EQ(Item("Mode"), "SSB");
  EXPECT_EQ(Item("RadioMode"), "LSB");
}

TEST_F(LinkExecuteTest, SetModeThatHrdAlreadyHasEndsOnTheTablesMode) {
  // HRD is in USB and reports nothing, since nothing changes for it.
  Send("014xcvrsetmodecmd<xcvrsetmodearg:3>usb");
  EXPECT_EQ(Item("Mode"), "USB");
  Settle();
  EXPECT_EQ(hrd.commands, Commands{"mode USB"});
  EXPECT_EQ(Item("Mode"), "SSB");
  EXPECT_EQ(Item("RadioMode"), "USB");
}

TEST_F(LinkExecuteTest, TransmitAndReceiveReachHrdBeforeTheAnswer) {
  std::size_t seenDuringExecute = 0;
  hrd.duringExecute = [&](const std::string&) { seenDuringExecute = hrd.commands.size(); };
  EXPECT_EQ(Send("008transmit"), ExecuteAnswer::Accept);
  EXPECT_EQ(hrd.commands, Commands{"butn tx=on"});
  EXPECT_EQ(seenDuringExecute, 1u);
  Send("007receive");
  EXPECT_EQ(hrd.commands, (Commands{"butn tx=on", "butn tx=off"}));
}

TEST_F(LinkExecuteTest, SplitAndDualReachTheRadio) {
  Send("008setspliton");
  Settle();
  Send("008setsplit on");  // a leading blank is part of the parameter: off
  Settle();
  Send("007setdualON");
  Settle();
  Send("005split7045.5");
  Settle();
  EXPECT_EQ(hrd.commands, (Commands{"butn Split=on", "butn Split=off", "butn Dual=on", "frqb 7045500"}));
  fake.ui.RunFor(100);
  EXPECT_EQ(hrd.commands.size(), 4u);
}

TEST_F(LinkExecuteTest, ReceiveDuringAWaitingTransmitGoesOutAfterIt) {
  hrd.duringExecute = [&](const std::string& command) {
    if (command == "butn tx=on") {
      EXPECT_EQ(Send("007receive"), ExecuteAnswer::Accept);
    }
  };
  Send("008transmit");
  EXPECT_EQ(hrd.commands, (Commands{"butn tx=on", "butn tx=off"}));
}

TEST_F(LinkExecuteTest, RequestsDuringAWaitingSendAreNotLostAndGoOutWithTheLatestValues) {
  hrd.duringExecute = [&](const std::string& command) {
    if (command != "frqa 7000000") return;
    Send("003qsy7001");
    fake.ui.RunFor(1);  // the loop turns while HRD has not answered
    Send("003qsy7002");
    fake.ui.RunFor(1);
  };
  Send("003qsy7000");
  Settle();
  Settle();
  EXPECT_EQ(hrd.commands, (Commands{"frqa 7000000", "frqa 7002000"}));
}

TEST_F(LinkExecuteTest, WithoutHrdEveryCommandIsStillAnsweredAndNothingLogged) {
  hrd.Stop();
  for (const char* command : {"008transmit", "007receive", "003qsy7040", "012xcvrfreqmode<a:4>7040<b:3>USB",
                              "014xcvrsetmodecmd<a:3>lsb", "008setspliton", "007setdualon", "005split7050"})
    EXPECT_EQ(Send(command), ExecuteAnswer::Accept) << command;
  fake.ui.RunFor(10);
  EXPECT_EQ(hrd.commands, Commands{});
  EXPECT_EQ(Log(), "");
}

TEST_F(LinkExecuteTest, RequestWhileHrdIsAwayIsDroppedWithoutAnInitiate) {
  hrd.Stop();
  fake.ui.RunFor(1000);  // the supervision finds the link down
  const std::size_t initiates = fake.ddeClient.initiates.size();
  EXPECT_EQ(Send("008transmit"), ExecuteAnswer::Accept);
  EXPECT_EQ(fake.ddeClient.initiates.size(), initiates);
  hrd.Start();  // registers: linked at the next turn
  Settle();
  Send("003qsy3573");
  Settle();
  EXPECT_EQ(hrd.commands, Commands{"frqa 3573000"});
}

TEST_F(LinkExecuteTest, SenderReopensItsOwnLinkWhileHrdIsLinked) {
  hrd.refusedItems = {"HRD_TX"};
  hrd.Stop();
  hrd.Start();
  Settle();
  hrd.refusedItems.clear();
  Send("008transmit");
  EXPECT_EQ(hrd.commands, Commands{"butn tx=on"});
}

TEST_F(LinkExecuteTest, ShutdownIsAnsweredAtOnceAndEndsTheProgramASecondLater) {
  auto& launcher = fake.ddeClient.AddPeer("TavixLauncher", "DDEClient");
  launcher.Start();
  EXPECT_EQ(Send("008shutdown"), ExecuteAnswer::Accept);
  fake.ui.RunFor(900);
  EXPECT_FALSE(fake.ui.ended.has_value());
  fake.ui.RunFor(100);
  EXPECT_EQ(fake.ui.ended, 0);
  EXPECT_EQ(launcher.commands, Commands{"000stop"});
}

TEST_F(LinkExecuteTest, WindowCommandsActOnTheMainWindow) {
  EXPECT_EQ(Send("007iconify"), ExecuteAnswer::Accept);
  EXPECT_EQ(Item("MainWindowState"), "1");
  EXPECT_EQ(Send("008activate"), ExecuteAnswer::Accept);
  EXPECT_EQ(Item("MainWindowState"), "0");
  EXPECT_EQ(Send("012resetwindows1440"), ExecuteAnswer::Accept);
  EXPECT_EQ(window->Left(), 1440);
  EXPECT_EQ(window->Top(), 1440);
}

}  // namespace
}  // namespace bridge::server
