#include "server/DDEServerModule.h"

#include <gtest/gtest.h>

#include "support/BridgeFixture.h"

namespace bridge::server {
namespace {

using platform::WindowState;

class DDEServerModuleTest : public testing::BridgeFixture {
 protected:
  platform::sim::FakePeer& Sibling(const char* name) { return fake.ddeClient.AddPeer(name, "DDEClient"); }
};

TEST_F(DDEServerModuleTest, ServesEveryItemWithItsInitialValue) {
  Start();
  EXPECT_EQ(Item("RadioVFO"), "0");
  EXPECT_EQ(Item("RadioCWCapability"), "0");
  EXPECT_EQ(Item("RadioCWSpeed"), "0");
  EXPECT_EQ(Item("BandSpreadEnabled"), "");
  EXPECT_EQ(Item("RadioSMeter"), "");
  EXPECT_EQ(Item("Label12"), "RadioVFO");
  EXPECT_EQ(Item("Label15"), "MainWindowState");
  EXPECT_EQ(Item("DDEStart"), "DDEStart");
  EXPECT_EQ(Item("MainWindowState"), "0");
  EXPECT_EQ(Item("NoSuchItem"), "<none>");
}

TEST_F(DDEServerModuleTest, TellsEachRunningSiblingThatTheServerStarted) {
  std::vector<platform::sim::FakePeer*> siblings;
  for (const char* name : kSiblingPrograms) {
    siblings.push_back(&Sibling(name));
    siblings.back()->Start();
  }
  Start();
  for (auto* sibling : siblings) {
    EXPECT_EQ(sibling->links, std::vector<std::string>{"RequestDDEConnection"}) << sibling->Service();
    EXPECT_EQ(sibling->commands, std::vector<std::string>{"000start"}) << sibling->Service();
  }
  std::vector<std::string> order;
  for (const auto& initiate : fake.ddeClient.initiates)
    if (initiate.ends_with("|DDEClient")) order.push_back(initiate);
  EXPECT_EQ(order, (std::vector<std::string>{"Quillet|DDEClient", "Ledgemar|DDEClient", "Sarnok|DDEClient",
                                             "Orvena|DDEClient", "TavixLauncher|DDEClient",
                                             "TavixFrequency|DDEClient"}));
}

TEST_F(DDEServerModuleTest, AbsentSiblingsCostASilentFailedInitiateEach) {
  auto& sarnok = Sibling("Sarnok");
  sarnok.Start();
  Start();
  EXPECT_EQ(sarnok.commands, std::vector<std::string>{"000start"});
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(Item("RadioCWSpeed"), "0");  // the server answers all the same
}

TEST_F(DDEServerModuleTest, OnlyTheLauncherHearsTheStopAndTheFormGoesEitherWay) {
  auto& launcher = Sibling("TavixLauncher");
  auto& quillet = Sibling("Quillet");
  launcher.Start();
  quillet.Start();
  Start();
  window->Close();
  EXPECT_EQ(launcher.commands, (std::vector<std::string>{"000start", "000stop"}));
  EXPECT_EQ(quillet.commands, std::vector<std::string>{"000start"});
  EXPECT_FALSE(fake.dde.Serves("DDEServer"));
  EXPECT_EQ(Log(), "");
}

TEST_F(DDEServerModuleTest, RefusedNoticeIsNoFailure) {
  auto& launcher = Sibling("TavixLauncher");
  launcher.refuseCommands = true;
  launcher.Start();
  Start();
  window->Close();
  EXPECT_EQ(launcher.commands.size(), 2u);
  EXPECT_FALSE(fake.dde.Serves("DDEServer"));
  EXPECT_EQ(Log(), "");
}

TEST_F(DDEServerModuleTest, IconifyMinimisesEveryLoadedFormAndActivateRestoresTheMainWindow) {
  Start();
  app->CommonCommands().Iconify();
  EXPECT_EQ(window->State(), WindowState::Minimized);
  EXPECT_EQ(fake.ui.FindForm("DDEServer")->State(), WindowState::Minimized);
  EXPECT_EQ(Item("MainWindowState"), "1");

  app->CommonCommands().Activate(app->Main().Form());
  EXPECT_EQ(window->State(), WindowState::Normal);
  EXPECT_EQ(window->raised, 1);
  EXPECT_EQ(Item("MainWindowState"), "0");
}

TEST_F(DDEServerModuleTest, ResetWindowsPutsTheCornerAtThePosition) {
  Start();
  window->SetWidth(3400);
  window->Hide();
  app->ServerModule().ResetWindows(app->Main().Form(), 1440);
  EXPECT_TRUE(window->Visible());
  EXPECT_EQ(window->Left(), 1440);
  EXPECT_EQ(window->Top(), 1440);
  EXPECT_EQ(window->Width(), 3400);
}

}  // namespace
}  // namespace bridge::server
