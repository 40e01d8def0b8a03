// The Win32 platform: DDEML, windows and controls, timers, registry, files, system facts.
#pragma once

#include <windows.h>
#include <ddeml.h>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/win32/DdeHandles.h"
#include "platform/win32/Win32Handles.h"

namespace bridge::platform::win32 {

/// The screen's dots per inch along `axis` (LOGPIXELSX or LOGPIXELSY); 96 when the screen
/// does not say. The one DPI look-up of the program: forms and system facts both use it.
int ScreenDpi(int axis);

class Win32Clock : public Clock {
 public:
  SystemTime GetSystemTime() override;
};

class Win32FileSystem : public FileSystem {
 public:
  std::optional<std::int64_t> FileLength(const std::string& path) override;
  std::unique_ptr<AppendFile> OpenForAppend(const std::string& path) override;
  void CreateFolder(const std::string& path) override;
};

/// The per-user settings branch of the registry, one REG_SZ value per key.
class Win32SettingsStore : public SettingsStore {
 public:
  std::string Get(const std::string& app, const std::string& section, const std::string& key,
                  const std::string& defaultValue) override;
  void Save(const std::string& app, const std::string& section, const std::string& key,
            const std::string& value) override;
};

class Win32SystemInfo : public SystemInfo {
 public:
  base::NumberFormat UserNumberFormat() override;
  int QueryLocaleInfo(std::uint32_t localeId, std::uint32_t infoType, char* buffer, int bufferSize) override;
  std::string ExecutableFolder() override;
  std::string ExecutableName() override;
  std::string LocalAppDataFolder() override;
  OsVersionInfo GetVersion() override;
  std::uint16_t NativeProcessorArchitecture() override;
  std::vector<PixelRect> EnumDisplayMonitors() override;
  bool RectOnAnyMonitor(const PixelRect& rect) override;
  PixelRect PrimaryScreen() override;
  int ScreenDpiX() override;
  int ScreenDpiY() override;
  std::optional<std::vector<RegistryValue>> EnumRegistryValues(RegistryRoot root, const std::string& path) override;

 private:
  /// Whether a user setting has been read for the number format once (it is cached).
  std::optional<base::NumberFormat> numberFormat_;
};

class Win32Timer;

/// Windows, controls and timers on the one user-interface thread.
class Win32Ui : public Ui {
 public:
  explicit Win32Ui(HINSTANCE instance);
  ~Win32Ui() override;

  std::unique_ptr<Window> CreateForm(const WindowSpec& design) override;
  std::vector<Window*> LoadedForms() override;
  std::unique_ptr<Timer> CreateTimer() override;
  void ProcessMessages() override;
  void Sleep(std::int32_t milliseconds) override;
  void Quit() override;
  void EndProcess(int exitCode) override;

  int RunMessageLoop() override;

  HINSTANCE Instance() const { return instance_; }

 private:
  friend class Win32Timer;
  static LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HINSTANCE instance_;
  Icon classIcon_;  // shared: the forms' class shows it
  WindowHandle timerWindow_;
  UINT_PTR nextTimerId_ = 1;
  std::map<UINT_PTR, Win32Timer*> timers_;
  /// Forms whose window exists, in the order they were created.
  std::vector<Window*> forms_;
};

/// The program's DDEML server instance under one service name.
class Win32DdeServer : public DdeServer {
 public:
  explicit Win32DdeServer(std::string serviceName);
  ~Win32DdeServer() override;

  void RegisterTopic(const std::string& topic, TopicHandler& handler) override;
  void UnregisterTopic(const std::string& topic) override;
  void ItemChanged(const std::string& topic, const std::string& item) override;

 private:
  static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                                    HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);
  HDDEDATA Handle(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                  ULONG_PTR data1);
  HDDEDATA Execute(HCONV conversation, const std::string& topic, const std::string& command);
  /// From the loop: hands each conversation's oldest held EXECUTE to its topic, then back to
  /// DDEML for the answer, until none is left.
  void RunHeld();
  void EnsureStarted();
  std::string Text(HSZ hsz) const;
  /// The instance's handle of `text`, made once and kept while the instance lives.
  HSZ Name(const std::string& text);
  TopicHandler* Find(const std::string& topic) const;
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  /// An EXECUTE held from DDEML (CBR_BLOCK) until the loop has handled it.
  struct HeldExecute {
    std::uint64_t id = 0;
    std::string topic;  // lower case
    std::string command;
    bool waits = false;  // answered Hold: handed to the topic's OnHeldExecute
    std::optional<ExecuteAnswer> answer;
  };

  std::string serviceName_;
  DdeInstance instance_;
  DdeServiceName service_;  // registered under instance_: declared after it, so it goes first
  std::map<std::string, DdeString> names_;  // topic and item names, under instance_ too
  std::map<std::string, TopicHandler*> topics_;  // keys in lower case
  std::map<HCONV, std::string> conversations_;   // conversation -> topic, lower case
  std::map<HCONV, std::deque<HeldExecute>> held_;  // per conversation, oldest first
  std::uint64_t lastHeld_ = 0;
  WindowHandle window_;  // message-only: the loop hands held EXECUTEs back through it
};

class Win32Conversation;

/// The program's DDE client, speaking the DDE message protocol from hidden windows (see
/// Win32DdeClient.cpp for why not DDEML); one more DDEML instance hears servers
/// registering their names.
class Win32DdeClient : public DdeClient {
 public:
  Win32DdeClient();
  ~Win32DdeClient() override;

  std::shared_ptr<DdeConversation> Connect(const std::string& service, const std::string& topic) override;
  bool Waiting() const override { return waiting_ > 0; }
  void OnServiceRegistered(std::function<void(const std::string&)> listener) override;

  /// Counts a synchronous wait (an initiate, a transaction) while it lasts.
  class WaitScope {
   public:
    explicit WaitScope(Win32DdeClient* client) : client_(client) {
      if (client_) ++client_->waiting_;
    }
    ~WaitScope() {
      if (client_) --client_->waiting_;
    }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

   private:
    Win32DdeClient* client_;
  };

 private:
  /// The question being asked of the desktop's windows: who serves the service and topic.
  struct Asking {
    HWND window = nullptr;  // ours, which the answers reach
    std::string service;
    std::string topic;
    HWND server = nullptr;  // the first that answered
  };

  static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                                    HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  /// A window to open a conversation from: the one kept from a failed attempt, else a new
  /// one. Throws Failure(DdeNoResponse) when none can be made.
  WindowHandle TakeWindow();
  /// The window of the first server that answers an initiate from `window`, asking each
  /// top-level window in turn with a time-out of its own; nullptr when none answers, and
  /// then `denied` tells whether a window refused the question (a program at a higher
  /// integrity level: Windows drops messages sent up to it).
  HWND Initiate(HWND window, const std::string& service, const std::string& topic, bool& denied);
  /// A server's answer to an initiate; one that is not wanted is told goodbye.
  void OnInitiateAnswer(HWND window, HWND server, LPARAM atoms);
  std::shared_ptr<Win32Conversation> ConversationOf(HWND window);

  Asking asking_;
  int waiting_ = 0;
  WindowHandle spare_;    // kept from a connect that no server answered
  std::set<DWORD> slow_;  // threads whose window did not answer its last initiate in time
  std::set<HWND> refused_;  // windows that refused the last initiate (access denied)
  DdeInstance listener_;  // hears registrations only
  std::map<std::string, std::weak_ptr<Win32Conversation>> conversations_;  // "service|topic", lower case
  std::vector<std::function<void(const std::string&)>> registered_;
};

}  // namespace bridge::platform::win32
