// The DDEML client.
#include "DdemlClient.h"

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace tools::suite_client {

std::string TextOf(HDDEDATA data) { return DdeData::Borrowed(data).Text(); }

TransactionResult ClassifyDdeError(UINT error) {
  switch (error) {
    case DMLERR_NOTPROCESSED: return TransactionResult::Refused;
    case DMLERR_BUSY: return TransactionResult::Refused;
    case DMLERR_ADVACKTIMEOUT:
    case DMLERR_DATAACKTIMEOUT:
    case DMLERR_EXECACKTIMEOUT:
    case DMLERR_POKEACKTIMEOUT:
    case DMLERR_UNADVACKTIMEOUT: return TransactionResult::Timeout;
    default: return TransactionResult::Failed;
  }
}

DdeClient::DdeClient() {
  if (current_ != nullptr) return;  // one per process
  UINT rc = DdeInitializeA(&instance_, &DdeClient::Callback,
                           APPCMD_CLIENTONLY | CBF_SKIP_REGISTRATIONS |
                               CBF_SKIP_UNREGISTRATIONS,
                           0);
  if (rc != DMLERR_NO_ERROR) {
    PrintError("DdeInitializeA failed (DMLERR 0x%x)", rc);
    instance_ = 0;
    return;
  }
  current_ = this;
}

DdeClient::~DdeClient() {
  Disconnect();
  if (instance_ != 0) DdeUninitialize(instance_);
  if (current_ == this) current_ = nullptr;
}

std::string DdeClient::ErrorDetail() const {
  char text[32];
  std::snprintf(text, sizeof(text), "DMLERR 0x%x", lastError_);
  return text;
}

bool DdeClient::Connect(const std::string& service, const std::string& topic) {
  DdeString hszService = DdeString::Owned(instance_, service);
  DdeString hszTopic = DdeString::Owned(instance_, topic);
  if (!hszService || !hszTopic) return false;
  conversation_ = DdeConnect(instance_, hszService.Get(), hszTopic.Get(), nullptr);
  disconnected_ = false;
  if (conversation_ == nullptr) lastError_ = DdeGetLastError(instance_);
  return conversation_ != nullptr;
}

void DdeClient::Disconnect() {
  if (conversation_ != nullptr) {
    DdeDisconnect(conversation_);
    conversation_ = nullptr;
  }
}

void DdeClient::DeliverWaitingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

HDDEDATA DdeClient::RequestOnce(HSZ item, DWORD timeoutMs) {
  DeliverWaitingMessages();
  DWORD status = 0;
  return DdeClientTransaction(nullptr, 0, conversation_, item, CF_TEXT, XTYP_REQUEST, timeoutMs, &status);
}

std::optional<std::string> DdeClient::Request(const std::string& item, DWORD timeoutMs,
                                   TransactionResult& result) {
  DdeString hszItem = DdeString::Owned(instance_, item);
  DdeData data = DdeData::Owned(RequestOnce(hszItem.Get(), timeoutMs));
  UINT error = data.Get() != nullptr ? DMLERR_NO_ERROR : DdeGetLastError(instance_);
  // The ACK that Wine's server sends after an earlier REQUEST's data may come only once
  // this REQUEST waits, and pass for its refusal. Then the data answering it comes late:
  // let both go by, and ask again (a REQUEST changes nothing). Seen in about half of the
  // runs of nine requests on a busy machine.
  for (int retry = 0; error == DMLERR_NOTPROCESSED && requested_ && retry < 3; ++retry) {
    PumpMessagesUntil(GetTickCount64() + 50, [] { return false; });
    data = DdeData::Owned(RequestOnce(hszItem.Get(), timeoutMs));
    error = data.Get() != nullptr ? DMLERR_NO_ERROR : DdeGetLastError(instance_);
  }
  if (data.Get() == nullptr) {
    lastError_ = error;
    result = ClassifyDdeError(error);
    return std::nullopt;
  }
  requested_ = true;
  result = TransactionResult::Ok;
  return data.Text();
}

TransactionResult DdeClient::Execute(const std::string& command, DWORD timeoutMs) {
  DeliverWaitingMessages();
  std::vector<BYTE> bytes(command.begin(), command.end());
  bytes.push_back(0);
  DWORD status = 0;
  // A successful synchronous EXECUTE returns TRUE, not a data handle: nothing to free.
  HDDEDATA ok = DdeClientTransaction(bytes.data(), static_cast<DWORD>(bytes.size()),
                                     conversation_, nullptr, CF_TEXT, XTYP_EXECUTE,
                                     timeoutMs, &status);
  return ok != nullptr ? TransactionResult::Ok : Failure();
}

TransactionResult DdeClient::StartHotAdvise(const std::string& item, DWORD timeoutMs) {
  DeliverWaitingMessages();
  DdeString hszItem = DdeString::Owned(instance_, item);
  DWORD status = 0;
  HDDEDATA ok = DdeClientTransaction(nullptr, 0, conversation_, hszItem.Get(), CF_TEXT,
                                     XTYP_ADVSTART, timeoutMs, &status);
  return ok != nullptr ? TransactionResult::Ok : Failure();
}

void DdeClient::StopAdvise(const std::string& item, DWORD timeoutMs) {
  if (!PartnerAlive()) return;
  DdeString hszItem = DdeString::Owned(instance_, item);
  DWORD status = 0;
  DdeClientTransaction(nullptr, 0, conversation_, hszItem.Get(), CF_TEXT, XTYP_ADVSTOP,
                       timeoutMs, &status);
}

bool DdeClient::PartnerAlive() const {
  if (conversation_ == nullptr || disconnected_) return false;
  CONVINFO info{};
  info.cb = sizeof(info);
  if (DdeQueryConvInfo(conversation_, QID_SYNC, &info) == 0) return false;
  if ((info.wStatus & ST_CONNECTED) == 0) return false;
  return info.hwndPartner == nullptr || IsWindow(info.hwndPartner);
}

TransactionResult DdeClient::Failure() {
  lastError_ = DdeGetLastError(instance_);
  return ClassifyDdeError(lastError_);
}

std::string DdeClient::QueryString(HSZ hsz) const {
  char buffer[256] = {};
  DdeQueryStringA(instance_, hsz, buffer, sizeof(buffer), CP_WINANSI);
  return buffer;
}

HDDEDATA DdeClient::OnAdviseData(HSZ item, HDDEDATA data) {
  // `data` is lent by DDEML for the length of this call: read it, never free it.
  if (adviseHandler_) adviseHandler_(QueryString(item), TextOf(data));
  return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

HDDEDATA CALLBACK DdeClient::Callback(UINT type, UINT /*format*/, HCONV /*conv*/, HSZ /*hsz1*/,
                                  HSZ hsz2, HDDEDATA data, ULONG_PTR /*data1*/,
                                  ULONG_PTR /*data2*/) {
  DdeClient* self = current_;
  if (self == nullptr) return nullptr;
  switch (type) {
    case XTYP_ADVDATA:
      return self->OnAdviseData(hsz2, data);
    case XTYP_DISCONNECT:
      // The handle passed here may differ from ours under Wine; with one conversation
      // per instance any disconnect is ours.
      self->disconnected_ = true;
      return nullptr;
    default:
      return nullptr;
  }
}

}  // namespace tools::suite_client
