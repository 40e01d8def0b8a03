// The benchmark client's DDEML instance.
#include "BenchDde.h"

#include <algorithm>

#include "../../src/platform/win32/DdeHandles.h"
#include "BenchClock.h"

namespace tools::bench {

using bridge::platform::win32::DdeData;
using bridge::platform::win32::DdeString;

BenchDde::BenchDde() {
  if (DdeInitializeA(&instance_, &BenchDde::Callback,
                     APPCMD_CLIENTONLY | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
                     0) != DMLERR_NO_ERROR) {
    instance_ = 0;
    return;
  }
  all_.push_back(this);
}

BenchDde::~BenchDde() {
  for (HCONV conversation : conversations_) DdeDisconnect(conversation);
  if (instance_ != 0) DdeUninitialize(instance_);
  all_.erase(std::remove(all_.begin(), all_.end(), this), all_.end());
}

HCONV BenchDde::Connect(const char* service, const char* topic) {
  if (instance_ == 0) return nullptr;
  DdeString hszService = DdeString::Owned(instance_, service);
  DdeString hszTopic = DdeString::Owned(instance_, topic);
  if (!hszService || !hszTopic) return nullptr;
  HCONV conversation = DdeConnect(instance_, hszService.Get(), hszTopic.Get(), nullptr);
  if (conversation != nullptr) conversations_.push_back(conversation);
  return conversation;
}

bool BenchDde::Execute(HCONV conversation, const std::string& command, DWORD timeoutMs) {
  DWORD result = 0;
  HDDEDATA answer = DdeClientTransaction(
      reinterpret_cast<LPBYTE>(const_cast<char*>(command.c_str())),
      static_cast<DWORD>(command.size() + 1), conversation, nullptr, CF_TEXT, XTYP_EXECUTE,
      timeoutMs, &result);
  return answer != nullptr && (result & DDE_FACK) != 0;
}

bool BenchDde::HotLink(HCONV conversation, const char* item, DWORD timeoutMs) {
  DdeString hszItem = DdeString::Owned(instance_, item);
  if (!hszItem) return false;
  return DdeClientTransaction(nullptr, 0, conversation, hszItem.Get(), CF_TEXT, XTYP_ADVSTART,
                              timeoutMs, nullptr) != nullptr;
}

std::string BenchDde::Request(HCONV conversation, const char* item, DWORD timeoutMs) {
  DdeString hszItem = DdeString::Owned(instance_, item);
  if (!hszItem) return "";
  HDDEDATA data = DdeClientTransaction(nullptr, 0, conversation, hszItem.Get(), CF_TEXT,
                                       XTYP_REQUEST, timeoutMs, nullptr);
  if (data == nullptr) return "";
  std::string text = DdeData::Borrowed(data).Text();
  DdeFreeDataHandle(data);
  return text;
}

BenchDde* BenchDde::OwnerOf(HCONV conversation) {
  for (BenchDde* dde : all_) {
    if (std::find(dde->conversations_.begin(), dde->conversations_.end(), conversation) !=
        dde->conversations_.end()) {
      return dde;
    }
  }
  return nullptr;
}

HDDEDATA CALLBACK BenchDde::Callback(UINT type, UINT /*format*/, HCONV conversation,
                                     HSZ /*hsz1*/, HSZ /*hsz2*/, HDDEDATA data,
                                     ULONG_PTR /*data1*/, ULONG_PTR /*data2*/) {
  if (type != XTYP_ADVDATA) return nullptr;
  // Stamped first: what follows is this program's own time.
  const long long ticks = Ticks();
  BenchDde* owner = OwnerOf(conversation);
  if (owner != nullptr) owner->arrivals_.push_back({ticks, DdeData::Borrowed(data).Text()});
  return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

}  // namespace tools::bench
