// One DDEML client instance of the benchmark client: conversations, EXECUTEs and hot links,
// with the time each advised value arrived.
#pragma once

#include <windows.h>
#include <ddeml.h>

#include <string>
#include <vector>

namespace tools::bench {

/// An advised value and when the DDEML callback had it, in QueryPerformanceCounter ticks.
struct Arrival {
  long long ticks = 0;
  std::string value;
};

/// A DDEML client instance. A process may hold several (DDEML allows one conversation per
/// service and topic in each under Wine); the callback finds the owner of a conversation
/// through a static list, as DDEML hands it no user data. Instances on other threads must be
/// made before, and ended after, those that receive advises. Failures come back as false or
/// null; nothing throws.
class BenchDde {
 public:
  BenchDde();
  ~BenchDde();
  BenchDde(const BenchDde&) = delete;
  BenchDde& operator=(const BenchDde&) = delete;

  bool ready() const { return instance_ != 0; }

  /// A new conversation, or null when nobody serves the service and topic.
  HCONV Connect(const char* service, const char* topic);
  /// An EXECUTE of `command` (NUL included, as ANSI servers expect); true when acknowledged.
  bool Execute(HCONV conversation, const std::string& command, DWORD timeoutMs);
  /// Starts a hot advise loop on `item`; its values gather in arrivals().
  bool HotLink(HCONV conversation, const char* item, DWORD timeoutMs);
  /// The CF_TEXT value of `item`, or "" when the request fails.
  std::string Request(HCONV conversation, const char* item, DWORD timeoutMs);

  std::vector<Arrival>& arrivals() { return arrivals_; }

 private:
  static BenchDde* OwnerOf(HCONV conversation);
  static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1,
                                    HSZ hsz2, HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);

  static inline std::vector<BenchDde*> all_;

  DWORD instance_ = 0;
  std::vector<HCONV> conversations_;
  std::vector<Arrival> arrivals_;
};

}  // namespace tools::bench
