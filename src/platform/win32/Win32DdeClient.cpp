// The program's DDE client on DDEML: shared conversations, hot links and EXECUTEs.
//
// A conversation is opened with DdeConnect and shared by every link to the same service
// and topic, each link adding its own advise loop on its item. Every conversation has a
// DDEML instance of its own, uninitialised when the conversation ends: Wine's DDEML keeps
// an ended conversation in its instance and refuses a new one with the same service and
// topic there, so a server that went away could never be reached again otherwise.
//
// A conversation is taken for gone when DDEML reports its end, or when its partner window
// no longer exists: a partner that crashed sends no terminate, and the handle would
// otherwise look alive for ever.
//
// Before DdeConnect, every top-level window is asked in turn, with a short time-out each,
// whether it serves the service and topic. Under Wine, DdeConnect waits for as long as any
// window on the desktop hangs; asked this way a hung window costs a tenth of a second, and
// while nobody serves (HRD not running, retried every second) DdeConnect is not called.
#include <memory>
#include <optional>
#include <vector>

#include "common/ErrorTrap.h"
#include "common/Text.h"
#include "platform/win32/DdeHandles.h"
#include "platform/win32/Win32Platform.h"

namespace bridge::platform::win32 {
namespace {

using common::ToLower;

// DDEML calls back without a context argument, so the one client of the process is found here.
Win32DdeClient* theClient = nullptr;

// Time-outs of the synchronous transactions. A hot link's start and first value come from
// a program on the same machine within milliseconds; an EXECUTE may make the other program
// act (HRD tunes the radio), so it gets the classic forms runtime's five seconds.
constexpr DWORD kLinkTimeoutMs = 2000;
constexpr DWORD kExecuteTimeoutMs = 5000;
// How long one window may take to answer the question who serves a service and topic.
constexpr UINT kProbeTimeoutMs = 100;
constexpr const char* kProbeClass = "TavixHrdBridgeDdeProbe";

/// Delivers the DDE messages already waiting for this thread. Wine's DDEML leaves the
/// acknowledgement of a hot link's start in the queue after the transaction has returned;
/// the next synchronous transaction on the conversation would take it for its own answer
/// and fail. Only DDE messages are delivered here.
void DeliverWaitingDdeMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, WM_DDE_FIRST, WM_DDE_LAST, PM_REMOVE)) DispatchMessageA(&message);
}

/// Waits a moment for the acknowledgement that Wine's DDEML server posts after the data
/// answering a REQUEST (Windows sends the data alone), and delivers it. Left waiting, it
/// would be taken for the answer to the next transaction, which would then end before its
/// real answer came: a hot link started so can reach the server without its item's name.
void DeliverTrailingAcknowledgement() {
  // Only Wine sends it; Windows is not kept waiting for nothing.
  static const bool onWine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  if (!onWine) return;
  constexpr ULONGLONG kWaitMs = 50;
  const ULONGLONG deadline = GetTickCount64() + kWaitMs;
  for (;;) {
    MSG message;
    if (PeekMessageA(&message, nullptr, WM_DDE_ACK, WM_DDE_ACK, PM_REMOVE)) {
      DispatchMessageA(&message);
      return;
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_POSTMESSAGE);
  }
}

common::RunError TransactionError(DWORD instance) {
  switch (DdeGetLastError(instance)) {
    case DMLERR_ADVACKTIMEOUT:
    case DMLERR_EXECACKTIMEOUT:
    case DMLERR_DATAACKTIMEOUT:
    case DMLERR_POKEACKTIMEOUT:
    case DMLERR_UNADVACKTIMEOUT:
      return common::RunError::DdeTimeout;
    case DMLERR_NO_CONV_ESTABLISHED:
    case DMLERR_INVALIDPARAMETER:
      return common::RunError::DdeNoChannel;
    default:
      return common::RunError::DdeRefused;
  }
}

}  // namespace

class Win32Conversation : public DdeConversation {
 public:
  Win32Conversation(DWORD instance, HCONV handle, std::string topic)
      : instance_(instance), handle_(handle), topic_(std::move(topic)) {}
  ~Win32Conversation() override { End(); }

  bool Alive() override {
    if (!handle_) return false;
    CONVINFO info{};
    info.cb = sizeof info;
    if (ended_ || !DdeQueryConvInfo(handle_, QID_SYNC, &info) || !(info.wStatus & ST_CONNECTED) ||
        !IsWindow(info.hwndPartner)) {
      End();
      return false;
    }
    return true;
  }

  void StartHotLink(const std::string& item, std::function<void(const std::string&)> sink) override {
    if (!Alive()) throw common::Failure(common::RunError::DdeNoChannel);
    // The item's name is held for as long as the link lives, and each transaction takes a
    // handle of its own: Wine's DDEML can release the name's atom once too often while
    // answering a REQUEST, and a later transaction with that handle then names no item.
    auto held = std::make_unique<OwnedString>(instance_, item);
    // The advise loop brings only later changes: the current value is asked for first.
    std::optional<std::string> current;
    {
      DeliverWaitingDdeMessages();
      OwnedString itemName(instance_, item);
      if (HDDEDATA data = DdeClientTransaction(nullptr, 0, handle_, itemName.Get(), CF_TEXT, XTYP_REQUEST,
                                               kLinkTimeoutMs, nullptr)) {
        current = DataText(data);
        DdeFreeDataHandle(data);
        DeliverTrailingAcknowledgement();
      }
    }
    {
      DeliverWaitingDdeMessages();
      OwnedString itemName(instance_, item);
      if (!DdeClientTransaction(nullptr, 0, handle_, itemName.Get(), CF_TEXT, XTYP_ADVSTART, kLinkTimeoutMs,
                                nullptr))
        throw common::Failure(TransactionError(instance_));
    }
    sinks_[ToLower(item)] = sink;
    heldNames_[ToLower(item)] = std::move(held);
    if (current) sink(*current);
  }

  void StopHotLink(const std::string& item) override {
    if (!sinks_.erase(ToLower(item)) || !handle_ || ended_) return;
    heldNames_.erase(ToLower(item));
    OwnedString itemName(instance_, item);
    DWORD result = 0;
    // Asynchronous: nothing waits on a partner that may be gone.
    const HDDEDATA transaction =
        DdeClientTransaction(nullptr, 0, handle_, itemName.Get(), CF_TEXT, XTYP_ADVSTOP, TIMEOUT_ASYNC, &result);
    (void)transaction;
  }

  void Execute(std::string_view command) override {
    if (!Alive()) throw common::Failure(common::RunError::DdeNoChannel);
    DeliverWaitingDdeMessages();
    std::string text(command);
    if (!DdeClientTransaction(reinterpret_cast<LPBYTE>(text.data()), static_cast<DWORD>(text.size() + 1), handle_,
                              nullptr, 0, XTYP_EXECUTE, kExecuteTimeoutMs, nullptr))
      throw common::Failure(TransactionError(instance_));
  }

  /// A new value on a hot link of this conversation.
  void Deliver(const std::string& item, const std::string& value) {
    auto sink = sinks_.find(ToLower(item));
    if (sink == sinks_.end()) return;
    // The sink may end the link; it runs on a copy.
    auto run = sink->second;
    run(value);
  }
  bool HasItem(const std::string& item) const { return sinks_.count(ToLower(item)) != 0; }

  /// The partner ended the conversation; it is closed on this side outside the callback.
  void Ended() { ended_ = true; }

  HCONV Handle() const { return handle_; }
  DWORD Instance() const { return instance_; }
  const std::string& Topic() const { return topic_; }

 private:
  void End() {
    heldNames_.clear();
    if (handle_) DdeDisconnect(handle_);
    handle_ = nullptr;
    if (instance_) DdeUninitialize(instance_);
    instance_ = 0;
  }

  DWORD instance_;
  HCONV handle_;
  bool ended_ = false;
  std::string topic_;  // lower case
  std::map<std::string, std::function<void(const std::string&)>> sinks_;
  std::map<std::string, std::unique_ptr<OwnedString>> heldNames_;
};

Win32DdeClient::Win32DdeClient() {
  theClient = this;
  WNDCLASSEXA probeClass{};
  probeClass.cbSize = sizeof probeClass;
  probeClass.lpfnWndProc = ProbeWindowProc;
  probeClass.hInstance = GetModuleHandleA(nullptr);
  probeClass.lpszClassName = kProbeClass;
  RegisterClassExA(&probeClass);
  // A hidden top-level window, as a DDE client's is: servers answer it like any other.
  probe_ = CreateWindowExA(0, kProbeClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr),
                           nullptr);
}

Win32DdeClient::~Win32DdeClient() {
  if (probe_) DestroyWindow(probe_);
  conversations_.clear();
  if (spare_) DdeUninitialize(spare_);
  if (listener_) DdeUninitialize(listener_);
  if (theClient == this) theClient = nullptr;
}

DWORD Win32DdeClient::TakeInstance() {
  DWORD instance = spare_;
  spare_ = 0;
  if (!instance &&
      DdeInitializeA(&instance, Callback, APPCLASS_STANDARD | APPCMD_CLIENTONLY | CBF_SKIP_REGISTRATIONS |
                                              CBF_SKIP_UNREGISTRATIONS, 0) != DMLERR_NO_ERROR)
    throw common::Failure(common::RunError::DdeNoResponse);
  return instance;
}

LRESULT CALLBACK Win32DdeClient::ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DDE_ACK && theClient && theClient->probing_) {
    // A server answered the initiate: note it, release the atoms it sent, and end the
    // conversation it has just opened with us at once.
    theClient->probeAnswered_ = true;
    if (LOWORD(lParam)) GlobalDeleteAtom(LOWORD(lParam));
    if (HIWORD(lParam)) GlobalDeleteAtom(HIWORD(lParam));
    PostMessageA(reinterpret_cast<HWND>(wParam), WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
    return 0;
  }
  // The servers' answering terminates need nothing more.
  if (message == WM_DDE_ACK || message == WM_DDE_TERMINATE) return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

bool Win32DdeClient::AnyServerAnswers(const std::string& service, const std::string& topic) {
  if (!probe_) return true;  // no way to ask first: let DdeConnect find out
  std::vector<HWND> windows;
  EnumWindows(
      [](HWND window, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  const ATOM application = GlobalAddAtomA(service.c_str());
  const ATOM topicAtom = GlobalAddAtomA(topic.c_str());
  probing_ = true;
  probeAnswered_ = false;
  for (HWND window : windows) {
    if (window == probe_) continue;
    DWORD_PTR result = 0;
    // Not SMTO_BLOCK: a server answers with a sent message, which must get through.
    SendMessageTimeoutA(window, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(probe_), MAKELPARAM(application, topicAtom),
                        SMTO_ABORTIFHUNG, kProbeTimeoutMs, &result);
    if (probeAnswered_) break;
  }
  probing_ = false;
  GlobalDeleteAtom(application);
  GlobalDeleteAtom(topicAtom);
  return probeAnswered_;
}

std::shared_ptr<DdeConversation> Win32DdeClient::Connect(const std::string& service, const std::string& topic) {
  const std::string key = ToLower(service + "|" + topic);
  if (auto open = conversations_[key].lock(); open && open->Alive()) return open;
  if (!AnyServerAnswers(service, topic)) throw common::Failure(common::RunError::DdeNoResponse);

  const DWORD instance = TakeInstance();
  HCONV handle = nullptr;
  {
    OwnedString serviceName(instance, service);
    OwnedString topicName(instance, topic);
    handle = DdeConnect(instance, serviceName.Get(), topicName.Get(), nullptr);
  }
  if (!handle) {
    // Nothing was opened in it: the instance serves the next attempt.
    spare_ = instance;
    throw common::Failure(common::RunError::DdeNoResponse);
  }
  auto conversation = std::make_shared<Win32Conversation>(instance, handle, ToLower(topic));
  conversations_[key] = conversation;
  return conversation;
}

void Win32DdeClient::OnServiceRegistered(std::function<void(const std::string&)> listener) {
  if (!listener_ && DdeInitializeA(&listener_, Callback, APPCLASS_STANDARD | APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
    listener_ = 0;
    throw common::Failure(common::RunError::DdeNoResponse);
  }
  registered_.push_back(std::move(listener));
}

Win32Conversation* Win32DdeClient::Find(HCONV handle, HSZ topic, HSZ item) {
  Win32Conversation* byTopic = nullptr;
  for (auto& [key, weak] : conversations_) {
    auto conversation = weak.lock();
    if (!conversation || !conversation->Instance()) continue;
    if (conversation->Handle() == handle) return conversation.get();
    const DWORD instance = conversation->Instance();
    if (!byTopic && conversation->Topic() == ToLower(StringText(instance, topic)) &&
        conversation->HasItem(StringText(instance, item)))
      byTopic = conversation.get();
  }
  return byTopic;
}

HDDEDATA CALLBACK Win32DdeClient::Callback(UINT type, UINT, HCONV conversation, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                           ULONG_PTR, ULONG_PTR) {
  if (!theClient) return nullptr;
  try {
    return theClient->Handle(type, conversation, hsz1, hsz2, data);
  } catch (...) {
    return nullptr;
  }
}

HDDEDATA Win32DdeClient::Handle(UINT type, HCONV handle, HSZ hsz1, HSZ hsz2, HDDEDATA data) {
  switch (type) {
    case XTYP_ADVDATA: {
      // hsz1 is the topic, hsz2 the item; the data belongs to DDEML and is only read.
      Win32Conversation* conversation = Find(handle, hsz1, hsz2);
      if (!conversation || !data) return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
      conversation->Deliver(StringText(conversation->Instance(), hsz2), DataText(data));
      return reinterpret_cast<HDDEDATA>(DDE_FACK);
    }
    case XTYP_DISCONNECT:
      // The handle may not be the one DdeConnect gave; a conversation not found here is
      // found gone by its partner check instead.
      for (auto& [key, weak] : conversations_)
        if (auto conversation = weak.lock(); conversation && conversation->Handle() == handle) conversation->Ended();
      return nullptr;
    case XTYP_REGISTER: {
      // hsz1 is the base service name.
      const std::string service = StringText(listener_, hsz1);
      for (std::size_t i = 0; i < registered_.size(); ++i) registered_[i](service);
      return nullptr;
    }
    default:
      return nullptr;
  }
}

}  // namespace bridge::platform::win32
