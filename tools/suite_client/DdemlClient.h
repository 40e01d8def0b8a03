// The DDEML client of request, execute and watch: one instance, one conversation, hot
// advise loops, and the DDEML errors told apart as refused, timed out or failed.
#pragma once

#include <windows.h>
#include <ddeml.h>

#include <functional>
#include <optional>
#include <string>

#include "../../src/platform/win32/DdeHandles.h"
#include "ClientSupport.h"

namespace tools::suite_client {

using bridge::platform::win32::DdeData;
using bridge::platform::win32::DdeString;

/// The CF_TEXT contents of a data handle, up to the first NUL. Does not free the handle.
std::string TextOf(HDDEDATA data);

/// What a failed transaction's DDEML error means for the exit code.
TransactionResult ClassifyDdeError(UINT error);

// One DDEML client instance with at most one conversation. DDEML's callback carries no user
// pointer, so the live client is reached through a static; a process makes only one.
class DdeClient {
 public:
  using AdviseHandler = std::function<void(const std::string& item, const std::string& value)>;

  DdeClient();

  ~DdeClient();

  DdeClient(const DdeClient&) = delete;
  DdeClient& operator=(const DdeClient&) = delete;

  bool ready() const { return instance_ != 0; }

  // What went wrong with the last failed call, for a diagnostic.
  std::string ErrorDetail() const;

  bool Connect(const std::string& service, const std::string& topic);

  void Disconnect();

  // XTYP_REQUEST for CF_TEXT. nullopt on failure, with `result` telling why.
  std::optional<std::string> Request(const std::string& item, DWORD timeoutMs,
                                     TransactionResult& result);

  // XTYP_EXECUTE with the command text (NUL included, as ANSI partners expect).
  TransactionResult Execute(const std::string& command, DWORD timeoutMs);

  // Starts a hot advise loop (data with every change) on `item`.
  TransactionResult StartHotAdvise(const std::string& item, DWORD timeoutMs);

  void StopAdvise(const std::string& item, DWORD timeoutMs);

  void SetAdviseHandler(AdviseHandler handler) { adviseHandler_ = std::move(handler); }

  // Whether the server is still there. A server that dies without ending the conversation
  // sends no XTYP_DISCONNECT under Wine, so look at its conversation window as well.
  bool PartnerAlive() const;

 private:
  // Lets DDEML's windows take the messages already queued. Under Wine a DDEML server follows
  // the data answering a REQUEST with a positive ACK, which the next transaction on the
  // conversation would take for its own answer and fail.
  static void DeliverWaitingMessages();

  // One XTYP_REQUEST; a null handle when it failed.
  HDDEDATA RequestOnce(HSZ item, DWORD timeoutMs);

  // DdeGetLastError clears the error as it reads it: keep it for ErrorDetail.
  TransactionResult Failure();

  std::string QueryString(HSZ hsz) const;

  HDDEDATA OnAdviseData(HSZ item, HDDEDATA data);

  static HDDEDATA CALLBACK Callback(UINT type, UINT /*format*/, HCONV /*conv*/, HSZ /*hsz1*/,
                                    HSZ hsz2, HDDEDATA data, ULONG_PTR /*data1*/,
                                    ULONG_PTR /*data2*/);

  static inline DdeClient* current_ = nullptr;

  bool requested_ = false;  // a REQUEST of this conversation has had its data

  SentMessageUnblocker unblocker_;  // first member: lives until DDEML has ended
  DWORD instance_ = 0;
  HCONV conversation_ = nullptr;
  bool disconnected_ = false;
  UINT lastError_ = DMLERR_NO_ERROR;
  AdviseHandler adviseHandler_;
};

}  // namespace tools::suite_client
