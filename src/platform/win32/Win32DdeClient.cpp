// The program's DDE client: shared conversations, hot links and EXECUTEs, spoken over the
// DDE message protocol itself from hidden windows of this program.
//
// Why not DDEML on this side. Under Wine, DdeConnect broadcasts its WM_DDE_INITIATE with
// a plain SendMessage and so waits for as long as any top-level window hangs. Measured
// here: with a window that stopped reading messages, HRD saw the bridge's connect at once,
// but the bridge's first REQUEST reached it ten seconds later, when that window recovered;
// the bridge served nothing meanwhile. Asking each window first, briefly, who serves only
// helped while nobody served. So the initiate is sent here, window by window, each with a
// time-out of its own, and the conversation goes on with the server that answered.
//
// How long a window may take to answer the initiate. A window asked for the first time,
// or one whose thread answered its last question, gets a second: a sibling busy writing a
// contact to its log answers within a few hundred milliseconds, and a second is still
// short for someone watching the program start. A thread whose window did not answer in
// time is remembered (a hung thread answers for none of its windows, and Wine gives each
// thread an input-method window besides its own) and its windows are asked afterwards for
// 30 ms only, until one answers within that again: HRD's link is retried every second
// while it is away, and a hung program would otherwise cost a second each time. So a
// program that never answers holds the bridge up for one second once, then for 30 ms per
// window per connect attempt (the start notices to six siblings, the retry each second):
// start-up waits about 1.2 s on it. A program that is only busy a moment, HRD too,
// answers its next question in time and is asked with the full second again. Nothing else
// waits on a window other than the partner's. (Wine also gives up at once on a window
// that has read no message for five seconds, SMTO_ABORTIFHUNG.)
//
// The protocol's owners, message by message:
// - the atoms of our WM_DDE_INITIATE stay ours; those in a server's answer are ours to
//   delete; a second server answering, or one answering late, is told goodbye at once;
// - the item atom of WM_DDE_ADVISE, REQUEST and UNADVISE passes to the server once posted,
//   the one in its WM_DDE_ACK or WM_DDE_DATA is ours: reused in our ACK, deleted otherwise;
// - the DDEADVISE block passes to the server on a positive ACK and stays ours otherwise;
//   the command block of WM_DDE_EXECUTE stays ours and is freed when its ACK returns it;
// - a DDEDATA block is ours to free when fRelease is set.
// An acknowledgement is matched to the transaction waiting for it by what it carries (the
// item's name, the command block), never by when it comes: Wine's DDEML server follows the
// data answering a REQUEST with a positive ACK of its own, which must not pass for the
// answer to the next transaction. That ACK carries the data's atom once more without a
// reference of its own, so under Wine it is set aside and its atom left alone: deleting it
// released the item's name while HRD still used it.
//
// A hot link starts with its advise loop and only then asks for the current value, with
// the link's sink already in place: a change HRD publishes meanwhile cannot fall between
// the two. Values reach the sink in the order the server produced them, so the newest
// value is the last. While more messages wait in the queue (HRD reporting faster than its
// values can be passed on: a VFO knob spun, a band scan), an advised value waits for them:
// it is passed on after them, and only if no newer value of its item came meanwhile. A
// value alone in the queue, one that waited there no more than a millisecond, and the
// answer to a REQUEST, are passed on at once; but a value that comes while a transaction
// waits for its answer is passed on from the loop, after that transaction.
//
// A conversation is taken for gone when its partner says so, or when the partner's window
// no longer exists: a partner that crashed sends no terminate.
#include <windows.h>
#include <dde.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/Failure.h"
#include "base/Text.h"
#include "platform/win32/DdeHandles.h"
#include "platform/win32/DdeMessages.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Platform.h"

namespace bridge::platform::win32 {
namespace {

using base::Failure;
using base::RunError;
using base::ToLower;

// DDEML calls back without a context argument, and the windows share one procedure, so the
// one client of the process is found here.
Win32DdeClient* theClient = nullptr;

// Time-outs of the synchronous transactions. A hot link's start and first value come from
// a program on the same machine within milliseconds; an EXECUTE may make the other program
// act (HRD tunes the radio), so it gets the classic forms runtime's five seconds.
constexpr DWORD kLinkTimeoutMs = 2000;
constexpr DWORD kExecuteTimeoutMs = 5000;
// How long a window may take to answer an initiate: see the top of the file.
constexpr UINT kFirstAskMs = 1000;
constexpr UINT kSlowAskMs = 30;
constexpr const char* kWindowClass = "TavixHrdBridgeDdeClient";
// Posted to a conversation's window when it holds advised values for after the queue.
constexpr UINT kPassOnNewest = WM_APP + 3;
constexpr WORD kAckBit = 0x8000;  // DDEACK.fAck
// How long an advised value may have waited in the queue to be passed on at once.
constexpr DWORD kFreshValueMs = 1;
// How long a partner's window seen by IsWindow counts as there.
constexpr ULONGLONG kPartnerSeenForMs = 10;

// Enumeration callbacks are stdcall on 32-bit Windows: a plain CALLBACK function, not a lambda.
BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

}  // namespace

class Win32Conversation : public DdeConversation, public std::enable_shared_from_this<Win32Conversation> {
 public:
  Win32Conversation(WindowHandle window, HWND partner) : window_(std::move(window)), partner_(partner) {}
  ~Win32Conversation() override {
    End();
    // An advise block never answered for may be the server's by now: left alone.
    for (auto& [item, options] : lateOptions_) options.Release();
  }

  bool Alive() override {
    if (!partnerTerminated_ && !terminateSent_ && PartnerThere()) return true;
    End();
    return false;
  }

  void StartHotLink(const std::string& item, std::function<void(const std::string&)> sink) override {
    if (!Alive()) throw Failure(RunError::DdeNoChannel);
    const auto self = shared_from_this();  // a sink may let go of the last other reference
    const std::string key = ToLower(item);
    // The sink is in place before the advise loop starts, so no value can come unheard.
    sinks_[key] = std::move(sink);
    try {
      StartAdvise(item);
    } catch (...) {
      sinks_.erase(key);
      throw;
    }
    // The item's name is held while the link lives: should another program release the
    // name's atom once too often, a later message naming the item would name nothing.
    if (!heldNames_.count(key))
      if (GlobalAtom held = AddGlobalAtom(item)) heldNames_.emplace(key, std::move(held));
    // The current value. Its answer reaches the sink as it arrives, in its place among the
    // advised values; a REQUEST refused or unanswered leaves the link standing.
    RequestCurrentValue(item);
  }

  void StopHotLink(const std::string& item) override {
    const std::string key = ToLower(item);
    if (!sinks_.erase(key)) return;
    newest_.erase(key);
    heldNames_.erase(key);
    if (!Alive()) return;
    // Not waited for: nothing waits on a partner that may be gone; its ACK is tidied away.
    GlobalAtom atom = AddGlobalAtom(item);
    if (atom && Post(WM_DDE_UNADVISE, PackDDElParam(WM_DDE_UNADVISE, CF_TEXT, atom.Get()))) atom.Release();
  }

  void Execute(std::string_view command) override {
    if (!Alive()) throw Failure(RunError::DdeNoChannel);
    const auto self = shared_from_this();
    // The command and its NUL; the block stays ours and comes back with the ACK.
    GlobalBlock block = NewBlock(command.size() + 1, [&](void* bytes) { std::memcpy(bytes, command.data(), command.size()); });
    Begin(Awaiting::ExecuteAck, {}, block.Get());
    if (!Post(WM_DDE_EXECUTE, PackDDElParam(WM_DDE_EXECUTE, 0, reinterpret_cast<UINT_PTR>(block.Get())))) {
      pending_ = Pending{};
      throw Failure(RunError::DdeNoChannel);
    }
    if (!WaitForAnswer(kExecuteTimeoutMs)) {
      // The block comes back with a late ACK, if ever: freed then, or with the conversation.
      lateCommands_.push_back(std::move(block));
      throw Failure(Alive() ? RunError::DdeTimeout : RunError::DdeNoChannel);
    }
    if (!pending_.positive) throw Failure(RunError::DdeRefused);
  }

  HWND Window() const { return window_.Get(); }

  /// A DDE message to this conversation's window; never throws.
  void OnMessage(UINT message, HWND from, LPARAM lParam) {
    if (from != partner_) {
      // Only a server answering an initiate late talks to us without being our partner.
      if (message == WM_DDE_ACK) {
        DeleteAtom(LOWORD(lParam));
        DeleteAtom(HIWORD(lParam));
        PostMessageA(from, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_.Get()), 0);
      }
      return;
    }
    switch (message) {
      case WM_DDE_ACK: OnAck(lParam); return;
      case WM_DDE_DATA: OnData(lParam); return;
      case WM_DDE_TERMINATE: OnTerminate(); return;
      default: return;
    }
  }

  /// Passes each item's newest value not passed on yet to its sink.
  void PassOnNewest() {
    passOnPosted_ = false;
    const auto self = shared_from_this();  // a sink may let go of the last other reference
    // A sink may end links or bring new values: it runs on a copy, with the values taken.
    for (auto& [key, value] : std::exchange(newest_, {})) {
      auto sink = sinks_.find(key);
      if (sink == sinks_.end()) continue;
      auto run = sink->second;
      run(value);
    }
  }

 private:
  enum class Awaiting { Nothing, AdviseAck, Data, ExecuteAck };

  // The one transaction waiting for its answer.
  struct Pending {
    Awaiting what = Awaiting::Nothing;
    std::string item;
    HGLOBAL block = nullptr;  // the EXECUTE's commands or the ADVISE's options
    bool answered = false;
    bool positive = false;
  };

  void Begin(Awaiting what, const std::string& item, HGLOBAL block) {
    pending_ = Pending{};
    pending_.what = what;
    pending_.item = item;
    pending_.block = block;
  }

  /// Posts to the partner; a message that cannot go frees its packed parameter.
  bool Post(UINT message, LPARAM lParam) {
    if (!terminateSent_ && PostMessageA(partner_, message, reinterpret_cast<WPARAM>(window_.Get()), lParam)) return true;
    FreeDDElParam(message, lParam);
    return false;
  }

  /// WM_DDE_ADVISE for a hot link: every change as data, unacknowledged as DDEML's hot
  /// links are. Throws Failure when refused, unanswered or the partner is gone.
  void StartAdvise(const std::string& item) {
    GlobalBlock options = NewBlock(sizeof(DDEADVISE), [](void* bytes) {
      auto* advise = static_cast<DDEADVISE*>(bytes);
      *advise = DDEADVISE{};
      advise->cfFormat = CF_TEXT;
    });
    GlobalAtom atom = AddAtom(item);
    Begin(Awaiting::AdviseAck, item, options.Get());
    if (!Post(WM_DDE_ADVISE, PackDDElParam(WM_DDE_ADVISE, reinterpret_cast<UINT_PTR>(options.Get()), atom.Get()))) {
      pending_ = Pending{};
      throw Failure(RunError::DdeNoChannel);
    }
    atom.Release();  // the server's now
    if (!WaitForAnswer(kLinkTimeoutMs)) {
      // A late positive ACK gives the block to the server, a late refusal back to us.
      // An older block still unanswered for, the server may have taken: left alone.
      GlobalBlock& late = lateOptions_[ToLower(item)];
      late.Release();
      late = std::move(options);
      throw Failure(Alive() ? RunError::DdeTimeout : RunError::DdeNoChannel);
    }
    if (!pending_.positive) throw Failure(RunError::DdeRefused);
    options.Release();  // the server keeps it for the advise loop
  }

  /// WM_DDE_REQUEST for the item's CF_TEXT value; OnData hands the answer to the sink.
  void RequestCurrentValue(const std::string& item) {
    GlobalAtom atom = AddGlobalAtom(item);
    if (!atom) return;
    Begin(Awaiting::Data, item, nullptr);
    if (!Post(WM_DDE_REQUEST, PackDDElParam(WM_DDE_REQUEST, CF_TEXT, atom.Get()))) {
      pending_ = Pending{};
      return;
    }
    atom.Release();  // the server's now
    WaitForAnswer(kLinkTimeoutMs);
  }

  /// Delivers this conversation's DDE messages until the pending transaction is answered
  /// (true), the partner is gone or the time is up (false). Messages for other windows
  /// wait for the message loop, as during any synchronous transaction; messages sent from
  /// other programs are served meanwhile.
  bool WaitForAnswer(DWORD timeoutMs) {
    const Win32DdeClient::WaitScope waiting(theClient);
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
      MSG message;
      while (!pending_.answered && PeekMessageA(&message, window_.Get(), WM_DDE_FIRST, WM_DDE_LAST, PM_REMOVE))
        DispatchMessageA(&message);
      if (pending_.answered || partnerTerminated_ || !PartnerThere()) break;
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline) break;
      // A partner that dies sends nothing: look again at least every tenth of a second.
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 100)),
                                QS_POSTMESSAGE | QS_SENDMESSAGE);
    }
    const bool answered = pending_.answered;
    pending_.what = Awaiting::Nothing;
    return answered;
  }

  void OnAck(LPARAM lParam) {
    UINT_PTR status = 0;
    UINT_PTR value = 0;  // an item's atom, or the command block of an EXECUTE
    UnpackDDElParam(WM_DDE_ACK, lParam, &status, &value);
    FreeDDElParam(WM_DDE_ACK, lParam);
    const bool positive = (LOWORD(status) & kAckBit) != 0;
    if (positive && IsAtom(value) && !trailingAcks_.empty()) {
      // The ACK Wine's server follows a REQUEST's data with: its atom is the data's.
      auto trailing = trailingAcks_.find(ToLower(AtomName(value)));
      if (trailing != trailingAcks_.end()) {
        if (--trailing->second == 0) trailingAcks_.erase(trailing);
        return;
      }
    }

    bool answers = false;
    switch (pending_.answered ? Awaiting::Nothing : pending_.what) {
      case Awaiting::ExecuteAck:
        answers = value == reinterpret_cast<UINT_PTR>(pending_.block);
        break;
      case Awaiting::AdviseAck:
        answers = IsAtom(value) && base::EqualNoCase(AtomName(value), pending_.item);
        break;
      case Awaiting::Data:
        // A REQUEST is answered by data; only a refusal comes as an ACK.
        answers = !positive && IsAtom(value) && base::EqualNoCase(AtomName(value), pending_.item);
        break;
      case Awaiting::Nothing:
        break;
    }
    if (answers) {
      pending_.answered = true;
      pending_.positive = positive;
      DeleteAtom(value);
      return;
    }
    // Late or extra: the block of an EXECUTE that timed out is freed; a late answer to an
    // ADVISE settles who keeps its block; an atom is deleted.
    auto late = std::find_if(lateCommands_.begin(), lateCommands_.end(),
                             [&](const GlobalBlock& block) { return reinterpret_cast<UINT_PTR>(block.Get()) == value; });
    if (late != lateCommands_.end()) {
      lateCommands_.erase(late);
      return;
    }
    if (!IsAtom(value)) return;
    if (auto options = lateOptions_.find(ToLower(AtomName(value))); options != lateOptions_.end()) {
      if (positive) options->second.Release();
      lateOptions_.erase(options);
    }
    DeleteAtom(value);
  }

  void OnData(LPARAM lParam) {
    UINT_PTR memory = 0;
    UINT_PTR atom = 0;
    UnpackDDElParam(WM_DDE_DATA, lParam, &memory, &atom);
    FreeDDElParam(WM_DDE_DATA, lParam);
    HGLOBAL block = reinterpret_cast<HGLOBAL>(memory);
    const DataBlock data = ReadDataBlock(block);
    const std::string item = AtomName(atom);
    if (data.response && RunsUnderWine()) ++trailingAcks_[ToLower(item)];

    const bool accepted = !terminateSent_ && data.valid && data.format == CF_TEXT;
    if (accepted && data.response && pending_.what == Awaiting::Data && !pending_.answered &&
        base::EqualNoCase(item, pending_.item)) {
      pending_.answered = true;
      pending_.positive = true;
    }
    if (data.ackRequested && !terminateSent_) {
      const LPARAM ack = PackDDElParam(WM_DDE_ACK, accepted ? kAckBit : 0, atom);
      if (!PostMessageA(partner_, WM_DDE_ACK, reinterpret_cast<WPARAM>(window_.Get()), ack)) {
        FreeDDElParam(WM_DDE_ACK, ack);
        DeleteAtom(atom);
      }
    } else {
      DeleteAtom(atom);
    }
    // On a refusal the block stays the server's; otherwise fRelease says it is ours, also
    // when it comes after our goodbye, unanswered.
    if (block && data.valid && data.release && (accepted || !data.ackRequested || terminateSent_)) GlobalFree(block);

    if (!accepted) return;
    const std::string key = ToLower(item);
    if (!sinks_.count(key)) return;
    newest_[key] = data.text;  // replaces an older one not passed on yet
    if (data.response) {
      PassOnNewest();
      return;
    }
    // A pass-on already posted is still to come: it takes this value along.
    if (passOnPosted_) return;
    // While a transaction waits for its answer, a value waits for the loop: what it sets
    // off comes after the command under way (HRD reports "tx" before it acknowledges
    // "butn tx=on"), not inside it.
    const bool waiting = theClient && theClient->Waiting();
    // A value that waited in the queue no more than a millisecond finds the program keeping
    // up: it is passed on without asking the queue (a round trip to the window server
    // under Wine). One that waited longer may have newer ones behind it.
    const bool fresh = GetTickCount() - static_cast<DWORD>(GetMessageTime()) <= kFreshValueMs;
    if (!waiting && (fresh || !HIWORD(GetQueueStatus(QS_POSTMESSAGE)))) {
      PassOnNewest();
      return;
    }
    // Behind the messages waiting now; if it cannot be posted, at once.
    passOnPosted_ = PostMessageA(window_.Get(), kPassOnNewest, 0, 0) != 0;
    if (!passOnPosted_) PassOnNewest();
  }

  void OnTerminate() {
    partnerTerminated_ = true;
    End();
    // What the partner said before its goodbye still counts.
    PassOnNewest();
  }

  /// Whether the partner's window is still there. Under Wine IsWindow is a round trip to
  /// the window server, and one command to HRD asks several times over: a window seen
  /// within the last few milliseconds counts as there. A post to a partner gone meanwhile
  /// fails, and the wait for an answer looks again.
  bool PartnerThere() {
    const ULONGLONG now = GetTickCount64();
    if (partnerSeen_ && now - partnerSeenAt_ < kPartnerSeenForMs) return true;
    partnerSeen_ = IsWindow(partner_) != FALSE;
    partnerSeenAt_ = now;
    return partnerSeen_;
  }

  /// Says goodbye once, when the partner can still hear it.
  void End() {
    if (terminateSent_) return;
    terminateSent_ = true;
    if (IsWindow(partner_)) PostMessageA(partner_, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_.Get()), 0);
  }

  WindowHandle window_;
  HWND partner_;
  bool terminateSent_ = false;
  bool partnerTerminated_ = false;
  bool partnerSeen_ = false;  // by PartnerThere, at partnerSeenAt_
  ULONGLONG partnerSeenAt_ = 0;
  Pending pending_;
  std::map<std::string, std::function<void(const std::string&)>> sinks_;  // by item, lower case
  std::map<std::string, std::string> newest_;  // values not passed on yet, by item, lower case
  bool passOnPosted_ = false;
  std::map<std::string, GlobalAtom> heldNames_;                           // by item, lower case
  std::map<std::string, int> trailingAcks_;  // REQUEST answers whose ACK is to come (Wine), by item
  std::map<std::string, GlobalBlock> lateOptions_;                        // by item, lower case
  std::vector<GlobalBlock> lateCommands_;
};

Win32DdeClient::Win32DdeClient() {
  theClient = this;
  RegisterHiddenWindowClass(kWindowClass, WindowProc);
}

Win32DdeClient::~Win32DdeClient() {
  conversations_.clear();
  spare_.Reset();
  listener_.Reset();
  if (theClient == this) theClient = nullptr;
}

WindowHandle Win32DdeClient::TakeWindow() {
  WindowHandle window = std::move(spare_);
  // A hidden top-level window, as a forms program's is: servers answer it like any other.
  if (!window)
    window.Reset(CreateWindowExA(0, kWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr));
  if (!window) throw Failure(RunError::DdeNoResponse);
  return window;
}

HWND Win32DdeClient::Initiate(HWND window, const std::string& service, const std::string& topic, bool& denied) {
  const WaitScope waiting(this);
  denied = false;
  std::vector<HWND> windows;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  // A thread that hangs cannot answer for any of its windows (Wine gives each one more, for
  // its input method): slowness is kept per thread. Threads without windows are forgotten.
  std::set<DWORD> slow;
  for (HWND each : windows)
    if (const DWORD thread = GetWindowThreadProcessId(each, nullptr); slow_.count(thread)) slow.insert(thread);
  slow_ = std::move(slow);

  // The initiate's atoms stay ours whatever the answers.
  std::set<HWND> refused;
  const GlobalAtom application = AddGlobalAtom(service);
  const GlobalAtom topicAtom = AddGlobalAtom(topic);
  asking_ = Asking{window, service, topic, nullptr};
  for (HWND each : windows) {
    if (each == window) continue;
    const DWORD thread = GetWindowThreadProcessId(each, nullptr);
    DWORD_PTR result = 0;
    // Not SMTO_BLOCK: a server answers with a sent message, which must get through.
    SetLastError(ERROR_SUCCESS);
    const bool answered =
        SendMessageTimeoutA(each, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(window),
                            MAKELPARAM(application.Get(), topicAtom.Get()), SMTO_ABORTIFHUNG,
                            slow_.count(thread) ? kSlowAskMs : kFirstAskMs, &result) != 0;
    if (answered)
      slow_.erase(thread);
    else if (GetLastError() == ERROR_ACCESS_DENIED)
      refused.insert(each);  // refused at once, not slow
    else if (IsWindow(each))
      slow_.insert(thread);
    if (asking_.server) break;
  }
  // A window of a higher integrity level refuses every message, every time. Under Wine,
  // which has no integrity levels, a window has been seen to refuse one question now and
  // then: only a window that refused the last question too counts.
  for (HWND each : refused)
    if (refused_.count(each)) denied = true;
  refused_ = std::move(refused);
  const HWND server = asking_.server;
  asking_ = Asking{};
  return server;
}

void Win32DdeClient::OnInitiateAnswer(HWND window, HWND server, LPARAM lParam) {
  // The answer is sent, not posted, and holds two plain atoms, ours to delete.
  const std::string service = AtomName(LOWORD(lParam));
  const std::string topic = AtomName(HIWORD(lParam));
  DeleteAtom(LOWORD(lParam));
  DeleteAtom(HIWORD(lParam));
  if (window == asking_.window && !asking_.server && base::EqualNoCase(service, asking_.service) &&
      base::EqualNoCase(topic, asking_.topic)) {
    asking_.server = server;
    return;
  }
  // A second server, or one answering an earlier question too late.
  PostMessageA(server, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
}

std::shared_ptr<DdeConversation> Win32DdeClient::Connect(const std::string& service, const std::string& topic) {
  const std::string key = ToLower(service + "|" + topic);
  if (auto open = conversations_[key].lock(); open && open->Alive()) return open;
  WindowHandle window = TakeWindow();
  bool denied = false;
  const HWND server = Initiate(window.Get(), service, topic, denied);
  if (!server) {
    // Nobody took it up: the window serves the next attempt (and says goodbye to late answers).
    spare_ = std::move(window);
    throw Failure(denied ? RunError::PermissionDenied : RunError::DdeNoResponse);
  }
  auto conversation = std::make_shared<Win32Conversation>(std::move(window), server);
  conversations_[key] = conversation;
  return conversation;
}

std::shared_ptr<Win32Conversation> Win32DdeClient::ConversationOf(HWND window) {
  for (auto& [key, weak] : conversations_)
    if (auto conversation = weak.lock(); conversation && conversation->Window() == window) return conversation;
  return nullptr;
}

LRESULT CALLBACK Win32DdeClient::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kPassOnNewest && theClient) {
    try {
      if (auto conversation = theClient->ConversationOf(window)) conversation->PassOnNewest();
    } catch (...) {
    }
    return 0;
  }
  if (message < WM_DDE_FIRST || message > WM_DDE_LAST || message == WM_DDE_INITIATE || !theClient)
    return DefWindowProcA(window, message, wParam, lParam);
  try {
    const HWND from = reinterpret_cast<HWND>(wParam);
    // Held while it handles the message: a sink may let go of every other reference.
    if (auto conversation = theClient->ConversationOf(window)) {
      conversation->OnMessage(message, from, lParam);
    } else if (message == WM_DDE_ACK) {
      theClient->OnInitiateAnswer(window, from, lParam);
    }
  } catch (...) {
  }
  return 0;
}

void Win32DdeClient::OnServiceRegistered(std::function<void(const std::string&)> listener) {
  if (!listener_) listener_ = DdeInstance::Start(Callback, APPCLASS_STANDARD | APPCMD_CLIENTONLY);
  if (!listener_) throw Failure(RunError::DdeNoResponse);
  registered_.push_back(std::move(listener));
}

HDDEDATA CALLBACK Win32DdeClient::Callback(UINT type, UINT, HCONV, HSZ hsz1, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  if (!theClient || type != XTYP_REGISTER) return nullptr;
  try {
    // hsz1 is the base service name.
    const std::string service = DdeString::Borrowed(theClient->listener_.Id(), hsz1).Text();
    for (std::size_t i = 0; i < theClient->registered_.size(); ++i) theClient->registered_[i](service);
  } catch (...) {
  }
  return nullptr;
}

}  // namespace bridge::platform::win32
