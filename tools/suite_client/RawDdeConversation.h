// The DDE message protocol spoken from a hidden window, without DDEML, as the suite's
// forms programs talk: request, execute and watch with --raw, and burst.
#pragma once

#include <windows.h>
#include <dde.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ClientSupport.h"

namespace tools::suite_client {

// One conversation over the DDE message protocol itself, spoken from a hidden window of
// this program the way the suite's forms programs talk: no DDEML on this side. It offers
// the same calls as DdeClient so the commands can use either.
//
// Who owns what after each message:
//   - the atoms of our WM_DDE_INITIATE stay ours (deleted once the broadcast returns); the
//     atoms in a server's WM_DDE_ACK answer to it are ours to delete;
//   - the item atom of WM_DDE_REQUEST, ADVISE and UNADVISE passes to the server once
//     posted; the item atom in its WM_DDE_ACK or WM_DDE_DATA is ours: reused in our ACK,
//     deleted otherwise (but not the one in the ACK Wine's server follows a REQUEST's data
//     with: that is the data's atom again);
//   - the command block of WM_DDE_EXECUTE stays ours and is freed when the ACK brings it
//     back; the DDEADVISE block of WM_DDE_ADVISE passes to the server on a positive ACK and
//     stays ours on a negative one;
//   - a DDEDATA block is ours to free when fRelease is set, unless we answered NACK;
//   - a packed lParam is freed by its receiver with FreeDDElParam, or by its sender when
//     PostMessage fails.
// One transaction is outstanding at a time, so an ACK answers the transaction we wait for.
class RawDdeConversation {
 public:
  using AdviseHandler = std::function<void(const std::string& item, const std::string& value)>;

  RawDdeConversation();

  ~RawDdeConversation();

  RawDdeConversation(const RawDdeConversation&) = delete;
  RawDdeConversation& operator=(const RawDdeConversation&) = delete;

  bool ready() const { return window_ != nullptr; }
  std::string ErrorDetail() const { return problem_; }

  // Broadcasts WM_DDE_INITIATE and keeps the first server that acknowledges; any other
  // that answers too is told goodbye at once.
  bool Connect(const std::string& service, const std::string& topic);

  // WM_DDE_REQUEST for CF_TEXT, answered by WM_DDE_DATA (or a negative WM_DDE_ACK).
  std::optional<std::string> Request(const std::string& item, DWORD timeoutMs,
                                     TransactionResult& result);

  // WM_DDE_EXECUTE with the command text in a global block (NUL included).
  TransactionResult Execute(const std::string& command, DWORD timeoutMs);

  // Posts the EXECUTE without waiting; `Answer` waits for its acknowledgement later.
  bool PostExecute(const std::string& command);

  // The answer to the EXECUTE that `PostExecute` sent.
  TransactionResult Answer(DWORD timeoutMs) { return WaitForAnswer(timeoutMs); }

  // WM_DDE_ADVISE for a hot link (fDeferUpd 0) that wants every WM_DDE_DATA acknowledged.
  TransactionResult StartHotAdvise(const std::string& item, DWORD timeoutMs);

  void StopAdvise(const std::string& item, DWORD timeoutMs);

  void SetAdviseHandler(AdviseHandler handler) { adviseHandler_ = std::move(handler); }

  // Whether the server is still there: it has not sent WM_DDE_TERMINATE and its window
  // lives (a server that dies sends nothing).
  bool PartnerAlive() const;

  // Posts WM_DDE_TERMINATE (once) and waits up to `waitMs` for the partner's own.
  void Terminate(DWORD waitMs);

 private:
  static constexpr const char* kClassName = "SuiteClientRawDde";
  static constexpr UINT kInitiateTimeoutMs = 2000;  // per window of the broadcast
  static constexpr DWORD kTerminateWaitMs = 500;
  static constexpr WORD kAckBit = 0x8000;   // DDEACK.fAck
  static constexpr WORD kBusyBit = 0x4000;  // DDEACK.fBusy

  enum class Awaiting { Nothing, Data, AdviseAck, UnadviseAck, ExecuteAck };

  // The transaction waiting for its answer.
  struct Pending {
    Awaiting what = Awaiting::Nothing;
    std::string item;
    HGLOBAL memory = nullptr;  // EXECUTE's command block or ADVISE's options, while ours
    bool answered = false;
    TransactionResult result = TransactionResult::Failed;
    std::string value;  // the text of a REQUEST's WM_DDE_DATA
    bool valueIn = false;
    ULONGLONG valueAt = 0;  // GetTickCount64 when it came
  };

  // What a DDEDATA block says.
  struct DataBlock {
    bool valid = false;
    bool response = false;
    bool release = false;
    bool ackRequested = false;
    UINT format = 0;
    std::string text;
  };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  static std::string AtomName(ATOM atom);

  // Atoms are 0xC000..0xFFFF; memory handles are never that small.
  static bool IsAtom(UINT_PTR value) { return value != 0 && value <= 0xFFFF; }

  static DataBlock ReadDataBlock(HGLOBAL block);

  void Begin(Awaiting what, const std::string& item, HGLOBAL memory);

  // Gives up the transaction before anything was posted (problem_ tells why).
  TransactionResult Abandon();

  ATOM AddAtom(const std::string& text);

  bool Post(UINT message, LPARAM lParam);

  TransactionResult WaitForAnswer(DWORD timeoutMs);

  void OnAck(HWND from, LPARAM lParam);

  void OnData(HWND from, LPARAM lParam);

  void OnTerminate(HWND from);

  HWND window_ = nullptr;
  HWND partner_ = nullptr;
  // Wine's DDEML server follows a REQUEST's data with a positive ACK of the REQUEST: the
  // request waits for that ACK (up to kTrailingAckWaitMs), so that it cannot pass for the
  // answer to the next transaction.
  static constexpr ULONGLONG kTrailingAckWaitMs = 1000;
  const bool serverAcksRequests_ = RunsUnderWine();
  bool initiating_ = false;
  bool terminateSent_ = false;
  bool partnerTerminated_ = false;
  Pending pending_;
  std::vector<HGLOBAL> lateCommands_;
  AdviseHandler adviseHandler_;
  std::string problem_;
};

}  // namespace tools::suite_client
