// suite_client: stands in for the sibling programs of the radio suite that talk to the
// bridge. It speaks DDEML through the ANSI entry points (as the sibling programs do) and
// pokes at the bridge's window from outside, so scripts can drive and examine the bridge.
//
// Output is meant for bash: values on stdout, one per line, diagnostics on stderr, and the
// exit code tells what went wrong (see ExitCode). Run without arguments for the usage text.

#include <windows.h>
#include <ddeml.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Makes a text safe for a one-line record: backslash, CR, LF and TAB become \\ \r \n \t.
std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out += c; break;
    }
  }
  return out;
}

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

enum class TransactionResult { Ok, Refused, Timeout, Failed };

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
  UINT lastError() const { return instance_ != 0 ? DdeGetLastError(instance_) : 0; }

  bool Connect(const std::string& service, const std::string& topic) {
    StringHandle hszService(instance_, service);
    StringHandle hszTopic(instance_, topic);
    if (!hszService || !hszTopic) return false;
    conversation_ = DdeConnect(instance_, hszService.get(), hszTopic.get(), nullptr);
    disconnected_ = false;
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
      result = ClassifyDdeError(lastError());
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
    return ok != nullptr ? TransactionResult::Ok : ClassifyDdeError(lastError());
  }

  // Starts a hot advise loop (data with every change) on `item`.
  TransactionResult StartHotAdvise(const std::string& item, DWORD timeoutMs) {
    StringHandle hszItem(instance_, item);
    DWORD status = 0;
    HDDEDATA ok = DdeClientTransaction(nullptr, 0, conversation_, hszItem.get(), CF_TEXT,
                                       XTYP_ADVSTART, timeoutMs, &status);
    return ok != nullptr ? TransactionResult::Ok : ClassifyDdeError(lastError());
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

  DWORD instance_ = 0;
  HCONV conversation_ = nullptr;
  bool disconnected_ = false;
  AdviseHandler adviseHandler_;
};

// Starts DDEML and connects; prints NOCONNECT / reports and returns the exit code on error.
int ConnectOrReport(DdeClient& client, const std::string& service, const std::string& topic,
                    bool printNoConnect) {
  if (!client.ready()) return kFailure;
  if (client.Connect(service, topic)) return kOk;
  if (printNoConnect) PrintLine("NOCONNECT");
  PrintError("cannot connect to %s|%s (DMLERR 0x%x)", service.c_str(), topic.c_str(),
             client.lastError());
  return kNoConnect;
}

// Dispatches window messages (DDEML's among them) until `deadline` (GetTickCount64 time)
// or until `stop` says so.
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

int RunRequest(const Args& args) {
  DdeClient client;
  if (int rc = ConnectOrReport(client, args[0], args[1], false); rc != kOk) return rc;
  TransactionResult result;
  std::optional<std::string> value = client.Request(args[2], kDefaultTimeoutMs, result);
  if (!value) {
    PrintError("request %s failed (DMLERR 0x%x)", args[2].c_str(), client.lastError());
    return result == TransactionResult::Timeout ? kTimeout : kRefused;
  }
  PrintLine(*value);
  return kOk;
}

int RunExecute(const Args& args) {
  DWORD timeout = kDefaultTimeoutMs;
  if (args.size() > 3) {
    std::optional<DWORD> parsed = ParseUnsigned(args[3].c_str());
    if (!parsed) {
      PrintError("bad timeout \"%s\"", args[3].c_str());
      return kUsage;
    }
    timeout = *parsed;
  }
  DdeClient client;
  if (int rc = ConnectOrReport(client, args[0], args[1], true); rc != kOk) return rc;
  switch (client.Execute(args[2], timeout)) {
    case TransactionResult::Ok:
      PrintLine("ACK");
      return kOk;
    case TransactionResult::Refused:
      PrintLine("NACK");
      return kRefused;
    case TransactionResult::Timeout:
      PrintLine("TIMEOUT");
      return kTimeout;
    case TransactionResult::Failed:
      break;
  }
  PrintLine("FAILED");
  PrintError("execute failed (DMLERR 0x%x)", client.lastError());
  return kFailure;
}

// Prints the current value, then every value a hot advise loop brings, for SECONDS.
// Exits kFailure early when the server goes away.
int RunWatch(const Args& args) {
  std::optional<DWORD> seconds = ParseUnsigned(args[3].c_str());
  if (!seconds) {
    PrintError("bad number of seconds \"%s\"", args[3].c_str());
    return kUsage;
  }
  const std::string& item = args[2];
  DdeClient client;
  if (int rc = ConnectOrReport(client, args[0], args[1], false); rc != kOk) return rc;

  // Read the current value before the advise loop starts: a synchronous transaction can
  // be cut short when advise data arrives on the same conversation meanwhile.
  TransactionResult result;
  std::optional<std::string> current = client.Request(item, kDefaultTimeoutMs, result);
  if (!current) {
    PrintError("request %s failed (DMLERR 0x%x)", item.c_str(), client.lastError());
    return result == TransactionResult::Timeout ? kTimeout : kRefused;
  }
  PrintLine(OneLine(*current));

  client.SetAdviseHandler([&item](const std::string& adviseItem, const std::string& value) {
    if (_stricmp(adviseItem.c_str(), item.c_str()) == 0) PrintLine(OneLine(value));
  });
  result = client.StartHotAdvise(item, kDefaultTimeoutMs);
  if (result != TransactionResult::Ok) {
    PrintError("advise start on %s failed (DMLERR 0x%x)", item.c_str(), client.lastError());
    return result == TransactionResult::Timeout ? kTimeout : kRefused;
  }

  bool lost = false;
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(*seconds) * 1000;
  PumpMessagesUntil(deadline, [&] { return lost = !client.PartnerAlive(); });
  if (lost) {
    PrintError("the server ended the conversation");
    return kFailure;
  }
  client.StopAdvise(item, kDefaultTimeoutMs);
  return kOk;
}

int RunWindows(const Args& args) {
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

int RunClose(const Args& args) {
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

int RunMinimize(const Args& args) { return RunShow(args, SW_MINIMIZE); }
int RunRestore(const Args& args) { return RunShow(args, SW_RESTORE); }

// Posts WM_CHAR for each character to the Edit child whose text is CONTROLTEXT.
int RunType(const Args& args) {
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

struct Command {
  const char* name;
  size_t minArgs;
  size_t maxArgs;
  const char* synopsis;
  int (*run)(const Args&);
};

constexpr Command kCommands[] = {
    {"request", 3, 3, "request SERVICE TOPIC ITEM", RunRequest},
    {"execute", 3, 4, "execute SERVICE TOPIC COMMAND [TIMEOUT_MS]", RunExecute},
    {"watch", 4, 4, "watch SERVICE TOPIC ITEM SECONDS", RunWatch},
    {"windows", 1, 1, "windows CAPTION", RunWindows},
    {"close", 1, 1, "close CAPTION", RunClose},
    {"minimize", 1, 1, "minimize CAPTION", RunMinimize},
    {"restore", 1, 1, "restore CAPTION", RunRestore},
    {"type", 3, 3, "type CAPTION CONTROLTEXT CHARS", RunType},
};

void PrintUsage() {
  std::fputs(
      "usage: suite_client COMMAND ARGS...\n"
      "commands:\n",
      stderr);
  for (const Command& command : kCommands) std::fprintf(stderr, "  %s\n", command.synopsis);
  std::fputs(
      "\n"
      "request  prints the item's CF_TEXT value.\n"
      "execute  prints ACK, NACK, TIMEOUT, NOCONNECT or FAILED.\n"
      "watch    prints the current value, then each advised value, one per line.\n"
      "windows  prints WINDOW|visible|clientwidth,clientheight|state|caption, then one\n"
      "         line per child: class|visible|left,top,width,height|text (client pixels).\n"
      "         In watch and windows lines \\, CR, LF, TAB appear as \\\\ \\r \\n \\t.\n"
      "close, minimize, restore act on the top-level window with exactly that caption.\n"
      "type     posts WM_CHAR per character (\\r \\n \\t \\\\ understood) to the edit\n"
      "         control whose text is CONTROLTEXT.\n"
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

}  // namespace

int main(int argc, char** argv) {
  // Binary mode: bash wants "\n" line ends, not "\r\n".
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);

  if (argc < 2) {
    PrintUsage();
    return kUsage;
  }
  const Command* command = FindCommand(argv[1]);
  Args args(argv + 2, argv + argc);
  if (command == nullptr || args.size() < command->minArgs || args.size() > command->maxArgs) {
    if (command == nullptr) PrintError("unknown command \"%s\"", argv[1]);
    else PrintError("wrong number of arguments; usage: %s", command->synopsis);
    PrintUsage();
    return kUsage;
  }
  return command->run(args);
}
