// An in-memory platform for the tests: virtual clock and timers, memory files and settings,
// scripted system facts, windows without a screen and an in-memory DDE bus.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/Text.h"
#include "platform/Platform.h"

namespace bridge::platform::sim {

/// Orders names as Windows compares them (DDE names, settings, file paths): case-blind.
struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const { return base::ToLower(a) < base::ToLower(b); }
};

/// A clock that shows whatever the test sets.
class FakeClock : public Clock {
 public:
  SystemTime now;
  SystemTime GetSystemTime() override { return now; }
};

/// Files in memory, with failures the test can inject; paths are case-blind. Every folder
/// exists unless the test removes it; a file can be opened only in an existing folder that
/// is not read-only, and a folder made only in an existing one.
class FakeFileSystem : public FileSystem {
 public:
  std::optional<std::int64_t> FileLength(const std::string& path) override;
  std::unique_ptr<AppendFile> OpenForAppend(const std::string& path) override;
  void CreateFolder(const std::string& path) override;

  /// The file's content, or nothing when it does not exist.
  std::optional<std::string> Content(const std::string& path) const;
  /// Lines of the file, without their line ends.
  std::vector<std::string> Lines(const std::string& path) const;
  /// Pretends the file has this length (its content stays as it is).
  void SetLength(const std::string& path, std::int64_t length) { lengths_[path] = length; }
  /// The folder is not there (nor any inside it) until `CreateFolder` makes it again.
  void RemoveFolder(const std::string& path);
  /// No file can be created or written in the folder, nor a folder made: a program's folder
  /// under Program Files, for a program without administrator rights.
  void MakeReadOnly(const std::string& path);
  /// No file can be opened, as when another program holds the log locked.
  bool locked = false;
  int opens = 0;
  /// When set, every line written is added as "log <line>".
  std::vector<std::string>* journal = nullptr;

 private:
  friend class FakeAppendFile;
  std::map<std::string, std::string, NoCaseLess> files_;
  std::map<std::string, std::int64_t, NoCaseLess> lengths_;
  std::set<std::string, NoCaseLess> removed_;
  std::set<std::string, NoCaseLess> readOnly_;
  bool Missing(const std::string& folder) const;
};

/// Settings in memory; names compared without regard to case.
class FakeSettingsStore : public SettingsStore {
 public:
  std::string Get(const std::string& app, const std::string& section, const std::string& key,
                  const std::string& defaultValue) override;
  void Save(const std::string& app, const std::string& section, const std::string& key,
            const std::string& value) override;
  /// The stored value, or nothing.
  std::optional<std::string> Stored(const std::string& app, const std::string& section,
                                    const std::string& key) const;
  bool failSaves = false;
  /// When set, every save is added as "save <section>/<key>".
  std::vector<std::string>* journal = nullptr;

 private:
  static std::string Address(const std::string& app, const std::string& section, const std::string& key);
  std::map<std::string, std::string> values_;
};

/// Scripted facts about the machine.
class FakeSystemInfo : public SystemInfo {
 public:
  base::NumberFormat numberFormat;
  std::string executableFolder = "C:\\Tavix";
  std::string executableName = "Tavix_HRD_Bridge";
  /// Empty: the system names no such folder.
  std::string localAppDataFolder = "C:\\Users\\Operator\\AppData\\Local";
  OsVersionInfo version;
  std::uint16_t architecture = 9;
  std::vector<PixelRect> monitors{{0, 0, 1280, 1024}};
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::string> localeValues;
  std::map<std::pair<RegistryRoot, std::string>, std::vector<RegistryValue>> registry;

  base::NumberFormat UserNumberFormat() override { return numberFormat; }
  int QueryLocaleInfo(std::uint32_t localeId, std::uint32_t infoType, char* buffer, int bufferSize) override;
  std::string ExecutableFolder() override { return executableFolder; }
  std::string ExecutableName() override { return executableName; }
  std::string LocalAppDataFolder() override;
  OsVersionInfo GetVersion() override { return version; }
  std::uint16_t NativeProcessorArchitecture() override { return architecture; }
  std::vector<PixelRect> EnumDisplayMonitors() override { return monitors; }
  bool RectOnAnyMonitor(const PixelRect& rect) override;
  PixelRect PrimaryScreen() override { return monitors.empty() ? PixelRect{} : monitors.front(); }
  int ScreenDpiX() override { return dpi; }
  int ScreenDpiY() override { return dpi; }
  int dpi = 96;
  std::optional<std::vector<RegistryValue>> EnumRegistryValues(RegistryRoot root, const std::string& path) override;
};

class FakeTimer;
class FakeWindow;

/// Windows, controls and timers without a screen; time passes only when the test says.
class FakeUi : public Ui {
 public:
  ~FakeUi() override;
  std::unique_ptr<Window> CreateForm(const WindowSpec& design) override;
  std::vector<Window*> LoadedForms() override;
  std::unique_ptr<Timer> CreateTimer() override;
  void ProcessMessages() override {}
  void Sleep(std::int32_t milliseconds) override { nowMs_ += milliseconds; }
  /// A form named so cannot be created, as when the system is out of window handles.
  std::string failFormNamed;
  /// The tests turn the loop themselves, with `RunFor`.
  int RunMessageLoop() override { return 0; }
  void Quit() override { quit = true; }
  void EndProcess(int exitCode) override { ended = exitCode; }

  /// Advances virtual time by `milliseconds`, delivering posted messages and firing due
  /// enabled timers one at a time (posted messages first, timers in the order they fall
  /// due), until the loop quits or the process ends. Re-entrant, as a modal loop is.
  void RunFor(std::int64_t milliseconds);
  /// Posts a message to the thread: `message` runs at the loop's next turn.
  void Post(std::function<void()> message) { posted_.push_back(std::move(message)); }
  /// The loaded form of that name, or null.
  FakeWindow* FindForm(const std::string& name);
  /// Controls of destroyed forms, kept so that a test touching one fails instead of
  /// reading freed memory.
  std::size_t DestroyedControls() const { return graveyard_.size(); }

  bool quit = false;
  std::optional<int> ended;

 private:
  friend class FakeTimer;
  friend class FakeWindow;
  std::int64_t nowMs_ = 0;
  std::vector<FakeTimer*> timers_;
  std::vector<std::function<void()>> posted_;
  std::vector<FakeWindow*> forms_;
  std::vector<std::unique_ptr<Control>> graveyard_;
};

/// A client of the in-memory DDE bus, as a suite program would be.
struct AdviseRecord {
  std::string topic;
  std::string item;
  std::string value;
};

/// The program's DDE server on an in-memory bus, with a test's client ends on it. Topic and
/// item names are case-blind, as DDE's are; a push names the item as its link did.
class FakeDdeServer : public DdeServer {
 public:
  void RegisterTopic(const std::string& topic, TopicHandler& handler) override;
  void UnregisterTopic(const std::string& topic) override;
  void ItemChanged(const std::string& topic, const std::string& item) override;

  bool Serves(const std::string& topic) const { return topics_.count(topic) != 0; }
  /// A client's REQUEST; nothing when the topic or item is not served.
  std::optional<std::string> Request(const std::string& topic, const std::string& item);
  /// A client's EXECUTE, and its wait for the answer; nothing when the topic is not served.
  /// A command the topic holds is handed back to it as the loop's next turn would.
  std::optional<ExecuteAnswer> Execute(const std::string& topic, const std::string& command);
  /// Whether the server is inside its callback, where Windows refuses a synchronous DDE
  /// transaction.
  bool InCallback() const { return inCallback_; }
  /// A client's hot link: every new value is recorded in `pushes`.
  bool StartHotLink(const std::string& topic, const std::string& item);
  std::vector<AdviseRecord> pushes;
  bool failRegistration = false;

 private:
  std::map<std::string, TopicHandler*, NoCaseLess> topics_;
  std::vector<std::pair<std::string, std::string>> links_;
  bool inCallback_ = false;
};

class FakeConversation;

/// A program on the in-memory bus that the bridge talks to as a client: HRD, or one of the
/// suite's programs listening for notices. Its item names are case-blind, as DDE's are.
class FakePeer {
 public:
  FakePeer(std::string service, std::string topic) : service_(std::move(service)), topic_(std::move(topic)) {}
  const std::string& Service() const { return service_; }
  const std::string& Topic() const { return topic_; }

  /// Starts serving (registering the service name); its conversations are new ones.
  void Start();
  /// Stops serving; every conversation with it is gone.
  void Stop();
  bool Running() const { return running_; }
  /// Sets an item and pushes it to every hot link on it.
  void Publish(const std::string& item, const std::string& value);
  /// Hot links open on its live conversations.
  std::size_t HotLinks() const;

  std::map<std::string, std::string, NoCaseLess> items;
  /// Items whose hot link is refused.
  std::vector<std::string> refusedItems;
  /// Every EXECUTE received, in order.
  std::vector<std::string> commands;
  /// Every hot link started, by item, in order.
  std::vector<std::string> links;
  bool refuseCommands = false;
  /// How long the program takes to answer an EXECUTE or a link step. The bridge's thread
  /// meanwhile dispatches posted messages and due timers, as Windows' DDE does while a
  /// synchronous transaction waits.
  std::int64_t answerAfterMs = 0;
  /// Runs inside each EXECUTE before it is answered, as another program's work would.
  std::function<void(const std::string&)> duringExecute;

 private:
  friend class FakeConversation;
  friend class FakeDdeClient;
  std::string service_;
  std::string topic_;
  bool running_ = false;
  bool executing_ = false;
  int generation_ = 0;
  std::vector<std::weak_ptr<FakeConversation>> conversations_;
  class FakeDdeClient* bus_ = nullptr;
};

/// The program's DDE client on the in-memory bus; service and topic names are case-blind.
class FakeDdeClient : public DdeClient {
 public:
  /// Adds a program to the bus; it is not running until started.
  FakePeer& AddPeer(const std::string& service, const std::string& topic);
  std::shared_ptr<DdeConversation> Connect(const std::string& service, const std::string& topic) override;
  void OnServiceRegistered(std::function<void(const std::string&)> listener) override {
    listeners_.push_back(std::move(listener));
  }
  bool Waiting() const override { return waiting_ > 0; }
  /// Every initiate, answered or not, as "service|topic".
  std::vector<std::string> initiates;
  /// The loop that runs while a transaction waits, and the program's own server, inside
  /// whose callback a transaction is refused as Windows refuses it.
  FakeUi* ui = nullptr;
  const FakeDdeServer* server = nullptr;
  /// Top-level windows of programs at a higher integrity level: an initiate cannot reach
  /// them (access denied), so a service they may offer cannot be told from none.
  int deniedWindows = 0;
  /// When set, every initiate is added as "initiate service|topic", and every EXECUTE a
  /// peer receives as "execute service command".
  std::vector<std::string>* journal = nullptr;

 private:
  friend class FakePeer;
  friend class FakeConversation;
  /// Throws Failure(DdeRefused) inside the server's callback, where no synchronous
  /// transaction may start.
  void RefuseInsideCallback() const;
  /// Waits `peer`'s answer time while the loop turns.
  void AwaitAnswer(FakePeer& peer);
  int waiting_ = 0;
  std::vector<std::unique_ptr<FakePeer>> peers_;
  std::vector<std::function<void(const std::string&)>> listeners_;
};

/// Everything at once, as the program takes it.
struct FakePlatform {
  FakeClock clock;
  FakeFileSystem files;
  FakeSettingsStore settings;
  FakeSystemInfo system;
  FakeUi ui;
  FakeDdeServer dde;
  FakeDdeClient ddeClient;
  /// What the program did to the outside, in order, across the fakes that record into it.
  std::vector<std::string> journal;
  FakePlatform() {
    files.journal = settings.journal = ddeClient.journal = &journal;
    ddeClient.ui = &ui;
    ddeClient.server = &dde;
  }
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;
  Platform Get() { return Platform{clock, files, settings, system, ui, dde, ddeClient}; }
};

/// A form of the fake window layer, inspectable by the tests. Destroying it destroys its
/// controls: a test that touches one afterwards fails, naming the control.
class FakeWindow : public Window {
 public:
  FakeWindow(FakeUi& ui, const WindowSpec& design);
  ~FakeWindow() override;

  const std::string& Name() const override { return design_.name; }
  std::string Caption() const override { return design_.caption; }
  void Show() override;
  void Hide() override { visible_ = false; }
  bool Visible() const override { return visible_; }
  WindowState State() const override { return state_; }
  void SetState(WindowState state) override;
  Twips Left() const override { return left_; }
  Twips Top() const override { return top_; }
  Twips Width() const override { return width_; }
  Twips Height() const override { return height_; }
  void SetLeft(Twips left) override { left_ = left; }
  void SetTop(Twips top) override { top_ = top; }
  void SetWidth(Twips width) override { width_ = width; }
  void SetHeight(Twips height) override { height_ = height; }
  bool Sizable() const override { return design_.sizable; }
  int DpiX() const override { return 96; }
  int DpiY() const override { return 96; }
  void BringToFront() override { ++raised; }
  Label& AddLabel(const ControlSpec& design) override;
  TextBox& AddTextBox(const ControlSpec& design) override;
  void OnResize(std::function<void()> handler) override { onResize_ = std::move(handler); }
  void OnClose(std::function<bool()> handler) override { onClose_ = std::move(handler); }
  void OnEndSession(std::function<void()> handler) override { onEndSession_ = std::move(handler); }
  void Destroy() override;

  /// The user closes the window.
  void Close();
  /// Windows ends the session (log-off or shutdown).
  void EndSession();
  /// The control of that name, or null; a destroyed form's control fails the test when used.
  Control* Find(const std::string& name);
  const WindowSpec& Design() const { return design_; }
  const std::vector<ControlSpec>& ControlSpecs() const { return controlSpecs_; }
  /// Types one character into the text box `name`, through its key-press handler.
  void Type(const std::string& name, char character);

  int raised = 0;
  bool destroyed = false;

 private:
  FakeUi& ui_;
  WindowSpec design_;
  bool visible_ = false;
  WindowState state_ = WindowState::Normal;
  Twips left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  std::vector<std::unique_ptr<Control>> controls_;
  std::vector<ControlSpec> controlSpecs_;
  std::function<void()> onResize_;
  std::function<bool()> onClose_;
  std::function<void()> onEndSession_;
};

}  // namespace bridge::platform::sim
