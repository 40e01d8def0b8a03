// The soak client's command mix against the bridge's own dispatcher on the in-memory
// platform: a soak that expects a wrong answer reports faults the program does not have,
// or misses those it has.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/BridgeFixture.h"
#include "suite_client/SoakMix.h"

namespace tools::suite_client {
namespace {

using bridge::platform::ExecuteAnswer;

class SoakMixTest : public bridge::testing::BridgeFixture {
 protected:
  void SetUp() override {
    hrd.Start();
    Start();
  }
};

TEST_F(SoakMixTest, EveryCommandGetsTheAnswerTheMixExpects) {
  std::set<std::string> kinds;
  for (std::uint32_t seed : {1u, 2u, 3u, 4u}) {
    SoakMix mix(seed);
    for (int i = 0; i < 1500; ++i) {
      const SoakCommand command = mix.Next();
      kinds.insert(command.kind);
      const auto answer = fake.dde.Execute("DDEServer", command.text);
      ASSERT_EQ(answer, command.accepted ? ExecuteAnswer::Accept : ExecuteAnswer::Refuse)
          << "\"" << command.text << "\" (seed " << seed << ", command " << i << ")";
      if (i % 7 == 0) fake.ui.RunFor(2);  // let the deferred commands reach HRD now and then
    }
  }
  const std::vector<std::string> all = SoakMix::Kinds();
  EXPECT_EQ(kinds, std::set<std::string>(all.begin(), all.end()));
  // The mix never ends the program it soaks: seconds later the bridge still runs.
  fake.ui.RunFor(3000);
  EXPECT_FALSE(fake.ui.ended.has_value());
  EXPECT_NE(fake.ui.FindForm("VelkMain"), nullptr);
  EXPECT_FALSE(hrd.commands.empty());
}

TEST_F(SoakMixTest, TheMixReachesHrdAsEveryKindOfRequest) {
  SoakMix mix(7);
  for (int i = 0; i < 3000; ++i) {
    fake.dde.Execute("DDEServer", mix.Next().text);
    fake.ui.RunFor(2);
  }
  for (const char* verb : {"frqa", "frqb", "mode", "butn tx", "butn Split", "butn Dual"}) {
    bool seen = false;
    for (const std::string& command : hrd.commands) seen = seen || command.rfind(verb, 0) == 0;
    EXPECT_TRUE(seen) << verb;
  }
}

TEST(SoakMixSeed, ASeedRepeatsItsSequenceAndAnotherDoesNot) {
  SoakMix first(42), again(42), other(43);
  bool differs = false;
  for (int i = 0; i < 200; ++i) {
    const SoakCommand a = first.Next();
    EXPECT_EQ(a.text, again.Next().text);
    differs = differs || a.text != other.Next().text;
  }
  EXPECT_TRUE(differs);
}

}  // namespace
}  // namespace tools::suite_client
