// The Windows program's entry: the whole program on the Win32 platform.
#include "common/ProgramIdentity.h"
#include "platform/win32/Win32Program.h"
#include "shell/Application.h"

int main() {
  return bridge::platform::win32::RunProgram(bridge::common::kServiceName, [](const bridge::platform::Platform& platform) {
    bridge::shell::Application application(platform);
    application.Start();
    return platform.ui.RunMessageLoop();
  });
}
