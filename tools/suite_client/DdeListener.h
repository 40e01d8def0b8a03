// The DDEML server of `listen`, standing in for the suite's sibling programs.
#pragma once

#include <windows.h>
#include <ddeml.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ClientSupport.h"

namespace tools::suite_client {

// Serves topic "DDEClient" under each given service name, as the siblings do for the
// bridge: accepts connects, hot links on "RequestDDEConnection" (whose value is empty) and
// every EXECUTE, and reports each as (name, "EVENT [DETAIL]"): CONNECT, ADVSTART ITEM,
// EXECUTE COMMAND, DISCONNECT. The end of a hot link and requests for its value pass
// quietly; what is refused (another item, a POKE) is reported with " REFUSED". Like
// DdeClient it is reached from DDEML's callback through a static; a process makes only one.
// With an initiate delay it answers each initiate for its names only after that long, as
// a sibling busy writing its log does: the sender's SendMessage really waits meanwhile.
// Holding executes, it reports each as EXECUTE COMMAND HELD and never answers it.
class DdeListener {
 public:
  using EventSink = std::function<void(const std::string& name, const std::string& event)>;

  explicit DdeListener(EventSink sink) : sink_(std::move(sink)) {}
  ~DdeListener() { Stop(); }

  DdeListener(const DdeListener&) = delete;
  DdeListener& operator=(const DdeListener&) = delete;

  void SetInitiateDelay(DWORD ms) { initiateDelayMs_ = ms; }
  // Each EXECUTE is taken and never answered (DDEML holds it, CBR_BLOCK): a sibling that
  // hung after it accepted the conversation.
  void SetHoldExecute(bool hold) { holdExecute_ = hold; }

  // Starts DDEML and registers every name; false (with a diagnostic) if any fails.
  bool Start(const std::vector<std::string>& names);

  // Unregisters the names and ends DDEML (which ends any conversation still open).
  void Stop();

 private:
  static constexpr const char* kTopic = "DDEClient";
  static constexpr const char* kItem = "RequestDDEConnection";

  struct Service {
    std::string name;
    HSZ handle;
  };

  static HDDEDATA Bool(bool value) { return reinterpret_cast<HDDEDATA>(value ? TRUE : FALSE); }

  static bool Same(HSZ a, HSZ b);

  const Service* ServiceFor(HSZ handle) const;

  std::string QueryString(HSZ hsz) const;

  // The name a conversation was opened under: noted at XTYP_CONNECT_CONFIRM, else asked of
  // DDEML (the handle seen later may differ from the confirmed one).
  std::string NameOf(HCONV conversation) const;

  void Report(HCONV conversation, const std::string& event) { sink_(NameOf(conversation), event); }

  HDDEDATA EmptyText() const;

  HDDEDATA OnTransaction(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                         HDDEDATA data);

  static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1,
                                    HSZ hsz2, HDDEDATA data, ULONG_PTR /*data1*/,
                                    ULONG_PTR /*data2*/);

  static inline DdeListener* current_ = nullptr;

  SentMessageUnblocker unblocker_;  // first member: lives until DDEML has ended
  EventSink sink_;
  DWORD instance_ = 0;
  HSZ topic_ = nullptr;
  HSZ item_ = nullptr;
  std::vector<Service> services_;
  std::map<HCONV, std::string> conversations_;
  DWORD initiateDelayMs_ = 0;
  bool holdExecute_ = false;
};

}  // namespace tools::suite_client
