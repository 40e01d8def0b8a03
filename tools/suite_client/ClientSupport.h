// What the suite client's parts share: exit codes, output, argument helpers, the clock of
// `listen`, the message pump, and the thread that keeps DDEML's waits from hanging.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "../common/ToolText.h"

namespace tools::suite_client {

using tools::OneLine;

enum ExitCode : int {
  kOk = 0,
  kUsage = 1,
  kNoConnect = 2,       // DdeConnect failed: nobody serves that service and topic
  kRefused = 3,         // the transaction failed: request refused, EXECUTE answered NACK
  kWindowNotFound = 4,  // no top-level window / control with that text
  kTimeout = 5,         // the partner did not answer in time
  kFailure = 6,         // anything else: DDEML would not start, the link died, ...
};

// How long a DDE transaction waits for its answer unless told otherwise: longer than the
// bridge's own 5 s wait for HRD, which a command queued behind a stalled one sits out
// first, and generous besides, since a loaded machine can hold a Wine program up for seconds.
constexpr DWORD kDefaultTimeoutMs = 15000;
// How long a window is given to answer a message the tool sends it (its text, an edit):
// generous, since a loaded machine can hold a Wine program up for seconds.
constexpr UINT kWindowTextTimeoutMs = 10000;

/// Prints one line on stdout and flushes it, so a reading script sees it at once.
void PrintLine(std::string_view text);
/// Prints "suite_client: " and the formatted text on stderr.
void PrintError(const char* format, ...);
/// The reverse of OneLine for typed characters: \r \n \t \\ become the control characters.
std::string Unescape(std::string_view text);
/// A decimal number without sign, or nullopt.
std::optional<DWORD> ParseUnsigned(const char* text);

/// Starts the clock of MillisSinceStart; main calls it first.
void StartClock();
/// Milliseconds since StartClock, for the time stamps of `listen`.
long long MillisSinceStart();

/// Dispatches window messages (DDE and DDEML ones among them) until `deadline`
/// (GetTickCount64 time) or until `stop` says so.
void PumpMessagesUntil(ULONGLONG deadline, const std::function<bool()>& stop);

/// Starts a thread that reads stdin, when it is a pipe, until a line "quit"; wakes the
/// calling thread's message loop then. A terminal, /dev/null or a file is not read.
void WatchStdinForQuit();
/// Whether that line has come.
bool QuitRequested();

enum class TransactionResult { Ok, Refused, Timeout, Failed };

/// Whether this program runs under Wine, whose DDEML servers say more than Windows' do.
bool RunsUnderWine();

// Under Wine, DDEML's synchronous calls (a transaction with a time-out, DdeDisconnect,
// DdeUninitialize) wake only for posted messages while they wait and leave messages sent
// to this thread unhandled. A partner that sends us one at that moment blocks until our
// wait times out, and our wait does too when that partner is the one we wait for: every
// DdeConnect broadcasts WM_DDE_INITIATE to all top-level windows (ours too), and the
// bridge retries its HRD links each second. So while DDEML runs here, a thread of ours
// posts WM_NULL to this thread every few milliseconds: that wakes such a wait, and the
// PeekMessage it then calls handles the sent message.
class SentMessageUnblocker {
 public:
  SentMessageUnblocker();

  ~SentMessageUnblocker();

  SentMessageUnblocker(const SentMessageUnblocker&) = delete;
  SentMessageUnblocker& operator=(const SentMessageUnblocker&) = delete;

 private:
  static constexpr DWORD kIntervalMs = 20;

  static DWORD WINAPI Run(void* param);

  DWORD target_;
  HANDLE stop_ = nullptr;
  HANDLE thread_ = nullptr;
};

}  // namespace tools::suite_client
