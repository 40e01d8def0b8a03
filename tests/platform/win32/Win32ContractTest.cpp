// The platform contract bound to the Win32 layer, run under Wine: the settings store in the
// registry, files in a temporary folder, and forms, controls and timers in real time.
#include <windows.h>

#include <atomic>
#include <string>

#include "platform/PlatformContract.h"
#include "platform/win32/Win32Platform.h"

namespace bridge::platform::contract {
namespace {

using win32::Win32FileSystem;
using win32::Win32SettingsStore;
using win32::Win32Ui;

/// A name no other test of this run or of another process uses.
std::string UniqueName(const std::string& prefix) {
  static std::atomic<int> next{0};
  return prefix + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++next);
}

/// An application of its own under the settings branch; its key goes with the harness.
class Win32SettingsHarness : public SettingsHarness {
 public:
  ~Win32SettingsHarness() override {
    const std::string key = "Software\\VB and VBA Program Settings\\" + app_;
    const LSTATUS status = RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
    EXPECT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << "cannot delete " << key << ": " << status;
  }
  SettingsStore& Store() override { return store_; }
  std::string App() override { return app_; }

 private:
  Win32SettingsStore store_;
  std::string app_ = UniqueName("TavixContract_");
};

/// Removes the folder with everything in it; says what could not be removed.
void RemoveFolderTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveFolderTree(folder + "\\" + name);
      else
        EXPECT_TRUE(DeleteFileA((folder + "\\" + name).c_str())) << name;
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  EXPECT_TRUE(RemoveDirectoryA(folder.c_str())) << "cannot remove " << folder << ": " << GetLastError();
}

/// A fresh folder under the temporary folder; it and everything in it go with the harness.
class Win32FilesHarness : public FilesHarness {
 public:
  Win32FilesHarness() {
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, temp);
    EXPECT_TRUE(length > 0 && length < MAX_PATH) << "no temporary folder: " << GetLastError();
    std::string folder(temp, length);
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    folder_ = folder + "\\" + UniqueName("TavixContract_");
    EXPECT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr)) << "cannot create " << folder_ << ": " << GetLastError();
  }
  ~Win32FilesHarness() override { RemoveFolderTree(folder_); }
  FileSystem& Files() override { return files_; }
  std::string Folder() override { return folder_; }
  std::string AbsentFolder() override { return folder_ + "\\Bridge"; }

 private:
  Win32FileSystem files_;
  std::string folder_;
};

struct FormSearch {
  std::string caption;
  HWND found = nullptr;
};

BOOL CALLBACK MatchForm(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<FormSearch*>(data);
  char className[64] = {};
  char caption[256] = {};
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, caption, sizeof caption);
  if (std::string(className) != "TavixHrdBridgeForm" || search->caption != caption) return TRUE;
  search->found = window;
  return FALSE;
}

/// Our thread's top-level window of the forms' class with the form's caption, or null.
HWND FormWindow(const Window& form) {
  FormSearch search{form.Caption()};
  EnumThreadWindows(GetCurrentThreadId(), MatchForm, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

/// The form's one edit control showing the box's text, or null when none or several do.
HWND EditWindow(HWND form, const TextBox& box) {
  const std::string text = box.Text();
  HWND match = nullptr;
  for (HWND child = FindWindowExA(form, nullptr, "EDIT", nullptr); child;
       child = FindWindowExA(form, child, "EDIT", nullptr)) {
    char shown[256] = {};
    GetWindowTextA(child, shown, sizeof shown);
    if (text != shown) continue;
    if (match) return nullptr;
    match = child;
  }
  return match;
}

/// The window layer in real time: passing time waits for messages until the moment is over.
/// The user acts through the message queue, as input from the keyboard and the caption's
/// close box does: WM_CLOSE to the form, WM_CHAR to the text box.
class Win32UiHarness : public UiHarness {
 public:
  Ui& Layer() override { return ui_; }
  void Pass(std::int32_t milliseconds) override {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
    for (;;) {
      ui_.ProcessMessages();
      const ULONGLONG now = GetTickCount64();
      if (now >= end) return;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
  }
  void Close(Window& form) override {
    const HWND window = FormWindow(form);
    ASSERT_NE(window, nullptr) << "no window for form " << form.Name();
    PostMessageA(window, WM_CLOSE, 0, 0);
    ui_.ProcessMessages();
  }
  void Type(Window& form, TextBox& box, char character) override {
    const HWND window = FormWindow(form);
    ASSERT_NE(window, nullptr) << "no window for form " << form.Name();
    // The window shows the box's text from the form's timer on.
    HWND edit = EditWindow(window, box);
    for (int turn = 0; !edit && turn < 100; ++turn) {
      Pass(20);
      edit = EditWindow(window, box);
    }
    ASSERT_NE(edit, nullptr) << "no single edit control for text box " << box.Name();
    PostMessageA(edit, WM_CHAR, static_cast<unsigned char>(character), 1);
    ui_.ProcessMessages();
  }

 private:
  Win32Ui ui_{GetModuleHandleA(nullptr)};
};

template <typename Harness, typename Real>
std::vector<Binding<Harness>> Win32() {
  return {{"Win32", [] { return std::make_unique<Real>(); }}};
}

INSTANTIATE_TEST_SUITE_P(Win32, SettingsContract,
                         ::testing::ValuesIn(Win32<SettingsHarness, Win32SettingsHarness>()),
                         BindingName<SettingsHarness>);
INSTANTIATE_TEST_SUITE_P(Win32, FilesContract, ::testing::ValuesIn(Win32<FilesHarness, Win32FilesHarness>()),
                         BindingName<FilesHarness>);
INSTANTIATE_TEST_SUITE_P(Win32, UiContract, ::testing::ValuesIn(Win32<UiHarness, Win32UiHarness>()),
                         BindingName<UiHarness>);

}  // namespace
}  // namespace bridge::platform::contract
