// The simulator's DDEML server: HRD_RADIO_000|HRD_CAT with the radio's items as CF_TEXT,
// REQUEST, hot and warm advise loops, and EXECUTEs acknowledged, refused or stalled.
#pragma once

#include <windows.h>
#include <ddeml.h>

#include <atomic>
#include <deque>
#include <map>
#include <string>

#include "../../src/platform/win32/DdeHandles.h"
#include "RadioModel.h"
#include "SimLog.h"
#include "SimOptions.h"
#include "SimStamps.h"

namespace tools::hrd_sim {

using bridge::platform::win32::DdeString;

/// Posted to the host window by a REQUEST's answer that is to be followed by a change:
/// lParam is a heap std::pair<std::string, std::string>* (item, value); the receiver deletes it.
constexpr UINT kMsgChangeItem = WM_APP + 3;

/// Window timers from here on belong to held EXECUTEs, one each.
constexpr UINT_PTR kFirstStallTimerId = 1000;

/// An EXECUTE answered with CBR_BLOCK, waiting for its stall or its turn.
struct HeldExecute {
  UINT_PTR timerId = 0;
  DWORD ms = 0;                     // the stall it was given; 0 when only waiting its turn
  bool refuse = false;              // answer NACK once released
  bool due = false;                 // its timer ran out
  bool released = false;            // handed back to DDEML; the next EXECUTE here is this one
};

/// Serves HRD_RADIO_000|HRD_CAT from `radio`, logging every transaction. DDEML calls back on
/// the thread that initialized it, through one static pointer (its callback carries no user
/// data); a process runs one server.
class DdeServer {
 public:
  DdeServer(Log& log, Stamps& stamps, HWND timerWindow, Radio& radio);
  ~DdeServer() { Stop(); }
  DdeServer(const DdeServer&) = delete;
  DdeServer& operator=(const DdeServer&) = delete;

  static DdeServer* Current() { return current_; }
  HWND host() const { return timerWindow_; }

  /// How long each connect waits before it is accepted; set before Start.
  void SetConnectDelay(const ConnectDelay& delay) { connectDelay_ = delay; }
  /// DdeInitialize, the name handles, DdeNameService; returns an ExitCode, logging a failure.
  int Start();
  /// Unregisters the service, ends all conversations and DDEML. Safe to call twice.
  void Stop();
  /// Changes an item (creating it if new) and tells the advise loops on it.
  void SetItem(const std::string& item, const std::string& value);
  /// SetItem without a log line: for sweeps, so the log is not what is measured.
  void SetItemQuietly(const std::string& item, const std::string& value);
  /// A window timer ran out; those of held EXECUTEs are ours.
  void OnTimer(UINT_PTR timerId);

 private:
  static HDDEDATA Flag(ULONG_PTR value) { return reinterpret_cast<HDDEDATA>(value); }
  UINT LastError() const { return instance_ != 0 ? DdeGetLastError(instance_) : 0; }

  void Announce(const Change& change, bool logIt = true);
  bool HoldItemName(const std::string& name);
  std::string NameOf(HSZ hsz) const;
  bool IsOurs(HSZ topic, HSZ service) const;
  HDDEDATA TextData(HSZ item, const std::string& text) const;
  const std::string* FindItem(HSZ hszItem) const;

  HDDEDATA OnConnect(HSZ topic, HSZ service);
  HDDEDATA OnWildConnect(HSZ topic, HSZ service);
  HDDEDATA OnRequest(UINT format, HSZ hszItem);
  void ChangeAfterAnswer(const std::string& item);
  HDDEDATA OnAdviseStart(UINT format, HSZ hszItem);
  HDDEDATA OnAdviseRequest(UINT format, HSZ hszItem);
  HDDEDATA OnExecute(HCONV conversation, HDDEDATA data);
  HDDEDATA Hold(HCONV conversation, const std::string& text);
  void ReleaseDue(HCONV conversation);
  void DropHeld(HCONV conversation, const char* why);
  void Apply(const std::string& command);

  HDDEDATA Dispatch(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                    HDDEDATA data);
  static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1,
                                    HSZ hsz2, HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);

  // Atomic because the console event handler reads it from a thread of its own.
  static inline std::atomic<DdeServer*> current_ = nullptr;

  Log& log_;
  Stamps& stamps_;
  HWND timerWindow_;
  Radio& radio_;
  ConnectDelay connectDelay_;
  DWORD instance_ = 0;
  DdeString service_;
  DdeString topic_;
  std::map<std::string, DdeString, LessNoCase> itemNames_;
  bool registered_ = false;
  std::map<HCONV, std::deque<HeldExecute>> held_;  // per conversation, in DDEML's order
  std::map<UINT_PTR, HCONV> timers_;               // timer of each held EXECUTE
  UINT_PTR nextTimerId_ = kFirstStallTimerId;
};

}  // namespace tools::hrd_sim
