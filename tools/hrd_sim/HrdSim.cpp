// hrd_sim: a stand-in for the rig-control program the bridge talks to. It serves the DDE
// service HRD_RADIO_000, topic HRD_CAT, with the radio's state as CF_TEXT items, answers
// REQUEST, hot and warm advise loops and EXECUTE commands, and logs every command it
// receives. A script steers it while it runs through a control file and/or its standard
// input (see PrintUsage), so the bridge can be set up and tested without a radio.
//
// The parts: RadioModel (items and commands) and SimOptions (command line and control
// commands) are portable and unit-tested natively; SimDdeServer, SimLog and ControlInput
// are the Windows side; this file holds the host window and main.
//
// Threads: everything DDE runs on the main (UI) thread. The only other thread reads the
// standard input and hands each line to the UI thread with PostMessage.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ControlInput.h"
#include "RadioModel.h"
#include "SimDdeServer.h"
#include "SimLog.h"
#include "SimOptions.h"
#include "SimStamps.h"

namespace tools::hrd_sim {
namespace {

constexpr UINT kControlPollMs = 50;
constexpr UINT_PTR kControlPollTimerId = 1;

// Posted to the host window to end the program in order (console Ctrl+C, close, ...).
constexpr UINT kMsgQuit = WM_APP + 2;
// Posted to the host window by a running sweep: its next turn.
constexpr UINT kMsgSweepTurn = WM_APP + 4;

// The program: a hidden message-only window that owns the timers and takes control lines.
class Simulator {
 public:
  Simulator(Log& log, Stamps& stamps, Options options)
      : log_(log),
        stamps_(stamps),
        options_(std::move(options)),
        radio_(options_.items, options_.changesAfterRequest) {}
  ~Simulator() {
    server_.reset();
    if (window_ != nullptr) DestroyWindow(window_);
  }
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  int Run() {
    if (!CreateHostWindow()) {
      log_.Line("ERROR cannot create the host window");
      return kExitStartFailed;
    }
    server_.emplace(log_, stamps_, window_, radio_);
    server_->SetConnectDelay(options_.connectDelay);
    if (int rc = server_->Start(); rc != kExitOk) return rc;

    if (!options_.controlPath.empty()) {
      control_.emplace(options_.controlPath);
      if (SetTimer(window_, kControlPollTimerId, kControlPollMs, nullptr) == 0) {
        log_.Line("ERROR cannot start the control file timer");
        return kExitStartFailed;
      }
    }
    if (StdinReader::Wanted() && !StdinReader::Start(window_)) {
      log_.Line("ERROR cannot start the stdin reader");
      return kExitStartFailed;
    }
    SetConsoleCtrlHandler(&Simulator::OnConsoleEvent, TRUE);

    std::fputs("READY\n", stdout);
    std::fflush(stdout);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    SetConsoleCtrlHandler(&Simulator::OnConsoleEvent, FALSE);
    DropQueuedLines();
    return kExitOk;
  }

 private:
  bool CreateHostWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &Simulator::WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "HrdSimHost";
    if (RegisterClassA(&windowClass) == 0) return false;
    window_ = CreateWindowExA(0, windowClass.lpszClassName, "hrd_sim", 0, 0, 0, 0, 0,
                              HWND_MESSAGE, nullptr, windowClass.hInstance, this);
    return window_ != nullptr;
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
      SetWindowLongPtrA(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Simulator*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr) {
      switch (message) {
        case WM_TIMER:
          self->OnTimer(wParam);
          return 0;
        case kMsgControlLine: {
          auto* line = reinterpret_cast<std::string*>(lParam);
          self->OnControlLine(*line);
          delete line;
          return 0;
        }
        case kMsgQuit:
          self->Quit();
          return 0;
        case kMsgSweepTurn:
          self->OnSweepTurn();
          return 0;
        case kMsgChangeItem: {
          auto* change = reinterpret_cast<std::pair<std::string, std::string>*>(lParam);
          if (self->server_ && !self->quitting_) self->server_->SetItem(change->first, change->second);
          delete change;
          return 0;
        }
        default:
          break;
      }
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  // Runs on a thread of its own; only posts to the UI thread.
  static BOOL WINAPI OnConsoleEvent(DWORD /*event*/) {
    DdeServer* server = DdeServer::Current();
    if (server == nullptr) return FALSE;
    return PostMessageA(server->host(), kMsgQuit, 0, 0);
  }

  void OnTimer(UINT_PTR timerId) {
    if (timerId == kControlPollTimerId) {
      stamps_.Flush();
      if (control_) {
        for (const std::string& line : control_->NewLines()) OnControlLine(line);
      }
      return;
    }
    if (server_) server_->OnTimer(timerId);
  }

  void OnControlLine(const std::string& rawLine) {
    const ControlCommand command = ParseControl(rawLine);
    if (command.kind == ControlCommand::Kind::Blank || !server_ || quitting_) return;
    log_.Line("CONTROL " + OneLine(command.line));
    switch (command.kind) {
      case ControlCommand::Kind::Set:
        server_->SetItem(command.item, command.value);
        break;
      case ControlCommand::Kind::Ack:
        radio_.SetExecuteReply(ExecuteReply::Ack);
        break;
      case ControlCommand::Kind::Refuse:
        radio_.SetExecuteReply(ExecuteReply::Refuse);
        break;
      case ControlCommand::Kind::Stall:
        radio_.SetExecuteReply(ExecuteReply::Stall, command.ms);
        break;
      case ControlCommand::Kind::Sweep:
        StartSweep(command.sweep);
        break;
      case ControlCommand::Kind::Quit:
        Quit();
        break;
      case ControlCommand::Kind::Invalid:
        log_.Line("CONTROL? " + command.problem);
        break;
      case ControlCommand::Kind::Blank:
        break;
    }
  }

  // A new sweep replaces one still running.
  void StartSweep(const Sweep& sweep) {
    sweep_ = sweep;
    sweepNext_ = 0;
    log_.Line("SWEEP START");
    OnSweepTurn();
  }

  // Many changes in one turn of the message loop, so a client that keeps up with HRD one
  // change per message is what a benchmark sees, not this loop.
  void OnSweepTurn() {
    if (!sweep_ || !server_ || quitting_) return;
    for (std::uint32_t n = 0; n < sweep_->perTurn && sweepNext_ < sweep_->count; ++n) {
      server_->SetItemQuietly(kItemHertz, std::to_string(sweep_->HertzAt(sweepNext_++)));
    }
    if (sweepNext_ < sweep_->count && PostMessageA(window_, kMsgSweepTurn, 0, 0)) return;
    log_.Line("SWEEP END " + std::to_string(sweepNext_) + " changes");
    sweep_.reset();
  }

  void Quit() {
    if (quitting_) return;
    quitting_ = true;
    log_.Line("QUIT");
    KillTimer(window_, kControlPollTimerId);
    if (server_) server_->Stop();
    stamps_.Flush();
    PostQuitMessage(kExitOk);
  }

  // Lines the stdin thread posted after the end: free their strings.
  void DropQueuedLines() {
    MSG msg;
    while (PeekMessageA(&msg, window_, kMsgControlLine, kMsgControlLine, PM_REMOVE)) {
      delete reinterpret_cast<std::string*>(msg.lParam);
    }
  }

  Log& log_;
  Stamps& stamps_;
  Options options_;
  Radio radio_;
  HWND window_ = nullptr;
  std::optional<DdeServer> server_;
  std::optional<ControlFile> control_;
  bool quitting_ = false;
  std::optional<Sweep> sweep_;
  std::uint32_t sweepNext_ = 0;
};

}  // namespace
}  // namespace tools::hrd_sim

int main(int argc, char** argv) {
  using namespace tools::hrd_sim;
  // Binary mode: scripts want "\n" line ends, not "\r\n".
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);

  std::string error;
  std::optional<Options> options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "hrd_sim: %s\n", error.c_str());
    PrintUsage(stderr);
    return kExitUsage;
  }
  if (options->help) {
    PrintUsage(stdout);
    return kExitOk;
  }

  Log log;
  if (!options->logPath.empty() && !log.OpenFile(options->logPath)) {
    std::fprintf(stderr, "hrd_sim: cannot open log file \"%s\"\n", options->logPath.c_str());
    return kExitStartFailed;
  }
  Stamps stamps;
  if (!options->stampsPath.empty() && !stamps.Open(options->stampsPath)) {
    std::fprintf(stderr, "hrd_sim: cannot open stamps file \"%s\"\n", options->stampsPath.c_str());
    return kExitStartFailed;
  }
  Simulator simulator(log, stamps, std::move(*options));
  return simulator.Run();
}
