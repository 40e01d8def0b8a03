// The commands of a long run: soak, a client sending a seeded random mix of commands and
// checking every answer; watchall, a client holding hot links on many items at once; and
// atoms, the global atoms in use.
#include <windows.h>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ClientSupport.h"
#include "Commands.h"
#include "DdemlClient.h"
#include "RawDdeConversation.h"
#include "SoakMix.h"

namespace tools::suite_client {

namespace {

// An EXECUTE that takes longer than this counts as not answered.
constexpr DWORD kSoakAnswerTimeoutMs = 10000;

struct SoakCounts {
  unsigned long long sent = 0;
  unsigned long long acked = 0;
  unsigned long long nacked = 0;
  unsigned long long wrong = 0;     // answered, but not as the bridge must answer
  unsigned long long timeouts = 0;  // not answered in time
  unsigned long long failed = 0;    // the transaction failed without an answer
  unsigned long long connects = 0;
  unsigned long long noConnect = 0;
  std::map<std::string, unsigned long long> byKind;
};

void Report(const SoakCounts& counts) {
  char line[320];
  std::snprintf(line, sizeof line,
                "sent=%llu ack=%llu nack=%llu wrong=%llu timeout=%llu failed=%llu connects=%llu noconnect=%llu",
                counts.sent, counts.acked, counts.nacked, counts.wrong, counts.timeouts, counts.failed,
                counts.connects, counts.noConnect);
  PrintLine(line);
  std::string kinds = "kinds";
  for (const auto& [kind, count] : counts.byKind) kinds += " " + kind + "=" + std::to_string(count);
  PrintLine(kinds);
}

// Sends the mix over conversations of `Client` for `seconds`, a new conversation (and with
// DDEML a new instance, as Wine needs) every few dozen commands, pausing up to `pauseMs`
// between commands while serving messages. Every command is counted by its answer.
template <typename Client>
int Soak(const Args& args, DWORD seconds, std::uint32_t seed, DWORD pauseMs) {
  SoakMix mix(seed);
  SoakCounts counts;
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  while (GetTickCount64() < deadline) {
    auto client = std::make_unique<Client>();
    if (!client->ready()) return kFailure;
    if (!client->Connect(args[0], args[1])) {
      ++counts.noConnect;
      PrintError("cannot connect to %s|%s (%s)", args[0].c_str(), args[1].c_str(), client->ErrorDetail().c_str());
      client.reset();
      PumpMessagesUntil(GetTickCount64() + 200, [] { return false; });
      continue;
    }
    ++counts.connects;
    for (std::uint32_t left = mix.Below(10, 80); left > 0 && GetTickCount64() < deadline; --left) {
      const SoakCommand command = mix.Next();
      ++counts.sent;
      ++counts.byKind[command.kind];
      const TransactionResult result = client->Execute(command.text, kSoakAnswerTimeoutMs);
      const char* seen = "";
      switch (result) {
        case TransactionResult::Ok: ++counts.acked; seen = "ACK"; break;
        case TransactionResult::Refused: ++counts.nacked; seen = "NACK"; break;
        case TransactionResult::Timeout: ++counts.timeouts; seen = "TIMEOUT"; break;
        case TransactionResult::Failed: ++counts.failed; seen = "FAILED"; break;
      }
      const bool answered = result == TransactionResult::Ok || result == TransactionResult::Refused;
      if (answered && (result == TransactionResult::Ok) != command.accepted) ++counts.wrong;
      if (!answered || (result == TransactionResult::Ok) != command.accepted) {
        PrintError("%lld ms: \"%s\" was answered %s, want %s", MillisSinceStart(), OneLine(command.text).c_str(),
                   seen, command.accepted ? "ACK" : "NACK");
      }
      if (pauseMs > 0) PumpMessagesUntil(GetTickCount64() + mix.Below(0, pauseMs), [] { return false; });
    }
  }
  Report(counts);
  const bool clean = counts.wrong == 0 && counts.timeouts == 0 && counts.failed == 0 && counts.noConnect == 0;
  return clean ? kOk : kFailure;
}

struct WatchedItem {
  std::string value;
  unsigned long long updates = 0;
};

}  // namespace

int RunSoak(const Args& args, const Options& options) {
  std::optional<DWORD> seconds = ParseUnsigned(args[2].c_str());
  std::optional<DWORD> seed = ParseUnsigned(args[3].c_str());
  std::optional<DWORD> pause = args.size() > 4 ? ParseUnsigned(args[4].c_str()) : std::optional<DWORD>(20);
  if (!seconds || !seed || !pause) {
    PrintError("SECONDS, SEED and PAUSE_MS are whole numbers");
    return kUsage;
  }
  return options.raw ? Soak<RawDdeConversation>(args, *seconds, *seed, *pause)
                     : Soak<DdeClient>(args, *seconds, *seed, *pause);
}

// Reads each item, holds a hot link on every one of them over one conversation for SECONDS
// (or until a line "quit" on stdin), then prints ITEM|UPDATES|LAST VALUE per item: what a client linked all along holds at the end.
int RunWatchAll(const Args& args, const Options& /*options*/) {
  std::optional<DWORD> seconds = ParseUnsigned(args[2].c_str());
  if (!seconds) {
    PrintError("bad number of seconds \"%s\"", args[2].c_str());
    return kUsage;
  }
  DdeClient client;
  if (!client.ready()) return kFailure;
  if (!client.Connect(args[0], args[1])) {
    PrintError("cannot connect to %s|%s (%s)", args[0].c_str(), args[1].c_str(), client.ErrorDetail().c_str());
    return kNoConnect;
  }
  std::map<std::string, WatchedItem, LessNoCase> items;
  bool linking = true;
  client.SetAdviseHandler([&](const std::string& item, const std::string& value) {
    auto found = items.find(item);
    if (found == items.end()) return;
    found->second.value = value;
    if (!linking) ++found->second.updates;
  });
  // Every value first, then the links: a transaction can take a stray acknowledgement left
  // by an earlier advise start for its own answer, or end early when advise data arrives,
  // so waiting messages are served before each one and a failed one is tried again.
  auto serveWaiting = [] { PumpMessagesUntil(GetTickCount64() + 20, [] { return false; }); };
  for (size_t i = 3; i < args.size(); ++i) {
    TransactionResult result = TransactionResult::Failed;
    std::optional<std::string> value;
    for (int attempt = 0; attempt < 5 && !value; ++attempt) {
      serveWaiting();
      value = client.Request(args[i], kDefaultTimeoutMs, result);
    }
    if (!value) {
      PrintError("request %s failed (%s)", args[i].c_str(), client.ErrorDetail().c_str());
      return kRefused;
    }
    items[args[i]].value = *value;
  }
  for (size_t i = 3; i < args.size(); ++i) {
    TransactionResult result = TransactionResult::Failed;
    for (int attempt = 0; attempt < 5 && result != TransactionResult::Ok; ++attempt) {
      serveWaiting();
      result = client.StartHotAdvise(args[i], kDefaultTimeoutMs);
    }
    if (result != TransactionResult::Ok) {
      PrintError("advise start on %s failed (%s)", args[i].c_str(), client.ErrorDetail().c_str());
      return kRefused;
    }
  }
  linking = false;
  PrintLine("LINKED");
  WatchStdinForQuit();
  bool lost = false;
  PumpMessagesUntil(GetTickCount64() + static_cast<ULONGLONG>(*seconds) * 1000,
                    [&] { return QuitRequested() || (lost = !client.PartnerAlive()); });
  for (size_t i = 3; i < args.size(); ++i) {
    const WatchedItem& watched = items[args[i]];
    PrintLine(args[i] + "|" + std::to_string(watched.updates) + "|" + OneLine(watched.value));
  }
  if (lost) {
    PrintError("the server ended the conversation");
    return kFailure;
  }
  for (size_t i = 3; i < args.size(); ++i) client.StopAdvise(args[i], kDefaultTimeoutMs);
  return kOk;
}

// Prints global_atoms=N: every global atom value (0xC000 to 0xFFFF) that names an atom.
int RunAtoms(const Args& /*args*/, const Options& /*options*/) {
  unsigned count = 0;
  wchar_t name[256];
  for (unsigned atom = 0xC000; atom <= 0xFFFF; ++atom) {
    if (GlobalGetAtomNameW(static_cast<ATOM>(atom), name, 256) > 0) ++count;
  }
  PrintLine("global_atoms=" + std::to_string(count));
  return kOk;
}

}  // namespace tools::suite_client
