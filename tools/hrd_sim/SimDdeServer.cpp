// The simulator's DDEML server.
//
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
// How a slow connect is made: by sleeping in the XTYP_CONNECT callback. A connect cannot be
// blocked as an EXECUTE can; DDEML asks the callback while it handles the client's
// WM_DDE_INITIATE, a message the client sent and waits on. A program busy with something
// else at that moment (as one is just after it registered its service) answers only when
// it gets back to its messages, and meanwhile answers nobody at all: the sleep is exactly
// that. Once it has slept, DDEML accepts the connect and answers the initiate, also when
// the client gave up on it by then; the client's late goodbye then shows as DISCONNECT.
//
// DDEML under Wine differs from Windows here in ways this code allows for:
// - After CBR_BLOCK Wine does not hold back later transactions of that conversation: they
//   reach the callback at once. They are held too (CBR_BLOCK), behind the first, so each
//   conversation's EXECUTEs are answered in order.
// - A transaction that is handed back by DdeEnableCallback and blocked again is dropped by
//   Wine without an answer. So a handed-back transaction is always answered, and held ones
//   are released one at a time (EC_ENABLEONE), in the order DDEML queued them.
#include "SimDdeServer.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "SimOptions.h"

namespace tools::hrd_sim {
namespace {

std::string Hex(UINT value) {
  char buffer[16];
  std::snprintf(buffer, sizeof(buffer), "%x", value);
  return buffer;
}

// The text of an EXECUTE, up to the first NUL. `data` is lent by DDEML: not freed here.
std::string ExecuteText(HDDEDATA data) {
  return bridge::platform::win32::DdeData::Borrowed(data).Text();
}

// The transaction kind is the XTYP_MASK nibble of `type`; the other bits are class and
// flags (XTYPF_NOBLOCK and friends), which are part of the XTYP_ constants too.
constexpr UINT Kind(UINT type) { return type & XTYP_MASK; }

}  // namespace

DdeServer::DdeServer(Log& log, Stamps& stamps, HWND timerWindow, Radio& radio)
    : log_(log), stamps_(stamps), timerWindow_(timerWindow), radio_(radio) {}

int DdeServer::Start() {
  if (current_ != nullptr) return kExitDdeInit;
  current_ = this;
  UINT rc = DdeInitializeA(&instance_, &DdeServer::Callback,
                           APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
                           0);
  if (rc != DMLERR_NO_ERROR) {
    log_.Line("ERROR DdeInitializeA failed, DMLERR 0x" + Hex(rc));
    instance_ = 0;
    current_ = nullptr;
    return kExitDdeInit;
  }
  service_ = DdeString::Owned(instance_, kServiceName);
  topic_ = DdeString::Owned(instance_, kTopicName);
  bool namesOk = service_ && topic_;
  for (const auto& [name, value] : radio_.Items()) namesOk = HoldItemName(name) && namesOk;
  if (!namesOk) {
    log_.Line("ERROR DdeCreateStringHandleA failed, DMLERR 0x" + Hex(LastError()));
    Stop();
    return kExitDdeInit;
  }
  if (DdeNameService(instance_, service_.Get(), nullptr, DNS_REGISTER) == nullptr) {
    log_.Line("ERROR DdeNameService failed, DMLERR 0x" + Hex(LastError()));
    Stop();
    return kExitRegister;
  }
  registered_ = true;
  log_.Line(std::string("REGISTER ") + kServiceName + " " + kTopicName);
  return kExitOk;
}

void DdeServer::Stop() {
  if (instance_ == 0) return;
  for (const auto& [timerId, conversation] : timers_) KillTimer(timerWindow_, timerId);
  timers_.clear();
  held_.clear();
  if (registered_) {
    DdeNameService(instance_, service_.Get(), nullptr, DNS_UNREGISTER);
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

void DdeServer::SetItem(const std::string& item, const std::string& value) {
  if (std::optional<Change> change = radio_.Set(item, value)) Announce(*change);
}

void DdeServer::SetItemQuietly(const std::string& item, const std::string& value) {
  if (std::optional<Change> change = radio_.Set(item, value)) Announce(*change, false);
}

void DdeServer::Announce(const Change& change, bool logIt) {
  if (logIt) log_.Line("CHANGE " + change.item + " " + OneLine(change.value));
  // Stamped last, right before the advise loops hear of it.
  if (stamps_.enabled()) stamps_.Add("CHANGE", change.item + " " + OneLine(change.value));
  if (instance_ == 0 || !HoldItemName(change.item)) return;
  DdePostAdvise(instance_, topic_.Get(), itemNames_.find(change.item)->second.Get());
}

void DdeServer::OnTimer(UINT_PTR timerId) {
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

// Keeps a string handle of an item's name for as long as the server runs: DdePostAdvise
// wants one, and while it lives the name's atom cannot vanish between a client's
// transactions (under Wine an advise start once arrived with an empty item name).
bool DdeServer::HoldItemName(const std::string& name) {
  if (itemNames_.count(name) != 0) return true;
  DdeString handle = DdeString::Owned(instance_, name);
  if (!handle) return false;
  itemNames_.emplace(name, std::move(handle));
  return true;
}

std::string DdeServer::NameOf(HSZ hsz) const {
  char buffer[256] = {};
  DdeQueryStringA(instance_, hsz, buffer, sizeof(buffer), CP_WINANSI);
  return buffer;
}

bool DdeServer::IsOurs(HSZ topic, HSZ service) const {
  // DdeCmpStringHandles compares without case, as DDE names are meant to be.
  bool topicOk = topic == nullptr || DdeCmpStringHandles(topic, topic_.Get()) == 0;
  bool serviceOk = service == nullptr || DdeCmpStringHandles(service, service_.Get()) == 0;
  return topicOk && serviceOk;
}

// A new data handle with an item's text. DDEML frees it once it is returned to it.
HDDEDATA DdeServer::TextData(HSZ item, const std::string& text) const {
  return DdeCreateDataHandle(instance_, reinterpret_cast<LPBYTE>(const_cast<char*>(text.c_str())),
                             static_cast<DWORD>(text.size() + 1), 0, item, CF_TEXT, 0);
}

const std::string* DdeServer::FindItem(HSZ hszItem) const { return radio_.Find(NameOf(hszItem)); }

HDDEDATA DdeServer::OnConnect(HSZ topic, HSZ service) {
  if (!IsOurs(topic, service)) return Flag(FALSE);
  if (const std::uint32_t ms = connectDelay_.Next(); ms != 0) {
    log_.Line("CONNECT DELAY " + std::to_string(ms) + " ms");
    Sleep(ms);
  }
  return Flag(TRUE);
}

HDDEDATA DdeServer::OnWildConnect(HSZ topic, HSZ service) {
  if (!IsOurs(topic, service)) return nullptr;
  HSZPAIR pairs[2] = {{service_.Get(), topic_.Get()}, {nullptr, nullptr}};
  return DdeCreateDataHandle(instance_, reinterpret_cast<LPBYTE>(pairs), sizeof(pairs), 0,
                             nullptr, CF_TEXT, 0);
}

HDDEDATA DdeServer::OnRequest(UINT format, HSZ hszItem) {
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
void DdeServer::ChangeAfterAnswer(const std::string& item) {
  std::optional<Change> change = radio_.TakeChangeAfterRequest(item);
  if (!change) return;
  auto* pair = new std::pair<std::string, std::string>(change->item, change->value);
  if (!PostMessageA(timerWindow_, kMsgChangeItem, 0, reinterpret_cast<LPARAM>(pair))) delete pair;
}

HDDEDATA DdeServer::OnAdviseStart(UINT format, HSZ hszItem) {
  bool ok = format == CF_TEXT && FindItem(hszItem) != nullptr;
  log_.Line("ADVSTART " + NameOf(hszItem) + (ok ? "" : " (refused: no such CF_TEXT item)"));
  return Flag(ok ? TRUE : FALSE);
}

HDDEDATA DdeServer::OnAdviseRequest(UINT format, HSZ hszItem) {
  const std::string* value = format == CF_TEXT ? FindItem(hszItem) : nullptr;
  return value != nullptr ? TextData(hszItem, *value) : nullptr;
}

HDDEDATA DdeServer::OnExecute(HCONV conversation, HDDEDATA data) {
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

  if (stamps_.enabled()) stamps_.Add("EXECUTE", OneLine(text));
  log_.Line("EXECUTE " + OneLine(text));
  if (!waiting && radio_.Reply() == ExecuteReply::Ack) {
    Apply(text);
    log_.Line("REPLY ACK");
    return Flag(DDE_FACK);
  }
  if (!waiting && radio_.Reply() == ExecuteReply::Refuse) {
    log_.Line("REPLY NACK");
    return Flag(DDE_FNOTPROCESSED);
  }
  return Hold(conversation, text);
}

// Blocks an EXECUTE: stalled (stall mode) or behind another held one of its conversation.
HDDEDATA DdeServer::Hold(HCONV conversation, const std::string& text) {
  HeldExecute held;
  held.timerId = nextTimerId_++;
  held.ms = radio_.Reply() == ExecuteReply::Stall ? radio_.StallMs() : 0;
  held.refuse = radio_.Reply() == ExecuteReply::Refuse;
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
void DdeServer::ReleaseDue(HCONV conversation) {
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

void DdeServer::DropHeld(HCONV conversation, const char* why) {
  auto queue = held_.find(conversation);
  if (queue == held_.end()) return;
  for (const HeldExecute& held : queue->second) {
    KillTimer(timerWindow_, held.timerId);
    timers_.erase(held.timerId);
    log_.Line(why);
  }
  held_.erase(queue);
}

void DdeServer::Apply(const std::string& command) {
  Radio::Executed executed = radio_.Execute(command);
  if (!executed.known) {
    log_.Line("UNKNOWN " + OneLine(command));
    return;
  }
  if (executed.change) Announce(*executed.change);
}

HDDEDATA DdeServer::Dispatch(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                             HDDEDATA data) {
  switch (Kind(type)) {
    case Kind(XTYP_CONNECT):
      return OnConnect(hsz1, hsz2);
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

HDDEDATA CALLBACK DdeServer::Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1,
                                      HSZ hsz2, HDDEDATA data, ULONG_PTR /*data1*/,
                                      ULONG_PTR /*data2*/) {
  DdeServer* self = current_;
  if (self == nullptr) return nullptr;
  return self->Dispatch(type, format, conversation, hsz1, hsz2, data);
}

}  // namespace tools::hrd_sim
