// Sends EXECUTEs from a thread of its own, so that the synchronous transaction's wait never
// handles the main thread's messages: under Wine it can swallow an advise meant for another
// DDEML instance of the same thread.
#pragma once

#include <windows.h>

#include <string>

namespace tools::bench {

/// One DDEML instance with one conversation, on its own thread. Send and Wait are called from
/// the main thread, one Send at a time. Failures come back as false; nothing throws.
class BenchTrigger {
 public:
  BenchTrigger(std::string service, std::string topic);
  ~BenchTrigger();
  BenchTrigger(const BenchTrigger&) = delete;
  BenchTrigger& operator=(const BenchTrigger&) = delete;

  /// Whether the thread connected; waits until it has tried.
  bool Connected();
  /// Starts an EXECUTE of `command` on the thread.
  void Send(std::string command);
  /// Until the last Send was answered, handling the calling thread's messages meanwhile;
  /// false after `timeoutMs`.
  bool Wait(DWORD timeoutMs);

  long long sent() const { return sent_; }
  long long answered() const { return answered_; }
  bool acknowledged() const { return acknowledged_; }

 private:
  static DWORD WINAPI Run(void* param);
  void Loop();

  std::string service_;
  std::string topic_;
  HANDLE go_ = nullptr;       // auto-reset: a command is waiting
  HANDLE done_ = nullptr;     // auto-reset: connected, or the command was answered
  HANDLE thread_ = nullptr;
  volatile bool stop_ = false;
  bool connected_ = false;
  bool connectWaited_ = false;
  std::string command_;
  long long sent_ = 0;
  long long answered_ = 0;
  bool acknowledged_ = false;
};

}  // namespace tools::bench
