#include <gtest/gtest.h>

#include "support/BridgeFixture.h"

namespace bridge::hrd {
namespace {

class HrdLinkTest : public testing::BridgeFixture {};

TEST_F(HrdLinkTest, RunningHrdIsLinkedAndTranslatedAtStart) {
  hrd.Start();
  Start();
  EXPECT_EQ(hrd.links, (std::vector<std::string>{"HRD_HERTZ", "HRD_HERTZ_B", "HRD_MODE", "HRD_TX", "HRD_BUTTON_STATUS"}));
  EXPECT_EQ(MainText("FreqDisplay"), "14,070.00");
  EXPECT_EQ(Item("RcvFreq"), "14,070.00");
  EXPECT_EQ(Item("XmitFreq"), "14,070.00");
  EXPECT_EQ(Item("Mode"), "SSB");
  EXPECT_EQ(Item("RadioMode"), "USB");
  EXPECT_EQ(Item("RadioState"), "receive");
  fake.ui.RunFor(10'000);
  EXPECT_FALSE(MainShown("NoHRDLabel"));  // the warning never shows
  EXPECT_EQ(Log(), "");
}

TEST_F(HrdLinkTest, WithoutHrdTheWarningBlinksAndEveryTickTriesAgain) {
  Start();
  EXPECT_FALSE(MainShown("NoHRDLabel"));
  EXPECT_EQ(Item("RcvFreq"), ".00");  // the link box's design text
  const std::size_t initiatesAtStart = fake.ddeClient.initiates.size();
  std::vector<bool> shown;
  for (int second = 0; second < 4; ++second) {
    fake.ui.RunFor(1000);
    shown.push_back(MainShown("NoHRDLabel"));
  }
  EXPECT_EQ(shown, (std::vector<bool>{true, false, true, false}));
  // Each attempt costs one initiate: the other links would fail the same way.
  EXPECT_EQ(fake.ddeClient.initiates.size() - initiatesAtStart, 4u);
  EXPECT_EQ(Log(), "");
}

TEST_F(HrdLinkTest, HrdStartingLaterIsLinkedAtOnceAndTheWarningStops) {
  Start();
  fake.ui.RunFor(1500);
  hrd.Start();  // registers its service
  fake.ui.RunFor(1);
  EXPECT_EQ(Item("RcvFreq"), "14,070.00");
  EXPECT_EQ(Item("Mode"), "SSB");
  fake.ui.RunFor(2000);
  EXPECT_FALSE(MainShown("NoHRDLabel"));
}

TEST_F(HrdLinkTest, EveryPublishedChangeReachesTheItemsInOrder) {
  hrd.Start();
  Start();
  ASSERT_TRUE(fake.dde.StartHotLink("DDEServer", "RcvFreq"));
  for (const char* hertz : {"7040000", "7041500", "1810999", "500"}) hrd.Publish("HRD_HERTZ", hertz);
  std::vector<std::string> seen;
  for (const auto& push : fake.dde.pushes)
    if (push.item == "RcvFreq") seen.push_back(push.value);
  EXPECT_EQ(seen, (std::vector<std::string>{"7,040.00", "7,041.50", "1,810.99", ".50"}));

  hrd.Publish("HRD_TX", "ON");
  EXPECT_EQ(Item("RadioState"), "transmit");
  hrd.Publish("HRD_TX", "");
  EXPECT_EQ(Item("RadioState"), "transmit");
  hrd.Publish("HRD_MODE", "CWL");
  EXPECT_EQ(Item("Mode"), "CW");
  hrd.Publish("HRD_HERTZ_B", "3500000");
  hrd.Publish("HRD_BUTTON_STATUS", "Split=on");
  EXPECT_EQ(Item("XmitFreq"), ".50");
}

TEST_F(HrdLinkTest, HrdGoneKeepsTheItemsAndStartsTheBlinkWithinASecond) {
  hrd.Start();
  Start();
  hrd.Publish("HRD_HERTZ", "3573000");
  hrd.Stop();
  fake.ui.RunFor(1000);
  EXPECT_TRUE(MainShown("NoHRDLabel"));
  EXPECT_EQ(Item("RcvFreq"), "3,573.00");
  EXPECT_EQ(Item("Mode"), "SSB");

  hrd.Start();
  fake.ui.RunFor(1);
  hrd.Publish("HRD_HERTZ", "3574000");
  EXPECT_EQ(Item("RcvFreq"), "3,574.00");
}

TEST_F(HrdLinkTest, NonNumericFrequencyIsLoggedWithItsTextAndNothingPublished) {
  hrd.Start();
  Start();
  hrd.Publish("HRD_HERTZ", "7.04 MHz");
  EXPECT_EQ(Item("RcvFreq"), "14,070.00");
  EXPECT_NE(Log().find(" > program error 13 in module VelkMain.HRDFreq_Change, HRD Freq = 7.04 MHz, "
                       "theFreqString = : Type mismatch"),
            std::string::npos)
      << Log();
}

TEST_F(HrdLinkTest, ClosingTheWindowEndsHrdsLinksBeforeItsBoxesGo) {
  hrd.Start();
  Start();
  EXPECT_EQ(hrd.HotLinks(), 5u);
  window->Close();
  EXPECT_EQ(hrd.HotLinks(), 0u);
  hrd.Publish("HRD_HERTZ", "7040000");  // arrives after the window: lands nowhere
}

TEST_F(HrdLinkTest, TheProgramGoesWithRequestsWaitingAndLinksOpen) {
  hrd.Start();
  Start();
  ASSERT_EQ(fake.dde.Execute("DDEServer", "003qsy7040"), platform::ExecuteAnswer::Accept);
  app.reset();  // the deferred request's timer is still armed
  EXPECT_EQ(hrd.HotLinks(), 0u);
  hrd.Publish("HRD_HERTZ", "7040000");
  fake.ui.RunFor(1000);
  EXPECT_EQ(hrd.commands, std::vector<std::string>{});
}

TEST_F(HrdLinkTest, RefusedItemLeavesOnlyThatBoxUnlinked) {
  hrd.refusedItems = {"HRD_BUTTON_STATUS"};
  hrd.Start();
  Start();
  EXPECT_EQ(Item("RcvFreq"), "14,070.00");
  fake.ui.RunFor(3000);
  EXPECT_FALSE(MainShown("NoHRDLabel"));  // only the frequency link is supervised
  EXPECT_EQ(Log(), "");
}

}  // namespace
}  // namespace bridge::hrd
