// The Windows entry point: builds the Win32 platform and runs the program on it.
#include <windows.h>

#include "common/ProgramIdentity.h"
#include "platform/win32/Win32Platform.h"
#include "shell/Application.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace bridge::platform::win32;
  try {
    Win32Clock clock;
    Win32FileSystem files;
    Win32SettingsStore settings;
    Win32SystemInfo system;
    Win32Ui ui(instance);
    Win32DdeServer ddeServer(bridge::common::kServiceName);
    Win32DdeClient ddeClient;
    const bridge::platform::Platform platform{clock, files, settings, system, ui, ddeServer, ddeClient};

    bridge::shell::Application application(platform);
    application.Start();
    return ui.RunMessageLoop();
  } catch (...) {
    return 1;
  }
}
