#include <gtest/gtest.h>

#include <vector>

#include "common/Common.h"
#include "support/CommonFixture.h"

namespace bridge::common {
namespace {

using platform::WindowState;

const std::string kApp = "Tavix_HRD_Bridge";

// A 1280 x 1024 pixel screen at 96 dots per inch is 19200 x 15360 twips.
constexpr double kScreenWidth = 19200;
constexpr double kScreenHeight = 15360;

class PlacementTest : public testing::CommonFixture {
 protected:
  PlacementTest() {
    platform::WindowSpec design;
    design.name = "VelkMain";
    design.clientWidth = 3165;
    design.clientHeight = 975;
    form = std::make_unique<platform::sim::FakeWindow>(fake.ui, design);
    form->SetLeft(600);
    form->SetTop(450);
  }
  void Start(bool dualMonitor) {
    if (dualMonitor) fake.settings.Save(kApp, "Windows", "DualMonitor", "True");
    common.Initialize();
  }
  void Stored(const std::string& key, const std::string& value) { fake.settings.Save(kApp, "Windows", "VelkMain" + key, value); }
  std::string Saved(const std::string& key) { return fake.settings.Stored(kApp, "Windows", "VelkMain" + key).value_or("<none>"); }

  std::unique_ptr<platform::sim::FakeWindow> form;
};

struct ClampCase {
  std::int32_t value;
  bool dualMonitor;
  std::int32_t expected;
};

class LeftClampTest : public PlacementTest, public ::testing::WithParamInterface<ClampCase> {};
TEST_P(LeftClampTest, KeepsLeftEdgesOnThePrimaryScreen) {
  Start(GetParam().dualMonitor);
  EXPECT_EQ(common.ReasonableLeft(GetParam().value), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Edges, LeftClampTest,
                         ::testing::Values(ClampCase{0, false, 0}, ClampCase{18240, false, 18240},  // exactly 95 %
                                           ClampCase{18241, false, 0}, ClampCase{-1200, false, 0},
                                           ClampCase{-1200, true, -1200}, ClampCase{40000, true, 40000}));

class WidthClampTest : public PlacementTest, public ::testing::WithParamInterface<ClampCase> {};
TEST_P(WidthClampTest, OversizedOrNegativeWidthsBecomeHalfTheScreen) {
  Start(GetParam().dualMonitor);
  EXPECT_EQ(common.ReasonableWidth(GetParam().value), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Edges, WidthClampTest,
                         ::testing::Values(ClampCase{21120, false, 21120},  // exactly 1.1 x
                                           ClampCase{21121, false, 9600}, ClampCase{21121, true, 21121},
                                           ClampCase{-1, true, 9600}, ClampCase{0, false, 0}));

TEST_F(PlacementTest, TopAndHeightFollowTheScreenHeight) {
  Start(false);
  EXPECT_EQ(common.ReasonableTop(14592), 14592);  // exactly 95 %
  EXPECT_EQ(common.ReasonableTop(14593), 0);
  EXPECT_EQ(common.ReasonableHeight(16897), 7680);
  EXPECT_EQ(common.ReasonableHeight(16896), 16896);
}

TEST_F(PlacementTest, NoStoredPlacementKeepsTheDesignedOne) {
  Start(false);
  common.RestoreWindowPosition(*form);
  EXPECT_EQ(form->Left(), 600);
  EXPECT_EQ(form->Top(), 450);
  EXPECT_EQ(form->State(), WindowState::Normal);
}

TEST_F(PlacementTest, StoredPlacementIsClampedToThePrimaryScreen) {
  Start(false);
  Stored("Left", "-1200");
  Stored("Top", "2000");
  Stored("WindowState", "2");
  common.RestoreWindowPosition(*form);
  EXPECT_EQ(form->Left(), 0);
  EXPECT_EQ(form->Top(), 2000);
  EXPECT_EQ(form->State(), WindowState::Maximized);
}

TEST_F(PlacementTest, FixedBorderFormKeepsItsSize) {
  Start(false);
  const double width = form->Width();
  Stored("Width", "9000");
  common.RestoreWindowPosition(*form);
  EXPECT_EQ(form->Width(), width);
}

TEST_F(PlacementTest, DualMonitorTrustsAnAttachedMonitorAndCascadesFromARemovedOne) {
  fake.system.monitors = {{0, 0, 1920, 1080}, {-1920, 0, 0, 1080}};
  Start(true);
  Stored("Left", "-14400");
  Stored("Top", "-0");
  common.RestoreWindowPosition(*form);
  EXPECT_EQ(form->Left(), -14400);

  Stored("Left", "60000");
  common.RestoreWindowPosition(*form);
  EXPECT_EQ(form->Left(), 360);
  EXPECT_EQ(form->Top(), 360);
  common.RestoreWindowPosition(*form);
  EXPECT_EQ(form->Left(), 720);
  EXPECT_EQ(form->Top(), 720);
}

TEST_F(PlacementTest, DualMonitorJudgesTheRectangleAFixedSizeWindowReallyCovers) {
  // A window of fixed size keeps its own size, so a huge stored size must not make a
  // position 2000 pixels left of every monitor look attached.
  Start(true);
  const double width = form->Width();
  Stored("Left", "-30000");
  Stored("Top", "1440");
  Stored("Width", "2000000");
  Stored("Height", "2000000");
  common.RestoreWindowPosition(*form);
  EXPECT_EQ(form->Left(), 360);
  EXPECT_EQ(form->Top(), 360);
  EXPECT_EQ(form->Width(), width);

  // The same position with the window's own size reaching onto the screen is trusted.
  Stored("Left", std::to_string(-static_cast<int>(width) + 150));
  common.RestoreWindowPosition(*form);
  EXPECT_EQ(form->Left(), -width + 150);
  EXPECT_EQ(form->Top(), 1440);
}

TEST_F(PlacementTest, CascadeThatWouldOverflowIsReported) {
  Start(true);
  Stored("Left", "99999");
  for (int i = 0; i < 91; ++i) common.RestoreWindowPosition(*form);
  EXPECT_EQ(form->Left(), 32760);
  EXPECT_EQ(fake.files.Content("C:\\Tavix\\ErrorLog.txt"), std::nullopt);
  common.RestoreWindowPosition(*form);
  EXPECT_NE(fake.files.Content("C:\\Tavix\\ErrorLog.txt").value_or("").find(
                "program error 6 in module Common.RestoreWindowPosition: Overflow"),
            std::string::npos);
}

TEST_F(PlacementTest, SaveStoresTheNormalBoundsEvenWhenClosedMaximised) {
  Start(false);
  form->Show();
  form->SetLeft(1500);
  form->SetTop(900.5);
  form->SetState(WindowState::Maximized);
  common.SaveWindowPosition(*form);
  EXPECT_EQ(Saved("WindowState"), "2");
  EXPECT_EQ(Saved("Left"), "1500");
  EXPECT_EQ(Saved("Top"), "900.5");
  EXPECT_EQ(Saved("Width"), std::to_string(static_cast<int>(form->Width())));
  // The window is left as the user had it: it does not pop up restored while closing.
  EXPECT_EQ(form->State(), WindowState::Maximized);

  form->SetLeft(0);
  common.RestoreWindowPosition(*form);
  EXPECT_EQ(form->Left(), 1500);
  EXPECT_EQ(form->Top(), 900);  // the long getter rounds half to even
  EXPECT_EQ(form->State(), WindowState::Maximized);
}

TEST_F(PlacementTest, SaveLeavesAMinimisedWindowMinimised) {
  Start(false);
  form->Show();
  form->SetState(WindowState::Minimized);
  std::vector<WindowState> seen;
  form->OnResize([&] { seen.push_back(form->State()); });
  common.SaveWindowPosition(*form);
  EXPECT_EQ(Saved("WindowState"), "1");
  // Restored for a moment to read the normal bounds, then minimised again.
  EXPECT_EQ(seen, (std::vector<WindowState>{WindowState::Normal, WindowState::Minimized}));
  EXPECT_EQ(form->State(), WindowState::Minimized);
}

}  // namespace
}  // namespace bridge::common
