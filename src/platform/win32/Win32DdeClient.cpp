// The program's DDE client on DDEML: shared conversations, hot links and EXECUTEs.
//
// A conversation is opened with DdeConnect and shared by every link to the same service
// and topic (Wine's DDEML allows one conversation per service and topic in an instance).
// Each link adds its own advise loop on its item. A conversation is taken for gone when
// DDEML reports its end, or when its partner window no longer exists: a partner that
// crashed sends no terminate, and the conversation handle would otherwise look alive for
// ever. The handle is then disconnected and dropped; the next connect opens a new one.
#include <optional>

#include "common/ErrorTrap.h"
#include "common/Text.h"
#include "platform/win32/DdeHandles.h"
#include "platform/win32/Win32Platform.h"

namespace bridge::platform::win32 {
namespace {

// DDEML calls back without a context argument, so the one client of the process is found here.
Win32DdeClient* theClient = nullptr;

// Time-outs of the synchronous transactions. A hot link's start and first value come from
// a program on the same machine within milliseconds; an EXECUTE may make the other program
// act (HRD tunes the radio), so it gets the classic forms runtime's five seconds.
constexpr DWORD kLinkTimeoutMs = 2000;
constexpr DWORD kExecuteTimeoutMs = 5000;

using common::ToLower;

/// Delivers the DDE messages already waiting for this thread. Wine's DDEML leaves the
/// acknowledgement of a hot link's start in the queue after the transaction has returned;
/// the next synchronous transaction on the conversation would take it for its own answer
/// and fail. Only DDE messages are delivered here.
void DeliverWaitingDdeMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, WM_DDE_FIRST, WM_DDE_LAST, PM_REMOVE)) DispatchMessageA(&message);
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
  Win32Conversation(Win32DdeClient& client, HCONV handle, std::string topic)
      : client_(client), handle_(handle), topic_(std::move(topic)) {}
  ~Win32Conversation() override { End(); }

  bool Alive() override {
    if (!handle_) return false;
    CONVINFO info{};
    info.cb = sizeof info;
    if (!DdeQueryConvInfo(handle_, QID_SYNC, &info) || !(info.wStatus & ST_CONNECTED) ||
        !IsWindow(info.hwndPartner)) {
      End();
      return false;
    }
    return true;
  }

  void StartHotLink(const std::string& item, std::function<void(const std::string&)> sink) override {
    if (!Alive()) throw common::Failure(common::RunError::DdeNoChannel);
    OwnedString itemName(client_.instance_, item);
    // The advise loop brings only later changes: the current value is asked for first.
    DeliverWaitingDdeMessages();
    std::optional<std::string> current;
    if (HDDEDATA data = DdeClientTransaction(nullptr, 0, handle_, itemName.Get(), CF_TEXT, XTYP_REQUEST,
                                             kLinkTimeoutMs, nullptr)) {
      current = DataText(data);
      DdeFreeDataHandle(data);
    }
    DeliverWaitingDdeMessages();
    if (!DdeClientTransaction(nullptr, 0, handle_, itemName.Get(), CF_TEXT, XTYP_ADVSTART, kLinkTimeoutMs, nullptr))
      throw common::Failure(TransactionError(client_.instance_));
    sinks_[ToLower(item)] = sink;
    if (current) sink(*current);
  }

  void StopHotLink(const std::string& item) override {
    if (!sinks_.erase(ToLower(item)) || !handle_) return;
    OwnedString itemName(client_.instance_, item);
    DWORD result = 0;
    // Asynchronous: nothing waits on a partner that may be gone.
    const HDDEDATA transaction = DdeClientTransaction(nullptr, 0, handle_, itemName.Get(), CF_TEXT,
                                                      XTYP_ADVSTOP, TIMEOUT_ASYNC, &result);
    (void)transaction;
  }

  void Execute(std::string_view command) override {
    if (!Alive()) throw common::Failure(common::RunError::DdeNoChannel);
    DeliverWaitingDdeMessages();
    std::string text(command);
    if (!DdeClientTransaction(reinterpret_cast<LPBYTE>(text.data()), static_cast<DWORD>(text.size() + 1), handle_,
                              nullptr, 0, XTYP_EXECUTE, kExecuteTimeoutMs, nullptr))
      throw common::Failure(TransactionError(client_.instance_));
  }

  /// A new value on a hot link of this conversation.
  bool Deliver(const std::string& item, const std::string& value) {
    auto sink = sinks_.find(ToLower(item));
    if (sink == sinks_.end()) return false;
    // The sink may end the link; it runs on a copy.
    auto run = sink->second;
    run(value);
    return true;
  }
  bool HasItem(const std::string& item) const { return sinks_.count(ToLower(item)) != 0; }

  /// The partner ended the conversation.
  void Ended() { handle_ = nullptr; }

  HCONV Handle() const { return handle_; }
  const std::string& Topic() const { return topic_; }

 private:
  void End() {
    if (!handle_) return;
    HCONV handle = handle_;
    handle_ = nullptr;
    DdeDisconnect(handle);
  }

  Win32DdeClient& client_;
  HCONV handle_;
  std::string topic_;  // lower case
  std::map<std::string, std::function<void(const std::string&)>> sinks_;
};

Win32DdeClient::Win32DdeClient() = default;

Win32DdeClient::~Win32DdeClient() {
  conversations_.clear();
  if (instance_) DdeUninitialize(instance_);
  if (theClient == this) theClient = nullptr;
}

void Win32DdeClient::EnsureStarted() {
  if (instance_) return;
  theClient = this;
  if (DdeInitializeA(&instance_, Callback, APPCLASS_STANDARD | APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
    instance_ = 0;
    throw common::Failure(common::RunError::DdeNoResponse);
  }
}

std::shared_ptr<DdeConversation> Win32DdeClient::Connect(const std::string& service, const std::string& topic) {
  EnsureStarted();
  const std::string key = ToLower(service + "|" + topic);
  if (auto open = conversations_[key].lock(); open && open->Alive()) return open;

  OwnedString serviceName(instance_, service);
  OwnedString topicName(instance_, topic);
  HCONV handle = DdeConnect(instance_, serviceName.Get(), topicName.Get(), nullptr);
  if (!handle) throw common::Failure(common::RunError::DdeNoResponse);
  auto conversation = std::make_shared<Win32Conversation>(*this, handle, ToLower(topic));
  conversations_[key] = conversation;
  return conversation;
}

void Win32DdeClient::OnServiceRegistered(std::function<void(const std::string&)> listener) {
  EnsureStarted();
  registered_.push_back(std::move(listener));
}

std::string Win32DdeClient::Text(HSZ hsz) const { return StringText(instance_, hsz); }

Win32Conversation* Win32DdeClient::Find(HCONV handle, const std::string& topic, const std::string& item) {
  Win32Conversation* byTopic = nullptr;
  for (auto& [key, weak] : conversations_) {
    auto conversation = weak.lock();
    if (!conversation) continue;
    if (conversation->Handle() == handle) return conversation.get();
    if (!byTopic && conversation->Topic() == ToLower(topic) && conversation->HasItem(item)) byTopic = conversation.get();
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
      Win32Conversation* conversation = Find(handle, Text(hsz1), Text(hsz2));
      if (!conversation || !data) return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
      conversation->Deliver(Text(hsz2), DataText(data));
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
      const std::string service = Text(hsz1);
      for (std::size_t i = 0; i < registered_.size(); ++i) registered_[i](service);
      return nullptr;
    }
    default:
      return nullptr;
  }
}

}  // namespace bridge::platform::win32
