#include "platform/win32/Win32Program.h"

#include "platform/win32/Win32Platform.h"

namespace bridge::platform::win32 {

int RunProgram(const char* serviceName, const std::function<int(const Platform&)>& program) {
  try {
    Win32Clock clock;
    Win32FileSystem files;
    Win32SettingsStore settings;
    Win32SystemInfo system;
    Win32Ui ui(GetModuleHandleA(nullptr));
    Win32DdeServer ddeServer(serviceName);
    Win32DdeClient ddeClient;
    const Platform platform{clock, files, settings, system, ui, ddeServer, ddeClient};
    return program(platform);
  } catch (...) {
    return 1;
  }
}

}  // namespace bridge::platform::win32
