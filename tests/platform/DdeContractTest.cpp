// DDE as a source and as a client behaves as DDEML and Windows' DDE messages do.
#include "base/Failure.h"
#include "base/Text.h"
#include "platform/PlatformContract.h"

namespace bridge::platform::contract {
namespace {

using base::RunError;

/// The failure code `body` throws, or 0.
template <typename Body>
std::int32_t FailureOf(Body&& body) {
  try {
    body();
  } catch (const base::Failure& failure) {
    return failure.Code();
  }
  return 0;
}

constexpr std::int32_t Code(RunError error) { return static_cast<std::int32_t>(error); }

// ---- as a source ------------------------------------------------------------------------

/// A topic with items of its own; it looks items up without regard to case, as the
/// program's forms do, and accepts every command but "refuse".
class Topic : public TopicHandler {
 public:
  ExecuteAnswer OnExecute(std::string_view command) override {
    commands.emplace_back(command);
    if (command.starts_with("hold")) return ExecuteAnswer::Hold;
    return command == "refuse" ? ExecuteAnswer::Refuse : ExecuteAnswer::Accept;
  }
  ExecuteAnswer OnHeldExecute(std::string_view command) override {
    commands.push_back("held " + std::string(command));
    return command == "hold and refuse" ? ExecuteAnswer::Refuse : ExecuteAnswer::Accept;
  }
  std::optional<std::string> OnRequest(std::string_view item) override {
    for (const auto& [name, value] : items)
      if (base::EqualNoCase(name, item)) return value;
    return std::nullopt;
  }
  std::vector<std::pair<std::string, std::string>> items{{"RcvFreq", "14.070"}, {"Mode", "USB"}};
  std::vector<std::string> commands;
};

TEST_P(DdeServerContract, TopicNamesAreCaseBlind) {
  Topic topic;
  harness->Server().RegisterTopic("DDEServer", topic);
  EXPECT_EQ(harness->Request("ddeserver", "RcvFreq"), "14.070");
  EXPECT_EQ(harness->Execute("DDESERVER", "003qsy14025"), ExecuteAnswer::Accept);
  EXPECT_EQ(harness->Execute("ddeServer", "refuse"), ExecuteAnswer::Refuse);
  EXPECT_EQ(topic.commands, (std::vector<std::string>{"003qsy14025", "refuse"}));
  EXPECT_EQ(harness->Request("Other", "RcvFreq"), std::nullopt);
  EXPECT_EQ(harness->Execute("Other", "x"), std::nullopt);
}

TEST_P(DdeServerContract, AHeldCommandIsHandedBackAndTheClientGetsThatAnswer) {
  Topic topic;
  harness->Server().RegisterTopic("DDEServer", topic);
  EXPECT_EQ(harness->Execute("DDEServer", "hold"), ExecuteAnswer::Accept);
  EXPECT_EQ(harness->Execute("DDEServer", "hold and refuse"), ExecuteAnswer::Refuse);
  EXPECT_EQ(topic.commands, (std::vector<std::string>{"hold", "held hold", "hold and refuse", "held hold and refuse"}));
}

TEST_P(DdeServerContract, AChangedItemIsPushedToTheLinksOnItWhateverTheirCase) {
  Topic topic;
  harness->Server().RegisterTopic("DDEServer", topic);
  ASSERT_TRUE(harness->StartHotLink("ddeserver", "rcvfreq"));
  EXPECT_FALSE(harness->StartHotLink("DDEServer", "NoSuchItem"));
  topic.items[0].second = "7.040";
  topic.items[1].second = "LSB";
  harness->Server().ItemChanged("DDEServer", "RcvFreq");
  harness->Server().ItemChanged("DDEServer", "Mode");  // nobody links it
  harness->Pass(50);
  EXPECT_EQ(harness->Pushes(), (std::vector<std::string>{"rcvfreq=7.040"}));
}

TEST_P(DdeServerContract, AnUnregisteredTopicAnswersNothingAndItsLinksAreGoneForGood) {
  Topic topic;
  harness->Server().RegisterTopic("DDEServer", topic);
  ASSERT_TRUE(harness->StartHotLink("DDEServer", "RcvFreq"));
  harness->Server().UnregisterTopic("ddeserver");
  EXPECT_EQ(harness->Request("DDEServer", "RcvFreq"), std::nullopt);
  EXPECT_EQ(harness->Execute("DDEServer", "x"), std::nullopt);
  harness->Server().ItemChanged("DDEServer", "RcvFreq");
  harness->Server().RegisterTopic("DDEServer", topic);
  harness->Server().ItemChanged("DDEServer", "RcvFreq");
  harness->Pass(50);
  EXPECT_TRUE(harness->Pushes().empty());
  EXPECT_EQ(harness->Request("DDEServer", "RcvFreq"), "14.070");
}

// ---- as a client ------------------------------------------------------------------------

/// HRD running on the client's bus, and what one link to it heard.
struct RunningHrd {
  explicit RunningHrd(DdeClientHarness& harness) : hrd(harness.AddPeer("HRD_RADIO_000", "HRD_CAT")) {
    hrd.Publish("HRD_HERTZ", "14070000");
    hrd.Start();
  }
  std::function<void(const std::string&)> Collect() {
    return [this](const std::string& value) { values.push_back(value); };
  }
  PeerHarness& hrd;
  std::vector<std::string> values;
};

TEST_P(DdeClientContract, ServiceAndTopicAreCaseBlindAndOneLiveConversationIsShared) {
  RunningHrd running(*harness);
  auto conversation = harness->Client().Connect("HRD_RADIO_000", "HRD_CAT");
  EXPECT_EQ(harness->Client().Connect("hrd_radio_000", "Hrd_Cat"), conversation);
  EXPECT_TRUE(conversation->Alive());
  EXPECT_EQ(FailureOf([&] { harness->Client().Connect("HRD_RADIO_001", "HRD_CAT"); }), Code(RunError::DdeNoResponse));
  EXPECT_EQ(FailureOf([&] { harness->Client().Connect("HRD_RADIO_000", "OTHER"); }), Code(RunError::DdeNoResponse));
}

TEST_P(DdeClientContract, AHotLinkHearsTheCurrentValueAtOnceThenEachChangeWhateverTheCase) {
  RunningHrd running(*harness);
  PeerHarness* hrd = &running.hrd;
  auto conversation = harness->Client().Connect("HRD_RADIO_000", "HRD_CAT");
  conversation->StartHotLink("hrd_hertz", running.Collect());
  EXPECT_EQ(running.values, (std::vector<std::string>{"14070000"}));
  hrd->Publish("HRD_HERTZ", "7040000");
  hrd->Publish("HRD_MODE", "LSB");  // not linked
  harness->Pass(50);
  conversation->StopHotLink("Hrd_Hertz");
  hrd->Publish("HRD_HERTZ", "3573000");
  harness->Pass(50);
  EXPECT_EQ(running.values, (std::vector<std::string>{"14070000", "7040000"}));
}

TEST_P(DdeClientContract, ARefusedLinkOrCommandFailsAsRefused) {
  RunningHrd running(*harness);
  PeerHarness* hrd = &running.hrd;
  auto conversation = harness->Client().Connect("HRD_RADIO_000", "HRD_CAT");
  hrd->RefuseLinks("HRD_HERTZ");
  EXPECT_EQ(FailureOf([&] { conversation->StartHotLink("hrd_hertz", running.Collect()); }), Code(RunError::DdeRefused));
  conversation->Execute("set frequency-hz 7040000");
  hrd->RefuseCommands(true);
  EXPECT_EQ(FailureOf([&] { conversation->Execute("set mode LSB"); }), Code(RunError::DdeRefused));
  EXPECT_EQ(hrd->Commands(), (std::vector<std::string>{"set frequency-hz 7040000", "set mode LSB"}));
  EXPECT_TRUE(conversation->Alive());
}

TEST_P(DdeClientContract, AConversationWithAStoppedPeerIsGoneForGood) {
  RunningHrd running(*harness);
  PeerHarness* hrd = &running.hrd;
  auto conversation = harness->Client().Connect("HRD_RADIO_000", "HRD_CAT");
  conversation->StartHotLink("HRD_HERTZ", running.Collect());
  hrd->Stop();
  harness->Pass(50);
  EXPECT_FALSE(conversation->Alive());
  EXPECT_EQ(FailureOf([&] { harness->Client().Connect("HRD_RADIO_000", "HRD_CAT"); }), Code(RunError::DdeNoResponse));
  hrd->Start();
  harness->Pass(50);
  EXPECT_FALSE(conversation->Alive());
  EXPECT_EQ(FailureOf([&] { conversation->Execute("get frequency"); }), Code(RunError::DdeNoChannel));
  EXPECT_EQ(FailureOf([&] { conversation->StartHotLink("HRD_MODE", running.Collect()); }), Code(RunError::DdeNoChannel));
  conversation->StopHotLink("HRD_HERTZ");  // never throws
  hrd->Publish("HRD_HERTZ", "7040000");
  harness->Pass(50);
  EXPECT_EQ(running.values, (std::vector<std::string>{"14070000"}));
  EXPECT_TRUE(hrd->Commands().empty());

  auto fresh = harness->Client().Connect("HRD_RADIO_000", "HRD_CAT");
  EXPECT_NE(fresh, conversation);
  EXPECT_TRUE(fresh->Alive());
}

TEST_P(DdeClientContract, AServerRegisteringItsNameIsHeard) {
  RunningHrd running(*harness);
  PeerHarness* hrd = &running.hrd;
  std::vector<std::string> heard;
  harness->Client().OnServiceRegistered([&](const std::string& service) { heard.push_back(service); });
  hrd->Stop();
  hrd->Start();
  harness->Pass(50);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_TRUE(base::EqualNoCase(heard[0], "HRD_RADIO_000")) << heard[0];
}

}  // namespace
}  // namespace bridge::platform::contract
