// The benchmark client's EXECUTE thread.
#include "BenchTrigger.h"

#include <utility>

#include "../suite_client/ClientSupport.h"
#include "BenchClock.h"
#include "BenchDde.h"

namespace tools::bench {

constexpr DWORD kExecuteTimeoutMs = 5000;

BenchTrigger::BenchTrigger(std::string service, std::string topic)
    : service_(std::move(service)), topic_(std::move(topic)) {
  go_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  done_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (go_ != nullptr && done_ != nullptr) thread_ = CreateThread(nullptr, 0, &Run, this, 0, nullptr);
}

BenchTrigger::~BenchTrigger() {
  if (thread_ != nullptr) {
    stop_ = true;
    SetEvent(go_);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
  }
  if (go_ != nullptr) CloseHandle(go_);
  if (done_ != nullptr) CloseHandle(done_);
}

bool BenchTrigger::Connected() {
  if (thread_ == nullptr) return false;
  if (!connectWaited_) {
    Wait(kExecuteTimeoutMs);
    connectWaited_ = true;
  }
  return connected_;
}

void BenchTrigger::Send(std::string command) {
  command_ = std::move(command);
  sent_ = answered_ = 0;
  acknowledged_ = false;
  SetEvent(go_);
}

bool BenchTrigger::Wait(DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    const DWORD result = MsgWaitForMultipleObjects(1, &done_, FALSE,
                                                   static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    if (result == WAIT_OBJECT_0) return true;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

DWORD WINAPI BenchTrigger::Run(void* param) {
  static_cast<BenchTrigger*>(param)->Loop();
  return 0;
}

void BenchTrigger::Loop() {
  suite_client::SentMessageUnblocker unblocker;
  BenchDde dde;
  HCONV conversation = dde.Connect(service_.c_str(), topic_.c_str());
  connected_ = conversation != nullptr;
  SetEvent(done_);
  while (!stop_) {
    const DWORD result = MsgWaitForMultipleObjects(1, &go_, FALSE, INFINITE, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0) {
      if (stop_ || !connected_) break;
      sent_ = Ticks();
      acknowledged_ = dde.Execute(conversation, command_, kExecuteTimeoutMs);
      answered_ = Ticks();
      SetEvent(done_);
      continue;
    }
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

}  // namespace tools::bench
