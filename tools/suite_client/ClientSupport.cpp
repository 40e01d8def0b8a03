// What the suite client's parts share.
#include "ClientSupport.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace tools::suite_client {

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

namespace {

// The clock of `listen`: set once by main before anything else runs.
LARGE_INTEGER clockStart{};
LARGE_INTEGER clockFrequency{};

}  // namespace

bool RunsUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

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

namespace {

// A line "quit" on stdin ends `listen` or `watchall` early. Only a pipe is read: reading a
// terminal from a background job would stop the whole process, and /dev/null or a file mean
// nobody talks.
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

}  // namespace

bool QuitRequested() { return quitRequested.load(); }

void WatchStdinForQuit() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return;
  if (GetFileType(input) != FILE_TYPE_PIPE) return;
  mainThreadId = GetCurrentThreadId();
  HANDLE thread = CreateThread(nullptr, 0, &ReadQuitLines, nullptr, 0, nullptr);
  if (thread != nullptr) CloseHandle(thread);  // it ends with the process
}

SentMessageUnblocker::SentMessageUnblocker() : target_(GetCurrentThreadId()) {
  MSG msg;
  PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // this thread needs a queue
  stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (stop_ != nullptr) thread_ = CreateThread(nullptr, 0, &Run, this, 0, nullptr);
}

SentMessageUnblocker::~SentMessageUnblocker() {
  if (thread_ != nullptr) {
    SetEvent(stop_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  if (stop_ != nullptr) CloseHandle(stop_);
}

DWORD WINAPI SentMessageUnblocker::Run(void* param) {
  auto* self = static_cast<SentMessageUnblocker*>(param);
  while (WaitForSingleObject(self->stop_, kIntervalMs) == WAIT_TIMEOUT) {
    PostThreadMessageA(self->target_, WM_NULL, 0, 0);
  }
  return 0;
}

}  // namespace tools::suite_client
