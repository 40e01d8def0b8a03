#include "platform/sim/FakePlatform.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

#include "base/Failure.h"
#include "base/Text.h"

namespace bridge::platform::sim {

using base::EqualNoCase;
using base::Failure;
using base::RunError;

// ---- files ------------------------------------------------------------------------------

class FakeAppendFile : public AppendFile {
 public:
  FakeAppendFile(FakeFileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}
  void WriteLine(std::string_view text) override {
    std::string& content = files_.files_[path_];
    content.append(text);
    content.append("\r\n");
    if (files_.journal) files_.journal->push_back("log " + std::string(text));
    files_.lengths_.erase(path_);
  }

 private:
  FakeFileSystem& files_;
  std::string path_;
};

namespace {

/// The folder holding `path` ("C:" for a file in a drive's root); empty for a drive.
std::string ParentFolder(const std::string& path) {
  const std::size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string WithoutTrailingBackslash(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace

bool FakeFileSystem::Missing(const std::string& folder) const {
  for (std::string walk = folder; !walk.empty(); walk = ParentFolder(walk))
    if (removed_.count(walk)) return true;
  return false;
}

void FakeFileSystem::RemoveFolder(const std::string& path) { removed_.insert(WithoutTrailingBackslash(path)); }

void FakeFileSystem::MakeReadOnly(const std::string& path) { readOnly_.insert(WithoutTrailingBackslash(path)); }

std::optional<std::int64_t> FakeFileSystem::FileLength(const std::string& path) {
  if (auto forced = lengths_.find(path); forced != lengths_.end()) return forced->second;
  auto file = files_.find(path);
  if (file == files_.end()) return std::nullopt;
  return static_cast<std::int64_t>(file->second.size());
}

std::unique_ptr<AppendFile> FakeFileSystem::OpenForAppend(const std::string& path) {
  if (locked) throw Failure(RunError::PermissionDenied);
  const std::string folder = ParentFolder(path);
  if (Missing(folder)) throw Failure(RunError::PathFileAccessError);
  if (readOnly_.count(folder)) throw Failure(RunError::PermissionDenied);
  ++opens;
  files_.try_emplace(path);
  return std::make_unique<FakeAppendFile>(*this, path);
}

void FakeFileSystem::CreateFolder(const std::string& path) {
  const std::string folder = WithoutTrailingBackslash(path);
  if (files_.count(folder)) throw Failure(RunError::PathFileAccessError);
  const std::string parent = ParentFolder(folder);
  if (Missing(parent)) throw Failure(RunError::PathFileAccessError);
  if (!Missing(folder)) return;
  if (readOnly_.count(parent)) throw Failure(RunError::PermissionDenied);
  removed_.erase(folder);
}

std::optional<std::string> FakeFileSystem::Content(const std::string& path) const {
  auto file = files_.find(path);
  if (file == files_.end()) return std::nullopt;
  return file->second;
}

std::vector<std::string> FakeFileSystem::Lines(const std::string& path) const {
  std::vector<std::string> lines;
  const std::string content = Content(path).value_or("");
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t end = content.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(content.substr(start));
      break;
    }
    lines.push_back(content.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// ---- settings ---------------------------------------------------------------------------

std::string FakeSettingsStore::Address(const std::string& app, const std::string& section,
                                       const std::string& key) {
  return base::ToLower(app + "\\" + section + "\\" + key);
}

std::string FakeSettingsStore::Get(const std::string& app, const std::string& section,
                                   const std::string& key, const std::string& defaultValue) {
  return Stored(app, section, key).value_or(defaultValue);
}

void FakeSettingsStore::Save(const std::string& app, const std::string& section, const std::string& key,
                             const std::string& value) {
  if (failSaves) throw Failure(RunError::PermissionDenied);
  values_[Address(app, section, key)] = value;
  if (journal) journal->push_back("save " + section + "/" + key);
}

std::optional<std::string> FakeSettingsStore::Stored(const std::string& app, const std::string& section,
                                                     const std::string& key) const {
  auto value = values_.find(Address(app, section, key));
  if (value == values_.end()) return std::nullopt;
  return value->second;
}

// ---- system facts -----------------------------------------------------------------------

int FakeSystemInfo::QueryLocaleInfo(std::uint32_t localeId, std::uint32_t infoType, char* buffer,
                                  int bufferSize) {
  auto value = localeValues.find({localeId, infoType});
  if (value == localeValues.end()) return 0;
  const int needed = static_cast<int>(value->second.size()) + 1;
  if (bufferSize == 0) return needed;
  if (bufferSize < needed) return 0;
  std::memcpy(buffer, value->second.c_str(), static_cast<std::size_t>(needed));
  return needed;
}

std::string FakeSystemInfo::LocalAppDataFolder() {
  if (localAppDataFolder.empty()) throw Failure(RunError::PathFileAccessError);
  return localAppDataFolder;
}

bool FakeSystemInfo::RectOnAnyMonitor(const PixelRect& rect) {
  return std::any_of(monitors.begin(), monitors.end(), [&](const PixelRect& m) {
    return rect.left < m.right && rect.right > m.left && rect.top < m.bottom && rect.bottom > m.top;
  });
}

std::optional<std::vector<RegistryValue>> FakeSystemInfo::EnumRegistryValues(RegistryRoot root,
                                                                             const std::string& path) {
  auto key = registry.find({root, path});
  if (key == registry.end()) return std::nullopt;
  return key->second;
}

// ---- timers -----------------------------------------------------------------------------

class FakeTimer : public Timer {
 public:
  explicit FakeTimer(FakeUi& ui) : ui_(ui) { ui_.timers_.push_back(this); }
  ~FakeTimer() override { std::erase(ui_.timers_, this); }

  void SetInterval(std::int32_t milliseconds) override {
    interval_ = milliseconds;
    due_ = ui_.nowMs_ + interval_;
  }
  std::int32_t Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override {
    if (enabled && !enabled_) due_ = ui_.nowMs_ + interval_;
    enabled_ = enabled;
  }
  bool Enabled() const override { return enabled_; }
  void OnTick(std::function<void()> handler) override { tick_ = std::move(handler); }

  bool Armed() const { return enabled_ && interval_ > 0; }
  std::int64_t Due() const { return due_; }
  void Fire() {
    due_ = ui_.nowMs_ + interval_;
    if (tick_) tick_();
  }

 private:
  FakeUi& ui_;
  std::int32_t interval_ = 0;
  bool enabled_ = false;
  std::int64_t due_ = 0;
  std::function<void()> tick_;
};

FakeUi::~FakeUi() = default;

std::unique_ptr<Timer> FakeUi::CreateTimer() { return std::make_unique<FakeTimer>(*this); }

void FakeUi::RunFor(std::int64_t milliseconds) {
  const std::int64_t end = nowMs_ + milliseconds;
  // Posted messages come first, in order, also once the loop was told to quit: the system
  // hands out WM_QUIT only when no posted message is left.
  // Once the loop is told to quit or the process ends, no timer message is delivered: the
  // system hands out WM_QUIT before any WM_TIMER.
  while (!ended) {
    if (!posted_.empty()) {
      auto message = std::move(posted_.front());
      posted_.erase(posted_.begin());
      message();
      continue;
    }
    if (quit) break;
    FakeTimer* next = nullptr;
    for (FakeTimer* timer : timers_)
      if (timer->Armed() && timer->Due() <= end && (!next || timer->Due() < next->Due())) next = timer;
    if (!next) break;
    nowMs_ = std::max(nowMs_, next->Due());
    next->Fire();
  }
  nowMs_ = std::max(nowMs_, end);
}

// ---- windows and controls ---------------------------------------------------------------

namespace {

/// A label or text box. Destroyed with its form, it keeps only its name and fails the test
/// on any later use, where a real control's memory would be gone.
template <typename Base>
class FakeControl : public Base {
 public:
  FakeControl(const ControlSpec& design, const std::string& form)
      : name_(design.name), form_(form), text_(design.text), visible_(design.visible) {}
  const std::string& Name() const override {
    Gone("Name");
    return name_;
  }
  std::string Text() const override {
    if (Gone("Text")) return {};
    return text_;
  }
  void SetText(std::string_view text) override {
    if (Gone("SetText") || text_ == text) return;
    text_ = text;
    Changed();
  }
  bool Visible() const override { return !Gone("Visible") && visible_; }
  void SetVisible(bool visible) override {
    if (!Gone("SetVisible")) visible_ = visible;
  }
  void OnChange(std::function<void()> listener) override {
    if (!Gone("OnChange")) listeners_.push_back(std::move(listener));
  }

  /// Destroys the control: its state and whatever its handlers hold are let go.
  virtual void Destroy() {
    destroyed_ = true;
    text_.clear();
    listeners_.clear();
  }

 protected:
  /// Runs the change listeners. A static control calls them directly, so a listener's
  /// failure reaches whoever set the text.
  virtual void Changed() { RunListeners(); }
  void RunListeners() {
    // A listener may add listeners, so the walk goes by index and reaches the new ones; each
    // runs from a copy, as adding may move the stored ones and destroying the form frees them.
    for (std::size_t i = 0; i < listeners_.size() && !destroyed_; ++i) {
      auto listener = listeners_[i];
      listener();
    }
  }
  bool Gone(const char* operation) const {
    if (!destroyed_) return false;
    ADD_FAILURE() << operation << " on control " << name_ << " of destroyed form " << form_;
    return true;
  }

  std::string name_;
  std::string form_;
  std::string text_;
  bool visible_;
  bool destroyed_ = false;
  std::vector<std::function<void()>> listeners_;
};

using FakeLabel = FakeControl<Label>;

class FakeTextBox : public FakeControl<TextBox> {
 public:
  using FakeControl::FakeControl;
  void OnKeyPress(std::function<void(std::int16_t&)> handler) override {
    if (!Gone("OnKeyPress")) keyPress_ = std::move(handler);
  }
  void Destroy() override {
    FakeControl::Destroy();
    keyPress_ = nullptr;
  }
  void Type(char character) {
    if (Gone("Type")) return;
    std::int16_t key = static_cast<unsigned char>(character);
    // The key-press handler runs from the control's window procedure, which lets no
    // failure out: a handler that throws leaves the character as it was.
    if (keyPress_) base::Ignore([&] { keyPress_(key); });
    if (key == 0) return;
    std::string text = text_;
    if (key == 8) {
      if (!text.empty()) text.pop_back();
    } else {
      text.push_back(static_cast<char>(key));
    }
    SetText(text);
  }

 protected:
  // An edit control reports its change to its form as EN_CHANGE, whose window procedure
  // lets no failure out: a listener's failure ends the walk and reaches nobody.
  void Changed() override { base::Ignore([&] { RunListeners(); }); }

 private:
  std::function<void(std::int16_t&)> keyPress_;
};

}  // namespace

std::unique_ptr<Window> FakeUi::CreateForm(const WindowSpec& design) {
  if (!failFormNamed.empty() && design.name == failFormNamed) throw Failure(RunError::InvalidProcedureCall);
  return std::make_unique<FakeWindow>(*this, design);
}

std::vector<Window*> FakeUi::LoadedForms() { return {forms_.begin(), forms_.end()}; }

FakeWindow* FakeUi::FindForm(const std::string& name) {
  for (FakeWindow* form : forms_)
    if (form->Name() == name) return form;
  return nullptr;
}

FakeWindow::FakeWindow(FakeUi& ui, const WindowSpec& design)
    : ui_(ui), design_(design), width_(design.clientWidth + 240), height_(design.clientHeight + 540) {
  ui_.forms_.push_back(this);
}

FakeWindow::~FakeWindow() {
  // As a real form's destructor, this destroys the window; the dead controls outlive it so
  // that a stale reference into them fails the test rather than reading freed memory.
  Destroy();
  for (auto& control : controls_) ui_.graveyard_.push_back(std::move(control));
}

void FakeWindow::Destroy() {
  if (destroyed) return;
  destroyed = true;
  visible_ = false;
  std::erase(ui_.forms_, this);
  for (auto& control : controls_) {
    if (auto* label = dynamic_cast<FakeLabel*>(control.get())) label->Destroy();
    if (auto* box = dynamic_cast<FakeTextBox*>(control.get())) box->Destroy();
  }
}

void FakeWindow::Show() {
  if (destroyed) return;
  const bool first = !visible_;
  visible_ = true;
  if (first && onResize_) base::Ignore([&] { onResize_(); });
}

void FakeWindow::SetState(WindowState state) {
  if (destroyed || state == state_) return;
  state_ = state;
  if (onResize_) base::Ignore([&] { onResize_(); });
}

Label& FakeWindow::AddLabel(const ControlSpec& design) {
  controlSpecs_.push_back(design);
  controls_.push_back(std::make_unique<FakeLabel>(design, design_.name));
  return static_cast<Label&>(*controls_.back());
}

TextBox& FakeWindow::AddTextBox(const ControlSpec& design) {
  controlSpecs_.push_back(design);
  controls_.push_back(std::make_unique<FakeTextBox>(design, design_.name));
  return static_cast<TextBox&>(*controls_.back());
}

void FakeWindow::Close() {
  if (destroyed) return;
  // The window procedure lets no failure of the handler out; the window goes unless the
  // handler answered that it stays.
  bool close = true;
  if (onClose_) base::Ignore([&] { close = onClose_(); });
  if (close) Destroy();
}

void FakeWindow::EndSession() {
  if (!destroyed && onEndSession_) base::Ignore([&] { onEndSession_(); });
}

Control* FakeWindow::Find(const std::string& name) {
  // By the designs, which outlive the controls: a destroyed form's control is found, and
  // using it fails the test.
  for (std::size_t i = 0; i < controls_.size(); ++i)
    if (controlSpecs_[i].name == name) return controls_[i].get();
  return nullptr;
}

void FakeWindow::Type(const std::string& name, char character) {
  if (auto* box = dynamic_cast<FakeTextBox*>(Find(name))) box->Type(character);
}

// ---- DDE --------------------------------------------------------------------------------

void FakeDdeServer::RegisterTopic(const std::string& topic, TopicHandler& handler) {
  if (failRegistration) throw Failure(RunError::DdeNoResponse);
  topics_[topic] = &handler;
}

void FakeDdeServer::UnregisterTopic(const std::string& topic) {
  topics_.erase(topic);
  std::erase_if(links_, [&](const auto& link) { return EqualNoCase(link.first, topic); });
}

void FakeDdeServer::ItemChanged(const std::string& topic, const std::string& item) {
  // A REQUEST made for a push may change the links; walk a copy.
  const auto links = links_;
  for (const auto& [linkTopic, linkItem] : links)
    if (EqualNoCase(linkTopic, topic) && EqualNoCase(linkItem, item))
      pushes.push_back({linkTopic, linkItem, Request(linkTopic, linkItem).value_or("")});
}

std::optional<std::string> FakeDdeServer::Request(const std::string& topic, const std::string& item) {
  auto handler = topics_.find(topic);
  if (handler == topics_.end()) return std::nullopt;
  return handler->second->OnRequest(item);
}

std::optional<ExecuteAnswer> FakeDdeServer::Execute(const std::string& topic, const std::string& command) {
  auto handler = topics_.find(topic);
  if (handler == topics_.end()) return std::nullopt;
  inCallback_ = true;
  ExecuteAnswer answer = handler->second->OnExecute(command);
  inCallback_ = false;
  if (answer != ExecuteAnswer::Hold) return answer;
  // Held: the client waits while the loop hands the command back, outside the callback.
  handler = topics_.find(topic);
  if (handler == topics_.end()) return ExecuteAnswer::Refuse;
  answer = handler->second->OnHeldExecute(command);
  return answer == ExecuteAnswer::Accept ? answer : ExecuteAnswer::Refuse;
}

bool FakeDdeServer::StartHotLink(const std::string& topic, const std::string& item) {
  if (!Request(topic, item)) return false;
  links_.emplace_back(topic, item);
  return true;
}

// ---- DDE peers --------------------------------------------------------------------------

class FakeConversation : public DdeConversation {
 public:
  FakeConversation(FakePeer& peer) : peer_(peer), generation_(peer.generation_) {}
  bool Alive() override { return peer_.running_ && peer_.generation_ == generation_; }
  void StartHotLink(const std::string& item, std::function<void(const std::string&)> sink) override {
    if (!Alive()) throw Failure(RunError::DdeNoChannel);
    if (peer_.bus_) peer_.bus_->RefuseInsideCallback();
    AwaitAnswer();
    if (std::any_of(peer_.refusedItems.begin(), peer_.refusedItems.end(),
                    [&](const std::string& refused) { return EqualNoCase(refused, item); }))
      throw Failure(RunError::DdeRefused);
    peer_.links.push_back(item);
    sinks_[item] = sink;
    sink(peer_.items[item]);
  }
  void StopHotLink(const std::string& item) override { sinks_.erase(item); }
  std::size_t HotLinks() const { return sinks_.size(); }
  void Execute(std::string_view command) override {
    if (!Alive()) throw Failure(RunError::DdeNoChannel);
    // As the DDE layer does, a synchronous transaction started while another one waits
    // is refused.
    if (peer_.executing_) throw Failure(RunError::DdeRefused);
    if (peer_.bus_) peer_.bus_->RefuseInsideCallback();
    // The program has the command at once; its answer comes after its answer time.
    peer_.commands.emplace_back(command);
    if (peer_.bus_ && peer_.bus_->journal)
      peer_.bus_->journal->push_back("execute " + peer_.service_ + " " + std::string(command));
    const std::string text(command);  // the caller's text may go while the loop turns
    peer_.executing_ = true;
    try {
      if (peer_.duringExecute) peer_.duringExecute(text);
      AwaitAnswer();
    } catch (...) {
      peer_.executing_ = false;
      throw;
    }
    peer_.executing_ = false;
    if (peer_.refuseCommands) throw Failure(RunError::DdeRefused);
  }
  /// The wait for the peer's answer, the loop turning meanwhile. A peer gone meanwhile
  /// leaves no channel.
  void AwaitAnswer() {
    if (!peer_.bus_) return;
    peer_.bus_->AwaitAnswer(peer_);
    if (!Alive()) throw Failure(RunError::DdeNoChannel);
  }
  void Deliver(const std::string& item, const std::string& value) {
    auto sink = sinks_.find(item);
    if (sink == sinks_.end()) return;
    auto run = sink->second;
    run(value);
  }

 private:
  FakePeer& peer_;
  int generation_;
  std::map<std::string, std::function<void(const std::string&)>, NoCaseLess> sinks_;
};

void FakePeer::Start() {
  running_ = true;
  ++generation_;
  if (bus_)
    for (auto& listener : bus_->listeners_) listener(service_);
}

void FakePeer::Stop() {
  running_ = false;
  conversations_.clear();
}

void FakePeer::Publish(const std::string& item, const std::string& value) {
  items[item] = value;
  // A sink may open or end links; walk a copy.
  std::vector<std::shared_ptr<FakeConversation>> open;
  for (auto& weak : conversations_)
    if (auto conversation = weak.lock(); conversation && conversation->Alive()) open.push_back(conversation);
  for (auto& conversation : open) conversation->Deliver(item, value);
}

std::size_t FakePeer::HotLinks() const {
  std::size_t count = 0;
  for (auto& weak : conversations_)
    if (auto conversation = weak.lock(); conversation && conversation->Alive()) count += conversation->HotLinks();
  return count;
}

FakePeer& FakeDdeClient::AddPeer(const std::string& service, const std::string& topic) {
  peers_.push_back(std::make_unique<FakePeer>(service, topic));
  peers_.back()->bus_ = this;
  return *peers_.back();
}

void FakeDdeClient::RefuseInsideCallback() const {
  if (server && server->InCallback()) throw Failure(RunError::DdeRefused);
}

void FakeDdeClient::AwaitAnswer(FakePeer& peer) {
  if (!ui || peer.answerAfterMs <= 0) return;
  ++waiting_;
  ui->RunFor(peer.answerAfterMs);
  --waiting_;
}

std::shared_ptr<DdeConversation> FakeDdeClient::Connect(const std::string& service, const std::string& topic) {
  initiates.push_back(service + "|" + topic);
  if (journal) journal->push_back("initiate " + service + "|" + topic);
  for (auto& peer : peers_) {
    if (!peer->Running() || !EqualNoCase(peer->Service(), service) || !EqualNoCase(peer->Topic(), topic)) continue;
    // One conversation per service and topic, shared while it is alive.
    for (auto& weak : peer->conversations_)
      if (auto open = weak.lock(); open && open->Alive()) return open;
    auto conversation = std::make_shared<FakeConversation>(*peer);
    peer->conversations_.push_back(conversation);
    return conversation;
  }
  throw Failure(deniedWindows > 0 ? RunError::PermissionDenied : RunError::DdeNoResponse);
}

}  // namespace bridge::platform::sim
