// The Win32 layer's files and system facts against the real system, under Wine: paths in
// UTF-8 whatever the ANSI code page, the per-user data folder, and both registry roots.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "base/Failure.h"
#include "platform/win32/Win32Platform.h"

namespace bridge::platform::win32 {
namespace {

/// A folder of the test's own under the temporary folder, named by the caller in UTF-8 and
/// created and removed here with the wide functions, so that its name on disk is sure.
class WideFolder {
 public:
  explicit WideFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    EXPECT_TRUE(length > 0 && length < MAX_PATH) << "no temporary folder: " << GetLastError();
    path_ = std::wstring(temp, length) + name + L"_" + std::to_wstring(GetCurrentProcessId());
    EXPECT_TRUE(CreateDirectoryW(path_.c_str(), nullptr)) << "cannot create the folder: " << GetLastError();
  }
  ~WideFolder() {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring child = path_ + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          EXPECT_TRUE(RemoveDirectoryW(child.c_str()));
        else
          EXPECT_TRUE(DeleteFileW(child.c_str()));
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    EXPECT_TRUE(RemoveDirectoryW(path_.c_str())) << "cannot remove the folder: " << GetLastError();
  }
  const std::wstring& Wide() const { return path_; }
  /// The same path in UTF-8, as the program holds paths.
  std::string Utf8() const {
    const int size = WideCharToMultiByte(CP_UTF8, 0, path_.data(), static_cast<int>(path_.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path_.data(), static_cast<int>(path_.size()), text.data(), size, nullptr,
                        nullptr);
    return text;
  }

 private:
  std::wstring path_;
};

/// The size of the file as the wide functions find it under its name, or -1 when absent.
long long WideFileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A radio amateur's folder named in Cyrillic on a Western system: through the ANSI code
// page its name would turn into question marks or other letters, and the log would go to
// no folder or the wrong one.
TEST(Win32FilesTest, AFolderNamedOutsideTheAnsiCodePageTakesTheLogUnderItsOwnName) {
  const WideFolder folder(L"Радиостанция Ξ");
  const std::string log = folder.Utf8() + "\\ErrorLog.txt";
  Win32FileSystem files;
  EXPECT_EQ(files.FileLength(log), std::nullopt);
  files.OpenForAppend(log)->WriteLine("first");
  files.OpenForAppend(log)->WriteLine("second");
  EXPECT_EQ(files.FileLength(log), 7 + 8);
  EXPECT_EQ(WideFileSize(folder.Wide() + L"\\ErrorLog.txt"), 7 + 8);
}

// Bytes that are no UTF-8 would reach Windows as some other name: such a path is refused.
TEST(Win32FilesTest, APathThatIsNoUtf8IsRefused) {
  Win32FileSystem files;
  const WideFolder folder(L"TavixBadName");
  const std::string bad = folder.Utf8() + "\\Radio\xC4.txt";  // a Western ANSI letter, alone
  EXPECT_THROW(files.OpenForAppend(bad), base::Failure);
  EXPECT_THROW(files.CreateFolder(bad), base::Failure);
}

// The user's log goes where Windows keeps each user's local application data.
TEST(Win32SystemInfoTest, LocalAppDataFolderIsTheUsersOwnExistingFolder) {
  Win32SystemInfo system;
  const std::string folder = system.LocalAppDataFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '\\');
  wchar_t fromEnvironment[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", fromEnvironment, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH) << "LOCALAPPDATA is not set";
  const int size = MultiByteToWideChar(CP_UTF8, 0, folder.data(), static_cast<int>(folder.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, folder.data(), static_cast<int>(folder.size()), wide.data(), size);
  EXPECT_EQ(lstrcmpiW(wide.c_str(), fromEnvironment), 0);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

/// A value of the key as the registry's own ANSI call reads it, or nothing.
std::optional<std::string> DirectValue(HKEY root, const char* path, const char* name) {
  char data[512];
  DWORD size = sizeof data;
  if (RegGetValueA(root, path, name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) return std::nullopt;
  return std::string(data);
}

/// The value of that name among those enumerated, without its terminating NUL, or nothing.
std::optional<std::string> Named(const std::vector<RegistryValue>& values, const std::string& name) {
  for (const RegistryValue& value : values)
    if (value.name == name) return std::string(value.data.c_str());
  return std::nullopt;
}

// The start-up report names the system from HKEY_LOCAL_MACHINE; a 64-bit process must hand
// the registry the predefined handle itself, which is sign-extended from 0x80000002.
TEST(Win32RegistryTest, LocalMachineIsReadThroughItsPredefinedHandle) {
  const char* key = "Software\\Microsoft\\Windows NT\\CurrentVersion";
  const auto expected = DirectValue(HKEY_LOCAL_MACHINE, key, "CurrentBuildNumber");
  ASSERT_TRUE(expected) << "the system has no build number to compare with";
  Win32SystemInfo system;
  const auto values = system.EnumRegistryValues(RegistryRoot::LocalMachine, key);
  ASSERT_TRUE(values) << "HKEY_LOCAL_MACHINE\\" << key << " could not be opened";
  EXPECT_EQ(Named(*values, "CurrentBuildNumber"), expected);
  EXPECT_EQ(Named(*values, "ProductName"), DirectValue(HKEY_LOCAL_MACHINE, key, "ProductName"));
}

TEST(Win32RegistryTest, CurrentUserIsReadAndAnAbsentKeyGivesNothing) {
  const std::string key = "Software\\TavixRegistryTest_" + std::to_string(GetCurrentProcessId());
  HKEY created = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &created, nullptr),
            ERROR_SUCCESS);
  const char text[] = "True";
  RegSetValueExA(created, "DualMonitor", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
  RegCloseKey(created);

  Win32SystemInfo system;
  const auto values = system.EnumRegistryValues(RegistryRoot::CurrentUser, key);
  const auto absent = system.EnumRegistryValues(RegistryRoot::CurrentUser, key + "\\Absent");
  RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());

  ASSERT_TRUE(values);
  ASSERT_EQ(values->size(), 1u);
  EXPECT_EQ((*values)[0].name, "DualMonitor");
  EXPECT_EQ((*values)[0].type, static_cast<std::uint32_t>(REG_SZ));
  EXPECT_EQ((*values)[0].data, std::string(text, sizeof text));
  EXPECT_EQ(absent, std::nullopt);
}

}  // namespace
}  // namespace bridge::platform::win32
