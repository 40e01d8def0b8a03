// Everything the program needs from the system, in one bundle of references.
#pragma once

#include "platform/Clock.h"
#include "platform/Controls.h"
#include "platform/Dde.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "platform/SystemInfo.h"

namespace bridge::platform {

/// The platform the program runs on: Win32, or the in-memory one of the tests.
struct Platform {
  Clock& clock;
  FileSystem& files;
  SettingsStore& settings;
  SystemInfo& system;
  Ui& ui;
  DdeServer& ddeServer;
  DdeClient& ddeClient;
};

}  // namespace bridge::platform
