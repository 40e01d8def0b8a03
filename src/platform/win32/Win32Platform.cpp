// Clock, files, settings store and system facts on Win32.
#include "platform/win32/Win32Platform.h"

#include <shlobj.h>

#include <cstring>

#include "base/Failure.h"
#include "platform/win32/Utf8.h"

namespace bridge::platform::win32 {

using base::Failure;
using base::RunError;

namespace {

RunError FileError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return RunError::FileNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return RunError::PermissionDenied;
    default:
      return RunError::PathFileAccessError;
  }
}

/// A registry key opened here and closed when it goes.
class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() {
    if (key_) RegCloseKey(key_);
  }
  HKEY* Out() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

constexpr const char* kSettingsRoot = "Software\\VB and VBA Program Settings\\";

std::string SettingsPath(const std::string& app, const std::string& section) {
  return kSettingsRoot + app + "\\" + section;
}

}  // namespace

SystemTime Win32Clock::GetSystemTime() {
  SYSTEMTIME now;
  ::GetSystemTime(&now);
  return SystemTime{now.wYear, now.wMonth, now.wDayOfWeek, now.wDay, now.wHour, now.wMinute, now.wSecond,
                    now.wMilliseconds};
}

// ---- files ------------------------------------------------------------------------------

namespace {

class Win32AppendFile : public AppendFile {
 public:
  explicit Win32AppendFile(KernelHandle file) : file_(std::move(file)) {}
  void WriteLine(std::string_view text) override {
    std::string line(text);
    line += "\r\n";
    DWORD written = 0;
    if (!WriteFile(file_.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
        written != line.size())
      throw Failure(FileError(GetLastError()));
  }

 private:
  KernelHandle file_;
};

}  // namespace

// Paths go to the wide functions: through the ANSI ones a folder named outside the code
// page (Cyrillic on a Western system) would be another folder, or none.

std::optional<std::int64_t> Win32FileSystem::FileLength(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(ToWide(path).c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
    throw Failure(FileError(error));
  }
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::unique_ptr<AppendFile> Win32FileSystem::OpenForAppend(const std::string& path) {
  HANDLE file = CreateFileW(ToWide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw Failure(FileError(GetLastError()));
  return std::make_unique<Win32AppendFile>(KernelHandle(file));
}

void Win32FileSystem::CreateFolder(const std::string& path) {
  const std::wstring folder = ToWide(path);
  if (CreateDirectoryW(folder.c_str(), nullptr)) return;
  const DWORD error = GetLastError();
  // A folder already there is what was asked for, even where no new one may be made; a
  // file of that name is not.
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  throw Failure(FileError(error));
}

// ---- settings ---------------------------------------------------------------------------

std::string Win32SettingsStore::Get(const std::string& app, const std::string& section, const std::string& key,
                                    const std::string& defaultValue) {
  RegistryKey opened;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsPath(app, section).c_str(), 0, KEY_QUERY_VALUE, opened.Out()) !=
      ERROR_SUCCESS)
    return defaultValue;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(opened.Get(), key.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return defaultValue;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return defaultValue;
  std::string value(size, '\0');
  if (RegQueryValueExA(opened.Get(), key.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
      ERROR_SUCCESS)
    return defaultValue;
  value.resize(std::strlen(value.c_str()));
  return value;
}

void Win32SettingsStore::Save(const std::string& app, const std::string& section, const std::string& key,
                              const std::string& value) {
  RegistryKey opened;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsPath(app, section).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                      nullptr, opened.Out(), nullptr) != ERROR_SUCCESS)
    throw Failure(RunError::InvalidProcedureCall);
  if (RegSetValueExA(opened.Get(), key.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
    throw Failure(RunError::InvalidProcedureCall);
}

// ---- system facts -----------------------------------------------------------------------

base::NumberFormat Win32SystemInfo::UserNumberFormat() {
  // Read once: the conversions ask for it often, and it changes only with a new logon.
  if (!numberFormat_) {
    base::NumberFormat format;
    char buffer[16];
    if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer) > 1) format.decimal = buffer;
    if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, buffer, sizeof buffer) > 0) format.thousands = buffer;
    numberFormat_ = format;
  }
  return *numberFormat_;
}

int Win32SystemInfo::QueryLocaleInfo(std::uint32_t localeId, std::uint32_t infoType, char* buffer, int bufferSize) {
  return ::GetLocaleInfoA(localeId, infoType, buffer, bufferSize);
}

namespace {

/// The executable's full path in UTF-8. A backslash byte is always a backslash in UTF-8,
/// unlike in some ANSI code pages, so the callers may cut at it.
std::string ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return ToUtf8(path);
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

std::string Win32SystemInfo::ExecutableFolder() {
  const std::string path = ModulePath();
  const std::size_t slash = path.find_last_of('\\');
  if (slash == std::string::npos) return path;
  // A drive's root keeps its backslash ("C:\"), any other folder has none.
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);
  return path.substr(0, slash);
}

std::string Win32SystemInfo::ExecutableName() {
  std::string name = ModulePath();
  const std::size_t slash = name.find_last_of('\\');
  if (slash != std::string::npos) name = name.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

std::string Win32SystemInfo::LocalAppDataFolder() {
  // The same folder as SHGetKnownFolderPath(FOLDERID_LocalAppData), without a COM
  // allocation to free.
  wchar_t folder[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
    throw Failure(RunError::PathFileAccessError);
  std::wstring path(folder);
  if (path.empty()) throw Failure(RunError::PathFileAccessError);
  if (path.back() == L'\\' && !(path.size() == 3 && path[1] == L':')) path.pop_back();
  return ToUtf8(path);
}

OsVersionInfo Win32SystemInfo::GetVersion() {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  std::memset(info.szCSDVersion, ' ', sizeof info.szCSDVersion);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&info)) throw Failure(RunError::InvalidProcedureCall);
#pragma GCC diagnostic pop
  return OsVersionInfo{info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber,
                       std::string(info.szCSDVersion, sizeof info.szCSDVersion)};
}

std::uint16_t Win32SystemInfo::NativeProcessorArchitecture() {
  SYSTEM_INFO info;
  GetNativeSystemInfo(&info);
  return info.wProcessorArchitecture;
}

namespace {

BOOL CALLBACK CollectMonitor(HMONITOR, HDC, LPRECT rect, LPARAM list) {
  reinterpret_cast<std::vector<PixelRect>*>(list)->push_back({rect->left, rect->top, rect->right, rect->bottom});
  return TRUE;
}

}  // namespace

std::vector<PixelRect> Win32SystemInfo::EnumDisplayMonitors() {
  std::vector<PixelRect> monitors;
  ::EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&monitors));
  return monitors;
}

bool Win32SystemInfo::RectOnAnyMonitor(const PixelRect& rect) {
  const RECT area{rect.left, rect.top, rect.right, rect.bottom};
  return MonitorFromRect(&area, MONITOR_DEFAULTTONULL) != nullptr;
}

PixelRect Win32SystemInfo::PrimaryScreen() {
  return PixelRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

int ScreenDpi(int axis) {
  const ScreenDc screen;
  const int dpi = screen.Get() ? GetDeviceCaps(screen.Get(), axis) : 0;
  return dpi > 0 ? dpi : 96;
}

int Win32SystemInfo::ScreenDpiX() { return ScreenDpi(LOGPIXELSX); }
int Win32SystemInfo::ScreenDpiY() { return ScreenDpi(LOGPIXELSY); }

namespace {

/// The predefined handle of a root. A 64-bit HKEY_LOCAL_MACHINE is 0x80000002
/// sign-extended, so the enum's 32-bit value cannot simply be cast to a handle.
HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::CurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine:
      return HKEY_LOCAL_MACHINE;
  }
  return nullptr;
}

}  // namespace

std::optional<std::vector<RegistryValue>> Win32SystemInfo::EnumRegistryValues(RegistryRoot root,
                                                                              const std::string& path) {
  const HKEY rootKey = RootKey(root);
  if (!rootKey) return std::nullopt;
  RegistryKey opened;
  HKEY key = rootKey;
  if (!path.empty()) {
    if (RegOpenKeyExA(rootKey, path.c_str(), 0, KEY_READ, opened.Out()) != ERROR_SUCCESS) return std::nullopt;
    key = opened.Get();
  }
  std::vector<RegistryValue> values;
  for (DWORD index = 0;; ++index) {
    char name[260];
    std::vector<BYTE> data(4096);
    LONG result;
    DWORD nameLength;
    DWORD dataLength;
    DWORD type = 0;
    do {
      nameLength = sizeof name;
      dataLength = static_cast<DWORD>(data.size());
      result = RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data.data(), &dataLength);
      if (result == ERROR_MORE_DATA) data.resize(dataLength > data.size() ? dataLength : data.size() * 2);
    } while (result == ERROR_MORE_DATA);
    if (result != ERROR_SUCCESS) break;
    values.push_back(RegistryValue{std::string(name, nameLength), type,
                                   std::string(reinterpret_cast<const char*>(data.data()), dataLength)});
  }
  return values;
}

}  // namespace bridge::platform::win32
