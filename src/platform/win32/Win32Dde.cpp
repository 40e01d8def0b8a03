// The program's DDE server on DDEML: topics, items, REQUEST, advise links and EXECUTE.
//
// An EXECUTE whose handling must wait on another program (keying the radio waits for HRD's
// answer) cannot be handled in the callback: Windows refuses a synchronous DDE transaction
// started from a DDEML callback (DMLERR_REENTRANCY). The callback holds it (CBR_BLOCK) and
// posts a message to its own window; the loop then hands the command to the topic, and
// DdeEnableCallback(EC_ENABLEONE) makes DDEML deliver the transaction once more, which the
// callback now answers with the topic's answer. The client waits meanwhile, as for any
// slow server, and gets the answer it would have had at once.
// Under Wine DDEML does not hold back a conversation's later transactions after CBR_BLOCK
// but delivers them at once; an EXECUTE that comes while one of its conversation is held is
// therefore held behind it, so that each conversation's commands are answered in order. A
// transaction handed back and blocked again is dropped by Wine: a handed-back one is always
// answered.
#include <vector>

#include "base/Failure.h"
#include "base/Text.h"
#include "platform/win32/DdeHandles.h"
#include "platform/win32/DdeMessages.h"
#include "platform/win32/Win32Platform.h"

namespace bridge::platform::win32 {
namespace {

// DDEML calls back without a context argument, so the one server of the process is found
// here. This is the only static state of the program.
Win32DdeServer* theServer = nullptr;

constexpr const char* kWindowClass = "TavixHrdBridgeDdeServer";
constexpr UINT kRunHeld = WM_APP + 1;

HDDEDATA Flag(ExecuteAnswer answer) {
  return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(answer == ExecuteAnswer::Accept ? DDE_FACK : DDE_FNOTPROCESSED));
}

using base::ToLower;

}  // namespace

Win32DdeServer::Win32DdeServer(std::string serviceName)
    : serviceName_(std::move(serviceName)) {
  RegisterHiddenWindowClass(kWindowClass, WindowProc);
  window_ = MessageOnlyWindow(kWindowClass);
}

Win32DdeServer::~Win32DdeServer() {
  if (theServer == this) theServer = nullptr;
  // The names are unregistered and freed before their instance ends.
  names_.clear();
  service_.Reset();
  instance_.Reset();
}

void Win32DdeServer::EnsureStarted() {
  if (service_) return;
  // Started only once the name is registered: a failure leaves neither instance nor name
  // behind, so the next topic's registration tries again from the start.
  instance_ = DdeInstance::Start(Callback, APPCLASS_STANDARD | CBF_FAIL_POKES | CBF_SKIP_REGISTRATIONS |
                                               CBF_SKIP_UNREGISTRATIONS);
  if (!instance_) throw base::Failure(base::RunError::DdeNoResponse);
  // Set before the name is registered: a client may connect while the registration is
  // announced.
  theServer = this;
  service_ = DdeServiceName::Register(instance_.Id(), serviceName_);
  if (!service_) {
    theServer = nullptr;
    instance_.Reset();
    throw base::Failure(base::RunError::DdeNoResponse);
  }
}

void Win32DdeServer::RegisterTopic(const std::string& topic, TopicHandler& handler) {
  EnsureStarted();
  topics_[ToLower(topic)] = &handler;
}

void Win32DdeServer::UnregisterTopic(const std::string& topic) {
  const std::string key = ToLower(topic);
  topics_.erase(key);
  std::vector<HCONV> ending;
  for (const auto& [conversation, conversationTopic] : conversations_)
    if (conversationTopic == key) ending.push_back(conversation);
  for (HCONV conversation : ending) {
    conversations_.erase(conversation);
    held_.erase(conversation);
    DdeDisconnect(conversation);
  }
}

void Win32DdeServer::ItemChanged(const std::string& topic, const std::string& item) {
  if (!service_ || !Find(topic)) return;
  // The names are kept: a change can come thousands of times a second, and each new handle
  // would be a round trip to the system's atom table and back.
  const HSZ topicName = Name(topic);
  const HSZ itemName = Name(item);
  if (topicName && itemName) DdePostAdvise(instance_.Id(), topicName, itemName);
}

HSZ Win32DdeServer::Name(const std::string& text) {
  auto found = names_.find(text);
  if (found == names_.end()) {
    DdeString name = DdeString::Owned(instance_.Id(), text);
    if (!name) return nullptr;
    found = names_.emplace(text, std::move(name)).first;
  }
  return found->second.Get();
}

std::string Win32DdeServer::Text(HSZ hsz) const { return DdeString::Borrowed(instance_.Id(), hsz).Text(); }

TopicHandler* Win32DdeServer::Find(const std::string& topic) const {
  auto found = topics_.find(ToLower(topic));
  return found == topics_.end() ? nullptr : found->second;
}

HDDEDATA CALLBACK Win32DdeServer::Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                                           HDDEDATA data, ULONG_PTR data1, ULONG_PTR) {
  if (!theServer) return nullptr;
  try {
    return theServer->Handle(type, format, conversation, hsz1, hsz2, data, data1);
  } catch (...) {
    // Nothing escapes into DDEML: a failed transaction is refused.
    return type == XTYP_EXECUTE ? reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED) : nullptr;
  }
}

// Two faults of Wine's DDEML that the server makes up for, only under Wine:
// - it copies each EXECUTE's command into a new data handle for the callback and never
//   frees it: the command's bytes and one of the process's 65,536 movable memory handles
//   per EXECUTE. Measured here: after about 65,000 commands the program could make no DDE
//   data any more and refused every command, then answered none. Windows frees that handle
//   itself once the callback returns, so only under Wine does the callback free it.
// - DdePostAdvise adds one reference to the item's global atom and posts it to every link
//   on the item, and each client deletes the atom it was sent: the first to do so takes
//   the name away from all the others, which drop their value. Windows adds one reference
//   per message, so only under Wine does the callback add the ones missing.
HDDEDATA Win32DdeServer::Handle(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                ULONG_PTR data1) {
  // For every transaction here hsz1 is the topic; hsz2 is the item (or the service on
  // connect). The data handle of an EXECUTE belongs to DDEML and is only read (but see
  // above).
  switch (type) {
    case XTYP_CONNECT:
      return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(Find(Text(hsz1)) != nullptr));
    case XTYP_CONNECT_CONFIRM:
      conversations_[conversation] = ToLower(Text(hsz1));
      return nullptr;
    case XTYP_DISCONNECT:
      conversations_.erase(conversation);
      held_.erase(conversation);
      return nullptr;
    case XTYP_ADVSTART: {
      TopicHandler* handler = Find(Text(hsz1));
      const bool served = format == CF_TEXT && handler && handler->OnRequest(Text(hsz2));
      return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(served));
    }
    case XTYP_REQUEST:
    case XTYP_ADVREQ: {
      if (format != CF_TEXT) return nullptr;
      TopicHandler* handler = Find(Text(hsz1));
      if (!handler) return nullptr;
      const std::optional<std::string> value = handler->OnRequest(Text(hsz2));
      if (!value) return nullptr;
      // An advise with more links still to come after it (their count is data1's low
      // word) shares the atom DDEML posts: its message gets a reference of its own.
      if (type == XTYP_ADVREQ && RunsUnderWine() && LOWORD(data1) > 0) GlobalAddAtomA(Text(hsz2).c_str());
      // The new handle passes to DDEML with the answer.
      return DdeData::FromText(instance_.Id(), hsz2, *value).Release();
    }
    case XTYP_EXECUTE: {
      std::string command = DdeData::Borrowed(data).Text();
      if (RunsUnderWine() && data) DdeFreeDataHandle(data);
      return Execute(conversation, ToLower(Text(hsz1)), command);
    }
    default:
      return nullptr;
  }
}

HDDEDATA Win32DdeServer::Execute(HCONV conversation, const std::string& topic, const std::string& command) {
  auto queue = held_.find(conversation);
  if (queue != held_.end() && !queue->second.empty()) {
    // Handed back by the loop: the topic's answer. Otherwise held behind the ones before.
    if (std::optional<ExecuteAnswer> answer = queue->second.front().answer) {
      queue->second.pop_front();
      // The next one held behind it, if any, is the loop's to hand over.
      PostMessageA(window_.Get(), kRunHeld, 0, 0);
      return Flag(*answer);
    }
    queue->second.push_back(HeldExecute{++lastHeld_, topic, command, false, std::nullopt});
    return CBR_BLOCK;
  }
  TopicHandler* handler = Find(topic);
  if (!handler) return Flag(ExecuteAnswer::Refuse);
  const ExecuteAnswer answer = handler->OnExecute(command);
  if (answer != ExecuteAnswer::Hold) return Flag(answer);
  // Without the message nothing would ever answer it: refused at once instead.
  if (!window_ || !PostMessageA(window_.Get(), kRunHeld, 0, 0)) return Flag(ExecuteAnswer::Refuse);
  held_[conversation].push_back(HeldExecute{++lastHeld_, topic, command, true, std::nullopt});
  return CBR_BLOCK;
}

void Win32DdeServer::RunHeld() {
  std::vector<HCONV> waiting;
  for (const auto& [conversation, queue] : held_) waiting.push_back(conversation);
  for (HCONV conversation : waiting) {
    for (;;) {
      auto queue = held_.find(conversation);
      if (queue == held_.end()) break;
      if (queue->second.empty()) {
        held_.erase(queue);
        // Nothing held any more: DDEML delivers to the conversation freely again (Windows
        // keeps it disabled after CBR_BLOCK until told so).
        DdeEnableCallback(instance_.Id(), conversation, EC_ENABLEALL);
        break;
      }
      HeldExecute& front = queue->second.front();
      if (!front.answer) {
        // The topic may wait on other programs here; a command held behind another one is
        // handled as it would have been in the callback.
        const std::string topic = front.topic;
        const std::string command = front.command;
        const bool waits = front.waits;
        TopicHandler* handler = Find(topic);
        ExecuteAnswer answer = ExecuteAnswer::Refuse;
        if (handler) {
          answer = waits ? handler->OnHeldExecute(command) : handler->OnExecute(command);
          if (answer == ExecuteAnswer::Hold) answer = handler->OnHeldExecute(command);
        }
        queue = held_.find(conversation);  // the conversation may have ended meanwhile
        if (queue == held_.end() || queue->second.empty()) continue;
        queue->second.front().answer = answer == ExecuteAnswer::Accept ? answer : ExecuteAnswer::Refuse;
      }
      const std::uint64_t id = queue->second.front().id;
      if (!DdeEnableCallback(instance_.Id(), conversation, EC_ENABLEONE)) {
        held_.erase(conversation);  // the conversation is gone
        break;
      }
      // Normally DDEML has delivered it again and the callback answered it by now. If not,
      // it comes later (and tells the loop again), or DDEML no longer has it.
      queue = held_.find(conversation);
      if (queue == held_.end() || queue->second.empty() || queue->second.front().id != id) continue;
      if (DdeEnableCallback(instance_.Id(), conversation, EC_QUERYWAITING)) break;
      queue->second.pop_front();
    }
  }
}

LRESULT CALLBACK Win32DdeServer::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kRunHeld || !theServer) return DefWindowProcA(window, message, wParam, lParam);
  try {
    theServer->RunHeld();
  } catch (...) {
  }
  return 0;
}

}  // namespace bridge::platform::win32
