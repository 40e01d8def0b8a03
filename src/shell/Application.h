// Builds every object of the program once, in order, and runs its start and end.
#pragma once

#include <memory>

#include "common/Common.h"
#include "common/LocaleInfo.h"
#include "common/UTC.h"
#include "hrd/HrdRadio.h"
#include "platform/Platform.h"
#include "server/DDECommon.h"
#include "server/DDEServer.h"
#include "server/DDEServerModule.h"
#include "shell/VelkMain.h"
#include "shell/VelkModule.h"

namespace bridge::shell {

/// The whole program on a given platform.
class Application {
 public:
  explicit Application(const platform::Platform& platform);

  /// Loads the main window (its start-up sequence) and shows it.
  void Start();

  VelkMain& Main() { return main_; }
  common::Common& CommonModule() { return common_; }
  server::DDEServer& Server() { return ddeServer_; }
  server::DDEServerModule& ServerModule() { return ddeServerModule_; }
  server::DDECommon& CommonCommands() { return ddeCommon_; }

 private:
  /// The user closed the main window: the shutdown steps, then the end of the loop. While a
  /// DDE transaction waits (the close came through its modal loop) the window stays and
  /// closes once the transaction has returned: false.
  bool MainClosed();
  /// Retries a close that came while a transaction waited.
  void CloseTimer_Timer();
  /// Windows ends the session: the shutdown steps, then the end of the process.
  void SessionEnded();

  const platform::Platform& platform_;
  common::UTC utc_;
  // The common module and the locale getters refer to each other; neither uses the
  // other while it is being built.
  common::Common common_;
  common::LocaleInfo locale_;
  VelkModule velkModule_;
  // The HRD side comes before the forms that use it and goes after them. It lives on the
  // heap so that a test under the address sanitizer sees any use of it once it is gone.
  std::unique_ptr<hrd::HrdRadio> radio_;
  server::DDECommon ddeCommon_;
  server::DDEServer ddeServer_;
  server::DDEServerModule ddeServerModule_;
  VelkMain main_;
  std::unique_ptr<platform::Timer> closeTimer_;
};

}  // namespace bridge::shell
