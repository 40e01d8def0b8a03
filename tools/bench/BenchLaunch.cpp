// The benchmark client's start-up measurement: from CreateProcess until the program
// answers, or, for a program that serves nothing, until it has run and ended.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../suite_client/ClientSupport.h"
#include "BenchClock.h"
#include "BenchCommands.h"
#include "BenchDde.h"

namespace tools::bench {
namespace {

constexpr DWORD kEndWaitMs = 20000;
constexpr ULONGLONG kAnswerWaitMs = 20000;
constexpr UINT kTextWaitMs = 1000;

struct VersionSearch {
  bool found = false;
};

BOOL CALLBACK FindVersionLabel(HWND child, LPARAM param) {
  char text[64] = {};
  DWORD_PTR copied = 0;
  if (SendMessageTimeoutA(child, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                          kTextWaitMs, &copied) != 0 &&
      std::strncmp(text, "version ", 8) == 0) {
    reinterpret_cast<VersionSearch*>(param)->found = true;
    return FALSE;
  }
  return TRUE;
}

// Whether the window shows its version, the last thing its loading sets.
bool ShowsVersion(HWND window) {
  VersionSearch search;
  EnumChildWindows(window, FindVersionLabel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Waits for the window CAPTION and its version text, then asks "004test" until it is
// acknowledged; false after kAnswerWaitMs. No DDE window of ours exists before the program
// has loaded: while it looks for HRD and the launcher it asks every top-level window, and
// an instance of ours asking it back meanwhile held its start-up up by some 350 ms.
// `shown` gets the time the window was first found.
bool WaitForAnswer(const std::string& caption, const std::string& service, const std::string& topic,
                   long long& shown) {
  const ULONGLONG deadline = GetTickCount64() + kAnswerWaitMs;
  HWND window = nullptr;
  while ((window = FindWindowA(nullptr, caption.c_str())) == nullptr) {
    if (GetTickCount64() >= deadline) return false;
    Sleep(1);
  }
  shown = Ticks();
  while (!ShowsVersion(window)) {
    if (GetTickCount64() >= deadline || !IsWindow(window)) return false;
    Sleep(1);
  }
  BenchDde dde;
  while (GetTickCount64() < deadline) {
    // A failed connect leaves the instance free for the next one.
    HCONV conversation = dde.Connect(service.c_str(), topic.c_str());
    if (conversation != nullptr) return dde.Execute(conversation, "004test", 5000);
    suite_client::PumpMessagesUntil(GetTickCount64() + 1, [] { return false; });
  }
  return false;
}

struct ProcessHandles {
  PROCESS_INFORMATION info{};
  ~ProcessHandles() {
    if (info.hThread != nullptr) CloseHandle(info.hThread);
    if (info.hProcess != nullptr) CloseHandle(info.hProcess);
  }
};

}  // namespace

int RunLaunch(const Args& args) {
  const std::string& exe = args[0];
  const long long count = std::strtoll(args[1].c_str(), nullptr, 10);
  std::FILE* out = OpenSamples(args[2].c_str());
  if (out == nullptr) return 6;
  // With a caption: a DDE server to ask, then close by its window. Without: run to its end.
  const bool serves = args.size() > 3;
  std::string folder = exe.substr(0, exe.find_last_of("\\/") + 1);
  int status = 0;
  for (long long i = 0; i < count && status == 0; ++i) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    ProcessHandles process;
    std::string commandLine = "\"" + exe + "\"";
    const long long started = Ticks();
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process.info)) {
      std::fprintf(stderr, "bench_client: cannot start %s (%lu)\n", exe.c_str(), GetLastError());
      status = 6;
      break;
    }
    bool ok = true;
    long long shown = 0;
    if (serves) {
      ok = WaitForAnswer(args[3], args[4], args[5], shown);
    } else {
      ok = WaitForSingleObject(process.info.hProcess, kEndWaitMs) == WAIT_OBJECT_0;
    }
    const long long ready = Ticks();
    if (serves) {
      HWND window = FindWindowA(nullptr, args[3].c_str());
      if (window != nullptr) PostMessageA(window, WM_CLOSE, 0, 0);
      if (WaitForSingleObject(process.info.hProcess, kEndWaitMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.info.hProcess, 1);
        ok = false;
      }
    }
    if (!ok) {
      std::fprintf(stderr, "bench_client: start %lld of %s did not answer or end\n", i, exe.c_str());
      status = 5;
    }
    std::fprintf(out, "%lld %lld %lld\n", started, ready, shown);
    std::fflush(out);
    // Let the machine settle after a program's end before timing the next start.
    Sleep(300);
  }
  std::fclose(out);
  return status;
}

}  // namespace tools::bench
