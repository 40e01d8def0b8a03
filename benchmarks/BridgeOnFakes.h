// The whole program on the in-memory platform, HRD present, for the microbenchmarks.
#pragma once

#include <memory>
#include <string>

#include "platform/sim/FakePlatform.h"
#include "shell/Application.h"

namespace bridge::benchmarks {

/// The program started on the fakes with HRD running on 14,070.00 kHz in USB, and one
/// client hot-linked on every item a frequency change touches, as in use.
struct BridgeOnFakes {
  BridgeOnFakes() : hrd(fake.ddeClient.AddPeer("HRD_RADIO_000", "HRD_CAT")) {
    hrd.items = {{"HRD_HERTZ", "14070000"},
                 {"HRD_HERTZ_B", "7040000"},
                 {"HRD_MODE", "USB"},
                 {"HRD_TX", "off"},
                 {"HRD_BUTTON_STATUS", ""}};
    hrd.Start();
    app = std::make_unique<shell::Application>(platform);
    app->Start();
    for (const char* item : {"RcvFreq", "RadioVFO", "Mode", "RadioMode", "RadioState"})
      fake.dde.StartHotLink("DDEServer", item);
    fake.ui.RunFor(10);
  }

  /// Drops what the fakes recorded, so that a long run does not grow their lists.
  void Forget() {
    hrd.commands.clear();
    fake.dde.pushes.clear();
  }

  platform::sim::FakePlatform fake;
  platform::Platform platform = fake.Get();
  platform::sim::FakePeer& hrd;
  std::unique_ptr<shell::Application> app;
};

}  // namespace bridge::benchmarks
