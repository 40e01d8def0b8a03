// Facts about the machine and the program: locale, operating system, monitors, registry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/NumberFormat.h"

namespace bridge::platform {

/// What `GetVersionExA` reports.
struct OsVersionInfo {
  std::uint32_t platformId = 2;
  std::uint32_t majorVersion = 6;
  std::uint32_t minorVersion = 2;
  std::uint32_t buildNumber = 9200;
  /// The 128-character service-pack field as returned: space-filled, NUL-terminated.
  std::string csdVersion;
};

/// A rectangle in pixels of the virtual screen.
struct PixelRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

/// One value found while enumerating a registry key.
struct RegistryValue {
  std::string name;
  std::uint32_t type = 0;
  std::string data;  // raw bytes, exactly the reported data length
};

/// Predefined registry roots, numbered as Windows documents them; the Win32 layer maps each
/// to its own handle.
enum class RegistryRoot : std::uint32_t { CurrentUser = 0x80000001u, LocalMachine = 0x80000002u };

/// Read-only facts from the system.
class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  /// The user's decimal and thousands separators.
  virtual base::NumberFormat UserNumberFormat() = 0;
  /// As `GetLocaleInfoA`: with `bufferSize` 0 returns the length needed (NUL included);
  /// otherwise fills `buffer` and returns the characters written (NUL included); 0 on failure.
  virtual int QueryLocaleInfo(std::uint32_t localeId, std::uint32_t infoType, char* buffer,
                            int bufferSize) = 0;
  /// The folder that holds the executable, in UTF-8, without a trailing backslash (a
  /// drive's root keeps its own, as in "C:\").
  virtual std::string ExecutableFolder() = 0;
  /// The executable's file name without extension, in UTF-8.
  virtual std::string ExecutableName() = 0;
  /// The user's own folder for local application data (%LOCALAPPDATA%), in UTF-8, without a
  /// trailing backslash. Throws Failure when the system does not name one.
  virtual std::string LocalAppDataFolder() = 0;
  /// `GetVersionExA`. Throws Failure on error.
  virtual OsVersionInfo GetVersion() = 0;
  /// `GetNativeSystemInfo`'s processor architecture (9 x64, 6 Itanium, 0 x86 …).
  virtual std::uint16_t NativeProcessorArchitecture() = 0;
  /// `EnumDisplayMonitors` without device context or clip: each monitor's rectangle, in order.
  virtual std::vector<PixelRect> EnumDisplayMonitors() = 0;
  /// `MonitorFromRect` with `MONITOR_DEFAULTTONULL`: whether the rectangle touches a monitor.
  virtual bool RectOnAnyMonitor(const PixelRect& rect) = 0;
  /// The primary display's rectangle in pixels.
  virtual PixelRect PrimaryScreen() = 0;
  /// The screen's dots per inch, horizontally and vertically.
  virtual int ScreenDpiX() = 0;
  virtual int ScreenDpiY() = 0;
  /// Every value of the key `path` under `root`, in enumeration order; nothing when the key
  /// cannot be opened.
  virtual std::optional<std::vector<RegistryValue>> EnumRegistryValues(RegistryRoot root,
                                                                      const std::string& path) = 0;
};

}  // namespace bridge::platform
