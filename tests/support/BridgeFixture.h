// The whole program on the in-memory platform, for tests that drive it from outside.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/sim/FakePlatform.h"
#include "shell/Application.h"

namespace bridge::testing {

inline const std::string kLogPath = "C:\\Tavix\\ErrorLog.txt";

class BridgeFixture : public ::testing::Test {
 protected:
  BridgeFixture() : hrd(fake.ddeClient.AddPeer("HRD_RADIO_000", "HRD_CAT")) {
    hrd.items = {{"HRD_HERTZ", "14070000"},
                 {"HRD_HERTZ_B", "7040000"},
                 {"HRD_MODE", "USB"},
                 {"HRD_TX", "off"},
                 {"HRD_BUTTON_STATUS", ""}};
  }

  void Start() {
    app = std::make_unique<shell::Application>(platform);
    app->Start();
    window = fake.ui.FindForm("VelkMain");
    ASSERT_NE(window, nullptr);
  }
  /// A published item of topic "DDEServer", as a client reads it.
  std::string Item(const std::string& name) { return fake.dde.Request("DDEServer", name).value_or("<none>"); }
  std::string MainText(const std::string& control) { return window->Find(control)->Text(); }
  bool MainShown(const std::string& control) { return window->Find(control)->Visible(); }
  std::string Log() const { return fake.files.Content(kLogPath).value_or(""); }

  platform::sim::FakePlatform fake;
  platform::Platform platform = fake.Get();
  platform::sim::FakePeer& hrd;
  std::unique_ptr<shell::Application> app;
  platform::sim::FakeWindow* window = nullptr;
};

}  // namespace bridge::testing
