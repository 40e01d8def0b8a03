// suite_client: stands in for the sibling programs of the radio suite that talk to the
// bridge. As a client it speaks DDEML through the ANSI entry points, or with --raw the DDE
// message protocol itself from a hidden window (as the suite's forms programs do); as
// `listen` it serves topic DDEClient under the siblings' names to record what the bridge
// tells them. It also pokes at the bridge's window from outside, so scripts can drive and
// examine the bridge.
//
// Output is meant for bash: values on stdout, one per line, diagnostics on stderr, and the
// exit code tells what went wrong (see ExitCode). Run without arguments for the usage text.

#include <windows.h>
#include <dde.h>
#include <ddeml.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../common/ToolText.h"

namespace {

// ---------------------------------------------------------------------------------------
// Exit codes and small helpers
// ---------------------------------------------------------------------------------------

enum ExitCode : int {
  kOk = 0,
  kUsage = 1,
  kNoConnect = 2,       // DdeConnect failed: nobody serves that service and topic
  kRefused = 3,         // the transaction failed: request refused, EXECUTE answered NACK
  kWindowNotFound = 4,  // no top-level window / control with that text
  kTimeout = 5,         // the partner did not answer in time
  kFailure = 6,         // anything else: DDEML would not start, the link died, ...
};

constexpr DWORD kDefaultTimeoutMs = 5000;
constexpr UINT kWindowTextTimeoutMs = 2000;

// Prints one line on stdout and flushes it, so a reading script sees it at once.
void PrintLine(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void PrintError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::fputs("suite_client: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  va_end(args);
}

using tools::OneLine;

// The reverse for typed characters: \r \n \t \\ become the control characters.
std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      switch (text[i + 1]) {
        case 'r': out += '\r'; ++i; continue;
        case 'n': out += '\n'; ++i; continue;
        case 't': out += '\t'; ++i; continue;
        case '\\': out += '\\'; ++i; continue;
        default: break;
      }
    }
    out += text[i];
  }
  return out;
}

std::optional<DWORD> ParseUnsigned(const char* text) {
  if (text == nullptr || *text == '\0') return std::nullopt;
  char* end = nullptr;
  unsigned long value = std::strtoul(text, &end, 10);
  if (*end != '\0' || text[0] == '-') return std::nullopt;
  return static_cast<DWORD>(value);
}

// Milliseconds since main() started, for the time stamps of `listen`.
LARGE_INTEGER clockStart{};
LARGE_INTEGER clockFrequency{};

void StartClock() {
  QueryPerformanceFrequency(&clockFrequency);
  QueryPerformanceCounter(&clockStart);
}

long long MillisSinceStart() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return (now.QuadPart - clockStart.QuadPart) * 1000 / clockFrequency.QuadPart;
}

// Dispatches window messages (DDE and DDEML ones among them) until `deadline`
// (GetTickCount64 time) or until `stop` says so.
void PumpMessagesUntil(ULONGLONG deadline, const std::function<bool()>& stop) {
  while (!stop()) {
    ULONGLONG now = GetTickCount64();
    if (now >= deadline) return;
    DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 250));
    MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

enum class TransactionResult { Ok, Refused, Timeout, Failed };

// ---------------------------------------------------------------------------------------
// DDEML client
// ---------------------------------------------------------------------------------------

// A string handle this program created; freed when it goes out of scope.
class StringHandle {
 public:
  StringHandle(DWORD instance, const std::string& text)
      : instance_(instance),
        handle_(DdeCreateStringHandleA(instance, text.c_str(), CP_WINANSI)) {}
  ~StringHandle() {
    if (handle_ != nullptr) DdeFreeStringHandle(instance_, handle_);
  }
  StringHandle(const StringHandle&) = delete;
  StringHandle& operator=(const StringHandle&) = delete;

  HSZ get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  DWORD instance_;
  HSZ handle_;
};

// A data handle that a synchronous transaction handed to this program; it is ours to free.
// (Data handles that arrive in the callback are lent by DDEML and never go in here.)
class OwnedData {
 public:
  explicit OwnedData(HDDEDATA handle) : handle_(handle) {}
  ~OwnedData() {
    if (handle_ != nullptr) DdeFreeDataHandle(handle_);
  }
  OwnedData(const OwnedData&) = delete;
  OwnedData& operator=(const OwnedData&) = delete;

  HDDEDATA get() const { return handle_; }

 private:
  HDDEDATA handle_;
};

// The CF_TEXT contents of a data handle, up to the first NUL. Does not free the handle.
std::string TextOf(HDDEDATA data) {
  if (data == nullptr) return {};
  DWORD size = DdeGetData(data, nullptr, 0, 0);
  if (size == 0) return {};
  std::vector<char> buffer(size);
  DdeGetData(data, reinterpret_cast<LPBYTE>(buffer.data()), size, 0);
  return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

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
  SentMessageUnblocker() : target_(GetCurrentThreadId()) {
    MSG msg;
    PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // this thread needs a queue
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (stop_ != nullptr) thread_ = CreateThread(nullptr, 0, &Run, this, 0, nullptr);
  }

  ~SentMessageUnblocker() {
    if (thread_ != nullptr) {
      SetEvent(stop_);
      WaitForSingleObject(thread_, INFINITE);
      CloseHandle(thread_);
    }
    if (stop_ != nullptr) CloseHandle(stop_);
  }

  SentMessageUnblocker(const SentMessageUnblocker&) = delete;
  SentMessageUnblocker& operator=(const SentMessageUnblocker&) = delete;

 private:
  static constexpr DWORD kIntervalMs = 20;

  static DWORD WINAPI Run(void* param) {
    auto* self = static_cast<SentMessageUnblocker*>(param);
    while (WaitForSingleObject(self->stop_, kIntervalMs) == WAIT_TIMEOUT) {
      PostThreadMessageA(self->target_, WM_NULL, 0, 0);
    }
    return 0;
  }

  DWORD target_;
  HANDLE stop_ = nullptr;
  HANDLE thread_ = nullptr;
};

// One DDEML client instance with at most one conversation. DDEML's callback carries no user
// pointer, so the live client is reached through a static; a process makes only one.
class DdeClient {
 public:
  using AdviseHandler = std::function<void(const std::string& item, const std::string& value)>;

  DdeClient() {
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

  ~DdeClient() {
    Disconnect();
    if (instance_ != 0) DdeUninitialize(instance_);
    if (current_ == this) current_ = nullptr;
  }

  DdeClient(const DdeClient&) = delete;
  DdeClient& operator=(const DdeClient&) = delete;

  bool ready() const { return instance_ != 0; }

  // What went wrong with the last failed call, for a diagnostic.
  std::string ErrorDetail() const {
    char text[32];
    std::snprintf(text, sizeof(text), "DMLERR 0x%x", lastError_);
    return text;
  }

  bool Connect(const std::string& service, const std::string& topic) {
    StringHandle hszService(instance_, service);
    StringHandle hszTopic(instance_, topic);
    if (!hszService || !hszTopic) return false;
    conversation_ = DdeConnect(instance_, hszService.get(), hszTopic.get(), nullptr);
    disconnected_ = false;
    if (conversation_ == nullptr) lastError_ = DdeGetLastError(instance_);
    return conversation_ != nullptr;
  }

  void Disconnect() {
    if (conversation_ != nullptr) {
      DdeDisconnect(conversation_);
      conversation_ = nullptr;
    }
  }

  // XTYP_REQUEST for CF_TEXT. nullopt on failure, with `result` telling why.
  std::optional<std::string> Request(const std::string& item, DWORD timeoutMs,
                                     TransactionResult& result) {
    StringHandle hszItem(instance_, item);
    DWORD status = 0;
    OwnedData data(DdeClientTransaction(nullptr, 0, conversation_, hszItem.get(), CF_TEXT,
                                        XTYP_REQUEST, timeoutMs, &status));
    if (data.get() == nullptr) {
      result = Failure();
      return std::nullopt;
    }
    result = TransactionResult::Ok;
    return TextOf(data.get());
  }

  // XTYP_EXECUTE with the command text (NUL included, as ANSI partners expect).
  TransactionResult Execute(const std::string& command, DWORD timeoutMs) {
    std::vector<BYTE> bytes(command.begin(), command.end());
    bytes.push_back(0);
    DWORD status = 0;
    // A successful synchronous EXECUTE returns TRUE, not a data handle: nothing to free.
    HDDEDATA ok = DdeClientTransaction(bytes.data(), static_cast<DWORD>(bytes.size()),
                                       conversation_, nullptr, CF_TEXT, XTYP_EXECUTE,
                                       timeoutMs, &status);
    return ok != nullptr ? TransactionResult::Ok : Failure();
  }

  // Starts a hot advise loop (data with every change) on `item`.
  TransactionResult StartHotAdvise(const std::string& item, DWORD timeoutMs) {
    StringHandle hszItem(instance_, item);
    DWORD status = 0;
    HDDEDATA ok = DdeClientTransaction(nullptr, 0, conversation_, hszItem.get(), CF_TEXT,
                                       XTYP_ADVSTART, timeoutMs, &status);
    return ok != nullptr ? TransactionResult::Ok : Failure();
  }

  void StopAdvise(const std::string& item, DWORD timeoutMs) {
    if (!PartnerAlive()) return;
    StringHandle hszItem(instance_, item);
    DWORD status = 0;
    DdeClientTransaction(nullptr, 0, conversation_, hszItem.get(), CF_TEXT, XTYP_ADVSTOP,
                         timeoutMs, &status);
  }

  void SetAdviseHandler(AdviseHandler handler) { adviseHandler_ = std::move(handler); }

  // Whether the server is still there. A server that dies without ending the conversation
  // sends no XTYP_DISCONNECT under Wine, so look at its conversation window as well.
  bool PartnerAlive() const {
    if (conversation_ == nullptr || disconnected_) return false;
    CONVINFO info{};
    info.cb = sizeof(info);
    if (DdeQueryConvInfo(conversation_, QID_SYNC, &info) == 0) return false;
    if ((info.wStatus & ST_CONNECTED) == 0) return false;
    return info.hwndPartner == nullptr || IsWindow(info.hwndPartner);
  }

 private:
  // DdeGetLastError clears the error as it reads it: keep it for ErrorDetail.
  TransactionResult Failure() {
    lastError_ = DdeGetLastError(instance_);
    return ClassifyDdeError(lastError_);
  }

  std::string QueryString(HSZ hsz) const {
    char buffer[256] = {};
    DdeQueryStringA(instance_, hsz, buffer, sizeof(buffer), CP_WINANSI);
    return buffer;
  }

  HDDEDATA OnAdviseData(HSZ item, HDDEDATA data) {
    // `data` is lent by DDEML for the length of this call: read it, never free it.
    if (adviseHandler_) adviseHandler_(QueryString(item), TextOf(data));
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
  }

  static HDDEDATA CALLBACK Callback(UINT type, UINT /*format*/, HCONV /*conv*/, HSZ /*hsz1*/,
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

  static inline DdeClient* current_ = nullptr;

  SentMessageUnblocker unblocker_;  // first member: lives until DDEML has ended
  DWORD instance_ = 0;
  HCONV conversation_ = nullptr;
  bool disconnected_ = false;
  UINT lastError_ = DMLERR_NO_ERROR;
  AdviseHandler adviseHandler_;
};

// ---------------------------------------------------------------------------------------
// Raw DDE client
// ---------------------------------------------------------------------------------------

// One conversation over the DDE message protocol itself, spoken from a hidden window of
// this program the way the suite's forms programs talk: no DDEML on this side. It offers
// the same calls as DdeClient so the commands can use either.
//
// Who owns what after each message:
//   - the atoms of our WM_DDE_INITIATE stay ours (deleted once the broadcast returns); the
//     atoms in a server's WM_DDE_ACK answer to it are ours to delete;
//   - the item atom of WM_DDE_REQUEST, ADVISE and UNADVISE passes to the server once
//     posted; the item atom in its WM_DDE_ACK or WM_DDE_DATA is ours: reused in our ACK,
//     deleted otherwise;
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

  RawDdeConversation() {
    HINSTANCE module = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &RawDdeConversation::WindowProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = kClassName;
    // An ANSI window class: DDEML servers hand text to an ANSI window's conversation as is.
    RegisterClassExA(&windowClass);  // fails harmlessly when already registered
    // A hidden top-level window, like a form's: servers answer the initiate broadcast to it.
    window_ = CreateWindowExA(0, kClassName, "suite_client raw DDE", WS_POPUP, 0, 0, 0, 0,
                              nullptr, nullptr, module, this);
    if (window_ == nullptr) {
      PrintError("cannot create the DDE window (error %lu)", GetLastError());
    }
  }

  ~RawDdeConversation() {
    Terminate(kTerminateWaitMs);
    if (window_ != nullptr) DestroyWindow(window_);
  }

  RawDdeConversation(const RawDdeConversation&) = delete;
  RawDdeConversation& operator=(const RawDdeConversation&) = delete;

  bool ready() const { return window_ != nullptr; }
  std::string ErrorDetail() const { return problem_; }

  // Broadcasts WM_DDE_INITIATE and keeps the first server that acknowledges; any other
  // that answers too is told goodbye at once.
  bool Connect(const std::string& service, const std::string& topic) {
    ATOM serviceAtom = AddAtom(service);
    ATOM topicAtom = AddAtom(topic);
    if (serviceAtom != 0 && topicAtom != 0) {
      initiating_ = true;
      SendMessageTimeoutA(HWND_BROADCAST, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(window_),
                          MAKELPARAM(serviceAtom, topicAtom), SMTO_ABORTIFHUNG,
                          kInitiateTimeoutMs, nullptr);
      initiating_ = false;
      if (partner_ == nullptr) problem_ = "no server acknowledged WM_DDE_INITIATE";
    }
    if (serviceAtom != 0) GlobalDeleteAtom(serviceAtom);
    if (topicAtom != 0) GlobalDeleteAtom(topicAtom);
    return partner_ != nullptr;
  }

  // WM_DDE_REQUEST for CF_TEXT, answered by WM_DDE_DATA (or a negative WM_DDE_ACK).
  std::optional<std::string> Request(const std::string& item, DWORD timeoutMs,
                                     TransactionResult& result) {
    ATOM atom = AddAtom(item);
    Begin(Awaiting::Data, item, nullptr);
    if (atom == 0 || !Post(WM_DDE_REQUEST, PackDDElParam(WM_DDE_REQUEST, CF_TEXT, atom))) {
      if (atom != 0) GlobalDeleteAtom(atom);
      result = Abandon();
      return std::nullopt;
    }
    result = WaitForAnswer(timeoutMs);
    if (result != TransactionResult::Ok) return std::nullopt;
    return pending_.value;
  }

  // WM_DDE_EXECUTE with the command text in a global block (NUL included).
  TransactionResult Execute(const std::string& command, DWORD timeoutMs) {
    if (!PostExecute(command)) return Abandon();
    return WaitForAnswer(timeoutMs);
  }

  // Posts the EXECUTE without waiting; `Answer` waits for its acknowledgement later.
  bool PostExecute(const std::string& command) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, command.size() + 1);
    char* text = block != nullptr ? static_cast<char*>(GlobalLock(block)) : nullptr;
    if (text == nullptr) {
      if (block != nullptr) GlobalFree(block);
      problem_ = "out of global memory";
      return false;
    }
    std::memcpy(text, command.c_str(), command.size() + 1);
    GlobalUnlock(block);
    Begin(Awaiting::ExecuteAck, {}, block);
    LPARAM lParam = PackDDElParam(WM_DDE_EXECUTE, 0, reinterpret_cast<UINT_PTR>(block));
    if (!Post(WM_DDE_EXECUTE, lParam)) {
      GlobalFree(block);
      return false;
    }
    return true;
  }

  // The answer to the EXECUTE that `PostExecute` sent.
  TransactionResult Answer(DWORD timeoutMs) { return WaitForAnswer(timeoutMs); }

  // WM_DDE_ADVISE for a hot link (fDeferUpd 0) that wants every WM_DDE_DATA acknowledged.
  TransactionResult StartHotAdvise(const std::string& item, DWORD timeoutMs) {
    HGLOBAL options = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(DDEADVISE));
    auto* advise = options != nullptr ? static_cast<DDEADVISE*>(GlobalLock(options)) : nullptr;
    if (advise == nullptr) {
      if (options != nullptr) GlobalFree(options);
      problem_ = "out of global memory";
      return TransactionResult::Failed;
    }
    *advise = DDEADVISE{};
    advise->fDeferUpd = 0;
    advise->fAckReq = 1;
    advise->cfFormat = CF_TEXT;
    GlobalUnlock(options);
    ATOM atom = AddAtom(item);
    Begin(Awaiting::AdviseAck, item, options);
    if (atom == 0 || !Post(WM_DDE_ADVISE, PackDDElParam(WM_DDE_ADVISE,
                                                        reinterpret_cast<UINT_PTR>(options),
                                                        atom))) {
      if (atom != 0) GlobalDeleteAtom(atom);
      GlobalFree(options);
      return Abandon();
    }
    return WaitForAnswer(timeoutMs);
  }

  void StopAdvise(const std::string& item, DWORD timeoutMs) {
    if (!PartnerAlive()) return;
    ATOM atom = AddAtom(item);
    Begin(Awaiting::UnadviseAck, item, nullptr);
    if (atom == 0 || !Post(WM_DDE_UNADVISE, PackDDElParam(WM_DDE_UNADVISE, CF_TEXT, atom))) {
      if (atom != 0) GlobalDeleteAtom(atom);
      Abandon();
      return;
    }
    WaitForAnswer(timeoutMs);
  }

  void SetAdviseHandler(AdviseHandler handler) { adviseHandler_ = std::move(handler); }

  // Whether the server is still there: it has not sent WM_DDE_TERMINATE and its window
  // lives (a server that dies sends nothing).
  bool PartnerAlive() const {
    return partner_ != nullptr && !partnerTerminated_ && IsWindow(partner_);
  }

  // Posts WM_DDE_TERMINATE (once) and waits up to `waitMs` for the partner's own.
  void Terminate(DWORD waitMs) {
    if (partner_ == nullptr) return;
    if (!terminateSent_) {
      terminateSent_ = true;
      PostMessageA(partner_, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_), 0);
    }
    PumpMessagesUntil(GetTickCount64() + waitMs,
                      [this] { return partnerTerminated_ || !IsWindow(partner_); });
    partner_ = nullptr;
  }

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

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      SetWindowLongPtrA(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<RawDdeConversation*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr) {
      HWND from = reinterpret_cast<HWND>(wParam);
      switch (message) {
        case WM_DDE_ACK: self->OnAck(from, lParam); return 0;
        case WM_DDE_DATA: self->OnData(from, lParam); return 0;
        case WM_DDE_TERMINATE: self->OnTerminate(from); return 0;
        default: break;  // our own WM_DDE_INITIATE comes back here too: not a server
      }
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  static std::string AtomName(ATOM atom) {
    char name[256] = {};
    if (atom != 0) GlobalGetAtomNameA(atom, name, sizeof(name));
    return name;
  }

  // Atoms are 0xC000..0xFFFF; memory handles are never that small.
  static bool IsAtom(UINT_PTR value) { return value != 0 && value <= 0xFFFF; }

  static DataBlock ReadDataBlock(HGLOBAL block) {
    DataBlock data;
    if (block == nullptr) return data;
    const SIZE_T size = GlobalSize(block);
    const auto* dde = static_cast<const DDEDATA*>(GlobalLock(block));
    if (dde == nullptr) return data;
    constexpr size_t kHeader = offsetof(DDEDATA, Value);
    if (size >= kHeader) {
      data.valid = true;
      data.response = dde->fResponse;
      data.release = dde->fRelease;
      data.ackRequested = dde->fAckReq;
      data.format = static_cast<USHORT>(dde->cfFormat);
      const char* text = reinterpret_cast<const char*>(dde->Value);
      data.text.assign(text, strnlen(text, size - kHeader));
    }
    GlobalUnlock(block);
    return data;
  }

  void Begin(Awaiting what, const std::string& item, HGLOBAL memory) {
    pending_ = Pending{};
    pending_.what = what;
    pending_.item = item;
    pending_.memory = memory;
  }

  // Gives up the transaction before anything was posted (problem_ tells why).
  TransactionResult Abandon() {
    pending_.what = Awaiting::Nothing;
    return TransactionResult::Failed;
  }

  ATOM AddAtom(const std::string& text) {
    ATOM atom = GlobalAddAtomA(text.c_str());
    if (atom == 0) problem_ = "cannot create an atom for \"" + text + "\"";
    return atom;
  }

  bool Post(UINT message, LPARAM lParam) {
    if (partner_ != nullptr && !terminateSent_ &&
        PostMessageA(partner_, message, reinterpret_cast<WPARAM>(window_), lParam)) {
      return true;
    }
    FreeDDElParam(message, lParam);
    problem_ = "cannot post to the server's window";
    return false;
  }

  TransactionResult WaitForAnswer(DWORD timeoutMs) {
    PumpMessagesUntil(GetTickCount64() + timeoutMs,
                      [this] { return pending_.answered || !PartnerAlive(); });
    TransactionResult result;
    if (pending_.answered) {
      result = pending_.result;
    } else if (!PartnerAlive()) {
      problem_ = "the server ended the conversation";
      result = TransactionResult::Failed;
    } else {
      problem_ = "no answer within " + std::to_string(timeoutMs) + " ms";
      // An EXECUTE's block comes back with a late ACK; keep track of it to free it then.
      // (A late-refused DDEADVISE block is simply left to the end of the process.)
      if (pending_.what == Awaiting::ExecuteAck) lateCommands_.push_back(pending_.memory);
      result = TransactionResult::Timeout;
    }
    pending_.what = Awaiting::Nothing;
    return result;
  }

  void OnAck(HWND from, LPARAM lParam) {
    if (initiating_) {
      // The answer to WM_DDE_INITIATE is sent, not posted, and holds two plain atoms.
      GlobalDeleteAtom(LOWORD(lParam));
      GlobalDeleteAtom(HIWORD(lParam));
      if (partner_ == nullptr) {
        partner_ = from;
      } else {
        PostMessageA(from, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_), 0);
      }
      return;
    }
    UINT_PTR status = 0;
    UINT_PTR value = 0;  // an item atom, or the command block of an EXECUTE
    UnpackDDElParam(WM_DDE_ACK, lParam, &status, &value);
    FreeDDElParam(WM_DDE_ACK, lParam);

    if (from != partner_ || pending_.what == Awaiting::Nothing || pending_.answered) {
      // Nobody waits for this one (it comes after a time-out or after the answer): only
      // tidy up.
      auto late = std::find(lateCommands_.begin(), lateCommands_.end(),
                            reinterpret_cast<HGLOBAL>(value));
      if (late != lateCommands_.end()) {
        GlobalFree(*late);
        lateCommands_.erase(late);
      } else if (IsAtom(value)) {
        GlobalDeleteAtom(static_cast<ATOM>(value));
      }
      return;
    }

    const WORD bits = LOWORD(status);
    const bool positive = (bits & kAckBit) != 0;
    if (pending_.what == Awaiting::Data && positive) {
      // Not the answer: a REQUEST is answered by WM_DDE_DATA, and Wine's DDEML server
      // follows that data with a positive ACK of the REQUEST as well.
      if (IsAtom(value)) GlobalDeleteAtom(static_cast<ATOM>(value));
      return;
    }
    char text[80];
    std::snprintf(text, sizeof(text), "the server answered %s (DDEACK 0x%04x)",
                  positive ? "ACK" : ((bits & kBusyBit) != 0 ? "busy" : "NACK"), bits);
    problem_ = text;
    pending_.result = positive ? TransactionResult::Ok : TransactionResult::Refused;

    switch (pending_.what) {
      case Awaiting::ExecuteAck:
        if (value != reinterpret_cast<UINT_PTR>(pending_.memory)) {
          PrintError("the EXECUTE's ACK brought back another block than the one sent");
        }
        GlobalFree(pending_.memory);
        pending_.memory = nullptr;
        break;
      case Awaiting::AdviseAck:
        if (!positive) GlobalFree(pending_.memory);
        pending_.memory = nullptr;
        if (IsAtom(value)) GlobalDeleteAtom(static_cast<ATOM>(value));
        break;
      case Awaiting::Data:  // the REQUEST refused
      case Awaiting::UnadviseAck:
      case Awaiting::Nothing:
        if (IsAtom(value)) GlobalDeleteAtom(static_cast<ATOM>(value));
        break;
    }
    pending_.answered = true;
  }

  void OnData(HWND from, LPARAM lParam) {
    UINT_PTR memory = 0;
    UINT_PTR atomValue = 0;
    UnpackDDElParam(WM_DDE_DATA, lParam, &memory, &atomValue);
    FreeDDElParam(WM_DDE_DATA, lParam);
    HGLOBAL block = reinterpret_cast<HGLOBAL>(memory);
    ATOM atom = static_cast<ATOM>(atomValue);
    DataBlock data = ReadDataBlock(block);

    // After our WM_DDE_TERMINATE nothing is answered any more; data is only freed.
    const bool talking = from == partner_ && !terminateSent_;
    const bool accepted = talking && data.valid && data.format == CF_TEXT;
    if (accepted) {
      const std::string item = AtomName(atom);
      if (data.response) {
        if (pending_.what == Awaiting::Data && _stricmp(item.c_str(), pending_.item.c_str()) == 0) {
          pending_.value = data.text;
          pending_.result = TransactionResult::Ok;
          pending_.answered = true;
        }
        // else: the answer to a REQUEST that timed out; nobody wants it any more.
      } else if (adviseHandler_) {
        adviseHandler_(item, data.text);
      }
    }

    bool refused = false;
    if (talking && data.ackRequested) {
      // The ACK reuses the item atom of the data message.
      LPARAM ack = PackDDElParam(WM_DDE_ACK, accepted ? kAckBit : 0, atom);
      if (!PostMessageA(from, WM_DDE_ACK, reinterpret_cast<WPARAM>(window_), ack)) {
        FreeDDElParam(WM_DDE_ACK, ack);
        GlobalDeleteAtom(atom);
      }
      refused = !accepted;
    } else if (atom != 0) {
      GlobalDeleteAtom(atom);
    }
    // On a NACK the block stays the server's; otherwise fRelease says it is ours to free.
    if (block != nullptr && data.valid && data.release && !refused) GlobalFree(block);
  }

  void OnTerminate(HWND from) {
    // A server turned away after the initiate says goodbye too: not our partner.
    if (from != partner_ || partner_ == nullptr) return;
    partnerTerminated_ = true;
    if (!terminateSent_) {
      terminateSent_ = true;
      PostMessageA(partner_, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_), 0);
    }
    if (pending_.what != Awaiting::Nothing && !pending_.answered) {
      problem_ = "the server ended the conversation";
      pending_.result = TransactionResult::Failed;
      pending_.answered = true;
    }
  }

  HWND window_ = nullptr;
  HWND partner_ = nullptr;
  bool initiating_ = false;
  bool terminateSent_ = false;
  bool partnerTerminated_ = false;
  Pending pending_;
  std::vector<HGLOBAL> lateCommands_;
  AdviseHandler adviseHandler_;
  std::string problem_;
};

// ---------------------------------------------------------------------------------------
// Listener: DDEML server standing in for the suite's sibling programs
// ---------------------------------------------------------------------------------------

// Serves topic "DDEClient" under each given service name, as the siblings do for the
// bridge: accepts connects, hot links on "RequestDDEConnection" (whose value is empty) and
// every EXECUTE, and reports each as (name, "EVENT [DETAIL]"): CONNECT, ADVSTART ITEM,
// EXECUTE COMMAND, DISCONNECT. The end of a hot link and requests for its value pass
// quietly; what is refused (another item, a POKE) is reported with " REFUSED". Like
// DdeClient it is reached from DDEML's callback through a static; a process makes only one.
// With an initiate delay it answers each initiate for its names only after that long, as
// a sibling busy writing its log does: the sender's SendMessage really waits meanwhile.
class DdeListener {
 public:
  using EventSink = std::function<void(const std::string& name, const std::string& event)>;

  explicit DdeListener(EventSink sink) : sink_(std::move(sink)) {}
  ~DdeListener() { Stop(); }

  DdeListener(const DdeListener&) = delete;
  DdeListener& operator=(const DdeListener&) = delete;

  void SetInitiateDelay(DWORD ms) { initiateDelayMs_ = ms; }

  // Starts DDEML and registers every name; false (with a diagnostic) if any fails.
  bool Start(const std::vector<std::string>& names) {
    if (current_ != nullptr) return false;
    UINT rc = DdeInitializeA(&instance_, &DdeListener::Callback,
                             APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS |
                                 CBF_SKIP_UNREGISTRATIONS,
                             0);
    if (rc != DMLERR_NO_ERROR) {
      PrintError("DdeInitializeA failed (DMLERR 0x%x)", rc);
      instance_ = 0;
      return false;
    }
    current_ = this;
    topic_ = DdeCreateStringHandleA(instance_, kTopic, CP_WINANSI);
    item_ = DdeCreateStringHandleA(instance_, kItem, CP_WINANSI);
    if (topic_ == nullptr || item_ == nullptr) {
      PrintError("cannot create string handles (DMLERR 0x%x)", DdeGetLastError(instance_));
      return false;
    }
    for (const std::string& name : names) {
      HSZ service = DdeCreateStringHandleA(instance_, name.c_str(), CP_WINANSI);
      if (service == nullptr) {
        PrintError("cannot create a string handle for %s", name.c_str());
        return false;
      }
      services_.push_back({name, service});
      if (DdeNameService(instance_, service, nullptr, DNS_REGISTER) == nullptr) {
        PrintError("cannot register service %s (DMLERR 0x%x)", name.c_str(),
                   DdeGetLastError(instance_));
        return false;
      }
    }
    return true;
  }

  // Unregisters the names and ends DDEML (which ends any conversation still open).
  void Stop() {
    if (instance_ == 0) return;
    DdeNameService(instance_, nullptr, nullptr, DNS_UNREGISTER);
    for (const Service& service : services_) DdeFreeStringHandle(instance_, service.handle);
    services_.clear();
    if (topic_ != nullptr) DdeFreeStringHandle(instance_, topic_);
    if (item_ != nullptr) DdeFreeStringHandle(instance_, item_);
    topic_ = item_ = nullptr;
    DdeUninitialize(instance_);
    instance_ = 0;
    if (current_ == this) current_ = nullptr;
  }

 private:
  static constexpr const char* kTopic = "DDEClient";
  static constexpr const char* kItem = "RequestDDEConnection";

  struct Service {
    std::string name;
    HSZ handle;
  };

  static HDDEDATA Bool(bool value) { return reinterpret_cast<HDDEDATA>(value ? TRUE : FALSE); }

  static bool Same(HSZ a, HSZ b) {
    return a != nullptr && b != nullptr && DdeCmpStringHandles(a, b) == 0;
  }

  const Service* ServiceFor(HSZ handle) const {
    for (const Service& service : services_) {
      if (Same(service.handle, handle)) return &service;
    }
    return nullptr;
  }

  std::string QueryString(HSZ hsz) const {
    char buffer[256] = {};
    if (hsz != nullptr) DdeQueryStringA(instance_, hsz, buffer, sizeof(buffer), CP_WINANSI);
    return buffer;
  }

  // The name a conversation was opened under: noted at XTYP_CONNECT_CONFIRM, else asked of
  // DDEML (the handle seen later may differ from the confirmed one).
  std::string NameOf(HCONV conversation) const {
    auto known = conversations_.find(conversation);
    if (known != conversations_.end()) return known->second;
    CONVINFO info{};
    info.cb = sizeof(info);
    if (DdeQueryConvInfo(conversation, QID_SYNC, &info) != 0) {
      for (HSZ service : {info.hszSvcPartner, info.hszServiceReq}) {
        if (const Service* found = ServiceFor(service)) return found->name;
      }
    }
    return "?";
  }

  void Report(HCONV conversation, const std::string& event) { sink_(NameOf(conversation), event); }

  HDDEDATA EmptyText() const {
    static const BYTE kEmpty[1] = {0};
    return DdeCreateDataHandle(instance_, const_cast<BYTE*>(kEmpty), sizeof(kEmpty), 0, item_,
                               CF_TEXT, 0);
  }

  HDDEDATA OnTransaction(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                         HDDEDATA data) {
    switch (type) {
      case XTYP_CONNECT: {  // hsz1 topic, hsz2 service; called inside WM_DDE_INITIATE
        const bool ours = Same(hsz1, topic_) && ServiceFor(hsz2) != nullptr;
        if (ours && initiateDelayMs_ != 0) Sleep(initiateDelayMs_);
        return Bool(ours);
      }
      case XTYP_CONNECT_CONFIRM: {
        const Service* service = ServiceFor(hsz2);
        std::string name = service != nullptr ? service->name : QueryString(hsz2);
        conversations_[conversation] = name;
        sink_(name, "CONNECT");
        return nullptr;
      }
      case XTYP_ADVSTART: {  // hsz2 item
        const bool ours = Same(hsz2, item_) && format == CF_TEXT;
        Report(conversation, "ADVSTART " + OneLine(QueryString(hsz2)) + (ours ? "" : " REFUSED"));
        return Bool(ours);
      }
      case XTYP_REQUEST: {  // answered quietly; only a request for something else shows
        const bool ours = Same(hsz2, item_) && format == CF_TEXT;
        if (!ours) Report(conversation, "REQUEST " + OneLine(QueryString(hsz2)) + " REFUSED");
        return ours ? EmptyText() : nullptr;
      }
      case XTYP_ADVREQ:  // only after DdePostAdvise, which this program never calls
        return Same(hsz2, item_) ? EmptyText() : nullptr;
      case XTYP_EXECUTE:  // `data` is lent by DDEML: read it, never free it
        Report(conversation, "EXECUTE " + OneLine(TextOf(data)));
        return reinterpret_cast<HDDEDATA>(DDE_FACK);
      case XTYP_POKE:
        Report(conversation, "POKE " + OneLine(QueryString(hsz2)) + " REFUSED");
        return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
      case XTYP_DISCONNECT:
        Report(conversation, "DISCONNECT");
        conversations_.erase(conversation);
        return nullptr;
      default:
        return nullptr;
    }
  }

  static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1,
                                    HSZ hsz2, HDDEDATA data, ULONG_PTR /*data1*/,
                                    ULONG_PTR /*data2*/) {
    DdeListener* self = current_;
    if (self == nullptr) return nullptr;
    return self->OnTransaction(type, format, conversation, hsz1, hsz2, data);
  }

  static inline DdeListener* current_ = nullptr;

  SentMessageUnblocker unblocker_;  // first member: lives until DDEML has ended
  EventSink sink_;
  DWORD instance_ = 0;
  HSZ topic_ = nullptr;
  HSZ item_ = nullptr;
  std::vector<Service> services_;
  std::map<HCONV, std::string> conversations_;
  DWORD initiateDelayMs_ = 0;
};

// ---------------------------------------------------------------------------------------
// Windows of other processes
// ---------------------------------------------------------------------------------------

// The current text of a window. WM_GETTEXT is used rather than GetWindowText, which for a
// control of another process gives the creation text instead of what the control shows.
std::string WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                           kWindowTextTimeoutMs, &length)) {
    return {};
  }
  std::vector<char> buffer(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(),
                           reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                           kWindowTextTimeoutMs, &copied)) {
    return {};
  }
  return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

// The top-level window whose caption is exactly `caption` (FindWindow ignores case).
HWND FindTopLevel(const std::string& caption) {
  struct Search {
    const std::string* caption;
    HWND found;
  } search{&caption, nullptr};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        int length = GetWindowTextLengthA(window);
        if (length != static_cast<int>(s->caption->size())) return TRUE;
        std::string text(length + 1, '\0');
        GetWindowTextA(window, text.data(), length + 1);
        text.resize(length);
        if (text != *s->caption) return TRUE;
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

const char* StateOf(HWND window) {
  if (IsIconic(window)) return "minimized";
  if (IsZoomed(window)) return "maximized";
  return "normal";
}

// A child's rectangle in the client coordinates of `top`.
RECT ClientRectIn(HWND top, HWND child) {
  RECT rect{};
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

HWND FindTopLevelOrReport(const std::string& caption) {
  HWND window = FindTopLevel(caption);
  if (window == nullptr) PrintError("no top-level window captioned \"%s\"", caption.c_str());
  return window;
}

// ---------------------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------------------

using Args = std::vector<std::string>;  // the command's own arguments, without its name

// Options given before the command.
struct Options {
  bool raw = false;     // --raw: request, execute and watch without DDEML
  bool stamp = false;   // --stamp: execute adds the UTC time its answer came
  std::string logFile;  // --log FILE: listen also appends its lines here
};

// Starts the client and connects; prints NOCONNECT / reports and returns the exit code on
// error. `Client` is DdeClient or RawDdeConversation.
template <typename Client>
int ConnectOrReport(Client& client, const std::string& service, const std::string& topic,
                    bool printNoConnect) {
  if (!client.ready()) return kFailure;
  if (client.Connect(service, topic)) return kOk;
  if (printNoConnect) PrintLine("NOCONNECT");
  PrintError("cannot connect to %s|%s (%s)", service.c_str(), topic.c_str(),
             client.ErrorDetail().c_str());
  return kNoConnect;
}

template <typename Client>
int Request(const Args& args) {
  Client client;
  if (int rc = ConnectOrReport(client, args[0], args[1], false); rc != kOk) return rc;
  TransactionResult result;
  std::optional<std::string> value = client.Request(args[2], kDefaultTimeoutMs, result);
  if (!value) {
    PrintError("request %s failed (%s)", args[2].c_str(), client.ErrorDetail().c_str());
    return result == TransactionResult::Timeout ? kTimeout : kRefused;
  }
  PrintLine(*value);
  return kOk;
}

// The current UTC time as "2026-12-06T21:40:01.123Z".
std::string UtcStamp() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  char text[32];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  return text;
}

template <typename Client>
int Execute(const Args& args, DWORD timeout, bool stamp) {
  Client client;
  if (int rc = ConnectOrReport(client, args[0], args[1], true); rc != kOk) return rc;
  const TransactionResult result = client.Execute(args[2], timeout);
  const std::string when = stamp ? " " + UtcStamp() : "";
  switch (result) {
    case TransactionResult::Ok:
      PrintLine("ACK" + when);
      return kOk;
    case TransactionResult::Refused:
      PrintLine("NACK" + when);
      return kRefused;
    case TransactionResult::Timeout:
      PrintLine("TIMEOUT" + when);
      return kTimeout;
    case TransactionResult::Failed:
      break;
  }
  PrintLine("FAILED");
  PrintError("execute failed (%s)", client.ErrorDetail().c_str());
  return kFailure;
}

// Prints the current value, then every value a hot advise loop brings, for `seconds`.
// The first line appears once the hot link is up, so a script may make changes as soon as
// it has read it. Exits kFailure early when the server goes away.
template <typename Client>
int Watch(const Args& args, DWORD seconds) {
  const std::string& item = args[2];
  Client client;
  if (int rc = ConnectOrReport(client, args[0], args[1], false); rc != kOk) return rc;

  // Read the current value before the advise loop starts: a synchronous transaction can
  // be cut short when advise data arrives on the same conversation meanwhile.
  TransactionResult result;
  std::optional<std::string> current = client.Request(item, kDefaultTimeoutMs, result);
  if (!current) {
    PrintError("request %s failed (%s)", item.c_str(), client.ErrorDetail().c_str());
    return result == TransactionResult::Timeout ? kTimeout : kRefused;
  }

  // Values advised before the link is confirmed wait until the current value is out.
  bool linked = false;
  std::vector<std::string> early;
  client.SetAdviseHandler([&](const std::string& adviseItem, const std::string& value) {
    if (_stricmp(adviseItem.c_str(), item.c_str()) != 0) return;
    if (linked) PrintLine(OneLine(value));
    else early.push_back(value);
  });
  result = client.StartHotAdvise(item, kDefaultTimeoutMs);
  if (result != TransactionResult::Ok) {
    PrintError("advise start on %s failed (%s)", item.c_str(), client.ErrorDetail().c_str());
    return result == TransactionResult::Timeout ? kTimeout : kRefused;
  }
  linked = true;
  PrintLine(OneLine(*current));
  for (const std::string& value : early) PrintLine(OneLine(value));

  bool lost = false;
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  PumpMessagesUntil(deadline, [&] { return lost = !client.PartnerAlive(); });
  if (lost) {
    PrintError("the server ended the conversation");
    return kFailure;
  }
  client.StopAdvise(item, kDefaultTimeoutMs);
  return kOk;
}

int RunRequest(const Args& args, const Options& options) {
  return options.raw ? Request<RawDdeConversation>(args) : Request<DdeClient>(args);
}

int RunExecute(const Args& args, const Options& options) {
  DWORD timeout = kDefaultTimeoutMs;
  if (args.size() > 3) {
    std::optional<DWORD> parsed = ParseUnsigned(args[3].c_str());
    if (!parsed) {
      PrintError("bad timeout \"%s\"", args[3].c_str());
      return kUsage;
    }
    timeout = *parsed;
  }
  return options.raw ? Execute<RawDdeConversation>(args, timeout, options.stamp)
                     : Execute<DdeClient>(args, timeout, options.stamp);
}

int RunWatch(const Args& args, const Options& options) {
  std::optional<DWORD> seconds = ParseUnsigned(args[3].c_str());
  if (!seconds) {
    PrintError("bad number of seconds \"%s\"", args[3].c_str());
    return kUsage;
  }
  return options.raw ? Watch<RawDdeConversation>(args, *seconds)
                     : Watch<DdeClient>(args, *seconds);
}

// Opens one raw conversation per command first, then posts the commands DELAY_MS apart
// without waiting in between, and prints each one's answer in order: requests that reach
// the server back to back, as from several programs at once.
int RunBurst(const Args& args, const Options& /*options*/) {
  std::optional<DWORD> delay = ParseUnsigned(args[2].c_str());
  if (!delay) {
    PrintError("bad delay \"%s\"", args[2].c_str());
    return kUsage;
  }
  std::vector<std::unique_ptr<RawDdeConversation>> conversations;
  for (size_t i = 3; i < args.size(); ++i) {
    conversations.push_back(std::make_unique<RawDdeConversation>());
    if (int rc = ConnectOrReport(*conversations.back(), args[0], args[1], true); rc != kOk) return rc;
  }
  for (size_t i = 0; i < conversations.size(); ++i) {
    if (i > 0 && *delay > 0) PumpMessagesUntil(GetTickCount64() + *delay, [] { return false; });
    if (!conversations[i]->PostExecute(args[i + 3])) {
      PrintLine("FAILED");
      return kFailure;
    }
  }
  int exitCode = kOk;
  for (auto& conversation : conversations) {
    switch (conversation->Answer(kDefaultTimeoutMs)) {
      case TransactionResult::Ok:
        PrintLine("ACK");
        break;
      case TransactionResult::Refused:
        PrintLine("NACK");
        exitCode = kRefused;
        break;
      case TransactionResult::Timeout:
        PrintLine("TIMEOUT");
        exitCode = kTimeout;
        break;
      case TransactionResult::Failed:
        PrintLine("FAILED");
        exitCode = kFailure;
        break;
    }
  }
  return exitCode;
}

// Shows a top-level window and then stops serving messages for SECONDS: a program hung on
// the desktop, for checking that others do not hang with it.
int RunHang(const Args& args, const Options& /*options*/) {
  std::optional<DWORD> seconds = ParseUnsigned(args[0].c_str());
  if (!seconds) {
    PrintError("bad number of seconds \"%s\"", args[0].c_str());
    return kUsage;
  }
  HWND window = CreateWindowExA(0, "STATIC", "suite_client hung window", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  if (window == nullptr) return kFailure;
  PumpMessagesUntil(GetTickCount64() + 100, [] { return false; });
  PrintLine("READY");
  Sleep(*seconds * 1000);
  DestroyWindow(window);
  return kOk;
}

// Where `listen` writes: stdout, and a log file when one is given; each line flushed.
class EventLog {
 public:
  ~EventLog() {
    if (file_ != nullptr) std::fclose(file_);
  }

  bool OpenFile(const std::string& path) {
    file_ = std::fopen(path.c_str(), "ab");
    return file_ != nullptr;
  }

  void Line(const std::string& text) {
    PrintLine(text);
    if (file_ != nullptr) {
      std::fwrite(text.data(), 1, text.size(), file_);
      std::fputc('\n', file_);
      std::fflush(file_);
    }
  }

 private:
  FILE* file_ = nullptr;
};

// A line "quit" on stdin ends `listen` early. Only a pipe is read: reading a terminal from
// a background job would stop the whole process, and /dev/null or a file mean nobody talks.
std::atomic<bool> quitRequested{false};
DWORD mainThreadId = 0;

DWORD WINAPI ReadQuitLines(void* /*unused*/) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  std::string line;
  char buffer[256];
  DWORD got = 0;
  while (ReadFile(input, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    for (DWORD i = 0; i < got; ++i) {
      if (buffer[i] != '\n') {
        line += buffer[i];
        continue;
      }
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      if (line == "quit") {
        quitRequested = true;
        PostThreadMessageA(mainThreadId, WM_NULL, 0, 0);  // wakes the message loop
        return 0;
      }
      line.clear();
    }
  }
  return 0;
}

void WatchStdinForQuit() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return;
  if (GetFileType(input) != FILE_TYPE_PIPE) return;
  mainThreadId = GetCurrentThreadId();
  HANDLE thread = CreateThread(nullptr, 0, &ReadQuitLines, nullptr, 0, nullptr);
  if (thread != nullptr) CloseHandle(thread);  // it ends with the process
}

// Serves DDEClient under each NAME for SECONDS and prints what partners do.
int RunListen(const Args& allArgs, const Options& options) {
  // --initiate-delay MS may stand anywhere among the arguments: no service name starts so.
  Args args = allArgs;
  DWORD initiateDelayMs = 0;
  auto option = std::find(args.begin(), args.end(), "--initiate-delay");
  if (option != args.end()) {
    std::optional<DWORD> ms = option + 1 != args.end() ? ParseUnsigned(option[1].c_str()) : std::nullopt;
    if (!ms) {
      PrintError("--initiate-delay wants milliseconds");
      return kUsage;
    }
    initiateDelayMs = *ms;
    args.erase(option, option + 2);
  }
  if (args.size() < 2) {
    PrintError("listen wants SECONDS and at least one NAME");
    return kUsage;
  }
  std::optional<DWORD> seconds = ParseUnsigned(args[0].c_str());
  if (!seconds) {
    PrintError("bad number of seconds \"%s\"", args[0].c_str());
    return kUsage;
  }
  std::vector<std::string> names(args.begin() + 1, args.end());
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) {
      PrintError("empty service name");
      return kUsage;
    }
    for (size_t j = 0; j < i; ++j) {
      if (_stricmp(names[i].c_str(), names[j].c_str()) == 0) {
        PrintError("service %s given twice", names[i].c_str());
        return kUsage;
      }
    }
  }

  EventLog log;
  if (!options.logFile.empty() && !log.OpenFile(options.logFile)) {
    PrintError("cannot open %s for appending", options.logFile.c_str());
    return kFailure;
  }
  DdeListener listener([&log](const std::string& name, const std::string& event) {
    log.Line(std::to_string(MillisSinceStart()) + " " + name + " " + event);
  });
  listener.SetInitiateDelay(initiateDelayMs);
  if (!listener.Start(names)) return kFailure;
  log.Line("READY");

  WatchStdinForQuit();
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(*seconds) * 1000;
  PumpMessagesUntil(deadline, [] { return quitRequested.load(); });
  listener.Stop();
  return kOk;
}

int RunWindows(const Args& args, const Options& /*options*/) {
  HWND top = FindTopLevelOrReport(args[0]);
  if (top == nullptr) return kWindowNotFound;
  RECT client{};
  GetClientRect(top, &client);
  PrintLine("WINDOW|" + std::to_string(IsWindowVisible(top) ? 1 : 0) + "|" +
            std::to_string(client.right - client.left) + "," +
            std::to_string(client.bottom - client.top) + "|" + StateOf(top) + "|" +
            OneLine(args[0]));
  for (HWND child : ChildrenOf(top)) {
    RECT rect = ClientRectIn(top, child);
    PrintLine(ClassOf(child) + "|" + std::to_string(IsWindowVisible(child) ? 1 : 0) + "|" +
              std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
              std::to_string(rect.right - rect.left) + "," +
              std::to_string(rect.bottom - rect.top) + "|" + OneLine(WindowText(child)));
  }
  return kOk;
}

int RunClose(const Args& args, const Options& /*options*/) {
  HWND top = FindTopLevelOrReport(args[0]);
  if (top == nullptr) return kWindowNotFound;
  return PostMessageA(top, WM_CLOSE, 0, 0) ? kOk : kFailure;
}

int RunShow(const Args& args, int how) {
  HWND top = FindTopLevelOrReport(args[0]);
  if (top == nullptr) return kWindowNotFound;
  ShowWindow(top, how);  // the return value is the previous visibility, not success
  return kOk;
}

int RunMinimize(const Args& args, const Options& /*options*/) {
  return RunShow(args, SW_MINIMIZE);
}
int RunRestore(const Args& args, const Options& /*options*/) { return RunShow(args, SW_RESTORE); }

// Posts WM_CHAR for each character to the Edit child whose text is CONTROLTEXT.
int RunType(const Args& args, const Options& /*options*/) {
  HWND top = FindTopLevelOrReport(args[0]);
  if (top == nullptr) return kWindowNotFound;
  HWND target = nullptr;
  for (HWND child : ChildrenOf(top)) {
    if (_stricmp(ClassOf(child).c_str(), "Edit") == 0 && WindowText(child) == args[1]) {
      target = child;
      break;
    }
  }
  if (target == nullptr) {
    PrintError("no edit control showing \"%s\"", args[1].c_str());
    return kWindowNotFound;
  }
  for (unsigned char c : Unescape(args[2])) {
    if (!PostMessageA(target, WM_CHAR, c, 1)) return kFailure;
  }
  return kOk;
}

// The child of window CAPTION at 0-based INDEX in the order `windows` lists them, or null
// after reporting why not.
HWND ChildAtOrReport(const std::string& caption, const std::string& index) {
  HWND top = FindTopLevelOrReport(caption);
  if (top == nullptr) return nullptr;
  std::optional<DWORD> position = ParseUnsigned(index.c_str());
  std::vector<HWND> children = ChildrenOf(top);
  if (!position || *position >= children.size()) {
    PrintError("\"%s\" has no child number %s (it has %u)", caption.c_str(), index.c_str(),
               static_cast<unsigned>(children.size()));
    return nullptr;
  }
  return children[*position];
}

// Puts `text` on the clipboard as CF_TEXT. The clipboard needs an owner window for
// SetClipboardData to succeed; `owner` must outlive the paste that reads it.
bool PutOnClipboard(HWND owner, const std::string& text) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (block == nullptr) return false;
  void* bytes = GlobalLock(block);
  if (bytes == nullptr) {
    GlobalFree(block);
    return false;
  }
  std::memcpy(bytes, text.c_str(), text.size() + 1);
  GlobalUnlock(block);
  if (!OpenClipboard(owner)) {
    GlobalFree(block);
    return false;
  }
  // Once SetClipboardData succeeds the block belongs to the clipboard.
  bool placed = EmptyClipboard() && SetClipboardData(CF_TEXT, block) != nullptr;
  CloseClipboard();
  if (!placed) GlobalFree(block);
  return placed;
}

// Sends `message` to another process's window and waits for its window procedure to
// return; false when it did not in time.
bool SendAndWait(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG,
                             kWindowTextTimeoutMs, &result) != 0;
}

// How long `edit` waits after posting keys: a sent message would overtake posted ones, so
// nothing tells when the target has taken them; an idle program takes them in milliseconds.
constexpr DWORD kPostedKeysSettleMs = 300;

// Edits the child at INDEX as a person would: selects the whole text, then types TEXT
// (posted WM_CHAR per character, \r \n \t \\ understood), presses Delete (posted
// WM_KEYDOWN and WM_KEYUP VK_DELETE), cuts (WM_CUT) or pastes TEXT (put on the clipboard,
// then WM_PASTE). Returns once the target has had its chance to act on it.
int RunEdit(const Args& args, const Options& /*options*/) {
  const std::string& action = args[2];
  const bool takesText = action == "type" || action == "paste";
  if (!takesText && action != "delete" && action != "cut") {
    PrintError("unknown edit action \"%s\" (type, delete, cut or paste)", action.c_str());
    return kUsage;
  }
  if (takesText != (args.size() == 4)) {
    PrintError("edit %s %s", action.c_str(), takesText ? "needs TEXT" : "takes no TEXT");
    return kUsage;
  }
  HWND target = ChildAtOrReport(args[0], args[1]);
  if (target == nullptr) return kWindowNotFound;

  // Select all, so that what is typed or pasted replaces the text when the box takes it.
  if (!SendAndWait(target, EM_SETSEL, 0, -1)) return kTimeout;
  if (action == "type") {
    for (unsigned char c : Unescape(args[3])) {
      if (!PostMessageA(target, WM_CHAR, c, 1)) return kFailure;
    }
    Sleep(kPostedKeysSettleMs);
  } else if (action == "delete") {
    const LPARAM scanCode = static_cast<LPARAM>(MapVirtualKeyA(VK_DELETE, MAPVK_VK_TO_VSC)) << 16;
    // Delete is an extended key (bit 24); the key-up carries the previous-state and
    // transition bits (30, 31).
    const LPARAM down = 1 | scanCode | (1 << 24);
    const LPARAM up = down | (1 << 30) | (static_cast<LPARAM>(1) << 31);
    if (!PostMessageA(target, WM_KEYDOWN, VK_DELETE, down) ||
        !PostMessageA(target, WM_KEYUP, VK_DELETE, up)) {
      return kFailure;
    }
    Sleep(kPostedKeysSettleMs);
  } else if (action == "cut") {
    if (!SendAndWait(target, WM_CUT, 0, 0)) return kTimeout;
  } else {
    // A window of our own owns the clipboard while the target pastes from it.
    HWND owner = CreateWindowExA(0, "STATIC", "suite_client clipboard", 0, 0, 0, 0, 0,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (owner == nullptr || !PutOnClipboard(owner, Unescape(args[3]))) {
      PrintError("could not put the text on the clipboard");
      if (owner != nullptr) DestroyWindow(owner);
      return kFailure;
    }
    bool pasted = SendAndWait(target, WM_PASTE, 0, 0);
    DestroyWindow(owner);
    if (!pasted) return kTimeout;
  }
  return kOk;
}

// Prints 1 when the child at INDEX is a tab stop (WS_TABSTOP), else 0.
int RunTabStop(const Args& args, const Options& /*options*/) {
  HWND target = ChildAtOrReport(args[0], args[1]);
  if (target == nullptr) return kWindowNotFound;
  PrintLine((GetWindowLongA(target, GWL_STYLE) & WS_TABSTOP) != 0 ? "1" : "0");
  return kOk;
}

// Which of the options a command understands.
enum OptionSet : unsigned { kNoOptions = 0, kRawOption = 1, kLogOption = 2, kStampOption = 4 };

struct Command {
  const char* name;
  size_t minArgs;
  size_t maxArgs;
  unsigned options;
  const char* synopsis;
  int (*run)(const Args&, const Options&);
};

constexpr size_t kAnyNumber = SIZE_MAX;

constexpr Command kCommands[] = {
    {"request", 3, 3, kRawOption, "request SERVICE TOPIC ITEM", RunRequest},
    {"execute", 3, 4, kRawOption | kStampOption, "execute SERVICE TOPIC COMMAND [TIMEOUT_MS]", RunExecute},
    {"watch", 4, 4, kRawOption, "watch SERVICE TOPIC ITEM SECONDS", RunWatch},
    {"burst", 4, kAnyNumber, kNoOptions, "burst SERVICE TOPIC DELAY_MS COMMAND [COMMAND...]", RunBurst},
    {"listen", 2, kAnyNumber, kLogOption, "listen [--initiate-delay MS] SECONDS NAME [NAME...]", RunListen},
    {"hang", 1, 1, kNoOptions, "hang SECONDS", RunHang},
    {"windows", 1, 1, kNoOptions, "windows CAPTION", RunWindows},
    {"close", 1, 1, kNoOptions, "close CAPTION", RunClose},
    {"minimize", 1, 1, kNoOptions, "minimize CAPTION", RunMinimize},
    {"restore", 1, 1, kNoOptions, "restore CAPTION", RunRestore},
    {"type", 3, 3, kNoOptions, "type CAPTION CONTROLTEXT CHARS", RunType},
    {"edit", 3, 4, kNoOptions, "edit CAPTION INDEX type|delete|cut|paste [TEXT]", RunEdit},
    {"tabstop", 2, 2, kNoOptions, "tabstop CAPTION INDEX", RunTabStop},
};

void PrintUsage() {
  std::fputs(
      "usage: suite_client [--raw] [--stamp] [--log FILE] COMMAND ARGS...\n"
      "commands:\n",
      stderr);
  for (const Command& command : kCommands) std::fprintf(stderr, "  %s\n", command.synopsis);
  std::fputs(
      "options (before the command):\n"
      "  --raw       request, execute and watch speak the DDE message protocol from a\n"
      "              hidden window (as the suite's forms programs do) instead of DDEML.\n"
      "  --log FILE  listen also appends each line it prints to FILE.\n"
      "  --stamp     execute adds the UTC time its answer came, as 2026-12-06T21:40:01.123Z.\n"
      "\n"
      "request  prints the item's CF_TEXT value.\n"
      "execute  prints ACK, NACK, TIMEOUT, NOCONNECT or FAILED.\n"
      "hang     shows a window, prints READY, then serves no message for SECONDS.\n"
      "burst    connects one raw conversation per COMMAND, then posts them DELAY_MS apart\n"
      "         without waiting, and prints each answer (ACK, NACK, ...) in order.\n"
      "watch    prints the current value once the hot link is up, then each advised value,\n"
      "         one per line.\n"
      "listen   serves topic DDEClient under each service NAME, as the suite's programs do\n"
      "         for the bridge: accepts connects, hot links on RequestDDEConnection (its\n"
      "         value is empty) and every EXECUTE. Prints READY once all names are\n"
      "         registered, then one line per event: MS NAME EVENT, MS counted from the\n"
      "         tool's start, EVENT one of CONNECT, ADVSTART ITEM, EXECUTE COMMAND,\n"
      "         DISCONNECT; a refused ADVSTART, REQUEST or POKE shows as EVENT ITEM REFUSED.\n"
      "         Ends after SECONDS, or earlier at a line \"quit\" on stdin when stdin is\n"
      "         a pipe. --initiate-delay MS answers each initiate for a NAME only after MS\n"
      "         milliseconds (a program busy for a moment), keeping its sender waiting.\n"
      "windows  prints WINDOW|visible|clientwidth,clientheight|state|caption, then one\n"
      "         line per child: class|visible|left,top,width,height|text (client pixels).\n"
      "         In watch, listen and windows lines \\, CR, LF, TAB appear as \\\\ \\r \\n \\t.\n"
      "close, minimize, restore act on the top-level window with exactly that caption.\n"
      "type     posts WM_CHAR per character (\\r \\n \\t \\\\ understood) to the edit\n"
      "         control whose text is CONTROLTEXT.\n"
      "edit     acts on the child at INDEX (0-based, in the order windows lists them) as\n"
      "         a person would: selects its whole text, then types TEXT (WM_CHAR per\n"
      "         character), presses Delete, cuts (WM_CUT) or pastes TEXT through the\n"
      "         clipboard (WM_PASTE); it returns once the control has had its chance.\n"
      "tabstop  prints 1 when the child at INDEX is a tab stop (WS_TABSTOP), else 0.\n"
      "\n"
      "exit codes: 0 ok, 1 usage, 2 no connection, 3 refused (request failed, NACK),\n"
      "            4 window not found, 5 timeout, 6 other failure.\n",
      stderr);
}

const Command* FindCommand(std::string_view name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

int UsageError(const char* format, const char* detail) {
  PrintError(format, detail);
  PrintUsage();
  return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
  StartClock();
  // Binary mode: bash wants "\n" line ends, not "\r\n".
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);

  Options options;
  int next = 1;
  while (next < argc && std::strncmp(argv[next], "--", 2) == 0) {
    std::string_view option = argv[next];
    if (option == "--raw") {
      options.raw = true;
      ++next;
    } else if (option == "--stamp") {
      options.stamp = true;
      ++next;
    } else if (option == "--log") {
      if (next + 1 >= argc || argv[next + 1][0] == '\0') {
        return UsageError("%s needs a file name", argv[next]);
      }
      options.logFile = argv[next + 1];
      next += 2;
    } else {
      return UsageError("unknown option \"%s\"", argv[next]);
    }
  }
  if (next >= argc) {
    PrintUsage();
    return kUsage;
  }
  const Command* command = FindCommand(argv[next]);
  if (command == nullptr) return UsageError("unknown command \"%s\"", argv[next]);
  Args args(argv + next + 1, argv + argc);
  if (args.size() < command->minArgs || args.size() > command->maxArgs) {
    return UsageError("wrong number of arguments; usage: %s", command->synopsis);
  }
  if (options.stamp && (command->options & kStampOption) == 0) {
    return UsageError("--stamp does not apply to %s", command->name);
  }
  if (options.raw && (command->options & kRawOption) == 0) {
    return UsageError("--raw does not apply to %s", command->name);
  }
  if (!options.logFile.empty() && (command->options & kLogOption) == 0) {
    return UsageError("--log does not apply to %s", command->name);
  }
  return command->run(args, options);
}
