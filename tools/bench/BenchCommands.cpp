// The benchmark client's measurements. Each runs its samples in a loop in this one process
// and writes them, in QueryPerformanceCounter ticks, to a samples file for the bench script
// to join with the HRD simulator's time stamps.
#include "BenchCommands.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "../suite_client/ClientSupport.h"
#include "BenchClock.h"
#include "BenchDde.h"
#include "BenchTrigger.h"

namespace tools::bench {
namespace {

using suite_client::PumpMessagesUntil;

constexpr DWORD kTimeoutMs = 5000;
constexpr ULONGLONG kArrivalWaitMs = 500;

std::string Substitute(const std::string& format, long long value) {
  std::string text = format;
  const std::size_t at = text.find("%d");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(value));
  return text;
}

std::string WithoutCommas(std::string text) {
  std::string out;
  for (char c : text) {
    if (c != ',') out += c;
  }
  return out;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using SamplesFile = std::unique_ptr<std::FILE, FileCloser>;

SamplesFile Open(const std::string& path) {
  SamplesFile file(OpenSamples(path.c_str()));
  if (!file) std::fprintf(stderr, "bench_client: cannot write %s\n", path.c_str());
  return file;
}

long long Number(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

// Waits until the instance has an advised value other than `previous`; nullopt after the wait.
std::optional<Arrival> WaitForNewValue(BenchDde& dde, const std::string& previous, ULONGLONG waitMs) {
  std::optional<Arrival> found;
  auto newValue = [&] {
    for (const Arrival& arrival : dde.arrivals()) {
      if (arrival.value != previous) {
        found = arrival;
        return true;
      }
    }
    return false;
  };
  PumpMessagesUntil(GetTickCount64() + waitMs, newValue);
  return found;
}

}  // namespace

int RunRoundTrips(const Args& args) {
  const std::string& service = args[0];
  const std::string& topic = args[1];
  const long long count = Number(args[2]);
  SamplesFile out = Open(args[3]);
  if (!out) return 6;
  BenchDde dde;
  HCONV conversation = dde.Connect(service.c_str(), topic.c_str());
  if (conversation == nullptr) {
    std::fprintf(stderr, "bench_client: cannot connect to %s|%s\n", service.c_str(), topic.c_str());
    return 2;
  }
  long long refused = 0;
  for (long long i = 0; i < count; ++i) {
    const std::string& command = args[4 + static_cast<std::size_t>(i) % (args.size() - 4)];
    const long long sent = Ticks();
    const bool ok = dde.Execute(conversation, command, kTimeoutMs);
    const long long answered = Ticks();
    if (!ok) ++refused;
    std::fprintf(out.get(), "%lld %lld %s\n", sent, answered, ok ? "ACK" : "NACK");
  }
  std::printf("%lld sent, %lld not acknowledged\n", count, refused);
  return refused == 0 ? 0 : 3;
}

int RunFollow(const Args& args) {
  const long long count = Number(args[5]);
  const long long from = Number(args[6]);
  const long long step = Number(args[7]);
  SamplesFile out = Open(args[8]);
  if (!out) return 6;
  const std::string& format = args[9];
  // Two instances: under Wine an instance holds one conversation per service and topic,
  // and the watched item may be on the service the commands go to.
  BenchTrigger trigger(args[0], args[1]);
  const bool triggerConnected = trigger.Connected();
  BenchDde watcher;
  HCONV watched = watcher.Connect(args[2].c_str(), args[3].c_str());
  if (!triggerConnected || watched == nullptr) {
    std::fprintf(stderr, "bench_client: cannot connect\n");
    return 2;
  }
  std::string previous = watcher.Request(watched, args[4].c_str(), kTimeoutMs);
  if (!watcher.HotLink(watched, args[4].c_str(), kTimeoutMs)) {
    std::fprintf(stderr, "bench_client: no hot link on %s\n", args[4].c_str());
    return 3;
  }
  long long missed = 0;
  for (long long i = 0; i < count; ++i) {
    watcher.arrivals().clear();
    const long long value = from + i * step;
    const std::string command = Substitute(format, value);
    trigger.Send(command);
    const std::optional<Arrival> arrival = WaitForNewValue(watcher, previous, kArrivalWaitMs);
    trigger.Wait(kArrivalWaitMs);
    if (!arrival) ++missed;
    std::fprintf(out.get(), "%lld %lld %lld %lld %s %s\n", value, trigger.sent(), trigger.answered(),
                 arrival ? arrival->ticks : 0LL,
                 trigger.acknowledged() ? "ACK" : "NACK",
                 arrival ? WithoutCommas(arrival->value).c_str() : "-");
    if (arrival) previous = arrival->value;
  }
  std::printf("%lld sent, %lld without a new value\n", count, missed);
  return missed == 0 ? 0 : 5;
}

int RunWatch(const Args& args) {
  const std::string& final = args[3];
  const ULONGLONG seconds = static_cast<ULONGLONG>(Number(args[4]));
  SamplesFile out = Open(args[5]);
  if (!out) return 6;
  BenchDde dde;
  HCONV conversation = dde.Connect(args[0].c_str(), args[1].c_str());
  if (conversation == nullptr || !dde.HotLink(conversation, args[2].c_str(), kTimeoutMs)) {
    std::fprintf(stderr, "bench_client: cannot watch %s\n", args[2].c_str());
    return 2;
  }
  std::printf("READY\n");
  std::fflush(stdout);
  bool done = false;
  auto reachedFinal = [&] {
    done = !dde.arrivals().empty() && WithoutCommas(dde.arrivals().back().value) == final;
    return done;
  };
  PumpMessagesUntil(GetTickCount64() + seconds * 1000, reachedFinal);
  const std::vector<Arrival>& arrivals = dde.arrivals();
  std::fprintf(out.get(), "%zu %lld %lld %s\n", arrivals.size(),
               arrivals.empty() ? 0LL : arrivals.front().ticks,
               arrivals.empty() ? 0LL : arrivals.back().ticks,
               arrivals.empty() ? "-" : WithoutCommas(arrivals.back().value).c_str());
  return done ? 0 : 5;
}

}  // namespace tools::bench
