// The program's DDE server on DDEML: topics, items, REQUEST, advise links and EXECUTE.
#include "base/Failure.h"
#include "base/Text.h"
#include "platform/win32/DdeHandles.h"
#include "platform/win32/Win32Platform.h"

namespace bridge::platform::win32 {
namespace {

// DDEML calls back without a context argument, so the one server of the process is found
// here. This is the only static state of the program.
Win32DdeServer* theServer = nullptr;

using base::ToLower;

}  // namespace

Win32DdeServer::Win32DdeServer(std::string serviceName) : serviceName_(std::move(serviceName)) {}

Win32DdeServer::~Win32DdeServer() {
  if (theServer == this) theServer = nullptr;
  // The name is unregistered and freed before its instance ends.
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
    DdeDisconnect(conversation);
  }
}

void Win32DdeServer::ItemChanged(const std::string& topic, const std::string& item) {
  if (!service_ || !Find(topic)) return;
  const DdeString topicName = DdeString::Owned(instance_.Id(), topic);
  const DdeString itemName = DdeString::Owned(instance_.Id(), item);
  if (topicName && itemName) DdePostAdvise(instance_.Id(), topicName.Get(), itemName.Get());
}

std::string Win32DdeServer::Text(HSZ hsz) const { return DdeString::Borrowed(instance_.Id(), hsz).Text(); }

TopicHandler* Win32DdeServer::Find(const std::string& topic) const {
  auto found = topics_.find(ToLower(topic));
  return found == topics_.end() ? nullptr : found->second;
}

HDDEDATA CALLBACK Win32DdeServer::Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                                           HDDEDATA data, ULONG_PTR, ULONG_PTR) {
  if (!theServer) return nullptr;
  try {
    return theServer->Handle(type, format, conversation, hsz1, hsz2, data);
  } catch (...) {
    // Nothing escapes into DDEML: a failed transaction is refused.
    return type == XTYP_EXECUTE ? reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED) : nullptr;
  }
}

HDDEDATA Win32DdeServer::Handle(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2, HDDEDATA data) {
  // For every transaction here hsz1 is the topic; hsz2 is the item (or the service on
  // connect). The data handle of an EXECUTE belongs to DDEML and is only read.
  switch (type) {
    case XTYP_CONNECT:
      return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(Find(Text(hsz1)) != nullptr));
    case XTYP_CONNECT_CONFIRM:
      conversations_[conversation] = ToLower(Text(hsz1));
      return nullptr;
    case XTYP_DISCONNECT:
      conversations_.erase(conversation);
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
      // The new handle passes to DDEML with the answer.
      return value ? DdeData::FromText(instance_.Id(), hsz2, *value).Release() : nullptr;
    }
    case XTYP_EXECUTE: {
      TopicHandler* handler = Find(Text(hsz1));
      if (!handler) return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
      const ExecuteAnswer answer = handler->OnExecute(DdeData::Borrowed(data).Text());
      return reinterpret_cast<HDDEDATA>(answer == ExecuteAnswer::Accept ? DDE_FACK : DDE_FNOTPROCESSED);
    }
    default:
      return nullptr;
  }
}

}  // namespace bridge::platform::win32
