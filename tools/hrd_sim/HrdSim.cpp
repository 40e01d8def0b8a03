// hrd_sim: a stand-in for the rig-control program the bridge talks to. It serves the DDE
// service HRD_RADIO_000, topic HRD_CAT, with the radio's state as CF_TEXT items, answers
// REQUEST, hot and warm advise loops and EXECUTE commands, and logs every command it
// receives. A script steers it while it runs through a control file and/or its standard
// input (see PrintUsage), so the bridge can be set up and tested without a radio.
//
// Build (from the repository root):
//   x86_64-w64-mingw32-g++ -std=c++20 -O2 -static -o build/win64/hrd_sim.exe
//       tools/hrd_sim/HrdSim.cpp -luser32 -lgdi32
//
// Threads: everything DDE runs on the main (UI) thread. The only other thread reads the
// standard input and hands each line to the UI thread with PostMessage.

#include <windows.h>
#include <ddeml.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "../common/ToolText.h"

namespace {

// ---------------------------------------------------------------------------------------
// Exit codes, names, defaults
// ---------------------------------------------------------------------------------------

enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,        // bad command line
  kExitDdeInit = 2,      // DdeInitialize or a string handle failed
  kExitRegister = 3,     // DdeNameService would not register the service
  kExitStartFailed = 4,  // window, log file or control thread could not be set up
};

constexpr char kServiceName[] = "HRD_RADIO_000";
constexpr char kTopicName[] = "HRD_CAT";

constexpr char kItemHertz[] = "HRD_HERTZ";
constexpr char kItemHertzB[] = "HRD_HERTZ_B";
constexpr char kItemMode[] = "HRD_MODE";
constexpr char kItemTx[] = "HRD_TX";
constexpr char kItemButtonStatus[] = "HRD_BUTTON_STATUS";

constexpr UINT kControlPollMs = 50;
constexpr UINT_PTR kControlPollTimerId = 1;
constexpr UINT_PTR kFirstStallTimerId = 1000;  // one timer per stalled EXECUTE from here on

// Posted to the host window: lParam is a heap std::string* with one control line; the
// receiver deletes it.
constexpr UINT kMsgControlLine = WM_APP + 1;
// Posted to the host window to end the program in order (console Ctrl+C, close, ...).
constexpr UINT kMsgQuit = WM_APP + 2;
// Posted to the host window by a REQUEST's answer that is to be followed by a change:
// lParam is a heap std::pair<std::string, std::string>* (item, value); the receiver deletes it.
constexpr UINT kMsgChangeItem = WM_APP + 3;

// ---------------------------------------------------------------------------------------
// Text helpers
// ---------------------------------------------------------------------------------------

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

struct LessNoCase {
  bool operator()(const std::string& a, const std::string& b) const {
    return _stricmp(a.c_str(), b.c_str()) < 0;
  }
};

std::string_view Trim(std::string_view text) {
  const char* blanks = " \t\r\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

std::string ToUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
}

// Splits "verb rest" at the first run of blanks; rest keeps its inner blanks.
std::pair<std::string_view, std::string_view> SplitVerb(std::string_view text) {
  size_t blank = text.find_first_of(" \t");
  if (blank == std::string_view::npos) return {text, {}};
  return {text.substr(0, blank), Trim(text.substr(blank))};
}

using tools::OneLine;

std::optional<DWORD> ParseMilliseconds(std::string_view text) {
  if (!AllDigits(text) || text.size() > 9) return std::nullopt;
  return static_cast<DWORD>(std::stoul(std::string(text)));
}

// ---------------------------------------------------------------------------------------
// Log: one flushed line per event, on stdout and optionally in a file
// ---------------------------------------------------------------------------------------

class Log {
 public:
  Log() {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
  }
  ~Log() {
    if (file_ != nullptr) std::fclose(file_);
  }
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  // The file starts empty for each run. msvcrt opens it shared, so readers can follow it.
  bool OpenFile(const std::string& path) {
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
  }

  // "12.345 2026-12-06T21:40:01.123Z TEXT": seconds since start, then UTC wall clock.
  void Line(std::string_view text) {
    std::string line = Stamp();
    line += ' ';
    line += text;
    line += '\n';
    Write(stdout, line);
    if (file_ != nullptr) Write(file_, line);
  }

 private:
  static void Write(FILE* stream, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
  }

  std::string Stamp() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    long long ms = (now.QuadPart - start_.QuadPart) * 1000 / frequency_.QuadPart;
    FILETIME fileTime;
    GetSystemTimePreciseAsFileTime(&fileTime);
    SYSTEMTIME utc;
    FileTimeToSystemTime(&fileTime, &utc);
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%lld.%03lld %04u-%02u-%02uT%02u:%02u:%02u.%03uZ",
                  ms / 1000, ms % 1000, utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                  utc.wMinute, utc.wSecond, utc.wMilliseconds);
    return buffer;
  }

  LARGE_INTEGER frequency_{};
  LARGE_INTEGER start_{};
  FILE* file_ = nullptr;
};

// ---------------------------------------------------------------------------------------
// The radio's state as the DDE items show it
// ---------------------------------------------------------------------------------------

using ItemValues = std::map<std::string, std::string, LessNoCase>;

// Changes to make right after the first REQUEST for an item has been answered.
using ChangesAfterRequest = std::map<std::string, std::string, LessNoCase>;

ItemValues DefaultItems() {
  return {
      {kItemHertz, "14070000"}, {kItemHertzB, "7040000"},  {kItemMode, "USB"},
      {kItemTx, "off"},         {kItemButtonStatus, ""},
  };
}

// What an EXECUTE asks for, once parsed. `item` empty: a command this radio does not know.
struct ExecuteAction {
  std::string item;
  std::string value;
};

// The split and dual buttons, shown together in HRD_BUTTON_STATUS as "Split=on Dual=off".
struct Buttons {
  bool split = false;
  bool dual = false;

  std::string StatusText() const {
    return std::string("Split=") + (split ? "on" : "off") + " Dual=" + (dual ? "on" : "off");
  }

  // Takes up whatever "Split=on|off" / "Dual=on|off" words a status text holds, so a value
  // set from outside and the buttons pressed later agree.
  void TakeFrom(std::string_view status) {
    while (!status.empty()) {
      auto [word, rest] = SplitVerb(status);
      status = rest;
      size_t equals = word.find('=');
      if (equals == std::string_view::npos) continue;
      std::string_view name = word.substr(0, equals);
      std::string_view state = word.substr(equals + 1);
      if (!EqualsNoCase(state, "on") && !EqualsNoCase(state, "off")) continue;
      bool on = EqualsNoCase(state, "on");
      if (EqualsNoCase(name, "split")) split = on;
      if (EqualsNoCase(name, "dual")) dual = on;
    }
  }
};

// "frqa 14070000", "frqb 7040000", "mode usb", "butn tx=on", "butn Split=off",
// "butn Dual=on". Verbs, button names and on/off are matched in any case.
ExecuteAction ParseExecute(std::string_view command, Buttons& buttons) {
  auto [verb, argument] = SplitVerb(Trim(command));
  if (EqualsNoCase(verb, "frqa") && AllDigits(argument)) {
    return {kItemHertz, std::string(argument)};
  }
  if (EqualsNoCase(verb, "frqb") && AllDigits(argument)) {
    return {kItemHertzB, std::string(argument)};
  }
  if (EqualsNoCase(verb, "mode") && !argument.empty()) {
    return {kItemMode, ToUpper(argument)};
  }
  if (EqualsNoCase(verb, "butn")) {
    size_t equals = argument.find('=');
    if (equals == std::string_view::npos) return {};
    std::string_view name = argument.substr(0, equals);
    std::string_view state = argument.substr(equals + 1);
    bool on = EqualsNoCase(state, "on");
    if (!on && !EqualsNoCase(state, "off")) return {};
    if (EqualsNoCase(name, "tx")) return {kItemTx, on ? "on" : "off"};
    if (EqualsNoCase(name, "split")) {
      buttons.split = on;
      return {kItemButtonStatus, buttons.StatusText()};
    }
    if (EqualsNoCase(name, "dual")) {
      buttons.dual = on;
      return {kItemButtonStatus, buttons.StatusText()};
    }
  }
  return {};
}

// ---------------------------------------------------------------------------------------
// The DDE server
// ---------------------------------------------------------------------------------------

// How the server answers an EXECUTE.
enum class ExecuteReply { Ack, Refuse, Stall };

// A string handle this program created; freed when it goes out of scope. (Handles DDEML
// passes to the callback are lent and never go in here.)
class StringHandle {
 public:
  StringHandle() = default;
  StringHandle(DWORD instance, const char* text)
      : instance_(instance), handle_(DdeCreateStringHandleA(instance, text, CP_WINANSI)) {}
  ~StringHandle() { Reset(); }
  StringHandle(StringHandle&& other) noexcept
      : instance_(other.instance_), handle_(std::exchange(other.handle_, nullptr)) {}
  StringHandle& operator=(StringHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      instance_ = other.instance_;
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  StringHandle(const StringHandle&) = delete;
  StringHandle& operator=(const StringHandle&) = delete;

  HSZ get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

  void Reset() {
    if (handle_ != nullptr) DdeFreeStringHandle(instance_, handle_);
    handle_ = nullptr;
  }

 private:
  DWORD instance_ = 0;
  HSZ handle_ = nullptr;
};

// How a slow EXECUTE is made, and why so:
//
// The callback answers it with CBR_BLOCK. DDEML keeps the transaction and sends no
// WM_DDE_ACK, so the client waits (and times out) exactly as with a slow server, while this
// thread stays free for other clients, advise loops and the control file. A window timer
// per held EXECUTE runs out after the stall; then DdeEnableCallback(EC_ENABLEONE) makes
// DDEML hand that transaction to the callback once more, which now answers it.
// Sleeping in the callback instead was tried under Wine: the client does time out, but the
// whole simulator freezes for the stall, and so does the client's exit (its disconnect
// waits for this thread), and control lines wait too.
//
// DDEML under Wine differs from Windows here in ways this code allows for:
// - After CBR_BLOCK Wine does not hold back later transactions of that conversation: they
//   reach the callback at once. They are held too (CBR_BLOCK), behind the first, so each
//   conversation's EXECUTEs are answered in order.
// - A transaction that is handed back by DdeEnableCallback and blocked again is dropped by
//   Wine without an answer. So a handed-back transaction is always answered, and held ones
//   are released one at a time (EC_ENABLEONE), in the order DDEML queued them.
struct HeldExecute {
  UINT_PTR timerId = 0;
  DWORD ms = 0;                     // the stall it was given; 0 when only waiting its turn
  bool refuse = false;              // answer NACK once released
  bool due = false;                 // its timer ran out
  bool released = false;            // handed back to DDEML; the next EXECUTE here is this one
};

// Serves HRD_RADIO_000|HRD_CAT. DDEML calls back on the thread that initialized it, through
// one static pointer (its callback carries no user data); a process runs one server.
class DdeServer {
 public:
  DdeServer(Log& log, HWND timerWindow, ItemValues items, ChangesAfterRequest changesAfterRequest)
      : log_(log),
        timerWindow_(timerWindow),
        items_(std::move(items)),
        changesAfterRequest_(std::move(changesAfterRequest)) {
    buttons_.TakeFrom(items_[kItemButtonStatus]);
  }
  ~DdeServer() { Stop(); }
  DdeServer(const DdeServer&) = delete;
  DdeServer& operator=(const DdeServer&) = delete;

  static DdeServer* Current() { return current_; }
  HWND host() const { return timerWindow_; }

  // DdeInitialize, the name handles, DdeNameService. Returns an ExitCode.
  int Start() {
    if (current_ != nullptr) return kExitDdeInit;
    current_ = this;
    UINT rc = DdeInitializeA(&instance_, &DdeServer::Callback,
                             APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS |
                                 CBF_SKIP_UNREGISTRATIONS,
                             0);
    if (rc != DMLERR_NO_ERROR) {
      log_.Line("ERROR DdeInitializeA failed, DMLERR 0x" + Hex(rc));
      instance_ = 0;
      current_ = nullptr;
      return kExitDdeInit;
    }
    service_ = StringHandle(instance_, kServiceName);
    topic_ = StringHandle(instance_, kTopicName);
    bool namesOk = service_ && topic_;
    for (const auto& [name, value] : items_) namesOk = HoldItemName(name) && namesOk;
    if (!namesOk) {
      log_.Line("ERROR DdeCreateStringHandleA failed, DMLERR 0x" + Hex(LastError()));
      Stop();
      return kExitDdeInit;
    }
    if (DdeNameService(instance_, service_.get(), nullptr, DNS_REGISTER) == nullptr) {
      log_.Line("ERROR DdeNameService failed, DMLERR 0x" + Hex(LastError()));
      Stop();
      return kExitRegister;
    }
    registered_ = true;
    log_.Line(std::string("REGISTER ") + kServiceName + " " + kTopicName);
    return kExitOk;
  }

  // Unregisters the service, ends all conversations and DDEML. Safe to call twice.
  void Stop() {
    if (instance_ == 0) return;
    for (const auto& [timerId, conversation] : timers_) KillTimer(timerWindow_, timerId);
    timers_.clear();
    held_.clear();
    if (registered_) {
      DdeNameService(instance_, service_.get(), nullptr, DNS_UNREGISTER);
      registered_ = false;
      log_.Line(std::string("UNREGISTER ") + kServiceName);
    }
    itemNames_.clear();
    service_.Reset();
    topic_.Reset();
    DdeUninitialize(instance_);
    instance_ = 0;
    current_ = nullptr;
  }

  // Changes an item (creating it if new) and tells the advise loops on it.
  void SetItem(const std::string& item, const std::string& value) {
    auto it = items_.find(item);
    if (it != items_.end() && it->second == value) return;
    std::string name = it != items_.end() ? it->first : item;
    items_[name] = value;
    if (EqualsNoCase(name, kItemButtonStatus)) buttons_.TakeFrom(value);
    log_.Line("CHANGE " + name + " " + OneLine(value));
    if (instance_ == 0 || !HoldItemName(name)) return;
    DdePostAdvise(instance_, topic_.get(), itemNames_.find(name)->second.get());
  }

  void SetExecuteReply(ExecuteReply reply, DWORD stallMs = 0) {
    reply_ = reply;
    stallMs_ = stallMs;
  }

  // A window timer ran out; those of held EXECUTEs are ours.
  void OnTimer(UINT_PTR timerId) {
    auto timer = timers_.find(timerId);
    if (timer == timers_.end()) return;
    KillTimer(timerWindow_, timerId);
    HCONV conversation = timer->second;
    timers_.erase(timer);
    auto queue = held_.find(conversation);
    if (queue == held_.end()) return;
    for (HeldExecute& held : queue->second) {
      if (held.timerId == timerId) held.due = true;
    }
    ReleaseDue(conversation);
  }

 private:
  static std::string Hex(UINT value) {
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "%x", value);
    return buffer;
  }

  static HDDEDATA Flag(ULONG_PTR value) { return reinterpret_cast<HDDEDATA>(value); }

  UINT LastError() const { return instance_ != 0 ? DdeGetLastError(instance_) : 0; }

  // Keeps a string handle of an item's name for as long as the server runs: DdePostAdvise
  // wants one, and while it lives the name's atom cannot vanish between a client's
  // transactions (under Wine an advise start once arrived with an empty item name).
  bool HoldItemName(const std::string& name) {
    if (itemNames_.count(name) != 0) return true;
    StringHandle handle(instance_, name.c_str());
    if (!handle) return false;
    itemNames_.emplace(name, std::move(handle));
    return true;
  }

  std::string NameOf(HSZ hsz) const {
    char buffer[256] = {};
    DdeQueryStringA(instance_, hsz, buffer, sizeof(buffer), CP_WINANSI);
    return buffer;
  }

  bool IsOurs(HSZ topic, HSZ service) const {
    // DdeCmpStringHandles compares without case, as DDE names are meant to be.
    bool topicOk = topic == nullptr || DdeCmpStringHandles(topic, topic_.get()) == 0;
    bool serviceOk = service == nullptr || DdeCmpStringHandles(service, service_.get()) == 0;
    return topicOk && serviceOk;
  }

  // A new data handle with an item's text. DDEML frees it once it is returned to it.
  HDDEDATA TextData(HSZ item, const std::string& text) const {
    return DdeCreateDataHandle(instance_,
                               reinterpret_cast<LPBYTE>(const_cast<char*>(text.c_str())),
                               static_cast<DWORD>(text.size() + 1), 0, item, CF_TEXT, 0);
  }

  // The text of an EXECUTE, up to the first NUL. `data` is lent by DDEML: not freed here.
  static std::string ExecuteText(HDDEDATA data) {
    if (data == nullptr) return {};
    DWORD size = DdeGetData(data, nullptr, 0, 0);
    if (size == 0) return {};
    std::vector<char> buffer(size);
    DdeGetData(data, reinterpret_cast<LPBYTE>(buffer.data()), size, 0);
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
  }

  const std::string* FindItem(HSZ hszItem) const {
    auto it = items_.find(NameOf(hszItem));
    return it != items_.end() ? &it->second : nullptr;
  }

  HDDEDATA OnWildConnect(HSZ topic, HSZ service) {
    if (!IsOurs(topic, service)) return nullptr;
    HSZPAIR pairs[2] = {{service_.get(), topic_.get()}, {nullptr, nullptr}};
    return DdeCreateDataHandle(instance_, reinterpret_cast<LPBYTE>(pairs), sizeof(pairs), 0,
                               nullptr, CF_TEXT, 0);
  }

  HDDEDATA OnRequest(UINT format, HSZ hszItem) {
    const std::string* value = format == CF_TEXT ? FindItem(hszItem) : nullptr;
    log_.Line("REQUEST " + NameOf(hszItem) +
              (value != nullptr ? "" : " (refused: no such CF_TEXT item)"));
    if (value == nullptr) return nullptr;
    HDDEDATA answer = TextData(hszItem, *value);
    ChangeAfterAnswer(NameOf(hszItem));
    return answer;
  }

  // The change waiting for this item's first REQUEST goes out as soon as this callback has
  // returned and DDEML has posted the answer: posted to ourselves, it comes before
  // anything the client sends once it has the answer.
  void ChangeAfterAnswer(const std::string& item) {
    auto change = changesAfterRequest_.find(item);
    if (change == changesAfterRequest_.end()) return;
    auto* pair = new std::pair<std::string, std::string>(change->first, change->second);
    changesAfterRequest_.erase(change);
    if (!PostMessageA(timerWindow_, kMsgChangeItem, 0, reinterpret_cast<LPARAM>(pair))) delete pair;
  }

  HDDEDATA OnAdviseStart(UINT format, HSZ hszItem) {
    bool ok = format == CF_TEXT && FindItem(hszItem) != nullptr;
    log_.Line("ADVSTART " + NameOf(hszItem) + (ok ? "" : " (refused: no such CF_TEXT item)"));
    return Flag(ok ? TRUE : FALSE);
  }

  HDDEDATA OnAdviseRequest(UINT format, HSZ hszItem) {
    const std::string* value = format == CF_TEXT ? FindItem(hszItem) : nullptr;
    return value != nullptr ? TextData(hszItem, *value) : nullptr;
  }

  HDDEDATA OnExecute(HCONV conversation, HDDEDATA data) {
    std::string text = ExecuteText(data);
    auto queue = held_.find(conversation);
    bool waiting = queue != held_.end() && !queue->second.empty();

    if (waiting && queue->second.front().released) {
      // A held EXECUTE handed back by DdeEnableCallback: answer it now, never block it again.
      HeldExecute held = queue->second.front();
      queue->second.pop_front();
      std::string after = held.ms != 0 ? " after a " + std::to_string(held.ms) + " ms stall"
                                       : " after waiting its turn";
      if (held.refuse) {
        log_.Line("REPLY NACK" + after + ": " + OneLine(text));
        return Flag(DDE_FNOTPROCESSED);
      }
      Apply(text);
      log_.Line("REPLY ACK" + after + ": " + OneLine(text));
      return Flag(DDE_FACK);
    }

    log_.Line("EXECUTE " + OneLine(text));
    if (!waiting && reply_ == ExecuteReply::Ack) {
      Apply(text);
      log_.Line("REPLY ACK");
      return Flag(DDE_FACK);
    }
    if (!waiting && reply_ == ExecuteReply::Refuse) {
      log_.Line("REPLY NACK");
      return Flag(DDE_FNOTPROCESSED);
    }
    return Hold(conversation, text);
  }

  // Blocks an EXECUTE: stalled (stall mode) or behind another held one of its conversation.
  HDDEDATA Hold(HCONV conversation, const std::string& text) {
    HeldExecute held;
    held.timerId = nextTimerId_++;
    held.ms = reply_ == ExecuteReply::Stall ? stallMs_ : 0;
    held.refuse = reply_ == ExecuteReply::Refuse;
    if (SetTimer(timerWindow_, held.timerId, std::max<DWORD>(held.ms, USER_TIMER_MINIMUM),
                 nullptr) == 0) {
      // Without a timer it could never be released: answer it at once instead.
      log_.Line("ERROR SetTimer failed; answering at once");
      if (held.refuse) return Flag(DDE_FNOTPROCESSED);
      Apply(text);
      return Flag(DDE_FACK);
    }
    bool behind = held_.count(conversation) != 0 && !held_[conversation].empty();
    timers_[held.timerId] = conversation;
    held_[conversation].push_back(held);
    if (held.ms != 0) log_.Line("STALL " + std::to_string(held.ms) + " ms");
    if (behind) log_.Line("HELD behind an earlier command of this conversation");
    return CBR_BLOCK;
  }

  // Hands held EXECUTEs of a conversation back to DDEML, oldest first, while they are due.
  void ReleaseDue(HCONV conversation) {
    for (;;) {
      auto queue = held_.find(conversation);
      if (queue == held_.end()) return;
      if (queue->second.empty()) {
        held_.erase(queue);
        // Nothing of ours is held any more: let DDEML deliver to this conversation freely
        // again (Windows keeps a conversation disabled after CBR_BLOCK until EC_ENABLEALL).
        DdeEnableCallback(instance_, conversation, EC_ENABLEALL);
        return;
      }
      HeldExecute& front = queue->second.front();
      if (!front.due) return;
      UINT_PTR timerId = front.timerId;
      front.released = true;
      if (!DdeEnableCallback(instance_, conversation, EC_ENABLEONE)) {
        DropHeld(conversation, "REPLY none: the conversation is gone");
        return;
      }
      // Normally the callback has answered it by now. If it is still here, DDEML either
      // delivers it later (then wait for that) or no longer has it.
      queue = held_.find(conversation);
      if (queue == held_.end() || queue->second.empty() ||
          queue->second.front().timerId != timerId) {
        continue;
      }
      if (DdeEnableCallback(instance_, conversation, EC_QUERYWAITING)) return;
      log_.Line("REPLY none: DDEML no longer holds the command");
      queue->second.pop_front();
    }
  }

  void DropHeld(HCONV conversation, const char* why) {
    auto queue = held_.find(conversation);
    if (queue == held_.end()) return;
    for (const HeldExecute& held : queue->second) {
      KillTimer(timerWindow_, held.timerId);
      timers_.erase(held.timerId);
      log_.Line(why);
    }
    held_.erase(queue);
  }

  void Apply(const std::string& command) {
    ExecuteAction action = ParseExecute(command, buttons_);
    if (action.item.empty()) {
      log_.Line("UNKNOWN " + OneLine(command));
      return;
    }
    SetItem(action.item, action.value);
  }

  // The transaction kind is the XTYP_MASK nibble of `type`; the other bits are class and
  // flags (XTYPF_NOBLOCK and friends), which are part of the XTYP_ constants too.
  static constexpr UINT Kind(UINT type) { return type & XTYP_MASK; }

  HDDEDATA Dispatch(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                    HDDEDATA data) {
    switch (Kind(type)) {
      case Kind(XTYP_CONNECT):
        return Flag(IsOurs(hsz1, hsz2) ? TRUE : FALSE);
      case Kind(XTYP_WILDCONNECT):
        return OnWildConnect(hsz1, hsz2);
      case Kind(XTYP_CONNECT_CONFIRM):
        log_.Line("CONNECT");
        return nullptr;
      case Kind(XTYP_DISCONNECT):
        log_.Line("DISCONNECT");
        DropHeld(conversation, "REPLY none: the client left during the stall");
        return nullptr;
      case Kind(XTYP_REQUEST):
        return OnRequest(format, hsz2);
      case Kind(XTYP_ADVSTART):
        return OnAdviseStart(format, hsz2);
      case Kind(XTYP_ADVSTOP):
        log_.Line("ADVSTOP " + NameOf(hsz2));
        return nullptr;
      case Kind(XTYP_ADVREQ):
        return OnAdviseRequest(format, hsz2);
      case Kind(XTYP_EXECUTE):
        return OnExecute(conversation, data);
      case Kind(XTYP_POKE):
        log_.Line("POKE " + NameOf(hsz2) + " (refused)");
        return Flag(DDE_FNOTPROCESSED);
      case Kind(XTYP_ERROR):
        log_.Line("ERROR DDEML reports 0x" +
                  Hex(LOWORD(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(data)))));
        return nullptr;
      default:
        return nullptr;
    }
  }

  static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1,
                                    HSZ hsz2, HDDEDATA data, ULONG_PTR /*data1*/,
                                    ULONG_PTR /*data2*/) {
    DdeServer* self = current_;
    if (self == nullptr) return nullptr;
    return self->Dispatch(type, format, conversation, hsz1, hsz2, data);
  }

  // Atomic because the console event handler reads it from a thread of its own.
  static inline std::atomic<DdeServer*> current_ = nullptr;

  Log& log_;
  HWND timerWindow_;
  ItemValues items_;
  ChangesAfterRequest changesAfterRequest_;
  Buttons buttons_;
  DWORD instance_ = 0;
  StringHandle service_;
  StringHandle topic_;
  std::map<std::string, StringHandle, LessNoCase> itemNames_;
  bool registered_ = false;
  ExecuteReply reply_ = ExecuteReply::Ack;
  DWORD stallMs_ = 0;
  std::map<HCONV, std::deque<HeldExecute>> held_;  // per conversation, in DDEML's order
  std::map<UINT_PTR, HCONV> timers_;               // timer of each held EXECUTE
  UINT_PTR nextTimerId_ = kFirstStallTimerId;
};

// ---------------------------------------------------------------------------------------
// Control: a file that grows by lines, and the standard input when it is a pipe or file
// ---------------------------------------------------------------------------------------

// Follows a control file. What it holds when the simulator starts is skipped; each line
// appended later is one command. A file that shrinks was replaced: read from its start.
class ControlFile {
 public:
  explicit ControlFile(std::string path) : path_(std::move(path)) {
    if (std::optional<ULONGLONG> size = Size()) offset_ = *size;
  }

  // The complete lines added since the last call; a line still without its LF waits.
  std::vector<std::string> NewLines() {
    std::vector<std::string> lines;
    HANDLE file = CreateFileA(path_.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lines;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size)) {
      ULONGLONG total = static_cast<ULONGLONG>(size.QuadPart);
      if (total < offset_) offset_ = 0;
      if (total > offset_) ReadLines(file, total, lines);
    }
    CloseHandle(file);
    return lines;
  }

 private:
  std::optional<ULONGLONG> Size() const {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(path_.c_str(), GetFileExInfoStandard, &info)) return std::nullopt;
    return (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  }

  void ReadLines(HANDLE file, ULONGLONG total, std::vector<std::string>& lines) {
    std::string chunk(static_cast<size_t>(std::min<ULONGLONG>(total - offset_, 1 << 20)), '\0');
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset_);
    DWORD got = 0;
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN) ||
        !ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
      return;
    }
    chunk.resize(got);
    size_t start = 0;
    for (size_t lf = chunk.find('\n'); lf != std::string::npos; lf = chunk.find('\n', start)) {
      lines.push_back(chunk.substr(start, lf - start));
      start = lf + 1;
    }
    offset_ += start;
  }

  std::string path_;
  ULONGLONG offset_ = 0;
};

// Reads the standard input on its own thread and posts each line to the host window. It
// runs only when stdin is a pipe or a file; at its end the simulator keeps running.
class StdinReader {
 public:
  static bool Wanted() {
    DWORD type = GetFileType(GetStdHandle(STD_INPUT_HANDLE));
    return type == FILE_TYPE_PIPE || type == FILE_TYPE_DISK;
  }

  // The thread is left to the process's end: it may sit in a blocking ReadFile.
  static bool Start(HWND host) {
    HANDLE thread = CreateThread(nullptr, 0, &StdinReader::Run, host, 0, nullptr);
    if (thread == nullptr) return false;
    CloseHandle(thread);
    return true;
  }

 private:
  static void Post(HWND host, std::string line) {
    auto* text = new std::string(std::move(line));
    if (!PostMessageA(host, kMsgControlLine, 0, reinterpret_cast<LPARAM>(text))) delete text;
  }

  static DWORD WINAPI Run(LPVOID param) {
    HWND host = static_cast<HWND>(param);
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(input, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
      pending.append(buffer, got);
      size_t start = 0;
      for (size_t lf = pending.find('\n'); lf != std::string::npos;
           lf = pending.find('\n', start)) {
        Post(host, pending.substr(start, lf - start));
        start = lf + 1;
      }
      pending.erase(0, start);
    }
    if (!pending.empty()) Post(host, pending);
    return 0;
  }
};

// ---------------------------------------------------------------------------------------
// The program: a hidden message-only window that owns the timers and takes control lines
// ---------------------------------------------------------------------------------------

struct Options {
  ItemValues items = DefaultItems();
  ChangesAfterRequest changesAfterRequest;
  std::string logPath;
  std::string controlPath;
  bool help = false;
};

void PrintUsage(FILE* stream) {
  std::fputs(
      "usage: hrd_sim [--set ITEM=VALUE]... [--change-after-request ITEM=VALUE]...\n"
      "               [--log FILE] [--control FILE]\n"
      "\n"
      "Serves DDE service HRD_RADIO_000, topic HRD_CAT, items (CF_TEXT) with these\n"
      "starting values, each changeable with --set:\n"
      "  HRD_HERTZ=14070000 HRD_HERTZ_B=7040000 HRD_MODE=USB HRD_TX=off HRD_BUTTON_STATUS=\n"
      "EXECUTE commands: frqa HZ, frqb HZ, mode NAME, butn tx=on|off, butn Split=on|off,\n"
      "butn Dual=on|off; anything else is acknowledged and logged as UNKNOWN.\n"
      "\n"
      "  --set ITEM=VALUE  starting value of an item (a new name adds an item)\n"
      "  --change-after-request ITEM=VALUE\n"
      "                    once, right after answering the first REQUEST for ITEM, change\n"
      "                    it to VALUE (sent to advise loops, before the client's next\n"
      "                    message is served): a radio moving just as a client links\n"
      "  --log FILE        also write the log to FILE (emptied at start)\n"
      "  --control FILE    follow FILE: each line appended to it is a control command;\n"
      "                    what it holds at start is skipped, it may appear later\n"
      "  --help            this text\n"
      "\n"
      "Control commands, from the control file, and from stdin when stdin is a pipe or a\n"
      "file (the simulator keeps running at its end):\n"
      "  set ITEM VALUE    change an item and send it to advise loops (VALUE may be empty)\n"
      "  ack               acknowledge EXECUTEs (the default)\n"
      "  refuse            answer EXECUTEs with 'not processed' (NACK), changing nothing\n"
      "  stall MS          hold each EXECUTE MS milliseconds, then acknowledge and apply it\n"
      "  quit              unregister the service, end DDEML, exit 0\n"
      "\n"
      "Prints READY on stdout once the service is registered. Log lines, on stdout and in\n"
      "the log file: SECONDS_SINCE_START UTC_TIME EVENT, e.g.\n"
      "  12.345 2026-12-06T21:40:01.123Z EXECUTE frqa 14025500\n"
      "Exit codes: 0 ok, 1 bad command line, 2 DDEML failed, 3 service not registered,\n"
      "            4 other start-up failure.\n",
      stream);
}

// Returns the options, or nullopt after printing what is wrong.
std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h" || arg == "/?") {
      options.help = true;
      continue;
    }
    if (arg != "--set" && arg != "--change-after-request" && arg != "--log" && arg != "--control") {
      std::fprintf(stderr, "hrd_sim: unknown option \"%s\"\n", argv[i]);
      return std::nullopt;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "hrd_sim: %s needs a value\n", argv[i]);
      return std::nullopt;
    }
    std::string value = argv[++i];
    if (arg == "--log") {
      options.logPath = value;
    } else if (arg == "--control") {
      options.controlPath = value;
    } else {
      size_t equals = value.find('=');
      if (equals == 0 || equals == std::string::npos) {
        std::fprintf(stderr, "hrd_sim: %s wants ITEM=VALUE, not \"%s\"\n", argv[i - 1],
                     value.c_str());
        return std::nullopt;
      }
      std::string item = value.substr(0, equals);
      if (arg == "--change-after-request") {
        options.changesAfterRequest[item] = value.substr(equals + 1);
        continue;
      }
      auto it = options.items.find(item);
      if (it != options.items.end()) item = it->first;  // keep the usual spelling
      options.items[item] = value.substr(equals + 1);
    }
  }
  return options;
}

class Simulator {
 public:
  Simulator(Log& log, Options options) : log_(log), options_(std::move(options)) {}
  ~Simulator() {
    server_.reset();
    if (window_ != nullptr) DestroyWindow(window_);
  }
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  int Run() {
    if (!CreateHostWindow()) {
      log_.Line("ERROR cannot create the host window");
      return kExitStartFailed;
    }
    server_.emplace(log_, window_, options_.items, options_.changesAfterRequest);
    if (int rc = server_->Start(); rc != kExitOk) return rc;

    if (!options_.controlPath.empty()) {
      control_.emplace(options_.controlPath);
      if (SetTimer(window_, kControlPollTimerId, kControlPollMs, nullptr) == 0) {
        log_.Line("ERROR cannot start the control file timer");
        return kExitStartFailed;
      }
    }
    if (StdinReader::Wanted() && !StdinReader::Start(window_)) {
      log_.Line("ERROR cannot start the stdin reader");
      return kExitStartFailed;
    }
    SetConsoleCtrlHandler(&Simulator::OnConsoleEvent, TRUE);

    std::fputs("READY\n", stdout);
    std::fflush(stdout);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    SetConsoleCtrlHandler(&Simulator::OnConsoleEvent, FALSE);
    DropQueuedLines();
    return kExitOk;
  }

 private:
  bool CreateHostWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &Simulator::WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "HrdSimHost";
    if (RegisterClassA(&windowClass) == 0) return false;
    window_ = CreateWindowExA(0, windowClass.lpszClassName, "hrd_sim", 0, 0, 0, 0, 0,
                              HWND_MESSAGE, nullptr, windowClass.hInstance, this);
    return window_ != nullptr;
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
      SetWindowLongPtrA(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Simulator*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr) {
      switch (message) {
        case WM_TIMER:
          self->OnTimer(wParam);
          return 0;
        case kMsgControlLine: {
          auto* line = reinterpret_cast<std::string*>(lParam);
          self->OnControlLine(*line);
          delete line;
          return 0;
        }
        case kMsgQuit:
          self->Quit();
          return 0;
        case kMsgChangeItem: {
          auto* change = reinterpret_cast<std::pair<std::string, std::string>*>(lParam);
          if (self->server_ && !self->quitting_) self->server_->SetItem(change->first, change->second);
          delete change;
          return 0;
        }
        default:
          break;
      }
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  // Runs on a thread of its own; only posts to the UI thread.
  static BOOL WINAPI OnConsoleEvent(DWORD /*event*/) {
    DdeServer* server = DdeServer::Current();
    if (server == nullptr) return FALSE;
    return PostMessageA(server->host(), kMsgQuit, 0, 0);
  }

  void OnTimer(UINT_PTR timerId) {
    if (timerId == kControlPollTimerId) {
      if (control_) {
        for (const std::string& line : control_->NewLines()) OnControlLine(line);
      }
      return;
    }
    if (server_) server_->OnTimer(timerId);
  }

  void OnControlLine(const std::string& rawLine) {
    std::string line = rawLine;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (Trim(line).empty() || !server_ || quitting_) return;
    log_.Line("CONTROL " + OneLine(line));

    // VALUE of "set ITEM VALUE" is everything after the blank that ends ITEM.
    std::string_view text = line;
    size_t lead = text.find_first_not_of(" \t");
    text.remove_prefix(lead);
    size_t verbEnd = std::min(text.find_first_of(" \t"), text.size());
    std::string_view verb = text.substr(0, verbEnd);
    std::string_view rest = text.substr(std::min(verbEnd + 1, text.size()));

    if (EqualsNoCase(verb, "set")) {
      size_t itemEnd = std::min(rest.find_first_of(" \t"), rest.size());
      std::string item(rest.substr(0, itemEnd));
      std::string value(rest.substr(std::min(itemEnd + 1, rest.size())));
      if (item.empty()) {
        log_.Line("CONTROL? set needs an item name");
        return;
      }
      server_->SetItem(item, value);
    } else if (EqualsNoCase(verb, "ack") && Trim(rest).empty()) {
      server_->SetExecuteReply(ExecuteReply::Ack);
    } else if (EqualsNoCase(verb, "refuse") && Trim(rest).empty()) {
      server_->SetExecuteReply(ExecuteReply::Refuse);
    } else if (EqualsNoCase(verb, "stall")) {
      std::optional<DWORD> ms = ParseMilliseconds(Trim(rest));
      if (!ms) {
        log_.Line("CONTROL? stall needs milliseconds");
        return;
      }
      // "stall 0" is no stall at all.
      server_->SetExecuteReply(*ms != 0 ? ExecuteReply::Stall : ExecuteReply::Ack, *ms);
    } else if (EqualsNoCase(verb, "quit") && Trim(rest).empty()) {
      Quit();
    } else {
      log_.Line("CONTROL? unknown command");
    }
  }

  void Quit() {
    if (quitting_) return;
    quitting_ = true;
    log_.Line("QUIT");
    KillTimer(window_, kControlPollTimerId);
    if (server_) server_->Stop();
    PostQuitMessage(kExitOk);
  }

  // Lines the stdin thread posted after the end: free their strings.
  void DropQueuedLines() {
    MSG msg;
    while (PeekMessageA(&msg, window_, kMsgControlLine, kMsgControlLine, PM_REMOVE)) {
      delete reinterpret_cast<std::string*>(msg.lParam);
    }
  }

  Log& log_;
  Options options_;
  HWND window_ = nullptr;
  std::optional<DdeServer> server_;
  std::optional<ControlFile> control_;
  bool quitting_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  // Binary mode: scripts want "\n" line ends, not "\r\n".
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);

  std::optional<Options> options = ParseOptions(argc, argv);
  if (!options) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  if (options->help) {
    PrintUsage(stdout);
    return kExitOk;
  }

  Log log;
  if (!options->logPath.empty() && !log.OpenFile(options->logPath)) {
    std::fprintf(stderr, "hrd_sim: cannot open log file \"%s\"\n", options->logPath.c_str());
    return kExitStartFailed;
  }
  Simulator simulator(log, std::move(*options));
  return simulator.Run();
}
