// The commands that read and act on another program's windows: windows, close, minimize,
// restore, type, edit, tabstop; modules, what the program behind a window has loaded;
// procstats, what it holds (memory, handles, window and GDI objects); and hang, a program
// hung on the desktop.
#include <windows.h>
#include <tlhelp32.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "ClientSupport.h"
#include "Commands.h"
#include "ProcessFigures.h"

namespace tools::suite_client {

namespace {

// The current text of a window, or nothing when the window did not answer in time. WM_GETTEXT
// is used rather than GetWindowText, which for a control of another process gives the
// creation text instead of what the control shows. The length is asked in the wide form:
// Wine follows an ANSI WM_GETTEXTLENGTH that timed out with a WM_GETTEXT of no time limit.
// A wide character takes at most two bytes in the ANSI text.
std::optional<std::string> WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                           kWindowTextTimeoutMs, &length)) {
    return std::nullopt;
  }
  std::vector<char> buffer(2 * length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(),
                           reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                           kWindowTextTimeoutMs, &copied)) {
    return std::nullopt;
  }
  return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

struct CaptionSearch {
  const std::string* caption;
  HWND found;
};

// Enumeration callbacks are stdcall on 32-bit Windows: plain CALLBACK functions, not lambdas.
BOOL CALLBACK MatchCaption(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<CaptionSearch*>(param);
  int length = GetWindowTextLengthA(window);
  if (length != static_cast<int>(search->caption->size())) return TRUE;
  std::string text(length + 1, '\0');
  GetWindowTextA(window, text.data(), length + 1);
  text.resize(length);
  if (text != *search->caption) return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

// The top-level window whose caption is exactly `caption` (FindWindow ignores case).
HWND FindTopLevel(const std::string& caption) {
  CaptionSearch search{&caption, nullptr};
  EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&children));
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

}  // namespace

// Shows a top-level window with a text box and then stops serving messages for SECONDS: a
// program hung on the desktop, for checking that others do not hang with it (nor take the
// box's text, which does not come, for an empty one).
int RunHang(const Args& args, const Options& /*options*/) {
  std::optional<DWORD> seconds = ParseUnsigned(args[0].c_str());
  if (!seconds) {
    PrintError("bad number of seconds \"%s\"", args[0].c_str());
    return kUsage;
  }
  HWND window = CreateWindowExA(0, "STATIC", "suite_client hung window", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  if (window == nullptr) return kFailure;
  CreateWindowExA(0, "EDIT", "hung", WS_CHILD | WS_VISIBLE, 0, 0, 1, 1, window, nullptr, GetModuleHandleA(nullptr),
                  nullptr);
  PumpMessagesUntil(GetTickCount64() + 100, [] { return false; });
  PrintLine("READY");
  Sleep(*seconds * 1000);
  DestroyWindow(window);
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
  // A text that does not come is not taken for an empty one: the line is printed without
  // it, and the command says which it was and fails.
  int status = kOk;
  int index = 0;
  for (HWND child : ChildrenOf(top)) {
    RECT rect = ClientRectIn(top, child);
    const std::optional<std::string> text = WindowText(child);
    PrintLine(ClassOf(child) + "|" + std::to_string(IsWindowVisible(child) ? 1 : 0) + "|" +
              std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
              std::to_string(rect.right - rect.left) + "," +
              std::to_string(rect.bottom - rect.top) + "|" + OneLine(text.value_or("")));
    if (!text) {
      PrintError("child %d did not give its text within %u ms", index, kWindowTextTimeoutMs);
      status = kTimeout;
    }
    ++index;
  }
  return status;
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

// Prints the full path of each module loaded in the process of window CAPTION: which
// comctl32.dll it was given, for one, tells whether Windows honoured its manifest.
int RunModules(const Args& args, const Options& /*options*/) {
  HWND top = FindTopLevelOrReport(args[0]);
  if (top == nullptr) return kWindowNotFound;
  DWORD process = 0;
  GetWindowThreadProcessId(top, &process);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, process);
  if (snapshot == INVALID_HANDLE_VALUE) {
    PrintError("cannot list the modules of process %lu (error %lu)", process, GetLastError());
    return kFailure;
  }
  MODULEENTRY32 module{};
  module.dwSize = sizeof module;
  for (BOOL more = Module32First(snapshot, &module); more; more = Module32Next(snapshot, &module)) {
    PrintLine(module.szExePath);
  }
  CloseHandle(snapshot);
  return kOk;
}

// Prints what the process of the top-level window CAPTION holds, on one line:
// private_bytes=N working_set=N handles=N user_objects=N gdi_objects=N, -1 for a figure
// the system does not report (Wine reports no window or GDI object counts).
int RunProcStats(const Args& args, const Options& /*options*/) {
  HWND top = FindTopLevelOrReport(args[0]);
  if (top == nullptr) return kWindowNotFound;
  DWORD processId = 0;
  GetWindowThreadProcessId(top, &processId);
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
  if (process == nullptr) {
    PrintError("cannot open process %lu (error %lu)", processId, GetLastError());
    return kFailure;
  }
  const ProcessFigures figures = MeasureProcess(process, processId);
  CloseHandle(process);
  PrintLine(figures.Line());
  return kOk;
}

}  // namespace tools::suite_client
