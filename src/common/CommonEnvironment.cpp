// The start-up environment report and the identification of the operating system.
#include <cstdio>
#include <string>

#include "base/Text.h"
#include "common/Common.h"
#include "common/CommonUI.h"
#include "common/ProgramIdentity.h"
#include "common/Registry.h"

namespace bridge::common {
namespace {

constexpr const char* kCurrentVersionKey = "Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr std::uint16_t kArchitectureAmd64 = 9;
constexpr std::uint16_t kArchitectureIa64 = 6;
// Windows 11 kept version 10.0, and its registry's ProductName still says "Windows 10":
// only the build number, from 22000 on, tells it apart.
constexpr std::uint32_t kFirstWindows11Build = 22000;

std::string Hex(std::int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
  return text;
}

}  // namespace

void Common::WriteStartupReport() {
  // Every line but the first carries the start-up time; a line whose value cannot be
  // produced is left out.
  auto line = [&](auto&& text) { Ignore([&] { WriteOpenLine(startupTime_, text()); }); };
  Ignore([&] { WriteOpen(""); });
  line([&] { return std::string(kProductName) + " version " + VersionText(); });
  line([&] { return "App.Path          : " + platform_.system.ExecutableFolder(); });
  line([&] { return "App.exe           : " + platform_.system.ExecutableName(); });
  line([&] {
    return "Operating System  : " + GetOSName() + " (" + std::to_string(osWordLength_) + "-bit) build " +
           std::to_string(GetOSBuild());
  });
  line([&] {
    const std::int32_t id = locale_.GetLocaleID();
    return "Locale ID         : " + std::to_string(id) + " (0x" + Hex(id) + ")";
  });
  line([&] { return "ANSI CodePage     : " + locale_.GetLocaleANSICodePage(); });
  line([&] { return "OEM CodePage      : " + locale_.GetLocaleOEMCodePage(); });
  line([&] { return "Country           : " + locale_.GetLocaleCountry(); });
  line([&] { return "Language          : " + locale_.GetLocaleLanguage(); });
  line([&] { return "DecimalSeparator  : " + locale_.GetLocaleDecimalSeparator(); });
  line([&] { return "ThousandSeparator : " + locale_.GetLocaleThousandSeparator(); });
  line([&] {
    const std::string apps = interopCaption_ ? interopCaption_() : std::string();
    return "Tavix Apps        : " + std::string(base::Trim(apps, base::kSpaces));
  });
  Ignore([&] {
    if (!commonUI_) commonUI_ = std::make_unique<CommonUI>(platform_.ui, *this);
  });
}

void Common::ReportMonitors(platform::Window& /*form*/) {
  std::vector<platform::PixelRect> monitorRects;
  Ignore([&] { monitorRects = platform_.system.EnumDisplayMonitors(); });
  auto line = [&](const std::string& text) { Ignore([&] { WriteOpenLine(utc_.CurrentTime(), text); }); };
  line("Monitors          : " + std::to_string(monitorRects.size()));
  for (std::size_t i = 0; i < monitorRects.size(); ++i) {
    const platform::PixelRect& r = monitorRects[i];
    line("Monitor " + std::to_string(i + 1));
    line("   width          : " + std::to_string(r.right - r.left));
    line("   height         : " + std::to_string(r.bottom - r.top));
    line("   dimensions     : (" + std::to_string(r.left) + ", " + std::to_string(r.top) + ")-(" +
         std::to_string(r.right) + ", " + std::to_string(r.bottom) + ")");
  }
}

void Common::GetOSVersion() {
  Trap(*this, "Common.GetOSVersion", [&] {
    DebugLog("Common.GetOSVersion");
    const platform::OsVersionInfo version = platform_.system.GetVersion();
    osBuild_ = static_cast<std::int32_t>(version.buildNumber);
    osName_ = "unknown (" + std::to_string(version.platformId) + "." + std::to_string(version.majorVersion) + "." +
              std::to_string(version.minorVersion) + ")";
    osWordLength_ = 16;
    bool nativeCheck = false;

    const auto major = version.majorVersion;
    const auto minor = version.minorVersion;
    switch (version.platformId) {
      case 0:
        osName_ = "Windows 3.1";
        break;
      case 1:
        if (minor == 0) osName_ = "Windows 95";
        if (minor == 10) osName_ = "Windows 98";
        if (minor == 90) osName_ = "Windows Millennium";
        break;
      case 2:
        if (major == 3) {
          osName_ = "Windows NT 3.51";
          osWordLength_ = 32;
        } else if (major == 4) {
          osName_ = "Windows NT 4.0";
          osWordLength_ = 32;
        } else if (major == 5 && minor == 0) {
          osName_ = "Windows 2000";
          osWordLength_ = 32;
        } else if (major == 5 && minor == 1) {
          osName_ = "Windows XP";
          nativeCheck = true;
        } else if (major == 5 && minor == 2) {
          osName_ = "Windows Server";
          osWordLength_ = 32;
        } else if (major == 6 && minor == 0) {
          osName_ = "Vista";
          nativeCheck = true;
        } else if (major == 6) {
          NameFromRegistry(version);
          nativeCheck = true;
        } else if (major == 10 && minor == 0 && version.buildNumber < kFirstWindows11Build) {
          osName_ = "Windows 10";
          nativeCheck = true;
        } else if (major == 10 && minor == 0) {
          osName_ = "Windows 11";
          nativeCheck = true;
        }
        break;
      default:
        break;
    }
    if (nativeCheck) {
      const std::uint16_t architecture = platform_.system.NativeProcessorArchitecture();
      osWordLength_ = architecture == kArchitectureAmd64 || architecture == kArchitectureIa64 ? 64 : 32;
    }
  });
}

void Common::NameFromRegistry(const platform::OsVersionInfo& version) {
  // Windows 7 to 8.1 take their name and build from the registry; so do later systems when
  // they report themselves as 6.2, as they do to a build whose manifest does not name them.
  Registry registry(platform_.system, *this);
  const auto root = platform::RegistryRoot::LocalMachine;
  osBuild_ = 0;
  if (registry.KeyValuePresent(root, kCurrentVersionKey, "CurrentBuildNumber"))
    Ignore([&] { osBuild_ = ToInteger32(registry.GetKeyValue(root, kCurrentVersionKey, "CurrentBuildNumber"), Format()); });
  if (registry.KeyValuePresent(root, kCurrentVersionKey, "ProductName")) {
    osName_ = registry.GetKeyValue(root, kCurrentVersionKey, "ProductName");
    if (!base::Trim(version.csdVersion, base::kSpaces).empty()) {
      const std::string servicePack = CSDVersionTrim(version.csdVersion);
      if (!servicePack.empty()) osName_ += " [" + servicePack + "]";
    }
    return;
  }
  switch (version.minorVersion) {
    case 1:
      osName_ = "Windows 7";
      break;
    case 2:
      osName_ = "Windows 8";
      break;
    case 3:
      osName_ = osBuild_ == 0 ? "?" : osBuild_ >= 10000 ? "Windows 10" : "Windows 8.1";
      break;
    default:
      break;
  }
}

std::string Common::GetOSName() {
  return TrapOr(*this, "Common.GetOSName", std::string(), [&] { return osName_; });
}

std::int32_t Common::GetOSBuild() {
  return TrapOr(*this, "Common.GetOSBuild", std::int32_t{0}, [&] { return osBuild_; });
}

std::string Common::CSDVersionTrim(const std::string& text) {
  return TrapOr(*this, "Common.CSDVersionTrim", std::string(), [&] {
    if (text.empty()) return std::string();
    // Spaces go before the cut, so spaces just before the first NUL stay.
    const std::string_view trimmed = base::Trim(text, base::kSpaces);
    return std::string(trimmed.substr(0, trimmed.find('\0')));
  });
}

}  // namespace bridge::common
